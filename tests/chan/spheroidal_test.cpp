// The separated two-centre problem: angular matrix elements, the angular
// eigenproblem, bound energies of H2+ and of the hydrogen atom placed on one
// focus, and the energy normalisation of the continuum against closed forms.
#include "chan/spheroidal.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "support/legendre.hpp"

namespace {

using namespace chan;

TEST(AngularElements, EtaAndEtaSquaredAgreeWithDirectQuadrature) {
  // ⟨l1 m|η^p|l2 m⟩ of normalised Legendre functions by Gauss–Legendre.
  const ref::Rule g = ref::gauss_legendre(64);
  auto element = [&](int l1, int l2, int m, int p) {
    double s = 0.0;
    for (size_t i = 0; i < g.x.size(); ++i)
      s += g.w[i] * ref::ytheta(l1, m, g.x[i]) * std::pow(g.x[i], p) * ref::ytheta(l2, m, g.x[i]);
    return 2.0 * ref::kPi * s;
  };
  for (int m = 0; m <= 3; ++m) {
    for (int l = m; l <= m + 12; ++l) {
      EXPECT_NEAR(eta_up(l, m), element(l + 1, l, m, 1), 1e-13) << "l = " << l << ", m = " << m;
      EXPECT_NEAR(eta2(l, l, m), element(l, l, m, 2), 1e-13) << "l = " << l << ", m = " << m;
      EXPECT_NEAR(eta2(l + 2, l, m), element(l + 2, l, m, 2), 1e-13) << "l = " << l << ", m = " << m;
      EXPECT_EQ(eta2(l + 1, l, m), 0.0);
    }
  }
}

TEST(AngularEigenproblem, EigenvectorsAreOrthonormalAndReproduceTheMatrix) {
  struct Case {
    int M, L0, KD, n;
    double ZM, c2;
  } cases[] = {{0, 0, 2, 8, 0.0, 2.5}, {1, 1, 2, 6, 0.0, -3.0}, {0, 0, 1, 12, -1.5, 4.0}, {2, 2, 1, 5, 0.7, 0.0}};
  for (const auto& c : cases) {
    const int n = c.n;
    std::vector<double> a(static_cast<size_t>(n * n)), a0, u(a.size()), lam(static_cast<size_t>(n));
    angular_matrix(c.M, c.L0, c.KD, n, c.ZM, c.c2, lib::Mat(a.data(), n, n));
    a0 = a;
    symmetric_eigen(n, lib::Mat(a.data(), n, n), Vec(lam.data(), n), lib::Mat(u.data(), n, n));
    lib::CMat U(u.data(), n, n), A(a0.data(), n, n);
    for (int i = 1; i <= n; ++i) {
      if (i > 1) {
        EXPECT_LE(lam[static_cast<size_t>(i - 2)], lam[static_cast<size_t>(i - 1)]);
      }
      for (int j = 1; j <= n; ++j) {
        double uu = 0.0, rec = 0.0;
        for (int k = 1; k <= n; ++k) {
          uu += U(k, i) * U(k, j);
          rec += U(i, k) * lam[static_cast<size_t>(k - 1)] * U(j, k);
        }
        EXPECT_NEAR(uu, i == j ? 1.0 : 0.0, 1e-13);
        EXPECT_NEAR(rec, A(i, j), 1e-12 * (1.0 + std::fabs(lam[static_cast<size_t>(n - 1)])));
      }
    }
    // Without the η terms the eigenvalues are L(L+1) exactly.
    if (c.ZM == 0.0 && c.c2 == 0.0) {
      for (int i = 1; i <= n; ++i) {
        EXPECT_EQ(lam[static_cast<size_t>(i - 1)], (c.L0 + (i - 1) * c.KD) * (c.L0 + (i - 1) * c.KD + 1.0));
      }
    }
  }
}

TEST(BoundStates, EnergiesOfH2PlusAndOfTheHydrogenAtomOnAFocus) {
  // H2+ at R = 2 (benchmark values of the exact problem) and the hydrogen
  // atom on one focus, whose levels −1/(2n²) do not depend on R.
  struct Case {
    const char* what;
    double Z1, Z2, RZ;
    int M, L0, KD, index, nodes;
    double E;
  } cases[] = {
      {"H2+ 1sg", 1, 1, 2.0, 0, 0, 2, 1, 0, -1.1026342144949}, {"H2+ 1su", 1, 1, 2.0, 0, 1, 2, 1, 0, -0.6675343922024},
      {"H2+ 1pu", 1, 1, 2.0, 1, 1, 2, 1, 0, -0.4287718198959}, {"H 1s", 1, 0, 1.0, 0, 0, 1, 1, 0, -0.5},
      {"H n=2, M=0", 1, 0, 1.0, 0, 0, 1, 1, 1, -0.125},        {"H n=2, M=0", 1, 0, 1.0, 0, 0, 1, 2, 0, -0.125},
      {"H 2p, M=1", 1, 0, 3.0, 1, 1, 1, 1, 0, -0.125},         {"H n=3, M=0", 1, 0, 1.0, 0, 0, 1, 3, 0, -1.0 / 18.0},
  };
  for (const auto& c : cases) {
    Symmetry s;
    s.M = c.M;
    s.L0 = c.L0;
    s.KD = c.KD;
    s.n = 12;
    s.ZP = (c.Z1 + c.Z2) * c.RZ;
    s.ZM = c.KD == 2 ? 0.0 : (c.Z2 - c.Z1) * c.RZ;
    s.RZ = c.RZ;
    BoundState b;
    ASSERT_TRUE(find_bound(s, c.index, c.nodes, -1e-3, b)) << c.what;
    EXPECT_NEAR(b.E, c.E, 1e-9) << c.what;
  }
}

// Energy normalisation checked where it has a closed form: the density of
// states at a point, Σ_i |ψ_i(r)|² over the channels of one energy.  At the
// nucleus of the hydrogen atom only s waves about it contribute:
//   Σ |ψ_E(0)|² = (1/π)/(1 − exp(−2π/k))    (per hartree, M = 0 waves);
// at the centre of free space Σ |ψ_E(0)|² = k/(2π²).
TEST(ContinuumNormalisation, DensityOfStatesAtANucleusAndInFreeSpace) {
  struct Case {
    double Z1, RZ, k, eta;  // eta: the point on the segment between the foci
  } cases[] = {{1, 1.0, 0.05, 1.0}, {1, 1.0, 0.3, 1.0}, {1, 2.0, 1.0, 1.0},
               {1, 1.0, 2.0, 1.0},  {0, 1.0, 0.5, 0.0}, {0, 2.0, 1.5, 0.0}};
  for (const auto& c : cases) {
    const int n = 18;
    const double c2 = 0.5 * c.RZ * c.RZ * 0.5 * c.k * c.k;
    std::vector<double> a(static_cast<size_t>(n * n)), u(a.size()), lam(static_cast<size_t>(n));
    angular_matrix(0, 0, 1, n, -c.Z1 * c.RZ, c2, lib::Mat(a.data(), n, n));
    symmetric_eigen(n, lib::Mat(a.data(), n, n), Vec(lam.data(), n), lib::Mat(u.data(), n, n));
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) {
      Radial rp;
      rp.lam = lam[static_cast<size_t>(i - 1)];
      rp.ZP = c.Z1 * c.RZ;
      rp.c2 = c2;
      rp.RZ = c.RZ;
      double x[1] = {1.0 + 1e-12}, R[1], delta = 0.0, xfar = 0.0;
      regular_continuum(rp, CVec(x, 1), Vec(R, 1), delta, xfar);
      double Y = 0.0;
      for (int L = 0; L < n; ++L) Y += u[static_cast<size_t>((i - 1) * n + L)] * ref::ytheta(L, 0, c.eta);
      sum += R[0] * R[0] * Y * Y;
    }
    const double exact =
        c.Z1 > 0 ? (1.0 / ref::kPi) / (1.0 - std::exp(-2.0 * ref::kPi / c.k)) : c.k / (2.0 * ref::kPi * ref::kPi);
    EXPECT_NEAR(sum / exact, 1.0, 2e-6) << "Z = " << c.Z1 << ", k = " << c.k;
  }
}

TEST(ContinuumNormalisation, RegularAndIrregularSolutionsHaveTheWronskianOfTheAmplitude) {
  // R_reg·P_irr − P_reg·R_irr = −A², A = 2/sqrt(π·RZ), at any point.
  struct Case {
    int m;
    double lam, ZP, c2, RZ;
  } cases[] = {
      {0, 0.4, 2.8, 0.2, 1.4}, {1, 2.5, 4.0, 1.0, 2.0}, {0, 30.0, 2.068, 0.05, 2.068}, {2, 6.0, 0.0, 3.0, 1.0}};
  for (const auto& c : cases) {
    Radial rp;
    rp.m = c.m;
    rp.lam = c.lam;
    rp.ZP = c.ZP;
    rp.c2 = c.c2;
    rp.RZ = c.RZ;
    double up[2] = {20.0, 20.5}, down[2] = {20.5, 20.0}, reg[2], irr[2], pirr[2], delta = 0.0, xfar = 0.0;
    regular_continuum(rp, CVec(up, 2), Vec(reg, 2), delta, xfar);
    irregular_continuum(rp, delta, xfar, CVec(down, 2), Vec(irr, 2), Vec(pirr, 2));
    // P_reg from the unnormalised regular solution, scaled like the samples.
    double x[1] = {20.0}, r[1];
    Track t;
    integrate_regular(rp, CVec(x, 1), Vec(r, 1), 20.0, t, false);
    const double preg = t.P * reg[0] / t.R;
    const double A = energy_amplitude(c.RZ);
    EXPECT_NEAR(reg[0] * pirr[1] - preg * irr[1], -A * A, 1e-6 * A * A) << "lambda = " << c.lam;
  }
}

}  // namespace

// Grid tables of the dipole operators, differentiation and integration on
// the two-region grid, and the Hartree–Fock dipole elements checked on the
// hydrogen atom placed on one focus.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/lib.hpp"
#include "support/dense.hpp"
#include "support/legendre.hpp"

namespace {

using ref::Dense;

constexpr int NA = 5;

// The kernels trace their arguments on the console; the tests keep it quiet.
class Quiet : public ::testing::Test {
 protected:
  std::istringstream in_;
  std::ostringstream out_;
  io::ConsoleRedirect redirect_{&in_, &out_};
};

// ρ(ξ) = ξ − 10/(ξ − 0.9), the variable of the outer region.
double rho_of(double xi) { return xi - 10.0 / (xi - 0.9); }

struct Grid {
  int NB = 0;
  double HA = 0, HB = 0, HAv = 0, HBv = 0;
  Dense<double> R, RV;
  Grid(double rp1, double rp2, int intervals) : NB(NA + intervals + 1), R(NB, 8), RV(NB, 8) {
    std::vector<double> rp{rp1, rp2};
    lib::HAFI2(NA, NB, HA, HB, lib::CVec(rp.data(), 2), R.view());
    lib::HAFV2(NA, NB, HAv, HBv, lib::CVec(rp.data(), 2), RV.view());
  }
  double xi(int i) const { return R(i, 1); }
};

using GridTables = Quiet;

TEST_F(GridTables, BothTablesShareTheGridAndItsEnds) {
  const double rp1 = 1.6, rp2 = 25.0;
  const Grid g(rp1, rp2, 120);
  EXPECT_EQ(g.HA, g.HAv);
  EXPECT_EQ(g.HB, g.HBv);
  EXPECT_DOUBLE_EQ(g.HA, (rp1 - 1.0) / 4.0);
  EXPECT_EQ(g.xi(1), 1.0 + 1.0e-10);
  EXPECT_NEAR(g.xi(NA), rp1, 1e-14);
  EXPECT_NEAR(g.xi(NA + 1), rp1, 1e-13);
  EXPECT_NEAR(g.xi(g.NB), rp2, 1e-12);
  for (int i = 1; i <= g.NB; ++i) {
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(g.R(i, c), g.RV(i, c)) << "row " << i << " column " << c;
    EXPECT_DOUBLE_EQ(g.R(i, 2), g.xi(i) * g.xi(i));
  }
  // The outer points are equally spaced in ρ.
  for (int i = NA + 1; i <= g.NB; ++i) {
    EXPECT_NEAR(rho_of(g.xi(i)) - rho_of(rp1), (i - NA - 1) * g.HB, 1e-12) << "row " << i;
  }
}

// Columns 3–6 of the length table bring (p·y')' − m²/p·y − λ(λ+1)·y = 0,
// p = ξ² − 1, to the normal form X'' + P·X = 0 in ρ for X = y/g:
// P = −λ(λ+1)·c3 − m²·c4 + c5.  The Legendre solutions P1(ξ) = ξ (λ = 1,
// m = 0) and P1¹(ξ) ∝ sqrt(ξ² − 1) (λ = 1, m = 1) must satisfy the
// three-point form of it to O(HB²).
TEST_F(GridTables, OuterColumnsGiveTheLiouvilleNormalFormOfTheLegendreEquation) {
  struct Case {
    int m;
    std::function<double(double)> y;
  };
  const std::vector<Case> cases{{0, [](double x) { return x; }}, {1, [](double x) { return std::sqrt(x * x - 1); }}};
  for (const auto& c : cases) {
    double prev = 0.0;
    for (int intervals : {100, 200}) {
      const Grid g(1.5, 20.0, intervals);
      double worst = 0.0;
      for (int i = NA + 2; i < g.NB; ++i) {
        const auto X = [&](int k) { return c.y(g.xi(k)) / g.R(k, 6); };
        const double P = -2.0 * g.R(i, 3) - c.m * c.m * g.R(i, 4) + g.R(i, 5);
        const double res = (X(i + 1) - 2 * X(i) + X(i - 1)) / (g.HB * g.HB) + P * X(i);
        worst = std::max(worst, std::fabs(res) / (std::fabs(P * X(i)) + 1e-300));
      }
      if (prev > 0) {
        EXPECT_NEAR(prev / worst, 4.0, 0.4) << "m = " << c.m;  // second order in HB
      }
      EXPECT_LT(worst, 1e-2) << "m = " << c.m << ", " << intervals << " intervals";
      prev = worst;
    }
  }
}

TEST_F(GridTables, DegenerateGridsAreRefused) {
  Dense<double> R(10, 8);
  double HA, HB;
  const std::vector<double> good{1.5, 20.0}, inverted{1.5, 1.2}, low{0.9, 20.0};
  EXPECT_THROW(lib::HAFI2(1, 10, HA, HB, lib::CVec(good.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::HAFI2(9, 10, HA, HB, lib::CVec(good.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::HAFV2(5, 10, HA, HB, lib::CVec(inverted.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::HAFV2(5, 10, HA, HB, lib::CVec(low.data(), 2), R.view()), io::StopRun);
}

// The difference formulas are exact for a quadratic in ξ on region 1 and
// for a quadratic in the outer step index on region 2.
TEST(Dif0, ConstantsAndQuadraticsAreDifferentiatedExactly) {
  const int N = 15;
  const double HA = 0.2, HB = 0.5;
  std::vector<double> G(N), X(N), Y(N, 99.0);
  for (int i = 0; i < N; ++i) G[i] = 0.1 * (i + 1) - 0.7;
  struct Case {
    double a, b, c;  // X = a + b·t + c·t², t = ξ − 1 or the outer offset
  };
  for (const Case& q : {Case{2.5, 0.0, 0.0}, Case{-1.0, 3.0, 0.5}, Case{0.3, -2.0, 4.0}}) {
    for (int i = 1; i <= N; ++i) {
      const double t = i <= 5 ? (i - 1) * HA : (i - 6) * HB;
      X[i - 1] = q.a + q.b * t + q.c * t * t;
    }
    lib::DIF0(N, HA, HB, lib::CVec(X.data(), N), lib::CVec(G.data(), N), lib::Vec(Y.data(), N));
    for (int i = 1; i <= N - 1; ++i) {
      const double t = i <= 5 ? (i - 1) * HA : (i - 6) * HB;
      double want = q.b + 2 * q.c * t;
      if (i > 5) want += X[i - 1] * G[i - 1];
      EXPECT_NEAR(Y[i - 1], want, 1e-12) << "point " << i;
    }
    EXPECT_EQ(Y[N - 1], 0.0);
  }
}

// Simpson's rule on each region: exact for cubics in the grid variable, and
// zero for no partial waves.
TEST(Fcun, IntegratesCubicsExactlyOnEachRegion) {
  const int NB = NA + 9;
  const double HA = 0.15, HB = 0.4, RZ3 = 1.7;
  std::vector<double> R3(NB), R6(NB), WK(NB);
  Dense<double> X(NB, 2), Z(NB, 2);
  for (int j = 1; j <= NB; ++j) {
    const bool inner = j <= NA;
    const double t = inner ? (j - 1) * HA : (j - NA - 1) * HB;
    R3[j - 1] = inner ? 1.0 : 2.0;  // weights constant on each region
    R6[j - 1] = inner ? 3.0 : 0.5;
    X(j, 1) = t, Z(j, 1) = t * t;      // t³
    X(j, 2) = 1.0, Z(j, 2) = 1.0 - t;  // 1 − t
  }
  const double a = 4 * HA, b = 8 * HB;
  const auto cubic = [](double L) { return L * L * L * L / 4 + L - L * L / 2; };
  const double want = RZ3 * (3.0 * cubic(a) + 1.0 * cubic(b));
  const double got = lib::FCUN(NA, NB, 2, HA, HB, RZ3, lib::CVec(R3.data(), NB), lib::CVec(R6.data(), NB), X.cview(),
                               Z.cview(), lib::Vec(WK.data(), NB));
  EXPECT_NEAR(got, want, 1e-12 * std::fabs(want));
  EXPECT_EQ(lib::FCUN(NA, NB, 0, HA, HB, RZ3, lib::CVec(R3.data(), NB), lib::CVec(R6.data(), NB), X.cview(), Z.cview(),
                      lib::Vec(WK.data(), NB)),
            0.0);
}

// ---------------------------------------------------------------- dipole elements

// The hydrogen atom on the focus at z = −RZ/2: r = (RZ/2)(ξ + η),
// z + RZ/2 = (RZ/2)(ξη + 1), ρ_cyl = (RZ/2)·sqrt(ξ² − 1)·sqrt(1 − η²).
// Its states are expanded in partial waves Y(L, m), L = |m|, |m| + 1, … by
// Gauss–Legendre quadrature in η, and stored divided by g on region 2.
struct Hydrogen {
  double RZ;
  // ψ(ξ, η)·e^{−imφ} of 1s, 2p0, 2p±1.
  double psi(const std::string& state, double xi, double eta) const {
    const double c = RZ / 2, r = c * (xi + eta);
    const double pi = ref::kPi;
    if (state == "1s") return std::exp(-r) / std::sqrt(pi);
    const double cyl = c * std::sqrt(xi * xi - 1) * std::sqrt(1 - eta * eta);
    if (state == "2p0") return c * (xi * eta + 1) * std::exp(-r / 2) / (4 * std::sqrt(2 * pi));
    if (state == "2p+1") return -cyl * std::exp(-r / 2) / (8 * std::sqrt(pi));
    if (state == "2p-1") return cyl * std::exp(-r / 2) / (8 * std::sqrt(pi));
    // R32·Y(2, m): R32 = 4/(81·sqrt(30))·r²·e^{−r/3}, r²·Y21 ∝ z·ρ, r²·Y22 ∝ ρ².
    const double R32 = 4.0 / (81.0 * std::sqrt(30.0)) * std::exp(-r / 3);
    if (state == "3d+1") return -R32 * std::sqrt(15 / (8 * pi)) * c * (xi * eta + 1) * cyl;
    if (state == "3d+2") return R32 * std::sqrt(15 / (32 * pi)) * cyl * cyl;
    return 0.0;
  }
  Dense<double> waves(const std::string& state, int m, int n, const Grid& g) const {
    static const ref::Rule gl = ref::gauss_legendre(64);
    Dense<double> X(g.NB, n);
    for (int j = 1; j <= g.NB; ++j) {
      for (int k = 1; k <= n; ++k) {
        const int L = std::abs(m) + k - 1;
        double s = 0;
        for (size_t q = 0; q < gl.x.size(); ++q) {
          s += gl.w[q] * ref::ytheta(L, m, gl.x[q]) * psi(state, g.xi(j), gl.x[q]);
        }
        X(j, k) = 2 * ref::kPi * s / g.R(j, 6);
      }
    }
    return X;
  }
};

struct DipoleResult {
  std::vector<double> DR, DV;
  double CSR, CSV;
};

DipoleResult dipoles(const Grid& g, double RZ, int M1, const Dense<double>& X1, int M2, const Dense<double>& X2,
                     double E1, double E2, int IDER = 1) {
  std::vector<double> F(81);
  lib::DEFA(80, lib::VecView<double, 0>(F.data(), 81));
  const lib::Fac fac(F.data(), 81);
  const double C = std::sqrt(4 * ref::kPi / 3);
  DipoleResult r{std::vector<double>(3, 7.0), std::vector<double>(3, 7.0), 0, 0};
  Dense<double> PQV(g.NB, 4);
  std::vector<double> Z1(g.NB);
  const double c = RZ / 2;
  lib::HFCSR(NA, g.NB, X1.m, X2.m, std::abs(M1), std::abs(M2), M1, M2, 1, g.HA, g.HB, c * c * c * c, E1, E2, C,
             lib::Vec(r.DR.data(), 3), r.CSR, g.R.cview(), X1.cview(), X2.cview(), PQV.view(),
             lib::Vec(Z1.data(), g.NB), fac);
  lib::HFCSV(NA, g.NB, X1.m, X2.m, std::abs(M1), std::abs(M2), M1, M2, 1, g.HA, g.HB, RZ * RZ / 8, E1, E2, C,
             lib::Vec(r.DV.data(), 3), r.CSV, g.RV.cview(), X1.cview(), X2.cview(), PQV.view(),
             lib::Vec(Z1.data(), g.NB), fac, IDER);
  return r;
}

using HartreeFockDipole = Quiet;

// ⟨2p m|r_m|1s⟩ = ∫R21·R10·r³dr / sqrt(3) = 128·sqrt(2)/243 for the spherical
// components r_m = sqrt(4π/3)·r·Y(1,m); the downward element
// ⟨1s|r_−1|2p+1⟩ is −128·sqrt(2)/243.  For these exact eigenstates the
// velocity form is −⟨f|∇_m|i⟩ = (E_f − E_i)·⟨f|r_m|i⟩.  The length form is
// Simpson's rule on a smooth integrand: on region 1 (HA = 0.1) its error
// bound (RP(1) − 1)·HA⁴/180·max|f⁗| is below 1e-6, region 2 adds far less.
// The velocity form differentiates with three-point differences, O(HA²)
// for a bound orbital that is smooth at ξ = 1 (M1 = 0).
TEST_F(HartreeFockDipole, HydrogenOnOneFocusLengthMatchesClosedFormAndVelocityAgrees) {
  const double RZ = 2.0, E1s = -0.5, E2p = -0.125;
  const double d = 128.0 * std::sqrt(2.0) / 243.0;
  const Grid g(1.4, 45.0, 400);
  const Hydrogen h{RZ};
  const int n = 16;
  struct Case {
    std::string from;
    int M1;
    double E1;
    std::string to;
    int M2;
    double E2, want;
  };
  const std::vector<Case> cases{{"1s", 0, E1s, "2p0", 0, E2p, d},
                                {"1s", 0, E1s, "2p+1", 1, E2p, d},
                                {"1s", 0, E1s, "2p-1", -1, E2p, d},
                                {"2p+1", 1, E2p, "1s", 0, E1s, -d}};
  for (const Case& c : cases) {
    const Dense<double> X1 = h.waves(c.from, c.M1, n, g);
    const Dense<double> X2 = h.waves(c.to, c.M2, n, g);
    const DipoleResult r = dipoles(g, RZ, c.M1, X1, c.M2, X2, c.E1, 0.0);
    const int k = c.M2 - c.M1 + 2;
    const std::string what = c.from + " -> " + c.to;
    EXPECT_NEAR(r.DR[k - 1], c.want, 1e-6) << what;
    const double dv = (c.E2 - c.E1) * c.want;
    if (c.M1 == 0) {
      EXPECT_NEAR(r.DV[k - 1], dv, 2e-4 * std::fabs(dv)) << what;
    }
    EXPECT_GT(r.DV[k - 1] * dv, 0.0) << what << ": the velocity form has the sign of (E2 - E1)·DR";
    for (int other = 1; other <= 3; ++other) {
      if (other == k) continue;
      EXPECT_EQ(r.DR[other - 1], 0.0) << what;
      EXPECT_EQ(r.DV[other - 1], 0.0) << what;
    }
    // With E2 = 0 the bare elements come back; the velocity form keeps D
    // before the phase (−1)^M1.
    EXPECT_EQ(r.CSR, r.DR[k - 1]) << what;
    EXPECT_EQ(r.CSV, (c.M1 % 2 ? -1 : 1) * r.DV[k - 1]) << what;
  }
}

// A bound orbital with M1 odd behaves like sqrt(ξ² − 1) at ξ = 1, where its
// derivative is unbounded.  Differenced as it stands (IDER = 0) the velocity
// form converges at first order in HA wherever the final function is finite
// at ξ = 1 (final M2 = 0): halving HA halves the deviation of 2p+1 → 1s from
// (E2 − E1)·DR.  Taken through X/sqrt(ξ² − 1) (IDER = 1, as diatom asks) region
// 1 is second order, and what is left is the outer region's O(HB²), 2e-6 to
// 8e-6 on 1600 outer intervals (4e-5 to 1.3e-4 on 400).  The final states
// 3d+1 and 3d+2 vanish at ξ = 1 and take the other two components, whose
// terms there differ.
TEST_F(HartreeFockDipole, VelocityFormFromAnOddProjectionFirstOrderAsWrittenSecondOrderBySquareRoot) {
  const double RZ = 2.0, E1 = -0.125;
  const Hydrogen h{RZ};
  struct Final {
    std::string state;
    int M2;
    double E2;
  };
  const std::vector<Final> finals{{"1s", 0, -0.5}, {"3d+1", 1, -1.0 / 18}, {"3d+2", 2, -1.0 / 18}};
  std::vector<double> written;
  for (double rp1 : {1.1, 1.05}) {
    const Grid g(rp1, 60.0, 1600);
    const Dense<double> X1 = h.waves("2p+1", 1, 16, g);
    for (const Final& f : finals) {
      const Dense<double> X2 = h.waves(f.state, f.M2, 16, g);
      const DipoleResult r0 = dipoles(g, RZ, 1, X1, f.M2, X2, E1, 0.0, 0);
      const DipoleResult r1 = dipoles(g, RZ, 1, X1, f.M2, X2, E1, 0.0, 1);
      const int k = f.M2 - 1 + 2;
      EXPECT_EQ(r0.DR, r1.DR);
      const double root = r1.DV[k - 1] / ((f.E2 - E1) * r1.DR[k - 1]) - 1.0;
      EXPECT_LT(std::fabs(root), 1e-5) << f.state << ", RP(1) = " << rp1;
      if (f.M2 == 0) written.push_back(r0.DV[k - 1] / ((f.E2 - E1) * r0.DR[k - 1]) - 1.0);
    }
  }
  EXPECT_LT(std::fabs(written[0]), 0.1 * (1.1 - 1.0) / 4);  // below HA/10
  EXPECT_GT(std::fabs(written[0]), 1e-3);
  EXPECT_NEAR(written[0] / written[1], 2.0, 0.3);
  EXPECT_THROW(dipoles(Grid(1.1, 45.0, 40), RZ, 1, Dense<double>(46, 1, 1.0), 0, Dense<double>(46, 1, 1.0), E1, 0.0, 2),
               io::StopRun);
}

// E2 > 0: cross section 5.378·(E2 − E1)·D² and 5.378/(E2 − E1)·D², 5.378 in
// single precision; E2 < 0: oscillator strengths (4/3)·(E2 − E1)·D² and
// (4/3)/(E2 − E1)·D²; E2 = 0: the bare element.
TEST_F(HartreeFockDipole, ElementsAreConvertedByTheSignOfTheFinalEnergy) {
  const double RZ = 2.0, E1 = -0.5;
  const Grid g(1.4, 30.0, 100);
  const Hydrogen h{RZ};
  const Dense<double> X1 = h.waves("1s", 0, 8, g);
  const Dense<double> X2 = h.waves("2p0", 0, 8, g);
  const DipoleResult bare = dipoles(g, RZ, 0, X1, 0, X2, E1, 0.0);
  const double DL = bare.CSR, DV = bare.CSV;
  const double single = 5.377999782562256;
  for (double E2 : {0.8, -0.125}) {
    const DipoleResult r = dipoles(g, RZ, 0, X1, 0, X2, E1, E2);
    EXPECT_EQ(r.DR, bare.DR);
    EXPECT_EQ(r.DV, bare.DV);
    const double dE = E2 - E1;
    if (E2 > 0) {
      EXPECT_DOUBLE_EQ(r.CSR, single * dE * DL * DL);
      EXPECT_DOUBLE_EQ(r.CSV, single / dE * DV * DV);
    } else {
      EXPECT_DOUBLE_EQ(r.CSR, 4.0 / 3.0 * dE * DL * DL);
      EXPECT_DOUBLE_EQ(r.CSV, 4.0 / 3.0 / dE * DV * DV);
    }
  }
}

TEST_F(HartreeFockDipole, ProjectionsThatAreNoDipoleComponentStop) {
  const Grid g(1.4, 30.0, 20);
  Dense<double> X(g.NB, 1, 1.0);
  EXPECT_THROW(dipoles(g, 2.0, 0, X, 2, X, -0.5, 0.0), io::StopRun);
}

}  // namespace

// The shell equations: one-electron and angular terms (MASH), multipole
// potentials of a pair density (ZIJK), the off-diagonal Lagrange term (OFFDI).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scf/equations.hpp"
#include "scf/grid.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

double eta2_diagonal(int L, int M) { return (2.0 * L * (L + 1) - 2.0 * M * M - 1.0) / ((2.0 * L - 1) * (2.0 * L + 3)); }
double eta2_step(int L, int M) {
  return std::sqrt(((L + 1.0) * (L + 1) - M * M) * ((L + 2.0) * (L + 2) - M * M) /
                   ((2.0 * L + 1) * (2.0 * L + 3) * (2.0 * L + 3) * (2.0 * L + 5)));
}

// TT is ⟨L_p M|η²|L_q M⟩ in closed form: diagonal and the L ± 2 band only;
// the waves step by 2 in L for equal charges and by 1 otherwise, where the
// η dipole of the unequal charges couples neighbouring waves.
TEST(Mash, EtaMatricesAndOneElectronCouplingInClosedForm) {
  struct Case {
    double Z1, Z2;
    int M, L0, n;
  } cases[] = {{1, 1, 0, 0, 6}, {7, 7, 1, 1, 5}, {3, 1, 0, 0, 7}, {3, 1, 1, 1, 6}};
  for (const Case& c : cases) {
    const double RZ = 1.7;
    System sys(c.Z1, c.Z2, RZ, {{c.M, c.L0, c.n}}, 5, 46, 1.2, 20.0);
    scftest::one_electron_equations(sys, 1);
    const int s = sys.t.ISYM, n = c.n;
    ASSERT_EQ(s, c.Z1 == c.Z2 ? 2 : 1);
    const lib::CMat TT = sys.st.tt(n);
    const lib::Arr3 PD = sys.work(n).PD;
    for (int p = 1; p <= n; ++p) {
      const int Lp = c.L0 + (p - 1) * s;
      for (int q = 1; q <= n; ++q) {
        const int Lq = c.L0 + (q - 1) * s;
        double want = 0.0;
        if (Lq == Lp) want = eta2_diagonal(Lp, c.M);
        if (Lq == Lp + 2) want = eta2_step(Lp, c.M);
        if (Lp == Lq + 2) want = eta2_step(Lq, c.M);
        EXPECT_NEAR(TT(p, q), want, 2e-9) << Lp << " " << Lq;
      }
      // Diagonal at an outer point; the dipole coupling of unequal charges.
      const int i = sys.NB - 7;
      const lib::CMat R = sys.grid();
      const double diag = (c.Z1 + c.Z2) * RZ * R(i, 1) * R(i, 3) - c.M * c.M * R(i, 4) + R(i, 5) -
                          Lp * (Lp + 1.0) * R(i, 3);
      EXPECT_NEAR(PD(i, p, p), diag, 1e-12 * std::fabs(diag));
      if (p < n) {
        const double dip = s == 1 ? -(c.Z2 - c.Z1) * RZ *
                                        std::sqrt(((Lp + 1.0) * (Lp + 1) - c.M * c.M) / ((2.0 * Lp + 1) * (2.0 * Lp + 3))) *
                                        R(i, 3)
                                  : 0.0;
        EXPECT_NEAR(PD(i, p + 1, p), dip, 1e-8 * std::fabs(R(i, 3)));
        EXPECT_EQ(PD(i, p + 1, p), PD(i, p, p + 1));
      }
    }
  }
}

// Gauss's law: far from a shell of charge Q = its norm, the monopole of its
// potential is √(4π)·Q/r, r = (RZ/2)·ξ.  For a π shell the pair density
// X·Y(L,1)·Y(L,−1) carries the factor (−1)^M of the conjugate harmonic, so
// the potential comes out with the opposite sign: that is why the direct
// coefficient of a π shell is entered negative.
TEST(Zijk, MonopoleTailObeysGaussLawWithThePhaseOfTheProjection) {
  for (int M : {0, 1}) {
    const double RZ = 1.4, a = RZ / 2;
    System sys(1.0, 1.0, RZ, {{M, M, 2}}, 5, 806, 1.02, 60.0);
    scftest::one_electron_equations(sys, 1);
    scf::Shells s = sys.shells();
    lib::Mat X = s.waves(1);
    for (int i = 1; i <= sys.NB; ++i) {  // two waves of a compact orbital
      const double xi = sys.xi(i), g = i > sys.NA ? sys.t.R(i, 6) : 1.0;
      const double f = std::pow(xi * xi - 1.0, M / 2.0) * std::exp(-1.5 * xi);
      X(i, 1) = f / g;
      X(i, 2) = 0.3 * f * (xi - 1.0) / g;
    }
    std::vector<double> S(sys.NB), Y(sys.NB);
    const double Q = scf::FOVI(2, 2, sys.NA, sys.NB, sys.t.HA, sys.t.HB, sys.t.RZ3, sys.st.tt(2), sys.t.R.col(2),
                               sys.t.R.col(7), lib::Vec(S.data(), sys.NB), lib::Vec(Y.data(), sys.NB), X, X);
    scf::ShellWork w = sys.work(2);
    std::array<double, 4> B{1.0, 0.0, 0.0, 0.0};
    scf::ZIJK(sys.NA, sys.NB, 2, 2, 4, M, M, M, M, 0, 2, scf::multipole_scale(sys.t.RZ2), sys.t.H12(), sys.t.BZ,
              sys.t.R.colsFrom(2, 6), sys.st.fac(), X, X, sys.t.G.col(1), lib::Vec(B.data(), 4), sys.t.AA.col(1),
              sys.t.BB.col(1), sys.t.VV.col(1), sys.t.UU, sys.t.WW, lib::Mat(w.CX.data(), sys.NA, sys.NA),
              lib::Mat(w.WC.data(), sys.NA, 3), w.WK, w.XE);
    for (int i : {sys.NB - 40, sys.NB - 1}) {
      const double V = w.XE(i, 1) * sys.t.R(i, 6), r = a * sys.xi(i);
      // (ξ² − 1)^(−1/2) ≈ 1/ξ up to O(ξ⁻³); the 6.28318 of the scale shows at 1e-6.
      EXPECT_NEAR(V * r / std::sqrt(4 * M_PI), (M ? -1.0 : 1.0) * Q, 2e-3 * Q) << "M = " << M << " at " << i;
    }
  }
}

// The off-diagonal term is −OFF·(ξ² − η²)·X_J: projected back on X_J with the
// plain measure of the stored forms (dξ inside, dx outside) it gives −OFF
// times the overlap of X_J with itself.
TEST(Offdi, MatrixElementIsMinusOffTimesTheOverlap) {
  const int n = 3;
  System sys(3.0, 1.0, 3.0, {{0, 0, n}}, 5, 406, 1.05, 30.0);
  scftest::one_electron_equations(sys, 1);
  std::vector<double> XJ(static_cast<size_t>(sys.NB) * n), Yv(static_cast<size_t>(sys.NB) * n, 0.0);
  const lib::Mat X(XJ.data(), sys.NB, n), Y(Yv.data(), sys.NB, n);
  for (int p = 1; p <= n; ++p)
    for (int i = 1; i <= sys.NB; ++i) X(i, p) = std::exp(-sys.xi(i)) * (1.0 + 0.2 * p * sys.xi(i));
  const double OFF = 0.37;
  scf::OFFDI(n, sys.NB, OFF, sys.st.tt(n), sys.t.R.col(2), sys.t.R.col(3), X, Y);
  std::vector<double> f(sys.NB, 0.0), S(sys.NB), W(sys.NB);
  for (int p = 1; p <= n; ++p)
    for (int i = 1; i <= sys.NB; ++i) f[i - 1] += X(i, p) * Y(i, p);
  const lib::CVec F(f.data(), sys.NB);
  const double element = lib::FINS(sys.NA, sys.t.HA, F.sub(1, sys.NA), lib::Build::scf) +
                         lib::FINS(sys.NB - sys.NA, sys.t.HB, F.sub(sys.NA + 1, sys.NB - sys.NA), lib::Build::scf);
  const double overlap = scf::FOVI(n, n, sys.NA, sys.NB, sys.t.HA, sys.t.HB, sys.t.RZ3, sys.st.tt(n), sys.t.R.col(2),
                                   sys.t.R.col(7), lib::Vec(S.data(), sys.NB), lib::Vec(W.data(), sys.NB), X, X);
  EXPECT_NEAR(element, -OFF * overlap / sys.t.RZ3, 1e-12 * overlap / sys.t.RZ3);
}

}  // namespace

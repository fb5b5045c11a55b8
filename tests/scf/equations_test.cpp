// Multipole potentials of a pair density (ZIJK).  The one-electron terms
// (MASH) are checked by the exact H2+ states and the atoms on a focus.
#include "scf/equations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scf/grid.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

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

}  // namespace

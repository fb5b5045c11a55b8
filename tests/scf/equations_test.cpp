// Multipole potentials of a pair density (pair_potentials).  The one-electron terms
// (one_electron_equations) are checked by the exact H2+ states and the atoms on a focus.
#include "scf/equations.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "lib/gaunt_exact.hpp"
#include "lib/gaunt_table.hpp"
#include "scf/pair_potentials.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

// Gauss's law: far from a shell of charge Q = its norm, the monopole of its
// potential is √(4π)·Q/r, r = (RZ/2)·ξ.  For a π shell the pair density
// X·Y(L,1)·Y(L,−1) carries the factor (−1)^M of the conjugate harmonic, so
// the potential comes out with the opposite sign: that is why the direct
// coefficient of a π shell is entered negative.
TEST(PairPotentials, MonopoleTailObeysGaussLawWithThePhaseOfTheProjection) {
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
    const double Q = sys.overlap(2, X, X);
    scf::ShellWork w = sys.work(2);
    std::array<double, 4> B{1.0, 0.0, 0.0, 0.0};
    const lib::PartialWaves f{{M, M, 2, 2}, X};
    scf::pair_potentials(sys.t.multipole_setting(sys.st.fac()), sys.t.series().column(1), scf::AngularRule{},
                         lib::PairDensity{f, f, scf::multipole_scale(sys.t.RZ2)}, scf::MultipoleOrders{0, 4},
                         lib::MultipoleWork{lib::Vec(B.data(), 4), lib::Mat(w.CX.data(), sys.NA, sys.NA),
                                            lib::Mat(w.WC.data(), sys.NA, 3), w.WK},
                         w.XE);
    for (int i : {sys.NB - 40, sys.NB - 1}) {
      const double V = w.XE(i, 1) * sys.t.R(i, 6), r = a * sys.xi(i);
      // (ξ² − 1)^(−1/2) ≈ 1/ξ up to O(ξ⁻³); the 6.28318 of the scale shows at 1e-6.
      EXPECT_NEAR(V * r / std::sqrt(4 * M_PI), (M ? -1.0 : 1.0) * Q, 2e-3 * Q) << "M = " << M << " at " << i;
    }
  }
}

// The run's table of angular coefficients changes nothing: the direct and
// exchange terms of a σ and a π shell of unequal charges (every momentum,
// partner exchange) come out bit for bit as with the routines called.
TEST(AngularTable, DirectAndExchangeTermsEqualThoseOfTheCallsBitForBit) {
  const int n = 5;
  System sys(3.0, 1.0, 1.5, {{0, 0, n}, {1, 1, n}}, 5, 101, 1.01, 20.0);
  io::ConsoleRedirect quiet(nullptr, &sys.trace);
  scf::Shells s = sys.shells();
  for (int J = 1; J <= 2; ++J) {
    const lib::Mat X = s.waves(J);
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= sys.NB; ++i) X(i, p) = std::exp(-0.3 * J * sys.xi(i)) * (sys.xi(i) - 1.0 + 0.1 * p);
    s.CN(J) = 1.0;
  }
  const scf::AngularRange range = scf::angular_range(s, sys.t.ISYM);
  EXPECT_GE(range.MMAX, 2);
  const std::vector<double> AC{2.0, -4.0};
  const std::vector<std::vector<double>> BC{{1.0, -2.0}, {1.0, -1.0}};
  for (int ISH = 1; ISH <= 2; ++ISH) {
    // Passes: the calls, the table; then both with the exact η, η² elements;
    // last the coefficients by quadrature (EXACT = 1).
    std::vector<double> pd[5], xn[5];
    const lib::ExactGauntTable quadrature(range.LMAX, range.MMAX);
    for (int pass = 0; pass < 5; ++pass) {
      lib::fill_factorials(scf::kFactorials - 1, lib::VecView<double, 0>(sys.st.F.data(), scf::kFactorials));
      const lib::GauntTable table(range.LMAX, range.MMAX, sys.st.fac(), lib::Build::scf);
      sys.t.angular = pass % 2 == 0 ? nullptr : &table;
      sys.t.EXACT = std::min(pass / 2, 1);
      sys.t.exact = pass == 4 ? &quadrature : nullptr;
      scftest::one_electron_equations(sys, ISH);
      const scf::ShellWork w = sys.work(n);
      const lib::Vec B(sys.st.B.data(), 4);
      B(1) = 1.0;
      scf::add_direct_terms(sys.t, s, ISH, lib::CVec(AC.data(), 2), sys.st.fac(), B, w);
      scf::add_exchange_terms(sys.t, s, ISH, {lib::CVec(BC[ISH - 1].data(), 2)}, sys.st.fac(), B, w);
      pd[pass].assign(w.PD.flat().begin(), w.PD.flat().end());
      xn[pass].assign(w.XN.colsFrom(1, n).flat().begin(), w.XN.colsFrom(1, n).flat().end());
      sys.t.angular = nullptr;
      sys.t.exact = nullptr;
      sys.t.EXACT = 0;
    }
    EXPECT_EQ(pd[0], pd[1]) << "shell " << ISH;
    EXPECT_EQ(xn[0], xn[1]) << "shell " << ISH;
    EXPECT_EQ(pd[2], pd[3]) << "shell " << ISH << ", exact elements";
    EXPECT_EQ(xn[2], xn[3]) << "shell " << ISH << ", exact elements";
    // EXACT = 1 also takes 2π for the multipole scale (8.4e-7 relative), the
    // larger of the changes.
    double most = 0.0, gap = 0.0;
    for (size_t k = 0; k < pd[0].size(); ++k) {
      most = std::max(most, std::fabs(pd[0][k]));
      gap = std::max(gap, std::fabs(pd[2][k] - pd[0][k]));
    }
    EXPECT_GT(gap, 0.0) << "shell " << ISH;
    EXPECT_LT(gap, 1e-6 * most) << "shell " << ISH;
    // The quadrature's coefficients differ from Racah's by rounding only.
    for (int which = 0; which < 2; ++which) {
      const std::vector<double>&a = which ? xn[2] : pd[2], &b = which ? xn[4] : pd[4];
      double big = 0.0, diff = 0.0;
      for (size_t k = 0; k < a.size(); ++k)
        big = std::max(big, std::fabs(a[k])), diff = std::max(diff, std::fabs(a[k] - b[k]));
      EXPECT_LT(diff, 1e-13 * big) << "shell " << ISH << (which ? " exchange source" : " coupling");
    }
    double size = 0.0;
    for (double v : xn[0]) size += std::fabs(v);
    EXPECT_GT(size, 0.0) << "the exchange source is not empty";
  }
}

// The stores of the shell updates change no number: the direct terms with
// the density multipoles kept, and the exchange terms with the pair
// densities solved first (on the threads OpenMP offers), equal those built
// term by term bit for bit, on one thread and on two; a store entry is
// reused while its orbital is the same bit for bit, and a change of one bit
// is computed afresh.
TEST(FieldStores, TermsEqualThoseBuiltTermByTermOnOneAndTwoThreadsAndFollowEveryBitOfTheOrbitals) {
  const int n = 4;
  System sys(3.0, 1.0, 1.5, {{0, 0, n}, {1, 1, n}, {0, 0, n}}, 5, 101, 1.01, 20.0);
  io::ConsoleRedirect quiet(nullptr, &sys.trace);
  scf::Shells s = sys.shells();
  for (int J = 1; J <= 3; ++J) {
    const lib::Mat X = s.waves(J);
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= sys.NB; ++i) X(i, p) = std::exp(-0.3 * J * sys.xi(i)) * (sys.xi(i) - 1.0 + 0.1 * p);
    s.CN(J) = 1.0;
  }
  const scf::AngularRange range = scf::angular_range(s, sys.t.ISYM);
  lib::fill_factorials(scf::kFactorials - 1, lib::VecView<double, 0>(sys.st.F.data(), scf::kFactorials));
  const lib::GauntTable table(range.LMAX, range.MMAX, sys.st.fac(), lib::Build::scf);
  sys.t.angular = &table;
  sys.t.EXACT = 1;
  const std::vector<double> AC{2.0, -4.0, 2.0};
  const std::vector<double> BC{1.0, -2.0, 1.0};
  scf::DensityMultipoles direct;
  std::vector<double> pairs;
  auto build = [&](int ISH, bool stores, std::vector<double>& pd, std::vector<double>& xn) {
    scftest::one_electron_equations(sys, ISH);
    const scf::ShellWork w = sys.work(n);
    const lib::Vec B(sys.st.B.data(), 4);
    B(1) = 1.0;
    scf::add_direct_terms(sys.t, s, ISH, lib::CVec(AC.data(), 3), sys.st.fac(), B, w, stores ? &direct : nullptr);
    scf::add_exchange_terms(sys.t, s, ISH, {lib::CVec(BC.data(), 3)}, sys.st.fac(), B, w, stores ? &pairs : nullptr);
    pd.assign(w.PD.flat().begin(), w.PD.flat().end());
    xn.assign(w.XN.colsFrom(1, n).flat().begin(), w.XN.colsFrom(1, n).flat().end());
  };
  const int threads = omp_get_max_threads();
  for (int ISH : {1, 2}) {
    std::vector<double> pd0, xn0, pd, xn;
    build(ISH, false, pd0, xn0);
    for (int nt : {1, 2}) {
      omp_set_num_threads(nt);
      build(ISH, true, pd, xn);
      EXPECT_EQ(pd, pd0) << "shell " << ISH << ", " << nt << " threads";
      EXPECT_EQ(xn, xn0) << "shell " << ISH << ", " << nt << " threads";
    }
    omp_set_num_threads(threads);
  }
  // Three densities computed once (the π shell's momenta set the orders
  // kept), then only reused.
  EXPECT_EQ(direct.computed, 3);
  EXPECT_EQ(direct.reused, 3 * 3);
  // One bit of shell 3 changed: its multipoles alone are computed again.
  double& x = s.waves(3)(50, 2);
  x = std::nextafter(x, 1.0);
  std::vector<double> pd0, xn0, pd, xn;
  build(1, false, pd0, xn0);
  build(1, true, pd, xn);
  EXPECT_EQ(direct.computed, 4);
  EXPECT_EQ(pd, pd0);
  EXPECT_EQ(xn, xn0);
  EXPECT_GT(std::fabs(pd[pd.size() / 2]), 0.0) << "the coupling is not empty";
  // The library's algebra (IBLAS = 1: the direct terms of all shells from
  // their summed multipoles, every projection a product) gives the same
  // terms to rounding, against the largest of each.
  for (int ISH : {1, 2}) {
    sys.t.IBLAS = 0;
    build(ISH, true, pd0, xn0);
    sys.t.IBLAS = 1;
    build(ISH, true, pd, xn);
    auto worst = [](const std::vector<double>& a, const std::vector<double>& b) {
      double size = 0.0, diff = 0.0;
      for (size_t i = 0; i < a.size(); ++i) {
        size = std::max(size, std::fabs(a[i]));
        diff = std::max(diff, std::fabs(a[i] - b[i]));
      }
      return diff / size;
    };
    EXPECT_LT(worst(pd0, pd), 1e-13) << "shell " << ISH;
    EXPECT_LT(worst(xn0, xn), 1e-13) << "shell " << ISH;
  }
}

// The η and η² elements of the exact path against their own algebra: η² is
// the square of the tridiagonal η matrix, so with a_L = ⟨L+1 M|η|L M⟩
//   ⟨L|η²|L⟩ = a_{L−1}² + a_L²,   ⟨L+2|η²|L⟩ = a_L·a_{L+1};
// and against the library's values (written constants: within 1e-9).
TEST(EtaElements, ExactElementsAreTheSquareOfTheEtaMatrixAndNearTheWrittenOnes) {
  std::vector<double> f(scf::kFactorials);
  lib::fill_factorials(scf::kFactorials - 1, lib::VecView<double, 0>(f.data(), scf::kFactorials));
  const lib::Fac F(f.data(), scf::kFactorials);
  for (int M : {0, 1, 2, 3})
    for (int L = M; L <= 24; ++L) {
      const double a = scf::eta_next(L, M, F, 1), up = scf::eta_next(L + 1, M, F, 1);
      const double down = L > M ? scf::eta_next(L - 1, M, F, 1) : 0.0;
      EXPECT_NEAR(scf::eta2_diagonal(L, M, F, 1), down * down + a * a, 1e-15) << L << " " << M;
      EXPECT_NEAR(scf::eta2_next(L, M, F, 1), a * up, 1e-15) << L << " " << M;
      EXPECT_NEAR(scf::eta2_diagonal(L, M, F, 0), scf::eta2_diagonal(L, M, F, 1), 1e-9) << L << " " << M;
      EXPECT_NEAR(scf::eta2_next(L, M, F, 0), scf::eta2_next(L, M, F, 1), 1e-9) << L << " " << M;
      EXPECT_NEAR(scf::eta_next(L, M, F, 0), a, 1e-9) << L << " " << M;
    }
  // No harmonic Y(L, M) with |M| > L: the elements vanish, as the library's.
  EXPECT_EQ(scf::eta2_diagonal(1, 2, F, 1), 0.0);
  EXPECT_EQ(scf::eta2_next(1, 2, F, 1), 0.0);
  EXPECT_EQ(scf::eta_next(0, 1, F, 1), 0.0);
  // The η² Gaunt integral: exact path against the library's within its digits.
  for (int L3 : {0, 1, 2, 5})
    for (int M1 : {0, 1})
      EXPECT_NEAR(scf::eta2_gaunt({nullptr, 1}, 3, 2, L3, M1, 0, M1, F), scf::eta2_gaunt({}, 3, 2, L3, M1, 0, M1, F),
                  1e-9)
          << L3 << " " << M1;
}

}  // namespace

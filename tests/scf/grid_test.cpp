// The outer grid (outer_grid), the shell overlap (shell_overlap) and the
// orbitals carried between grids (carry_wave).
#include "scf/grid.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "scf/overlap.hpp"
#include "scf/regrid.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

// The columns are the Liouville normal form of (p y′)′ with p = ξ² − 1 in the
// variable x: for u = y/g,  u_xx + col5·u = (p y′)′·col3/g.  Checked on
// y = ξ·e^(−ξ/3) with second differences in x on a fine grid.
// The graded map's points lie uniformly in its x.
TEST(OuterGrid, ColumnsAreTheLiouvilleFormOfTheRadialOperator) {
  for (int IGRID : {1, 2}) {
    System sys(1.0, 1.0, 2.0, {{0, 0, 1}}, 5, 4006, 1.05, 30.0, IGRID);
    const lib::CMat R = sys.grid();
    const int NA = sys.NA, NB = sys.NB;
    auto y = [](double x) { return x * std::exp(-x / 3.0); };
    auto Ly = [](double x) {  // (p y′)′ = 2ξ y′ + p y″
      const double e = std::exp(-x / 3.0);
      const double d1 = e * (1.0 - x / 3.0), d2 = e * (-2.0 / 3.0 + x / 9.0);
      return 2.0 * x * d1 + (x * x - 1.0) * d2;
    };
    double worst = 0.0;
    for (int i = NA + 2; i < NB; ++i) {
      auto u = [&](int k) { return y(R(k, 1)) / R(k, 6); };
      const double uxx = (u(i + 1) - 2.0 * u(i) + u(i - 1)) / (sys.t.HB * sys.t.HB);
      const double want = Ly(R(i, 1)) * R(i, 3) / R(i, 6) - R(i, 5) * u(i);
      worst = std::max(worst, std::fabs(uxx - want) / (std::fabs(want) + std::fabs(R(i, 5) * u(i)) + 1e-3));
    }
    EXPECT_LT(worst, 1e-4) << "IGRID " << IGRID;
    // The junction repeats the last inner point; the grid ends at RP(2).
    EXPECT_NEAR(R(NA + 1, 1), 1.05, 1e-12);
    EXPECT_NEAR(R(NB, 1), 30.0, 1e-10);
    if (IGRID == 2) {
      auto x = [](double xi) { return xi - 10.0 / (xi - 0.9) + std::log(xi - 1.0); };
      double off = 0.0;
      for (int i = NA + 1; i <= NB; ++i) off = std::max(off, std::fabs(x(R(i, 1)) - x(1.05) - (i - NA - 1) * sys.t.HB));
      EXPECT_LT(off, 1e-11);
    }
  }
}

// The points are the images of a uniform grid in x, x_i = x(RA) + (i − NA − 1)·HB:
// ξ_i is the root of x(ξ) = x_i to within a few ulps, and column 3 is
// 1/(x′²(ξ² − 1)) at ξ_i; both checked in long double.  The written root
// loses 90ε in ξ near the junction (a displacement of 1e-11 in x through
// x′ ≈ 800), and ξ² − 1 its relative precision ε/(ξ − 1).
TEST(OuterGrid, PointsWithoutCancellationLieOnTheUniformGridInX) {
  for (int IGRID : {0, 1}) {
    System sys(1.0, 1.0, 2.0, {{0, 0, 1}}, 5, 6406, 1.01, 40.0, IGRID);
    const lib::CMat R = sys.grid();
    const double X1 = 1.01 - 10.0 / (1.01 - 0.9);  // as the program forms it
    const long double c = 0.9;
    double ulps = 0.0, d3 = 0.0;
    for (int i = sys.NA + 1; i <= sys.NB; ++i) {
      const double x = X1 + (i - sys.NA - 1) * sys.t.HB;  // the point in x as the program forms it
      const long double y = x - c;
      const long double s = std::sqrt(y * y + 40.0L), root = c + (y < 0 ? 20.0L / (s - y) : (y + s) / 2.0L);
      const long double xi = R(i, 1), d = xi - c, x1 = 1.0L + 10.0L / (d * d), p = (xi - 1.0L) * (xi + 1.0L);
      ulps = std::max(ulps, static_cast<double>(std::fabs(xi - root) / (DBL_EPSILON * xi)));
      d3 = std::max(d3, static_cast<double>(std::fabs(R(i, 3) * x1 * x1 * p - 1.0L)));
    }
    if (IGRID == 1) {
      EXPECT_LT(ulps, 4.0);
      EXPECT_LT(d3, 1e-14);
    } else {
      EXPECT_GT(ulps, 20.0) << "the written root";
    }
  }
}

// Partial waves X_L(ξ) = 2π ∫ φ(ξ,η) Y(L,0)(η) dη of an axial function, by
// Simpson's rule in η, in the stored form (divided by column 6 outside).
std::vector<double> partial_waves(const System& sys, int n, double (*phi)(double, double, double), double a) {
  const int K = 4000;
  std::vector<double> X(static_cast<size_t>(sys.NB) * n, 0.0);
  for (int i = 1; i <= sys.NB; ++i) {
    const double xi = sys.xi(i);
    for (int k = 0; k <= K; ++k) {
      const double eta = -1.0 + 2.0 * k / K;
      const double w = (k == 0 || k == K) ? 1.0 : (k % 2 ? 4.0 : 2.0);
      const double f = phi(xi, eta, a) * w * (2.0 / K) / 3.0 * 2.0 * M_PI;
      double p0 = 1.0, p1 = eta;  // Legendre recurrence
      for (int L = 0; L < n; ++L) {
        const double PL = L == 0 ? p0 : p1;
        X[static_cast<size_t>(L) * sys.NB + (i - 1)] += f * std::sqrt((2 * L + 1) / (4 * M_PI)) * PL;
        if (L >= 1) {
          const double p2 = ((2 * L + 1) * eta * p1 - L * p0) / (L + 1);
          p0 = p1;
          p1 = p2;
        }
      }
    }
    if (i > sys.NA)
      for (int L = 0; L < n; ++L) X[static_cast<size_t>(L) * sys.NB + (i - 1)] /= sys.t.R(i, 6);
  }
  return X;
}

// Hydrogen orbitals on the focus η = −1 (r = a(ξ + η), z + a = a(ξη + 1)).
double hydrogen_1s(double xi, double eta, double a) { return std::exp(-a * (xi + eta)) / std::sqrt(M_PI); }
double hydrogen_2p0(double xi, double eta, double a) {
  return a * (xi * eta + 1.0) * std::exp(-a * (xi + eta) / 2.0) / (4.0 * std::sqrt(2.0 * M_PI));
}

// With the η² matrix of one_electron_equations, shell_overlap is the overlap in the volume element
// (RZ/2)³(ξ² − η²): the hydrogen orbitals come out normalised and orthogonal.
TEST(ShellOverlap, HydrogenOrbitalsOnAFocusAreOrthonormal) {
  const double RZ = 1.0, a = RZ / 2;
  const int n = 14;
  System sys(1.0, 0.0, RZ, {{0, 0, n}}, 5, 1606, 1.01, 120.0);
  scftest::one_electron_equations(sys, 1);
  const std::vector<double> s1 = partial_waves(sys, n, hydrogen_1s, a), p0 = partial_waves(sys, n, hydrogen_2p0, a);
  const lib::CMat X1(s1.data(), sys.NB, n), X2(p0.data(), sys.NB, n);
  auto ov = [&](lib::CMat A, lib::CMat B) { return sys.overlap(n, A, B); };
  EXPECT_NEAR(ov(X1, X1), 1.0, 1e-8);
  EXPECT_NEAR(ov(X2, X2), 1.0, 1e-8);
  EXPECT_NEAR(ov(X1, X2), 0.0, 1e-8);
  EXPECT_NEAR(ov(X2, X1), 0.0, 1e-8);
}

}  // namespace

// A wave carried between grids: y = (ξ² − 1)^(M/2)·e^(−3ξ) (M = 1, the axis
// factor of a π orbital, with a hydrogen-like decay) from a coarse grid onto
// a finer one that also starts closer to ξ = 1 and ends farther out.  The
// six-point polynomial errs as h⁶: doubling the coarse grid's points cuts the
// error by about 64 (4.4e-9 of the largest value at 406 points, 7e-11 at 806); beyond the coarse grid's end the
// exponential tail is the function itself.
TEST(CarryWave, SmoothWaveIsCarriedWithTheSixthOrderOfItsPolynomial) {
  const int M = 1;
  auto y = [&](double xi) { return std::pow(xi * xi - 1.0, 0.5 * M) * std::exp(-3.0 * xi); };
  const scf::GridPoints to = scf::grid_points(5, 3006, 1.003, 30.0, 1);
  auto worst = [&](int NB) {
    const scf::GridPoints from = scf::grid_points(5, NB, 1.005, 20.0, 1);
    std::vector<double> X1(static_cast<size_t>(NB)), X2(to.xi.size());
    for (int i = 0; i < NB; ++i)
      X1[static_cast<size_t>(i)] = y(from.xi[static_cast<size_t>(i)]) / from.g[static_cast<size_t>(i)];
    scf::carry_wave(M, from, lib::CVec(X1.data(), NB), to, lib::Vec(X2.data(), static_cast<int>(X2.size())));
    double err = 0.0, size = 0.0;
    for (size_t i = 0; i < X2.size(); ++i) {
      err = std::max(err, std::fabs(X2[i] * to.g[i] - y(to.xi[i])));
      size = std::max(size, std::fabs(y(to.xi[i])));
    }
    return err / size;
  };
  const double coarse = worst(406), fine = worst(806);
  EXPECT_LT(coarse, 1e-8);
  EXPECT_GT(coarse / fine, 50.0) << coarse << " " << fine;
}

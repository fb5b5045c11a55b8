// Grid tables of the dipole operators, differentiation and integration on
// the two-region grid.
#include "lib/two_region_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/quadrature.hpp"
#include "support/dense.hpp"
#include "support/legendre.hpp"
#include "two_region_grid_for_tests.hpp"

namespace {

using ref::Dense;
using twogrid::Grid;
using twogrid::NA;
using twogrid::rho_of;

using GridTables = twogrid::Quiet;

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
  EXPECT_THROW(lib::length_form_grid(1, 10, HA, HB, lib::CVec(good.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::length_form_grid(9, 10, HA, HB, lib::CVec(good.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::velocity_form_grid(5, 10, HA, HB, lib::CVec(inverted.data(), 2), R.view()), io::StopRun);
  EXPECT_THROW(lib::velocity_form_grid(5, 10, HA, HB, lib::CVec(low.data(), 2), R.view()), io::StopRun);
}

// The difference formulas are exact for a quadratic in ξ on region 1 and
// for a quadratic in the outer step index on region 2.
TEST(TwoRegionDerivative, ConstantsAndQuadraticsAreDifferentiatedExactly) {
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
    lib::two_region_derivative(N, HA, HB, lib::CVec(X.data(), N), lib::CVec(G.data(), N), lib::Vec(Y.data(), N));
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
TEST(TwoRegionOverlap, IntegratesCubicsExactlyOnEachRegion) {
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
  const lib::RadialGrid grid{NA, NB, HA, HB};
  const double got = lib::two_region_overlap(grid, RZ3, lib::CVec(R3.data(), NB), lib::CVec(R6.data(), NB), 2,
                                             X.cview(), Z.cview(), lib::Vec(WK.data(), NB));
  EXPECT_NEAR(got, want, 1e-12 * std::fabs(want));
  EXPECT_EQ(lib::two_region_overlap(grid, RZ3, lib::CVec(R3.data(), NB), lib::CVec(R6.data(), NB), 0, X.cview(),
                                    Z.cview(), lib::Vec(WK.data(), NB)),
            0.0);
}

}  // namespace

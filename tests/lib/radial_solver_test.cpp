// The radial solver: inner tables, the Numerov sweep against a dense solve,
// Legendre solutions of the homogeneous equation, and the O(h⁴) convergence
// of a full two-region solve with a closed-form solution.
#include "lib/radial_solver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "support/solver_grid.hpp"
#include "io/stop.hpp"
#include "reference_math.hpp"

namespace {

using lib::CVec;
using lib::Vec;
using testgrid::Grid;
using testgrid::make_grid;
using testgrid::SolveWork;

TEST(InnerSeriesTables, InnerGridAndRecurrenceCoefficients) {
  Grid G = make_grid(5, 41, 2.0, 20.0);
  EXPECT_EQ(G.HA, 0.25);
  const double want[] = {1.0 + 1.0e-9, 1.25, 1.5, 1.75, 2.0};
  for (int I = 1; I <= 5; ++I) {
    EXPECT_EQ(G.xi(I), want[I - 1]);
    EXPECT_EQ(G.R()(I, 2), want[I - 1] * want[I - 1]);
    for (int c = 3; c <= 7; ++c) EXPECT_EQ(G.R()(I, c), (c == 3 || c >= 6) ? 1.0 : 0.0) << I << " " << c;
  }
  EXPECT_EQ(G.xi(6), G.xi(5));  // the junction is held twice
  EXPECT_EQ(G.AA()(1, 1), 2.0);
  EXPECT_EQ(G.BB()(1, 1), 0.0);
  EXPECT_EQ(G.BB()(2, 1), 2.0);
  EXPECT_EQ(G.AA()(2, 2), 12.0);
  EXPECT_EQ(G.BB()(3, 2), 12.0);
  for (int m = 0; m < 5; ++m)
    for (int I = 1; I <= 5; ++I) {
      EXPECT_EQ(G.AA()(I, m + 1), 2.0 * I * (I + m));
      EXPECT_EQ(G.BB()(I, m + 1), (I - 1.0 + m) * (I + m));
    }
}

TEST(InnerSeriesTables, WwTurnsInnerValuesIntoTaylorCoefficientsAtXiOne) {
  Grid G = make_grid(5, 41, 1.6, 20.0);
  const double c[] = {0.5, -1.25, 2.0, 0.75, -0.3};  // w(t) = Σ c_k t^k
  std::vector<double> w(5);
  for (int J = 1; J <= 5; ++J) {
    const double t = G.xi(J) - 1.0;
    w[J - 1] = c[0] + t * (c[1] + t * (c[2] + t * (c[3] + t * c[4])));
  }
  for (int I = 1; I <= 5; ++I) {
    double s = 0;
    for (int J = 1; J <= 5; ++J) s += G.WW()(J, I) * w[J - 1];
    EXPECT_NEAR(s, c[I - 1], 1e-11) << I;
  }
}

TEST(InnerSeriesTables, GridsWithoutAnInnerStepOrOuterRoomStop) {
  for (auto [NA, RA] : {std::pair{1, 2.0}, std::pair{5, 1.0}, std::pair{5, 0.5}}) {
    EXPECT_THROW(make_grid(NA, 41, RA, 20.0), io::StopRun) << NA << " " << RA;
  }
}

TEST(NumerovSweep, ZeroDataWithEqualEndValuesGivesTheConstantSolution) {
  const int N = 9;
  std::vector<double> P(N, 0.0), Q(N, 0.0), U(N, -1.0), V(N, -1.0);
  const double B[] = {1.0, -1.0, 0.0, 0.0};
  lib::numerov_backward_sweep(N, 12.0 / 0.01, CVec(B, 4), CVec(P.data(), N), CVec(Q.data(), N), Vec(U.data(), N),
                              Vec(V.data(), N));
  for (int j = 2; j <= N; ++j) {
    EXPECT_NEAR(U[j - 1], 1.0, 1e-14) << j;
    EXPECT_NEAR(V[j - 1], 0.0, 1e-14) << j;
  }
}

TEST(NumerovSweep, SweepReproducesADenseSolveOfTheNumerovEquations) {
  // Equations centred at 2 … N−1, the three-point far condition and a given
  // X(1), solved as one dense system; the sweep must give the same X.
  const int N = 12;
  const double CH = 12.0 / (0.3 * 0.3);
  const double B[] = {0.8, -1.3, 0.45, 0.2};
  std::vector<double> P(N), Q(N);
  for (int j = 0; j < N; ++j) {
    P[j] = -2.0 + std::sin(1.0 + j);
    Q[j] = std::cos(0.5 * j) - 0.2 * j;
  }
  const double X1 = 0.7;
  std::vector<double> A(N * N, 0.0), rhs(N, 0.0);
  auto a = [&](int i, int j) -> double& { return A[(j - 1) * N + (i - 1)]; };
  a(1, 1) = 1.0;
  rhs[0] = X1;
  for (int j = 2; j <= N - 1; ++j) {
    a(j, j - 1) = P[j - 2] + CH;
    a(j, j) = 10 * P[j - 1] - 2 * CH;
    a(j, j + 1) = P[j] + CH;
    rhs[j - 1] = Q[j - 2] + 10 * Q[j - 1] + Q[j];
  }
  a(N, N) = B[0];
  a(N, N - 1) = B[1];
  a(N, N - 2) = B[2];
  rhs[N - 1] = B[3];
  const std::vector<double> X = ref::solve_dense(A, rhs, N);

  // Both forms of the sweep: the difference form holds g = U − 1.
  for (int IDIF : {0, 1}) {
    std::vector<double> U(N), V(N);
    lib::numerov_backward_sweep(N, CH, CVec(B, 4), CVec(P.data(), N), CVec(Q.data(), N), Vec(U.data(), N),
                                Vec(V.data(), N), IDIF);
    double x = X1;
    for (int j = 2; j <= N; ++j) {
      x = IDIF == 1 ? x + (U[j - 1] * x + V[j - 1]) : U[j - 1] * x + V[j - 1];
      EXPECT_NEAR(x, X[j - 1], 1e-12 * (1 + std::fabs(X[j - 1]))) << j << " IDIF " << IDIF;
    }
  }
}

// Regular solutions of (p y')' − m²/p·y − λ(λ+1)·y = 0 written as
// y = (ξ²−1)^(m/2)·f(t), with f normalised to f(0) = 1:
//   λ=1 m=0: P1 = ξ;   λ=1 m=1: (ξ²−1)^½;   λ=2 m=0: P2 = (3ξ²−1)/2 = 1 + 3t + 1.5t²;
//   λ=2 m=1: ξ(ξ²−1)^½;  λ=2 m=2: ξ²−1;  λ=3 m=0: P3 = 1 + 6t + 7.5t² + 2.5t³.
struct Legendre {
  int lam, m;
  std::vector<double> f;  // Taylor coefficients in t = ξ − 1
};

TEST(RadialEquation, UnmatchedRegularSolutionIsTheLegendreFunction) {
  Grid G = make_grid(5, 41, 1.5, 20.0);
  const Legendre cases[] = {{1, 0, {1, 1, 0, 0, 0}}, {1, 1, {1, 0, 0, 0, 0}}, {2, 0, {1, 3, 1.5, 0, 0}},
                            {2, 1, {1, 1, 0, 0, 0}}, {2, 2, {1, 0, 0, 0, 0}}, {3, 0, {1, 6, 7.5, 2.5, 0}}};
  const double B[] = {1.0, -1.0, 0.0, 0.0};
  for (const Legendre& c : cases) {
    std::vector<double> P(G.NB), Q(G.NB, 0.0);
    for (int i = 1; i <= G.NB; ++i) P[i - 1] = G.P(i, c.lam, c.m);
    SolveWork w(G.NA, G.NB);
    testgrid::solve(G, c.m, 0, B, P, Q, w);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(w.cx[k], c.f[k], 1e-10) << c.lam << " " << c.m << " c" << k;
    for (int I = 1; I <= G.NA; ++I) {
      const double xi = G.xi(I), t = xi - 1;
      const double y = std::pow(xi * xi - 1, c.m / 2.0) * (c.f[0] + t * (c.f[1] + t * (c.f[2] + t * c.f[3])));
      EXPECT_NEAR(w.x[I - 1], y, 1e-10) << c.lam << " " << c.m << " point " << I;
    }
    // The junction value is the last inner value in the outer scaling.
    EXPECT_NEAR(w.x[G.NA], w.x[G.NA - 1] / G.scale(G.NA + 1), 4e-15 * std::fabs(w.x[G.NA]));
  }
}

TEST(RadialEquation, UnmatchedSolutionIgnoresTheSourceInItsLeadingCoefficient) {
  Grid G = make_grid(5, 41, 1.5, 20.0);
  std::vector<double> P(G.NB), Q(G.NB);
  for (int i = 1; i <= G.NB; ++i) {
    P[i - 1] = G.P(i, 2, 1);
    Q[i - 1] = std::sin(3.0 * i) * 10;
  }
  const double B[] = {1.0, -1.0, 0.0, 0.0};
  SolveWork w(G.NA, G.NB);
  testgrid::solve(G, 1, 0, B, P, Q, w);
  EXPECT_EQ(w.cx[0], 1.0);
}

TEST(RadialEquation, MatchedSolveOfZeroDataWithHomogeneousConditionIsZero) {
  Grid G = make_grid(5, 41, 1.5, 20.0);
  std::vector<double> P(G.NB, 0.0), Q(G.NB, 0.0);
  const double B[] = {1.0, -0.9, 0.0, 0.0};
  SolveWork w(G.NA, G.NB);
  std::fill(w.x.begin(), w.x.end(), 3.0);
  testgrid::solve(G, 0, 1, B, P, Q, w);
  for (double x : w.x) EXPECT_EQ(x, 0.0);
}

// y = (ξ²−1)^(m/2)·f(t) with a quartic f solves
//   (p y')' − m²/p·y − λ(λ+1)·y = S,  S = p^(m/2)·[p f'' + 2(m+1)ξ f' + (m(m+1) − λ(λ+1)) f],
// and its inner part is exactly what the series can represent, so the whole
// error of the matched solve (Dirichlet value at the far end) is that of the
// Numerov scheme in the outer region: O(h⁴).
struct Poisson {
  int lam, m;
  double f[5];
  double eval(double xi, double* S) const {
    const double t = xi - 1, p = xi * xi - 1;
    const double F = f[0] + t * (f[1] + t * (f[2] + t * (f[3] + t * f[4])));
    const double F1 = f[1] + t * (2 * f[2] + t * (3 * f[3] + t * 4 * f[4]));
    const double F2 = 2 * f[2] + t * (6 * f[3] + t * 12 * f[4]);
    const double pm = std::pow(p, m / 2.0);
    *S = pm * (p * F2 + 2 * (m + 1) * xi * F1 + (m * (m + 1.0) - lam * (lam + 1.0)) * F);
    return pm * F;
  }
};

double max_outer_error(const Poisson& c, int NB, int IDIF = 0) {
  Grid G = make_grid(5, NB, 1.5, 12.0);
  std::vector<double> P(NB), Q(NB), y(NB);
  double ymax = 0;
  for (int i = 1; i <= NB; ++i) {
    double S;
    y[i - 1] = c.eval(G.xi(i), &S);
    P[i - 1] = G.P(i, c.lam, c.m);
    Q[i - 1] = G.Q(i, S);
    ymax = std::max(ymax, std::fabs(y[i - 1]));
  }
  const double B[] = {1.0, 0.0, 0.0, y[NB - 1] / G.scale(NB)};
  SolveWork w(G.NA, NB);
  testgrid::solve(G, c.m, 1, B, P, Q, w, IDIF);
  double err = 0;
  for (int i = 1; i <= NB; ++i) err = std::max(err, std::fabs(w.x[i - 1] * G.scale(i) - y[i - 1]));
  return err / ymax;
}

TEST(RadialEquation, TwoRegionSolveConvergesAtFourthOrderInTheOuterStep) {
  const Poisson cases[] = {{0, 0, {1.0, -0.5, 0.25, 0.1, -0.02}},
                           {1, 1, {0.3, 1.0, -0.4, 0.05, 0.01}},
                           {3, 2, {2.0, 0.5, 0.5, -0.1, 0.004}}};
  for (const Poisson& c : cases) {
    // 100, 200 and 400 outer intervals.
    const double e1 = max_outer_error(c, 5 + 101), e2 = max_outer_error(c, 5 + 201), e3 = max_outer_error(c, 5 + 401);
    EXPECT_LT(e1, 1e-5) << c.lam << " " << c.m;
    EXPECT_GT(e1 / e2, 14.0) << c.lam << " " << c.m;
    EXPECT_LT(e1 / e2, 18.0) << c.lam << " " << c.m;
    EXPECT_GT(e2 / e3, 14.0) << c.lam << " " << c.m;
    EXPECT_LT(e2 / e3, 18.0) << c.lam << " " << c.m;
    char figures[96];
    std::snprintf(figures, sizeof figures, "errors %.3e %.3e %.3e, ratios %.3f %.3f", e1, e2, e3, e1 / e2, e2 / e3);
    RecordProperty("lambda_" + std::to_string(c.lam) + "_m_" + std::to_string(c.m), figures);
  }
}

// On a fine grid the outer solve's error is its rounding: the written sweep
// adds P (of order h²) to CH·(…) and keeps it only to the last bit of CH, an
// error that grows as the number of points squared; the difference form
// keeps it to its own precision.  20,000 outer intervals: the grid's own
// error is below 1e-14 here.
TEST(RadialEquation, DifferenceFormKeepsTheRoundingOfAFineGridSmall) {
  const Poisson c{1, 1, {0.3, 1.0, -0.4, 0.05, 0.01}};
  const double written = max_outer_error(c, 5 + 20001, 0), difference = max_outer_error(c, 5 + 20001, 1);
  char figures[96];
  std::snprintf(figures, sizeof figures, "written %.3e, difference form %.3e", written, difference);
  RecordProperty("errors", figures);
  // Measured: written 1.4e-12, difference form 4.4e-15.
  EXPECT_LT(difference, 1e-13) << figures;
}

// The source S ≡ 1 of (p y')' = S has the regular solution y = ln(1 + ξ),
// analytic in |ξ − 1| < 2 only.  The inner series takes the Taylor
// coefficients c_2 … c_5 of ln(2 + t) exactly and leaves out the remainder.
// Matching value and slope at RA then moves the outer solution by δ·h, with h
// = Q_0(ξ) − Q_0(ξ_NB) the homogeneous solution that meets the far condition
// and δ = −p(RA)·(T4' − y')(RA), and shifts c_1 by
//   Δ = y(RA) + δ·h(RA) − T4(RA − 1),  T4 the Taylor polynomial,
// which is about ((RA − 1)/2)^5 up to a logarithm.
TEST(RadialEquation, InnerSeriesIsTheTaylorPolynomialMatchedInValueAndSlope) {
  const double c[] = {std::log(2.0), 0.5, -0.125, 1.0 / 24, -1.0 / 64};
  for (double RA : {1.2, 1.1, 1.05}) {
    Grid G = make_grid(5, 5 + 801, RA, 30.0);
    const int NB = G.NB;
    std::vector<double> P(NB), Q(NB);
    for (int i = 1; i <= NB; ++i) {
      P[i - 1] = G.P(i, 0, 0);
      Q[i - 1] = G.Q(i, 1.0);
    }
    const double B[] = {1.0, 0.0, 0.0, std::log(1 + G.xi(NB)) / G.scale(NB)};
    SolveWork w(G.NA, NB);
    testgrid::solve(G, 0, 1, B, P, Q, w);
    const double t = RA - 1;
    // c_k weighs t^(k−1) at the junction; compare the contributions.
    for (int k = 1; k < 5; ++k) EXPECT_NEAR(w.cx[k] * std::pow(t, k), c[k] * std::pow(t, k), 1e-14) << RA << " c" << k;

    const double T4 = c[0] + t * (c[1] + t * (c[2] + t * (c[3] + t * c[4])));
    const double T4d = c[1] + t * (2 * c[2] + t * (3 * c[3] + t * 4 * c[4]));
    const double delta = -(RA * RA - 1) * (T4d - 1 / (1 + RA));
    const double shift = std::log(1 + RA) + delta * (ref::legendre_q0(RA) - ref::legendre_q0(G.xi(NB))) - T4;
    EXPECT_NEAR(w.cx[0] - c[0], shift, 0.05 * shift) << RA;
  }
}

}  // namespace

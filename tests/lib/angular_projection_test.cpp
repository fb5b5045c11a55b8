// The angular projection of a partial-wave function times a harmonic and
// the volume factor, against direct angular quadrature, and its thresholds.
#include "lib/angular_projection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "factorial_table.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"
#include "lib/gaunt_table.hpp"
#include "reference_math.hpp"

namespace {

using lib::Build;
using lib::CMat;
using lib::CVec;
using lib::Vec;
using Waves = lib::PartialWaves;

using testfac::F;

// A small radial grid: R = ξ² at a few points.
struct Radial {
  int NB = 6;
  std::vector<double> xi = {1.0, 1.2, 1.7, 2.5, 4.0, 9.0}, R;
  Radial() {
    for (double x : xi) R.push_back(x * x);
  }
};

TEST(AngularProjection, NoColumnsGivesZeroResultAndWork) {
  Radial g;
  std::vector<double> q(g.NB, 7.0), q1(g.NB, 7.0);
  lib::angular_projection(g.NB, Waves{{0, 0, 0, 1}, CMat(nullptr, g.NB, 0)}, {0, 0, 0, 1.0}, CVec(g.R.data(), g.NB),
                          F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB));
  for (int j = 0; j < g.NB; ++j) {
    EXPECT_EQ(q[j], 0.0);
    EXPECT_EQ(q1[j], 0.0);
  }
}

TEST(AngularProjection, MonopoleHarmonicGivesTheVolumeFactorOfTheWave) {
  // With Y(0,0) and C = sqrt(4π): Q = X·(ξ² − ⟨L MI|η²|L MI⟩).
  Radial g;
  for (Build b : {Build::photo, Build::scf})
    for (int L = 0; L <= 6; ++L)
      for (int MI = -L; MI <= L; ++MI) {
        std::vector<double> x(g.NB), q(g.NB), q1(g.NB);
        for (int j = 0; j < g.NB; ++j) x[j] = std::exp(-g.xi[j]) * (j + 1);
        lib::angular_projection(g.NB, Waves{{MI, L, 1, 1}, CMat(x.data(), g.NB, 1)}, {0, 0, L, std::sqrt(4 * ref::kPi)},
                                CVec(g.R.data(), g.NB), F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB), b);
        for (int j = 0; j < g.NB; ++j)
          EXPECT_NEAR(q[j], x[j] * (g.R[j] - ref::eta2_diag(L, MI)), 1e-9 * std::fabs(x[j]) * g.R[j]);
      }
}

TEST(AngularProjection, ProjectionAgreesWithDirectAngularQuadrature) {
  // Q(ξ) = C ∫ (ξ² − η²)·Σ_i X_i(ξ)Y(L_i,MI)·Y(KJ,MJ)·conj(Y(K,MI+MJ)) dΩ for
  // a four-wave function, done point by point by η-quadrature.
  Radial g;
  struct Case {
    int MI, MJ, KD, K0I, KJ, K;
  };
  const Case cases[] = {{0, 0, 2, 0, 2, 2}, {1, -1, 1, 1, 1, 2}, {1, 0, 1, 1, 1, 3},
                        {0, 1, 2, 0, 1, 1}, {2, -1, 1, 2, 3, 4}, {-1, 2, 2, 1, 2, 3}};
  const double C = -0.75;
  const int NX = 4;
  for (const Case& c : cases) {
    std::vector<double> x(g.NB * NX), q(g.NB), q1(g.NB);
    for (int i = 0; i < NX; ++i)
      for (int j = 0; j < g.NB; ++j) x[i * g.NB + j] = std::cos(0.7 * i + g.xi[j]) / (1 + i);
    lib::angular_projection(g.NB, Waves{{c.MI, c.K0I, NX, c.KD}, CMat(x.data(), g.NB, NX)}, {c.KJ, c.MJ, c.K, C},
                            CVec(g.R.data(), g.NB), F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB));
    for (int j = 0; j < g.NB; ++j) {
      double want = 0;
      for (int i = 0; i < NX; ++i) {
        const int L = c.K0I + i * c.KD;
        const double plain = ref::angular_integral(L, c.MI, c.KJ, c.MJ, c.K, c.MI + c.MJ, 0);
        const double eta2 = ref::angular_integral(L, c.MI, c.KJ, c.MJ, c.K, c.MI + c.MJ, 2);
        want += C * x[i * g.NB + j] * (g.R[j] * plain - eta2);
      }
      EXPECT_NEAR(q[j], want, 1e-9 * g.R[j]) << c.MI << c.MJ << c.K0I << c.KJ << c.K << " point " << j;
    }
  }
}

TEST(AngularProjectionOnto, VanishesWhenTheProjectionsDoNotAddUp) {
  Radial g;
  std::vector<double> x(g.NB * 2, 1.0), q(g.NB, 5.0), wk(g.NB, 5.0);
  // Waves of M = 1 times Y(1, 1) have projection 2, not the target's 1.
  lib::angular_projection_onto(g.NB, Waves{{1, 1, 2, 1}, CMat(x.data(), g.NB, 2)}, {1, 1, 2, 1.0}, 1,
                               CVec(g.R.data(), g.NB), F(), Vec(wk.data(), g.NB), Vec(q.data(), g.NB));
  for (double v : q) EXPECT_EQ(v, 0.0);
}

// A coefficient of magnitude exactly EPS is used; the next smaller double is
// dropped.  For X = x(ξ)·Y(0,0), Y(0,0) and target Y(0,0) the plain
// coefficient is A = C/sqrt(4π) and the η² one B = −C·⟨η²⟩/sqrt(4π) ≈ −A/3,
// so the two thresholds can be crossed one at a time.
struct Threshold {
  const char* routine;
  double eps;
  Build b;
  bool sumy;
};

void project(const Threshold& t, double C, const Radial& g, std::vector<double>& q) {
  std::vector<double> x(g.xi), q1(g.NB);
  q.assign(g.NB, 0.0);
  if (t.sumy) {
    lib::angular_projection_onto(g.NB, Waves{{0, 0, 1, 2}, CMat(x.data(), g.NB, 1)}, {0, 0, 0, C}, 0,
                                 CVec(g.R.data(), g.NB), F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB));
  } else {
    lib::angular_projection(g.NB, Waves{{0, 0, 1, 2}, CMat(x.data(), g.NB, 1)}, {0, 0, 0, C}, CVec(g.R.data(), g.NB),
                            F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB), t.b);
  }
}

// The factor C for which coef·C rounds to exactly eps, and the largest C
// below it whose product falls short of eps.
std::pair<double, double> factors_at(double coef, double eps) {
  double c = eps / coef;
  for (int k = 0; k < 64 && c * coef != eps; ++k)
    c = (c * coef < eps) ? std::nextafter(c, 1e300) : std::nextafter(c, 0.0);
  EXPECT_EQ(c * coef, eps);
  double below = std::nextafter(c, 0.0);
  while (below * coef >= eps) below = std::nextafter(below, 0.0);
  return {c, below};
}

TEST(Projection, CoefficientExactlyAtTheThresholdIsUsedAndOneBelowIsDropped) {
  Radial g;
  const Threshold cases[] = {{"angular_projection photo", 1.0e-6, Build::photo, false},
                             {"angular_projection scf", 1.0e-8, Build::scf, false},
                             {"angular_projection_onto", 1.0e-7, Build::photo, true}};
  for (const Threshold& t : cases) {
    const double a0 = lib::gaunt_integral(0, 0, 0, 0, 0, 0, F(), t.b);
    const double b0 = -lib::gaunt_integral_eta2(0, 0, 0, 0, 0, 0, F(), t.b);
    std::vector<double> q;

    // Plain coefficient at EPS: used; the η² one (about EPS/3) dropped.
    auto [c, below] = factors_at(a0, t.eps);
    project(t, c, g, q);
    for (int j = 0; j < g.NB; ++j) EXPECT_EQ(q[j], g.xi[j] * (a0 * c) * g.R[j]) << t.routine;
    project(t, below, g, q);
    for (int j = 0; j < g.NB; ++j) EXPECT_EQ(q[j], 0.0) << t.routine;

    // η² coefficient at −EPS: both used; just below: only the plain one.
    auto [cb, belowb] = factors_at(-b0, t.eps);
    project(t, cb, g, q);
    for (int j = 0; j < g.NB; ++j) EXPECT_EQ(q[j], g.xi[j] * (a0 * cb) * g.R[j] + g.xi[j] * (b0 * cb)) << t.routine;
    project(t, belowb, g, q);
    for (int j = 0; j < g.NB; ++j) EXPECT_EQ(q[j], g.xi[j] * (a0 * belowb) * g.R[j]) << t.routine;
  }
}

// The sums run stretch by stretch of the grid for up to 64 waves and column
// by column beyond; coefficients come from a table or from the routines.
// All four give the same bits: a function of 5 waves padded with zero
// columns to 70 takes the column sweep, and each zero column adds an exact
// zero.
TEST(Projection, StretchesColumnSweepAndTableGiveTheSameBits) {
  const int NB = 600, NX = 5, NPAD = 70;  // three stretches, the last partial
  std::vector<double> R(NB), x(static_cast<size_t>(NB) * NPAD, 0.0);
  for (int j = 0; j < NB; ++j) {
    const double xi = 1.0 + 0.05 * j;
    R[j] = xi * xi;
    for (int i = 0; i < NX; ++i) x[static_cast<size_t>(i) * NB + j] = std::cos(0.3 * j + i) / (1.0 + i * xi);
  }
  const lib::GauntTable table(12, 3, F(), Build::photo);
  auto run = [&](int n, const lib::GauntTable* t) {
    std::vector<double> q(NB), wk(NB);
    lib::angular_projection_onto(NB, Waves{{1, 1, n, 1}, CMat(x.data(), NB, n)}, {2, -1, 3, -0.75}, 0,
                                 CVec(R.data(), NB), F(), Vec(wk.data(), NB), Vec(q.data(), NB), t);
    q.insert(q.end(), wk.begin(), wk.end());
    return q;
  };
  const std::vector<double> stretches = run(NX, nullptr);
  EXPECT_EQ(run(NPAD, nullptr), stretches);
  EXPECT_EQ(run(NX, &table), stretches);
  double largest = 0.0;
  for (double v : stretches) largest = std::max(largest, std::fabs(v));
  EXPECT_GT(largest, 0.1);  // not a sum of dropped coefficients

  // Σ_p y_p·Q_p in one pass is the loop of single projections to the bit.
  const int NY = 4;
  std::vector<double> y(static_cast<size_t>(NB) * NY);
  for (int p = 0; p < NY; ++p)
    for (int j = 0; j < NB; ++j) y[static_cast<size_t>(p) * NB + j] = std::sin(0.11 * j * (p + 1)) - 0.2 * p;
  const Waves xs{{1, 1, NX, 1}, CMat(x.data(), NB, NX)}, ys{{0, 2, NY, 1}, CMat(y.data(), NB, NY)};
  std::vector<double> loop(NB, 0.0), q(NB), wk(NB), fused(NB);
  for (int p = 1; p <= NY; ++p) {
    lib::angular_projection_onto(NB, xs, {ys.L(p), -1, 3, -0.75}, 0, CVec(R.data(), NB), F(), Vec(wk.data(), NB),
                                 Vec(q.data(), NB));
    for (int j = 0; j < NB; ++j) loop[j] = loop[j] + y[static_cast<size_t>(p - 1) * NB + j] * q[j];
  }
  lib::weighted_projection_onto(NB, xs, ys, -1, 3, -0.75, 0, CVec(R.data(), NB), F(), &table, Vec(fused.data(), NB));
  EXPECT_EQ(fused, loop);
}

}  // namespace

// Simpson and Gauss–Legendre quadrature and the angular projection of
// products.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "factorial_table.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"
#include "reference_math.hpp"

namespace {

using lib::Build;
using lib::CMat;
using lib::CVec;
using lib::Fac;
using lib::Vec;

using testfac::F;

TEST(Fins, WeightsOfThreeAndFivePointsAndExactnessForCubics) {
  for (Build b : {Build::photo, Build::scf}) {
    const double f3[] = {1.5, -2.0, 4.0};
    EXPECT_NEAR(lib::FINS(3, 0.3, CVec(f3, 3), b), 0.3 * (1.5 - 8.0 + 4.0) / 3, 1e-15);
    const double f5[] = {1.0, 2.0, 3.0, 5.0, 8.0};
    EXPECT_NEAR(lib::FINS(5, 0.5, CVec(f5, 5), b), 0.5 * (1 + 8 + 6 + 20 + 8) / 3.0, 1e-15);

    for (int N : {3, 5, 7, 101}) {
      std::vector<double> one(N, 1.0), cubic(N);
      const double H = 0.125;
      for (int i = 0; i < N; ++i) {
        const double x = i * H;
        cubic[i] = 2 * x * x * x - x * x + 3;
      }
      const double L = (N - 1) * H;
      EXPECT_NEAR(lib::FINS(N, H, CVec(one.data(), N), b), H * (N - 1), 1e-13);
      EXPECT_NEAR(lib::FINS(N, H, CVec(cubic.data(), N), b), L * L * L * L / 2 - L * L * L / 3 + 3 * L,
                  1e-12 * L * L * L * L);
    }
  }
}

// The Gauss–Legendre rule against the extended-precision rule of the tests
// and against exact moments: ∫ x^k dx over [−1, 1] is 2/(k+1) for even k and
// 0 for odd k up to k = 2N − 1; x^(2N) is no longer integrated exactly
// (visibly so for few points).
TEST(GaussLegendre, NodesWeightsAndExactnessUpToDegreeTwoNMinusOne) {
  for (int N : {1, 2, 5, 8, 32}) {
    std::vector<double> x(N), w(N);
    lib::gauss_legendre(N, Vec(x.data(), N), Vec(w.data(), N));
    const ref::Rule r = ref::gauss_legendre(N);
    for (int i = 0; i < N; ++i) {
      EXPECT_NEAR(x[i], r.x[i], 4e-16) << N << " node " << i;
      EXPECT_NEAR(w[i], r.w[i], 1e-14 * r.w[i]) << N << " weight " << i;
      if (i > 0) {
        EXPECT_LT(x[i - 1], x[i]) << N;
      }
    }
    for (int k = 0; k <= 2 * N; ++k) {
      double q = 0.0;
      for (int i = 0; i < N; ++i) q += w[i] * std::pow(x[i], k);
      const double exact = k % 2 == 0 ? 2.0 / (k + 1) : 0.0;
      if (k < 2 * N) {
        EXPECT_NEAR(q, exact, 1e-14) << N << " degree " << k;
      } else if (N <= 5) {
        EXPECT_GT(std::fabs(q - exact), 1e-4) << N << " degree " << k;
      }
    }
  }
}

TEST(Fins, EvenOrTooFewPointsStopWithTheCountInTheMessageOfEachBuild) {
  const double f[4] = {1, 1, 1, 1};
  for (int N : {4, 2, 1, 0}) {
    try {
      lib::FINS(N, 1.0, CVec(f, 4));
      FAIL() << N;
    } catch (const io::StopRun& s) {
      EXPECT_EQ(s.message(), " FINS N =     " + std::to_string(N));
    }
    try {
      lib::FINS(N, 1.0, CVec(f, 4), Build::scf);
      FAIL() << N;
    } catch (const io::StopRun& s) {
      EXPECT_EQ(s.message(), " Fins N =     " + std::to_string(N));
    }
  }
}

// A small radial grid: R = ξ² at a few points.
struct Radial {
  int NB = 6;
  std::vector<double> xi = {1.0, 1.2, 1.7, 2.5, 4.0, 9.0}, R;
  Radial() {
    for (double x : xi) R.push_back(x * x);
  }
};

TEST(Suma, NoColumnsGivesZeroResultAndWork) {
  Radial g;
  std::vector<double> q(g.NB, 7.0), q1(g.NB, 7.0);
  lib::SUMA(g.NB, 0, 0, 0, 1, 0, 0, 0, 1.0, CVec(g.R.data(), g.NB), CMat(nullptr, g.NB, 0), F(), Vec(q1.data(), g.NB),
            Vec(q.data(), g.NB));
  for (int j = 0; j < g.NB; ++j) {
    EXPECT_EQ(q[j], 0.0);
    EXPECT_EQ(q1[j], 0.0);
  }
}

TEST(Suma, MonopoleHarmonicGivesTheVolumeFactorOfTheWave) {
  // With Y(0,0) and C = sqrt(4π): Q = X·(ξ² − ⟨L MI|η²|L MI⟩).
  Radial g;
  for (Build b : {Build::photo, Build::scf})
    for (int L = 0; L <= 6; ++L)
      for (int MI = -L; MI <= L; ++MI) {
        std::vector<double> x(g.NB), q(g.NB), q1(g.NB);
        for (int j = 0; j < g.NB; ++j) x[j] = std::exp(-g.xi[j]) * (j + 1);
        lib::SUMA(g.NB, 1, MI, 0, 1, L, 0, L, std::sqrt(4 * ref::kPi), CVec(g.R.data(), g.NB), CMat(x.data(), g.NB, 1),
                  F(), Vec(q1.data(), g.NB), Vec(q.data(), g.NB), b);
        for (int j = 0; j < g.NB; ++j)
          EXPECT_NEAR(q[j], x[j] * (g.R[j] - ref::eta2_diag(L, MI)), 1e-9 * std::fabs(x[j]) * g.R[j]);
      }
}

TEST(Suma, ProjectionAgreesWithDirectAngularQuadrature) {
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
    lib::SUMA(g.NB, NX, c.MI, c.MJ, c.KD, c.K0I, c.KJ, c.K, C, CVec(g.R.data(), g.NB), CMat(x.data(), g.NB, NX), F(),
              Vec(q1.data(), g.NB), Vec(q.data(), g.NB));
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

TEST(Sumy, VanishesWhenTheProjectionsDoNotAddUp) {
  Radial g;
  std::vector<double> x(g.NB * 2, 1.0), q(g.NB, 5.0), wk(g.NB, 5.0);
  const int mn1[] = {1, 1, 2};
  lib::SUMY(g.NB, 1, lib::CIVec(mn1, 3), 1, 1, 1, 2, 1.0, CVec(g.R.data(), g.NB), F(), Vec(wk.data(), g.NB),
            CMat(x.data(), g.NB, 2), Vec(q.data(), g.NB));
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
    const int mn1[] = {0, 0, 1};
    lib::SUMY(g.NB, 2, lib::CIVec(mn1, 3), 0, 0, 0, 0, C, CVec(g.R.data(), g.NB), F(), Vec(q1.data(), g.NB),
              CMat(x.data(), g.NB, 1), Vec(q.data(), g.NB));
  } else {
    lib::SUMA(g.NB, 1, 0, 0, 2, 0, 0, 0, C, CVec(g.R.data(), g.NB), CMat(x.data(), g.NB, 1), F(), Vec(q1.data(), g.NB),
              Vec(q.data(), g.NB), t.b);
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
  const Threshold cases[] = {{"SUMA photo", 1.0e-6, Build::photo, false},
                             {"SUMA scf", 1.0e-8, Build::scf, false},
                             {"SUMY", 1.0e-7, Build::photo, true}};
  for (const Threshold& t : cases) {
    const double a0 = lib::FSGA(0, 0, 0, 0, 0, 0, F(), t.b);
    const double b0 = -lib::FSGB(0, 0, 0, 0, 0, 0, F(), t.b);
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

}  // namespace

// Simpson and Gauss–Legendre quadrature, each against exact
// moments and an extended-precision reference.
#include "lib/quadrature.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "io/stop.hpp"
#include "lib/build.hpp"
#include "reference_math.hpp"

namespace {

using lib::Build;
using lib::CVec;
using lib::Vec;

TEST(SimpsonRule, WeightsOfThreeAndFivePointsAndExactnessForCubics) {
  for (Build b : {Build::photo, Build::scf}) {
    const double f3[] = {1.5, -2.0, 4.0};
    EXPECT_NEAR(lib::simpson_rule(3, 0.3, CVec(f3, 3), b), 0.3 * (1.5 - 8.0 + 4.0) / 3, 1e-15);
    const double f5[] = {1.0, 2.0, 3.0, 5.0, 8.0};
    EXPECT_NEAR(lib::simpson_rule(5, 0.5, CVec(f5, 5), b), 0.5 * (1 + 8 + 6 + 20 + 8) / 3.0, 1e-15);

    for (int N : {3, 5, 7, 101}) {
      std::vector<double> one(N, 1.0), cubic(N);
      const double H = 0.125;
      for (int i = 0; i < N; ++i) {
        const double x = i * H;
        cubic[i] = 2 * x * x * x - x * x + 3;
      }
      const double L = (N - 1) * H;
      EXPECT_NEAR(lib::simpson_rule(N, H, CVec(one.data(), N), b), H * (N - 1), 1e-13);
      EXPECT_NEAR(lib::simpson_rule(N, H, CVec(cubic.data(), N), b), L * L * L * L / 2 - L * L * L / 3 + 3 * L,
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

TEST(SimpsonRule, EvenOrTooFewPointsStopWithTheCountInTheMessageOfEachBuild) {
  const double f[4] = {1, 1, 1, 1};
  for (int N : {4, 2, 1, 0}) {
    try {
      lib::simpson_rule(N, 1.0, CVec(f, 4));
      FAIL() << N;
    } catch (const io::StopRun& s) {
      EXPECT_EQ(s.message(), " FINS N =     " + std::to_string(N));
    }
    try {
      lib::simpson_rule(N, 1.0, CVec(f, 4), Build::scf);
      FAIL() << N;
    } catch (const io::StopRun& s) {
      EXPECT_EQ(s.message(), " Fins N =     " + std::to_string(N));
    }
  }
}

}  // namespace

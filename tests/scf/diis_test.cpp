// DIIS between sweeps: the coefficients of the least residual combination,
// and the acceleration of a slowly converging linear fixed-point map (the
// model of the sweeps near self-consistency) against the plain iteration.
#include "scf/diis.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(SweepDiis, CoefficientsCancelOpposedResidualsAndSumToOne) {
  struct Case {
    const char* name;
    std::vector<double> B;  // Gram matrix of the residuals
    std::vector<double> c;
  } cases[] = {
      // r1 = (1, 0), r2 = (−1, 0): the mean has residual zero.
      {"opposed", {1.0, -1.0, -1.0, 1.0}, {0.5, 0.5}},
      // r1 = (2, 0), r2 = (0, 1): minimise 4c1² + c2², c1 + c2 = 1.
      {"orthogonal", {4.0, 0.0, 0.0, 1.0}, {0.2, 0.8}},
      // r2 = r3 ≠ 0: singular, no extrapolation.
      {"singular", {1.0, 1.0, 1.0, 1.0}, {}},
  };
  for (const Case& k : cases) {
    const std::vector<double> c = scf::diis_coefficients(k.B, static_cast<int>(std::sqrt(k.B.size())));
    if (k.c.empty()) {
      // Equal residuals: any split of the weight is a minimum; what is
      // returned must still sum to one.
      if (!c.empty()) {
        EXPECT_NEAR(c[0] + c[1], 1.0, 1e-12) << k.name;
      }
      continue;
    }
    ASSERT_EQ(c.size(), k.c.size()) << k.name;
    for (size_t i = 0; i < c.size(); ++i) EXPECT_NEAR(c[i], k.c[i], 1e-12) << k.name;
  }
}

// x → A·x + b with A diagonal, contraction factors up to 0.9: the plain
// iteration needs ~ log(1e-10)/log(0.9) ≈ 220 steps; DIIS of depth 6 on a
// five-dimensional map converges in a few more steps than the dimension.
TEST(SweepDiis, AcceleratesASlowLinearFixedPointMap) {
  const std::vector<double> a{0.9, 0.7, -0.5, 0.3, 0.85}, b{1.0, -2.0, 0.5, 3.0, -1.0};
  std::vector<double> fixed(a.size());
  for (size_t i = 0; i < a.size(); ++i) fixed[i] = b[i] / (1.0 - a[i]);
  auto G = [&](const std::vector<double>& x) {
    std::vector<double> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[i] = a[i] * x[i] + b[i];
    return y;
  };
  auto error = [&](const std::vector<double>& x) {
    double e = 0.0;
    for (size_t i = 0; i < x.size(); ++i) e = std::max(e, std::fabs(x[i] - fixed[i]));
    return e;
  };
  scf::SweepDiis diis;
  std::vector<double> x(a.size(), 0.0);
  int steps = 0;
  for (; steps < 300 && error(x) > 1e-10; ++steps) {
    const std::vector<double> y = G(x);
    std::vector<double> next;
    x = diis.extrapolate(x, y, next) ? next : y;
  }
  EXPECT_LE(steps, 12);
  int plain = 0;
  for (x.assign(a.size(), 0.0); plain < 1000 && error(x) > 1e-10; ++plain) x = G(x);
  EXPECT_GT(plain, 150);
}

}  // namespace

// The superlinear energy search against closed-form test functions: it must
// find the root the written rule (fixed steps, then bisection) finds, in far
// fewer trials, keep every trial inside a bracket once it has one, and never
// step against the written rule's direction while walking.
#include "scf/search.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

struct Outcome {
  double E = 0.0;
  int trials = 0;
};

// Walks from E0 with the written relative step 0.002 toward the root (the
// direction from the sign of f, as the norm rule takes it) and solves f = 0
// to |f| < tol with the superlinear search.
Outcome solve(const std::function<double(double)>& f, double E0, double tol) {
  scf::SuperlinearSearch s;
  double E = E0;
  Outcome o;
  bool pos = false, neg = false;
  double Epos = 0.0, Eneg = 0.0;  // latest trials of either sign
  for (o.trials = 1; o.trials < 5000; ++o.trials) {
    const double T = f(E);
    if (std::fabs(T) < tol) break;
    (T > 0.0 ? Epos : Eneg) = E;
    (T > 0.0 ? pos : neg) = true;
    const double written = E * (1.0 + 0.002 * (T > 0.0 ? 1.0 : -1.0));
    const double En = s.next(E, T, written);
    if (pos && neg) {
      // Once the sign has changed every trial lies strictly inside the bracket.
      EXPECT_TRUE(s.bracketed());
      EXPECT_GT(En, std::min(Epos, Eneg));
      EXPECT_LT(En, std::max(Epos, Eneg));
    } else {
      EXPECT_GT((En - E) * (written - E), 0.0) << "a walking step goes the written rule's way";
    }
    E = En;
  }
  o.E = E;
  return o;
}

TEST(SuperlinearSearch, FindsTheRootsOfSmoothAndSteepFunctionsInFewTrials) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    double E0, root;
  } cases[] = {
      // Linear in E, root far below the start (many written steps away).
      {"linear", [](double E) { return E + 1.4734; }, -0.6, -1.4734},
      // A norm that grows toward a pole at −2: (C − CN)/CN with C ∝ 1/(E+2)².
      {"pole side", [](double E) { return 1.0 / (0.3 * 0.3) - 1.0 / ((E + 2.0) * (E + 2.0)); }, -1.0, -1.7},
      // Steep near the root, flat far away.
      {"tanh", [](double E) { return std::tanh(40.0 * (E + 15.68)); }, -15.0, -15.68},
      // Root close to the start.
      {"near", [](double E) { return 3.0 * (E + 0.5947); }, -0.5946, -0.5947},
  };
  for (const Case& c : cases) {
    const Outcome o = solve(c.f, c.E0, 1e-11);
    EXPECT_NEAR(o.E, c.root, 1e-9) << c.name;
    EXPECT_LT(o.trials, 60) << c.name;
  }
}

// Past a minimum of the test value the secant points back the way the walk
// came (a norm between two poles: it falls, then grows again toward the far
// pole before the root beyond it); the walk goes on the written way with a
// doubling step.  With the written 0.2 % steps alone the crossing from −0.6
// to −0.9 takes 150 trials.
TEST(SuperlinearSearch, CrossesAMinimumOfTheTestValueWithGrowingSteps) {
  auto f = [](double E) {
    return E >= -0.9 ? 0.1 + (E + 0.6) * (E + 0.6) : 0.19 - 0.8 * (-0.9 - E);
  };
  const Outcome o = solve(f, -0.49, 1e-11);
  EXPECT_NEAR(o.E, -0.9 - 0.19 / 0.8, 1e-9);
  EXPECT_LT(o.trials, 40);
}

TEST(SuperlinearSearch, IllinoisStepsShrinkAConvexBracketFromBothEnds) {
  // A convex function on which plain regula falsi keeps one end forever.
  auto f = [](double E) { return 3.0 - std::exp(-E); };
  const Outcome o = solve(f, -0.5, 1e-13);
  EXPECT_NEAR(o.E, -std::log(3.0), 1e-12);
  EXPECT_LT(o.trials, 40);
}

}  // namespace

// The energy steps.  The written rules: fixed relative steps, then
// bisection of the bracket, for the defect and the norm.  The
// superlinear search against closed-form test functions: it must find the
// root the written rule finds, in far fewer trials, keep every trial inside
// a bracket once it has one, and never step against the written rule's
// direction while walking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "io/console.hpp"
#include "scf/fast_search.hpp"
#include "scf/superlinear_search.hpp"
#include "scf/written_rules.hpp"

namespace {

TEST(DefectRuleStep, FirstUseKeepsTheEnergyThenStepsAndBisects) {
  scf::EnergyBracket b;
  scf::DefectStep d;
  std::ostringstream sink;
  io::ConsoleRedirect quiet(nullptr, &sink);
  double EI = scf::defect_rule_step(-2.0, 0.5, b, d);  // first use in the run
  EXPECT_EQ(d.IT, 1);
  EXPECT_EQ(EI, -2.0);
  EXPECT_EQ(b.E1, -2.0);
  EI = scf::defect_rule_step(EI, 0.4, b, d);  // same sign, smaller: relative step −H
  EXPECT_DOUBLE_EQ(EI, -2.0 * 0.99);
  EI = scf::defect_rule_step(EI, 0.6, b, d);  // grew without a sign change: the step turns round
  EXPECT_DOUBLE_EQ(d.H, -0.01);
  EXPECT_DOUBLE_EQ(EI, -1.98 * 1.01);
  const double a = EI;
  EI = scf::defect_rule_step(EI, -0.2, b, d);  // sign change: bisection of [E1, EI]
  EXPECT_DOUBLE_EQ(EI, (a - 1.98) / 2.0);
  EXPECT_DOUBLE_EQ(b.E2, -1.98);
  const double c = EI;
  EI = scf::defect_rule_step(EI, -0.1, b, d);  // same sign as the last: halve towards E2
  EXPECT_DOUBLE_EQ(EI, (c - 1.98) / 2.0);
}

// The norm rule: 0.2 % steps away from the sign of T (the test value grows
// with the energy, the energies are negative), the norm at the step's start
// kept for the next solve's orientation; the signs are recorded from the
// second trial on, and a change of sign against them halves the bracket.
// The fast search's first trial of a pass is the written one.
TEST(NormRuleStep, FixedStepsThenBisection) {
  std::ostringstream sink;
  io::ConsoleRedirect quiet(nullptr, &sink);
  scf::EnergyBracket b, fast_b;
  scf::FastSearch fast;
  EXPECT_EQ(fast.norm_step(1, -2.0, 0.3, 5.0, 4.0, fast_b), -2.0 * 1.002);
  double E = scf::norm_rule_step(1, -2.0, 0.3, 5.0, b);  // T > 0, above the root: lowered
  EXPECT_EQ(E, -2.0 * 1.002);
  EXPECT_EQ(b.E1, -2.0);
  EXPECT_EQ(b.Cprev, 5.0);
  E = scf::norm_rule_step(2, E, -0.2, 4.5, b);  // T < 0: raised (the first trial's sign is not recorded)
  EXPECT_DOUBLE_EQ(E, -2.004 * 0.998);
  EXPECT_EQ(b.T1, -0.2);
  const double a = E;
  E = scf::norm_rule_step(3, E, 0.1, 4.0, b);  // sign change against the last trial: halve [−2.004, a]
  EXPECT_DOUBLE_EQ(E, (-2.004 + a) / 2.0);
  EXPECT_EQ(b.E2, -2.004);
  const double m = E;
  E = scf::norm_rule_step(4, E, 0.05, 4.0, b);  // same sign as the last: halve towards E2
  EXPECT_DOUBLE_EQ(E, (-2.004 + m) / 2.0);
}

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
  auto f = [](double E) { return E >= -0.9 ? 0.1 + (E + 0.6) * (E + 0.6) : 0.19 - 0.8 * (-0.9 - E); };
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

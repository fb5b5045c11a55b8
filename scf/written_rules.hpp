// The written rules of the energy search (ISRCH = 1): fixed relative steps,
// then bisection, for both energy rules; states bisected to rounding; plain
// sweeps.  The fast search takes their steps for its direction.
#pragma once

#include "scf/energy_search.hpp"

namespace scf {

// The defect rule's step after a trial at E with matching defect DX: a
// relative step −H until the defect changes sign, then bisection of the
// bracket.  Returns the next energy (E itself at the rule's first use in the
// run).
// Legacy name: EITD.
double defect_rule_step(double E, double DX, EnergyBracket& b, DefectStep& d);

// The norm rule's step after trial k at E (test value T, oriented so that
// it grows with the energy; norm C): a relative step of 0.2 % against the
// sign of T (the energies are negative) until T changes sign, then
// bisection of the bracket.  Returns the next energy.
double norm_rule_step(int k, double E, double T, double C, EnergyBracket& b);

// The written rules (ISRCH = 1): every step as the rules are written.
class WrittenRules final : public EnergySearch {
 public:
  double stop_at(double EPS) const override;
  void restart() override {}
  double defect_step(int k, double E, double DX, EnergyBracket& b, DefectStep& d) override;
  double norm_step(int k, double E, double T, double C, double CN, EnergyBracket& b) override;
  bool state_placed(double lo, double hi, bool exact) const override;
  int floor_sign(int) const override { return 0; }
  void keep_floor_sign(int, int) override {}
  BranchJudgement judgement(int, bool) const override { return BranchJudgement::by_poles; }
  void note_settled(int, bool) override {}
  void sweep_starts(const Shells&) override {}
  void sweep_ended(int, double, const SweepContext&) override {}
};

}  // namespace scf

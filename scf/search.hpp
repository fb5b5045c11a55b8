// The energy search of tovrel: every decision in which the fast search
// (ISRCH = 0) and the written rules (ISRCH = 1) differ, behind one interface.
// The driver chooses the implementation once per run (energy_search) and
// hands it to the sweeps and the shell solves, which ask it
//   - the energy step: where a shell solve stops and which energy it tries
//     next (defect rule, norm rule);
//   - the state search: how far the bracket of a state is bisected, and
//     whether the sign of the determinant below a shell's states is kept
//     from solve to solve;
//   - the acceptance of a solution: how the branch of a norm-rule solution
//     is judged (by the count of poles below its energy or by its orbital);
//   - the sweep acceleration: what happens to the orbitals between sweeps.
// The mechanics the two share (the solve at a trial energy, the count of
// states, the sweeps themselves) live with the shell update and the driver.
//
// The written rules: relative energy steps (0.2 % for the norm rule, the
// defect rule's H) until the test value changes sign, then bisection, each
// solve stopped at EPS; states bisected to rounding and judged by the count
// of poles; plain sweeps.  The fast search takes the written step for its
// direction and replaces it from the second trial of a pass by a secant or
// Illinois regula falsi step (SuperlinearSearch), stops at EPS/10, hands a
// state to the shell solve once bracketed to 1e-7 relative, keeps each
// shell's determinant sign below all its states, judges the norm-rule
// solution of a shell with an orbital by that orbital, and damps the first
// sweeps, then extrapolates them (DIIS) after rotating the orbitals of each
// symmetry to the eigenvectors of their operator.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "lib/views.hpp"
#include "scf/accelerate.hpp"
#include "scf/equations.hpp"

namespace scf {

struct UpdateState;
struct UpdateSlices;

// Energy bracket of the solver: E1 with test value T1, E2 with T2, the norm
// of the solution at E1 and the last orientation test of the norm rule.  The
// energies, the norm and the orientation are kept from call to call, T1 and
// T2 are cleared at every call.
struct EnergyBracket {
  double E1 = 0.0, E2 = 0.0, T1 = 0.0, T2 = 0.0;
  double Cprev = 0.0;
  double Q = 0.0;
};

// The defect rule's switch: IT = 0 until the rule is first used in the run;
// H the relative energy step, 0.01 at the start of every solve.
struct DefectStep {
  int IT = 0;
  double H = 0.01;
};

// Energy step by the defect: a relative step −H until the defect changes
// sign, then bisection of the bracket.
void EITD(int& IT, double& H, double& T1, double& T2, double DX, double& E1, double& E2, double& EI);

// The norm rule's step after trial k at E (test value T, oriented so that
// it grows with the energy; norm C): a relative step of 0.2 % against the
// sign of T (the energies are negative) until T changes sign, then
// bisection of the bracket.  Returns the next energy.
double norm_rule_step(int k, double E, double T, double C, EnergyBracket& b);

// How the branch of a shell's solution is judged.
enum class BranchJudgement {
  by_poles,    // start and result by the count of poles below the energy
  by_orbital,  // the start as it stands; the result by its orbitals (on_own_branch), the poles when that fails
  settled,     // trusted to its branch: no orientation check; the result by the overlap with its start orbital
};

// Whether the norm-rule solution of a shell that had an orbital lies on the
// branch of its own state, judged by the orbitals rather than by the count
// of poles below its energy (with the exchange source the orbital energy
// need not lie between the poles of its rank).  `kept` is the normalised
// overlap of the new orbital with the one the solve started from, `others`
// its normalised overlaps with the present orbitals of the other shells of
// its symmetry, `in_order` whether its energy keeps the order in which the
// shells of its symmetry are listed.  A solution on the branch of another
// shell's state resembles that shell's orbital (and would be destroyed by the
// orthogonalisation to it); one that has left the state it started from
// keeps little of its previous orbital.
bool on_own_branch(double kept, std::span<const double> others, bool in_order);
inline constexpr double kKeptOnBranch = 0.7;   // |⟨new|old⟩| at least (half the weight kept)
inline constexpr double kOtherOnBranch = 0.5;  // |⟨new|other shell⟩| at most (a quarter of the weight)

// What the sweep acceleration works on: the grid, the shells, the run
// switches MI, the coefficients, the update state and workspace slices;
// `closed` when the shells are closed and normalised to 1 (MI(2) = 1), so
// that all of them see one operator.
struct SweepContext {
  const RunTables& t;
  const Shells& s;
  lib::CIVec MI;
  lib::CMat AHF, BHF;
  UpdateState& st;
  const UpdateSlices& w;
  bool closed;
};

class EnergySearch {
 public:
  virtual ~EnergySearch() = default;

  // The energy step.  A shell solve stops when its test value is below
  // stop_at(EPS).  A pass of the automatic rules begins with restart();
  // after trial k at E the next energy is defect_step (defect DX) or
  // norm_step (oriented test value T, norm C, target norm CN).  Both keep
  // the written rule's bracket b (and the defect rule's step d) up to date.
  virtual double stop_at(double EPS) const = 0;
  virtual void restart() = 0;
  virtual double defect_step(int k, double E, double DX, EnergyBracket& b, DefectStep& d) = 0;
  virtual double norm_step(int k, double E, double T, double C, double CN, EnergyBracket& b) = 0;

  // The state search.  Whether the bisection of a state's bracket [lo, hi]
  // may stop (`exact`: a state without a source in its final field, whose
  // energy is the eigenvalue itself); the sign of the determinant below all
  // states of shell ISH kept from an earlier solve (0: none), and the
  // keeping of it.
  virtual bool state_placed(double lo, double hi, bool exact) const = 0;
  virtual int floor_sign(int ISH) const = 0;
  virtual void keep_floor_sign(int ISH, int sign) = 0;

  // The acceptance of a solution.  How the solve of shell ISH judges its
  // branch (`norm_with_orbital`: a norm-rule solve with a source, of a shell
  // that has an orbital and an energy); after the solve, whether it stayed
  // on its branch (the new orbital close to the old one, the energy moved
  // little).
  virtual BranchJudgement judgement(int ISH, bool norm_with_orbital) const = 0;
  virtual void note_settled(int ISH, bool settled) = 0;

  // The sweep acceleration: told the orbitals a sweep starts from, and
  // given the orbitals after a sweep that moved the energies by dE and has
  // not converged.
  virtual void sweep_starts(const Shells& s) = 0;
  virtual void sweep_ended(int sweep, double dE, const SweepContext& c) = 0;
};

// The written rules (ISRCH = 1): they reproduce the listings of the earlier
// program.
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

// Superlinear search for the energy at which a test value of the shell solve
// vanishes (the matching defect, or the norm mismatch of the norm rule).
//
// Outside a bracket the steps are secant steps through the last two trials,
// kept in the direction of the written rule's step (which knows the side of
// the pole the root lies on) and allowed to grow at most fourfold from one
// trial to the next and to a tenth of the energy; when the secant points the
// other way, the step goes the written way, doubled from the last step while
// the direction holds.  Once the test value has changed sign, Illinois
// regula falsi shrinks the bracket (superlinear, order about 1.44), with a
// bisection whenever the interpolated point falls outside the middle of the
// bracket by rounding.
class SuperlinearSearch {
 public:
  // Next energy after a trial at E with test value T; `written` is the
  // energy the written rule would try next (its step fixes the direction).
  double next(double E, double T, double written);
  bool bracketed() const { return bracketed_; }

 private:
  bool have_prev_ = false, bracketed_ = false;
  double Ep_ = 0.0, Tp_ = 0.0;  // previous trial
  double Ea_ = 0.0, Ta_ = 0.0;  // bracket end kept from before
  double Eb_ = 0.0, Tb_ = 0.0;  // bracket end of the last trial
  int kept_ = 0;                // trials in a row that kept end a
  double step_ = 0.0;           // last step outside a bracket
};

// The fast search (ISRCH = 0).  Its state: the steps of the present pass,
// and per shell the determinant sign below all its states (no eigenvalue
// crosses that energy as the field of the other shells changes, so it is
// kept from sweep to sweep instead of solved for at every parity test) and
// whether its last norm-rule solve stayed on its branch; between sweeps the
// start of the sweep and the DIIS history.
class FastSearch final : public EnergySearch {
 public:
  double stop_at(double EPS) const override;
  void restart() override { step_ = SuperlinearSearch(); }
  double defect_step(int k, double E, double DX, EnergyBracket& b, DefectStep& d) override;
  double norm_step(int k, double E, double T, double C, double CN, EnergyBracket& b) override;
  bool state_placed(double lo, double hi, bool exact) const override;
  int floor_sign(int ISH) const override { return floor_sign_[ISH - 1]; }
  void keep_floor_sign(int ISH, int sign) override { floor_sign_[ISH - 1] = sign; }
  BranchJudgement judgement(int ISH, bool norm_with_orbital) const override;
  void note_settled(int ISH, bool settled) override { settled_[ISH - 1] = settled; }
  void sweep_starts(const Shells& s) override;
  void sweep_ended(int sweep, double dE, const SweepContext& c) override;

 private:
  SuperlinearSearch step_;
  std::array<int, 16> floor_sign_{};
  std::array<bool, 16> settled_{};
  std::vector<double> x_in_;  // orbitals the present sweep started from
  SweepDiis diis_;
  bool extrapolated_ = false;  // the last sweep started from an extrapolation
  double dE_prev_ = 0.0;       // change of the energies in the sweep before
};

// The search of a run: ISRCH = 1 the written rules, otherwise the fast search.
inline std::unique_ptr<EnergySearch> energy_search(int ISRCH) {
  if (ISRCH == 1) return std::make_unique<WrittenRules>();
  return std::make_unique<FastSearch>();
}

}  // namespace scf

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

#include <memory>
#include <span>

#include "scf/run_tables.hpp"
#include "scf/shells.hpp"

namespace scf {

struct RunSettings;
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

// What the sweep acceleration works on: the grid, the shells, the run (its
// switches MI and coefficients), the update state and workspace slices;
// `closed` when the shells are closed and normalised to 1 (MI(2) = 1), so
// that all of them see one operator.
struct SweepContext {
  const RunTables& t;
  const Shells& s;
  const RunSettings& run;
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

// The search of a run: ISRCH = 1 the written rules, otherwise the fast search.
std::unique_ptr<EnergySearch> energy_search(int ISRCH);

}  // namespace scf

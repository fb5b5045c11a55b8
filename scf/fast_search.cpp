#include "scf/fast_search.hpp"

#include <algorithm>
#include <cmath>

#include "io/console.hpp"
#include "scf/accelerate.hpp"
#include "scf/update_state.hpp"
#include "scf/written_rules.hpp"

namespace scf {

namespace {

// Relative width at which the state search hands a bracketed state to the
// shell solve.  A wider bracket (1e-5) saves a few trials, but the defect
// rule of a one-electron shell then settles beside its root (hydrogen 2p on
// a focus 5e-4 off).
constexpr double kPlaced = 1.0e-7;

// The sweeps: damped while a sweep moves the energies by kDiisStart hartree
// or more, extrapolated by DIIS once they move by less.
constexpr double kDiisStart = 1.0;
// The extrapolation is dropped when a sweep moves the energies by kDiisDrop
// hartree or more (O2 accelerated from 0.94 moved them by 1.14 in its next
// sweep and converged), or when an orbital is still far from an
// eigenfunction of its operator (canonicalise).  The rough sweeps are then
// damped by kOverShootDamping for the rest of the run: AlF's, damped by
// kDamping after such a sweep, swung its 7σ between −0.42 and −0.50 hartree
// with a growing amplitude (the sweep map's eigenvalue near −2), or moved
// the energies by 2.3, 2.7, 3.6, 5.9 hartree in turn, until the shell fell
// to a diffuse solution 0.5 hartree above the ground state.
constexpr double kDiisDrop = 2.0;
constexpr double kOverShootDamping = 0.35;

}  // namespace

// The superlinear search closes in on its root within a trial or two of
// the written rules' stopping point, so it stops at a tenth of EPS: its
// energies then lie within EPS of the written rules' (the stop at EPS left
// the N2 core shells 6e-8 from the self-consistent values, the written
// rules 4e-8 on the other side).
double FastSearch::stop_at(double EPS) const { return 0.1 * EPS; }

// The written step first (it keeps the bracket and knows the direction);
// from the second trial of a pass the secant or Illinois step replaces it.
double FastSearch::defect_step(int k, double E, double DX, EnergyBracket& b, DefectStep& d) {
  const double written = defect_rule_step(E, DX, b, d);
  return k >= 2 ? step_.next(E, DX, written) : written;
}

double FastSearch::norm_step(int k, double E, double T, double C, double CN, EnergyBracket& b) {
  const double written = norm_rule_step(k, E, T, C, b);
  if (k < 2) return written;
  // Near the pole the norm grows as 1/(E − E_pole)²: the secant follows
  // 1 − sqrt(CN/C), linear there, with the sign of T.
  return step_.next(E, std::copysign(std::fabs(1.0 - std::sqrt(CN / C)), T), written);
}

// A state without a source in its final field (`exact`) is bisected to
// rounding: its state is the eigenvalue itself, and the matching defect of a
// state of high momentum varies too slowly beside its root (hydrogen 3d
// about the midpoint: the defect falls below 1e-10 some 1.5e-9 from the
// eigenvalue) to place it within EPS.
bool FastSearch::state_placed(double lo, double hi, bool exact) const {
  const double mid = 0.5 * (lo + hi);
  return !exact && hi - lo < kPlaced * std::fabs(mid);
}

// A norm-rule solve of a shell with an orbital is first tried from where it
// stands and its solution judged by the orbitals (on_own_branch); the count
// of poles decides only when that judgement fails.  Sent back to the pole of
// its rank at every sweep, the 4σ and 5σ of CO fell on the branches of 3σ
// and 4σ and the energies swung by 2 hartree a sweep.  A shell settled on
// its branch is judged by its orbital alone: with the exchange source the
// poles below the orbital energy need not number rank − 1 (the source can
// bind the orbital below several of them).
BranchJudgement FastSearch::judgement(int ISH, bool norm_with_orbital) const {
  if (!norm_with_orbital) return BranchJudgement::by_poles;
  return settled_[ISH - 1] ? BranchJudgement::settled : BranchJudgement::by_orbital;
}

void FastSearch::sweep_starts(const Shells& s) { x_in_ = all_orbitals(s); }

// The first sweep only places the shells on their states; then damped
// sweeps while the energies move by kDiisStart or more, DIIS (after the
// rotation of each symmetry's orbitals, for closed shells) from the first
// sweep that moves them by less, until a sweep is rough again.
void FastSearch::sweep_ended(int sweep, double dE, const SweepContext& c) {
  const bool accelerating = diis_.size() > 0;
  bool rough = dE >= (accelerating ? kDiisDrop : kDiisStart);
  bool unlike_eigenfunctions = false;
  if (!rough && (c.closed || c.st.open != nullptr)) rough = unlike_eigenfunctions = !canonicalise(c);
  if (rough && (accelerating || unlike_eigenfunctions)) {
    if (accelerating) io::console().line(" extrapolation dropped: the sweeps are rough again");
    diis_.reset();
    damping_ = kOverShootDamping;
  }
  if (!rough) {
    const bool misbehaved = extrapolated_ && dE > 10.0 * dE_prev_;
    extrapolated_ = accelerate_sweep(c, x_in_, misbehaved, diis_);
  } else {
    extrapolated_ = false;
    if (sweep >= 2) damp_sweep(c, x_in_, damping_);
  }
  dE_prev_ = dE;
}

}  // namespace scf

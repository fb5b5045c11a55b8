#include <algorithm>
#include <cmath>

#include "scf/accelerate.hpp"
#include "scf/fast_search.hpp"
#include "scf/update_state.hpp"
#include "scf/written_rules.hpp"

namespace scf {

namespace {

// Relative width at which the state search hands a bracketed state to the
// shell solve.  A wider bracket (1e-5) saves a few trials, but the defect
// rule of a one-electron shell then settles beside its root (hydrogen 2p on
// a focus 5e-4 off).
constexpr double kPlaced = 1.0e-7;

// The sweeps: damped by kDamping while a sweep moves the energies by
// kDiisStart hartree or more, extrapolated by DIIS once they move by less.
// CO: 21 sweeps (27 with plain sweeps before DIIS, which started at 0.5;
// factors 0.6–0.8 and starts 1–2 hartree give 21–24); N2 unchanged at 13.
constexpr double kDamping = 0.7;
constexpr double kDiisStart = 1.0;

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
// sweep that moves them by less.
void FastSearch::sweep_ended(int sweep, double dE, const SweepContext& c) {
  if (dE < kDiisStart || diis_.size() > 0) {
    if (c.closed || c.st.open != nullptr) canonicalise(c);
    const bool misbehaved = extrapolated_ && dE > 10.0 * dE_prev_;
    extrapolated_ = accelerate_sweep(c, x_in_, misbehaved, diis_);
  } else if (sweep >= 2) {
    damp_sweep(c, x_in_, kDamping);
  }
  dE_prev_ = dE;
}

}  // namespace scf

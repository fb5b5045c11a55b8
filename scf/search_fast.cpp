// The fast search (ISRCH = 0): secant and Illinois steps on the written
// rule's direction, states handed over once bracketed, solutions judged by
// their orbitals, damped and extrapolated sweeps.
#include <algorithm>
#include <cmath>

#include "scf/search.hpp"
#include "scf/update.hpp"

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
  double written = E;
  EITD(d.IT, d.H, b.T1, b.T2, DX, b.E1, b.E2, written);
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

bool on_own_branch(double kept, std::span<const double> others, bool in_order) {
  if (!in_order || !(kept >= kKeptOnBranch)) return false;
  return std::all_of(others.begin(), others.end(), [](double o) { return std::fabs(o) <= kOtherOnBranch; });
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

double SuperlinearSearch::next(double E, double T, double written) {
  if (!bracketed_ && have_prev_ && T * Tp_ < 0.0) {
    bracketed_ = true;
    Ea_ = Ep_;
    Ta_ = Tp_;
    Eb_ = E;
    Tb_ = T;
    kept_ = 0;
  } else if (bracketed_) {
    // The new trial replaces the end of its own sign.
    if (T * Tb_ > 0.0) {
      Eb_ = E;
      Tb_ = T;
      // The other end kept once more: halve its value (the Illinois
      // modification), so that it too moves.
      Ta_ *= 0.5;
      ++kept_;
    } else {
      Ea_ = Eb_;
      Ta_ = Tb_;
      Eb_ = E;
      Tb_ = T;
      kept_ = 0;
    }
  }
  if (bracketed_) {
    const double lo = std::fmin(Ea_, Eb_), hi = std::fmax(Ea_, Eb_);
    double En = Eb_ - Tb_ * (Eb_ - Ea_) / (Tb_ - Ta_);
    if (!(En > lo && En < hi)) En = 0.5 * (lo + hi);
    Ep_ = E;
    Tp_ = T;
    have_prev_ = true;
    return En;
  }
  const double dw = written - E;
  // Without a usable secant the walk goes the written way, its step doubled
  // from the last one while the direction holds (with the written 0.2 %
  // steps alone one N2 solve took 248 trials to cross a norm minimum
  // between two poles).
  double step = dw;
  if (step_ * dw > 0.0)
    step = std::copysign(std::fmax(std::fabs(dw), std::fmin(2.0 * std::fabs(step_), 0.1 * std::fabs(E))), dw);
  if (have_prev_ && T != Tp_) {
    const double s = -T * (E - Ep_) / (T - Tp_);
    if (s * dw > 0.0) {
      // At most four times the last step and a tenth of the energy (the
      // walk must not leave the bound region), at least the written step.
      const double cap =
          std::fmax(std::fabs(dw), std::fmin(4.0 * std::fmax(std::fabs(step_), std::fabs(dw)), 0.1 * std::fabs(E)));
      step = std::fabs(s) > cap ? std::copysign(cap, s) : s;
    }
  }
  Ep_ = E;
  Tp_ = T;
  have_prev_ = true;
  step_ = step;
  return E + step;
}

}  // namespace scf

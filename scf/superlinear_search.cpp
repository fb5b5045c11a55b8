#include "scf/superlinear_search.hpp"

#include <cmath>

namespace scf {

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

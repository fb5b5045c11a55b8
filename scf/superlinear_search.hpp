// The superlinear steps of the fast energy search.
#pragma once

namespace scf {

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

}  // namespace scf

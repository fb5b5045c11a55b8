// Regular solutions of the coupled radial equations of one function at one
// energy on the grid of the photoionisation programs,
//   u_p″ + Σ_q W(q,p)·u_q = S_p,   W = PD + ER·col3·(ξ²·δ − TT),
// in the stored form of the grid (the form of the ground-state program's
// shell equations, with PD and TT as MASH and the direct terms build them).
#pragma once

#include <vector>

#include "chan/channel.hpp"
#include "lib/views.hpp"

namespace chan {

// Power series per wave in the inner region (the leading coefficient of each
// wave given, the others from the recurrence of the series, the coefficient
// functions being the polynomials through their values at the NA inner
// points), continued to the second outer point, then the matrix Numerov
// recurrence forwards to the last point.  Forward propagation is stable for
// regular solutions: where a wave is classically forbidden it is the
// growing solution that is followed.  Accuracy: that of the interpolation of
// the potentials through the inner points, and O(HB⁴) in the outer region.
class Propagator {
 public:
  // Most series coefficients per wave in the inner region.
  static constexpr int kMaxTerms = 200;

  Propagator(const Grid& g, const Waves& w, lib::CArr3 PD, lib::CMat TT, double ER);
  // ns solutions, each with its leading inner coefficients C1(p, s) and (S
  // not null) its source S(·, (s−1)·n + 1 … s·n) in the Numerov form;
  // results U(NB, n·ns).
  void solve(int ns, lib::CMat C1, const lib::CMat* S, lib::Mat U) const;

 private:
  // Inner series of one set (c1 null: zero leading coefficients; S null: no
  // source, else its n columns of leading dimension ldS) into columns
  // col0+1 … col0+n of U, rows 1 … NA+2.
  void inner(const double* c1, const double* S, int ldS, lib::Mat U, int col0) const;

  const Grid& g_;
  int n_, NB_, NA_, m_;
  double r_ = 0.0;
  std::vector<double> W_, wl_, lu_;
  std::vector<int> piv_;
};

// LU factors with partial pivoting of an n × n column-major matrix, in
// place, and the solution of A·x = b from them (b overwritten).
void lu_factor(int n, double* a, int* piv);
void lu_solve(int n, const double* a, const int* piv, double* b);

}  // namespace chan

// Regular solutions of the coupled radial equations of one function at one
// energy on the grid of the photoionisation programs,
//   u_p″ + Σ_q W(q,p)·u_q = S_p,   W = PD + ER·col3·(ξ²·δ − TT),
// in the stored form of the grid (the form of the ground-state program's
// shell equations, with PD and TT as one_electron_equations and the direct terms build them).
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
  // results U(NB, n·ns).  Plain forward recurrence: with waves under their
  // barriers the n solutions become dominated by the same grown components.
  void solve(int ns, lib::CMat C1, const lib::CMat* S, lib::Mat U) const;

  // The n regular solutions of the homogeneous equations as one
  // well-conditioned set, H(NB, n·n) (solution j in columns (j−1)n+1 … jn).
  // They are propagated together; wherever the largest of them has grown by
  // kRegrow since the last such point, and at the point `last` (0: NB), the
  // pairs of values (u_{i−1}, u_i) are made orthonormal (Gram–Schmidt, the
  // set times R⁻¹), and the same transformations are carried back to the
  // points already passed; none follows `last`.  Every column stays an exact
  // solution of the recurrence, and waves grown under their barriers cannot
  // swamp the others: the set is orthonormal in its values at last−1 and
  // last.  Must be called before particular().
  void regular_set(lib::Mat H, int last = 0);
  // ns regular solutions of the equations with the sources S(·, (s−1)n+1 …
  // sn) (Numerov form), each free of the set H at `last`: its values there
  // and at the point before are orthogonal to those of H.  Propagated with
  // the same re-orthonormalisation points as regular_set(), where the
  // components along H are removed as they grow; the removed parts are
  // carried back so that each result is one solution throughout.
  void particular(int ns, lib::CMat S, lib::Mat U) const;
  // Growth of the set between re-orthonormalisations.
  static constexpr double kRegrow = 100.0;

 private:
  // Row i+1 of the ns sets in U from rows i and i−1 (i ≥ NA+2).
  void step(int i, int ns, const lib::CMat* S, lib::Mat U) const;
  // Inner series of one set (c1 null: zero leading coefficients; S null: no
  // source, else its n columns of leading dimension ldS) into columns
  // col0+1 … col0+n of U, rows 1 … NA+2.
  void inner(const double* c1, const double* S, int ldS, lib::Mat U, int col0) const;

  const Grid& g_;
  int n_, NB_, NA_, m_;
  double r_ = 0.0;
  std::vector<double> W_, wl_, lu_;
  std::vector<int> piv_;
  // Re-orthonormalisation points i_k, their triangular factors R_k (n × n
  // each), and the set H with each row in the basis of its segment (rows
  // i_k − 1 … i_{k+1} − 2 belong to segment k).
  std::vector<int> marks_;
  std::vector<double> rk_, hseg_;
};

// LU factors with partial pivoting of an n × n column-major matrix, in
// place, and the solution of A·x = b from them (b overwritten).
void lu_factor(int n, double* a, int* piv);
void lu_solve(int n, const double* a, const int* piv, double* b);

}  // namespace chan

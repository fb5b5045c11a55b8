// Angular coupling coefficients tabulated once for a range of momenta and
// projections.
//
// The Racah sum behind every 3j symbol costs some hundred operations, and
// the projections of partial-wave products ask for the same few thousand
// coefficients over and over (once per multipole, per wave pair and per
// energy).  GauntTable evaluates them once and returns exactly (bit for bit)
// what wigner_3j, gaunt_integral, gaunt_integral_eta2 and the three
// *_from_gaunt η, η² elements of the given build return: the 3j
// symbols and the diagonal η, η² elements are the values of calls of those
// routines, and the Gaunt coefficients are formed from them by the
// routines' own expressions, factor by factor in the same order.  A query
// outside the range, or one whose call would stop the run (a factorial table
// too short, a prefactor beyond the range of doubles), is passed on to the
// routine itself: the answer, or the stop, is then the routine's own.
//
// Range: momenta L1, L2, L3 = 0 … LMAX and projections M1, M2 = −MMAX … MMAX;
// the third projection is the one the selection rule leaves (M3 = M1 + M2 for
// the Gaunt coefficients, M3 = −M1 − M2 for wigner_3j).  The η, η² elements are kept for
// L = 0 … LMAX and |M| ≤ 2·MMAX.
//
// The table is built by its caller and only read afterwards, so one table
// may serve several threads.
#pragma once

#include <cstddef>
#include <vector>

#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"

namespace lib {

class GauntTable {
 public:
  // Builds the table from the factorial table F, which must outlive it
  // (queries outside the range read it).  Negative LMAX or MMAX count as 0.
  GauntTable(int LMAX, int MMAX, Fac F, Build b = Build::photo);

  int lmax() const { return lmax_; }
  int mmax() const { return mmax_; }
  Build build() const { return b_; }

  double wigner_3j(int L1, int L2, int L3, int M1, int M2, int M3) const {
    if (M3 == -M1 - M2 && in_range(L1, L2, L3, M1, M2)) {
      const double v = f3js_[index(L1, L2, L3, M1, M2)];
      if (v == v) return v;  // NaN marks an argument whose call stops the run
    }
    return lib::wigner_3j(L1, L2, L3, M1, M2, M3, F_, b_);
  }
  // ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ
  double gaunt_integral(int L1, int L2, int L3, int M1, int M2, int M3) const {
    if (M3 == M1 + M2 && in_range(L1, L2, L3, M1, M2)) {
      const double v = fsga_[index(L1, L2, L3, M1, M2)];
      if (v == v) return v;
    }
    return lib::gaunt_integral(L1, L2, L3, M1, M2, M3, F_, b_);
  }
  // ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ
  double gaunt_integral_eta2(int L1, int L2, int L3, int M1, int M2, int M3) const {
    if (M3 == M1 + M2 && in_range(L1, L2, L3, M1, M2)) {
      const double v = fsgb_[index(L1, L2, L3, M1, M2)];
      if (v == v) return v;
    }
    return lib::gaunt_integral_eta2(L1, L2, L3, M1, M2, M3, F_, b_);
  }
  double eta2_diagonal_from_gaunt(int L, int M) const { return diagonal(0, L, M); }  // ⟨L M|η²|L M⟩
  double eta_next_from_gaunt(int L, int M) const { return diagonal(1, L, M); }       // ⟨L+1 M|η|L M⟩
  double eta2_next_from_gaunt(int L, int M) const { return diagonal(2, L, M); }      // ⟨L+2 M|η²|L M⟩

 private:
  bool in_range(int L1, int L2, int L3, int M1, int M2) const {
    return L1 >= 0 && L1 <= lmax_ && L2 >= 0 && L2 <= lmax_ && L3 >= 0 && L3 <= lmax_ && M1 >= -mmax_ && M1 <= mmax_ &&
           M2 >= -mmax_ && M2 <= mmax_;
  }
  // Entry (L1, L2, L3, M1, M2); L3 runs to LMAX + 2 inside, for the η² terms.
  std::size_t index(int L1, int L2, int L3, int M1, int M2) const {
    const std::size_t nl = lmax_ + 1, nl3 = lmax_ + 3, nm = 2 * mmax_ + 1;
    return L1 + nl * (L2 + nl * (L3 + nl3 * ((M1 + mmax_) + nm * static_cast<std::size_t>(M2 + mmax_))));
  }
  std::size_t diagonal_index(int which, int L, int M) const {
    return which + 3 * (L + (lmax_ + 3) * static_cast<std::size_t>(M + 2 * mmax_));
  }
  double diagonal(int which, int L, int M) const;

  int lmax_, mmax_;
  Fac F_;
  Build b_;
  std::vector<double> f3js_, fsga_, fsgb_;
  std::vector<double> fsg_;  // the η², η, η² elements by (which, L = 0 … LMAX+2, |M| ≤ 2·MMAX)
};

}  // namespace lib

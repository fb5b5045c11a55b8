// Gaunt coefficients for any momenta, without factorials.
//
//   G(L1,L2,L3; M1,M2,M3) = ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ
//                         = (2π)^(−½) ∫₋₁¹ P̄(L1,M1)·P̄(L2,M2)·P̄(L3,M3) dη,   M3 = M1 + M2,
// with P̄(L,M) the associated Legendre function normalised on [−1, 1]
// (Condon–Shortley phase, P̄(L,−M) = (−1)^M·P̄(L,M)), built by the upward
// recurrence in L, which is stable for every L.  The product is a
// polynomial of degree L1 + L2 + L3 in η (the powers of √(1 − η²) pair up,
// |M1| + |M2| + |M1 + M2| being even), so a Gauss–Legendre rule of
// (3·Lmax)/2 + 2 points integrates it exactly: the values are exact to
// rounding, with π at full precision.  The Racah formula of wigner_3j needs
// (L1 + L2 + L3 + 1)! and loses digits to cancellation as the momenta grow;
// this table has neither limit.
//
// The η² coefficients ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ are formed
// from the Gaunt coefficients and the closed forms of ⟨L M|η²|L′ M⟩
// (eta2_diagonal, eta2_next with EXACT = 1).
//
// Range: L1, L2, L3 = 0 … LMAX, M1, M2 = −MMAX … MMAX (L3 to LMAX + 2 for
// gaunt_integral, which the η² coefficients read).  A query outside the range stops
// the run: the range is computed from the shells, so such a query is a
// fault of the caller, not of the input.  Built once, only read afterwards:
// one table may serve several threads.
#pragma once

#include <cstddef>
#include <vector>

namespace lib {

class ExactGauntTable {
 public:
  ExactGauntTable(int LMAX, int MMAX);

  int lmax() const { return lmax_; }
  int mmax() const { return mmax_; }

  // ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ (zero unless M3 = M1 + M2).
  double gaunt_integral(int L1, int L2, int L3, int M1, int M2, int M3) const {
    if (M3 != M1 + M2) return 0.0;
    return fsga_[checked(L1, L2, L3, M1, M2, lmax_ + 2)];
  }
  // ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ (zero unless M3 = M1 + M2).
  double gaunt_integral_eta2(int L1, int L2, int L3, int M1, int M2, int M3) const {
    if (M3 != M1 + M2) return 0.0;
    return fsgb_[checked(L1, L2, L3, M1, M2, lmax_)];
  }

 private:
  std::size_t index(int L1, int L2, int L3, int M1, int M2) const {
    const std::size_t nl = lmax_ + 1, nl3 = lmax_ + 3, nm = 2 * mmax_ + 1;
    return L1 + nl * (L2 + nl * (L3 + nl3 * ((M1 + mmax_) + nm * static_cast<std::size_t>(M2 + mmax_))));
  }
  std::size_t checked(int L1, int L2, int L3, int M1, int M2, int l3top) const;

  int lmax_, mmax_;
  std::vector<double> fsga_, fsgb_;
};

}  // namespace lib

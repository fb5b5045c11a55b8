// The table of angular coefficients.  Every 3j symbol and every diagonal η,
// η² element is the value of one call of the library routine; the Gaunt
// coefficients combine them with the routines' own expressions (lib/angular.cpp),
// factor by factor in the same order, so that each entry equals the value of
// the corresponding call to the last bit.  The tests compare every entry
// with a call.
#include "lib/gaunt_table.hpp"

#include <cmath>
#include <limits>

#include "io/stop.hpp"

namespace lib {

namespace {

constexpr double kAbsent = std::numeric_limits<double>::quiet_NaN();
bool absent(double v) { return v != v; }

// π to twelve digits, the literal of the routines.
constexpr double kPi = 3.14159265359;

double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

// The value of one call, or NaN when the call stops the run; such arguments
// are left to the routine itself at lookup, so that the stop (and its
// message) comes only when a caller really asks for them.
template <class Call>
double kept(Call call) {
  try {
    return call();
  } catch (const io::StopRun&) {
    return kAbsent;
  }
}

}  // namespace

GauntTable::GauntTable(int LMAX, int MMAX, Fac F, Build b)
    : lmax_(LMAX < 0 ? 0 : LMAX), mmax_(MMAX < 0 ? 0 : MMAX), F_(F), b_(b) {
  const int top = F_.size() - 1;  // the routines stop on (L1+L2+L3+1)! beyond it
  const int l3top = lmax_ + 2;
  const std::size_t nl = lmax_ + 1, nm = 2 * mmax_ + 1;
  const std::size_t n = nl * nl * (nl + 2) * nm * nm;

  // 3j symbols (L1 L2 L3; M1 M2 −M1−M2), L3 to LMAX + 2.
  f3js_.assign(n, kAbsent);
  for (int M2 = -mmax_; M2 <= mmax_; ++M2)
    for (int M1 = -mmax_; M1 <= mmax_; ++M1)
      for (int L3 = 0; L3 <= l3top; ++L3)
        for (int L2 = 0; L2 <= lmax_; ++L2)
          for (int L1 = 0; L1 <= lmax_; ++L1) {
            const bool triangle = L1 + L2 >= L3 && L1 + L3 >= L2 && L2 + L3 >= L1;
            if (triangle && L1 + L2 + L3 + 1 > top) continue;
            f3js_[index(L1, L2, L3, M1, M2)] =
                kept([&] { return lib::wigner_3j(L1, L2, L3, M1, M2, -M1 - M2, F_, b_); });
          }

  // Gaunt coefficients, as gaunt_integral forms them:
  //   (−1)^M3 · sqrt((2L1+1)(2L2+1)(2L3+1)/4/π) · 3j(0 0 0) · 3j(M1 M2 −M3).
  fsga_.assign(n, kAbsent);
  for (int M2 = -mmax_; M2 <= mmax_; ++M2)
    for (int M1 = -mmax_; M1 <= mmax_; ++M1)
      for (int L3 = 0; L3 <= l3top; ++L3)
        for (int L2 = 0; L2 <= lmax_; ++L2)
          for (int L1 = 0; L1 <= lmax_; ++L1) {
            const double a = f3js_[index(L1, L2, L3, 0, 0)], c = f3js_[index(L1, L2, L3, M1, M2)];
            if (absent(a) || absent(c)) continue;
            const int nn = (2 * L1 + 1) * (2 * L2 + 1) * (2 * L3 + 1);
            fsga_[index(L1, L2, L3, M1, M2)] = parity(M1 + M2) * std::sqrt(nn / 4.0 / kPi) * a * c;
          }

  // The diagonal η and η² elements by calls, for the projections M1 + M2.
  fsg_.assign(3 * (nl + 2) * (2 * nm - 1), kAbsent);
  for (int M = -2 * mmax_; M <= 2 * mmax_; ++M)
    for (int L = 0; L <= l3top; ++L) {
      if (2 * L + 5 > top) continue;
      fsg_[diagonal_index(0, L, M)] = kept([&] { return lib::eta2_diagonal_from_gaunt(L, M, F_, b_); });
      fsg_[diagonal_index(1, L, M)] = kept([&] { return lib::eta_next_from_gaunt(L, M, F_, b_); });
      fsg_[diagonal_index(2, L, M)] = kept([&] { return lib::eta2_next_from_gaunt(L, M, F_, b_); });
    }

  // η² Gaunt coefficients, as gaunt_integral_eta2 forms them:
  //   eta2_diagonal_from_gaunt(L3)·G(L3) + G(L3+2)·eta2_next_from_gaunt(L3) [+ G(L3−2)·eta2_next_from_gaunt(L3−2) for
  //   L3 ≥ 2].
  fsgb_.assign(n, kAbsent);
  for (int M2 = -mmax_; M2 <= mmax_; ++M2)
    for (int M1 = -mmax_; M1 <= mmax_; ++M1)
      for (int L3 = 0; L3 <= lmax_; ++L3)
        for (int L2 = 0; L2 <= lmax_; ++L2)
          for (int L1 = 0; L1 <= lmax_; ++L1) {
            const int M3 = M1 + M2;
            const double g0 = fsg_[diagonal_index(0, L3, M3)], g2 = fsg_[diagonal_index(2, L3, M3)];
            const double a = fsga_[index(L1, L2, L3, M1, M2)], a2 = fsga_[index(L1, L2, L3 + 2, M1, M2)];
            if (absent(g0) || absent(g2) || absent(a) || absent(a2)) continue;
            double B = g0 * a + a2 * g2;
            if (L3 >= 2) {
              const double am = fsga_[index(L1, L2, L3 - 2, M1, M2)], gm = fsg_[diagonal_index(2, L3 - 2, M3)];
              if (absent(am) || absent(gm)) continue;
              B = B + am * gm;
            }
            fsgb_[index(L1, L2, L3, M1, M2)] = B;
          }
}

double GauntTable::diagonal(int which, int L, int M) const {
  if (L >= 0 && L <= lmax_ && M >= -2 * mmax_ && M <= 2 * mmax_) {
    const double v = fsg_[diagonal_index(which, L, M)];
    if (!absent(v)) return v;
  }
  if (which == 0) return lib::eta2_diagonal_from_gaunt(L, M, F_, b_);
  if (which == 1) return lib::eta_next_from_gaunt(L, M, F_, b_);
  return lib::eta2_next_from_gaunt(L, M, F_, b_);
}

}  // namespace lib

// The folded reduction of the RPA pencil: the forward and backward
// variables of every function paired, Kᵀ = [X  Y; −Y  −X] over the pairs,
// and one Hessenberg reduction of M = (X − Y)·(X + Y) of half the order
// serves every energy through (M − ω²)·s = ω·(a + b) + (X − Y)·(a − b).
#include <algorithm>
#include <cmath>

#include "lib/lapack.hpp"
#include "photo/kernels/rpa_pencil.hpp"

namespace photo {

// The structure the fold needs: every variable in one pair, Λ and W of the
// backward variable the negatives of the forward one's (W ≠ 0), and the
// interaction near U(f_i, f_j) = U(b_i, b_j), U(f_i, b_j) = U(b_i, f_j).
// The elements between two channels, and within the channel of a shell of
// M ≠ 0, are stored that way; within a σ channel the backward–forward
// block is the transpose of the forward–backward one, symmetric only to the
// quadrature of its interaction functions.  The fold takes the mean of each
// pair of elements and the refinement the rest.  Returns the largest
// departure relative to the largest element, or −1 when the pairs or their
// Λ and W do not match.
double RpaPencil::pair_departure(const lib::CMat& U) const {
  const size_t m = forward.size();
  if (n % 2 != 0 || backward.size() != m || 2 * m != static_cast<size_t>(n)) return -1.0;
  std::vector<char> seen(static_cast<size_t>(n), 0);
  for (size_t i = 0; i < m; ++i) {
    const int f = forward[i], b = backward[i];
    if (f < 0 || b < 0 || f >= n || b >= n || seen[static_cast<size_t>(f)] || seen[static_cast<size_t>(b)]) return -1.0;
    seen[static_cast<size_t>(f)] = seen[static_cast<size_t>(b)] = 1;
    if (Lambda[static_cast<size_t>(b)] != -Lambda[static_cast<size_t>(f)] ||
        W[static_cast<size_t>(b)] != -W[static_cast<size_t>(f)] || W[static_cast<size_t>(f)] == 0.0)
      return -1.0;
  }
  double largest = 0.0, departure = 0.0;
  for (size_t j = 0; j < m; ++j) {
    const double *uf = &U(1, forward[j] + 1), *ub = &U(1, backward[j] + 1);
    for (size_t i = 0; i < m; ++i) {
      const size_t fi = static_cast<size_t>(forward[i]), bi = static_cast<size_t>(backward[i]);
      largest = std::max({largest, std::fabs(uf[fi]), std::fabs(ub[fi])});
      departure = std::max({departure, std::fabs(uf[fi] - ub[bi]), std::fabs(ub[fi] - uf[bi])});
    }
  }
  return largest > 0.0 ? departure / largest : 0.0;
}

// With X − Y = Λ + (U_ff + U_fb)ᵀ·W and X + Y = Λ + (U_ff − U_fb)ᵀ·W over
// the pairs (column j from rows f_j and b_j of U, each pair of elements
// that the structure makes equal taken as their mean): M = (X − Y)(X + Y) = Qm·Hm·Qmᵀ
// (LAPACK dgehrd, dorghr), P1 = Qmᵀ·(X − Y), P2ᵀ = Qmᵀ·(X + Y)ᵀ and
// G2 = P1·((X + Y) − Λ)·W⁻¹, so that a change a·e_k + g·U(k, ·)ᵀ of a
// forward row k = f_j enters the basis in O(m).  Of the arrays: H holds Hm,
// P1 and P2ᵀ (X − Y before it) and X + Y; QT holds Qmᵀ and G2.
int RpaPencil::reduce_folded(const lib::CMat& U, const lib::CVec& DHR, const lib::CVec& DHV) {
  const int m = n / 2;
  const size_t M = static_cast<size_t>(m), mm = M * M;
  P1 = H + mm, P2T = H + 2 * mm, G2 = QT + mm;
  double *XmY = H + 2 * mm, *XpY = H + 3 * mm;
  pair_of.assign(static_cast<size_t>(n), 0);
  for (size_t i = 0; i < M; ++i) {
    pair_of[static_cast<size_t>(forward[i])] = static_cast<int>(2 * i);
    pair_of[static_cast<size_t>(backward[i])] = static_cast<int>(2 * i + 1);
  }
  for (size_t j = 0; j < M; ++j) {
    const int fj = forward[j] + 1;
    const double wj = W[static_cast<size_t>(fj - 1)];
    const int bj = backward[j] + 1;
    for (size_t i = 0; i < M; ++i) {
      const double uf = 0.5 * (U(fj, forward[i] + 1) + U(bj, backward[i] + 1));
      const double ub = 0.5 * (U(fj, backward[i] + 1) + U(bj, forward[i] + 1));
      XmY[i + j * M] = wj * (uf + ub);
      XpY[i + j * M] = wj * (uf - ub);
    }
    XmY[j * (M + 1)] += Lambda[static_cast<size_t>(fj - 1)];
    XpY[j * (M + 1)] += Lambda[static_cast<size_t>(fj - 1)];
  }
  const double one = 1.0, zero = 0.0;
  dgemm_("N", "N", &m, &m, &m, &one, XmY, &m, XpY, &m, &zero, H, &m, 1, 1);
  const int info = hessenberg_reduction(m, H, QT);
  if (info != 0) return info;
  // QT holds Qm until it is transposed below.
  dgemm_("T", "N", &m, &m, &m, &one, QT, &m, XmY, &m, &zero, P1, &m, 1, 1);
  dgemm_("T", "T", &m, &m, &m, &one, QT, &m, XpY, &m, &zero, P2T, &m, 1, 1);
  for (size_t j = 0; j < M; ++j) {
    const size_t fj = static_cast<size_t>(forward[j]);
    XpY[j * (M + 1)] -= Lambda[fj];
    for (size_t i = 0; i < M; ++i) XpY[i + j * M] /= W[fj];
  }
  dgemm_("N", "N", &m, &m, &m, &one, P1, &m, XpY, &m, &zero, G2, &m, 1, 1);
  // The dipoles: Qmᵀ·(a + b), P1·(a − b) and a − b.
  QTd.assign(2 * M, 0.0);
  P1v.assign(2 * M, 0.0);
  dv.assign(2 * M, 0.0);
  std::vector<double> sum(M);
  const int inc = 1;
  for (size_t c = 0; c < 2; ++c) {
    const lib::CVec& d = c == 0 ? DHR : DHV;
    for (size_t i = 0; i < M; ++i) {
      sum[i] = d(forward[i] + 1) + d(backward[i] + 1);
      dv[c * M + i] = d(forward[i] + 1) - d(backward[i] + 1);
    }
    dgemv_("T", &m, &m, &one, QT, &m, sum.data(), &inc, &zero, QTd.data() + c * M, &inc, 1);
    dgemv_("N", &m, &m, &one, P1, &m, dv.data() + c * M, &inc, &zero, P1v.data() + c * M, &inc, 1);
  }
  for (size_t j = 0; j < M; ++j) {
    for (size_t i = j + 1; i < M; ++i) std::swap(QT[i + j * M], QT[j + i * M]);
  }
  keep_hessenberg(m);
  folded = true;
  ready = true;
  return 0;
}

}  // namespace photo

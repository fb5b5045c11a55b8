#include "photo/kernels/rpa_pencil.hpp"

#include <algorithm>
#include <cmath>

#include "lib/lapack.hpp"

namespace photo {

namespace {

using cplx = std::complex<double>;
constexpr double kPi = 3.14159265359;  // the literal of the on-shell rows
// A row follows the pencil when C·(Λ − ω) is W to this (relative): rounding
// of the two ways of taking the denominator is well below it.
constexpr double kPencilMatch = 1.0e-12;
// The largest relative residual a pencil solution may leave.
constexpr double kResidual = 1.0e-10;

// Where the entries above the diagonal of column j of H (0-based) lie in
// its array: the last j rows of column n − 1 − j.
size_t upper_column_start(int n, int j) {
  return static_cast<size_t>(n - j) + static_cast<size_t>(n - 1 - j) * static_cast<size_t>(n);
}

double norm_inf(int n, const double* x) {
  double m = 0.0;
  for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(x[i]));
  return m;
}

}  // namespace

int RpaPencil::reduce(const lib::CMat& CLB, const lib::CVec& DHR, const lib::CVec& DHV) {
  ready = false;
  const int N = n;
  const size_t nn = static_cast<size_t>(N) * static_cast<size_t>(N);
  if (!H || !QT || !G) {
    owned.assign(3 * nn, 0.0);
    H = owned.data(), QT = H + nn, G = QT + nn;
  }
  QTd.assign(2 * static_cast<size_t>(N), 0.0);
  // Kᵀ(i, j) = U(j, i)·W(j) + δ(i, j)·Λ(i), column by column of U.
  for (int i = 1; i <= N; ++i) {
    const double* u = &CLB(1, i);
    for (int j = 1; j <= N; ++j) H[static_cast<size_t>(i - 1) + static_cast<size_t>(j - 1) * N] = u[j - 1] * W[j - 1];
    H[static_cast<size_t>(i - 1) * (N + 1)] += Lambda[static_cast<size_t>(i - 1)];
  }
  const int one = 1;
  int info = 0, lwork = -1;
  std::vector<double> tau(static_cast<size_t>(std::max(N, 1)));
  double query = 0.0;
  dgehrd_(&N, &one, &N, H, &N, tau.data(), &query, &lwork, &info);
  lwork = std::max(1, static_cast<int>(query));
  std::vector<double> work(static_cast<size_t>(lwork));
  dgehrd_(&N, &one, &N, H, &N, tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  std::copy(H, H + nn, QT);
  lwork = -1;
  dorghr_(&N, &one, &N, QT, &N, tau.data(), &query, &lwork, &info);
  lwork = std::max(1, static_cast<int>(query));
  work.assign(static_cast<size_t>(lwork), 0.0);
  dorghr_(&N, &one, &N, QT, &N, tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  // H: its diagonal and subdiagonal aside, and the j entries above the
  // diagonal in column j moved to the last j rows of column n − 1 − j (over
  // the reflectors, now in Q), where they stay contiguous and clear of the
  // upper triangle; Q becomes Qᵀ.
  diagonal.assign(static_cast<size_t>(N), 0.0);
  subdiagonal.assign(static_cast<size_t>(N), 0.0);
  for (int j = 0; j < N; ++j) {
    diagonal[static_cast<size_t>(j)] = H[static_cast<size_t>(j) * (N + 1)];
    if (j + 1 < N) subdiagonal[static_cast<size_t>(j)] = H[static_cast<size_t>(j + 1) + static_cast<size_t>(j) * N];
  }
  for (int j = 1; j < N; ++j) {
    const double* from = H + static_cast<size_t>(j) * N;
    std::copy(from, from + j, H + upper_column_start(N, j));
  }
  for (int j = 0; j < N; ++j) {
    for (int i = j + 1; i < N; ++i) {
      std::swap(QT[static_cast<size_t>(i) + static_cast<size_t>(j) * N],
                QT[static_cast<size_t>(j) + static_cast<size_t>(i) * N]);
    }
  }
  const double alpha = 1.0, beta = 0.0;
  const int ldu = CLB.rows();
  dgemm_("N", "T", &N, &N, &N, &alpha, QT, &N, CLB.data(), &ldu, &beta, G, &N, 1, 1);
  dgemv_("N", &N, &N, &alpha, QT, &N, DHR.data(), &one, &beta, QTd.data(), &one, 1);
  dgemv_("N", &N, &N, &alpha, QT, &N, DHV.data(), &one, &beta, QTd.data() + N, &one, 1);
  ready = true;
  return 0;
}

void RpaPencilWork::size_for(int N0, int NB, int departing) {
  const size_t n = static_cast<size_t>(std::max(N0, 1)), nb = static_cast<size_t>(std::max(NB, 0));
  const size_t r = static_cast<size_t>(std::max(departing, 0));
  column.assign(n + 1, 0.0);
  F.assign(n * (r + nb + 2), 0.0);
  QR.assign(n * std::max<size_t>(r + nb, 1), 0.0);
  mult.assign(n, 0.0);
  scale.assign(n, 0.0);
  swap.assign(n, 0);
  R.assign(std::max<size_t>(r, 1), 0);
  ipiv.assign(std::max<size_t>(std::max(r, nb), 1), 0);
  cap.assign(std::max<size_t>(r * r, 1), 0.0);
  rhs.assign(std::max<size_t>(std::max(r, nb) * (nb + 2), 1), 0.0);
  G.assign(std::max<size_t>(nb * nb, 1), 0.0);
  g.assign(std::max<size_t>(2 * nb, 1), 0.0);
  w.assign(16 * n, 0.0);
  rows = static_cast<int>(r);
  columns = static_cast<int>(nb);
}

int rpa_amplitudes_pencil(const RpaSystem& s, double OM, RpaPencil& p, RpaPencilWork& w, const RpaAmplitudes& D,
                          RpaSolution& all) {
  const int n = s.N0, NB = s.NB;
  if (!p.ready || p.n != n || NB > w.columns || w.column.size() < static_cast<size_t>(n) + 1) return -1;
  // The rows that depart from the pencil, and the scale P.
  int r = 0;
  for (int k = 1; k <= n; ++k) {
    const double shift = p.Lambda[static_cast<size_t>(k - 1)] - OM, Wk = p.W[static_cast<size_t>(k - 1)];
    if (std::fabs(s.C(k) * shift - Wk) <= kPencilMatch * std::fabs(Wk)) {
      w.scale[static_cast<size_t>(k - 1)] = shift;
      continue;
    }
    if (r == w.rows) return -1;
    w.R[static_cast<size_t>(r++)] = k;
    w.scale[static_cast<size_t>(k - 1)] = 1.0;
  }
  const int m = r + NB + 2, nd = NB + 2;
  const size_t N = static_cast<size_t>(n);
  double* F = w.F.data();
  auto col = [N](double* a, int j) { return a + static_cast<size_t>(j) * N; };
  auto ccol = [N](const double* a, int k) { return a + static_cast<size_t>(k - 1) * N; };
  // Right-hand sides in the Hessenberg basis: Qᵀ·Vᵀ, Qᵀ·Bᵀ, Qᵀ·d.
  for (int q = 0; q < r; ++q) {
    const int k = w.R[static_cast<size_t>(q)];
    const double a = 1.0 - (p.Lambda[static_cast<size_t>(k - 1)] - OM), gk = s.C(k) - p.W[static_cast<size_t>(k - 1)];
    const double *qk = ccol(p.QT, k), *gcol = ccol(p.G, k);
    double* f = col(F, q);
    for (size_t i = 0; i < N; ++i) f[i] = a * qk[i] + gk * gcol[i];
  }
  for (int J = 1; J <= NB; ++J) {
    const double c = kPi * s.CB(J);
    const double* gcol = ccol(p.G, s.IB(J));
    double* f = col(F, r + J - 1);
    for (size_t i = 0; i < N; ++i) f[i] = c * gcol[i];
  }
  std::copy(p.QTd.begin(), p.QTd.begin() + 2 * n, col(F, r + NB));

  // H − ω = L·U by rows swapped with their neighbour, column by column: the
  // column of H from the transposed triangle, the diagonal and the
  // subdiagonal, and U's column into the upper triangle of the same array.
  double* LU = p.H;
  double* c = w.column.data();
  for (int j = 0; j < n; ++j) {
    std::copy(LU + upper_column_start(n, j), LU + upper_column_start(n, j) + j, c);
    c[j] = p.diagonal[static_cast<size_t>(j)] - OM;
    if (j + 1 < n) c[j + 1] = p.subdiagonal[static_cast<size_t>(j)];
    for (int k = 0; k < j; ++k) {
      if (w.swap[static_cast<size_t>(k)]) std::swap(c[k], c[k + 1]);
      c[k + 1] -= w.mult[static_cast<size_t>(k)] * c[k];
    }
    if (j + 1 < n) {
      w.swap[static_cast<size_t>(j)] = std::fabs(c[j + 1]) > std::fabs(c[j]);
      if (w.swap[static_cast<size_t>(j)]) std::swap(c[j], c[j + 1]);
      if (c[j] == 0.0) return -1;
      w.mult[static_cast<size_t>(j)] = c[j + 1] / c[j];
    } else if (c[j] == 0.0) {
      return -1;
    }
    std::copy(c, c + j + 1, col(LU, j));
  }
  for (int q = 0; q < m; ++q) {
    double* f = col(F, q);
    for (int k = 0; k + 1 < n; ++k) {
      if (w.swap[static_cast<size_t>(k)]) std::swap(f[k], f[k + 1]);
      f[k + 1] -= w.mult[static_cast<size_t>(k)] * f[k];
    }
  }
  const double one = 1.0, zero = 0.0, minus = -1.0;
  dtrsm_("L", "U", "N", "N", &n, &m, &one, LU, &n, F, &n, 1, 1, 1, 1);

  // The rank-r change: (1 + Q(R,·)·F_V)·Z = Q(R,·)·F_b, F_b ← F_b − F_V·Z.
  double* Fb = col(F, r);
  int info = 0;
  if (r > 0) {
    for (int q = 0; q < r; ++q)
      std::copy(ccol(p.QT, w.R[static_cast<size_t>(q)]), ccol(p.QT, w.R[static_cast<size_t>(q)]) + n,
                col(w.QR.data(), q));
    dgemm_("T", "N", &r, &r, &n, &one, w.QR.data(), &n, F, &n, &zero, w.cap.data(), &r, 1, 1);
    for (int q = 0; q < r; ++q) w.cap[static_cast<size_t>(q) * (r + 1)] += 1.0;
    dgemm_("T", "N", &r, &nd, &n, &one, w.QR.data(), &n, Fb, &n, &zero, w.rhs.data(), &r, 1, 1);
    dgetrf_(&r, &r, w.cap.data(), &r, w.ipiv.data(), &info);
    if (info != 0) return -1;
    dgetrs_("N", &r, &nd, w.cap.data(), &r, w.ipiv.data(), w.rhs.data(), &r, &info, 1);
    dgemm_("N", "N", &n, &nd, &r, &minus, F, &n, w.rhs.data(), &r, &one, Fb, &n, 1, 1);
  }

  // The on-shell rows: X(IB, ·) = P(IB)·Q(IB, ·)·F_b, then the complex
  // system of order NB as in the factored solve.
  double* Fd = col(F, r + NB);
  const lib::MatView<cplx> Gm(w.G.data(), std::max(NB, 1), std::max(NB, 1));
  const lib::MatView<cplx> gm(w.g.data(), std::max(NB, 1), 2);
  if (NB > 0) {
    for (int J = 0; J < NB; ++J) std::copy(ccol(p.QT, s.IB(J + 1)), ccol(p.QT, s.IB(J + 1)) + n, col(w.QR.data(), J));
    std::vector<double>& X = w.rhs;  // NB × (NB + 2)
    dgemm_("T", "N", &NB, &nd, &n, &one, w.QR.data(), &n, Fb, &n, &zero, X.data(), &NB, 1, 1);
    for (int J = 1; J <= NB; ++J) {
      const double sc = w.scale[static_cast<size_t>(s.IB(J) - 1)];
      for (int c = 1; c <= nd; ++c) X[static_cast<size_t>(J - 1) + static_cast<size_t>(c - 1) * NB] *= sc;
    }
    for (int Jp = 1; Jp <= NB; ++Jp) {
      for (int J = 1; J <= NB; ++J) Gm(J, Jp) = X[static_cast<size_t>(J - 1) + static_cast<size_t>(Jp - 1) * NB];
      Gm(Jp, Jp) -= cplx(0.0, 1.0);
    }
    for (int f = 1; f <= 2; ++f) {
      for (int J = 1; J <= NB; ++J) gm(J, f) = X[static_cast<size_t>(J - 1) + static_cast<size_t>(NB + f - 1) * NB];
    }
    zgetrf_(&NB, &NB, Gm.data(), &NB, w.ipiv.data(), &info);
    if (info != 0) return -1;
    const int two = 2;
    zgetrs_("N", &NB, &two, Gm.data(), &NB, w.ipiv.data(), gm.data(), &NB, &info, 1);
  }
  // y = F_d − F_B·g in the Hessenberg basis (re, im of the length and the
  // velocity form), then x = P·Q·y.
  double* Y = w.w.data();
  double* X4 = Y + 4 * N;
  for (int f = 0; f < 2; ++f) {
    double* re = Y + (2 * f) * N;
    double* im = Y + (2 * f + 1) * N;
    std::copy(Fd + f * N, Fd + (f + 1) * N, re);
    std::fill(im, im + N, 0.0);
    for (int J = 1; J <= NB; ++J) {
      const cplx gj = gm(J, f + 1);
      const double* fb = col(F, r + J - 1);
      for (size_t i = 0; i < N; ++i) {
        re[i] -= fb[i] * gj.real();
        im[i] -= fb[i] * gj.imag();
      }
    }
  }
  const int four = 4;
  dgemm_("T", "N", &n, &four, &n, &one, p.QT, &n, Y, &n, &zero, X4, &n, 1, 1);
  for (size_t i = 0; i < N; ++i) {
    for (int c = 0; c < 4; ++c) X4[i + c * N] *= w.scale[i];
  }

  // The residual x + Uᵀ·(C∘x + iπ·Σ CB·x(IB)) − d of each form.
  double* V = Y;
  double* UV = Y + 8 * N;
  for (size_t i = 0; i < N; ++i) {
    for (int c = 0; c < 4; ++c) V[i + c * N] = s.C(static_cast<int>(i) + 1) * X4[i + c * N];
  }
  for (int J = 1; J <= NB; ++J) {
    const size_t k = static_cast<size_t>(s.IB(J) - 1);
    const double c = kPi * s.CB(J);
    for (int f = 0; f < 2; ++f) {
      const double xr = X4[k + 2 * f * N], xi = X4[k + (2 * f + 1) * N];
      V[k + 2 * f * N] -= c * xi;
      V[k + (2 * f + 1) * N] += c * xr;
    }
  }
  const int ldu = s.CLB.rows();
  dgemm_("T", "N", &n, &four, &n, &one, s.CLB.data(), &ldu, V, &n, &zero, UV, &n, 1, 1);
  double worst = 0.0;
  for (int f = 0; f < 2; ++f) {
    const lib::CVec d = f == 0 ? s.DHR : s.DHV;
    const double size =
        std::max({norm_inf(2 * n, X4 + 2 * f * N), norm_inf(2 * n, UV + 2 * f * N), norm_inf(n, d.data())});
    double miss = 0.0;
    for (size_t i = 0; i < N; ++i) {
      const double re = X4[i + 2 * f * N] + UV[i + 2 * f * N] - d(static_cast<int>(i) + 1);
      const double im = X4[i + (2 * f + 1) * N] + UV[i + (2 * f + 1) * N];
      miss = std::max({miss, std::fabs(re), std::fabs(im)});
    }
    worst = std::max(worst, size > 0.0 ? miss / size : miss);
  }
  w.residual = worst;

  all.length.resize(N);
  all.velocity.resize(N);
  for (size_t i = 0; i < N; ++i) {
    all.length[i] = cplx(X4[i], X4[i + N]);
    all.velocity[i] = cplx(X4[i + 2 * N], X4[i + 3 * N]);
  }
  all.N0 = n, all.NB = NB, all.valid = true;
  rpa_amplitudes_from(all, s.JS, s.NL, D);
  return worst <= kResidual ? 0 : -2;
}

}  // namespace photo

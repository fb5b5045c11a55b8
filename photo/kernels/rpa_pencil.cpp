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
// Refinement passes go on while the residual lies above kRefined (the
// rounding of a direct solve) and falls, at most kRefinements of them.
constexpr double kRefined = 1.0e-13;
constexpr int kRefinements = 6;

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

// Column k (1-based) of the change a·e_k + g·U(k, ·)ᵀ in the pencil's basis:
// Qᵀ·(a·e_k + g·U(k, ·)ᵀ) whole; folded, w = Qmᵀ·(ω·(a + b) + (X − Y)·(a − b))
// and v = a − b over the pairs.  Of pair j (forward f, backward b), row b of
// U is row f with its halves exchanged, so that with σ = ±1 for k = f or b
//   a + b = a·e_j + g·S,  a − b = σ·(a·e_j + g·D),
// S and D the sum and difference of the halves of row f, and
// Qmᵀ·S = (P1·e_j − Λ_f·Qmᵀ·e_j)/W_f, P1·D = G2·e_j.
void basis_column(const RpaPencil& p, const lib::CMat& U, int k, double a, double g, double OM, double* f) {
  const size_t N = static_cast<size_t>(p.n);
  if (!p.folded) {
    const double *qk = p.QT + static_cast<size_t>(k - 1) * N, *gk = p.G + static_cast<size_t>(k - 1) * N;
    for (size_t i = 0; i < N; ++i) f[i] = a * qk[i] + g * gk[i];
    return;
  }
  const int pair = p.pair_of[static_cast<size_t>(k - 1)];
  const double sign = pair % 2 == 0 ? 1.0 : -1.0;
  const size_t m = N / 2, j = static_cast<size_t>(pair / 2);
  const int fk = p.forward[j] + 1;
  const double *q = p.QT + j * m, *p1 = p.P1 + j * m, *g2 = p.G2 + j * m;
  const double L = p.Lambda[static_cast<size_t>(fk - 1)], Wf = p.W[static_cast<size_t>(fk - 1)];
  for (size_t i = 0; i < m; ++i) {
    f[i] = a * (OM * q[i] + sign * p1[i]) + g * (OM * (p1[i] - L * q[i]) / Wf + sign * g2[i]);
  }
  const int bk = p.backward[j] + 1;
  for (size_t i = 0; i < m; ++i) {
    const int fi = p.forward[i] + 1, bi = p.backward[i] + 1;
    f[m + i] = 0.5 * sign * g * (U(fk, fi) + U(bk, bi) - U(fk, bi) - U(bk, fi));
  }
  f[m + j] += sign * a;
}

// The two dipole columns in the pencil's basis.
void basis_dipoles(const RpaPencil& p, double OM, double* f) {
  const size_t N = static_cast<size_t>(p.n);
  if (!p.folded) {
    std::copy(p.QTd.begin(), p.QTd.begin() + static_cast<std::ptrdiff_t>(2 * N), f);
    return;
  }
  const size_t m = N / 2;
  for (size_t c = 0; c < 2; ++c) {
    for (size_t i = 0; i < m; ++i) {
      f[c * N + i] = OM * p.QTd[c * m + i] + p.P1v[c * m + i];
      f[c * N + m + i] = p.dv[c * m + i];
    }
  }
}

// The row that takes component k (1-based) of a solution from its basis
// column: row k of Q whole; folded, x(f_j) and y(b_j) = (s_j ± d_j)/2 with
// s = Qm·w and d = (P2·w − v)/ω.
void extraction_row(const RpaPencil& p, int k, double OM, double* row) {
  const size_t N = static_cast<size_t>(p.n);
  if (!p.folded) {
    std::copy(p.QT + static_cast<size_t>(k - 1) * N, p.QT + static_cast<size_t>(k) * N, row);
    return;
  }
  const int pair = p.pair_of[static_cast<size_t>(k - 1)];
  const double sign = pair % 2 == 0 ? 1.0 : -1.0;
  const size_t m = N / 2, j = static_cast<size_t>(pair / 2);
  const double *q = p.QT + j * m, *p2 = p.P2T + j * m;
  for (size_t i = 0; i < m; ++i) row[i] = 0.5 * (q[i] + sign * p2[i] / OM);
  std::fill(row + m, row + N, 0.0);
  row[m + j] = -0.5 * sign / OM;
}

// Four solutions from their basis columns Y into X (n × 4), with `scratch`
// of 2n words.
void assemble(const RpaPencil& p, double OM, const double* Y, double* X, double* scratch) {
  const int n = p.n, four = 4;
  const double one = 1.0, zero = 0.0;
  if (!p.folded) {
    dgemm_("T", "N", &n, &four, &n, &one, p.QT, &n, Y, &n, &zero, X, &n, 1, 1);
    return;
  }
  const int m = n / 2;
  const size_t N = static_cast<size_t>(n), M = static_cast<size_t>(m);
  double *S = scratch, *T = scratch + 4 * M;
  dgemm_("T", "N", &m, &four, &m, &one, p.QT, &m, Y, &n, &zero, S, &m, 1, 1);
  dgemm_("T", "N", &m, &four, &m, &one, p.P2T, &m, Y, &n, &zero, T, &m, 1, 1);
  for (size_t c = 0; c < 4; ++c) {
    for (size_t i = 0; i < M; ++i) {
      const double s = S[i + c * M], d = (T[i + c * M] - Y[M + i + c * N]) / OM;
      X[static_cast<size_t>(p.forward[i]) + c * N] = 0.5 * (s + d);
      X[static_cast<size_t>(p.backward[i]) + c * N] = 0.5 * (s - d);
    }
  }
}

}  // namespace

int hessenberg_reduction(int h, double* A, double* Q) {
  const int first = 1;
  int info = 0, lwork = -1;
  std::vector<double> tau(static_cast<size_t>(std::max(h, 1)));
  double query = 0.0;
  dgehrd_(&h, &first, &h, A, &h, tau.data(), &query, &lwork, &info);
  lwork = std::max(1, static_cast<int>(query));
  std::vector<double> work(static_cast<size_t>(lwork));
  dgehrd_(&h, &first, &h, A, &h, tau.data(), work.data(), &lwork, &info);
  if (info != 0) return info;
  std::copy(A, A + static_cast<size_t>(h) * static_cast<size_t>(h), Q);
  lwork = -1;
  dorghr_(&h, &first, &h, Q, &h, tau.data(), &query, &lwork, &info);
  lwork = std::max(1, static_cast<int>(query));
  work.assign(static_cast<size_t>(lwork), 0.0);
  dorghr_(&h, &first, &h, Q, &h, tau.data(), work.data(), &lwork, &info);
  return info;
}

void RpaPencil::keep_hessenberg(int h) {
  diagonal.assign(static_cast<size_t>(h), 0.0);
  subdiagonal.assign(static_cast<size_t>(h), 0.0);
  for (int j = 0; j < h; ++j) {
    diagonal[static_cast<size_t>(j)] = H[static_cast<size_t>(j) * (h + 1)];
    if (j + 1 < h) subdiagonal[static_cast<size_t>(j)] = H[static_cast<size_t>(j + 1) + static_cast<size_t>(j) * h];
  }
  for (int j = 1; j < h; ++j) {
    const double* from = H + static_cast<size_t>(j) * h;
    std::copy(from, from + j, H + upper_column_start(h, j));
  }
}

int RpaPencil::reduce(const lib::CMat& CLB, const lib::CVec& DHR, const lib::CVec& DHV) {
  ready = false;
  folded = false;
  const int N = n;
  const size_t nn = static_cast<size_t>(N) * static_cast<size_t>(N);
  if (!H || !QT || !G) {
    owned.assign(3 * nn, 0.0);
    H = owned.data(), QT = H + nn, G = QT + nn;
  }
  if (fold) {
    const double departure = pair_departure(CLB);
    if (departure >= 0.0 && departure <= kFoldDeparture) return reduce_folded(CLB, DHR, DHV);
  }
  QTd.assign(2 * static_cast<size_t>(N), 0.0);
  // Kᵀ(i, j) = U(j, i)·W(j) + δ(i, j)·Λ(i), column by column of U.
  for (int i = 1; i <= N; ++i) {
    const double* u = &CLB(1, i);
    for (int j = 1; j <= N; ++j) H[static_cast<size_t>(i - 1) + static_cast<size_t>(j - 1) * N] = u[j - 1] * W[j - 1];
    H[static_cast<size_t>(i - 1) * (N + 1)] += Lambda[static_cast<size_t>(i - 1)];
  }
  const int info = hessenberg_reduction(N, H, QT);
  if (info != 0) return info;
  // H: its diagonal and subdiagonal aside, and the j entries above the
  // diagonal in column j moved to the last j rows of column n − 1 − j (over
  // the reflectors, now in Q), where they stay contiguous and clear of the
  // upper triangle; Q becomes Qᵀ.
  keep_hessenberg(N);
  for (int j = 0; j < N; ++j) {
    for (int i = j + 1; i < N; ++i) {
      std::swap(QT[static_cast<size_t>(i) + static_cast<size_t>(j) * N],
                QT[static_cast<size_t>(j) + static_cast<size_t>(i) * N]);
    }
  }
  const int one = 1;
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
  F.assign(n * (r + nb + 4), 0.0);
  QR.assign(n * std::max<size_t>(r + nb, 1), 0.0);
  mult.assign(n, 0.0);
  scale.assign(n, 0.0);
  swap.assign(n, 0);
  R.assign(std::max<size_t>(r, 1), 0);
  ipiv.assign(std::max<size_t>(nb, 1), 0);
  ipiv_rows.assign(std::max<size_t>(r, 1), 0);
  cap.assign(std::max<size_t>(r * r, 1), 0.0);
  rhs.assign(std::max<size_t>(std::max(r, nb) * (nb + 4), 1), 0.0);
  G.assign(std::max<size_t>(nb * nb, 1), 0.0);
  g.assign(std::max<size_t>(2 * nb, 1), 0.0);
  w.assign(16 * n, 0.0);
  keep.assign(4 * n, 0.0);
  work.assign(8 * n, 0.0);
  rows = static_cast<int>(r);
  columns = static_cast<int>(nb);
}

namespace {

// One energy's factors, kept for the refinement passes: the Hessenberg LU
// (in the pencil's array and the work's swaps and multipliers), the r
// departing rows' columns F_V and capacitance, the NB on-shell rows'
// columns F_B and their complex system.
struct EnergySolve {
  const RpaSystem& s;
  const RpaPencil& p;
  RpaPencilWork& w;
  double OM;
  int n, NB, r, h;
  double* col(int j) const { return w.F.data() + static_cast<size_t>(j) * static_cast<size_t>(n); }
  double* extraction(int j) const { return w.QR.data() + static_cast<size_t>(j) * static_cast<size_t>(n); }
};

// H − ω (folded: Hm − ω²) = L·U by rows swapped with their neighbour, column
// by column: the column of H from the transposed triangle, the diagonal and
// the subdiagonal, and U's column into the upper triangle of the same array.
bool factor_hessenberg(const EnergySolve& e) {
  const int h = e.h;
  const double shift = e.p.folded ? e.OM * e.OM : e.OM;
  double* LU = e.p.H;
  double* c = e.w.column.data();
  for (int j = 0; j < h; ++j) {
    std::copy(LU + upper_column_start(h, j), LU + upper_column_start(h, j) + j, c);
    c[j] = e.p.diagonal[static_cast<size_t>(j)] - shift;
    if (j + 1 < h) c[j + 1] = e.p.subdiagonal[static_cast<size_t>(j)];
    for (int k = 0; k < j; ++k) {
      if (e.w.swap[static_cast<size_t>(k)]) std::swap(c[k], c[k + 1]);
      c[k + 1] -= e.w.mult[static_cast<size_t>(k)] * c[k];
    }
    if (j + 1 < h) {
      e.w.swap[static_cast<size_t>(j)] = std::fabs(c[j + 1]) > std::fabs(c[j]);
      if (e.w.swap[static_cast<size_t>(j)]) std::swap(c[j], c[j + 1]);
      if (c[j] == 0.0) return false;
      e.w.mult[static_cast<size_t>(j)] = c[j + 1] / c[j];
    } else if (c[j] == 0.0) {
      return false;
    }
    std::copy(c, c + j + 1, LU + static_cast<size_t>(j) * static_cast<size_t>(h));
  }
  return true;
}

// The Hessenberg solve of columns first … first + count − 1 of F (their
// first h rows).
void hessenberg_solve(const EnergySolve& e, int first, int count) {
  for (int q = first; q < first + count; ++q) {
    double* f = e.col(q);
    for (int k = 0; k + 1 < e.h; ++k) {
      if (e.w.swap[static_cast<size_t>(k)]) std::swap(f[k], f[k + 1]);
      f[k + 1] -= e.w.mult[static_cast<size_t>(k)] * f[k];
    }
  }
  const double one = 1.0;
  dtrsm_("L", "U", "N", "N", &e.h, &count, &one, e.p.H, &e.h, e.col(first), &e.n, 1, 1, 1, 1);
}

// The rank-r change on columns first … first + count − 1:
// F ← F − F_V·(1 + Q(R,·)·F_V)⁻¹·Q(R,·)·F, with the capacitance factored
// once (factor = true) from the departing rows' own columns.
bool departing_rows(const EnergySolve& e, int first, int count, bool factor) {
  const int r = e.r, n = e.n;
  if (r == 0) return true;
  const double one = 1.0, zero = 0.0, minus = -1.0;
  int info = 0;
  if (factor) {
    dgemm_("T", "N", &r, &r, &n, &one, e.extraction(0), &n, e.col(0), &n, &zero, e.w.cap.data(), &r, 1, 1);
    for (int q = 0; q < r; ++q) e.w.cap[static_cast<size_t>(q) * (r + 1)] += 1.0;
    dgetrf_(&r, &r, e.w.cap.data(), &r, e.w.ipiv_rows.data(), &info);
    if (info != 0) return false;
  }
  dgemm_("T", "N", &r, &count, &n, &one, e.extraction(0), &n, e.col(first), &n, &zero, e.w.rhs.data(), &r, 1, 1);
  dgetrs_("N", &r, &count, e.w.cap.data(), &r, e.w.ipiv_rows.data(), e.w.rhs.data(), &r, &info, 1);
  dgemm_("N", "N", &n, &count, &r, &minus, e.col(0), &n, e.w.rhs.data(), &r, &one, e.col(first), &n, 1, 1);
  return true;
}

// Components IB of columns first … first + count − 1, times the scale P:
// into X (NB × count).
void onshell_components(const EnergySolve& e, int first, int count, double* X) {
  const double one = 1.0, zero = 0.0;
  dgemm_("T", "N", &e.NB, &count, &e.n, &one, e.extraction(e.r), &e.n, e.col(first), &e.n, &zero, X, &e.NB, 1, 1);
  for (int J = 1; J <= e.NB; ++J) {
    const double sc = e.w.scale[static_cast<size_t>(e.s.IB(J) - 1)];
    for (int c = 0; c < count; ++c) X[static_cast<size_t>(J - 1) + static_cast<size_t>(c) * e.NB] *= sc;
  }
}

// Two complex solutions (columns first … first + 3: re and im of each) after
// the on-shell rows: y = F − F_B·g with (X(IB)·F_B − i)·g = X(IB)·F, in the
// basis into Y (n × 4).
bool onshell_rows(const EnergySolve& e, int first, double* Y) {
  const int NB = e.NB;
  const size_t N = static_cast<size_t>(e.n);
  std::copy(e.col(first), e.col(first) + 4 * N, Y);
  if (NB == 0) return true;
  const lib::MatView<cplx> Gm(e.w.G.data(), NB, NB);
  const lib::MatView<cplx> gm(e.w.g.data(), NB, 2);
  double* X = e.w.rhs.data();
  onshell_components(e, first, 4, X);
  for (int f = 1; f <= 2; ++f) {
    for (int J = 1; J <= NB; ++J) {
      gm(J, f) = cplx(X[static_cast<size_t>(J - 1) + static_cast<size_t>(2 * f - 2) * NB],
                      X[static_cast<size_t>(J - 1) + static_cast<size_t>(2 * f - 1) * NB]);
    }
  }
  int info = 0;
  const int two = 2;
  zgetrs_("N", &NB, &two, Gm.data(), &NB, e.w.ipiv.data(), gm.data(), &NB, &info, 1);
  for (int f = 0; f < 2; ++f) {
    double* re = Y + (2 * f) * N;
    double* im = Y + (2 * f + 1) * N;
    for (int J = 1; J <= NB; ++J) {
      const cplx gj = gm(J, f + 1);
      const double* fb = e.col(e.r + J - 1);
      for (size_t i = 0; i < N; ++i) {
        re[i] -= fb[i] * gj.real();
        im[i] -= fb[i] * gj.imag();
      }
    }
  }
  return true;
}

// Full vectors (n × 4) into the pencil's basis at columns first … first + 3:
// Qᵀ·x whole; folded, w = ω·Qmᵀ·(x_f + x_b) + P1·(x_f − x_b), v = x_f − x_b.
void to_basis(const EnergySolve& e, const double* X, int first, double* scratch) {
  const RpaPencil& p = e.p;
  const int n = e.n, four = 4;
  const double one = 1.0, zero = 0.0;
  double* F = e.col(first);
  if (!p.folded) {
    dgemm_("N", "N", &n, &four, &n, &one, p.QT, &n, X, &n, &zero, F, &n, 1, 1);
    return;
  }
  const int m = n / 2;
  const size_t N = static_cast<size_t>(n), M = static_cast<size_t>(m);
  double *U4 = scratch, *V4 = scratch + 4 * M;
  for (size_t c = 0; c < 4; ++c) {
    for (size_t i = 0; i < M; ++i) {
      const double xf = X[static_cast<size_t>(p.forward[i]) + c * N],
                   xb = X[static_cast<size_t>(p.backward[i]) + c * N];
      U4[i + c * M] = xf + xb;
      V4[i + c * M] = xf - xb;
      F[M + i + c * N] = xf - xb;
    }
  }
  dgemm_("N", "N", &m, &four, &m, &e.OM, p.QT, &m, U4, &m, &zero, F, &n, 1, 1);
  dgemm_("N", "N", &m, &four, &m, &one, p.P1, &m, V4, &m, &one, F, &n, 1, 1);
}

// The residual ρ = d − x − Uᵀ·(C∘x + iπ·Σ CB·x(IB)) of the two forms (re, im
// columns) into Rho, and its largest entry relative to the sizes of x, Uᵀ·…
// and d.
double residual(const EnergySolve& e, const double* X4, double* Rho, double* work) {
  const RpaSystem& s = e.s;
  const int n = e.n, four = 4;
  const size_t N = static_cast<size_t>(n);
  double *V = work, *UV = work + 4 * N;
  for (size_t i = 0; i < N; ++i) {
    for (size_t c = 0; c < 4; ++c) V[i + c * N] = s.C(static_cast<int>(i) + 1) * X4[i + c * N];
  }
  for (int J = 1; J <= e.NB; ++J) {
    const size_t k = static_cast<size_t>(s.IB(J) - 1);
    const double c = kPi * s.CB(J);
    for (size_t f = 0; f < 2; ++f) {
      const double xr = X4[k + 2 * f * N], xi = X4[k + (2 * f + 1) * N];
      V[k + 2 * f * N] -= c * xi;
      V[k + (2 * f + 1) * N] += c * xr;
    }
  }
  const double one = 1.0, zero = 0.0;
  const int ldu = s.CLB.rows();
  dgemm_("T", "N", &n, &four, &n, &one, s.CLB.data(), &ldu, V, &n, &zero, UV, &n, 1, 1);
  double worst = 0.0;
  for (size_t f = 0; f < 2; ++f) {
    const lib::CVec d = f == 0 ? s.DHR : s.DHV;
    const double size =
        std::max({norm_inf(2 * n, X4 + 2 * f * N), norm_inf(2 * n, UV + 2 * f * N), norm_inf(n, d.data())});
    double miss = 0.0;
    for (size_t i = 0; i < N; ++i) {
      const double re = d(static_cast<int>(i) + 1) - X4[i + 2 * f * N] - UV[i + 2 * f * N];
      const double im = -X4[i + (2 * f + 1) * N] - UV[i + (2 * f + 1) * N];
      Rho[i + 2 * f * N] = re;
      Rho[i + (2 * f + 1) * N] = im;
      miss = std::max({miss, std::fabs(re), std::fabs(im)});
    }
    worst = std::max(worst, size > 0.0 ? miss / size : miss);
  }
  return worst;
}

}  // namespace

int rpa_amplitudes_pencil(const RpaSystem& s, double OM, RpaPencil& p, RpaPencilWork& w, const RpaAmplitudes& D,
                          RpaSolution& all) {
  const int n = s.N0, NB = s.NB;
  if (!p.ready || p.n != n || NB > w.columns || w.column.size() < static_cast<size_t>(n) + 1) return -1;
  if (p.folded && !(OM > 0.0)) return -1;
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
  const EnergySolve e{s, p, w, OM, n, NB, r, p.folded ? n / 2 : n};
  const size_t N = static_cast<size_t>(n);
  const int rhs = r + NB;  // the first of the four columns of the two forms
  // Right-hand sides in the pencil's basis: the departing rows' changes,
  // the on-shell rows' and the two forms' dipoles (re; im = 0), and the
  // rows that take a solution's components R and IB from its basis column.
  for (int q = 0; q < r; ++q) {
    const int k = w.R[static_cast<size_t>(q)];
    const double a = 1.0 - (p.Lambda[static_cast<size_t>(k - 1)] - OM), gk = s.C(k) - p.W[static_cast<size_t>(k - 1)];
    basis_column(p, s.CLB, k, a, gk, OM, e.col(q));
    extraction_row(p, k, OM, e.extraction(q));
  }
  for (int J = 1; J <= NB; ++J) {
    basis_column(p, s.CLB, s.IB(J), 0.0, kPi * s.CB(J), OM, e.col(r + J - 1));
    extraction_row(p, s.IB(J), OM, e.extraction(r + J - 1));
  }
  double* Fd = e.col(rhs);
  double* dipoles = w.work.data();
  basis_dipoles(p, OM, dipoles);
  for (size_t f = 0; f < 2; ++f) {
    std::copy(dipoles + f * N, dipoles + (f + 1) * N, Fd + 2 * f * N);
    std::fill(Fd + (2 * f + 1) * N, Fd + (2 * f + 2) * N, 0.0);
  }
  if (!factor_hessenberg(e)) return -1;
  hessenberg_solve(e, 0, rhs + 4);
  if (!departing_rows(e, 0, 0, true) || !departing_rows(e, r, NB + 4, false)) return -1;
  // The on-shell rows' complex system, factored once.
  if (NB > 0) {
    const lib::MatView<cplx> Gm(w.G.data(), NB, NB);
    double* X = w.rhs.data();
    onshell_components(e, r, NB, X);
    for (int Jp = 1; Jp <= NB; ++Jp) {
      for (int J = 1; J <= NB; ++J) Gm(J, Jp) = X[static_cast<size_t>(J - 1) + static_cast<size_t>(Jp - 1) * NB];
      Gm(Jp, Jp) -= cplx(0.0, 1.0);
    }
    int info = 0;
    zgetrf_(&NB, &NB, Gm.data(), &NB, w.ipiv.data(), &info);
    if (info != 0) return -1;
  }
  // x = P·(basis → full)(y), then refinement: the residual of x in the
  // energy's own system solved by the same factors and added, while it
  // falls (the interaction of a folded pencil need only be near the
  // structure of its pairs).
  double* Y = w.w.data();
  double* X4 = Y + 4 * N;
  double* Rho = Y + 8 * N;
  double* scratch = Y + 12 * N;
  double* work = w.work.data();
  onshell_rows(e, rhs, Y);
  assemble(p, OM, Y, X4, scratch);
  for (size_t i = 0; i < N; ++i) {
    for (size_t c = 0; c < 4; ++c) X4[i + c * N] *= w.scale[i];
  }
  double worst = residual(e, X4, Rho, work);
  w.refinements = 0;
  for (int pass = 0; pass < kRefinements && worst > kRefined; ++pass) {
    to_basis(e, Rho, rhs, scratch);
    hessenberg_solve(e, rhs, 4);
    departing_rows(e, rhs, 4, false);
    onshell_rows(e, rhs, Y);
    double* dX = Rho;
    assemble(p, OM, Y, dX, scratch);
    std::copy(X4, X4 + 4 * N, w.keep.begin());
    for (size_t i = 0; i < 4 * N; ++i) X4[i] += dX[i] * w.scale[i % N];
    const double next = residual(e, X4, Rho, work);
    if (!(next < worst)) {
      std::copy(w.keep.begin(), w.keep.end(), X4);
      break;
    }
    worst = next;
    ++w.refinements;
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

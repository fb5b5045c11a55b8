#include "scf/fixed_energy.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/grid.hpp"

namespace scf {

// Gauss–Jordan elimination in the natural pivot order: row i is divided by
// its pivot, then its multiples are removed from every other row; V and C
// undergo the same row operations.  Exact in exact arithmetic when every
// leading minor of A is non-zero; the blocks of the Numerov recurrence are
// dominated by their diagonal (−2 + O(HB²)), so no pivoting is needed.
double INVE(int N, lib::Vec V, lib::Mat A, lib::Mat C) {
  double det = 1.0;
  for (int i = 1; i <= N; ++i) {
    const double piv = A(i, i);
    det *= piv;
    if (piv == 0.0) io::stop(io::fstring(io::Format("(' INVE: ZERO PIVOT IN ROW',I3,' OF',I3)"), i, N));
    for (int k = i + 1; k <= N; ++k) A(i, k) /= piv;
    V(i) /= piv;
    for (int k = 1; k <= N; ++k) C(i, k) /= piv;
    // Row j −= A(j,i)·row i for every j ≠ i, taken column by column so that
    // the inner loop runs down a column (the multipliers are column i).
    // One loop over the whole column (it vectorises), row i itself put back.
    const double* f = A.col(i).data();
    auto eliminate = [&](double* x, double xi) {
      const double keep = x[i - 1];
      for (int j = 0; j < N; ++j) x[j] -= f[j] * xi;
      x[i - 1] = keep;
    };
    for (int k = i + 1; k <= N; ++k) eliminate(A.col(k).data(), A(i, k));
    eliminate(V.data(), V(i));
    for (int k = 1; k <= N; ++k) eliminate(C.col(k).data(), C(i, k));
  }
  return det;
}

namespace {

// One point of the elimination in the difference form.  With
// a = rW_{i+1}, b = 10rW_i, c = rW_{i−1} (W with its energy term) and the
// relation below as u_{i+1} = RV′ + (I + G′)·u_i, the written blocks are
// B′ = −2I + b + (I + a)(I + G′) = −(I − E), E = G′ + a(I + G′) + b, so
//   G = (I − E)⁻¹(c + E),   RV = −(I − E)⁻¹(h − (I + a)·RV′).
// E, G and c are of order HB (HB² for c): formed without adding them to
// the unit diagonal, they keep their relative precision, where RM = −(I + G)
// holds G only to the unit's last bit, an error of W of ε/r = 12ε/HB² per
// point, the rounding that grows as NB².  Leaves G in RMn, RV in RVn and
// returns the sign of det B′ = (−1)^N·det(I − E).
int difference_step(int N, int i, double r, double ER, lib::CVec R2, lib::CVec R3, lib::CMat S, const double* Wn,
                    const double* Wc, const double* Wp, lib::Mat Gn, lib::Vec RVn, lib::Mat Ma, lib::Mat Me,
                    lib::Mat Mc, lib::Vec H) {
  for (int q = 1; q <= N; ++q) {
    for (int p = 1; p <= N; ++p) {
      const int pq = (p - 1) + N * (q - 1);
      Ma(p, q) = r * Wn[pq];
      Me(p, q) = 10.0 * r * Wc[pq];
      Mc(p, q) = r * Wp[pq];
    }
  }
  for (int p = 1; p <= N; ++p) {
    Ma(p, p) += r * ER * R2(i + 1) * R3(i + 1);
    Me(p, p) += 10.0 * r * ER * R2(i) * R3(i);
    Mc(p, p) += r * ER * R2(i - 1) * R3(i - 1);
    H(p) = r * (10.0 * S(i, p) + S(i - 1, p) + S(i + 1, p));
  }
  // E = b + G′ + a·G′ + a;  h − (I + a)·RV′.
  for (int q = 1; q <= N; ++q)
    for (int p = 1; p <= N; ++p) {
      double x = Gn(p, q) + Ma(p, q);
      for (int m = 1; m <= N; ++m) x += Ma(p, m) * Gn(m, q);
      Me(p, q) += x;
    }
  for (int p = 1; p <= N; ++p) {
    double x = RVn(p);
    for (int m = 1; m <= N; ++m) x += Ma(p, m) * RVn(m);
    H(p) = -(H(p) - x);
  }
  // Right-hand block c + E, then the matrix I − E.
  for (int q = 1; q <= N; ++q)
    for (int p = 1; p <= N; ++p) {
      Mc(p, q) += Me(p, q);
      Me(p, q) = (p == q ? 1.0 : 0.0) - Me(p, q);
    }
  const double det = INVE(N, H, Me, Mc);
  for (int p = 1; p <= N; ++p) {
    RVn(p) = H(p);
    for (int q = 1; q <= N; ++q) Gn(p, q) = Mc(p, q);
  }
  return ((N & 1) ? -det : det) < 0.0 ? -1 : 1;
}

}  // namespace

// Numerov's relation for u″ + W u = S at the outer points, with
// W_i(p,q) = PD(i,q,p) + ER·col3_i·(ξ_i² δ_pq − TT(q,p)):
//   (I + rW_{i+1}) u_{i+1} + (−2I + 10rW_i) u_i + (I + rW_{i−1}) u_{i−1} = r (S_{i+1} + 10S_i + S_{i−1}),
// local error O(HB⁶) per step, O(HB⁴) globally.  Eliminated from the last
// point down: u_i = RV(i) − RM(i)·u_{i−1} with
//   RM(i) = B′⁻¹C_i,  RV(i) = B′⁻¹(h_i − A_i RV(i+1)),  B′ = B_i − A_i RM(i+1).
// The product of det B′ over the eliminated points, times the determinant of
// the inner system, is the determinant of the whole discretised problem.
// The gathered blocks hold 4096 words, or one point's where that is more.
constexpr long kBlockWords = 4096;

long cpyp0_words(int N) {
  const long n2 = static_cast<long>(N) * N;
  return 7 * n2 + 2 * N + std::max(kBlockWords, n2) + std::max(kBlockWords, n2 + N);
}

int CPYP0(int N, int NA, int NB, double r, double ER, lib::CMat TT, lib::CVec R2, lib::CVec R3, lib::CArr3 PD,
          lib::CMat S, lib::CMat CM, lib::CVec CV, lib::Mat WK, lib::Vec scratch, int IDIF) {
  const int n2 = N * N;
  auto RM = [&](int i, int p, int q) -> double& { return WK(i, 2 + (q - 1) * N + p); };
  auto RV = [&](int i, int p) -> double& { return WK(i, n2 + 2 + p); };
  // Rows NA+2 … NB are all written below; row NA+1 holds no relation.
  for (int c = 3; c <= n2 + N + 2; ++c) WK(NA + 1, c) = 0.0;
  // IDIF = 1 keeps G = −RM − I in place of RM (u_i = RV + (I + G)·u_{i−1}).
  auto stored = [&](int p, int q, double x) { return IDIF == 1 ? -x - (p == q ? 1.0 : 0.0) : x; };
  for (int p = 1; p <= N; ++p) {
    RV(NB, p) = CV(p);
    for (int q = 1; q <= N; ++q) RM(NB, p, q) = stored(p, q, CM(p, q));
  }
  if (scratch.size() < cpyp0_words(N)) {
    io::stop(io::fstring(io::Format("(' CPYP0: SCRATCH OF',I9,' WORDS, NEEDS',I9)"), scratch.size(), cpyp0_words(N)));
  }
  double* next = scratch.data();
  auto take = [&](long words) {
    double* p = next;
    next += words;
    return p;
  };
  double *a = take(n2), *b = take(n2), *c = take(n2), *rm = take(n2), *h = take(N), *rv = take(N);
  lib::Mat A(a, N, N), Bp(b, N, N), C(c, N, N), RMn(rm, N, N);
  lib::Vec H(h, N), RVn(rv, N);
  for (int p = 1; p <= N; ++p) {
    RVn(p) = CV(p);
    for (int q = 1; q <= N; ++q) RMn(p, q) = stored(p, q, CM(p, q));
  }
  // W at three neighbouring points, each formed once as the elimination
  // walks down: Wn at i+1, Wc at i, Wp at i−1.
  double *Wn = take(n2), *Wc = take(n2), *Wp = take(n2);
  // PD holds each coefficient function as a column over the points, and the
  // relations go to columns of WK: a point at a time would touch n² columns
  // (as many memory streams) per point.  The values of a block of points are
  // gathered column by column instead, and the relations of a block written
  // out the same way, each column a short contiguous run.
  const long wwords = std::max<long>(kBlockWords, n2), owords = std::max<long>(kBlockWords, n2 + N);
  double* const wblock = take(wwords);
  double* const oblock = take(owords);
  const int wpoints = static_cast<int>(wwords / n2), opoints = static_cast<int>(owords / (n2 + N));
  int blo = NB + 1;     // lowest point of the gathered block
  int ohi = 0, on = 0;  // highest point and count of the relations not yet written
  auto fill_W = [&](double* Wi, int i) {
    if (i < blo) {
      const int bhi = i;
      blo = std::max(NA + 1, i - wpoints + 1);
      for (int q = 1; q <= N; ++q)
        for (int p = 1; p <= N; ++p)
          for (int k = blo; k <= bhi; ++k)
            wblock[(k - blo) * n2 + (p - 1) + N * (q - 1)] = PD(k, q, p) - ER * R3(k) * TT(q, p);
    }
    const double* from = wblock + (i - blo) * n2;
    for (int pq = 0; pq < n2; ++pq) Wi[pq] = from[pq];
  };
  auto write_out = [&] {
    for (int q = 1; q <= N; ++q)
      for (int p = 1; p <= N; ++p)
        for (int k = 0; k < on; ++k) RM(ohi - k, p, q) = oblock[k * (n2 + N) + (p - 1) + N * (q - 1)];
    for (int p = 1; p <= N; ++p)
      for (int k = 0; k < on; ++k) RV(ohi - k, p) = oblock[k * (n2 + N) + n2 + p - 1];
    on = 0;
  };
  if (NB - 1 >= NA + 2) {
    fill_W(Wn, NB);
    fill_W(Wc, NB - 1);
  }
  int sign = 1;
  for (int i = NB - 1; i >= NA + 2; --i) {
    fill_W(Wp, i - 1);
    if (IDIF == 1) {
      sign *= difference_step(N, i, r, ER, R2, R3, S, Wn, Wc, Wp, RMn, RVn, A, Bp, C, H);
      std::swap(Wn, Wc);
      std::swap(Wc, Wp);
      if (on == 0) ohi = i;
      double* to = oblock + on * (n2 + N);
      for (int p = 1; p <= N; ++p) {
        to[n2 + p - 1] = RVn(p);
        for (int q = 1; q <= N; ++q) to[(p - 1) + N * (q - 1)] = RMn(p, q);
      }
      if (++on == opoints) write_out();
      continue;
    }
    for (int q = 1; q <= N; ++q) {
      for (int p = 1; p <= N; ++p) {
        const int pq = (p - 1) + N * (q - 1);
        A(p, q) = r * Wn[pq];
        Bp(p, q) = 10.0 * r * Wc[pq];
        C(p, q) = r * Wp[pq];
      }
    }
    std::swap(Wn, Wc);  // the next point's i+1 is this point's i …
    std::swap(Wc, Wp);  // … and its i this point's i−1
    for (int p = 1; p <= N; ++p) {
      A(p, p) += 1.0 + r * ER * R2(i + 1) * R3(i + 1);
      Bp(p, p) += -2.0 + 10.0 * r * ER * R2(i) * R3(i);
      C(p, p) += 1.0 + r * ER * R2(i - 1) * R3(i - 1);
      H(p) = r * (10.0 * S(i, p) + S(i - 1, p) + S(i + 1, p));
    }
    // B′ = B − A·RM(i+1), h′ = h − A·RV(i+1); RM(i+1), RV(i+1) held in RMn, RVn.
    for (int m = 1; m <= N; ++m) {
      const double* am = A.col(m).data();
      const double v = RVn(m);
      for (int p = 0; p < N; ++p) h[p] -= am[p] * v;
      for (int q = 1; q <= N; ++q) {
        const double x = RMn(m, q);
        if (x == 0.0) continue;
        double* bq = Bp.col(q).data();
        for (int p = 0; p < N; ++p) bq[p] -= am[p] * x;
      }
    }
    if (INVE(N, H, Bp, C) < 0.0) sign = -sign;
    if (on == 0) ohi = i;
    double* to = oblock + on * (n2 + N);
    for (int p = 1; p <= N; ++p) {
      to[n2 + p - 1] = RVn(p) = H(p);
      for (int q = 1; q <= N; ++q) to[(p - 1) + N * (q - 1)] = RMn(p, q) = C(p, q);
    }
    if (++on == opoints) write_out();
  }
  write_out();
  return sign;
}

namespace {

// The unknowns c_k^(p) of the inner system, ordered by power (c_2 of all
// waves, c_3, …) with the leading coefficients c_1 last, so that the
// elimination meets the recurrence pivots AA first and the matching
// conditions last.
struct InnerUnknowns {
  int NA, N;
  int operator()(int k, int p) const { return k >= 2 ? (k - 2) * N + p : (NA - 1) * N + p; }
};

// The outer solution at its first point as CPYP0 leaves it in WK:
// u_p(NA+2) = RV_p − Σ_q RM(p,q)·u_q(NA+1).
// With IDIF = 1 the stored block is G = −RM − I, and the relation reads
// u_p(NA+2) − u_p(NA+1) − Σ_q G(p,q) u_q(NA+1) = RV_p.
struct OuterStart {
  lib::CMat WK;
  int NA, N, IDIF;
  double stored(int p, int q) const { return WK(NA + 2, 2 + (q - 1) * N + p); }
  double RV(int p) const { return WK(NA + 2, N * N + 2 + p); }
  // The coefficient of u_q(NA+1) beside the unit one of u_p(NA+1) that the
  // difference form takes apart: RM, or −G.
  double coupling(int p, int q) const { return IDIF == 1 ? -stored(p, q) : stored(p, q); }
  double unit() const { return IDIF == 1 ? -1.0 : 0.0; }
};

// Series coefficients w_l^(pq), l = 1 … NA−1, of the coefficient functions
// W_pq, held in a work vector of NA·N² words.
struct CoefficientSeries {
  lib::Vec w;
  int NA, N;
  double& operator()(int l, int p, int q) const { return w(l + NA * ((p - 1) + N * (q - 1))); }
};

// w_l^(pq) = Σ_i WW(i,l)·W_pq(ξ_i) over the inner points, with
//   W_pq = PD(·,q,p) + ER·col3·(ξ² δ_pq − TT(q,p)):
// the interpolating polynomial of W_pq in powers of ξ − 1.
void coefficient_series(const RunTables& t, int N, double ER, lib::CMat TT, lib::CArr3 PD,
                        const CoefficientSeries& wc) {
  const int NA = t.NA;
  for (int q = 1; q <= N; ++q) {
    for (int p = 1; p <= N; ++p) {
      for (int l = 1; l <= NA - 1; ++l) {
        double sum = 0.0;
        for (int i = 1; i <= NA; ++i) {
          double Wi = PD(i, q, p) - ER * t.R(i, 3) * TT(q, p);
          if (p == q) Wi += ER * t.R(i, 3) * t.R(i, 2);
          sum += t.WW(i, l) * Wi;
        }
        wc(l, p, q) = sum;
      }
    }
  }
}

// The recurrence rows k = 2 … NA of every wave p,
//   AA(k−1)c_k^(p) + BB(k−1)c_{k−1}^(p) + Σ_q Σ_{j<k} w_{k−j}^(pq) c_j^(q) = σ_{k−1}^(p),
// σ the series of S_p/(ξ²−1)^(|M|/2) (VV) at the inner points.
void recurrence_rows(const RunTables& t, const InnerUnknowns& idx, lib::CVec AA, lib::CVec BB, lib::CVec VV,
                     lib::CMat S, const CoefficientSeries& wc, lib::Mat A, lib::Vec rhs) {
  const int NA = t.NA, N = idx.N;
  for (int k = 2; k <= NA; ++k) {
    for (int p = 1; p <= N; ++p) {
      const int row = idx(k, p);
      A(row, idx(k, p)) += AA(k - 1);
      A(row, idx(k - 1, p)) += BB(k - 1);
      for (int q = 1; q <= N; ++q)
        for (int j = 1; j <= k - 1; ++j) A(row, idx(j, q)) += wc(k - j, p, q);
      double sigma = 0.0;
      for (int i = 1; i <= NA; ++i) sigma += t.WW(i, k - 1) * S(i, p) / VV(i);
      rhs(row) = sigma;
    }
  }
}

// The matching row of every wave p: the series continued to the first two
// outer points (factors G) meets the outer relation there,
//   u_p(NA+2) + Σ_q RM(p,q) u_q(NA+1) = RV_p;
// for IFL ≠ 1 the row of wave NIT normalises its series instead, c_1 = C1.
void matching_rows(const RunTables& t, const InnerUnknowns& idx, int IFL, int NIT, double C1, lib::CVec G,
                   const OuterStart& outer, lib::Mat A, lib::Vec rhs) {
  const int NA = t.NA, N = idx.N;
  for (int p = 1; p <= N; ++p) {
    const int row = idx(1, p);
    if (IFL != 1 && p == NIT) {
      A(row, row) = 1.0;
      rhs(row) = C1;
      continue;
    }
    for (int k = 1; k <= NA; ++k) {
      A(row, idx(k, p)) += G(2) * t.UU(k, NA + 1);
      if (outer.IDIF == 1) A(row, idx(k, p)) -= G(1) * t.UU(k, NA);
      for (int q = 1; q <= N; ++q) A(row, idx(k, q)) += outer.coupling(p, q) * G(1) * t.UU(k, NA);
    }
    rhs(row) = outer.RV(p);
  }
}

// cf = A⁻¹·rhs, A inverted in place; returns the sign of det A.
int solve_inner(int NCF, lib::Mat A, lib::CVec rhs, lib::Vec cf) {
  double D = 1.0;
  lib::invert_in_place(NCF, D, A);
  for (int i = 1; i <= NCF; ++i) {
    double sum = 0.0;
    for (int j = 1; j <= NCF; ++j) sum += A(i, j) * rhs(j);
    cf(i) = sum;
  }
  return D < 0.0 ? -1 : 1;
}

// How far wave NIT of the series misses the outer relation at the second
// outer point: u_NIT(NA+2) + Σ_q RM(NIT,q) u_q(NA+1) − RV_NIT.  u1 receives
// u_NIT(NA+1).
double junction_defect(const RunTables& t, const InnerUnknowns& idx, int NIT, lib::CVec G, const OuterStart& outer,
                       lib::CVec cf, double& u1) {
  const int NA = t.NA, N = idx.N;
  auto c = [&](int k, int p) { return cf(idx(k, p)); };
  double u2 = 0.0, coupled = 0.0;
  for (int k = 1; k <= NA; ++k) u2 += c(k, NIT) * t.UU(k, NA + 1);
  u2 *= G(2);
  for (int q = 1; q <= N; ++q) {
    double uq = 0.0;
    for (int k = 1; k <= NA; ++k) uq += c(k, q) * t.UU(k, NA);
    uq *= G(1);
    coupled += outer.coupling(NIT, q) * uq;
    if (q == NIT) u1 = uq;
  }
  // The difference form: u2 − u1 summed term by term of the series.
  if (outer.IDIF == 1) {
    double d = 0.0;
    for (int k = 1; k <= NA; ++k) d += c(k, NIT) * (G(2) * t.UU(k, NA + 1) - G(1) * t.UU(k, NA));
    return d + coupled - outer.RV(NIT);
  }
  return u2 + coupled - outer.RV(NIT);
}

// The waves at the inner points and the first outer one, from the series.
void series_on_grid(const RunTables& t, const InnerUnknowns& idx, lib::CVec VV, lib::CVec G, lib::CVec cf, lib::Mat X) {
  const int NA = t.NA, N = idx.N;
  auto c = [&](int k, int p) { return cf(idx(k, p)); };
  for (int p = 1; p <= N; ++p) {
    for (int i = 1; i <= NA; ++i) {
      double sum = 0.0;
      for (int k = 1; k <= NA; ++k) sum += c(k, p) * t.UU(k, i);
      X(i, p) = VV(i) * sum;
    }
    X(NA + 1, p) = X(NA, p) * G(1) / VV(NA);
  }
}

}  // namespace

// Forward substitution of the eliminated Numerov relations, point by point
// outwards from the junction.
void outer_waves(int N, int NA, int NB, lib::CMat WK, lib::Mat X, int IDIF) {
  if (IDIF == 1) {
    // u_i = u_{i−1} + (RV + G·u_{i−1}): the step added to the previous value.
    for (int i = NA + 2; i <= NB; ++i) {
      for (int p = 1; p <= N; ++p) {
        double d = WK(i, N * N + 2 + p);
        for (int q = 1; q <= N; ++q) d += WK(i, 2 + (q - 1) * N + p) * X(i - 1, q);
        X(i, p) = X(i - 1, p) + d;
      }
    }
    return;
  }
  for (int i = NA + 2; i <= NB; ++i) {
    for (int p = 1; p <= N; ++p) {
      double u = WK(i, N * N + 2 + p);
      for (int q = 1; q <= N; ++q) u -= WK(i, 2 + (q - 1) * N + p) * X(i - 1, q);
      X(i, p) = u;
    }
  }
}

// Inner region: X_p = (ξ²−1)^(|M|/2)·Σ_k c_k^(p) (ξ−1)^(k−1); the power-series
// recurrence at (ξ−1)^(k−2), k = 2 … NA,
//   AA(k−1)c_k^(p) + BB(k−1)c_{k−1}^(p) + Σ_q Σ_{j<k} w_{k−j}^(pq) c_j^(q) = σ_{k−1}^(p),
// with w and σ the interpolating-polynomial coefficients (WW) of W_pq and
// S_p/(ξ²−1)^(|M|/2) at the inner points, and per wave the matching row
//   u_p(NA+2) + Σ_q RM(NA+2)(p,q) u_q(NA+1) = RV_p(NA+2),
// the series continued to the first two outer points.  The unknowns are
// ordered by power (c_2 of all waves, c_3, …) with the leading coefficients
// c_1 last, so that the elimination meets the recurrence pivots AA first and
// the matching conditions last.  The truncation of the series (NA terms over
// 1 ≤ ξ ≤ RA) and the Numerov error of the outer region set the accuracy.
FixedEnergySolution DESY0(const RunTables& t, int IFL, int N, int M, int NIT, double C1, double ER, lib::CMat TT,
                          lib::CArr3 PD, lib::CMat S, lib::Vec CX, lib::Vec WC, lib::Mat WK, lib::Mat X) {
  const int NA = t.NA, NB = t.NB, NCF = NA * N, m1 = std::abs(M) + 1;
  const double r = 1.0 / t.H12();
  FixedEnergySolution out;
  // The outer region, eliminated from the last point (u = 0 beyond it).
  // WC is its scratch, and the first N² words of CX (filled only after it)
  // the zero end values.
  lib::fill(N * N, 0.0, CX);
  out.det_sign = CPYP0(N, NA, NB, r, ER, TT, t.R.col(2), t.R.col(3), PD, S, lib::CMat(CX.data(), N, N),
                       lib::CVec(CX.data(), N), WK, WC, t.IDIF);
  const OuterStart outer{WK, NA, N, t.IDIF};

  // The inner system, with its right-hand side, and its solution.
  const lib::CVec AA = t.AA.col(m1), BB = t.BB.col(m1), VV = t.VV.col(m1), G = t.G.col(m1);
  const InnerUnknowns idx{NA, N};
  const lib::Mat A(CX.data(), NCF, NCF);
  const lib::Vec rhs = WC.sub(1, NCF), cf = WC.sub(NCF + 1, NCF);
  const CoefficientSeries wc{WC.sub(2 * NCF + 1, NA * N * N), NA, N};
  lib::fill(NCF * NCF, 0.0, A.flat());
  coefficient_series(t, N, ER, TT, PD, wc);
  recurrence_rows(t, idx, AA, BB, VV, S, wc, A, rhs);
  matching_rows(t, idx, IFL, NIT, C1, G, outer, A, rhs);
  if (solve_inner(NCF, A, rhs, cf) < 0) out.det_sign = -out.det_sign;
  for (int k = 1; k <= std::min(NA, 6); ++k) out.series[k - 1] = cf(idx(k, 1));

  double res = 0.0, u1 = 0.0;
  if (IFL != 1) out.DX = res = junction_defect(t, idx, NIT, G, outer, cf, u1);
  if (X.data() == nullptr) return out;
  series_on_grid(t, idx, VV, G, cf, X);
  outer_waves(N, NA, NB, WK, X, t.IDIF);
  if (IFL != 1) {
    // The defect as an energy: the discrete Wronskian u1·res of the inner and
    // outer solutions at the junction equals HB·(E_root − E)·∫u ∂W/∂E u, and
    // ∂W/∂E = (RZ²/2)·col3·(ξ² − η²) makes the integral (RZ²/2)/(RZ/2)³ times
    // the norm of the solution.  So |DX| < EPS places the energy within about
    // EPS of the root, whatever the normalisation of the series.
    const double C = FOVI(N, N, NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), WK.col(N * N + N + 3),
                          WK.col(N * N + N + 4), X, X);
    if (C > 0.0) out.DX = u1 * res * t.RZ3 / (t.HB * t.RZ2 * C);
    io::console().line(io::lstring(" Dx = ", out.DX));
  }
  return out;
}

}  // namespace scf

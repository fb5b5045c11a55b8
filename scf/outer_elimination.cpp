#include "scf/outer_elimination.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/lapack.hpp"

namespace scf {

// Gauss–Jordan elimination in the natural pivot order: row i is divided by
// its pivot, then its multiples are removed from every other row; V and C
// undergo the same row operations.  Exact in exact arithmetic when every
// leading minor of A is non-zero; the blocks of the Numerov recurrence are
// dominated by their diagonal (−2 + O(HB²)), so no pivoting is needed.
double gauss_jordan_solve(int N, lib::Vec V, lib::Mat A, lib::Mat C) {
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
// Words per wave of the work of LAPACK's inversion (its blocked path).
constexpr int kInversionWork = 64;

long outer_elimination_words(int N) {
  const long n2 = static_cast<long>(N) * N;
  return 7 * n2 + 2 * N + std::max(kBlockWords, n2) + std::max(kBlockWords, n2 + N);
}

namespace {

// One elimination: the blocks of the present point (A, B′, C and h), the
// relation of the point before (RM(i+1), RV(i+1) in RMn, RVn; G(i+1) in
// the difference form), W at three neighbouring points (Wn at i+1, Wc at i,
// Wp at i−1), each formed once as the elimination walks down, and the
// gathered blocks.  PD holds each coefficient function as a column over the
// points, and the relations go to columns of WK: a point at a time would
// touch n² columns (as many memory streams) per point.  The values of a
// block of points are gathered column by column instead, and the relations
// of a block written out the same way, each column a short contiguous run.
class OuterElimination {
 public:
  OuterElimination(const OuterEquations& eq, lib::Mat WK, lib::Vec scratch)
      : eq_(eq),
        N_(eq.N),
        n2_(eq.N * eq.N),
        WK_(WK),
        next_(scratch.data()),
        pivots_(eq.IBLAS == 1 ? static_cast<size_t>(eq.N) : 0),
        inversion_(eq.IBLAS == 1 ? static_cast<size_t>(kInversionWork) * static_cast<size_t>(eq.N) : 0) {}
  // The end relation RM(NB) = CM, RV(NB) = CV in WK and in the point before.
  void start(lib::CMat CM, lib::CVec CV, lib::Vec scratch);
  // Eliminates every point from NB−1 down to NA+2; returns the sign.
  int run();

 private:
  double& RM(int i, int p, int q) const { return WK_(i, 2 + (q - 1) * N_ + p); }
  double& RV(int i, int p) const { return WK_(i, n2_ + 2 + p); }
  // IDIF = 1 keeps G = −RM − I in place of RM (u_i = RV + (I + G)·u_{i−1}).
  double stored(int p, int q, double x) const { return eq_.IDIF == 1 ? -x - (p == q ? 1.0 : 0.0) : x; }
  double* take(long words) {
    double* p = next_;
    next_ += words;
    return p;
  }
  void fill_W(double* Wi, int i);
  void write_out();
  void keep(int i);
  void form_written_blocks(int i);
  int written_step(int i);
  void form_difference_blocks(int i);
  int difference_step(int i);
  int library_written_step(int i);
  int library_difference_step(int i);
  int library_solve();

  const OuterEquations& eq_;
  const int N_, n2_;
  const lib::Mat WK_;
  double* next_;
  std::vector<int> pivots_;        // of the LU factors (IBLAS = 1)
  std::vector<double> inversion_;  // the inversion's work (IBLAS = 1)
  lib::Mat A_, Bp_, C_, RMn_;
  lib::Vec H_, RVn_;
  double *Wn_ = nullptr, *Wc_ = nullptr, *Wp_ = nullptr;
  double *wblock_ = nullptr, *oblock_ = nullptr;
  int wpoints_ = 0, opoints_ = 0;
  int blo_ = 0;           // lowest point of the gathered block
  int ohi_ = 0, on_ = 0;  // highest point and count of the relations not yet written
};

void OuterElimination::start(lib::CMat CM, lib::CVec CV, lib::Vec scratch) {
  const int N = N_, n2 = n2_, NA = eq_.NA, NB = eq_.NB;
  // Rows NA+2 … NB are all written below; row NA+1 holds no relation.
  for (int c = 3; c <= n2 + N + 2; ++c) WK_(NA + 1, c) = 0.0;
  for (int p = 1; p <= N; ++p) {
    RV(NB, p) = CV(p);
    for (int q = 1; q <= N; ++q) RM(NB, p, q) = stored(p, q, CM(p, q));
  }
  if (scratch.size() < outer_elimination_words(N)) {
    io::stop(io::fstring(io::Format("(' CPYP0: SCRATCH OF',I9,' WORDS, NEEDS',I9)"), scratch.size(),
                         outer_elimination_words(N)));
  }
  // h follows C (the right-hand sides of one solve), and RV follows RM (the
  // relation it gives).
  double *a = take(n2), *b = take(n2), *c = take(n2), *h = take(N), *rm = take(n2), *rv = take(N);
  A_ = lib::Mat(a, N, N);
  Bp_ = lib::Mat(b, N, N);
  C_ = lib::Mat(c, N, N);
  RMn_ = lib::Mat(rm, N, N);
  H_ = lib::Vec(h, N);
  RVn_ = lib::Vec(rv, N);
  for (int p = 1; p <= N; ++p) {
    RVn_(p) = CV(p);
    for (int q = 1; q <= N; ++q) RMn_(p, q) = stored(p, q, CM(p, q));
  }
  Wn_ = take(n2);
  Wc_ = take(n2);
  Wp_ = take(n2);
  const long wwords = std::max<long>(kBlockWords, n2), owords = std::max<long>(kBlockWords, n2 + N);
  wblock_ = take(wwords);
  oblock_ = take(owords);
  wpoints_ = static_cast<int>(wwords / n2);
  opoints_ = static_cast<int>(owords / (n2 + N));
  blo_ = NB + 1;
}

// W at point i into Wi, from the gathered block (gathered anew, from i
// down, when i lies below it).
void OuterElimination::fill_W(double* Wi, int i) {
  const int N = N_, n2 = n2_;
  if (i < blo_) {
    const int bhi = i;
    blo_ = std::max(eq_.NA + 1, i - wpoints_ + 1);
    for (int q = 1; q <= N; ++q)
      for (int p = 1; p <= N; ++p)
        for (int k = blo_; k <= bhi; ++k)
          wblock_[(k - blo_) * n2 + (p - 1) + N * (q - 1)] = eq_.PD(k, q, p) - eq_.ER * eq_.R3(k) * eq_.TT(q, p);
  }
  const double* from = wblock_ + (i - blo_) * n2;
  for (int pq = 0; pq < n2; ++pq) Wi[pq] = from[pq];
}

// The relations kept since the last write-out, into their columns of WK.
void OuterElimination::write_out() {
  const int N = N_, n2 = n2_;
  for (int q = 1; q <= N; ++q)
    for (int p = 1; p <= N; ++p)
      for (int k = 0; k < on_; ++k) RM(ohi_ - k, p, q) = oblock_[k * (n2 + N) + (p - 1) + N * (q - 1)];
  for (int p = 1; p <= N; ++p)
    for (int k = 0; k < on_; ++k) RV(ohi_ - k, p) = oblock_[k * (n2 + N) + n2 + p - 1];
  on_ = 0;
}

// The relation of point i (RMn, RVn) kept for the next write-out.
void OuterElimination::keep(int i) {
  const int N = N_, n2 = n2_;
  if (on_ == 0) ohi_ = i;
  double* to = oblock_ + on_ * (n2 + N);
  for (int p = 1; p <= N; ++p) {
    to[n2 + p - 1] = RVn_(p);
    for (int q = 1; q <= N; ++q) to[(p - 1) + N * (q - 1)] = RMn_(p, q);
  }
  if (++on_ == opoints_) write_out();
}

// The blocks A, B, C and h of point i in the written form.
void OuterElimination::form_written_blocks(int i) {
  const int N = N_;
  const double r = eq_.r, ER = eq_.ER;
  const lib::CVec R2 = eq_.R2, R3 = eq_.R3;
  const lib::CMat S = eq_.S;
  const lib::Mat A = A_, Bp = Bp_, C = C_;
  const lib::Vec H = H_;
  for (int q = 1; q <= N; ++q) {
    for (int p = 1; p <= N; ++p) {
      const int pq = (p - 1) + N * (q - 1);
      A(p, q) = r * Wn_[pq];
      Bp(p, q) = 10.0 * r * Wc_[pq];
      C(p, q) = r * Wp_[pq];
    }
  }
  for (int p = 1; p <= N; ++p) {
    A(p, p) += 1.0 + r * ER * R2(i + 1) * R3(i + 1);
    Bp(p, p) += -2.0 + 10.0 * r * ER * R2(i) * R3(i);
    C(p, p) += 1.0 + r * ER * R2(i - 1) * R3(i - 1);
    H(p) = r * (10.0 * S(i, p) + S(i - 1, p) + S(i + 1, p));
  }
}

// One point of the written form: its blocks, then B′ = B − A·RM(i+1),
// h′ = h − A·RV(i+1) and RM(i) = B′⁻¹C, RV(i) = B′⁻¹h′ into RMn, RVn.
// Returns the sign of det B′.
int OuterElimination::written_step(int i) {
  const int N = N_;
  const lib::Mat A = A_, Bp = Bp_, C = C_, RMn = RMn_;
  const lib::Vec H = H_, RVn = RVn_;
  form_written_blocks(i);
  // B′ = B − A·RM(i+1), h′ = h − A·RV(i+1); RM(i+1), RV(i+1) held in RMn, RVn.
  double* h = H.data();
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
  const int sign = gauss_jordan_solve(N, H, Bp, C) < 0.0 ? -1 : 1;
  for (int p = 1; p <= N; ++p) {
    RVn(p) = H(p);
    for (int q = 1; q <= N; ++q) RMn(p, q) = C(p, q);
  }
  return sign;
}

// The blocks a, b, c (W with its energy term) and h of point i in the
// difference form.
void OuterElimination::form_difference_blocks(int i) {
  const int N = N_;
  const double r = eq_.r, ER = eq_.ER;
  const lib::CVec R2 = eq_.R2, R3 = eq_.R3;
  const lib::CMat S = eq_.S;
  const lib::Mat Ma = A_, Me = Bp_, Mc = C_;
  const lib::Vec H = H_;
  for (int q = 1; q <= N; ++q) {
    for (int p = 1; p <= N; ++p) {
      const int pq = (p - 1) + N * (q - 1);
      Ma(p, q) = r * Wn_[pq];
      Me(p, q) = 10.0 * r * Wc_[pq];
      Mc(p, q) = r * Wp_[pq];
    }
  }
  for (int p = 1; p <= N; ++p) {
    Ma(p, p) += r * ER * R2(i + 1) * R3(i + 1);
    Me(p, p) += 10.0 * r * ER * R2(i) * R3(i);
    Mc(p, p) += r * ER * R2(i - 1) * R3(i - 1);
    H(p) = r * (10.0 * S(i, p) + S(i - 1, p) + S(i + 1, p));
  }
}

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
int OuterElimination::difference_step(int i) {
  const int N = N_;
  const lib::Mat Ma = A_, Me = Bp_, Mc = C_, Gn = RMn_;
  const lib::Vec H = H_, RVn = RVn_;
  form_difference_blocks(i);
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
  const double det = gauss_jordan_solve(N, H, Me, Mc);
  for (int p = 1; p <= N; ++p) {
    RVn(p) = H(p);
    for (int q = 1; q <= N; ++q) Gn(p, q) = Mc(p, q);
  }
  return ((N & 1) ? -det : det) < 0.0 ? -1 : 1;
}

// The blocks' algebra by the library (IBLAS = 1): the products by dgemm and
// dgemv, B′ by its LU factors (dgetrf, partial pivoting), and the relation
// as B′⁻¹ (dgetri) times C and h side by side (dgemm): the factors'
// triangular solves (dgetrs) with N + 1 right-hand sides are slow on blocks
// this small (38 waves: 20 µs against 11 µs for the inverse and its
// product).  B′ is dominated by its diagonal, so the inverse costs no
// accuracy (the written Gauss–Jordan solve forms it too).  The sign of
// det B′ is that of the product of U's diagonal, times −1 for each row
// exchange.  B′ in Bp, C and h in C and H; the relation into RMn, RVn
// (side by side); returns the sign of det B′.
int OuterElimination::library_solve() {
  const int N = N_, nrhs = N + 1, lwork = kInversionWork * N;
  const double one = 1.0, zero = 0.0;
  double* b = Bp_.data();
  int info = 0;
  dgetrf_(&N, &N, b, &N, pivots_.data(), &info);
  if (info > 0) io::stop(io::fstring(io::Format("(' INVE: ZERO PIVOT IN ROW',I3,' OF',I3)"), info, N));
  int sign = 1;
  for (int k = 0; k < N; ++k) {
    if (b[k + static_cast<long>(N) * k] < 0.0) sign = -sign;
    if (pivots_[static_cast<size_t>(k)] != k + 1) sign = -sign;
  }
  dgetri_(&N, b, &N, pivots_.data(), inversion_.data(), &lwork, &info);
  dgemm_("N", "N", &N, &nrhs, &N, &one, b, &N, C_.data(), &N, &zero, RMn_.data(), &N, 1, 1);
  return sign;
}

// The written form by the library: B′ = B − A·RM(i+1), h′ = h − A·RV(i+1).
int OuterElimination::library_written_step(int i) {
  const int N = N_, one = 1;
  const double plus = 1.0, minus = -1.0;
  form_written_blocks(i);
  dgemm_("N", "N", &N, &N, &N, &minus, A_.data(), &N, RMn_.data(), &N, &plus, Bp_.data(), &N, 1, 1);
  dgemv_("N", &N, &N, &minus, A_.data(), &N, RVn_.data(), &one, &plus, H_.data(), &one, 1);
  return library_solve();
}

// The difference form by the library: E = b + G′ + a + a·G′ into Me, the
// right-hand side −(h − (I + a)·RV′), then (I − E)·[G | RV] = [c + E | ·].
int OuterElimination::library_difference_step(int i) {
  const int N = N_, n2 = n2_, one = 1;
  const double plus = 1.0, minus = -1.0;
  form_difference_blocks(i);
  double *a = A_.data(), *e = Bp_.data(), *c = C_.data(), *h = H_.data();
  const double *g = RMn_.data(), *rv = RVn_.data();
  for (int pq = 0; pq < n2; ++pq) e[pq] += g[pq] + a[pq];
  dgemm_("N", "N", &N, &N, &N, &plus, a, &N, g, &N, &plus, e, &N, 1, 1);
  dgemv_("N", &N, &N, &plus, a, &N, rv, &one, &minus, h, &one, 1);
  for (int p = 0; p < N; ++p) h[p] += rv[p];
  for (int pq = 0; pq < n2; ++pq) {
    c[pq] += e[pq];
    e[pq] = -e[pq];
  }
  for (int p = 0; p < N; ++p) e[p + N * p] += 1.0;
  const int sign = library_solve();
  return (N & 1) ? -sign : sign;
}

int OuterElimination::run() {
  const int NA = eq_.NA, NB = eq_.NB;
  if (NB - 1 >= NA + 2) {
    fill_W(Wn_, NB);
    fill_W(Wc_, NB - 1);
  }
  int sign = 1;
  for (int i = NB - 1; i >= NA + 2; --i) {
    fill_W(Wp_, i - 1);
    if (eq_.IBLAS == 1)
      sign *= eq_.IDIF == 1 ? library_difference_step(i) : library_written_step(i);
    else
      sign *= eq_.IDIF == 1 ? difference_step(i) : written_step(i);
    std::swap(Wn_, Wc_);  // the next point's i+1 is this point's i …
    std::swap(Wc_, Wp_);  // … and its i this point's i−1
    keep(i);
  }
  write_out();
  return sign;
}

}  // namespace

int eliminate_outer_relations(const OuterEquations& eq, lib::CMat CM, lib::CVec CV, lib::Mat WK, lib::Vec scratch) {
  OuterElimination e(eq, WK, scratch);
  e.start(CM, CV, scratch);
  return e.run();
}

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

}  // namespace scf

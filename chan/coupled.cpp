#include "chan/coupled.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace chan {

// The LU factors of the n × n matrices of the matrix Numerov recurrence, one
// per grid point, each factored once and used for every solution of the
// set: written out because the matrices are tiny (n ≤ 20), where a library
// call costs more than the elimination, and to keep the propagated
// solutions as they are.  The matching systems use LAPACK (dense_algebra).
void lu_factor(int n, double* a, int* piv) {
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a[k * n + i]) > std::fabs(a[k * n + p])) p = i;
    piv[k] = p;
    if (p != k)
      for (int j = 0; j < n; ++j) std::swap(a[j * n + k], a[j * n + p]);
    const double d = a[k * n + k];
    if (d == 0.0) continue;
    for (int i = k + 1; i < n; ++i) a[k * n + i] /= d;
    for (int j = k + 1; j < n; ++j) {
      const double f = a[j * n + k];
      if (f == 0.0) continue;
      for (int i = k + 1; i < n; ++i) a[j * n + i] -= a[k * n + i] * f;
    }
  }
}

// The row interchanges were applied to whole rows (L included), so P·A = L·U:
// all interchanges go to b first, then the two triangular sweeps.
void lu_solve(int n, const double* a, const int* piv, double* b) {
  for (int k = 0; k < n; ++k) std::swap(b[k], b[piv[k]]);
  for (int k = 0; k < n; ++k)
    for (int i = k + 1; i < n; ++i) b[i] -= a[k * n + i] * b[k];
  for (int k = n - 1; k >= 0; --k) {
    b[k] /= a[k * n + k];
    for (int i = 0; i < k; ++i) b[i] -= a[k * n + i] * b[k];
  }
}

Propagator::Propagator(const Grid& g, const Waves& w, lib::CArr3 PD, lib::CMat TT, double ER)
    : g_(g), n_(w.n), NB_(g.NB), NA_(g.NA), m_(w.M) {
  const int n = n_;
  const size_t nn = static_cast<size_t>(n * n);
  lib::CMat R = g.R();
  // W(i) as an n × n matrix acting on the vector of waves: W(i)(p,q) is the
  // coefficient of u_q in the equation of wave p.
  W_.assign(static_cast<size_t>(NB_) * nn, 0.0);
  for (int i = 1; i <= NB_; ++i) {
    double* Wi = &W_[static_cast<size_t>(i - 1) * nn];
    for (int p = 1; p <= n; ++p)
      for (int q = 1; q <= n; ++q) {
        double v = PD(i, q, p) - ER * R(i, 3) * TT(q, p);
        if (p == q) v += ER * R(i, 3) * R(i, 2);
        Wi[(q - 1) * n + (p - 1)] = v;
      }
  }
  // Series coefficients of W in the inner region: w_l = Σ_i WW(i,l)·W(ξ_i).
  lib::CMat WW = g.WW();
  wl_.assign(static_cast<size_t>(NA_) * nn, 0.0);
  for (int l = 1; l <= NA_; ++l)
    for (size_t e = 0; e < nn; ++e) {
      double s = 0.0;
      for (int i = 1; i <= NA_; ++i) s += WW(i, l) * W_[static_cast<size_t>(i - 1) * nn + e];
      wl_[static_cast<size_t>(l - 1) * nn + e] = s;
    }
  // Factors of I + r·W(i+1), the matrix of u(i+1) in the relation centred at i.
  r_ = g.HB * g.HB / 12.0;
  lu_.assign(static_cast<size_t>(NB_) * nn, 0.0);
  piv_.assign(static_cast<size_t>(NB_) * static_cast<size_t>(n), 0);
  for (int i = NA_ + 2; i <= NB_ - 1; ++i) {
    double* A = &lu_[static_cast<size_t>(i - 1) * nn];
    const double* W1 = &W_[static_cast<size_t>(i) * nn];
    for (size_t e = 0; e < nn; ++e) A[e] = r_ * W1[e];
    for (int p = 0; p < n; ++p) A[p * n + p] += 1.0;
    lu_factor(n, A, &piv_[static_cast<size_t>(i - 1) * static_cast<size_t>(n)]);
  }
}

// Inner region: X_p = (ξ²−1)^{M/2}·Σ_k c_k^(p)·(ξ−1)^{k−1}.  The coefficient
// functions W and the source are the polynomials through their values at the
// NA inner points; the solution's series is carried on until its terms no
// longer count at the second outer point (the series converges for
// ξ − 1 < 2), so that the solution is exact for polynomial coefficients.
// The equation at the power (ξ−1)^{k−2} gives
//   AA(k−1)·c_k^(p) = σ_{k−1}^(p) − BB(k−1)·c_{k−1}^(p) − Σ_q Σ_{j<k} w_{k−j}(p,q)·c_j^(q),
// AA(j) = 2j(j+M), BB(j) = (j−1+M)(j+M), w_l and σ_l zero beyond l = NA.
void Propagator::inner(const double* c1, const double* S, int ldS, lib::Mat U, int col0) const {
  const int n = n_, NA = NA_, m = m_;
  const size_t nn = static_cast<size_t>(n * n);
  lib::CMat WW = g_.WW();
  lib::CVec VV = g_.VV().col(m + 1), G = g_.G().col(m + 1);
  lib::CMat R = g_.R();
  const double tmax = R(NA + 2, 1) - 1.0;
  std::vector<double> c(static_cast<size_t>(kMaxTerms) * static_cast<size_t>(n)), sg(static_cast<size_t>(NA * n));
  auto C = [&](int k, int p) -> double& { return c[static_cast<size_t>((k - 1) * n + (p - 1))]; };
  auto SG = [&](int l, int p) -> double& { return sg[static_cast<size_t>((l - 1) * n + (p - 1))]; };
  auto series = [&](int terms, int p, double t) {
    double v = 0.0;
    for (int k = terms; k >= 1; --k) v = v * t + C(k, p);
    return v;
  };
  double size = 0.0;
  for (int p = 1; p <= n; ++p) {
    C(1, p) = c1 ? c1[p - 1] : 0.0;
    size = std::max(size, std::fabs(C(1, p)));
    for (int l = 1; l <= NA; ++l) {
      double v = 0.0;
      if (S)
        for (int i = 1; i <= NA; ++i)
          v += WW(i, l) * S[static_cast<size_t>(p - 1) * static_cast<size_t>(ldS) + static_cast<size_t>(i - 1)] / VV(i);
      SG(l, p) = v;
    }
  }
  int terms = 1;
  int quiet = 0;
  for (int k = 2; k <= kMaxTerms; ++k) {
    const double aa = 2.0 * (k - 1) * (k - 1 + m), bb = (k - 2.0 + m) * (k - 1.0 + m);
    double big = 0.0;
    for (int p = 1; p <= n; ++p) {
      double v = (k - 1 <= NA ? SG(k - 1, p) : 0.0) - bb * C(k - 1, p);
      for (int j = std::max(1, k - NA); j <= k - 1; ++j) {
        const double* w = &wl_[static_cast<size_t>(k - j - 1) * nn];
        for (int q = 1; q <= n; ++q) v -= w[(q - 1) * n + (p - 1)] * C(j, q);
      }
      C(k, p) = v / aa;
      const double t = std::fabs(C(k, p)) * std::pow(tmax, k - 1);
      size = std::max(size, t);
      big = std::max(big, t);
    }
    terms = k;
    quiet = (k > NA && big <= 1e-17 * size) ? quiet + 1 : 0;
    if (quiet >= 3) break;
  }
  for (int p = 1; p <= n; ++p) {
    for (int i = 1; i <= NA; ++i) U(i, col0 + p) = VV(i) * series(terms, p, R(i, 1) - 1.0);
    U(NA + 1, col0 + p) = U(NA, col0 + p) * G(1) / VV(NA);
    U(NA + 2, col0 + p) = G(2) * series(terms, p, tmax);
  }
}

// Outer region, r = HB²/12, for each set s:
//   (I + rW_{i+1})·u_{i+1} = r(S_{i+1} + 10S_i + S_{i−1}) − (10rW_i − 2I)·u_i − (I + rW_{i−1})·u_{i−1}.
void Propagator::step(int i, int ns, const lib::CMat* S, lib::Mat U) const {
  const int n = n_;
  const size_t nn = static_cast<size_t>(n * n);
  const double* Wi = &W_[static_cast<size_t>(i - 1) * nn];
  const double* Wm = &W_[static_cast<size_t>(i - 2) * nn];
  const double* lu = &lu_[static_cast<size_t>(i - 1) * nn];
  const int* piv = &piv_[static_cast<size_t>(i - 1) * static_cast<size_t>(n)];
  double rhs[kMaxWaves];
  for (int s = 1; s <= ns; ++s) {
    const int col0 = (s - 1) * n;
    for (int p = 1; p <= n; ++p) {
      double v = S ? r_ * ((*S)(i + 1, col0 + p) + 10.0 * (*S)(i, col0 + p) + (*S)(i - 1, col0 + p)) : 0.0;
      v += 2.0 * U(i, col0 + p) - U(i - 1, col0 + p);
      for (int q = 1; q <= n; ++q) {
        v -= 10.0 * r_ * Wi[(q - 1) * n + (p - 1)] * U(i, col0 + q);
        v -= r_ * Wm[(q - 1) * n + (p - 1)] * U(i - 1, col0 + q);
      }
      rhs[p - 1] = v;
    }
    lu_solve(n, lu, piv, rhs);
    for (int p = 1; p <= n; ++p) U(i + 1, col0 + p) = rhs[p - 1];
  }
}

void Propagator::solve(int ns, lib::CMat C1, const lib::CMat* S, lib::Mat U) const {
  const int n = n_;
  std::vector<double> c1(static_cast<size_t>(n));
  for (int s = 1; s <= ns; ++s) {
    const int col0 = (s - 1) * n;
    for (int p = 1; p <= n; ++p) c1[static_cast<size_t>(p - 1)] = C1(p, s);
    inner(c1.data(), S ? &(*S)(1, col0 + 1) : nullptr, S ? S->rows() : NB_, U, col0);
  }
  for (int i = NA_ + 2; i <= NB_ - 1; ++i) step(i, ns, S, U);
}

namespace {

// Z = Q·R for the 2n × n matrix of the value pairs (rows i−1 and i of the
// set, Z(p, j) = u_j,p(i−1), Z(n+p, j) = u_j,p(i)): modified Gram–Schmidt,
// each column orthogonalised twice (orthogonal to rounding whatever the
// spread of the column norms).  Q overwrites Z; R is upper triangular with a
// positive diagonal.
void pair_qr(int n, double* z, double* r) {
  const int m = 2 * n;
  for (int e = 0; e < n * n; ++e) r[e] = 0.0;
  for (int j = 0; j < n; ++j) {
    double* v = z + j * m;
    for (int pass = 0; pass < 2; ++pass)
      for (int l = 0; l < j; ++l) {
        const double* q = z + l * m;
        double c = 0.0;
        for (int i = 0; i < m; ++i) c += q[i] * v[i];
        r[j * n + l] += c;
        for (int i = 0; i < m; ++i) v[i] -= c * q[i];
      }
    double s = 0.0;
    for (int i = 0; i < m; ++i) s += v[i] * v[i];
    s = std::sqrt(s);
    r[j * n + j] = s;
    const double f = s > 0.0 ? 1.0 / s : 0.0;
    for (int i = 0; i < m; ++i) v[i] *= f;
  }
}

// X ← R⁻¹·X for upper triangular R (n × n) and X (n × m), column-major.
void upper_solve(int n, const double* r, int m, double* x) {
  for (int c = 0; c < m; ++c) {
    double* b = x + c * n;
    for (int k = n - 1; k >= 0; --k) {
      b[k] = r[k * n + k] != 0.0 ? b[k] / r[k * n + k] : 0.0;
      for (int i = 0; i < k; ++i) b[i] -= r[k * n + i] * b[k];
    }
  }
}

}  // namespace

// Segment k (0 … K) holds rows i_k − 1 … i_{k+1} − 2 (i_0 = 2, i_{K+1} = NB + 2).
// At point i_k the set becomes H_k = H_{k−1}·R_k⁻¹, so a row of segment s is
// carried to the last basis by Π_s = R_{s+1}⁻¹·…·R_K⁻¹.
void Propagator::regular_set(lib::Mat H, int last) {
  const int n = n_, NA = NA_, NB = NB_;
  if (last <= NA + 2 || last > NB) last = NB;
  const size_t nn = static_cast<size_t>(n * n);
  std::vector<double> c1(static_cast<size_t>(n), 0.0);
  for (int j = 1; j <= n; ++j) {
    std::fill(c1.begin(), c1.end(), 0.0);
    c1[static_cast<size_t>(j - 1)] = 1.0;
    inner(c1.data(), nullptr, NB, H, (j - 1) * n);
  }
  marks_.clear();
  rk_.clear();
  std::vector<double> z(2 * nn), r(nn);
  for (int i = NA + 2; i <= NB - 1; ++i) {
    step(i, n, nullptr, H);
    const int m = i + 1;
    double big = 0.0;
    for (int j = 1; j <= n; ++j) {
      double s = 0.0;
      for (int p = 1; p <= n; ++p)
        s += H(m - 1, (j - 1) * n + p) * H(m - 1, (j - 1) * n + p) + H(m, (j - 1) * n + p) * H(m, (j - 1) * n + p);
      big = std::max(big, s);
    }
    if (m > last || (big <= kRegrow * kRegrow && m < last)) continue;  // `last` always closes a segment
    for (int j = 1; j <= n; ++j)
      for (int p = 1; p <= n; ++p) {
        z[static_cast<size_t>((j - 1) * 2 * n + p - 1)] = H(m - 1, (j - 1) * n + p);
        z[static_cast<size_t>((j - 1) * 2 * n + n + p - 1)] = H(m, (j - 1) * n + p);
      }
    pair_qr(n, z.data(), r.data());
    for (int j = 1; j <= n; ++j)
      for (int p = 1; p <= n; ++p) {
        H(m - 1, (j - 1) * n + p) = z[static_cast<size_t>((j - 1) * 2 * n + p - 1)];
        H(m, (j - 1) * n + p) = z[static_cast<size_t>((j - 1) * 2 * n + n + p - 1)];
      }
    marks_.push_back(m);
    rk_.insert(rk_.end(), r.begin(), r.end());
  }
  hseg_.assign(H.data(), H.data() + static_cast<size_t>(NB) * nn);
  // Carry the rows of each segment to the last basis.
  const int K = static_cast<int>(marks_.size());
  std::vector<double> pi(nn, 0.0), row(nn);
  for (int p = 0; p < n; ++p) pi[static_cast<size_t>(p * n + p)] = 1.0;
  for (int s = K - 1; s >= 0; --s) {
    upper_solve(n, &rk_[static_cast<size_t>(s) * nn], n, pi.data());  // Π_s = R_{s+1}⁻¹·Π_{s+1}
    const int first = s == 0 ? 1 : marks_[static_cast<size_t>(s - 1)] - 1;
    const int last = marks_[static_cast<size_t>(s)] - 2;
    for (int i = first; i <= last; ++i) {
      for (int j = 1; j <= n; ++j)
        for (int p = 1; p <= n; ++p) {
          double v = 0.0;
          for (int l = 1; l <= n; ++l)
            v +=
                hseg_[static_cast<size_t>(i - 1) + static_cast<size_t>((l - 1) * n + p - 1) * static_cast<size_t>(NB)] *
                pi[static_cast<size_t>((j - 1) * n + l - 1)];
          row[static_cast<size_t>((j - 1) * n + p - 1)] = v;
        }
      for (int c = 1; c <= n * n; ++c) H(i, c) = row[static_cast<size_t>(c - 1)];
    }
  }
}

// The components removed at point i_k, coef_k = Q_kᵀ·(pair of P), are
// combinations of H_k; a row of segment s still lacks those of the later
// points, H_s·G_s with G_s = Σ_{k>s} R_{s+1}⁻¹·…·R_k⁻¹·coef_k, that is
// G_K = 0 and G_{s} = R_{s+1}⁻¹·(coef_{s+1} + G_{s+1}).
void Propagator::particular(int ns, lib::CMat S, lib::Mat U) const {
  const int n = n_, NA = NA_, NB = NB_;
  const size_t nn = static_cast<size_t>(n * n), nsn = static_cast<size_t>(n * ns);
  std::vector<double> zero(static_cast<size_t>(n), 0.0);
  for (int s = 1; s <= ns; ++s) inner(zero.data(), &S(1, (s - 1) * n + 1), S.rows(), U, (s - 1) * n);
  auto Hs = [&](int i, int p, int l) {
    return hseg_[static_cast<size_t>(i - 1) + static_cast<size_t>((l - 1) * n + p - 1) * static_cast<size_t>(NB)];
  };
  const int K = static_cast<int>(marks_.size());
  std::vector<double> coef(static_cast<size_t>(K) * nsn, 0.0);
  int next = 0;
  for (int i = NA + 2; i <= NB - 1; ++i) {
    step(i, ns, &S, U);
    const int m = i + 1;
    if (next >= K || marks_[static_cast<size_t>(next)] != m) continue;
    double* c = &coef[static_cast<size_t>(next) * nsn];
    for (int s = 1; s <= ns; ++s)
      for (int l = 1; l <= n; ++l) {
        double v = 0.0;
        for (int p = 1; p <= n; ++p)
          v += Hs(m - 1, p, l) * U(m - 1, (s - 1) * n + p) + Hs(m, p, l) * U(m, (s - 1) * n + p);
        c[(s - 1) * n + l - 1] = v;
      }
    for (int s = 1; s <= ns; ++s)
      for (int p = 1; p <= n; ++p) {
        double a = 0.0, b = 0.0;
        for (int l = 1; l <= n; ++l) {
          a += Hs(m - 1, p, l) * c[(s - 1) * n + l - 1];
          b += Hs(m, p, l) * c[(s - 1) * n + l - 1];
        }
        U(m - 1, (s - 1) * n + p) -= a;
        U(m, (s - 1) * n + p) -= b;
      }
    ++next;
  }
  std::vector<double> G(nsn, 0.0);
  for (int s = K - 1; s >= 0; --s) {
    const double* c = &coef[static_cast<size_t>(s) * nsn];
    for (size_t e = 0; e < nsn; ++e) G[e] += c[e];
    upper_solve(n, &rk_[static_cast<size_t>(s) * nn], ns, G.data());
    const int first = s == 0 ? 1 : marks_[static_cast<size_t>(s - 1)] - 1;
    const int last = marks_[static_cast<size_t>(s)] - 2;
    for (int i = first; i <= last; ++i)
      for (int t = 1; t <= ns; ++t)
        for (int p = 1; p <= n; ++p) {
          double v = 0.0;
          for (int l = 1; l <= n; ++l) v += Hs(i, p, l) * G[static_cast<size_t>((t - 1) * n + l - 1)];
          U(i, (t - 1) * n + p) -= v;
        }
  }
}

}  // namespace chan

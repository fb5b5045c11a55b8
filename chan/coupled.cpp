#include "chan/coupled.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace chan {

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

// Outer region, r = HB²/12, set by set:
//   (I + rW_{i+1})·u_{i+1} = r(S_{i+1} + 10S_i + S_{i−1}) − (10rW_i − 2I)·u_i − (I + rW_{i−1})·u_{i−1}.
void Propagator::solve(int ns, lib::CMat C1, const lib::CMat* S, lib::Mat U) const {
  const int n = n_, NA = NA_, NB = NB_;
  const size_t nn = static_cast<size_t>(n * n);
  std::vector<double> c1(static_cast<size_t>(n)), rhs(static_cast<size_t>(n));
  for (int s = 1; s <= ns; ++s) {
    const int col0 = (s - 1) * n;
    for (int p = 1; p <= n; ++p) c1[static_cast<size_t>(p - 1)] = C1(p, s);
    inner(c1.data(), S ? &(*S)(1, col0 + 1) : nullptr, S ? S->rows() : NB, U, col0);
    auto source = [&](int i, int p) { return (*S)(i, col0 + p); };
    for (int i = NA + 2; i <= NB - 1; ++i) {
      const double* Wi = &W_[static_cast<size_t>(i - 1) * nn];
      const double* Wm = &W_[static_cast<size_t>(i - 2) * nn];
      for (int p = 1; p <= n; ++p) {
        double v = S ? r_ * (source(i + 1, p) + 10.0 * source(i, p) + source(i - 1, p)) : 0.0;
        v += 2.0 * U(i, col0 + p) - U(i - 1, col0 + p);
        for (int q = 1; q <= n; ++q) {
          v -= 10.0 * r_ * Wi[(q - 1) * n + (p - 1)] * U(i, col0 + q);
          v -= r_ * Wm[(q - 1) * n + (p - 1)] * U(i - 1, col0 + q);
        }
        rhs[static_cast<size_t>(p - 1)] = v;
      }
      lu_solve(n, &lu_[static_cast<size_t>(i - 1) * nn], &piv_[static_cast<size_t>(i - 1) * static_cast<size_t>(n)],
               rhs.data());
      for (int p = 1; p <= n; ++p) U(i + 1, col0 + p) = rhs[static_cast<size_t>(p - 1)];
    }
  }
}

}  // namespace chan

// Slow, independent references for the photoionisation kernel tests: a
// plain complex Gaussian elimination, random well-conditioned matrices, a
// column-major matrix that owns its storage, Gauss–Legendre quadrature and
// the θ part of the spherical harmonics.  None of them calls the kernels.
#pragma once

#include <cmath>
#include <complex>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "lib/views.hpp"

namespace ref {

using cplx = std::complex<double>;

constexpr double kPi = 3.14159265358979323846;

// n-point Gauss–Legendre rule on [−1, 1]: nodes x and weights w.
struct GaussRule {
  std::vector<double> x, w;
};
inline GaussRule gauss_legendre(int n) {
  GaussRule g{std::vector<double>(n), std::vector<double>(n)};
  for (int i = 0; i < n; ++i) {
    long double z = std::cos(kPi * (i + 0.75) / (n + 0.5)), dp = 1;
    for (int it = 0; it < 100; ++it) {
      long double p0 = 1, p1 = z;
      for (int k = 2; k <= n; ++k) {
        const long double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1);
      const long double dz = p1 / dp;
      z -= dz;
      if (std::fabs(static_cast<double>(dz)) < 1e-18) break;
    }
    g.x[i] = static_cast<double>(z);
    g.w[i] = static_cast<double>(2 / ((1 - z * z) * dp * dp));
  }
  return g;
}

// θ part of the spherical harmonic with the Condon–Shortley phase,
// Y(l,m)(θ,φ) = ytheta(l, m, cos θ)·e^{imφ}, by the upward recurrence of the
// associated Legendre functions.
inline double ytheta(int l, int m, double x) {
  const int am = m < 0 ? -m : m;
  if (am > l) return 0.0;
  long double pmm = 1;
  const long double s = std::sqrt((1.0L - x) * (1.0L + x));
  for (int k = 1; k <= am; ++k) pmm *= -(2 * k - 1) * s;
  long double p = pmm;
  if (l > am) {
    long double p0 = pmm, p1 = x * (2 * am + 1) * pmm;
    for (int k = am + 2; k <= l; ++k) {
      const long double p2 = (x * (2 * k - 1) * p1 - (k + am - 1) * p0) / (k - am);
      p0 = p1;
      p1 = p2;
    }
    p = p1;
  }
  long double ratio = 1;  // (l − |m|)!/(l + |m|)!
  for (int k = l - am + 1; k <= l + am; ++k) ratio /= k;
  long double y = std::sqrt((2 * l + 1) / (4 * kPi) * ratio) * p;
  if (m < 0 && am % 2) y = -y;  // Y(l,−m) = (−1)^m·conj(Y(l,m))
  return static_cast<double>(y);
}

// An n × m column-major matrix with its own storage, 1-based like the views.
template <class T>
struct Dense {
  int n = 0, m = 0;
  std::vector<T> a;
  Dense() = default;
  Dense(int rows, int cols, T v = T{}) : n(rows), m(cols), a(static_cast<size_t>(rows) * cols, v) {}
  T& operator()(int i, int j) { return a[static_cast<size_t>(j - 1) * n + (i - 1)]; }
  const T& operator()(int i, int j) const { return a[static_cast<size_t>(j - 1) * n + (i - 1)]; }
  lib::MatView<T> view() { return lib::MatView<T>(a.data(), n, m); }
  lib::MatView<const T> cview() const { return lib::MatView<const T>(a.data(), n, m); }
};

// Solves M·X = Y (n × n, n × k) by Gaussian elimination with partial
// pivoting on the modulus; M and Y are copied.
inline Dense<cplx> complex_solve(Dense<cplx> M, Dense<cplx> Y) {
  const int n = M.n;
  for (int j = 1; j <= n; ++j) {
    int p = j;
    for (int i = j + 1; i <= n; ++i) {
      if (std::abs(M(i, j)) > std::abs(M(p, j))) p = i;
    }
    if (std::abs(M(p, j)) == 0.0) throw std::runtime_error("singular reference matrix");
    if (p != j) {
      for (int k = 1; k <= n; ++k) std::swap(M(p, k), M(j, k));
      for (int k = 1; k <= Y.m; ++k) std::swap(Y(p, k), Y(j, k));
    }
    for (int i = j + 1; i <= n; ++i) {
      const cplx f = M(i, j) / M(j, j);
      if (f == cplx(0.0)) continue;
      for (int k = j; k <= n; ++k) M(i, k) -= f * M(j, k);
      for (int k = 1; k <= Y.m; ++k) Y(i, k) -= f * Y(j, k);
    }
  }
  for (int k = 1; k <= Y.m; ++k) {
    for (int i = n; i >= 1; --i) {
      cplx s = Y(i, k);
      for (int j = i + 1; j <= n; ++j) s -= M(i, j) * Y(j, k);
      Y(i, k) = s / M(i, i);
    }
  }
  return Y;
}

inline Dense<cplx> complex_inverse(const Dense<cplx>& M) {
  Dense<cplx> I(M.n, M.n);
  for (int i = 1; i <= M.n; ++i) I(i, i) = 1.0;
  return complex_solve(M, I);
}

// A random n × n matrix with entries in [−1, 1] and the diagonal raised so
// that every row is dominated by it: condition number of order one.
inline Dense<double> dominant_matrix(int n, std::mt19937& rng, double margin = 1.0) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense<double> A(n, n);
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) A(i, j) = u(rng);
  }
  for (int i = 1; i <= n; ++i) {
    double row = 0.0;
    for (int j = 1; j <= n; ++j) row += std::fabs(A(i, j));
    A(i, i) = (A(i, i) >= 0 ? 1.0 : -1.0) * (row + margin);
  }
  return A;
}

inline Dense<double> random_matrix(int n, int m, std::mt19937& rng, double scale = 1.0) {
  std::uniform_real_distribution<double> u(-scale, scale);
  Dense<double> A(n, m);
  for (auto& x : A.a) x = u(rng);
  return A;
}

}  // namespace ref

// Slow, independent references for the library tests: composite
// Gauss–Legendre quadrature, angular integrals by direct quadrature, closed
// forms of special 3j symbols, the Legendre functions of the second kind,
// and a dense Gaussian elimination (the Gauss–Legendre rule and the
// spherical harmonics themselves are in support/legendre.hpp).  None of them
// calls the library.
#pragma once

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "support/legendre.hpp"

namespace ref {

// ∫_a^b f by `panels` panels of an n-point Gauss–Legendre rule.
inline double integrate(const std::function<double(double)>& f, double a, double b, int panels, const Rule& g) {
  long double s = 0;
  const double h = (b - a) / panels;
  for (int p = 0; p < panels; ++p) {
    const double c = a + (p + 0.5) * h;
    for (size_t i = 0; i < g.x.size(); ++i) s += g.w[i] * f(c + 0.5 * h * g.x[i]);
  }
  return static_cast<double>(s * 0.5L * h);
}

// ∫ Y(l1,m1)·Y(l2,m2)·η^p·conj(Y(l3,m3)) dΩ by direct quadrature in η (the φ
// integral is 2π when m1 + m2 = m3 and 0 otherwise).
inline double angular_integral(int l1, int m1, int l2, int m2, int l3, int m3, int p) {
  if (m1 + m2 != m3) return 0.0;
  static const Rule g = gauss_legendre(48);
  long double s = 0;
  for (size_t i = 0; i < g.x.size(); ++i) {
    const double x = g.x[i];
    s += g.w[i] * ytheta(l1, m1, x) * ytheta(l2, m2, x) * std::pow(x, p) * ytheta(l3, m3, x);
  }
  return static_cast<double>(2 * kPi * s);
}

// (l1 l2 l3; 0 0 0) in closed form: zero for odd J = l1+l2+l3, otherwise
// (−1)^g [(J−2l1)!(J−2l2)!(J−2l3)!/(J+1)!]^½ g!/((g−l1)!(g−l2)!(g−l3)!), g = J/2.
inline double threej_000(int l1, int l2, int l3) {
  const int J = l1 + l2 + l3;
  if (J % 2 || l3 > l1 + l2 || l1 > l2 + l3 || l2 > l1 + l3) return 0.0;
  const int g = J / 2;
  long double v = std::sqrt(fact(J - 2 * l1) * fact(J - 2 * l2) * fact(J - 2 * l3) / fact(J + 1)) * fact(g) /
                  (fact(g - l1) * fact(g - l2) * fact(g - l3));
  return static_cast<double>((g % 2 ? -1 : 1) * v);
}

// The stretched symbol (j1 j2 j1+j2; m1 m2 −m1−m2) in closed form.
inline double threej_stretched(int j1, int j2, int m1, int m2) {
  const int J = j1 + j2, M = m1 + m2;
  long double v = std::sqrt(fact(2 * j1) * fact(2 * j2) * fact(J + M) * fact(J - M) /
                            (fact(2 * J + 1) * fact(j1 + m1) * fact(j1 - m1) * fact(j2 + m2) * fact(j2 - m2)));
  return static_cast<double>(((j1 - j2 + M) % 2 ? -1 : 1) * v);
}

// ⟨l m|η²|l m⟩, ⟨l+1 m|η|l m⟩ and ⟨l+2 m|η²|l m⟩ in closed form.
inline double eta2_diag(int l, int m) {
  return (2.0 * l * (l + 1) - 2.0 * m * m - 1.0) / ((2.0 * l - 1.0) * (2.0 * l + 3.0));
}
inline double eta_up1(int l, int m) {
  return std::sqrt(((l + 1.0) * (l + 1.0) - m * m) / ((2.0 * l + 1.0) * (2.0 * l + 3.0)));
}
inline double eta2_up2(int l, int m) {
  const double a = (l + 1.0) * (l + 1.0) - m * m, b = (l + 2.0) * (l + 2.0) - m * m;
  return std::sqrt(a * b / ((2.0 * l + 1.0) * (2.0 * l + 3.0) * (2.0 * l + 3.0) * (2.0 * l + 5.0)));
}

// The solution of the Legendre equation (p y')' − m²/p·y − λ(λ+1)·y = 0,
// p = ξ² − 1, that decays at large ξ, up to a constant factor:
//   ξ^(−λ−m−1)·p^(m/2)·₂F₁((λ+m+2)/2, (λ+m+1)/2; λ+3/2; 1/ξ²).
// The series converges fast for ξ well above 1.
inline double legendre_q_shape(int lam, int m, double xi) {
  const long double a = (lam + m + 2) / 2.0L, b = (lam + m + 1) / 2.0L, c = lam + 1.5L;
  const long double z = 1.0L / (static_cast<long double>(xi) * xi);
  long double term = 1, sum = 1;
  for (int k = 0; k < 2000; ++k) {
    term *= (a + k) * (b + k) / ((c + k) * (k + 1)) * z;
    sum += term;
    if (std::fabs(static_cast<double>(term)) < 1e-21L * std::fabs(static_cast<double>(sum))) break;
  }
  return static_cast<double>(std::pow(static_cast<long double>(xi), -lam - m - 1) *
                             std::pow(static_cast<long double>(xi) * xi - 1, m / 2.0L) * sum);
}

// Q_0(ξ) = atanh(1/ξ) = ½ ln((ξ+1)/(ξ−1)).
inline double legendre_q0(double xi) { return std::atanh(1.0 / xi); }

// x = A⁻¹·b by Gaussian elimination with partial pivoting (A column-major n×n).
inline std::vector<double> solve_dense(std::vector<double> A, std::vector<double> b, int n) {
  auto a = [&](int i, int j) -> double& { return A[static_cast<size_t>(j) * n + i]; };
  for (int k = 0; k < n; ++k) {
    int piv = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a(i, k)) > std::fabs(a(piv, k))) piv = i;
    for (int j = 0; j < n; ++j) std::swap(a(k, j), a(piv, j));
    std::swap(b[k], b[piv]);
    for (int i = k + 1; i < n; ++i) {
      const double f = a(i, k) / a(k, k);
      for (int j = k; j < n; ++j) a(i, j) -= f * a(k, j);
      b[i] -= f * b[k];
    }
  }
  std::vector<double> x(n);
  for (int i = n - 1; i >= 0; --i) {
    double s = b[i];
    for (int j = i + 1; j < n; ++j) s -= a(i, j) * x[j];
    x[i] = s / a(i, i);
  }
  return x;
}

}  // namespace ref

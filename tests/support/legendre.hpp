// Slow, independent references shared by the tests: the Gauss–Legendre rule,
// the associated Legendre functions and the θ part of the spherical
// harmonics, all in extended precision.  None of them calls the library.
#pragma once

#include <cmath>
#include <cstdlib>
#include <vector>

namespace ref {

constexpr double kPi = 3.14159265358979323846;

struct Rule {
  std::vector<double> x, w;
};

// n-point Gauss–Legendre rule on [−1, 1], nodes ascending (Newton iteration
// on P_n in long double, each symmetric pair of nodes found once).
inline Rule gauss_legendre(int n) {
  Rule r;
  r.x.resize(n);
  r.w.resize(n);
  for (int i = 0; i < (n + 1) / 2; ++i) {
    long double z = std::cos(kPi * (i + 0.75) / (n + 0.5));
    long double dp = 0;
    for (int it = 0; it < 100; ++it) {
      long double p0 = 1, p1 = z;
      for (int k = 2; k <= n; ++k) {
        long double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1);
      long double dz = p1 / dp;
      z -= dz;
      if (std::fabs(static_cast<double>(dz)) < 1e-19) break;
    }
    r.x[i] = static_cast<double>(-z);
    r.x[n - 1 - i] = static_cast<double>(z);
    double w = static_cast<double>(2 / ((1 - z * z) * dp * dp));
    r.w[i] = w;
    r.w[n - 1 - i] = w;
  }
  return r;
}

// n! in long double.
inline long double fact(int n) {
  long double f = 1;
  for (int k = 2; k <= n; ++k) f *= k;
  return f;
}

// Associated Legendre function P_l^m(x), |x| ≤ 1, with the Condon–Shortley
// phase, by the standard upward recurrence in l.
inline double plm(int l, int m, double x) {
  if (m < 0) {
    return ((-m) % 2 ? -1.0 : 1.0) * static_cast<double>(fact(l + m) / fact(l - m)) * plm(l, -m, x);
  }
  if (m > l) return 0.0;
  long double pmm = 1;
  const long double s = std::sqrt((1.0L - x) * (1.0L + x));
  for (int k = 1; k <= m; ++k) pmm *= -(2 * k - 1) * s;
  if (l == m) return static_cast<double>(pmm);
  long double p0 = pmm, p1 = x * (2 * m + 1) * pmm;
  for (int k = m + 2; k <= l; ++k) {
    long double p2 = (x * (2 * k - 1) * p1 - (k + m - 1) * p0) / (k - m);
    p0 = p1;
    p1 = p2;
  }
  return static_cast<double>(p1);
}

// θ part of Y(l,m): Y(l,m)(θ,φ) = ytheta(l,m,cos θ)·e^{imφ}.
inline double ytheta(int l, int m, double x) {
  if (std::abs(m) > l) return 0.0;
  const long double norm = std::sqrt((2 * l + 1) / (4 * kPi) * fact(l - m) / fact(l + m));
  return static_cast<double>(norm * plm(l, m, x));
}

}  // namespace ref

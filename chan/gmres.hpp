// GMRES for the linear systems of the exchange equations, whose operator
// is known only by its action on a vector.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace chan {

// Result of a GMRES solve: iterations and the relative residual |b − A·x|/|b|.
struct Krylov {
  int iterations = 0;
  double residual = 0.0;
};

// Solves A·x = b by GMRES (Arnoldi with modified Gram–Schmidt, Givens
// rotations, no restart) from x = 0: at most maxit products y = A·v through
// `apply`, stopping when the residual, which GMRES minimises over the Krylov
// space, falls below tol·|b|.  Exact after N steps in exact arithmetic.
template <class Apply>
Krylov gmres(int N, const double* b, double* x, int maxit, double tol, Apply&& apply) {
  const size_t n = static_cast<size_t>(N);
  Krylov out;
  std::fill(x, x + n, 0.0);
  double beta = 0.0;
  for (size_t e = 0; e < n; ++e) beta += b[e] * b[e];
  beta = std::sqrt(beta);
  if (beta == 0.0) return out;
  const size_t mx = static_cast<size_t>(std::max(maxit, 1));
  std::vector<double> V((mx + 1) * n), H((mx + 1) * mx, 0.0), cs(mx), sn(mx), g(mx + 1, 0.0);
  for (size_t e = 0; e < n; ++e) V[e] = b[e] / beta;
  g[0] = beta;
  out.residual = 1.0;
  size_t m = 0;
  for (; m < mx; ++m) {
    double* w = &V[(m + 1) * n];
    apply(&V[m * n], w);
    double* h = &H[m * (mx + 1)];
    for (size_t i = 0; i <= m; ++i) {
      const double* vi = &V[i * n];
      double c = 0.0;
      for (size_t e = 0; e < n; ++e) c += vi[e] * w[e];
      h[i] = c;
      for (size_t e = 0; e < n; ++e) w[e] -= c * vi[e];
    }
    double hn = 0.0;
    for (size_t e = 0; e < n; ++e) hn += w[e] * w[e];
    hn = std::sqrt(hn);
    h[m + 1] = hn;
    if (hn > 0.0)
      for (size_t e = 0; e < n; ++e) w[e] /= hn;
    for (size_t i = 0; i < m; ++i) {
      const double t = cs[i] * h[i] + sn[i] * h[i + 1];
      h[i + 1] = -sn[i] * h[i] + cs[i] * h[i + 1];
      h[i] = t;
    }
    const double r = std::hypot(h[m], h[m + 1]);
    cs[m] = r > 0.0 ? h[m] / r : 1.0;
    sn[m] = r > 0.0 ? h[m + 1] / r : 0.0;
    h[m] = r;
    h[m + 1] = 0.0;
    g[m + 1] = -sn[m] * g[m];
    g[m] = cs[m] * g[m];
    out.residual = std::fabs(g[m + 1]) / beta;
    if (out.residual < tol || hn == 0.0) {
      ++m;
      break;
    }
  }
  out.iterations = static_cast<int>(m);
  // y from the triangular system, x = V·y.
  std::vector<double> y(m, 0.0);
  for (size_t i = m; i-- > 0;) {
    double v = g[i];
    for (size_t j = i + 1; j < m; ++j) v -= H[j * (mx + 1) + i] * y[j];
    y[i] = H[i * (mx + 1) + i] != 0.0 ? v / H[i * (mx + 1) + i] : 0.0;
  }
  for (size_t i = 0; i < m; ++i)
    for (size_t e = 0; e < n; ++e) x[e] += y[i] * V[i * n + e];
  return out;
}

}  // namespace chan

#include "chan/dense_algebra.hpp"

#include <algorithm>
#include <cmath>

#include "chan/coupled.hpp"
#include "lib/lapack.hpp"

namespace chan {

namespace {

// LU factors of the n × n matrix a in place: LAPACK's, or the written
// elimination (lu_factor) whose pivots are 0-based.  Returns the pivots
// 1-based in the LAPACK convention either way.  A singular matrix is
// factored all the same (its zero pivot shows as an infinite solution),
// as the written elimination does.
std::vector<int> factor(int n, double* a, Algebra alg) {
  std::vector<int> piv(static_cast<size_t>(n));
  if (alg == Algebra::library) {
    int info = 0;
    dgetrf_(&n, &n, a, &n, piv.data(), &info);
  } else {
    lu_factor(n, a, piv.data());
    for (int& p : piv) ++p;
  }
  return piv;
}

// Solutions of A·X = B for nrhs columns of b, from the factors.
void solve_factored(int n, const double* a, std::vector<int> piv, int nrhs, double* b, Algebra alg) {
  if (alg == Algebra::library) {
    int info = 0;
    const char trans = 'N';
    dgetrs_(&trans, &n, &nrhs, a, &n, piv.data(), b, &n, &info, 1);
  } else {
    for (int& p : piv) --p;
    for (int j = 0; j < nrhs; ++j) lu_solve(n, a, piv.data(), b + static_cast<size_t>(j) * static_cast<size_t>(n));
  }
}

}  // namespace

// Inverse of a small matrix (column-major, n × n) through the LU factors of
// its row-equilibrated form: A⁻¹ = (D·A)⁻¹·D, D = diag(1/max_j |A(i,j)|).
// The amplitudes of inner-normalised solutions span many orders of magnitude
// from channel to channel (tunnelling growth); the scaling keeps partial
// pivoting meaningful.
std::vector<double> inverse(int n, std::vector<double> a, Algebra alg) {
  std::vector<double> d(static_cast<size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      d[static_cast<size_t>(i)] = std::max(d[static_cast<size_t>(i)], std::fabs(a[static_cast<size_t>(j * n + i)]));
    d[static_cast<size_t>(i)] = d[static_cast<size_t>(i)] > 0.0 ? 1.0 / d[static_cast<size_t>(i)] : 1.0;
    for (int j = 0; j < n; ++j) a[static_cast<size_t>(j * n + i)] *= d[static_cast<size_t>(i)];
  }
  const std::vector<int> piv = factor(n, a.data(), alg);
  std::vector<double> inv(static_cast<size_t>(n * n), 0.0);
  for (int j = 0; j < n; ++j) inv[static_cast<size_t>(j * n + j)] = d[static_cast<size_t>(j)];
  solve_factored(n, a.data(), piv, n, inv.data(), alg);
  return inv;
}

// Determinant of a square matrix (column-major, copied) by its LU factors.
double determinant(int n, std::vector<double> a, Algebra alg) {
  const std::vector<int> piv = factor(n, a.data(), alg);
  double d = 1.0;
  for (int k = 0; k < n; ++k) {
    d *= a[static_cast<size_t>(k * n + k)];
    if (piv[static_cast<size_t>(k)] != k + 1) d = -d;
  }
  return d;
}

// Solution x of A·x = b for a square matrix A (column-major, copied).
std::vector<double> solve(int n, std::vector<double> a, std::vector<double> b, Algebra alg) {
  const std::vector<int> piv = factor(n, a.data(), alg);
  solve_factored(n, a.data(), piv, 1, b.data(), alg);
  return b;
}

}  // namespace chan

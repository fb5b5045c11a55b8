#include "chan/dense_algebra.hpp"

#include <algorithm>
#include <cmath>

#include "chan/coupled.hpp"

namespace chan {

// Inverse of a small matrix (column-major, n × n) through the LU factors of
// its row-equilibrated form: A⁻¹ = (D·A)⁻¹·D, D = diag(1/max_j |A(i,j)|).
// The amplitudes of inner-normalised solutions span many orders of magnitude
// from channel to channel (tunnelling growth); the scaling keeps partial
// pivoting meaningful.
std::vector<double> inverse(int n, std::vector<double> a) {
  std::vector<double> d(static_cast<size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      d[static_cast<size_t>(i)] = std::max(d[static_cast<size_t>(i)], std::fabs(a[static_cast<size_t>(j * n + i)]));
    d[static_cast<size_t>(i)] = d[static_cast<size_t>(i)] > 0.0 ? 1.0 / d[static_cast<size_t>(i)] : 1.0;
    for (int j = 0; j < n; ++j) a[static_cast<size_t>(j * n + i)] *= d[static_cast<size_t>(i)];
  }
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  std::vector<double> inv(static_cast<size_t>(n * n), 0.0);
  for (int j = 0; j < n; ++j) {
    inv[static_cast<size_t>(j * n + j)] = d[static_cast<size_t>(j)];
    lu_solve(n, a.data(), piv.data(), inv.data() + j * n);
  }
  return inv;
}

// Determinant of a square matrix (column-major, copied) by its LU factors.
double determinant(int n, std::vector<double> a) {
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  double d = 1.0;
  for (int k = 0; k < n; ++k) {
    d *= a[static_cast<size_t>(k * n + k)];
    if (piv[static_cast<size_t>(k)] != k) d = -d;
  }
  return d;
}

// Solution x of A·x = b for a square matrix A (column-major, copied).
std::vector<double> solve(int n, std::vector<double> a, std::vector<double> b) {
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  lu_solve(n, a.data(), piv.data(), b.data());
  return b;
}

}  // namespace chan

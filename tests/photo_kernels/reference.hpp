// Slow, independent references for the photoionisation kernel tests: a
// plain complex Gaussian elimination and random well-conditioned matrices,
// on the column-major matrix of support/dense.hpp.  None of them calls the
// kernels.
#pragma once

#include <cmath>
#include <complex>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "support/dense.hpp"
#include "support/legendre.hpp"

namespace ref {

using cplx = std::complex<double>;

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

#include "scf/diis.hpp"

#include <algorithm>
#include <cmath>

namespace scf {

std::vector<double> diis_coefficients(const std::vector<double>& B, int n) {
  // Bordered system [B 1; 1ᵀ 0][c; λ] = [0; 1], B scaled by its largest diagonal.
  const int m = n + 1;
  double scale = 0.0;
  for (int k = 0; k < n; ++k) scale = std::max(scale, B[k * n + k]);
  if (!(scale > 0.0)) return {};
  std::vector<double> A(m * m, 0.0), b(m, 0.0);
  for (int k = 0; k < n; ++k) {
    for (int l = 0; l < n; ++l) A[k * m + l] = B[k * n + l] / scale;
    A[k * m + n] = 1.0;
    A[n * m + k] = 1.0;
  }
  b[n] = 1.0;
  for (int col = 0; col < m; ++col) {
    int piv = col;
    for (int r = col + 1; r < m; ++r)
      if (std::fabs(A[r * m + col]) > std::fabs(A[piv * m + col])) piv = r;
    if (std::fabs(A[piv * m + col]) < 1e-14) return {};
    if (piv != col) {
      for (int k = 0; k < m; ++k) std::swap(A[col * m + k], A[piv * m + k]);
      std::swap(b[col], b[piv]);
    }
    for (int r = col + 1; r < m; ++r) {
      const double f = A[r * m + col] / A[col * m + col];
      for (int k = col; k < m; ++k) A[r * m + k] -= f * A[col * m + k];
      b[r] -= f * b[col];
    }
  }
  std::vector<double> x(m);
  for (int r = m - 1; r >= 0; --r) {
    double s = b[r];
    for (int k = r + 1; k < m; ++k) s -= A[r * m + k] * x[k];
    x[r] = s / A[r * m + r];
  }
  x.resize(n);
  return x;
}

bool SweepDiis::extrapolate(const std::vector<double>& x_in, const std::vector<double>& x_out,
                            std::vector<double>& next) {
  std::vector<double> r(x_out.size());
  for (size_t i = 0; i < r.size(); ++i) r[i] = x_out[i] - x_in[i];
  out_.push_back(x_out);
  res_.push_back(std::move(r));
  if (static_cast<int>(out_.size()) > depth_) {
    out_.pop_front();
    res_.pop_front();
  }
  // Fewer sweeps while the system is ill-conditioned: drop the oldest.
  while (static_cast<int>(out_.size()) >= kMinSweeps) {
    const int n = static_cast<int>(out_.size());
    std::vector<double> B(n * n);
    for (int k = 0; k < n; ++k)
      for (int l = 0; l <= k; ++l) {
        double s = 0.0;
        for (size_t i = 0; i < res_[k].size(); ++i) s += res_[k][i] * res_[l][i];
        B[k * n + l] = B[l * n + k] = s;
      }
    const std::vector<double> c = diis_coefficients(B, n);
    double cmax = 0.0;
    for (double v : c) cmax = std::max(cmax, std::fabs(v));
    if (!c.empty() && cmax < 10.0) {
      next.assign(x_out.size(), 0.0);
      for (int k = 0; k < n; ++k)
        for (size_t i = 0; i < next.size(); ++i) next[i] += c[k] * out_[k][i];
      return true;
    }
    out_.pop_front();
    res_.pop_front();
  }
  return false;
}

}  // namespace scf

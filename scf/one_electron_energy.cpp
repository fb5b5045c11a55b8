#include "scf/one_electron_energy.hpp"

#include <cmath>
#include <vector>

#include "lib/build.hpp"
#include "lib/quadrature.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/angular.hpp"
#include "scf/overlap.hpp"

namespace scf {

namespace {

// Simpson's rule over each region: inner points in ξ, outer points in x.
double integrate(const RunTables& t, lib::Vec f) {
  return lib::simpson_rule(t.NA, t.HA, f.sub(1, t.NA), lib::Build::scf) +
         lib::simpson_rule(t.NB - t.NA, t.HB, f.sub(t.NA + 1, t.NB - t.NA), lib::Build::scf);
}

// dy/dx at point j of f(1 … N) on a uniform grid of step h: five-point
// differences, central inside and one-sided at the two ends (error O(h⁴)).
double derivative(const double* f, int N, int j, double h) {
  const double d = 12.0 * h;
  if (j == 1) return (-25.0 * f[0] + 48.0 * f[1] - 36.0 * f[2] + 16.0 * f[3] - 3.0 * f[4]) / d;
  if (j == 2) return (-3.0 * f[0] - 10.0 * f[1] + 18.0 * f[2] - 6.0 * f[3] + f[4]) / d;
  if (j == N) return (25.0 * f[N - 1] - 48.0 * f[N - 2] + 36.0 * f[N - 3] - 16.0 * f[N - 4] + 3.0 * f[N - 5]) / d;
  if (j == N - 1) return (3.0 * f[N - 1] + 10.0 * f[N - 2] - 18.0 * f[N - 3] + 6.0 * f[N - 4] - f[N - 5]) / d;
  return (f[j - 3] - 8.0 * f[j - 2] + 8.0 * f[j] - f[j + 1]) / d;
}

}  // namespace

OneElectron shell_one_electron(const RunTables& t, const Shells& s, int ISH, lib::Fac F, lib::CMat TT, lib::Vec work1,
                               lib::Vec work2) {
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NA = t.NA, NB = t.NB;
  const lib::CMat X = s.waves(ISH);
  const lib::CVec VV = t.VV.col(M + 1);
  lib::Vec kin = work1, nuc = work2;
  lib::fill(NB, 0.0, kin);
  lib::fill(NB, 0.0, nuc);
  std::vector<double> y(NB - NA);
  for (int p = 1; p <= n; ++p) {
    const int L = L0 + (p - 1) * t.ISYM;
    const double LL = L * (L + 1.0);
    // Inner region: y = (ξ²−1)^(M/2)·P(ξ − 1), P the interpolating series.
    std::vector<double> c(NA, 0.0);
    for (int k = 1; k <= NA; ++k)
      for (int i = 1; i <= NA; ++i) c[k - 1] += t.WW(i, k) * X(i, p) / VV(i);
    for (int i = 1; i <= NA; ++i) {
      const double xi = t.R(i, 1), tt = xi - 1.0, pp = t.R(i, 2) - 1.0;
      double P = 0.0, dP = 0.0;
      for (int k = NA; k >= 1; --k) P = P * tt + c[k - 1];
      for (int k = NA; k >= 2; --k) dP = dP * tt + (k - 1) * c[k - 1];
      double kp;
      if (M == 0) {
        kp = pp * dP * dP + LL * P * P;
      } else {
        const double a = M * xi * P + pp * dP;
        kp = std::pow(pp, M - 1) * (a * a + M * M * P * P) + LL * std::pow(pp, M) * P * P;
      }
      kin(i) += kp;
      nuc(i) += t.ZP * xi * X(i, p) * X(i, p);
    }
    // Outer region: y = g·u; the integrand in ξ carries 1/x′ as an integrand in x.
    for (int i = NA + 1; i <= NB; ++i) y[i - NA - 1] = t.R(i, 6) * X(i, p);
    for (int i = NA + 1; i <= NB; ++i) {
      const double xi = t.R(i, 1), pp = t.R(i, 2) - 1.0, d = xi - 0.9, x1 = 1.0 + 10.0 / (d * d);
      const double dy = derivative(y.data(), NB - NA, i - NA, t.HB), yy = y[i - NA - 1];
      kin(i) += (pp * x1 * x1 * dy * dy + (M * M / pp + LL) * yy * yy) / x1;
      nuc(i) += t.ZP * xi * X(i, p) * X(i, p) * t.R(i, 3);
    }
    if (t.ISYM == 1 && p < n) {
      const double c2 = -2.0 * t.ZM * eta_next(L, M, F, t.EXACT);
      for (int i = 1; i <= NB; ++i) nuc(i) += c2 * X(i, p) * X(i, p + 1) * t.R(i, 3);
    }
  }
  const double quarter = std::sqrt(2.0 * t.RZ2) / 4.0;  // RZ/4
  OneElectron e;
  e.kinetic = quarter * integrate(t, kin);
  e.nuclear = -quarter * integrate(t, nuc);
  const double N = shell_overlap(t.overlap_grid(), TT, X, X, work1, work2);
  e.kinetic /= N;
  e.nuclear /= N;
  return e;
}

}  // namespace scf

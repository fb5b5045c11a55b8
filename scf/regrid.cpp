#include "scf/regrid.hpp"

#include <algorithm>
#include <cmath>

#include "lib/views.hpp"
#include "scf/grid.hpp"

namespace scf {

namespace {

double x_of(double xi) { return xi - 10.0 / (xi - 0.9); }

// (ξ² − 1)^(M/2), formed as t(2 + t) with t = ξ − 1 so that the first point
// (ξ − 1 = 1e-9) keeps its digits.
double axis_factor(double xi, int M) {
  const double t = xi - 1.0;
  return M == 0 ? 1.0 : std::pow(t * (2.0 + t), 0.5 * M);
}

}  // namespace

GridPoints grid_points(int NA, int NB, double RP1, double RP2, int IGRID) {
  GridPoints p;
  p.NA = NA;
  std::vector<double> table(static_cast<std::size_t>(NB) * 7);
  lib::Mat R(table.data(), NB, 7);
  double HB = 0.0;
  const double RP[2] = {RP1, RP2};
  outer_grid(NA + 1, NB, HB, lib::CVec(RP, 2), R, IGRID);
  // The inner rows as the power-series tables place them.
  const double HA = (RP1 - 1.0) / (NA - 1);
  for (int I = 1; I <= NA; ++I) {
    R(I, 1) = (I - 1) * HA + 1.0 + (I == 1 ? 1.0e-9 : 0.0);
    R(I, 6) = 1.0;
  }
  p.xi.assign(R.col(1).data(), R.col(1).data() + NB);
  p.g.assign(R.col(6).data(), R.col(6).data() + NB);
  return p;
}

void carry_wave(int M, const GridPoints& from, lib::CVec X1, const GridPoints& to, lib::Vec X2) {
  // The nodes: every row of `from` but the second copy of the junction.
  const int NB1 = static_cast<int>(from.xi.size());
  std::vector<double> xn, fn, xin;
  xn.reserve(static_cast<std::size_t>(NB1));
  for (int i = 1; i <= NB1; ++i) {
    if (i == from.NA + 1) continue;
    const double xi = from.xi[static_cast<std::size_t>(i - 1)];
    xin.push_back(xi);
    xn.push_back(x_of(xi));
    fn.push_back(X1(i) * from.g[static_cast<std::size_t>(i - 1)] / axis_factor(xi, M));
  }
  const int N = static_cast<int>(xn.size());
  const int order = std::min(kRegridOrder, N);
  // The decay beyond the last node: f_N·e^(−κ(ξ − ξ_N)).
  const double fa = fn[static_cast<std::size_t>(N - 2)], fb = fn[static_cast<std::size_t>(N - 1)];
  const double kappa =
      fa * fb > 0.0 && std::fabs(fa) > std::fabs(fb)
          ? std::log(fa / fb) / (xin[static_cast<std::size_t>(N - 1)] - xin[static_cast<std::size_t>(N - 2)])
          : -1.0;
  const int NB2 = static_cast<int>(to.xi.size());
  for (int i = 1; i <= NB2; ++i) {
    const double xi = to.xi[static_cast<std::size_t>(i - 1)], x = x_of(xi);
    double f = 0.0;
    if (x > xn.back()) {
      if (kappa > 0.0) f = fb * std::exp(-kappa * (xi - xin.back()));
    } else {
      const int j = static_cast<int>(std::upper_bound(xn.begin(), xn.end(), x) - xn.begin());
      const int s = std::clamp(j - order / 2, 0, N - order);
      for (int a = s; a < s + order; ++a) {
        double w = 1.0;
        for (int b = s; b < s + order; ++b) {
          if (b != a)
            w *= (x - xn[static_cast<std::size_t>(b)]) /
                 (xn[static_cast<std::size_t>(a)] - xn[static_cast<std::size_t>(b)]);
        }
        f += w * fn[static_cast<std::size_t>(a)];
      }
    }
    X2(i) = f * axis_factor(xi, M) / to.g[static_cast<std::size_t>(i - 1)];
  }
}

}  // namespace scf

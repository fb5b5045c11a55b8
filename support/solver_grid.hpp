// A complete two-region grid for the solver tests and benchmarks: the outer rows built the
// way the ground-state program builds them (uniform in x = ξ − 10/(ξ − 0.9),
// columns 3–7 the coefficients of the Liouville normal form), then the inner
// rows and series tables from inner_series_tables and WW = (leading block of UU)⁻¹.
#pragma once

#include <cmath>
#include <vector>

#include "lib/radial_solver.hpp"
#include "lib/vector_kernels.hpp"

namespace testgrid {

struct Grid {
  int NA = 0, NB = 0, MM = 0;
  double RA = 0, RB = 0, HA = 0, HB = 0, CH = 0;
  std::vector<double> r, aa, bb, uu, vv, g, bz, ww;

  lib::Mat R() { return lib::Mat(r.data(), NB, 8); }
  lib::CMat R() const { return lib::CMat(r.data(), NB, 8); }
  lib::CMat AA() const { return lib::CMat(aa.data(), NA, MM); }
  lib::CMat BB() const { return lib::CMat(bb.data(), NA, MM); }
  lib::CMat VV() const { return lib::CMat(vv.data(), NA, MM); }
  lib::CMat UU() const { return lib::CMat(uu.data(), NA, NA + 1); }
  lib::CMat WW() const { return lib::CMat(ww.data(), NA, NA); }
  lib::CMat G() const { return lib::CMat(g.data(), 2, MM); }
  lib::CVec BZ() const { return lib::CVec(bz.data(), 5); }
  // The grid and its tables as the library routines take them.
  lib::RadialGrid radial() const { return {NA, NB, HA, HB, CH, 0}; }
  lib::SeriesTables series() const { return {G(), AA(), BB(), VV(), UU(), WW(), BZ()}; }

  double xi(int i) const { return R()(i, 1); }
  double scale(int i) const { return R()(i, 6); }  // g: stored value = physical value / g
  // Coefficient P = −λ(λ+1)·c3 − m²·c4 + c5 of the equation for (λ, m) at row i.
  double P(int i, int lam, int m) const {
    return -lam * (lam + 1.0) * R()(i, 3) - static_cast<double>(m) * m * R()(i, 4) + R()(i, 5);
  }
  // Right-hand side in the solver's form from the physical source S at row i.
  double Q(int i, double S) const { return S * R()(i, 3) / R()(i, 6); }
};

// Outer rows NA+1 … NB (x uniform from x(RA) to x(RB)); then inner_series_tables for
// projections 0 … MM−1 and the inverse of the inner power matrix.
inline Grid make_grid(int NA, int NB, double RA, double RB, int MM = 5) {
  Grid G;
  G.NA = NA;
  G.NB = NB;
  G.MM = MM;
  G.RA = RA;
  G.RB = RB;
  G.r.assign(static_cast<size_t>(NB) * 8, 0.0);
  lib::Mat R = G.R();
  const double x1 = RA - 10.0 / (RA - 0.9), x2 = RB - 10.0 / (RB - 0.9);
  G.HB = (x2 - x1) / (NB - NA - 1);
  G.CH = 12.0 / (G.HB * G.HB);
  for (int i = NA + 1; i <= NB; ++i) {
    const double x = x1 + (i - NA - 1) * G.HB;
    const double xi = (x + 0.9 + std::sqrt((x - 0.9) * (x - 0.9) + 40.0)) / 2.0;
    const double d = xi - 0.9;
    const double x1d = 1.0 + 10.0 / (d * d), x2d = -20.0 / (d * d * d), x3d = 60.0 / (d * d * d * d);
    const double p = xi * xi - 1.0;
    R(i, 1) = xi;
    R(i, 2) = xi * xi;
    R(i, 3) = 1.0 / (x1d * x1d * p);
    R(i, 4) = R(i, 3) / p;
    R(i, 5) = (3.0 * x2d * x2d - 2.0 * x1d * x3d) / (4.0 * x1d * x1d * x1d * x1d) + R(i, 4);
    R(i, 6) = 1.0 / std::sqrt(x1d * p);
    R(i, 7) = R(i, 3);
  }
  G.aa.assign(static_cast<size_t>(NA) * MM, 0.0);
  G.bb = G.aa;
  G.vv = G.aa;
  G.uu.assign(static_cast<size_t>(NA) * (NA + 1), 0.0);
  G.g.assign(2 * static_cast<size_t>(MM), 0.0);
  G.bz.assign(5, 0.0);
  lib::inner_series_tables(
      NA, NB, MM, RA, G.HA, R,
      lib::SeriesTablesOut{lib::Mat(G.g.data(), 2, MM), lib::Mat(G.aa.data(), NA, MM), lib::Mat(G.bb.data(), NA, MM),
                           lib::Mat(G.vv.data(), NA, MM), lib::Mat(G.uu.data(), NA, NA + 1), lib::Vec(G.bz.data(), 5)});
  G.ww.assign(G.uu.begin(), G.uu.begin() + static_cast<long>(NA) * NA);
  double det = 0;
  lib::invert_in_place(NA, det, lib::Mat(G.ww.data(), NA, NA));
  return G;
}

// Work arrays of one solve_radial_equation call.
struct SolveWork {
  std::vector<double> wc, cp, cq, cx, u, v, x;
  SolveWork(int NA, int NB) : wc(NA * NA), cp(NA), cq(NA), cx(NA), u(NB), v(NB), x(NB) {}
};

// solve_radial_equation for projection m (column m+1 of the tables) with coefficient P and
// right-hand side Q given at all NB rows; the solution is left in w.x.
// IDIF = 1: the difference form of the outer sweep.
inline void solve(const Grid& G, int m, int IPA, const double B[4], const std::vector<double>& P,
                  const std::vector<double>& Q, SolveWork& w, int IDIF = 0) {
  const int NA = G.NA, NB = G.NB;
  lib::RadialGrid grid = G.radial();
  grid.IDIF = IDIF;
  const lib::RadialWork work{lib::Mat(w.wc.data(), NA, NA), lib::Vec(w.cp.data(), NA), lib::Vec(w.cq.data(), NA),
                             lib::Vec(w.cx.data(), NA),     lib::Vec(w.u.data(), NB),  lib::Vec(w.v.data(), NB)};
  lib::solve_radial_equation(grid, G.series().column(m + 1), work, IPA, lib::CVec(B, 4), lib::CVec(P.data(), NB),
                             lib::CVec(Q.data(), NB), lib::Vec(w.x.data(), NB));
}

}  // namespace testgrid

// One linear radial equation of the prolate spheroidal problem,
//   d/dξ[(ξ² − 1) dy/dξ] − m²/(ξ² − 1)·y + P(ξ)·y = Q(ξ),
// on the two-region grid: a power series about ξ = 1 in the inner region,
// the Numerov scheme with a backward elimination sweep in the outer region.
#pragma once

#include "lib/radial_grid.hpp"
#include "lib/views.hpp"

namespace lib {

// The inner-region tables of one projection m (column m+1 of the tables):
// the matching factors GG(1:2), the recurrence coefficients AA, BB and the
// prefactors VV = (ξ² − 1)^(m/2) at the inner points; the powers UU and the
// inverse WW of the inner power matrix; the far boundary vector BZ.
struct SeriesColumn {
  CVec GG, AA, BB, VV;
  CMat UU, WW;
  CVec BZ;
};

// The inner-region tables of all projections the run was built for.
struct SeriesTables {
  CMat GG, AA, BB, VV, UU, WW;
  CVec BZ;
  SeriesColumn column(int j) const { return {GG.col(j), AA.col(j), BB.col(j), VV.col(j), UU, WW, BZ}; }
};

// Where inner_series_tables writes the tables (WW, the inverse of the inner
// power matrix, is formed by the caller from UU).
struct SeriesTablesOut {
  Mat GG, AA, BB, VV, UU;
  Vec BZ;
};

// Work of one solve: the inner triangular system WC (NA, NA), the series
// coefficients CP, CQ, CX of P, Q and the solution (NA each), and the sweep
// coefficients U, V (NB each).
struct RadialWork {
  Mat WC;
  Vec CP, CQ, CX, U, V;
};

// Inner grid and power-series tables for projections 0 … M−1 into the rows
// 1 … NA of R and the tables t; the outer rows NA+1 … NB of R must be filled.
// A grid with NA < 2, RA ≤ 1 or fewer than three outer points stops the run.
// Legacy name: HAFA0.
void inner_series_tables(int NA, int NB, int M, double RA, double& HA, Mat R, const SeriesTablesOut& t);
// Backward Numerov sweep on N points: X(j) = U(j)·X(j−1) + V(j).  IDIF = 1:
// the difference form, U holding g = U − 1 (X(j) = X(j−1) + g(j)·X(j−1) + V(j))
// to its own relative precision.
// Legacy name: BPNM.
void numerov_backward_sweep(int N, double CH, CVec B, CVec P, CVec Q, Vec U, Vec V, int IDIF = 0);
// One radial equation d/dξ[(ξ²−1) dy/dξ] − m²/(ξ²−1)·y + P·y = Q on the
// two-region grid, closed at the far end by the boundary vector B, into X
// (stored form).  The inner region holds the Taylor polynomial of degree
// NA−1 about ξ = 1, whose remainder (about ((RA−1)/2)^NA, the series
// converging for |ξ−1| < 2) bounds the accuracy; the outer region is O(h⁴).
// IPA ≠ 0 matches the series to the outer solution, IPA = 0 takes the
// regular solution with unit leading coefficient.
// Legacy name: RDEQ.
void solve_radial_equation(const RadialGrid& grid, const SeriesColumn& s, const RadialWork& w, int IPA, CVec B, CVec P,
                           CVec Q, Vec X);

}  // namespace lib

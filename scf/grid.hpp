// The radial grid of the ground-state program.
//
// Grid table R(NB,7): rows 1 … NA are the inner region (uniform in ξ from 1 to
// RA, filled by inner_series_tables), rows NA+1 … NB the outer region, uniform in
// x = ξ − 10/(ξ − 0.9) (IGRID = 2: plus ln(ξ − 1)) from RA to RP(2).  Columns: ξ, ξ², the factors
// 1/(x′²(ξ²−1)), 1/(x′²(ξ²−1)²), the potential of the Liouville transformation,
// the scale g = (x′(ξ²−1))^(−1/2) between a stored outer value and the physical
// function, and the weight of a product of stored functions in dx.
#pragma once

#include "lib/views.hpp"

namespace scf {

// Outer rows NA1 = NA+1 … NB of the grid table and the outer step HB in x.
// IGRID = 1 forms ξ and ξ² − 1 without cancellation (the points then lie
// uniformly in x to rounding); 0 as written; 2 the graded map
// x = ξ − 10/(ξ − 0.9) + kLogGrade·ln(ξ − 1), whose logarithm makes the
// equations regular in x at the axis (below).
// Legacy name: COTR0.
void outer_grid(int NA1, int NB, double& HB, lib::CVec RP, lib::Mat R, int IGRID = 0);

// The weight of the logarithm in the graded map.  Towards the axis the
// coefficient 1/(x′²(ξ² − 1)²) of the Liouville form grows as 1/(ξ − 1)² in
// the written map, and the first Numerov steps after the junction err as
// the fourth power of the step in ξ over RP(1) − 1, whatever the step in
// the bulk: at TOL = 1e-9 that start asked N2 for 27,008 points where the
// bulk asks for 7000.  With a·ln(ξ − 1) the coefficient tends to 1/(4a²),
// and the steps in ln(ξ − 1) near the axis are the steps in x over a.
// a = 1 adds ln((RP(2) − 1)/(RP(1) − 1)) ≈ 11 to the range of x (8 % more
// points for N2) and left N2 at TOL = 1e-9 on 7220 points within 1e-10
// of its energies on 27,008 written ones (a = 3: 8260 points, the same).
inline constexpr double kLogGrade = 1.0;

}  // namespace scf

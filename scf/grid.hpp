// The radial grid of the ground-state program.
//
// Grid table R(NB,7): rows 1 … NA are the inner region (uniform in ξ from 1 to
// RA, filled by inner_series_tables), rows NA+1 … NB the outer region, uniform in
// x = ξ − 10/(ξ − 0.9) from RA to RP(2).  Columns: ξ, ξ², the factors
// 1/(x′²(ξ²−1)), 1/(x′²(ξ²−1)²), the potential of the Liouville transformation,
// the scale g = (x′(ξ²−1))^(−1/2) between a stored outer value and the physical
// function, and the weight of a product of stored functions in dx.
#pragma once

#include "lib/views.hpp"

namespace scf {

// Outer rows NA1 = NA+1 … NB of the grid table and the outer step HB in x.
// IGRID = 1 forms ξ and ξ² − 1 without cancellation (the points then lie
// uniformly in x to rounding); 0 as written.
// Legacy name: COTR0.
void outer_grid(int NA1, int NB, double& HB, lib::CVec RP, lib::Mat R, int IGRID = 0);

}  // namespace scf

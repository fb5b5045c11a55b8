// The radial grid of the ground-state program and the overlap of two shells on it.
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
void COTR0(int NA1, int NB, double& HB, lib::CVec RP, lib::Mat R, int IGRID = 0);

// Overlap (RZ/2)³ ∫ Σ_p X1_p [ξ² X2_p − Σ_q ⟨q|η²|p⟩ X2_q] dξ of two shells
// on the grid; T(N2,N1) holds the η² matrix, R2 and R7 the grid columns 2 and
// 7, S and Y are work columns of NB words.
double FOVI(int N1, int N2, int NA, int NB, double HA, double HB, double RZ3, lib::CMat T, lib::CVec R2, lib::CVec R7,
            lib::Vec S, lib::Vec Y, lib::CMat X1, lib::CMat X2);

}  // namespace scf

// The overlap of two shells on the radial grid of the ground-state program,
// in the volume element (RZ/2)³(ξ² − η²).
#pragma once

#include "lib/radial_grid.hpp"
#include "lib/views.hpp"

namespace scf {

// What the overlap reads of the grid: the two regions (NA, NB, HA, HB),
// (RZ/2)³, and the grid columns 2 (ξ²) and 7 (the weight of a product of
// stored functions).
struct OverlapGrid {
  lib::RadialGrid grid;
  double RZ3 = 0.0;
  lib::CVec R2, R7;
};

// Overlap (RZ/2)³ ∫ Σ_p X1_p [ξ² X2_p − Σ_q ⟨q|η²|p⟩ X2_q] dξ of two shells,
// X1 with N1 = X1.cols() and X2 with N2 = X2.cols() partial waves; T(N2,N1)
// holds the η² matrix, S and Y are work columns of NB words.
// Legacy name: FOVI.
double shell_overlap(const OverlapGrid& g, lib::CMat T, lib::CMat X1, lib::CMat X2, lib::Vec S, lib::Vec Y);

}  // namespace scf

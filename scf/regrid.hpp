// Orbitals carried from one grid of the ground-state program to another: a
// run on a fine grid started from the converged orbitals of a coarse one.
#pragma once

#include <vector>

#include "lib/views.hpp"

namespace scf {

// The points of a grid, rows 1 … NB: ξ (the inner rows uniform in ξ from
// 1 + 1e-9 to RP(1), the outer rows uniform in x = ξ − 10/(ξ − 0.9) from
// RP(1) to RP(2), the junction point doubled) and the scale g (grid column
// 6) that takes a stored value to the physical function, y = g·X (g = 1 on
// the inner rows).  Built as the run itself builds them.
struct GridPoints {
  int NA = 0;
  std::vector<double> xi, g;
};
GridPoints grid_points(int NA, int NB, double RP1, double RP2, int IGRID);

// Order of the interpolation: a polynomial through so many neighbouring points.
inline constexpr int kRegridOrder = 6;

// One partial wave of projection M, stored on grid `from` (X1), onto grid
// `to` (X2).  The wave is y = (ξ² − 1)^(M/2)·f with f smooth through ξ = 1;
// f is interpolated as a function of x by the Lagrange polynomial through
// the kRegridOrder nearest points of `from` (error O(h⁶ f⁽⁶⁾) for a step h
// in x), the doubled junction point taken once.  Beyond the end of `from`
// the wave goes on with the exponential decay of its last two points (zero
// where they do not decay): a bound orbital falls as e^(−κξ) out there, and
// a step to zero would leave a kink for the first sweep to undo.
// Legacy name: REGRID.
void carry_wave(int M, const GridPoints& from, lib::CVec X1, const GridPoints& to, lib::Vec X2);

}  // namespace scf

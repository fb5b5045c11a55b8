// The two-region grid of the photoionisation programs and chanfile: points
// 1 … NA uniform in ξ from 1, points NA+1 … NB uniform in the mapped
// variable ρ = ξ − 10/(ξ − 0.9); the per-point factors of the length and
// velocity forms of the dipole operator, differentiation and integration on
// that grid.
#pragma once

#include "lib/radial_grid.hpp"
#include "lib/views.hpp"

namespace lib {

// Two-region grid and the per-point factors of the length form.
// Legacy name: HAFI2.
void length_form_grid(int NA, int NB, double& HA, double& HB, CVec RP, Mat R);
// The same grid and the per-point factors of the velocity form.
// Legacy name: HAFV2.
void velocity_form_grid(int NA, int NB, double& HA, double& HB, CVec RP, Mat RV);
// Three-point derivative on the two-region grid (region 1 fixed at points 1 … 5).
// Legacy name: DIF0.
void two_region_derivative(int N, double HA, double HB, CVec X, CVec G, Vec Y);
// RZ3·∫ Σ_i Z_i·X_i·R6·R3 over the NX partial waves of X and Z, with the
// Simpson rule on each region of the grid (NA, NB, HA, HB are read); WK is
// work of NB words.
// Legacy name: FCUN.
double two_region_overlap(const RadialGrid& grid, double RZ3, CVec R3, CVec R6, int NX, CMat X, CMat Z, Vec WK);
// Composite Simpson rule on points 1 … 5 (step HA) and on NA+1 … NB (step
// HB), the sum of the dipole elements.
double two_region_simpson(int NA, int NB, double HA, double HB, CVec Z1);

}  // namespace lib

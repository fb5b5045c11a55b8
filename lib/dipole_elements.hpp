// Hartree–Fock dipole matrix elements between a bound orbital and a final
// function on the two-region grid, in length and velocity form, and the
// partial cross sections or oscillator strengths formed from them.
#pragma once

#include "lib/partial_waves.hpp"
#include "lib/radial_grid.hpp"
#include "lib/views.hpp"

namespace lib {

// The bound orbital (energy E1) and the final function (energy E2) of one
// dipole transition, both with the momentum step of the bound orbital, and
// the constant C of the dipole operator (√(4π/3) for the spherical
// components of r).
struct DipoleTransition {
  PartialWaves bound, final_function;
  double E1 = 0.0, E2 = 0.0, C = 0.0;
};

// Work of the dipole elements: PQV (NB, 4) and Z1 (NB).
struct DipoleWork {
  Mat PQV;
  Vec Z1;
};

// Length-form dipole element of the transition t, scaled by RZ3, into
// DR(M2 − M1 + 2) (DR(1 … 3) are set); returns the partial cross section
// (E2 > 0), the oscillator strength (E2 < 0) or the bare element (E2 = 0).
// R is the length-form table of the grid.
// Legacy name: HFCSR.
double dipole_length(const RadialGrid& grid, CMat R, Fac F, const DipoleTransition& t, double RZ3, const DipoleWork& w,
                     Vec DR);
// Velocity-form counterpart of dipole_length on the velocity-form table RV,
// into DV.  IDER chooses the derivative of a bound orbital of odd M1 at
// ξ = 1: 1 through X1/sqrt(ξ² − 1), second order; 0 the one-sided
// difference of X1, first order (the results of earlier runs).
// Legacy name: HFCSV.
double dipole_velocity(const RadialGrid& grid, CMat RV, Fac F, const DipoleTransition& t, double RZ3,
                       const DipoleWork& w, Vec DV, int IDER = 0);

}  // namespace lib

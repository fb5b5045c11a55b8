// What a self-consistent run of the ground-state program is asked to do:
// the molecule, the grid, the tolerance, the run switches and the
// coefficients of the shell equations as the control group gives them, and
// the switches beyond the original group.
#pragma once

#include "lib/views.hpp"
#include "scf/equations.hpp"

namespace scf {

struct Coupling;

// The run as group D00 gives it: the charges Z1, Z2 and the distance RZ,
// NA and NB grid points, MM columns of the inner tables (projections
// 0 … MM−1), the grid parameters RP(10), the tolerance EPS of the sweeps (the
// sum of the changes of the orbital energies), the run switches MI(7) and
// the coefficients AHF, BHF and JOR (NSH × NSH).
struct RunSettings {
  double Z1 = 0.0, Z2 = 0.0, RZ = 0.0;
  int NA = 0, NB = 0, MM = 0;
  lib::CVec RP;
  double EPS = 0.0;
  lib::CIVec MI;
  ShellCoefficients coef;
};

// Switches of a run beyond the original group: EXACT = 1 forms the multipole
// scale with 2π; ISRCH = 1 searches the shell energies by the fixed steps and
// bisection of the original rules (0: superlinear steps).
struct RunOptions {
  int EXACT = 0;
  int ISRCH = 0;
  bool exact_angular = false;  // EXACT = 1, momenta beyond the factorial table: Gaunt coefficients by quadrature
  const Coupling* coupling = nullptr;  // one open shell: its term's coupling
  int IDIF = 0;                        // 1: the outer recurrence of the shells in its difference form
  int IGRID = 0;                       // 1: the outer points formed without cancellation (outer_grid)
  // 1: the open shell rotated to the minimum of the term's energy (0: model-curvature step;
  // 2: no turn, one multiplier from the open shell's operator)
  int IROT = 0;
  // 1: the solve of a closed shell kept orthogonal to the other shells of its symmetry inside it
  int IPROJ = 0;
  // 1: the outer elimination's blocks, the inner system and the projections by BLAS and LAPACK
  int IBLAS = 0;
  bool regridded = false;  // the starting orbitals were carried from another grid: their norms are retaken on this one
};

}  // namespace scf

// The grid and the inner-region tables of a run, and the constants of its
// charges and distance: everything about the grid that is fixed once the
// driver has built it.
#pragma once

#include "lib/multipole_potentials.hpp"
#include "lib/one_electron.hpp"
#include "lib/radial_grid.hpp"
#include "lib/radial_solver.hpp"
#include "lib/views.hpp"
#include "scf/angular.hpp"
#include "scf/overlap.hpp"

namespace scf {

struct RunTables {
  int NA = 0, NB = 0;
  int ISYM = 1;           // momentum step: 2 for equal charges, 1 otherwise
  double HA = 0, HB = 0;  // inner step in ξ, outer step in x
  double RZ2 = 0;         // RZ²/2
  double RZ3 = 0;         // (RZ/2)³
  double ZP = 0;          // (Z1 + Z2)·RZ
  double ZM = 0;          // (Z2 − Z1)·RZ
  double ZS = 0;          // Z1 + Z2
  lib::CMat R;            // grid table (NB,7)
  lib::CMat AA, BB, VV;   // inner recurrence and prefactor tables (NA,MM), column |m|+1
  lib::CMat UU;           // powers (ξ_i − 1)^(k−1), (NA,NA+1)
  lib::CMat WW;           // inverse of the inner power matrix (NA,NA)
  lib::CMat G;            // inner–outer matching factors (2,MM)
  lib::CVec BZ;           // far boundary vector of the multipole equations (5)
  int EXACT = 0;          // 1: 2π in the multipole scale and exact η, η² elements
  int IDIF = 0;           // 1: the outer recurrence of the shells in its difference form
  int IBLAS = 0;  // 1: the projections, the inner system and (from kLibraryBlockWaves waves) the elimination's blocks
                  // by BLAS and LAPACK
  // Angular coefficients of the run, tabulated once (values equal to the
  // calls); none: every projection calls the routines.
  const lib::GauntTable* angular = nullptr;
  // With EXACT = 1 and momenta beyond the factorial table: the Gaunt and η²
  // coefficients from quadrature, in place of the table and the routines.
  const lib::ExactGauntTable* exact = nullptr;
  double H12() const { return 12.0 / (HB * HB); }
  // The grid, the series tables and the one-electron setting as the library
  // routines take them.
  lib::RadialGrid grid() const { return {NA, NB, HA, HB, H12(), IDIF}; }
  lib::SeriesTables series() const { return {G, AA, BB, VV, UU, WW, BZ}; }
  lib::OneElectronSetting one_electron() const { return {ZP, ZM, EXACT}; }
  // The run's angular rule, the grid of the shell overlap, and the setting of
  // the multipole solver with the factorials F.
  AngularRule rule() const { return {angular, EXACT, exact}; }
  OverlapGrid overlap_grid() const { return {grid(), RZ3, R.col(2), R.col(7)}; }
  lib::MultipoleSetting multipole_setting(lib::Fac F) const { return {grid(), R.colsFrom(2, 6), F}; }
};

// What the grid is built from: the points NA and NB, MM columns of the
// inner tables (projections 0 … MM−1), the grid parameters RP (RP(1) the
// junction, RP(2) the far end), the switch MI(1) (0: the outer rows are
// built here; 3 or more: the far boundary vector's first three words are
// cleared) and IGRID as for outer_grid.
struct GridSetting {
  int NA = 0, NB = 0, MM = 0;
  lib::CVec RP;
  int MI1 = 0;
  int IGRID = 0;
};

// Where the tables go: the grid table R (NB,7), the inner tables AA, BB, VV
// (NA,MM), UU (NA,NA+1), WW (NA,NA) and G (2,MM), the boundary vector BZ (5).
struct GridStorage {
  lib::Mat R, AA, BB, UU, VV, WW, G;
  lib::Vec BZ;
};

// Builds the grid and the inner-region tables: the outer rows of R and HB
// (outer_grid, when MI(1) = 0), the inner rows and the series tables
// (inner_series_tables), WW = the inverse of the inner power matrix, and the
// constants of the charges Z1, Z2 and the distance RZ.
RunTables set_up_grid(const GridSetting& g, double Z1, double Z2, double RZ, const GridStorage& out);

}  // namespace scf

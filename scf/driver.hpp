// The self-consistent driver of the ground-state program.
#pragma once

#include <array>
#include <string>

#include "io/unit.hpp"
#include "scf/run_settings.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/work_slices.hpp"

namespace scf {

// Builds the grid and the inner-region tables into `tables`, prints the
// listing head (title lines PRT, the molecule, the shells, the coefficients
// and the grid) on `listing`, iterates shell by shell to self-consistency
// and appends the converged orbitals to `result`, then the energy block to
// the listing and the console.  The arguments are those the entry routine
// prepared: the run's settings and options, the shells (MLN(3,NSH), start
// columns LK(NSH+1), the waves X (NB,NKS) in the workspace, energies and
// norms E, CN (16) as read from a restart or zero), the storage of the
// tables (R (NB,7) in the workspace, AA, BB, VV (NA,MM), UU (NA,NA+1), WW
// (NA,NA), G (2,MM), BZ (5)) and the workspace slices of the shell updates:
// PD and PX (KMA²·NB words each), WK (NB,(KMA+2)·KMA+6), XN (NB,2·KMA),
// XE (NB, max(2·KMA, KMA+2)) and the inner work arrays CX, WC.
// Legacy name: DMS_00_1.
void self_consistent_run(const RunSettings& run, const RunOptions& options, const Shells& s, const GridStorage& tables,
                         const UpdateSlices& w, const std::array<std::string, 30>& PRT, io::Unit& listing,
                         io::Unit& result);

}  // namespace scf

// The sweeps of the self-consistent iteration: every shell solved once per
// sweep in the field of the present orbitals of all shells, until the
// orbital energies stand still.
#pragma once

#include "io/unit.hpp"
#include "scf/energy_search.hpp"
#include "scf/run_settings.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scf {

// Largest number of sweeps of the self-consistent iteration.  The shipped
// examples need a few dozen; a run that has not converged after this many
// stops with a message and a non-zero exit status instead of sweeping on.
inline constexpr int kMaxSweeps = 500;

// Sweeps over the shells until the orbital energies move by less than
// run.EPS in sum (a shell updated earlier in a sweep enters the later ones
// with its new orbital); returns the number of sweeps.  More than max_sweeps
// stop the run.  The run's switches MI choose the updates (MI(2) = 1
// normalises every updated shell, MI(3) the dialogue or the update mode,
// MI(4) = 1 orthogonalises to the shells of JOR, MI(5) = 0 starts the first
// shell by the defect rule); `search` finds the shell energies and acts
// between sweeps.
int iterate_shells(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st, EnergySearch& search,
                   const UpdateSlices& w, io::Unit& listing, int max_sweeps = kMaxSweeps);

}  // namespace scf

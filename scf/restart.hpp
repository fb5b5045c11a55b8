// The starting orbitals of a restart: the orbital block of a result file,
// read on the run's own grid or carried onto it from another grid.
#pragma once

#include "io/unit.hpp"
#include "lib/views.hpp"
#include "scf/entry.hpp"

namespace scf {

// Reads the orbital block of `file` on the run's own grid into X at the
// columns LK (NSH of them), with the energies E and norms CN; the block must
// hold the shells and partial waves of d.
void start_from_same_grid(const ControlGroup& d, lib::CIVec LK, lib::Vec E, lib::Vec CN, lib::Mat X, io::Unit& file);

// Reads the orbital block of `file`, laid out as `restart` describes (its
// grid NA, NB, RP, IGRID and its shells' partial waves), and carries every
// partial wave onto the grid of `d` (carry_wave) into X at the columns LK;
// waves the restart does not have start at zero.  E and CN are those of the
// file.
void start_from_other_grid(const ControlGroup& restart, const ControlGroup& d, lib::CIVec LK, lib::Vec E, lib::Vec CN,
                           lib::Mat X, io::Unit& file);

}  // namespace scf

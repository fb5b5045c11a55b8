// The open shell of a diatom run in the ground-state group.
#pragma once

#include "diatom/molecule.hpp"
#include "scf/entry.hpp"

namespace diatom {

// Names the open shell and its term in the group (OPEN, TERM) and puts the
// term's coefficients into AHF and BHF (the ones tovrel forms from them).
void open_shell_d00(const Molecule& m, scf::D00& d);

}  // namespace diatom

// The open shell of a diatom run in the ground-state group.
#pragma once

#include <optional>

#include "diatom/molecule.hpp"
#include "scf/entry.hpp"

namespace diatom {

// Names the open shell and its term in the group (OPEN, TERM) and puts the
// term's coefficients into AHF and BHF (the ones tovrel forms from them).
// An open σ shell that shares its symmetry with closed shells gets one
// multiplier per pair and the projected solve (IROT = 2): with the model
// step CN's open 5σ, which lies below its closed 4σ, is never turned to the
// stationary point.  Open π and δ shells keep the model step (NO's 2π: the
// same total within the grid's tolerance, 3e-7 lower with the model step).
void open_shell_d00(const Molecule& m, scf::ControlGroup& d);

// The closed-shell neighbour that starts a one-electron σ shell lying among
// closed shells of its symmetry (CN X²Σ⁺): the open shell filled and the
// heavier nucleus one charge up, so that the neighbour is neutral (CO for
// CN).  The shells are those of the molecule, so its orbitals start the
// molecule's run shell by shell.  None for two equal nuclei (one more charge
// on one of them would break the g/u symmetry), an atom, or other shells.
std::optional<Molecule> closed_neighbour(const Molecule& m);

}  // namespace diatom

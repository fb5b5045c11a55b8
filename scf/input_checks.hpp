// The checks of the ground-state program's input: the control group
// against the fixed storage and the workspace a run may use, the momenta
// against the factorial table, and a restart file against the control file.
#pragma once

#include <string>

#include "scf/entry.hpp"

namespace scf {

// Stops, naming the file, group and variable, when the input exceeds the
// fixed storage of the program or cannot make a grid.
void check_limits(const ControlGroup& d, const std::string& file);

// The largest factorial (its argument) the angular coefficients of the shell
// equations read, and the pair of shells (I, J) that reads it.
inline constexpr int kFactorialTop = 98;  // the table ends at 98!
int factorials_needed(const ControlGroup& d, int* shell_i = nullptr, int* shell_j = nullptr);

// Stops, naming the shell, when the partial waves and multipole orders of
// the shell equations need factorials beyond the table of the program; with
// EXACT = 1 those coefficients come from quadrature and nothing stops.
void check_momenta(const ControlGroup& d, const std::string& file);

// Stops when the orbitals of a restart on the same grid (MI0 = 1) lie on
// another grid than the control file's: the orbital block carries no grid.
void check_restart_grid(const ControlGroup& restart, const ControlGroup& d, const std::string& file);

// Stops, naming the variable of the restart file, when its molecule (Z1,
// Z2, RZ) or its shells (NSH, each shell's M and L0) differ from the
// control file's: orbitals carried to another grid must be those of the run.
void check_restart_molecule(const ControlGroup& restart, const ControlGroup& d, const std::string& file);

}  // namespace scf

// The shell update: the equations of one shell built in the field of all
// shells (scf/equations.hpp), its exchange pass and off-diagonal terms, and
// the solve for its orbital energy and partial waves (scf/shell_solve.hpp).
#pragma once

#include "lib/views.hpp"
#include "scf/energy_search.hpp"
#include "scf/equations.hpp"
#include "scf/shell_solve.hpp"
#include "scf/update_state.hpp"

namespace io {
class Unit;
}

namespace scf {

// Replaces the waves, the energy and the norm of shell solve.ISH by the
// solution of its Hartree–Fock equations in the field of all shells (the
// columns ISH of the coefficients AHF and BHF; JOR the orthogonality table),
// by the rule solve.MODE to the tolerance solve.EPS.
// Legacy name: DHFSI0.
void update_shell(const RunTables& t, const Shells& s, const ShellSolve& solve, const ShellCoefficients& coef,
                  UpdateState& st, EnergySearch& search, const ShellWork& w, io::Unit& listing);

}  // namespace scf

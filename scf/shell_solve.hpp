// The solve of one shell's equations for its orbital energy and partial
// waves.
//
// At a trial energy the equations are linear (scf/fixed_energy.hpp).  The
// energy is then adjusted until either the matching defect of the first
// wave vanishes (defect rule) or the solution of the inhomogeneous equations
// has the norm the shell had before (norm rule); the steps, the stop and the
// judgement of the solution are the energy search's
// (scf/energy_search.hpp), the states of the shell are counted by the
// determinant (scf/states.hpp).
#pragma once

#include "lib/views.hpp"
#include "scf/energy_search.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace io {
class Unit;
}

namespace scf {

// Largest number of energy trials of one solve; a solve that needs more
// stops the run (it is caught between a pole and a root, or the energy runs
// away).
inline constexpr int kMaxTrials = 2000;

// The solver's view of the shell being updated.
struct ShellSolve {
  int ISH = 0;
  int MODE = 0;  // 0 norm rule, 2 defect rule, 1 operator's dialogue
  int NIT = 1;   // the wave whose series is normalised by the defect rule
  double EPS = 0.0;
};

// The overlap (shell_overlap) of two functions X1, X2 of a shell with n
// waves and η² matrix TT, in the two work columns of WK beyond the
// relations of the outer elimination.
double overlap_in_work(const RunTables& t, const ShellWork& w, int n, lib::CMat TT, lib::CMat X1, lib::CMat X2);

// Solves the equations of shell solve.ISH (PD, st.TT, source: columns n+1 … 2n
// of XN) for its energy EI and waves (written into X), by the rule of
// solve.MODE and the energy search `search`.  The listing receives the norm
// rule's orientation notes.
// Legacy name: DESYG.
void solve_shell(const RunTables& t, const Shells& s, const ShellSolve& solve, double& EI, UpdateState& st,
                 EnergySearch& search, const ShellWork& w, io::Unit& listing);

}  // namespace scf

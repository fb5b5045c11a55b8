// The aufbau check of a closed-shell ground state: the lowest empty orbital
// of each occupied symmetry, of the other parity and of the next projection
// M, in the final field of the ground state.
//
// Each empty orbital is one more shell for tovrel with no electrons: its
// equation takes the direct and exchange terms of every occupied shell
// (the Fock operator of the ground state, whose empty orbitals see all N
// electrons), no shell feels it, and it is kept orthogonal to the occupied
// shells of its symmetry.  The run restarts from the ground state's
// orbitals, so the occupied shells stay where they are and only the empty
// one is sought.  An empty orbital below an occupied one means that the
// configuration is not the ground state, or that an occupied shell sits on
// a solution that is not the lowest of its symmetry.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diatom/plan.hpp"

namespace diatom {

// The lowest empty orbital of one symmetry, or why none was found.
struct EmptyOrbital {
  Shell shell;                    // the next shell of its symmetry ('4sg', '1pg')
  std::optional<double> energy;   // its orbital energy (hartree)
  std::string why;                // when none: "no bound state", or the program's stop
};

// The shells whose orbitals the check looks for: the next of every occupied
// symmetry; with equal nuclei, the first of the other parity of every
// occupied M; the first of the next M (up to δ).
std::vector<Shell> empty_shells(const Molecule& m);

// Whether the check is made: not for a molecule with an open shell among
// other electrons (its empty orbitals depend on the coupling chosen), nor
// for one electron on one nucleus (its states of one n are degenerate across
// L, so that the rank of a σ state names none of them), nor when the shells
// fill tovrel's table.  With one electron on two nuclei the field is the
// bare nuclei's, and the empty orbitals are the excited states.
bool empty_orbitals_sought(const Molecule& m);

// Whether the check runs on the grid of the coarse start (a molecule of
// more than one electron started from it) rather than on the rule's grid.
// The check compares orbital energies hartrees or tenths apart, and the
// start's grid places them within 1e-6; on the rule's grid its runs took
// longer than the ground state itself (N2 at TOL = 1e-8: six runs, 12.7 s
// on two cores beside 5 s for the ground state).  One electron keeps the
// rule's grid: its empty orbitals are the molecule's excited states.
bool empty_orbitals_on_start_grid(const Plan& p);

// Runs the check in the folder `empty` of the run, with tovrel from the
// folder `bin`, for the ground state at the first distance (nothing when it
// is not sought).
std::vector<EmptyOrbital> empty_orbitals(const Plan& p, const std::string& bin);

// The warnings: every empty orbital that lies below an occupied one, with
// the occupied shells above it.
std::vector<std::string> aufbau_warnings(const Molecule& m, const std::vector<double>& occupied,
                                         const std::vector<EmptyOrbital>& empty);

// A copy of the tovrel result file `from` with one more shell of `waves`
// partial waves and no orbital (energy and norm zero) after its last, written
// to `to`: tovrel places such a shell on the state of its rank at the start.
void add_empty_shell(const std::string& from, const std::string& to, int waves);

}  // namespace diatom

// The start from the separated ions.
//
// A molecule with a second-row atom placed shell by shell from no orbitals
// can settle on another self-consistent solution: AlF (R = 3.126) ends at
// −338.15 or −340.98 hartree, against the limit −341.488, whatever the order
// of its shells.  Its ground state is Al⁺F⁻, and the orbitals of the two
// ions, each solved on a focus of the molecule's grid and put side by side,
// start sweeps that reach it (−341.48816 on the rule's grid of TOL = 1e-3).  Which ion holds
// which shell follows from the correlation diagram (shell_order.hpp): the
// molecule's shell of rank n in its symmetry goes to the atom whose level
// is the n-th lowest of that symmetry.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "diatom/molecule.hpp"
#include "scf/entry.hpp"

namespace diatom {

// The two ions: ion[0] on nucleus 1, ion[1] on nucleus 2, each run alone on
// focus 1 (Z1 its charge, Z2 = 0) at the molecule's distance; the shell of
// the molecule numbered I (0-based, in the order of its group) is shell
// shell[I] of ion atom[I].
struct SeparatedIons {
  std::array<Molecule, 2> ion;
  std::vector<int> atom, shell;
  // The charge of ion a, Z − electrons.
  double charge(int a) const { return ion[static_cast<size_t>(a)].Z1 - ion[static_cast<size_t>(a)].electrons; }
};

// Ion a as the console and the listing name it: "Al+ (1s 2s 3s 1p 4s) on
// nucleus 1".
std::string ion_label(const SeparatedIons& s, int a);

// The ions that start molecule `m` at one distance, or none where the cold
// start is kept: equal nuclei, an atom, an open shell, no second-row atom
// (kSecondRowZ; the first-row molecules reach their ground states from no orbitals, and
// their results stay those of that start), charges without a table, a
// shell beyond the atoms' levels, an atom left without electrons, or an ion
// more negative than −1 (O²⁻ binds no 2p in Hartree–Fock).
std::optional<SeparatedIons> separated_ions(const Molecule& m);

// Writes `file`: group D00 of the molecule's run `d` and the orbital block
// whose shell I is shell s.shell[I] of the result file of its ion (results
// [0] and [1]); the waves of the ion on nucleus 2 are reflected through the
// midplane (η → −η, wave k times (−1)^k) to lie on the second focus.  Stops
// naming the file when an ion's result does not hold the molecule's grid and
// partial waves.
void write_ions_start(const SeparatedIons& s, const scf::ControlGroup& d, const std::array<std::string, 2>& results,
                      const std::string& file);

}  // namespace diatom

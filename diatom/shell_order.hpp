// The order in which the ground-state program meets the shells.
//
// A run from no orbitals places each shell, in the order of its group, on
// the state of its rank in the field of the shells placed before it.  A
// shell placed before the shells that screen it sees too much of the
// nuclei, and the sweeps that follow may wander off the state asked for: NO
// X²Π from '1s 2s 3s 4s 5s 1p 2p1' ends without an energy, from '1s 2s 3s 4s
// 1p 5s 2p1' it reaches the ground state.  So diatom does not pass on the
// order the user wrote: it orders the shells by an estimate of their
// energies from the separated atoms, the textbook correlation diagram, so
// that one configuration always gives the same group and the same state.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diatom/shell.hpp"

namespace diatom {

// The Hartree–Fock orbital energies (hartree) of the ground-state atom of
// charge Z (1 to 18) as (ℓ, ε) pairs, s and p levels of its occupied
// subshells, or none for another charge.
struct AtomicLevel {
  int l = 0;
  double energy = 0.0;
};
std::vector<AtomicLevel> atomic_levels(double Z);

// Estimated energy of each shell: the shells of one symmetry take, by
// number, the separated atoms' levels that correlate with it (an s level
// gives a σ orbital, a p level a σ and a π; equal nuclei give each level
// once to the g and once to the u orbital); a shell beyond them takes 0.
// None when a charge has no table (above 18 or not whole).
std::optional<std::vector<double>> separated_atom_energies(const std::vector<Shell>& shells, double Z1, double Z2,
                                                           bool equal_nuclei);

// The shells in order of those estimates; at equal estimates the bonding
// partner of equal nuclei first (σg before σu, πu before πg), then, when
// both atoms have p levels, and on one nucleus, a p level's π before its σ
// (as NO needs: from '5s 1p' its sweeps find no energy), else its σ first
// (FH, OH), then the number.  Returns false, leaving the list, when there is no estimate.
bool order_by_separated_atoms(std::vector<Shell>& shells, double Z1, double Z2, bool equal_nuclei);

// The ground configuration the correlation diagram proposes: the shells
// filled in that order with `electrons` (a last shell partly filled is
// open, with its electrons after its name), and the term of an open shell
// by Hund's rule (σ¹ ²Σ⁺, π¹ and π³ ²Π, π² ³Σ⁻, g or u for equal nuclei).
// None without an estimate or when the levels cannot hold the electrons.
struct Configuration {
  std::string shells, state;
};
std::optional<Configuration> proposed_configuration(double Z1, double Z2, bool equal_nuclei, int electrons);

}  // namespace diatom

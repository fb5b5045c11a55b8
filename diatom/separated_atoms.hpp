// The Hartree–Fock energy of the separated atoms, against which a neutral
// molecule's total energy tells a bound state from another self-consistent
// solution: AlF (R = 3.126) settled on orbitals whose total, −340.985
// hartree, lies 0.30 above Al + F (−341.286) where its ground state lies
// 0.20 below (−341.488), and neither the virial ratio (2.0003) nor the
// aufbau check showed it.
#pragma once

#include <optional>
#include <string>

namespace diatom {

// Numerical Hartree–Fock energy (hartree) of the ground-state neutral atom
// of charge Z = 1 … 18, none otherwise.
std::optional<double> atom_energy(double Z);

// Above the separated atoms by more than this (hartree) a single distance
// is named: F2, unbound in Hartree–Fock, lies 0.046 above its atoms.
inline constexpr double kAboveAtoms = 0.1;

// The warning for a neutral molecule of charges Z1, Z2 (both whole, 1 … 18)
// whose total energy lies more than kAboveAtoms above its atoms; none
// otherwise (an atom on a focus, an ion, charges outside the table).
std::optional<std::string> above_separated_atoms(double Z1, double Z2, double Q, double total);

}  // namespace diatom

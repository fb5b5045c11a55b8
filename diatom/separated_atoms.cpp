#include "diatom/separated_atoms.hpp"

#include <cmath>
#include <cstdio>

namespace diatom {

std::optional<double> atom_energy(double Z) {
  // Ground-state atoms H … Ar at the numerical Hartree–Fock limit.
  static constexpr double kEnergy[] = {-0.5,        -2.861680,   -7.432727,   -14.573023,  -24.529061,  -37.688619,
                                       -54.400934,  -74.809398,  -99.409349,  -128.547098, -161.858911, -199.614636,
                                       -241.876707, -288.854362, -340.718781, -397.504896, -459.482072, -526.817513};
  const double z = std::round(Z);
  if (std::fabs(Z - z) > 1e-9 || z < 1 || z > 18) return std::nullopt;
  return kEnergy[static_cast<int>(z) - 1];
}

std::optional<std::string> above_separated_atoms(double Z1, double Z2, double Q, double total) {
  const std::optional<double> a = atom_energy(Z1), b = atom_energy(Z2);
  if (Q != 0 || !a || !b) return std::nullopt;
  const double above = total - (*a + *b);
  if (!(above > kAboveAtoms)) return std::nullopt;
  char t[400];
  std::snprintf(t, sizeof t,
                "the total energy %.6f lies %.3f hartree above the separated atoms' Hartree-Fock energies (%.6f): "
                "unless this distance is far inside the bond, these orbitals are another self-consistent solution, "
                "not the ground state (AlF settled 0.30 above its atoms; see docs/diatom.md, 'The order of the "
                "shells', for other starts)",
                total, above, *a + *b);
  return std::string(t);
}

}  // namespace diatom

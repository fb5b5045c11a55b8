// The ionic states of a vibrational analysis: for each shell of ION, the
// ion with one electron fewer in it, whose ground-state energy against the
// distance is the ionic state's potential curve.
#pragma once

#include <optional>
#include <string>

#include "diatom/molecule.hpp"

namespace diatom {

// The distances diatom chooses about one given distance for VIB = 1, and the
// fewest a given list may hold (the interpolating spline and a minimum
// between its ends).
inline constexpr int kVibrationDistances = 15;
inline constexpr int kVibrationLeastDistances = 6;

// The ion of molecule `m` with a hole in shell `hole` (index into its
// shells): a closed shell left with its other electrons becomes the ion's
// open shell, in the term its one hole makes (²Σ⁺ for σ¹, ²Π for π³, with
// the g/u of the shell); an open shell of one electron emptied leaves a
// closed-shell ion.  The ion keeps the molecule's order of shells, so that
// the molecule's orbitals start it shell by shell.
Molecule ion_of(const Molecule& m, int hole);

// Whether the ion's open shell is a σ shell above every other shell of
// its symmetry (the outer-valence σ holes).
bool ion_of_highest_sigma(const Molecule& ion);

// The folder of the ion of shell `name` within a distance's folder: "ion_3sg".
std::string ion_folder(const std::string& distance, const std::string& name);

// Why an ion's ground state is not the ionic state of one hole, from its
// ionisation energy ΔE = E(ion) − E(molecule) against Koopmans' −ε of the
// hole (hartree): none when they agree within the relaxation a hole
// brings (ΔE positive and within 30% of −ε: N2's valence holes relax by
// 8%, core holes by about 4%).
std::optional<std::string> another_ionic_state(double delta_E, double koopmans);

// The ionic state in print: "N2+ 3sg^-1 (2Sg+)".
std::string ionic_state_label(const Molecule& m, int hole);

}  // namespace diatom

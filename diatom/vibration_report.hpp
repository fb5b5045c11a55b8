// The vibrational analysis of a diatom run (VIB = 1) in print: the potential
// curves of the molecule and of each ionic state, their levels and
// spectroscopic constants, the ionisation energies and the Franck–Condon
// factors from the molecule's v = 0, for diatom.lst and vibration.dat.
#pragma once

#include <string>
#include <vector>

#include "diatom/vibration.hpp"

namespace diatom {

// One electronic state's curve, from the distances whose ground state has
// finished; the molecule's state first.
struct StateCurve {
  std::string label;     // "molecule", "3sg^-1 (2Sg+)"
  PotentialCurve curve;  // bohr, hartree
  int missing = 0;       // distances without a finished ground state
  // Distances left out of the curve, with the reason (an ion's energy that
  // belongs to another state).
  std::vector<std::string> left_out;
};

// A state whose curve has a minimum: its index in the states, constants,
// levels on the shared grid, and for an ionic state the Franck–Condon
// factors from the molecule's v = 0.
struct AnalysedState {
  size_t index = 0;
  SpectroscopicConstants constants;
  VibrationalStates levels;
  std::vector<double> fc;
};

struct VibrationReport {
  std::vector<std::string> lines;  // the section of diatom.lst
  std::string table;               // vibration.dat
  VibrationGrid grid;
  std::vector<AnalysedState> analysed;
  // The molecule's v = 0 (analysed[0] is the molecule) and Franck–Condon
  // factors: the vibrationally resolved photoionisation can follow.
  bool resolved() const { return analysed.size() >= 2 && analysed[0].index == 0 && !analysed[0].levels.E.empty(); }
};

// The analysis of `states` for nuclei of atomic masses m1, m2 (electron
// masses).  States with fewer than the least distances, or no minimum
// between their ends, are named with the reason and left out.
VibrationReport vibration_report(const std::vector<StateCurve>& states, double m1, double m2);

}  // namespace diatom

// The molecule of a diatom run: group MOL checked and turned into nuclei,
// distances and occupied shells (closed, or one open shell and its term),
// the shells to ionise and the angular distributions asked for, before any
// program runs.
#pragma once

#include <string>
#include <vector>

#include "diatom/mol_group.hpp"
#include "diatom/shell.hpp"

namespace diatom {

// Molecular-frame distributions asked for in group MOL: photon energies
// (eV) and polarisation angles (degrees from the axis: 0 and 90, then the
// user's).
struct MfpadRequest {
  std::vector<double> ev, angles;
  bool empty() const { return ev.empty(); }
};

// A checked description: closed shells, or one open shell outside them.
struct Molecule {
  double Z1 = 0, Z2 = 0;
  std::vector<double> RZ;     // one distance, or the distances of a scan
  int electrons = 0;          // Z1 + Z2 − Q
  bool equal_nuclei = false;  // partial-wave step 2 and g/u symmetry
  std::vector<Shell> shells;  // in the order of the tovrel group
  // What diatom chose for the user: the configuration when SHELLS is not
  // given, the order of the shells when it is not that of SHELLS.
  std::vector<std::string> notes;
  std::vector<int> ionised;   // indices into `shells` (0-based), in the order of ION
  // The photoionisation runs: ION given, and with VIB = 1 a photon range
  // too (without one, ION names the ionic states of the curves only).
  bool photoionisation = false;
  MfpadRequest mfpad;         // molecular-frame distributions (none when empty)
  int open = -1;              // the open shell (index into `shells`), −1: closed shells
  std::string state;          // its term (STATE)
  // Vibration (VIB = 1): the curve's levels and, for each shell of ION, the
  // ion's curve; the atomic masses of the two nuclei (electron masses).
  bool vib = false;
  double mass1 = 0, mass2 = 0;
  bool one_electron() const { return electrons == 1; }
  int step() const { return equal_nuclei ? 2 : 1; }
  // Index of the shell called `name` (lower case), or −1.
  int find_shell(const std::string& name) const;
};

// The least charge of the second row (Na).  Its atoms' cores, deeper and
// farther from the midpoint than the first row's, ask for more than the
// first-row molecules did: the start from the separated ions
// (separated_ions.hpp), the solves kept orthogonal inside them
// (tovrel_controls.hpp) and a narrower inner region (accuracy.cpp).
inline constexpr double kSecondRowZ = 11.0;

// Whether two charges count as equal nuclei (the ground-state program's own test).
bool equal_nuclei(double Z1, double Z2, double RZ);

// Checks group MOL and turns it into the molecule; every refusal names the
// file, the group, the variable and the value.
Molecule describe_molecule(const MOL& mol, const std::string& file);

}  // namespace diatom

// The molecule of a diatom run: group MOL of the control file, the occupied
// shells by name, and the checks that make a closed-shell description out of
// them before any program runs.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "io/namelist.hpp"
#include "io/unit.hpp"

namespace diatom {

// Most distances of a potential-curve scan.
inline constexpr int kMaxDistances = 40;

// Group MOL of the control file.
struct MOL {
  std::string TIT;                         // title of the listings
  double Z1 = 0, Z2 = 0;                   // nuclear charges
  std::array<double, kMaxDistances> RZ{};  // distance(s) in bohr; more than one: a scan
  double Q = 0;                            // net charge of the molecule
  std::string SHELLS;                      // occupied shells, e.g. '1sg 1su 2sg 2su 3sg 1pu'; '1pg2': 2 electrons
  std::string STATE;                       // the term of an open shell, e.g. '3Sg-', '2Pi'
  double TOL = 1.0e-6;                     // target error of the orbital energies (hartree)
  int CHECK = 0;                           // 1: rerun with more partial waves and points, report the change
  int NPW = 0, NB = 0;                     // partial waves per shell and grid points; 0: from TOL
  double RB = 0;                           // outer end of the grid (bohr from the bond midpoint); 0: from TOL
  int START = 1;                           // 1: a fine grid starts from the orbitals of the TOL = 1e-6 grid; 0: from none
  std::string ION;                         // shells to ionise, e.g. '3sg 1pu 2su'
  double EMIN = 0, EMAX = 0;               // photon energies (eV)
  double DK = 0.05;                        // momentum step of the continuum energies (1/bohr)
  int NK = 0;                              // number of momenta instead of DK (0: from DK)
  int IPOT = -1;                           // 0 bare nuclei, 1 static exchange; -1: 1 unless one electron
  int RPA = 0;                             // 1: RPA coupling the channels of all ionised shells
  int ND = 0;                              // bound functions per final symmetry (RPA)
  int NL = 0;                              // continuum solutions kept per energy; 0: 4, or all with BETA or MFPAD
  std::string REF;                         // file of reference points for the plot (eV, Mb)
  int BETA = 0;                            // 1: asymmetry parameters beside the cross sections
  std::string MFPAD;                       // molecular-frame distributions: 'eV eV ... / degrees ...'
  io::Group group();
};

// One occupied shell: its name, symmetry and electrons.
struct Shell {
  std::string name;    // as the user wrote it, lower case: '3sg', '1pu', '4s'
  int n = 0;           // number within its symmetry (1 for the lowest)
  int M = 0;           // projection |m| of the orbital momentum on the axis
  int L0 = 0;          // first momentum of its partial waves
  char parity = 0;     // 'g', 'u', or 0 for unequal nuclei
  int occupation = 0;  // electrons written after the name ('1pg2'); 0: full
  int full() const { return M == 0 ? 2 : 4; }
  int electrons() const { return occupation != 0 ? occupation : full(); }
  bool open() const { return electrons() < full(); }
  // Shells of one symmetry share M and L0 (and so their partial waves).
  bool same_symmetry(const Shell& o) const { return M == o.M && L0 == o.L0; }
  // The symmetry in print: 'sigma_g', 'pi_u', 'sigma'.
  std::string symmetry() const;
};

// Molecular-frame distributions asked for in group MOL: photon energies
// (eV) and polarisation angles (degrees from the axis: 0 and 90, then the
// user's).
struct MfpadRequest {
  std::vector<double> ev, angles;
  bool empty() const { return ev.empty(); }
};

// A checked closed-shell description.
struct Molecule {
  double Z1 = 0, Z2 = 0;
  std::vector<double> RZ;     // one distance, or the distances of a scan
  int electrons = 0;          // Z1 + Z2 − Q
  bool equal_nuclei = false;  // partial-wave step 2 and g/u symmetry
  std::vector<Shell> shells;  // in the order of the tovrel group
  std::vector<int> ionised;   // indices into `shells` (0-based), in the order of ION
  MfpadRequest mfpad;         // molecular-frame distributions (none when empty)
  int open = -1;              // the open shell (index into `shells`), −1: closed shells
  std::string state;          // its term (STATE)
  bool one_electron() const { return electrons == 1; }
  int step() const { return equal_nuclei ? 2 : 1; }
  // Index of the shell called `name` (lower case), or −1.
  int find(const std::string& name) const;
};

// Whether two charges count as equal nuclei (the ground-state program's own test).
bool equal_nuclei(double Z1, double Z2, double RZ);

// Parses a shell name such as '3sg' or '1p', optionally with its electrons
// ('1pg2', '5s1'); stops with a message naming `where` and the name when it
// is not one.
Shell parse_shell(const std::string& name, bool equal, const std::string& where);

// Checks group MOL and turns it into the molecule; every refusal names the
// file, the group, the variable and the value.
Molecule describe(const MOL& mol, const std::string& file);

// Reads group MOL from `file`.
MOL read_mol(const std::string& file);

}  // namespace diatom

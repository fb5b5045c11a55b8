// Group MOL: the control file of a diatom run, as the user writes it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "io/namelist.hpp"

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
  int START = 1;              // 1: a fine grid starts from the orbitals of the TOL = 1e-6 grid; 0: from none
  int ORDER = 1;              // 1: shells solved in the separated atoms' order of energies; 0: as SHELLS lists them
  std::string ION;            // shells to ionise, e.g. '3sg 1pu 2su'
  double EMIN = 0, EMAX = 0;  // photon energies (eV)
  double ETOP = 0;            // photon energy (eV) of the continuum's top for the RPA's integrals; 0: EMAX
  double DK = 0.05;           // momentum step of the continuum energies (1/bohr)
  int NK = 0;                 // number of momenta instead of DK (0: from DK)
  int IPOT = -1;              // 0 bare nuclei, 1 static exchange; -1: 1 unless one electron
  int RPA = 0;                // 1: RPA coupling the channels of all ionised shells
  int ND = 0;                 // bound functions per final symmetry (RPA)
  int NL = 0;                 // continuum solutions kept per energy; 0: 4, or all with BETA or MFPAD
  std::string REF;            // file of reference points for the plot (eV, Mb)
  int BETA = 0;               // 1: asymmetry parameters beside the cross sections
  double STOL = 0.01;         // target error of the cross sections (relative), against CHECK's estimates
  double BTOL = 0.02;         // target error of β (absolute), against CHECK's estimates
  std::string MFPAD;          // molecular-frame distributions: 'eV eV ... / degrees ...'
  int VIB = 0;                // 1: vibrational levels and Franck–Condon factors from a potential curve
  std::array<double, 2> MASS{};  // atomic masses (u) of the two nuclei for VIB; 0: the most abundant isotope
  // The variables the control file names (upper case); not a variable of
  // the group.  A variable that has no effect in the run is refused or noted
  // by the checks of the molecule, which need to know what was written.
  std::vector<std::string> named;
  bool given(const std::string& var) const;
  // The group, read strictly: a variable (an element of RZ) given twice
  // stops the read naming both records, and text lengths count characters.
  io::Group group();
};

// Reads group MOL from `file`.
MOL read_mol(const std::string& file);

// How the values of two MOL groups differ: one line per variable,
// "TOL = 1.0E-07 in 'a', 1.0E-06 in 'b'" (the values as the group writes
// them); empty when every value agrees.
std::vector<std::string> mol_differences(MOL a, MOL b, const std::string& name_a, const std::string& name_b);

}  // namespace diatom

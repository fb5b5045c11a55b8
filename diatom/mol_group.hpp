// Group MOL: the control file of a diatom run, as the user writes it.
#pragma once

#include <array>
#include <string>

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
  std::string ION;            // shells to ionise, e.g. '3sg 1pu 2su'
  double EMIN = 0, EMAX = 0;  // photon energies (eV)
  double DK = 0.05;           // momentum step of the continuum energies (1/bohr)
  int NK = 0;                 // number of momenta instead of DK (0: from DK)
  int IPOT = -1;              // 0 bare nuclei, 1 static exchange; -1: 1 unless one electron
  int RPA = 0;                // 1: RPA coupling the channels of all ionised shells
  int ND = 0;                 // bound functions per final symmetry (RPA)
  int NL = 0;                 // continuum solutions kept per energy; 0: 4, or all with BETA or MFPAD
  std::string REF;            // file of reference points for the plot (eV, Mb)
  int BETA = 0;               // 1: asymmetry parameters beside the cross sections
  std::string MFPAD;          // molecular-frame distributions: 'eV eV ... / degrees ...'
  io::Group group();
};

// Reads group MOL from `file`.
MOL read_mol(const std::string& file);

}  // namespace diatom

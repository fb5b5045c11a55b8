// Reading back what the programs wrote: the orbital energies of a tovrel
// result file, the energy block of its listing, and the cross sections of an
// xsect listing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace diatom {

// The ground state of a tovrel run.
struct GroundState {
  std::vector<double> orbital;           // ε of each shell, in the order of the group
  std::map<std::string, double> totals;  // "TOTAL ENERGY", "VIRIAL RATIO", ... when tovrel printed them
  bool precise = false;                  // orbital energies from the energy block (else nine digits)
  // |dE/dθ| (hartree per radian) of each open shell (index from 0) turned
  // against a closed shell of its symmetry, the largest over those shells,
  // when tovrel printed the Brillouin gradients.
  std::map<size_t, double> brillouin;
};

// The ground state of the tovrel run in `folder` (mol.res, with mol.lst or
// tovrel.out for the energy block): the orbital energies of the result file,
// replaced by the full values of the energy block when tovrel printed one.
GroundState read_ground_state(const std::string& folder);

// Why the orbitals of a finished tovrel listing are not a self-consistent
// solution, or nothing when they are: the electronic energy from the orbital
// energies and the same energy summed directly from the one- and two-electron
// terms differ by more than kIdentityGap (they agree to about EPS when the
// orbitals solve their equations), or the Brillouin gradient between the
// open shell and a closed shell of its symmetry exceeds kBrillouinGap (about
// 1e-8 at convergence).  Either means the sweeps came to rest on orbitals
// that are not the state asked for.
inline constexpr double kIdentityGap = 1.0e-3;
inline constexpr double kBrillouinGap = 1.0e-3;
std::optional<std::string> ground_state_defect(const std::string& listing);

// The largest |Brillouin gradient| of each open shell (index from 0) in a
// tovrel listing, from its lines "BRILLOUIN GRADIENT OF SHELLS o AND c = g".
std::map<size_t, double> brillouin_gradients(const std::string& listing);

// The values ORBITAL ENERGY(1) … ORBITAL ENERGY(n) of an energy block; empty
// unless all n are there.
std::vector<double> block_orbital_energies(const std::map<std::string, double>& block, size_t n);

// The orbital energies of a tovrel result file (the orbital block after the
// echo of group D00); stops naming the file when it holds none.
std::vector<double> result_energies(const std::string& file);

// The lines "NAME = value" of tovrel's energy block (TOTAL ENERGY,
// NUCLEAR REPULSION, ELECTRONIC ENERGY, KINETIC ENERGY, VIRIAL RATIO,
// ORBITAL ENERGY(I)) found in `text`; empty when tovrel printed none.
std::map<std::string, double> energy_block(const std::string& text);

// What a program of the suite gave as its reason to stop: the last
// non-blank line before its closing line (io::kStopLine) in its console
// file `file`, trimmed (at most 300 characters); empty when the console has
// no closing line (a program killed, or one that crashed).
std::string stop_message(const std::string& file);

// One cross-section table: photon energy (hartree), length and velocity (Mb).
struct Curve {
  std::vector<double> omega, L, V;
  // Linear interpolation at photon energy w; nothing outside the table.
  std::optional<std::pair<double, double>> at(double w) const;
};

// The channels of an xsect listing: Hartree–Fock cross sections (photon
// energy = photoelectron energy − threshold; bound extra functions left out)
// and, when the listing has them, the RPA cross sections.
struct XsectListing {
  std::vector<double> threshold;  // per channel (hartree, the orbital energy)
  std::vector<Curve> hf, rpa;     // per channel; rpa empty without RPA
};
// `file` names the listing in the stop on a malformed channel number.
XsectListing read_xsect_listing(const std::string& text, const std::string& file = "xsect.lst");

}  // namespace diatom

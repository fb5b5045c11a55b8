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
};

// The ground state of the tovrel run in `folder` (mol.res, with mol.lst or
// tovrel.out for the energy block): the orbital energies of the result file,
// replaced by the full values of the energy block when tovrel printed one.
GroundState read_ground_state(const std::string& folder);

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
XsectListing read_xsect_listing(const std::string& text);

// Reads a whole file; stops naming it when it cannot be read.
std::string slurp(const std::string& file);

}  // namespace diatom

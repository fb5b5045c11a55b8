// Molecular-frame photoelectron angular distributions in diatom's results
// (group MOL, MFPAD): xsect's table read back, put into the target's
// physical values, and written as a table, a listing and polar plots.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "diatom/molecule.hpp"

namespace diatom {

// One distribution of xsect's table: method, shell number, photon energy
// (hartree), polarisation (degrees), its nodes line, σ of the orientation
// and the rows θ, φ, length, velocity (Mb, Mb/sr; as xsect counts them).
struct MfpadBlock {
  bool rpa = false;
  int shell = 0;
  double omega = 0.0, chi = 0.0, sigmaL = 0.0, sigmaV = 0.0;
  std::string nodes;
  std::vector<std::array<double, 4>> rows;
};
struct MfpadFile {
  std::vector<MfpadBlock> blocks;
  std::vector<std::string> notes;
};
MfpadFile read_mfpad_table(const std::string& text);

// mfpad.dat: the blocks with the shells by name and the values of the target
// (times `weight`: 1/2 for one electron, xsect counting two in every orbital).
std::string mfpad_table(const Molecule& m, const MfpadFile& f, double weight);
// The listing's summary: σ of each orientation, and xsect's notes.
std::string mfpad_listing(const Molecule& m, const MfpadFile& f, double weight);
// A gnuplot script drawing, per shell, polar plots in the plane of the axis
// and the polarisation (one panel per photon energy and angle) into
// mfpad-SHELL.png, from `data` (mfpad.dat).
std::string mfpad_plot(const Molecule& m, const MfpadFile& f, double weight, const std::string& data,
                       const std::string& title);

}  // namespace diatom

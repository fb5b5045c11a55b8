// Angular distributions in diatom's results: the asymmetry parameter β of
// every channel and ionised shell beside the cross sections (group MOL,
// BETA = 1), and the molecular-frame distributions of the photon energies
// and polarisations that MFPAD asks for.  xsect computes both from the
// amplitudes of the channels; diatom reads its tables back, puts β on the
// photon energies of the cross sections and the distributions into the
// target's physical values, and writes the tables, listing and plots.
#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "diatom/channels.hpp"
#include "diatom/molecule.hpp"
#include "diatom/report.hpp"

namespace diatom {

// ------------------------------------------------------------------ the request

// MFPAD = 'E1 E2 … / A1 A2 …': photon energies (eV, within EMIN … EMAX),
// then after '/' polarisation angles (degrees from the axis, 0 … 180) beside
// 0 and 90, which are always given.  Empty: none.  Stops naming `where`
// and the value for anything else, and for more energies or angles than
// xsect takes.
MfpadRequest parse_mfpad(const MOL& mol, const std::string& where);

// Continuum solutions kept per energy: NL when given; otherwise every one a
// channel file can hold (min(waves, 7), with `waves` the partial waves of the
// channels) when β or molecular-frame distributions are asked for, since
// a truncated set cuts the partial waves the dipole reaches; 4 otherwise.
int solutions_kept(const MOL& mol, const Molecule& m, int waves);

// ------------------------------------------------------------------ β

// One block of xsect's table of asymmetry parameters: photon energy
// (hartree), σ and β in length and velocity form (NaN where β is not
// available).
struct BetaBlock {
  std::vector<double> omega, sigmaL, sigmaV, betaL, betaV;
};
// The blocks by their heading without its parenthesis ("HF shell 5",
// "RPA channel 2").
std::map<std::string, BetaBlock> read_beta_table(const std::string& text);

// β (length, velocity) at photon energy w (hartree), interpolated as the
// distribution is: σ and σ·β linearly between the neighbouring rows; NaN
// outside the block or next to a row without β.
std::pair<double, double> beta_at(const BetaBlock& b, double w);

// β of every channel and ionised shell on the photon energies of the cross
// sections: [HF L, HF V, RPA L, RPA V][channel or shell][row], NaN where not
// available.  The shells are those of cs.shell_names (in the order of
// their first channel).
struct Asymmetries {
  std::vector<std::vector<double>> channel[4], shell[4];
};
Asymmetries asymmetries(const std::vector<Channel>& ch, const CrossSections& cs,
                        const std::map<std::string, BetaBlock>& table);

// beta.dat: photon energy, then β of each channel, then of each shell.
std::string beta_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const Asymmetries& a);
// The listing's tables: per shell its channels and the shell.
std::string beta_listing(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                         const Asymmetries& a);
// The β panel beside the cross sections: the curves of `data` (beta.dat)
// with the labels, colours and line styles of the cross-section plot, and
// the third column of the reference points `ref` (measured β) when not empty.
std::string beta_panel(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const std::string& data, const std::string& ref = "");

// Whether a file of reference points gives β: a third number on a line that
// is not a comment ('-' in the second column stands for a cross section not given).
bool reference_has_beta(const std::string& path);

// ------------------------------------------------------------------ molecular frame

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

// ------------------------------------------------------------------ the step of a run

// After xsect in `run`: reads its tables (xsect.lst.beta, xsect.lst.mfpad)
// as MOL asks (NL the solutions kept, `waves` the partial waves of the
// channels), puts the shells' β into `cs`, writes beta.dat, mfpad.dat and
// mfpad.gp into `run`, and returns the listing's text and what the plot
// script adds (the β panel and the line that draws the distributions).
struct AngularResults {
  std::string listing, panel, after;
};
// `ref`, when not empty, names the reference points as the plot script reads them.
AngularResults angular_results(const Molecule& m, const MOL& mol, int waves, const std::vector<Channel>& ch,
                               CrossSections& cs, const std::string& run, const std::string& title,
                               const std::string& ref = "");

}  // namespace diatom

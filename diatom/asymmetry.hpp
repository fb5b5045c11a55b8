// The asymmetry parameter β in diatom's results (group MOL, BETA = 1): xsect's
// table of β read back, put on the photon energies of the cross sections for
// every channel and ionised shell, and written as a table, a listing and a
// plot panel beside the cross sections.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "diatom/channels.hpp"
#include "diatom/cross_sections.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

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
  // The estimated errors (the self-check; else empty), in the same shapes.
  std::vector<std::vector<double>> channel_error[4], shell_error[4];
};
Asymmetries asymmetries(const std::vector<Channel>& ch, const CrossSections& cs,
                        const std::map<std::string, BetaBlock>& table);

// beta.dat: photon energy, then β of each channel, then of each shell;
// with the errors, each β followed by its estimated error.
std::string beta_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const Asymmetries& a);
// The listing's tables: per shell its channels and the shell.
std::string beta_listing(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                         const Asymmetries& a);
// The β panel beside the cross sections: the curves of `data` (beta.dat,
// with the errors of `a` when it has them) with the labels, colours and
// line styles of the cross-section plot, and
// the third column of the reference points `ref` (measured β) when not empty.
std::string beta_panel(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const std::string& data, const std::string& ref = "");

// Whether a file of reference points gives β: a third number on a line that
// is not a comment ('-' in the second column stands for a cross section not given).
bool reference_has_beta(const std::string& path);

}  // namespace diatom

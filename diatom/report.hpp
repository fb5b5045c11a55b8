// The results of a diatom run: weighted partial and total cross sections
// as one table, its listing form, and the gnuplot script that draws it.
#pragma once

#include <string>
#include <vector>

#include "diatom/channels.hpp"
#include "diatom/listings.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

// Cross sections on the photon energies of all channels (eV): per channel
// (weighted), per shell and in total; NaN where a shell's channels do not
// reach the energy.
struct CrossSections {
  std::vector<double> ev;
  std::vector<std::string> shell_names;            // the ionised shells
  std::vector<std::vector<double>> shell[4];       // [HF L, HF V, RPA L, RPA V][shell][row]
  std::vector<double> total[4];                    // [kind][row]
  std::vector<std::vector<double>> channel[4];     // [kind][channel][row], weighted
  std::vector<std::vector<double>> shell_beta[4];  // [kind][shell][row]: β, when asked for (else empty)
  bool rpa = false;
};

// Weighs the listed channel values and adds them up by shell and in total.
CrossSections combine(const Molecule& m, const std::vector<Channel>& ch, const XsectListing& x);

// The table as text: a comment head naming the columns, one row per photon
// energy, Mb; '-' where a value is missing.  With β, each shell's β columns
// follow its cross sections.
std::string shell_table(const CrossSections& cs);
std::string channel_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs);

// A gnuplot script drawing the channel and total curves of channel_table
// (file `data`) into `png`: length solid, velocity dashed, one colour per
// channel labelled by shell and final symmetry; reference points from `ref`
// (two columns, eV and Mb) when not empty.
// With `panel` (a second plot: β) the two are drawn side by side; `after`
// ends the script (further plots into other files).
std::string plot_script(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                        const std::string& data, const std::string& png, const std::string& ref,
                        const std::string& title, const std::string& panel = "", const std::string& after = "");

}  // namespace diatom

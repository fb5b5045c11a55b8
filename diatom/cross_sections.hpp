// The cross sections of a diatom run: the listed channel values weighted
// into partial and total cross sections, their tables, and the gnuplot
// script that draws them.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "diatom/channels.hpp"
#include "diatom/listings.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

// The four kinds of every value: Hartree–Fock and RPA, length and velocity form.
inline constexpr const char* kKindNames[4] = {"HF_L", "HF_V", "RPA_L", "RPA_V"};
// A value that is not available: a channel that does not reach the energy,
// β next to a node without it.
inline constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

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
  // The estimated errors of the values above (the self-check; else empty),
  // in the same shapes; NaN where a value or its check is not available.
  std::vector<std::vector<double>> shell_error[4];
  std::vector<double> total_error[4];
  std::vector<std::vector<double>> shell_beta_error[4];
  bool errors() const { return !total_error[0].empty(); }
};

// Weighs the listed channel values and adds them up by shell and in total.
CrossSections combine_channels(const Molecule& m, const std::vector<Channel>& ch, const XsectListing& x);

// The table as text: a comment head naming the columns, one row per photon
// energy, Mb; '-' where a value is missing.  With β, each shell's β columns
// follow its cross sections.  With the errors, each value is followed by
// its estimated error (a column headed '+-').
std::string shell_table(const CrossSections& cs);
std::string channel_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs);

// The files and the extras of the plot of a run's cross sections.
struct CrossSectionPlot {
  std::string data;   // the channel table it draws (channels.dat)
  std::string png;    // the image it writes
  std::string ref;    // reference points (two columns, eV and Mb), or ""
  std::string title;  // the plot's title
  std::string panel;  // a second plot beside it (β), or ""
  std::string after;  // lines that end the script (further plots into other files), or ""
  std::string table = "diatom.dat";  // the shell table, with the errors
};

// `text` as a gnuplot string: in double quotes as it stands, unless it
// holds a character that gnuplot would act on there (a backquote runs a
// shell command, a backslash escapes, a double quote ends the string); then
// in single quotes, where gnuplot takes every character as it is (a single
// quote doubled).
std::string gnuplot_text(const std::string& text);

// A gnuplot script drawing the channel and total curves of channel_table
// (file `plot.data`) into `plot.png`: length solid, velocity dashed, one
// colour per channel labelled by shell and final symmetry; the reference
// points when named.  With a panel the two plots are drawn side by side.
// With the errors, the total's estimated error as a band behind the
// curves, from `plot.table` (the shell table).
std::string plot_script(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                        const CrossSectionPlot& plot);

}  // namespace diatom

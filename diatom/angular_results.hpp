// The angular step of a diatom run after xsect: β beside the cross sections
// and the molecular-frame distributions, as group MOL asks for them, read
// from xsect's tables and written into the run folder.
#pragma once

#include <string>
#include <vector>

#include "diatom/channels.hpp"
#include "diatom/cross_sections.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

// After xsect in `run`: reads its tables (xsect.lst.beta, xsect.lst.mfpad)
// as MOL asks (NL the solutions kept, `waves` the partial waves of the
// channels), puts the shells' β into `cs`, writes beta.dat, mfpad.dat and
// mfpad.gp into `run`, and returns the listing's text and what the plot
// script adds (the β panel and the line that draws the distributions).
struct AngularResults {
  std::string listing, panel, after;
};
// `ref`, when not empty, names the reference points as the plot script reads them.
// `check`, when not empty, is the folder of the self-check's xsect: each β
// then carries its estimated error (cs.shell_beta_error, beta.dat).
AngularResults angular_results(const Molecule& m, const MOL& mol, int waves, const std::vector<Channel>& ch,
                               CrossSections& cs, const std::string& run, const std::string& title,
                               const std::string& ref = "", const std::string& check = "");

}  // namespace diatom

// The vibrationally resolved photoionisation in print: per ionic state and
// method, σ and β of each level v′ of the ion against the photon energy
// (vibronic.dat), and in diatom.lst the vibronic thresholds, the branching
// ratios σ(v′)/σ(0) beside the Franck–Condon ratios, and the closure of the
// sum over v′ against the cross section averaged over the molecule's v = 0.
#pragma once

#include <string>
#include <vector>

#include "diatom/vibronic_photo.hpp"

namespace diatom {

struct VibronicState {
  std::string label;   // "3sg^-1 (2Sg+)"
  std::string method;  // "HF" or "RPA"
  std::vector<double> fc;
  VibronicResult result;
};

std::vector<std::string> vibronic_lines(const std::vector<VibronicState>& states);
std::string vibronic_table(const std::vector<VibronicState>& states);

// A gnuplot script drawing vibronic.dat into vibronic.png: per state and
// method the branching ratios σ(v′)/σ(0) (length solid, velocity dashed)
// beside the Franck–Condon ratios (thin), and β(v′).
std::string vibronic_plot(const std::vector<VibronicState>& states, const std::string& title);

}  // namespace diatom

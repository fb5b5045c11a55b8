// The ground-state file: group S00 (the molecule, the shells and the grid)
// followed by the orbital block of a converged tovrel run.  gsfile writes it;
// xsect, xsect_a and chanfile read it and check it here, so that the three
// programs agree on what a ground-state file may hold.
#pragma once

#include <array>
#include <string>

#include "io/namelist.hpp"

namespace lib {

// Inner grid points of a ground-state file: the dipole elements and the
// photoionisation kernels are written for five.
inline constexpr int kNA = 5;

// Group S00 of the ground-state file; the variables the programs do not use
// are read and kept so that existing files are accepted unchanged.
struct GroundStateGroup {
  double Z1 = 0, Z2 = 0, RZ = 0;
  int NSH = 0;
  std::array<int, 3 * 9> MLN{};
  std::array<double, 150> AHF{}, BHF{};
  int NA = 0, NB = 0;
  std::array<double, 10> RP{};
  double EPS = 0;
  std::array<int, 8> MI{};
  std::array<int, 100> JOR{};
  std::string FD;
  // The group as the programs read it.  FIL and FIR are the variables of the
  // photoionisation control group S40: pass them in.
  io::Group group(std::string& FIL, std::array<std::string, 10>& FIR);
  // The group as gsfile writes it: Z1, Z2, RZ, NSH, MLN, NA, NB, RP and EPS.
  // FIL and FIR are not named, so that a reader keeps those of its control
  // group.
  io::Group written_group();
};

// Stops with the file, group and variable named when a ground-state group
// does not describe a grid and shells the photoionisation programs can use.
void check_ground_state(const GroundStateGroup& g, const std::string& file);

}  // namespace lib

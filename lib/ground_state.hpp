// The ground-state file: group S00 (the molecule, the shells and the grid)
// followed by the orbital block of a converged tovrel run.  gsfile writes it;
// xsect, xsect_a and chanfile read it and check it here, so that the three
// programs agree on what a ground-state file may hold.
#pragma once

#include <array>
#include <string>

#include "io/namelist.hpp"
#include "lib/ground_state_fields.hpp"

namespace lib {

// Inner grid points of a ground-state file: the dipole elements and the
// photoionisation kernels are written for five.
inline constexpr int kNA = 5;

// Group S00 of the ground-state file: up to 9 shells, AHF and BHF of 150
// words, MI(8), JOR of 100 words, and the file name FD.  The variables the
// programs do not use are read and kept so that existing files are accepted
// unchanged.
// Legacy name: S00.
struct GroundStateGroup : GroundStateFields<9, 150, 8, 100> {
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

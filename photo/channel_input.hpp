// The functions of one ionisation channel as the driver reads them: the
// continuum solutions of its channel file (lib/channel_file.hpp) and its
// extra functions (an orbital block, lib/orbital_file.hpp).  The reading
// itself is part of the driver (channel_input.cpp), whose tables it fills.
#pragma once

#include <array>

#include "lib/views.hpp"

namespace photo {

// The functions of one channel as read from its files.
struct ChannelFiles {
  int NSI = 0;
  double P0 = 0, DP = 0;
  int NC = 0;               // continuum energies (after the cap)
  std::array<int, 3> MN{};  // final state: M, L0, NX
  int NL = 0;               // solutions per energy
  int ND = 0;               // extra functions
  int NX() const { return MN[2]; }
  int NE() const { return NC + ND; }
  int NCU() const { return NC * NL + ND; }
};

// Column offsets LC(I) = (I−1)·NX of the NL solutions inside a group.
void set_solution_offsets(const ChannelFiles& ch, lib::IVec LC);

}  // namespace photo

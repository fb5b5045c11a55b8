// The channel file: the continuum functions of one ionisation channel on
// the radial grid, written by chanfile and read by xsect and xsect_a.
//
//   header          NSI, P0, DP                          list-directed
//                   NC / M, L0, NX                        (I5,/,3I4)
//   per energy      NL, NX, E                             (I5,5X,I5,5X,E16.9)
//    per solution   its number JL                         (I7)
//                   the NX amplitudes AC, then AS         (4E15.6), each from a new record
//                   its NX radial columns of NB values    (5E16.9), each from a new record
//
// NSI is the ionised shell, P0 and DP the first momentum and the step of the
// channel's momentum grid, NC the number of energies, (M, L0, NX) the final
// state's projection, first momentum and partial waves.  The radial columns
// are in the stored form of the grid; the amplitudes keep six digits, the
// columns and energies nine.
#pragma once

#include <array>

#include "lib/views.hpp"

namespace io {
class Unit;
}

namespace lib {

// The header of a channel file.
struct ChannelHeader {
  int NSI = 0;
  double P0 = 0.0, DP = 0.0;
  int NC = 0;
  std::array<int, 3> MN{};  // final state: M, L0, NX
};

void write_channel_header(io::Unit& u, const ChannelHeader& h);
// Reads the header records; the caller checks the values.
ChannelHeader read_channel_header(io::Unit& u);

// One energy block: NL solutions of NX partial waves at energy E, solution
// JL with the amplitudes AC((JL−1)·NX + K), AS(…) and the radial columns
// X(·, (JL−1)·NX + K), K = 1 … NX, of NB values.
void write_energy_block(io::Unit& u, int NB, int NL, int NX, double E, CVec AC, CVec AS, CMat X);
// Reads one energy block from NF: the header (NL, NX, EC), then per solution
// the index record, the NX cosine and NX sine amplitudes and its NX radial
// columns.  The counts of the header replace NL and NX; AC and AS keep the
// leading dimension NX had on entry, so a block whose solutions hold more
// waves than that would overwrite one solution's amplitudes with the next
// and is refused, as is a block that does not fit AC, AS or X.
// Legacy name: REWFC.
void read_energy_block(int NB, int& NL, int& NX, double& EC, Vec AC, Vec AS, Mat X, io::Unit& NF);

}  // namespace lib

// The records of the channel file, written and read with one set of formats.
#include "lib/channel_file.hpp"

#include <string>

#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/unit.hpp"

namespace lib {

namespace {

const io::Format& channel_header_format() {
  static const io::Format f("(I5,/,3I4)");
  return f;
}
const io::Format& energy_header_format() {
  static const io::Format f("(I5,5X,I5,5X,E16.9)");
  return f;
}
const io::Format& solution_index_format() {
  static const io::Format f("(I7)");
  return f;
}
const io::Format& amplitude_format() {
  static const io::Format f("(4E15.6)");
  return f;
}
const io::Format& radial_column_format() {
  static const io::Format f("(5E16.9)");
  return f;
}

}  // namespace

void write_channel_header(io::Unit& u, const ChannelHeader& h) {
  io::lwrite(u, h.NSI, h.P0, h.DP);
  io::fwrite(u, channel_header_format(), h.NC, h.MN[0], h.MN[1], h.MN[2]);
}

ChannelHeader read_channel_header(io::Unit& u) {
  ChannelHeader h;
  io::lread(u, h.NSI, h.P0, h.DP);
  io::fread(u, channel_header_format(), h.NC, h.MN[0], h.MN[1], h.MN[2]);
  return h;
}

void write_energy_block(io::Unit& u, int NB, int NL, int NX, double E, CVec AC, CVec AS, CMat X) {
  io::fwrite(u, energy_header_format(), NL, NX, E);
  for (int JL = 1; JL <= NL; ++JL) {
    io::fwrite(u, solution_index_format(), JL);
    io::fwrite(u, amplitude_format(), AC.sub((JL - 1) * NX + 1, NX));
    io::fwrite(u, amplitude_format(), AS.sub((JL - 1) * NX + 1, NX));
    for (int K = 1; K <= NX; ++K) io::fwrite(u, radial_column_format(), X.col((JL - 1) * NX + K).sub(1, NB));
  }
}

void read_energy_block(int NB, int& NL, int& NX, double& EC, Vec AC, Vec AS, Mat X, io::Unit& NF) {
  const int lead = NX;
  io::fread(NF, energy_header_format(), NL, NX, EC);
  if (NL > 1 && NX > lead) {
    NF.fail("the energy block holds " + std::to_string(NX) + " partial waves per solution, more than the " +
            std::to_string(lead) + " its amplitude tables are laid out for");
  }
  const int nx = NX > 0 ? NX : 0;
  if (NL > 0) {
    const long last = static_cast<long>(NL - 1) * (lead > 0 ? lead : 0) + nx;
    if (last > AC.size() || last > AS.size()) {
      NF.fail("the amplitudes of " + std::to_string(NL) + " solutions do not fit the amplitude tables");
    }
    if (static_cast<long>(NL) * nx > X.cols() || (nx > 0 && X.rows() < NB)) {
      NF.fail("the " + std::to_string(NL) + " x " + std::to_string(nx) +
              " radial columns do not fit the function table");
    }
  }
  for (int JL = 1; JL <= NL; ++JL) {
    int unused = 0;
    io::fread(NF, solution_index_format(), unused);
    const int first = (JL - 1) * lead + 1;
    io::fread(NF, amplitude_format(), AC.sub(nx > 0 ? first : 1, nx));
    io::fread(NF, amplitude_format(), AS.sub(nx > 0 ? first : 1, nx));
    for (int K = 1; K <= nx; ++K) io::fread(NF, radial_column_format(), X.col((JL - 1) * nx + K).sub(1, NB));
  }
}

}  // namespace lib

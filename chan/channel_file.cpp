// The channel file: its header and its energy blocks in the layout the
// photoionisation programs read.  Only layout here; the blocks are computed
// elsewhere.
#include "chan/channel.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"

namespace chan {

void write_channel_header(io::Unit& u, int NSI, double P0, double DP, int NC, const Waves& w) {
  io::lwrite(u, NSI, P0, DP);
  static const io::Format f("(I5,/,3I4)");
  io::fwrite(u, f, NC, w.M, w.L0, w.n);
}

void write_block(io::Unit& u, int NB, const Block& b) {
  static const io::Format header("(I5,5X,I5,5X,E16.9)");
  static const io::Format index("(I7)");
  static const io::Format amplitudes("(4E15.6)");
  static const io::Format radial("(5E16.9)");
  io::fwrite(u, header, b.NL, b.NX, b.E);
  lib::CMat X = b.x(NB);
  for (int JL = 1; JL <= b.NL; ++JL) {
    io::fwrite(u, index, JL);
    io::fwrite(u, amplitudes, CVec(b.AC.data() + static_cast<size_t>((JL - 1) * b.NX), b.NX));
    io::fwrite(u, amplitudes, CVec(b.AS.data() + static_cast<size_t>((JL - 1) * b.NX), b.NX));
    for (int K = 1; K <= b.NX; ++K) io::fwrite(u, radial, X.col((JL - 1) * b.NX + K));
  }
}

}  // namespace chan

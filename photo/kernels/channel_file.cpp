// One energy block of a channel file, read as the photoionisation drivers
// take it: the header (NL, NX, EC), then per solution its asymptotic
// amplitudes and its radial columns (the layout chanfile writes).
#include <string>

#include "io/format.hpp"
#include "io/unit.hpp"
#include "photo/kernels/kernels.hpp"

namespace photo {

// Reads, from unit NF: the header (NL, NX, EC), then per solution an index
// record, the NX cosine and NX sine amplitudes (four per record) and its NX
// radial columns (five values per record, each column on new records).  The
// counts of the header replace NL and NX; AC and AS keep the leading
// dimension NX had on entry, so a file whose solutions hold more waves than
// that would overwrite one solution's amplitudes with the next and is
// refused.
void REWFC(int NB, int& NL, int& NX, double& EC, Vec AC, Vec AS, Mat X, io::Unit& NF) {
  static const io::Format header("(I5,5X,I5,5X,E16.9)");
  static const io::Format index("(I7)");
  static const io::Format amplitudes("(4E15.6)");
  static const io::Format radial("(5E16.9)");

  const int lead = NX;
  io::fread(NF, header, NL, NX, EC);
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
    io::fread(NF, index, unused);
    const int first = (JL - 1) * lead + 1;
    io::fread(NF, amplitudes, AC.sub(nx > 0 ? first : 1, nx));
    io::fread(NF, amplitudes, AS.sub(nx > 0 ? first : 1, nx));
    for (int K = 1; K <= nx; ++K) io::fread(NF, radial, X.col((JL - 1) * nx + K).sub(1, NB));
  }
}

}  // namespace photo

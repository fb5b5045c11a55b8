// The orbital file: the radial functions of all shells in fixed-width text.
//
//   header          NSH, N                          (I5,5X,I5)
//   per shell J     J, n_J / E(J), CN(J)            (I6,I5,/,2E20.9)
//   per wave        N values, five to a line        (5E16.9)
//
// Values are stored as the solver holds them (the physical function at the
// inner points, divided by the grid's scale factor at the outer points); the
// file carries no grid, so writer and reader must use the same one.  Nine
// significant digits are kept.
#include "lib/orbital_file.hpp"

#include <algorithm>
#include <string>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"

namespace lib {

namespace {
const io::Format& header_format() {
  static const io::Format f("(I5,5X,I5)");
  return f;
}
const io::Format& shell_format() {
  static const io::Format f("(I6,I5,/,2E20.9)");
  return f;
}
const io::Format& data_format() {
  static const io::Format f("(5E16.9)");
  return f;
}
}  // namespace

// Writes shells 1 … NSH: for each, its partial-wave count MLN(3,J), E(J),
// CN(J) and the NB values of the columns LK(J) … LK(J)+n_J−1 of X.
void write_orbital_block(int NSH, int NB, CIMat MLN, CIVec LK, CVec E, CVec CN, CMat X, io::Unit& NF) {
  io::fwrite(NF, header_format(), NSH, NB);
  for (int J = 1; J <= NSH; ++J) {
    io::fwrite(NF, shell_format(), J, MLN(3, J), E(J), CN(J));
    for (int k = 1; k <= MLN(3, J); ++k) io::fwrite(NF, data_format(), X.col(LK(J) + k - 1).sub(1, NB));
  }
}

// Reads one block: the counts come from the file, the shell numbers written
// there are not used.  Shell J goes to E(J), CN(J) and the columns LK(J) … of
// X, rows 1 … N.  A block that does not fit the caller's storage stops the run
// before anything is written past it.  With NW given (the partial waves per
// shell of the group that describes the block) the block must hold exactly
// NW.size() shells of NW(J) waves of NB values: a block from another run or
// another grid would otherwise be read as something it is not.  The file is
// one the programs wrote, so a short or blank numeric field is refused.
void read_orbital_block(int NB, CIVec LK, Vec E, Vec CN, Mat X, io::Unit& NF, CIVec NW) {
  NF.require_whole_fields();
  int NSH = 0, N = 0;
  read_orbital_header(NF, NSH, N);
  const bool described = NW.size() > 0;
  if (NSH < 0 || N < 0) {
    NF.fail("the orbital block header gives " + std::to_string(NSH) + " shells of " + std::to_string(N) + " values");
  }
  if (described && N != NB) {
    NF.fail("the orbital block has " + std::to_string(N) +
            " values per function; the grid of its group has NB = " + std::to_string(NB) + " points");
  }
  if (described && NSH != NW.size()) {
    NF.fail("the orbital block has NSH = " + std::to_string(NSH) + " shells; its group describes " +
            std::to_string(NW.size()));
  }
  if (N > NB || N > X.rows()) {
    NF.fail("the orbital block has " + std::to_string(N) + " values per function, more than the " + std::to_string(NB) +
            " grid points of this run");
  }
  if (NSH > LK.size() || NSH > E.size() || NSH > CN.size()) {
    NF.fail("the orbital block has " + std::to_string(NSH) + " shells, more than the " +
            std::to_string(std::min({LK.size(), E.size(), CN.size()})) + " this run has room for");
  }
  for (int J = 1; J <= NSH; ++J) {
    int number = 0, nJ = 0;
    double e = 0.0, cn = 0.0;
    io::fread(NF, shell_format(), number, nJ, e, cn);
    if (described && nJ != NW(J)) {
      NF.fail("shell " + std::to_string(J) + " of the orbital block has " + std::to_string(nJ) +
              " partial waves; its group gives the shell " + std::to_string(NW(J)));
    }
    if (nJ < 0 || (nJ > 0 && (LK(J) < 1 || static_cast<long>(LK(J)) + nJ - 1 > X.cols()))) {
      NF.fail("shell " + std::to_string(J) + " of the orbital block has " + std::to_string(nJ) +
              " partial waves, more than this run has room for");
    }
    E(J) = e;
    CN(J) = cn;
    for (int k = 1; k <= nJ; ++k)
      if (N > 0) io::fread(NF, data_format(), X.col(LK(J) + k - 1).sub(1, N));
  }
}

void read_orbital_header(io::Unit& NF, int& NSH, int& N) { io::fread(NF, header_format(), NSH, N); }

// The fields of "(I5,5X,I5)" and of the "I6,I5" that open a shell.
bool parse_orbital_header(const std::string& record, long& NSH, long& N) {
  return io::parse_int_field(record.substr(0, 5), NSH) &&
         io::parse_int_field(record.size() > 10 ? record.substr(10, 5) : "", N);
}

bool parse_orbital_shell(const std::string& record, long& number, long& n) {
  io::parse_int_field(record.substr(0, 6), number);
  return io::parse_int_field(record.size() > 6 ? record.substr(6, 5) : "", n);
}

}  // namespace lib

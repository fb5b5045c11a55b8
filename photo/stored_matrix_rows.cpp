#include "photo/stored_matrix_rows.hpp"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "io/format.hpp"
#include "photo/listing.hpp"

namespace photo {

namespace {

// RPA matrix rows: 17 significant digits, so that a double is read back
// exactly; files of nine digits (5E17.9) are read as well.
constexpr const char* kMatrixRows = "(5E25.17)";

}  // namespace

void write_matrix_rows(io::Unit& u, lib::CMat U, const PairBlock& b) {
  std::vector<double> row(static_cast<size_t>(2 * b.nz2_j));
  for (int I = 1; I <= 2 * b.nz2_i; ++I) {
    for (int J = 1; J <= 2 * b.nz2_j; ++J) row[static_cast<size_t>(J - 1)] = U(b.nz0_j + J, b.nz0_i + I);
    io::fwrite(u, record_format(kMatrixRows), row);
  }
}

void read_matrix_rows(io::Unit& u, lib::Mat U, int ICH, int JCH, const PairBlock& b, double mirror) {
  constexpr int kPerLine = 5;
  const int nz0_i = b.nz0_i, nz0_j = b.nz0_j;
  const int n = 2 * b.nz2_j;
  for (int I = 1; I <= 2 * b.nz2_i; ++I) {
    for (int J = 0; J < n;) {
      std::string line;
      const bool got = u.next_record(line);
      const int count = std::min(kPerLine, n - J);
      // The values of a row record are blank-separated and each carries its
      // decimal point; a pair or energy record is not such a line.
      std::istringstream fields(got ? line : std::string());
      std::string field;
      int read = 0;
      for (; read < count && fields >> field; ++read) {
        double v = 0.0;
        if (field.find('.') == std::string::npos || !io::parse_real_field(field, 0, v)) break;
        U(nz0_j + J + read + 1, nz0_i + I) = v;
        if (JCH != ICH) U(nz0_i + I, nz0_j + J + read + 1) = mirror * v;
      }
      if (read < count || fields >> field) {
        u.fail("the RPA matrix rows of channels " + std::to_string(ICH) + ", " + std::to_string(JCH) +
               " are missing after their pair record (row " + std::to_string(I) +
               "); an IRP = 1 run of xsect writes them to its FIR(1) with IWM = 1 in group &S40");
      }
      J += count;
    }
  }
}

}  // namespace photo

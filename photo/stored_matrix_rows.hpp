// The rows of the RPA matrix in the continuum data file: an IRP = 1 run with
// IWM = 1 writes the rows of each channel pair after its pair record, and an
// IRP = 2 run reads them back instead of building the matrix.
#pragma once

#include "io/unit.hpp"
#include "lib/views.hpp"

namespace photo {

// The block of one channel pair (I, J) in the RPA matrix U: the variables of
// channel I follow nz0_i and number 2·nz2_i (forward, then backward), those
// of channel J follow nz0_j and number 2·nz2_j.
struct PairBlock {
  int nz0_i = 0, nz2_i = 0, nz0_j = 0, nz2_j = 0;
};

// The rows U(nz0_j + j, nz0_i + i), j = 1 … 2·nz2_j, one record per i, with
// 17 significant digits, so that a double is read back exactly.
void write_matrix_rows(io::Unit& u, lib::CMat U, const PairBlock& b);
// Reads those rows of the pair of channels ICH, JCH back into U and, for
// two channels, `mirror` times them into the mirrored block; files of nine
// digits are read as well.  A record that is not a row of numbers stops the
// run with a message that the rows are missing and how to write them.
void read_matrix_rows(io::Unit& u, lib::Mat U, int ICH, int JCH, const PairBlock& b, double mirror);

}  // namespace photo

// The orbital file: the radial functions of all shells in fixed-width text.
// tovrel writes it after its group, gsfile copies it into the ground-state
// file and chanfile writes its extra functions in it; the photoionisation
// programs, chanfile and a restart of tovrel read it.
//
//   header          NSH, N                          (I5,5X,I5)
//   per shell J     J, n_J / E(J), CN(J)            (I6,I5,/,2E20.9)
//   per wave        N values, five to a line        (5E16.9)
#pragma once

#include <string>

#include "lib/views.hpp"

namespace io {
class Unit;
}

namespace lib {

// Writes the orbital block: header (NSH, NB), then per shell its number and
// partial-wave count MLN(3,J), E and CN, and each partial wave's NB values
// from the columns LK(J) … of X.
// Legacy name: WIFB.
void write_orbital_block(int NSH, int NB, CIMat MLN, CIVec LK, CVec E, CVec CN, CMat X, io::Unit& NF);
// Reads one orbital block; shell J of the file goes to E(J), CN(J) and the
// columns LK(J) ... of X.  Stops with a message when the block does not fit
// the caller's storage (N > NB, more shells than LK, E or CN hold, columns
// beyond X), or, with NW given, when it is not the block NW describes.
// Legacy name: REFB.
void read_orbital_block(int NB, CIVec LK, Vec E, Vec CN, Mat X, io::Unit& NF, CIVec NW = {});
// Reads the header record of an orbital block (NSH, N) and nothing more.
void read_orbital_header(io::Unit& NF, int& NSH, int& N);

// The layout taken apart record by record, for a program that checks a
// block before it reads it: the header's NSH and N (false when a field is
// no integer), a shell's first record with its number and partial-wave
// count (false when the count is no integer), and the records of the block.
bool parse_orbital_header(const std::string& record, long& NSH, long& N);
bool parse_orbital_shell(const std::string& record, long& number, long& n);
inline constexpr long kOrbitalShellRecords = 2;                   // per shell, before its waves
inline long orbital_wave_records(long N) { return (N + 4) / 5; }  // per wave of N values

}  // namespace lib

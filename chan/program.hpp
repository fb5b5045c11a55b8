// The channel-file program: control group, checks, the loop over the
// momentum grid and the listing.
#pragma once

#include <array>
#include <string>

#include "io/namelist.hpp"
#include "io/unit.hpp"

namespace chan {

// Name of the control file, read from the working folder.
inline constexpr const char* kControlFile = "File.CHN";

// Group CHN of the control file.
struct CHN {
  std::string TIT;                 // title line of the listing
  std::string FIG, FIC, FID, FIL;  // ground-state file (old); channel, extra-function and listing files (new)
  int NSI = 1;                     // ionised shell
  int M = -1;                      // final projection; −1: that of the ionised shell
  int L0 = -1;                     // first momentum of the final state; −1: the lowest the dipole reaches
  int NX = 0;                      // partial waves per solution; 0: those of the ionised shell
  int NL = 0;                      // solutions kept per energy; 0: min(NX, 7)
  int NC = 31;                     // momenta k_j = P0 + (j−1)·DP, j = 1 … NC
  double P0 = 0.05, DP = 0.1;
  int IPOT = 0;         // 0: bare nuclei; 1: static exchange
  int ND = 0;           // bound excited functions written to FID
  double EMX = -0.002;  // upper energy limit of the bound functions (hartree)
  int NIT = 60;         // most GMRES steps of the exchange equations, for each solution
  double EPS = 1.0e-7;  // relative residual at which they count as solved
  int EXACT = 0;        // 1: the exact dipole constant sqrt(4π/3) in the listed cross sections
  int IDER = 0;         // velocity form of an odd-M orbital at ξ = 1: 1 through X/sqrt(ξ² − 1), 0 one-sided difference
  // The open shell of the ground state and its electrons (OPEN(1) = 0: every
  // shell closed).
  std::array<int, 2> OPEN{};
  // The neutral's term as the ground-state program spells it ('3S-', '2P'):
  // with an open shell, needed when ION is given.
  std::string TERM;
  // The ionic term the photoelectron is coupled to, as term_name spells it
  // ('4S-', '2P', '1S+').  Blank: a closed-shell neutral (ion ²Λ of the
  // hole, the electron singlet-coupled to it) or the open shell of one
  // electron ionised (a closed-shell ion); every other hole needs it.
  std::string ION;
  // The ion's signed projection that selects the arrangement of ION when
  // the hole meets the term in more than one (kNotGiven: not given).
  static constexpr int kNotGiven = -99;
  int IONM = kNotGiven;
  io::Group group();
  // The group as a front end writes it (diatom's File.CHN): TIT, FIG, FIC,
  // FID, FIL, NSI, M, NL, NC, P0, DP, IPOT, ND, OPEN, TERM, ION, IONM, IDER
  // in that order, FID and ND named only when ND > 0, OPEN only when
  // OPEN(1) ≠ 0, TERM, ION and IONM only when given; the other variables
  // are not named and keep their defaults when the file is read.
  io::Group written_group();
};

// Reads File.CHN (unit 3 must be open on it) and makes the files.
void run_chanfile(io::Units& units);

}  // namespace chan

// Synthetic data for the photoionisation drivers' tests and benchmarks: a ground-state file, channel
// files and extra-function files in the layouts the programs read, filled
// with smooth functions chosen for the test (their physics does not matter
// here; the bookkeeping of the drivers does).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace testsupport {

struct Shell {
  int M, L0, n;
  double energy;
};

struct GroundState {
  double Z1 = 1.0, Z2 = 1.0, RZ = 1.4;
  int NB = 40;
  double RP1 = 2.0, RP2 = 12.0;
  std::vector<Shell> shells{{0, 0, 3, -0.6}};
  // Group S00 and the orbital block.
  std::string text() const;
  // Radial value of partial wave k of shell s at grid point j.
  double value(int s, int k, int j) const;
};

struct Channel {
  int shell = 1;  // ionised shell NSI
  int M = 1, L0 = 1, NX = 3;
  int NC = 3;  // energies in the file
  int NL = 2;  // solutions per energy
  double P0 = 0.5, DP = 0.1;
  int ND = 0;    // extra functions written to the extra-function file
  int seed = 1;  // varies the functions between channels
  // Channel file: header and NC energy blocks.
  std::string text(int NB) const;
  // Extra-function file: ND functions of NX partial waves.
  std::string extra_text(int NB) const;
  // Radial value of partial wave K of solution JL at energy IC, point j.
  double value(int IC, int JL, int K, int j) const;
  double extra_value(int d, int K, int j) const;
  double energy(int IC) const { return 0.5 * (P0 + (IC - 1) * DP) * (P0 + (IC - 1) * DP); }
  double extra_energy(int d) const { return -0.2 / d; }
};

}  // namespace testsupport

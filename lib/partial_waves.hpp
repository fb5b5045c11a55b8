// A function of the prolate spheroidal problem by its partial waves: one
// projection M and the momenta L0, L0 + KD, L0 + 2·KD, … (KD = 2 when the
// two nuclei are equal and parity separates the waves, else 1).
#pragma once

#include "lib/views.hpp"

namespace lib {

// The waves of a function: projection M, first momentum L0, n waves of step KD.
struct WaveSet {
  int M = 0, L0 = 0, n = 0, KD = 1;
  int L(int p) const { return L0 + (p - 1) * KD; }  // momentum of wave p
};

// The waves and their radial functions: wave p in column p of X (stored form).
struct PartialWaves : WaveSet {
  CMat X;
};

// A function whose descriptor (M, L0, n) stands in a column of a shell table.
inline PartialWaves described_waves(CIVec MN, int KD, CMat X) { return PartialWaves{{MN(1), MN(2), MN(3), KD}, X}; }

}  // namespace lib

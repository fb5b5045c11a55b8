// Energy-denominator weights of the RPA equations for one channel at one
// photon energy: the Simpson sums over the channel's momentum nodes of the
// forward and backward denominators, with the principal value at the pole
// of an open channel and its residue as three on-shell rows per continuum
// function.
#pragma once

#include "lib/views.hpp"

namespace photo {

// The continuum of one channel as the weights see it: NL functions at NP
// momentum nodes P (step DP) and ND discrete functions of energies ED.
struct ChannelNodes {
  int NL = 0, NP = 0, ND = 0;
  lib::CVec P;
  double DP = 0.0;
  lib::CVec ED;
};

// The photon energy OM, the energy EG of the hole, the node JP nearest to
// the energy shell (0: the channel is closed) and IPV: 1 integrates each
// continuum from its threshold p = 0 (the segment below P(1) with the
// function frozen), 0 from P(1).
struct PoleSetting {
  double OM = 0.0, EG = 0.0;
  int JP = 0;
  int IPV = 0;
};

// The weights of one channel, (NL, ·) blocks addressed by block index:
// forward weights S, backward weights V2, and for an open channel the three
// residue rows per continuum function (IB += block index, CB; NL·3 entries,
// column-major (NL, 3)).  C and V1 are work; C is returned zero.
struct ChannelWeights {
  lib::Vec S, V2;
  lib::IVec IB;
  lib::Vec CB;
  lib::Vec C, V1;
};

// Energy-denominator weights of one channel at photon energy at.OM.
// Legacy name: SIMC0.
void energy_denominator_weights(const ChannelNodes& ch, const PoleSetting& at, const ChannelWeights& w);

// The same weights as a pencil in the photon energy ω: away from the pole
// nodes and from the first node's segment below the grid, the weight of
// block index k is W(k)/(Λ(k) − ω), with
//   forward continuum  Λ = p²/2 − EG,     W = w_j·p,
//   backward continuum Λ = −(p²/2 − EG),  W = −w_j·p,
//   discrete d         Λ = ±(ED(d) − EG), W = ±1 (forward +, backward −).
// Forward entries go to Lambda(1 … NF) and W(1 … NF), backward ones to
// NF + 1 … 2·NF, NF = NL·NP + ND.
void energy_denominator_pencil(const ChannelNodes& ch, double EG, const lib::Vec& Lambda, const lib::Vec& W);

}  // namespace photo

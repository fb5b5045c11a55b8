// Energy-denominator weights of one channel at photon energy OM, hole
// energy EG.  For continuum function IL at node j (block index
// (j−1)·NL + IL):
//   forward  S  = −w_j·p/(OM − p²/2 + EG) = w_j·2p/(p² − k0²),
//   backward V2 = w_j·p/(OM + p²/2 − EG),
// with the composite Simpson weights w_j of step DP.  For an open channel the
// Simpson sum of the singular part 1/(p − k0), Q, is replaced by its exact
// principal value Q1 = ln|(P(NP) − k0)/(P(1) − k0)|: the weights of the three
// nodes J1, J2, J0 around the pole get (Q1 − Q)·CB(n), where
// CB(n) = L_n(k0)·2p_n/(p_n + k0) with L_n the quadratic Lagrange basis on
// those nodes, so that Σ_n CB(n)·g(p_n) interpolates g(k0).  The PV integral
// is then exact for the pole term up to that interpolation (error O(DP³)),
// and Simpson-accurate for the rest.  Discrete function d (block index
// NL·NP + d) has S = −1/(OM − ED(d) + EG) and V2 = 1/(OM + ED(d) − EG).
//
// IPV = 1 takes the continuum from its threshold p = 0 rather than from the
// first node P(1): the segment [0, P(1)] with the function frozen at its
// value on the shell (open) or at the first node (closed, and backward),
// which is exact for a function constant there.  Open: Q1 becomes
// ln|(P(NP) − k0)·(P(1) + k0)/k0²|, finite as k0 → P(1), where the written
// ln|P(1) − k0| diverges; closed: the first node's forward weight gains
// ln((P(1)² + κ²)/κ²), κ² = −2(OM + EG); backward: ln(1 + P(1)²/(2(OM − EG))).
// IPV = 0 is the integral from P(1) as the programs have always taken it.
#include "photo/kernels/rpa_weights.hpp"

#include <cmath>

#include "lib/checks.hpp"

namespace photo {

using lib::CVec;
using lib::IVec;
using lib::Vec;
using lib::detail::fail;

namespace {

// Interpolation nodes of the pole: the node JP and its neighbours, shifted
// inwards at the ends of the grid.
struct PoleNodes {
  int J0, J1, J2;
};

PoleNodes pole_nodes(int JP, int NP) {
  PoleNodes n{JP, JP - 1, JP + 1};
  if (JP == 1) n = {3, 1, 2};
  if (JP == NP) n = {NP - 2, NP - 1, NP};
  return n;
}

// What the weights are given must fit the arrays they are written to.
void check_weight_blocks(const ChannelNodes& ch, const PoleSetting& at, const ChannelWeights& w) {
  const int NL = ch.NL, NP = ch.NP, ND = ch.ND, JP = at.JP;
  if (NL < 0 || NP < 1 || ND < 0) fail("SIMC0: channel with NL = ", NL, ", NP = ", NP, ", ND = ", ND);
  if (at.IPV != 0 && at.IPV != 1) {
    fail("SIMC0: IPV = ", at.IPV, " is neither 0 (from the first node) nor 1 (from threshold)");
  }
  const int NF = NL * NP + ND;
  if (w.C.size() < 2 * NF || w.S.size() < 2 * NF || w.V2.size() < NF || w.V1.size() < NL * NP || ch.P.size() < NP ||
      ch.ED.size() < ND) {
    fail("SIMC0: the weight blocks of a channel with ", NF, " functions do not fit the arrays passed");
  }
  if (JP != 0) {
    if (NP < 3 || JP < 1 || JP > NP) fail("SIMC0: pole node JP = ", JP, " needs 3 <= NP and 1 <= JP <= NP = ", NP);
    if (w.IB.size() < 3 * NL || w.CB.size() < 3 * NL) fail("SIMC0: on-shell rows of ", NL, " functions do not fit");
  }
}

// The exact principal value of the pole term in place of its Simpson sum Q
// for continuum function IL of an open channel: the correction of the
// weights of the three nodes around the pole and their residue rows.
void principal_value_rows(int IL, const ChannelNodes& ch, const PoleSetting& at, double k0, double Q,
                          const ChannelWeights& w) {
  const int NL = ch.NL, NP = ch.NP;
  const CVec P = ch.P;
  const Vec S = w.S, V1 = w.V1, CB = w.CB;
  const IVec IB = w.IB;
  const auto node = [NL](int IL, int j) { return (j - 1) * NL + IL; };
  const auto [J0, J1, J2] = pole_nodes(at.JP, NP);
  const double Q1 = at.IPV == 1 ? std::log(std::fabs(P(NP) - k0) * (P(1) + k0) / (k0 * k0))
                                : std::log(std::fabs((P(NP) - k0) / (P(1) - k0)));
  const double A = (k0 - P(J0)) * (k0 - P(J1)) * (k0 - P(J2));
  const double T = (Q1 - Q) * A;
  S(node(IL, J1)) -= (T * V1(node(IL, J1)) / (P(J1) - P(J0))) / (P(J1) - P(J2));
  S(node(IL, J2)) -= (T * V1(node(IL, J2)) / (P(J2) - P(J0))) / (P(J2) - P(J1));
  S(node(IL, J0)) -= (T * V1(node(IL, J0)) / (P(J0) - P(J1))) / (P(J0) - P(J2));
  CB(IL) = -(V1(node(IL, J1)) * A / (P(J1) - P(J0))) / (P(J1) - P(J2));
  CB(NL + IL) = -(V1(node(IL, J2)) * A / (P(J2) - P(J0))) / (P(J2) - P(J1));
  CB(2 * NL + IL) = -(V1(node(IL, J0)) * A / (P(J0) - P(J1))) / (P(J0) - P(J2));
  IB(IL) += node(IL, J1);
  IB(NL + IL) += node(IL, J2);
  IB(2 * NL + IL) += node(IL, J0);
}

// The weights of continuum function IL: Simpson weights times the forward
// and backward denominators, the segment below the first node (IPV = 1) and,
// for an open channel, the principal value at the pole k0.
void continuum_function_weights(int IL, const ChannelNodes& ch, const PoleSetting& at, double k0,
                                const ChannelWeights& w) {
  const int NL = ch.NL, NP = ch.NP;
  const CVec P = ch.P;
  const Vec C = w.C, S = w.S, V1 = w.V1, V2 = w.V2;
  const double OM = at.OM, EG = at.EG;
  const bool open = at.JP != 0;
  const double h = ch.DP / 3.0;
  const auto node = [NL](int IL, int j) { return (j - 1) * NL + IL; };

  for (int m = 1; m <= (NP - 1) / 2; ++m) {
    C(node(IL, 2 * m)) = 4.0 * h;
    C(node(IL, 2 * m + 1)) = 2.0 * h;
  }
  C(node(IL, 1)) = h;
  C(node(IL, NP)) = h;

  double Q = 0.0;
  for (int j = 1; j <= NP; ++j) {
    const double p = P(j);
    V1(node(IL, j)) = -p / ((OM - p * p / 2.0) + EG);
    V2(node(IL, j)) = p / ((p * p / 2.0 + OM) - EG);
    if (open) Q += C(node(IL, j)) / (p - k0);
  }
  for (int j = 1; j <= NP; ++j) {
    const int k = node(IL, j);
    V2(k) = V2(k) * C(k);
    S(k) = C(k) * V1(k);
    C(k) = 0.0;
  }

  if (at.IPV == 1) {
    // The segment [0, P(1)] below the first node.
    const double p1 = P(1);
    V2(node(IL, 1)) += std::log1p(p1 * p1 / (2.0 * (OM - EG)));
    if (!open) {
      // κ² < 0 above the grid's top: the segment has no pole either.
      const double kappa2 = -2.0 * (OM + EG);
      if (kappa2 != 0.0) S(node(IL, 1)) += std::log(std::fabs((p1 * p1 + kappa2) / kappa2));
    }
  }
  if (open) principal_value_rows(IL, ch, at, k0, Q, w);
}

}  // namespace

void energy_denominator_weights(const ChannelNodes& ch, const PoleSetting& at, const ChannelWeights& w) {
  check_weight_blocks(ch, at, w);
  const int NF = ch.NL * ch.NP + ch.ND;
  for (int k = 1; k <= 2 * NF; ++k) {
    w.C(k) = 0.0;
    w.S(k) = 0.0;
  }
  const double k0 = at.JP != 0 ? std::sqrt(2.0 * (at.OM + at.EG)) : 0.0;
  for (int IL = 1; IL <= ch.NL; ++IL) continuum_function_weights(IL, ch, at, k0, w);

  const double OM = at.OM, EG = at.EG;
  for (int d = 1; d <= ch.ND; ++d) {
    const int k = ch.NL * ch.NP + d;
    w.C(k) = 0.0;
    w.S(k) = -1.0 / ((OM - ch.ED(d)) + EG);
    w.V2(k) = 1.0 / ((ch.ED(d) + OM) - EG);
  }
}

void energy_denominator_pencil(const ChannelNodes& ch, double EG, const Vec& Lambda, const Vec& W) {
  const int NL = ch.NL, NP = ch.NP, NF = NL * NP + ch.ND;
  if (Lambda.size() < 2 * NF || W.size() < 2 * NF) {
    fail("SIMC0: the pencil of a channel with ", NF, " functions does not fit the arrays passed");
  }
  const double h = ch.DP / 3.0;
  for (int j = 1; j <= NP; ++j) {
    const double p = ch.P(j);
    const double w = (j == 1 || j == NP) ? h : (j % 2 == 0 ? 4.0 * h : 2.0 * h);
    for (int IL = 1; IL <= NL; ++IL) {
      const int k = (j - 1) * NL + IL;
      Lambda(k) = p * p / 2.0 - EG;
      W(k) = w * p;
      Lambda(NF + k) = -Lambda(k);
      W(NF + k) = -W(k);
    }
  }
  for (int d = 1; d <= ch.ND; ++d) {
    const int k = NL * NP + d;
    Lambda(k) = ch.ED(d) - EG;
    W(k) = 1.0;
    Lambda(NF + k) = -Lambda(k);
    W(NF + k) = -1.0;
  }
}

}  // namespace photo

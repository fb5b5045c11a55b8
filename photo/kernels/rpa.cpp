// RPA equations for the dressed dipole amplitudes.
//
// Every channel function enters twice, as a forward (resonant) and a
// backward variable.  The energy integral over the continuum of each channel
// is a Simpson sum over its momentum nodes (dE = p·dp).  The forward
// denominator 1/(ω − (p²/2 − ε)) has a pole on the energy shell p = k0; its
// principal value is taken exactly for the singular part, and the residue
// −iπ·δ(…) becomes three on-shell rows, the imaginary part of an otherwise
// real system that INVAB solves in real arithmetic.
#include <omp.h>

#include <algorithm>
#include <cmath>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/unit.hpp"
#include "lib/checks.hpp"
#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"
#include "photo/kernels/kernels.hpp"

namespace photo {

using lib::detail::fail;

// Weights of one channel at photon energy OM, hole energy EG.  For
// continuum function IL at node j (block index (j−1)·NL + IL):
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
void SIMC0(int NL, int NP, int ND, int JP, IVec IB, double OM, double EG, CVec ED, CVec P, double DP, Vec CB, Vec C,
           Vec V1, Vec V2, Vec S, int IPV) {
  if (NL < 0 || NP < 1 || ND < 0) fail("SIMC0: channel with NL = ", NL, ", NP = ", NP, ", ND = ", ND);
  if (IPV != 0 && IPV != 1) fail("SIMC0: IPV = ", IPV, " is neither 0 (from the first node) nor 1 (from threshold)");
  const int NF = NL * NP + ND;
  if (C.size() < 2 * NF || S.size() < 2 * NF || V2.size() < NF || V1.size() < NL * NP || P.size() < NP ||
      ED.size() < ND) {
    fail("SIMC0: the weight blocks of a channel with ", NF, " functions do not fit the arrays passed");
  }
  if (JP != 0) {
    if (NP < 3 || JP < 1 || JP > NP) fail("SIMC0: pole node JP = ", JP, " needs 3 <= NP and 1 <= JP <= NP = ", NP);
    if (IB.size() < 3 * NL || CB.size() < 3 * NL) fail("SIMC0: on-shell rows of ", NL, " functions do not fit");
  }
  const auto at = [NL](int IL, int j) { return (j - 1) * NL + IL; };

  for (int k = 1; k <= 2 * NF; ++k) {
    C(k) = 0.0;
    S(k) = 0.0;
  }
  const double h = DP / 3.0;
  const bool open = JP != 0;
  const double k0 = open ? std::sqrt(2.0 * (OM + EG)) : 0.0;

  // Interpolation nodes of the pole: the node JP and its neighbours, shifted
  // inwards at the ends of the grid.
  int J0 = JP, J1 = JP - 1, J2 = JP + 1;
  if (JP == 1) {
    J1 = 1;
    J2 = 2;
    J0 = 3;
  }
  if (JP == NP) {
    J1 = NP - 1;
    J2 = NP;
    J0 = NP - 2;
  }

  for (int IL = 1; IL <= NL; ++IL) {
    for (int m = 1; m <= (NP - 1) / 2; ++m) {
      C(at(IL, 2 * m)) = 4.0 * h;
      C(at(IL, 2 * m + 1)) = 2.0 * h;
    }
    C(at(IL, 1)) = h;
    C(at(IL, NP)) = h;

    double Q = 0.0;
    for (int j = 1; j <= NP; ++j) {
      const double p = P(j);
      V1(at(IL, j)) = -p / ((OM - p * p / 2.0) + EG);
      V2(at(IL, j)) = p / ((p * p / 2.0 + OM) - EG);
      if (open) Q += C(at(IL, j)) / (p - k0);
    }
    for (int j = 1; j <= NP; ++j) {
      const int k = at(IL, j);
      V2(k) = V2(k) * C(k);
      S(k) = C(k) * V1(k);
      C(k) = 0.0;
    }

    if (IPV == 1) {
      // The segment [0, P(1)] below the first node.
      const double p1 = P(1);
      V2(at(IL, 1)) += std::log1p(p1 * p1 / (2.0 * (OM - EG)));
      if (!open) {
        // κ² < 0 above the grid's top: the segment has no pole either.
        const double kappa2 = -2.0 * (OM + EG);
        if (kappa2 != 0.0) S(at(IL, 1)) += std::log(std::fabs((p1 * p1 + kappa2) / kappa2));
      }
    }
    if (open) {
      const double Q1 = IPV == 1 ? std::log(std::fabs(P(NP) - k0) * (P(1) + k0) / (k0 * k0))
                                 : std::log(std::fabs((P(NP) - k0) / (P(1) - k0)));
      const double A = (k0 - P(J0)) * (k0 - P(J1)) * (k0 - P(J2));
      const double T = (Q1 - Q) * A;
      S(at(IL, J1)) -= (T * V1(at(IL, J1)) / (P(J1) - P(J0))) / (P(J1) - P(J2));
      S(at(IL, J2)) -= (T * V1(at(IL, J2)) / (P(J2) - P(J0))) / (P(J2) - P(J1));
      S(at(IL, J0)) -= (T * V1(at(IL, J0)) / (P(J0) - P(J1))) / (P(J0) - P(J2));
      CB(IL) = -(V1(at(IL, J1)) * A / (P(J1) - P(J0))) / (P(J1) - P(J2));
      CB(NL + IL) = -(V1(at(IL, J2)) * A / (P(J2) - P(J0))) / (P(J2) - P(J1));
      CB(2 * NL + IL) = -(V1(at(IL, J0)) * A / (P(J0) - P(J1))) / (P(J0) - P(J2));
      IB(IL) += at(IL, J1);
      IB(NL + IL) += at(IL, J2);
      IB(2 * NL + IL) += at(IL, J0);
    }
  }

  for (int d = 1; d <= ND; ++d) {
    const int k = NL * NP + d;
    C(k) = 0.0;
    S(k) = -1.0 / ((OM - ED(d)) + EG);
    V2(k) = 1.0 / ((ED(d) + OM) - EG);
  }
}

// The row-vector system D·(A + iE·B) = d with
//   A(k,l) = δ(k,l) + C(k)·CLB(k,l),   B(J,l) = π·CB(J)·CLB(IB(J),l),
// solved as D = d·(R − iS) from INVAB.  π is the literal 3.14159265359.
// Accuracy is that of the two real LU inversions of order N0.
void RPAS0(int N0, int NB, int NL, int JS, CIVec IB, IVec IND, CVec C, CMat CLB, CVec CB, Mat A, Mat B, Mat R, Mat S,
           Vec W, Mat B1, Mat B2, CVec DHR, CVec DHV, Vec DRR, Vec DRI, Vec DVR, Vec DVI, LudeTable& T) {
  if (N0 < 0 || NB < 0 || NL < 0 || JS < 0 || JS + NL > N0) {
    fail("RPAS0: amplitudes JS + 1 .. JS + NL = ", JS + 1, " .. ", JS + NL, " outside the system of order ", N0);
  }
  if (C.size() < N0 || CB.size() < NB || DHR.size() < N0 || DHV.size() < N0 || CLB.rows() != N0 || CLB.cols() < N0 ||
      A.rows() != N0 || A.cols() < N0) {
    fail("RPAS0: arrays do not hold a system of order ", N0, " with ", NB, " on-shell rows");
  }
  if (DRR.size() < NL || DRI.size() < NL || DVR.size() < NL || DVI.size() < NL) {
    fail("RPAS0: amplitude vectors hold fewer than NL = ", NL, " entries");
  }
  if (IB.size() < NB) fail("RPAS0: fewer than NB = ", NB, " on-shell rows");
  for (int J = 1; J <= NB; ++J) {
    if (IB(J) < 1 || IB(J) > N0) fail("RPAS0: on-shell row IB(", J, ") = ", IB(J), " outside 1 .. ", N0);
  }

  lib::fill(N0 * N0, 0.0, A.flat());
  const double pi = 3.14159265359;
  for (int I = 1; I <= N0; ++I) VSKD(N0, C, CLB.col(I), A.col(I));
  for (int J = 1; J <= NB; ++J) {
    for (int I = 1; I <= N0; ++I) B(J, I) = CLB(IB(J), I) * CB(J) * pi;
  }
  for (int k = 1; k <= N0; ++k) A(k, k) += 1.0;

  double D = 1.0;
  INVAB(N0, NB, IB, IND, D, A, B, B1, B2, W, R, S, T);

  for (int J = 1; J <= NL; ++J) {
    const int K = JS + J;
    DRR(J) = lib::dot(N0, DHR, R.col(K));
    DRI(J) = -lib::dot(N0, DHR, S.col(K));
    DVR(J) = lib::dot(N0, DHV, R.col(K));
    DVI(J) = -lib::dot(N0, DHV, S.col(K));
  }
}

void RpaTables::size_for(int N0, int NCH, int points, int onshell, int nodes, int solutions, int nthreads) {
  const int n = std::max(N0, 1), nb = std::max(onshell, 1);
  weight.assign(static_cast<size_t>(n), 0.0);
  IB.assign(static_cast<size_t>(nb), 0);
  CB.assign(static_cast<size_t>(nb), 0.0);
  IND.assign(static_cast<size_t>(n), 0);
  JP.assign(static_cast<size_t>(std::max(NCH, 1)), 0);
  V1.assign(static_cast<size_t>(std::max(points, 1)), 0.0);
  lude.VV.assign(static_cast<size_t>(n), 0.0);
  energies.resize(static_cast<size_t>(std::max(nodes, 1)));
  for (RpaEnergy& e : energies) {
    e.weight.assign(static_cast<size_t>(n), 0.0);
    e.IB.assign(static_cast<size_t>(nb), 0);
    e.CB.assign(static_cast<size_t>(nb), 0.0);
    for (auto* v : {&e.DRR, &e.DRI, &e.DVR, &e.DVI}) v->assign(static_cast<size_t>(std::max(solutions, 1)), 0.0);
  }
  threads = std::max(nthreads, 1);
  work.resize(ILIN == 0 ? static_cast<size_t>(threads) : 0);
  for (RpaFactorWork& w : work) w.size_for(N0, onshell);
}

namespace {

// The photoelectron momentum at the ends of a channel's grid is moved inwards
// by 0.05·DP, with 0.05 held in single precision.
constexpr double kEndShift = static_cast<double>(0.05f);
constexpr double kSigma = 5.378;

// Everything RPAD0 is given must fit its tables and its work arrays.
void check_rpa_input(int N0, int NCH, int NCM, CIVec NZ0, CIVec NZ2, CIVec NL, CIVec NP, CIVec ND, CVec P0, CVec DP,
                     CVec EG, CMat ED, Mat P, Vec C, CMat CLB, Mat A, Mat R, Mat S, Vec W, CVec DHR, CVec DHV, Vec DRR,
                     Vec DRI, Vec DVR, Vec DVI, const RpaTables& T) {
  if (NCH < 0 || NCH > static_cast<int>(T.JP.size())) {
    fail("RPAD0: ", NCH, " channels, the tables are sized for ", T.JP.size());
  }
  if (N0 < 0 || N0 > static_cast<int>(T.weight.size()) || N0 > static_cast<int>(T.IND.size())) {
    fail("RPAD0: RPA system of order N0 = ", N0, " exceeds the ", T.weight.size(), " rows its tables are sized for");
  }
  if (T.ILIN == 1 && N0 > static_cast<int>(T.lude.VV.size())) {
    fail("RPAD0: RPA system of order N0 = ", N0, " exceeds the ", T.lude.VV.size(), " rows of the linear solver");
  }
  if (T.ILIN == 0) {
    if (T.work.empty()) fail("RPAD0: no work for the factored solve");
    for (const RpaFactorWork& w : T.work) {
      if (w.rows < N0) fail("RPAD0: the work of the factored solve holds order ", w.rows, ", not N0 = ", N0);
    }
  }
  if (NZ0.size() < NCH || NZ2.size() < NCH || NL.size() < NCH || NP.size() < NCH || ND.size() < NCH ||
      P0.size() < NCH || DP.size() < NCH || EG.size() < NCH || ED.cols() < NCH || P.cols() < NCH) {
    fail("RPAD0: channel tables hold fewer than NCH = ", NCH, " channels");
  }
  if (P.rows() != NCM) fail("RPAD0: the momentum table has leading dimension ", P.rows(), ", not NCM = ", NCM);
  if (C.size() < N0 || W.size() < N0 || DHR.size() < N0 || DHV.size() < N0 || CLB.rows() != N0 || CLB.cols() < N0 ||
      A.rows() != N0 || A.cols() < N0 || R.rows() != N0 || R.cols() < N0 || S.rows() != N0 || S.cols() < N0) {
    fail("RPAD0: work arrays do not hold a system of order N0 = ", N0);
  }
  for (int c = 1; c <= NCH; ++c) {
    if (NL(c) < 0 || NL(c) > DRR.size() || NL(c) > DRI.size() || NL(c) > DVR.size() || NL(c) > DVI.size()) {
      fail("RPAD0: channel ", c, " has NL = ", NL(c), " continuum functions, more than the amplitude vectors hold");
    }
    if (NP(c) < 3 || NP(c) > NCM) {
      fail("RPAD0: channel ", c, " has NP = ", NP(c), " momentum nodes; the pole needs 3 and the table holds ", NCM);
    }
    if (T.energies.empty() || NP(c) > static_cast<int>(T.energies.size())) {
      fail("RPAD0: channel ", c, " has NP = ", NP(c), " momentum nodes; the tables are sized for ", T.energies.size());
    }
    if (NL(c) > static_cast<int>(T.energies.front().DRR.size())) {
      fail("RPAD0: channel ", c, " has NL = ", NL(c), " continuum functions, more than the tables hold");
    }
    if (ND(c) < 0 || ND(c) > ED.rows()) {
      fail("RPAD0: channel ", c, " has ND = ", ND(c), " discrete functions, at most ", ED.rows());
    }
    if (!(DP(c) > 0.0)) fail("RPAD0: channel ", c, " has momentum step DP = ", DP(c), "; it must be positive");
    if (NL(c) * NP(c) > static_cast<int>(T.V1.size())) {
      fail("RPAD0: channel ", c, " has more than ", T.V1.size(), " continuum points");
    }
    const int NF = NL(c) * NP(c) + ND(c);
    if (NZ2(c) != NF) {
      fail("RPAD0: channel ", c, " has NZ2 = ", NZ2(c), ", but NL·NP + ND = ", NF, " functions");
    }
    if (NZ0(c) < 0 || NZ0(c) + 2 * NZ2(c) > N0) {
      fail("RPAD0: block ", NZ0(c) + 1, " .. ", NZ0(c) + 2 * NZ2(c), " of channel ", c,
           " lies outside the system of order N0 = ", N0);
    }
  }
}

// The photoelectron energy of node IP of channel ICH, the open channels and
// their nodes nearest to the energy shell, and the weights and on-shell rows
// of every channel at that energy (SIMC0), into `e`.
void set_up_energy(int ICH, int IP, int N0, int NCH, CIVec NZ0, CIVec NZ2, CIVec NL, CIVec NP, CIVec ND, CVec DP,
                   CVec EG, CMat ED, Mat P, Vec C, RpaTables& T, RpaEnergy& e) {
  Vec weight(e.weight.data(), N0);
  const int capacity = static_cast<int>(e.IB.size());
  IVec IB(e.IB.data(), capacity);
  Vec CB(e.CB.data(), capacity);
  IVec JP(T.JP.data(), NCH);
  Vec V1(T.V1.data(), static_cast<int>(T.V1.size()));
  e.console.clear();

  double k = P(IP, ICH) + 1.0e-6;
  if (IP == NP(ICH)) k = k - kEndShift * DP(ICH);
  if (IP == 1) k = k + kEndShift * DP(ICH);
  e.E = k * k / 2.0;
  e.OM = e.E - EG(ICH);
  const double OM = e.OM;

  int NB = 1;
  for (int JCH = 1; JCH <= NCH; ++JCH) {
    const int np = NP(JCH);
    const double w1 = P(1, JCH) * P(1, JCH) / 2.0 - EG(JCH);
    const double w2 = P(np, JCH) * P(np, JCH) / 2.0 - EG(JCH);
    // With IPV = 1 a channel is open from its threshold on; below its first
    // node the pole is taken on the nodes 1, 2, 3.
    const bool open = (T.IPV == 1 ? OM + EG(JCH) > 0.0 : w1 <= OM) && OM <= w2;
    JP(JCH) = 0;
    if (open) {
      // The node nearest in energy; on a tie the lower node stays.
      JP(JCH) = 1;
      double D = std::fabs(OM - w1);
      for (int II = 2; II <= np; ++II) {
        e.console += io::lstring(II, JP(JCH), D);
        e.console += '\n';
        const double D1 = std::fabs((OM - P(II, JCH) * P(II, JCH) / 2.0) + EG(JCH));
        if (D1 < D) {
          D = D1;
          JP(JCH) = II;
        }
      }
      if (NB - 1 + 3 * NL(JCH) > capacity) {
        fail("RPAD0: more than ", capacity, " on-shell rows at E = ", e.E, " (channel ", JCH, ")");
      }
      for (int J = NB; J <= NB + 3 * NL(JCH) - 1; ++J) IB(J) = NZ0(JCH);
    }
    const int z0 = NZ0(JCH);
    SIMC0(NL(JCH), np, ND(JCH), JP(JCH), IB.from(NB), OM, EG(JCH), ED.col(JCH), P.col(JCH), DP(JCH), CB.from(NB),
          C.from(z0 + 1), V1, weight.from(z0 + NZ2(JCH) + 1), weight.from(z0 + 1), T.IPV);
    if (open) NB += 3 * NL(JCH);
  }
  // NB counted from 1: the number of on-shell rows is one less.
  e.NB = NB - 1;
  if (JP(ICH) == 0) {
    fail("RPAD0: channel ", ICH, " is closed at its own node ", IP, " (E = ", e.E,
         "); its momentum grid P0, DP does not cover the photoelectron energy");
  }
  e.JS = (JP(ICH) - 1) * NL(ICH) + NZ0(ICH);
  e.info = 0;
}

// The factored solves of the energies 1 … NP of a channel, `threads` at a
// time, each on one BLAS thread: every energy's sums are taken in the same
// order whatever the number of threads.
void solve_energies_factored(int N0, int NL, int NP, CMat CLB, CVec DHR, CVec DHV, RpaTables& T) {
  for (int IP = 1; IP <= NP; ++IP) {
    if (T.energies[static_cast<size_t>(IP - 1)].NB > T.work.front().onshell) {
      fail("RPAD0: ", T.energies[static_cast<size_t>(IP - 1)].NB, " on-shell rows; the factored solve holds ",
           T.work.front().onshell);
    }
  }
  const int blas_threads = lib::set_blas_threads(1);
  const int nthreads = std::min(T.threads, static_cast<int>(T.work.size()));
#pragma omp parallel for num_threads(nthreads) schedule(dynamic, 1)
  for (int IP = 1; IP <= NP; ++IP) {
    RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
    RpaFactorWork& w = T.work[static_cast<size_t>(omp_get_thread_num())];
    e.info =
        RPASF(N0, e.NB, NL, e.JS, CIVec(e.IB.data(), e.NB), CVec(e.weight.data(), N0), CLB, CVec(e.CB.data(), e.NB),
              DHR, DHV, Vec(e.DRR.data(), NL), Vec(e.DRI.data(), NL), Vec(e.DVR.data(), NL), Vec(e.DVI.data(), NL), w);
  }
  if (blas_threads > 0) lib::set_blas_threads(blas_threads);
}

}  // namespace

// For each ionised channel and each of its nodes: the photoelectron energy,
// the open channels and their nodes nearest to the energy shell, the weights
// (SIMC0), the solution of the RPA system (RPASF, or RPAS0 when T.ILIN = 1 or
// the factorisation finds the matrix singular), the amplitudes on the data
// file and the cross sections σL = 5.378·ω·Σ|DR|², σV = (5.378/ω)·Σ|DV|² on
// the listing and the console.  The energies of a channel are set up first,
// solved (on T.threads threads for the factored solve) and then written in
// their order.
void RPAD0(int N0, int NCH, int NCM, CIVec NZ0, CIVec NZ2, CIVec NL, CIVec NP, CIVec ND, CVec P0, CVec DP, CVec EG,
           CMat ED, Mat P, Vec C, CMat CLB, Mat A, Mat R, Mat S, Vec B, Vec B1, Vec B2, Vec W, CVec DHR, CVec DHV,
           Vec DRR, Vec DRI, Vec DVR, Vec DVI, RpaTables& T, io::Unit& LIST, io::Unit& DATA) {
  static const io::Format column_header(R"f((4X,"E, a.u.",5X," Om, a.u.",8X,"  C.S.(L)",7X," C.S.(V)"))f");
  static const io::Format channel_banner(R"f((/,60("-"),/," Channel ",I2,":",/,30(" -")))f");
  static const io::Format energy_record("(15X,E15.8)");
  static const io::Format amplitude_record("(4E15.6)");
  static const io::Format result_record("(E11.3,E14.4,3X,2E15.4)");

  check_rpa_input(N0, NCH, NCM, NZ0, NZ2, NL, NP, ND, P0, DP, EG, ED, P, C, CLB, A, R, S, W, DHR, DHV, DRR, DRI, DVR,
                  DVI, T);
  IVec IND(T.IND.data(), N0);

  for (int c = 1; c <= NCH; ++c) {
    for (int j = 1; j <= NP(c); ++j) P(j, c) = DP(c) * (j - 1) + P0(c);
  }

  for (int ICH = 1; ICH <= NCH; ++ICH) {
    io::console().line(io::fstring(column_header));
    io::fwrite(LIST, channel_banner, ICH);
    io::fwrite(LIST, column_header);
    const int nl = NL(ICH);

    for (int IP = 1; IP <= NP(ICH); ++IP) {
      set_up_energy(ICH, IP, N0, NCH, NZ0, NZ2, NL, NP, ND, DP, EG, ED, P, C, T,
                    T.energies[static_cast<size_t>(IP - 1)]);
    }
    if (T.ILIN == 0) solve_energies_factored(N0, nl, NP(ICH), CLB, DHR, DHV, T);

    for (int IP = 1; IP <= NP(ICH); ++IP) {
      RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
      for (size_t a = 0, b; a < e.console.size(); a = b + 1) {
        b = e.console.find('\n', a);
        io::console().line(std::string_view(e.console).substr(a, b - a));
      }
      const int NB = e.NB;
      if (T.ILIN == 1 || e.info != 0) {
        // The complex inverse; after a singular factorisation it is told
        // once, and the inverse goes on as the written path does (a zero
        // pivot becomes 1.0e-40).
        if (e.info != 0) {
          io::console().line("SINGULAR MATRIX IN LUDE");
          std::string reply;
          io::console().read_line(reply);
          T.lude.quiet = true;
        }
        const long words = static_cast<long>(NB) * N0;
        if (words > B.size() || words > B1.size() || words > B2.size()) {
          fail("RPAD0: the on-shell blocks need ", words, " words, the work arrays B, B1, B2 hold ", B.size(), ", ",
               B1.size(), ", ", B2.size());
        }
        RPAS0(N0, NB, nl, e.JS, CIVec(e.IB.data(), NB), IND, CVec(e.weight.data(), N0), CLB, CVec(e.CB.data(), NB), A,
              Mat(B.data(), NB, N0), R, S, W, Mat(B1.data(), NB, N0), Mat(B2.data(), NB, N0), DHR, DHV,
              Vec(e.DRR.data(), nl), Vec(e.DRI.data(), nl), Vec(e.DVR.data(), nl), Vec(e.DVI.data(), nl), T.lude);
        T.lude.quiet = false;
      }

      io::fwrite(DATA, energy_record, e.E);
      double SL = 0.0;
      double SV = 0.0;
      for (int K = 1; K <= nl; ++K) {
        const size_t k = static_cast<size_t>(K - 1);
        DRR(K) = e.DRR[k];
        DRI(K) = e.DRI[k];
        DVR(K) = e.DVR[k];
        DVI(K) = e.DVI[k];
        io::fwrite(DATA, amplitude_record, DRR(K), DRI(K));
        io::fwrite(DATA, amplitude_record, DVR(K), DVI(K));
        SL += DRI(K) * DRI(K) + DRR(K) * DRR(K);
        SV += DVI(K) * DVI(K) + DVR(K) * DVR(K);
      }
      if (T.sink) T.sink->rpa_amplitudes(ICH, (e.JS - NZ0(ICH)) / NL(ICH) + 1, e.E, e.OM, nl, DRR, DRI, DVR, DVI);
      const double sigmaL = e.OM * SL * kSigma;
      const double sigmaV = (kSigma / e.OM) * SV;
      io::fwrite(LIST, result_record, e.E, e.OM, sigmaL, sigmaV);
      io::console().line(io::fstring(result_record, e.E, e.OM, sigmaL, sigmaV));
    }
    // The tables describe the last energy.
    const RpaEnergy& last = T.energies[static_cast<size_t>(NP(ICH) - 1)];
    std::copy(last.weight.begin(), last.weight.begin() + N0, T.weight.begin());
    std::copy(last.IB.begin(), last.IB.begin() + last.NB, T.IB.begin());
    std::copy(last.CB.begin(), last.CB.begin() + last.NB, T.CB.begin());
    T.NB = last.NB;
  }
}

}  // namespace photo

// RPA equations for the dressed dipole amplitudes.
//
// Every channel function enters twice, as a forward (resonant) and a
// backward variable.  The energy integral over the continuum of each channel
// is a Simpson sum over its momentum nodes (dE = p·dp).  The forward
// denominator 1/(ω − (p²/2 − ε)) has a pole on the energy shell p = k0; its
// principal value is taken exactly for the singular part, and the residue
// −iπ·δ(…) becomes three on-shell rows, the imaginary part of an otherwise
// real system (rpa_weights.hpp, rpa_solve.hpp).
#include "photo/kernels/rpa_equations.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/unit.hpp"
#include "lib/checks.hpp"
#include "lib/lapack.hpp"
#include "photo/kernels/rpa_weights.hpp"

namespace photo {

using lib::detail::fail;

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
  // The pencil's work: the departing rows are at most the three pole nodes
  // and the first node of every function, forward and backward.
  pencil_work.resize(ILIN >= 2 ? 1 : 0);
  for (RpaPencilWork& w : pencil_work) w.size_for(N0, onshell, 2 * onshell);
  pencil = RpaPencil{};
  pencil.n = N0;
  pencil_misses = 0, pencil_kept = 0, pencil_worst = 0.0;
  solved.assign(ILIN != 1 && share ? static_cast<size_t>(std::max(nodes, 1)) : 0, RpaSolution{});
}

namespace {

// The photoelectron momentum at the ends of a channel's grid is moved inwards
// by 0.05·DP, with 0.05 held in single precision.
constexpr double kEndShift = static_cast<double>(0.05f);
constexpr double kSigma = 5.378;

// Everything the equations are given must fit their tables and work arrays.
void check_rpa_input(const RpaMatrix& m, const RpaChannels& ch, const RpaWork& w, const RpaAmplitudes& last,
                     const RpaTables& T) {
  const int N0 = m.N0, NCH = ch.NCH, NCM = ch.NCM;
  if (NCH < 0 || NCH > static_cast<int>(T.JP.size())) {
    fail("RPAD0: ", NCH, " channels, the tables are sized for ", T.JP.size());
  }
  if (N0 < 0 || N0 > static_cast<int>(T.weight.size()) || N0 > static_cast<int>(T.IND.size())) {
    fail("RPAD0: RPA system of order N0 = ", N0, " exceeds the ", T.weight.size(), " rows its tables are sized for");
  }
  if (T.ILIN == 1 && N0 > static_cast<int>(T.lude.VV.size())) {
    fail("RPAD0: RPA system of order N0 = ", N0, " exceeds the ", T.lude.VV.size(), " rows of the linear solver");
  }
  if (T.ILIN >= 2 && (T.pencil_work.empty() || T.pencil.n != N0)) fail("RPAD0: no work for the pencil solve");
  if (T.ILIN == 0) {
    if (T.work.empty()) fail("RPAD0: no work for the factored solve");
    for (const RpaFactorWork& fw : T.work) {
      if (fw.rows < N0) fail("RPAD0: the work of the factored solve holds order ", fw.rows, ", not N0 = ", N0);
    }
  }
  if (ch.NZ0.size() < NCH || ch.NZ2.size() < NCH || ch.NL.size() < NCH || ch.NP.size() < NCH || ch.ND.size() < NCH ||
      ch.P0.size() < NCH || ch.DP.size() < NCH || ch.EG.size() < NCH || ch.ED.cols() < NCH || ch.P.cols() < NCH) {
    fail("RPAD0: channel tables hold fewer than NCH = ", NCH, " channels");
  }
  if (ch.P.rows() != NCM) fail("RPAD0: the momentum table has leading dimension ", ch.P.rows(), ", not NCM = ", NCM);
  if (w.C.size() < N0 || w.W.size() < N0 || m.DHR.size() < N0 || m.DHV.size() < N0 || m.CLB.rows() != N0 ||
      m.CLB.cols() < N0 || w.A.rows() != N0 || w.A.cols() < N0 || w.R.rows() != N0 || w.R.cols() < N0 ||
      w.S.rows() != N0 || w.S.cols() < N0) {
    fail("RPAD0: work arrays do not hold a system of order N0 = ", N0);
  }
  for (int c = 1; c <= NCH; ++c) {
    const int NL = ch.NL(c), NP = ch.NP(c), ND = ch.ND(c);
    if (NL < 0 || NL > last.DRR.size() || NL > last.DRI.size() || NL > last.DVR.size() || NL > last.DVI.size()) {
      fail("RPAD0: channel ", c, " has NL = ", NL, " continuum functions, more than the amplitude vectors hold");
    }
    if (NP < 3 || NP > NCM) {
      fail("RPAD0: channel ", c, " has NP = ", NP, " momentum nodes; the pole needs 3 and the table holds ", NCM);
    }
    if (T.energies.empty() || NP > static_cast<int>(T.energies.size())) {
      fail("RPAD0: channel ", c, " has NP = ", NP, " momentum nodes; the tables are sized for ", T.energies.size());
    }
    if (NL > static_cast<int>(T.energies.front().DRR.size())) {
      fail("RPAD0: channel ", c, " has NL = ", NL, " continuum functions, more than the tables hold");
    }
    if (ND < 0 || ND > ch.ED.rows()) {
      fail("RPAD0: channel ", c, " has ND = ", ND, " discrete functions, at most ", ch.ED.rows());
    }
    if (!(ch.DP(c) > 0.0)) fail("RPAD0: channel ", c, " has momentum step DP = ", ch.DP(c), "; it must be positive");
    if (NL * NP > static_cast<int>(T.V1.size())) {
      fail("RPAD0: channel ", c, " has more than ", T.V1.size(), " continuum points");
    }
    const int NF = NL * NP + ND;
    if (ch.NZ2(c) != NF) {
      fail("RPAD0: channel ", c, " has NZ2 = ", ch.NZ2(c), ", but NL·NP + ND = ", NF, " functions");
    }
    if (ch.NZ0(c) < 0 || ch.NZ0(c) + 2 * ch.NZ2(c) > N0) {
      fail("RPAD0: block ", ch.NZ0(c) + 1, " .. ", ch.NZ0(c) + 2 * ch.NZ2(c), " of channel ", c,
           " lies outside the system of order N0 = ", N0);
    }
  }
}

// The photoelectron energy of node IP of channel ICH: its momentum up by
// 1e-6, and at the ends of the grid moved inwards.
double node_energy(int ICH, int IP, const RpaChannels& ch) {
  double k = ch.P(IP, ICH) + 1.0e-6;
  if (IP == ch.NP(ICH)) k = k - kEndShift * ch.DP(ICH);
  if (IP == 1) k = k + kEndShift * ch.DP(ICH);
  return k * k / 2.0;
}

// The photoelectron energy of node IP of channel ICH, the open channels and
// their nodes nearest to the energy shell, and the weights and on-shell rows
// of every channel at that energy, into `e`; C is work of N0 words.
void set_up_energy(int ICH, int IP, int N0, const RpaChannels& ch, Vec C, RpaTables& T, RpaEnergy& e) {
  const int NCH = ch.NCH;
  const CIVec NZ0 = ch.NZ0, NL = ch.NL, NP = ch.NP;
  const CVec DP = ch.DP, EG = ch.EG;
  const Mat P = ch.P;
  Vec weight(e.weight.data(), N0);
  const int capacity = static_cast<int>(e.IB.size());
  IVec IB(e.IB.data(), capacity);
  Vec CB(e.CB.data(), capacity);
  IVec JP(T.JP.data(), NCH);
  Vec V1(T.V1.data(), static_cast<int>(T.V1.size()));
  e.console.clear();

  e.E = node_energy(ICH, IP, ch);
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
    energy_denominator_weights(ChannelNodes{NL(JCH), np, ch.ND(JCH), P.col(JCH), DP(JCH), ch.ED.col(JCH)},
                               PoleSetting{OM, EG(JCH), JP(JCH), T.IPV},
                               ChannelWeights{weight.from(z0 + 1), weight.from(z0 + ch.NZ2(JCH) + 1), IB.from(NB),
                                              CB.from(NB), C.from(z0 + 1), V1});
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

// The RPA system of energy e with NL amplitudes wanted, and where they go.
RpaSystem energy_system(const RpaMatrix& m, const RpaEnergy& e, int NL) {
  return RpaSystem{
      m.N0,  e.NB, NL, e.JS, CIVec(e.IB.data(), e.NB), CVec(e.weight.data(), m.N0), m.CLB, CVec(e.CB.data(), e.NB),
      m.DHR, m.DHV};
}

RpaAmplitudes energy_amplitudes(RpaEnergy& e, int NL) {
  return RpaAmplitudes{Vec(e.DRR.data(), NL), Vec(e.DRI.data(), NL), Vec(e.DVR.data(), NL), Vec(e.DVI.data(), NL)};
}

// The factored solves of the energies 1 … NP of a channel, `threads` at a
// time, each on one BLAS thread: every energy's sums are taken in the same
// order whatever the number of threads.
void solve_energies_factored(const RpaMatrix& m, int NL, int NP, RpaTables& T) {
  for (int IP = 1; IP <= NP; ++IP) {
    if (T.energies[static_cast<size_t>(IP - 1)].NB > T.work.front().onshell) {
      fail("RPAD0: ", T.energies[static_cast<size_t>(IP - 1)].NB, " on-shell rows; the factored solve holds ",
           T.work.front().onshell);
    }
  }
  const int blas_threads = lib::set_blas_threads(1);
  const int nthreads = std::min(T.threads, static_cast<int>(T.work.size()));
  const bool share = T.share && T.solved.size() >= static_cast<size_t>(NP);
#pragma omp parallel for num_threads(nthreads) schedule(dynamic, 1)
  for (int IP = 1; IP <= NP; ++IP) {
    RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
    RpaFactorWork& w = T.work[static_cast<size_t>(omp_get_thread_num())];
    if (!share) {
      e.info = rpa_amplitudes_factored(energy_system(m, e, NL), w, energy_amplitudes(e, NL));
      continue;
    }
    // The same photon energy gives the same weights and on-shell rows, so
    // the same system: its stored solution holds this channel's amplitudes.
    RpaSolution& s = T.solved[static_cast<size_t>(IP - 1)];
    if (s.valid && s.OM == e.OM && s.NB == e.NB && s.N0 == m.N0) {
      rpa_amplitudes_from(s, e.JS, NL, energy_amplitudes(e, NL));
      e.info = 0;
      continue;
    }
    s.valid = false;
    s.OM = e.OM;
    e.info = rpa_amplitudes_factored(energy_system(m, e, NL), w, energy_amplitudes(e, NL), &s);
  }
  if (blas_threads > 0) lib::set_blas_threads(blas_threads);
}

// The pencil of every variable (unused rows: W = 0, Λ = −1, below every
// photon energy) and its Hessenberg reduction, once for all energies.
void reduce_pencil(const RpaMatrix& m, const RpaChannels& ch, RpaTables& T) {
  RpaPencil& p = T.pencil;
  p.Lambda.assign(static_cast<size_t>(m.N0), -1.0);
  p.W.assign(static_cast<size_t>(m.N0), 0.0);
  const Vec Lambda(p.Lambda.data(), m.N0), W(p.W.data(), m.N0);
  p.fold = T.ILIN == 3;
  p.forward.clear(), p.backward.clear();
  for (int c = 1; c <= ch.NCH; ++c) {
    const int z0 = ch.NZ0(c);
    energy_denominator_pencil(ChannelNodes{ch.NL(c), ch.NP(c), ch.ND(c), ch.P.col(c), ch.DP(c), ch.ED.col(c)}, ch.EG(c),
                              Lambda.from(z0 + 1), W.from(z0 + 1));
    // Each function's forward variable z0 + j and backward one z0 + NZ2 + j.
    for (int j = 0; j < ch.NZ2(c); ++j) {
      p.forward.push_back(z0 + j);
      p.backward.push_back(z0 + ch.NZ2(c) + j);
    }
  }
  if (p.reduce(m.CLB, m.DHR, m.DHV) != 0) io::console().line("the RPA pencil could not be reduced: LU at every energy");
}

// The energies 1 … NP of a channel from the reduced pencil, one after the
// other (each energy's factor shares the pencil's array; its products run
// on the BLAS's threads); an energy the pencil misses (or every energy, when
// the reduction failed) by the factored solve after them.
void solve_energies_pencil(const RpaMatrix& m, int NL, int NP, RpaTables& T) {
  const bool share = T.share && T.solved.size() >= static_cast<size_t>(NP);
  RpaSolution own;
  for (int IP = 1; IP <= NP; ++IP) {
    RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
    RpaSolution& s = share ? T.solved[static_cast<size_t>(IP - 1)] : own;
    if (share && s.valid && s.OM == e.OM && s.NB == e.NB && s.N0 == m.N0) {
      rpa_amplitudes_from(s, e.JS, NL, energy_amplitudes(e, NL));
      e.info = 0;
      continue;
    }
    s.valid = false;
    s.OM = e.OM;
    e.info = T.pencil.ready ? rpa_amplitudes_pencil(energy_system(m, e, NL), e.OM, T.pencil, T.pencil_work.front(),
                                                    energy_amplitudes(e, NL), s)
                            : -1;
    // A solution that only missed its residual stays when an LU has no room.
    if (e.info == -2 && !T.lu_room) {
      e.info = 0;
      ++T.pencil_misses;
      ++T.pencil_kept;
      T.pencil_worst = std::max(T.pencil_worst, T.pencil_work.front().residual);
    }
  }
  for (int IP = 1; IP <= NP; ++IP) {
    RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
    if (e.info >= 0) continue;
    if (T.pencil.ready) ++T.pencil_misses;
    if (T.work.empty() || T.work.front().rows < m.N0 || T.work.front().onshell < e.NB) {
      T.work.resize(1);
      T.work.front().size_for(m.N0, static_cast<int>(T.IB.size()));
    }
    RpaSolution* s = share ? &T.solved[static_cast<size_t>(IP - 1)] : nullptr;
    e.info = rpa_amplitudes_factored(energy_system(m, e, NL), T.work.front(), energy_amplitudes(e, NL), s);
  }
}

// The solve of energy e through the complex inverse (T.ILIN = 1, or after
// the factorisation found the matrix singular: that is told once, and the
// inverse goes on as the written path does, a zero pivot becoming 1.0e-40).
void solve_energy_by_inverse(RpaEnergy& e, int NL, const RpaMatrix& m, const RpaWork& w, IVec IND, RpaTables& T) {
  const int N0 = m.N0, NB = e.NB;
  if (e.info != 0) {
    io::console().line("SINGULAR MATRIX IN LUDE");
    std::string reply;
    io::console().read_line(reply);
    T.lude.quiet = true;
  }
  const long words = static_cast<long>(NB) * N0;
  if (words > w.B.size() || words > w.B1.size() || words > w.B2.size()) {
    fail("RPAD0: the on-shell blocks need ", words, " words, the work arrays B, B1, B2 hold ", w.B.size(), ", ",
         w.B1.size(), ", ", w.B2.size());
  }
  const RpaInverseWork inverse{IND, w.A, Mat(w.B.data(), NB, N0),  w.R,
                               w.S, w.W, Mat(w.B1.data(), NB, N0), Mat(w.B2.data(), NB, N0)};
  rpa_amplitudes_by_inverse(energy_system(m, e, NL), inverse, T.lude, energy_amplitudes(e, NL));
  T.lude.quiet = false;
}

// The amplitudes of energy e of channel ICH on the data file (and into
// `last` and the sink), its cross sections σL = 5.378·ω·Σ|DR|² and
// σV = (5.378/ω)·Σ|DV|² on the listing and the console.
void write_energy(int ICH, const RpaEnergy& e, const RpaChannels& ch, const RpaAmplitudes& last, RpaAmplitudeSink* sink,
                  io::Unit& LIST, io::Unit& DATA) {
  static const io::Format energy_record("(15X,E15.8)");
  static const io::Format amplitude_record("(4E15.6)");
  static const io::Format result_record("(E11.3,E14.4,3X,2E15.4)");
  const int nl = ch.NL(ICH);
  const Vec DRR = last.DRR, DRI = last.DRI, DVR = last.DVR, DVI = last.DVI;
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
  if (sink) sink->rpa_amplitudes(ICH, (e.JS - ch.NZ0(ICH)) / ch.NL(ICH) + 1, e.E, e.OM, nl, last);
  const double sigmaL = e.OM * SL * kSigma;
  const double sigmaV = (kSigma / e.OM) * SV;
  io::fwrite(LIST, result_record, e.E, e.OM, sigmaL, sigmaV);
  io::console().line(io::fstring(result_record, e.E, e.OM, sigmaL, sigmaV));
}

// The lines of the pole-node search of an energy, on the console in order.
void replay_console(const RpaEnergy& e) {
  for (size_t a = 0, b; a < e.console.size(); a = b + 1) {
    b = e.console.find('\n', a);
    io::console().line(std::string_view(e.console).substr(a, b - a));
  }
}

}  // namespace

// For each ionised channel and each of its nodes: the photoelectron energy,
// the open channels and their nodes nearest to the energy shell, the weights,
// the solution of the RPA system (factored, or through the complex inverse
// when T.ILIN = 1 or the factorisation finds the matrix singular), the
// amplitudes on the data file and the cross sections on the listing and the
// console.  The energies of a channel are set up first, solved (on T.threads
// threads for the factored solve) and then written in their order.
void rpa_cross_sections(const RpaMatrix& m, const RpaChannels& ch, const RpaWork& w, const RpaAmplitudes& last,
                        RpaTables& T, io::Unit& LIST, io::Unit& DATA) {
  static const io::Format column_header(R"f((4X,"E, a.u.",5X," Om, a.u.",8X,"  C.S.(L)",7X," C.S.(V)"))f");
  static const io::Format channel_banner(R"f((/,60("-"),/," Channel ",I2,":",/,30(" -")))f");

  check_rpa_input(m, ch, w, last, T);
  const int N0 = m.N0;
  IVec IND(T.IND.data(), N0);

  for (int c = 1; c <= ch.NCH; ++c) {
    for (int j = 1; j <= ch.NP(c); ++j) ch.P(j, c) = ch.DP(c) * (j - 1) + ch.P0(c);
  }
  if (T.ILIN >= 2) reduce_pencil(m, ch, T);

  for (int ICH = 1; ICH <= ch.NCH; ++ICH) {
    io::console().line(io::fstring(column_header));
    io::fwrite(LIST, channel_banner, ICH);
    io::fwrite(LIST, column_header);
    const int nl = ch.NL(ICH);
    int np = ch.NP(ICH);
    if (T.OMAX > 0.0) {
      while (np > 0 && node_energy(ICH, np, ch) - ch.EG(ICH) > T.OMAX) --np;
      if (np == 0) continue;
    }

    for (int IP = 1; IP <= np; ++IP) {
      set_up_energy(ICH, IP, N0, ch, w.C, T, T.energies[static_cast<size_t>(IP - 1)]);
    }
    if (T.ILIN == 0) solve_energies_factored(m, nl, np, T);
    if (T.ILIN >= 2) solve_energies_pencil(m, nl, np, T);

    for (int IP = 1; IP <= np; ++IP) {
      RpaEnergy& e = T.energies[static_cast<size_t>(IP - 1)];
      replay_console(e);
      if (T.ILIN == 1 || e.info > 0) {
        // The inverse's work may hold the pencil's reduction: LU from here on.
        T.pencil.ready = false;
        solve_energy_by_inverse(e, nl, m, w, IND, T);
      }
      write_energy(ICH, e, ch, last, T.sink, LIST, DATA);
    }
    if (T.ILIN >= 2 && T.pencil_misses > 0 && ICH == ch.NCH) {
      io::console().line("the pencil solve missed its residual of 1e-10 at " + std::to_string(T.pencil_misses) +
                         " energies, " + std::to_string(T.pencil_misses - T.pencil_kept) + " solved by their own LU");
      if (T.pencil_kept > 0) {
        io::console().line("kept for want of room for an LU: " + std::to_string(T.pencil_kept) +
                           " solutions, relative residual at most " + io::lstring(T.pencil_worst));
      }
    }
    // The tables describe the last energy.
    const RpaEnergy& final_energy = T.energies[static_cast<size_t>(np - 1)];
    std::copy(final_energy.weight.begin(), final_energy.weight.begin() + N0, T.weight.begin());
    std::copy(final_energy.IB.begin(), final_energy.IB.begin() + final_energy.NB, T.IB.begin());
    std::copy(final_energy.CB.begin(), final_energy.CB.begin() + final_energy.NB, T.CB.begin());
    T.NB = final_energy.NB;
  }
}

}  // namespace photo

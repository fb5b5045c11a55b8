// The RPA equations of all ionised channels: for every momentum node of
// every channel the photoelectron energy, the weights of every channel at
// that energy, the solution of the RPA system, and the RPA cross sections
// on the listing, the amplitudes on the continuum data file.
//
// Arrays are 1-based column-major views over the caller's storage
// (lib/views.hpp), const for inputs.  Nothing here allocates: the tables of
// the weights, the on-shell rows and the per-energy work live in an object
// the caller owns, sizes and passes in.  Files are passed as io::Unit;
// console output goes to io::console().
#pragma once

#include <string>
#include <vector>

#include "lib/views.hpp"
#include "photo/kernels/linear_solver.hpp"
#include "photo/kernels/rpa_pencil.hpp"
#include "photo/kernels/rpa_solve.hpp"

namespace io {
class Unit;
}

namespace photo {

// Sizes of the tables when the caller does not size them for its input.
inline constexpr int kRpaWeights = 7700;  // weight vector
inline constexpr int kRpaOnShell = 2000;  // on-shell rows
inline constexpr int kRpaChannels = 10;   // channels

// Receives the dressed amplitudes D of the NL continuum solutions at node
// `node` of channel ICH, photoelectron energy E and photon energy OM, for
// every energy the RPA equations are solved at.
class RpaAmplitudeSink {
 public:
  virtual ~RpaAmplitudeSink() = default;
  virtual void rpa_amplitudes(int ICH, int node, double E, double OM, int NL, const RpaAmplitudes& D) = 0;
};

// One photoelectron energy of the channel being solved: its weights,
// on-shell rows and amplitudes, kept so that the energies can be solved in
// any order and written in theirs.
struct RpaEnergy {
  double E = 0, OM = 0;
  int NB = 0, JS = 0, info = 0;
  std::vector<double> weight, CB, DRR, DRI, DVR, DVI;
  std::vector<int> IB;
  std::string console;  // the lines of the search for the pole nodes
};

// Tables of the RPA equations, owned by the caller and sized by size_for.
// `ILIN` chooses the solve: 0 the factored solve, 1 the complex inverse,
// 2 every energy from one Hessenberg reduction of the pencil (rpa_pencil.hpp;
// an energy whose solution misses its residual is solved by the LU when
// there is room for it, and counted in `pencil_misses`), 3 the same from
// the folded pencil of half the order.
// `threads`: energies of a channel solved at once (factored solve only;
// every energy is solved by one thread, so the results do not depend on it).
// After a call `weight`, IB, CB and NB describe the last energy.  A table
// that is not sized holds no energies; the equations then stop.
struct RpaTables {
  int ILIN = 0;
  // IPV: 1 the continuum of a channel from its threshold, open as soon as the
  // photon energy passes it; 0 from its first node, open from there.
  int IPV = 0;
  int threads = 1;
  // OMAX > 0: the equations are solved and written only at the nodes whose
  // photon energy is at most OMAX (every channel's continuum still enters
  // the energy integrals in full); 0 every node.
  double OMAX = 0.0;
  std::vector<double> weight = std::vector<double>(kRpaWeights);
  std::vector<int> IB = std::vector<int>(kRpaOnShell);
  std::vector<double> CB = std::vector<double>(kRpaOnShell);
  std::vector<int> IND = std::vector<int>(kRpaWeights);
  std::vector<int> JP = std::vector<int>(kRpaChannels);
  std::vector<double> V1 = std::vector<double>(kRpaWeights);
  int NB = 0;
  LuRowScales lude;
  RpaAmplitudeSink* sink = nullptr;  // optional receiver of the amplitudes
  std::vector<RpaEnergy> energies;
  std::vector<RpaFactorWork> work;
  // The factored solve keeps each energy's whole solution (`solved`, one per
  // node), and a channel whose photon energy at a node is that of the
  // solution stored there takes its amplitudes from it: the channels of
  // one shell share their grid, so a σ shell's two and a π shell's three
  // channels cost one solve per energy.  `share` = false solves every
  // channel's energies (the written order of work; the same numbers).
  bool share = true;
  std::vector<RpaSolution> solved;
  RpaPencil pencil;
  std::vector<RpaPencilWork> pencil_work;
  int pencil_misses = 0;
  // Whether an energy the pencil misses may take an LU of order N0 (NUVM);
  // if not its solution is kept and counted, with the largest residual.
  bool lu_room = true;
  int pencil_kept = 0;
  double pencil_worst = 0.0;
  // Room for a system of order N0 of NCH channels, `points` continuum points
  // (NL·NP) in the largest channel, `onshell` on-shell rows, `nodes` energies
  // and `solutions` continuum functions per channel, and `nthreads` solves at
  // once.  Set ILIN first: the factored solve needs its own work per thread.
  void size_for(int N0, int NCH, int points, int onshell, int nodes, int solutions, int nthreads);
};

// The RPA matrix CLB of order N0 (forward and backward variables of every
// channel) and the Hartree–Fock dipole amplitudes DHR, DHV of its variables.
struct RpaMatrix {
  int N0 = 0;
  CMat CLB;
  CVec DHR, DHV;
};

// The NCH channels: the first variable NZ0 of each channel's block and its
// half size NZ2 = NL·NP + ND, the NL continuum functions at NP momentum nodes
// P0 + (j − 1)·DP, the ND discrete functions of energies ED(·, c), the hole
// energies EG, and the momentum table P (NCM rows, filled here).
struct RpaChannels {
  int NCH = 0, NCM = 0;
  CIVec NZ0, NZ2, NL, NP, ND;
  CVec P0, DP, EG;
  CMat ED;
  Mat P;
};

// Work of the equations: the weights C and a row W (N0), the matrices A, R,
// S (N0 × N0) of the complex inverse, and B, B1, B2 of at least NB·N0 words
// for the largest number NB of on-shell rows.
struct RpaWork {
  Vec C;
  Mat A, R, S;
  Vec B, B1, B2, W;
};

// RPA cross sections at every node of every ionised channel.  `last`
// receives the amplitudes of each energy as it is written (the last
// energy's on return).  LIST is the listing, DATA the continuum data file.
// Legacy name: RPAD0.
void rpa_cross_sections(const RpaMatrix& m, const RpaChannels& ch, const RpaWork& w, const RpaAmplitudes& last,
                        RpaTables& T, io::Unit& LIST, io::Unit& DATA);

}  // namespace photo

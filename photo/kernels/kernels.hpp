// The kernels of the photoionisation driver (xsect and xsect_a):
//
//  - the dense real linear solver with which the complex RPA system
//    (A + iE·B)·X = Y is solved in real arithmetic (LUDE … INVAB);
//  - the RPA equations: energy-denominator weights with the principal value
//    at the energy-shell pole, set-up and solution for every photoelectron
//    energy (SIMC0, RPAS0, RPAD0), and the same amplitudes from one real
//    LU factorisation with LAPACK (RPASF), the default.
//
// The grid tables and the Hartree–Fock dipole elements, which chanfile uses
// as well, are library routines (lib/two_region_grid.hpp,
// lib/dipole_elements.hpp), and so is the reading of the channel files
// chanfile writes (lib/channel_file.hpp).
//
// Conventions: the routines keep their short upper-case names and the order
// and meaning of their arguments; arrays are 1-based column-major views over
// the caller's storage (lib/views.hpp), const for inputs.  Nothing here
// allocates.  Internal tables (the row scale of LUDE, the weight and on-shell
// tables and the per-energy work of RPAD0) live in objects that the caller
// owns, sizes and passes in.  Files are passed as io::Unit; console output goes to io::console().
#pragma once

#include <array>
#include <complex>
#include <string>
#include <vector>

#include "lib/views.hpp"

namespace io {
class Unit;
}

namespace photo {

using lib::CIVec;
using lib::CMat;
using lib::CVec;
using lib::Fac;
using lib::IVec;
using lib::Mat;
using lib::Vec;

// ---------------------------------------------------------------- tables
// Sizes of the tables when the caller does not size them for its input.
inline constexpr int kLudeRows = 1500;    // order of a matrix given to LUDE
inline constexpr int kRpaWeights = 7700;  // weight vector of RPAD0
inline constexpr int kRpaOnShell = 2000;  // on-shell rows of RPAD0
inline constexpr int kRpaChannels = 10;   // channels of RPAD0
inline constexpr int kRpaDiscrete = 5;    // discrete functions per channel (rows of ED)

// Row-scale vector of LUDE: VV(I) = 1/max_J |A(I,J)|; its length is the
// largest order LUDE takes.  `quiet`: a zero row is not announced (the caller
// has announced the singular matrix already).
struct LudeTable {
  std::vector<double> VV = std::vector<double>(kLudeRows);
  bool quiet = false;
};

// Receives the dressed amplitudes D = DRR + i·DRI (length) and DVR + i·DVI
// (velocity) of the NL continuum solutions at node `node` of channel ICH,
// photoelectron energy E and photon energy OM, for every energy RPAD0 solves.
class RpaAmplitudeSink {
 public:
  virtual ~RpaAmplitudeSink() = default;
  virtual void rpa_amplitudes(int ICH, int node, double E, double OM, int NL, CVec DRR, CVec DRI, CVec DVR,
                              CVec DVI) = 0;
};

// Work of one factored RPA solve (RPASF): the real matrix of order `rows`
// and its pivots, the right-hand sides Bᵀ, d_L, d_V and their solutions, and
// the complex system of the `onshell` on-shell rows.
struct RpaFactorWork {
  std::vector<double> A, Z;
  std::vector<int> ipiv, ipivG;
  std::vector<std::complex<double>> G, g;
  int rows = 0, onshell = 0;
  void size_for(int N0, int NB);
};

// One photoelectron energy of the channel RPAD0 is working on: its weights,
// on-shell rows and amplitudes, kept so that the energies can be solved in
// any order and written in theirs.
struct RpaEnergy {
  double E = 0, OM = 0;
  int NB = 0, JS = 0, info = 0;
  std::vector<double> weight, CB, DRR, DRI, DVR, DVI;
  std::vector<int> IB;
  std::string console;  // the lines of the search for the pole nodes
};

// Tables of RPAD0, owned by the caller and sized by size_for.  `ILIN` chooses
// the solve: 0 the factored solve RPASF, 1 the complex inverse of RPAS0.
// `threads`: energies of a channel solved at once (factored solve only;
// every energy is solved by one thread, so the results do not depend on it).
// After a call `weight`, IB, CB and NB describe the last energy.  A table
// that is not sized holds no energies; RPAD0 then stops.
struct RpaTables {
  int ILIN = 0;
  // IPV: 1 the continuum of a channel from its threshold, open as soon as the
  // photon energy passes it; 0 from its first node, open from there (SIMC0).
  int IPV = 0;
  int threads = 1;
  std::vector<double> weight = std::vector<double>(kRpaWeights);
  std::vector<int> IB = std::vector<int>(kRpaOnShell);
  std::vector<double> CB = std::vector<double>(kRpaOnShell);
  std::vector<int> IND = std::vector<int>(kRpaWeights);
  std::vector<int> JP = std::vector<int>(kRpaChannels);
  std::vector<double> V1 = std::vector<double>(kRpaWeights);
  int NB = 0;
  LudeTable lude;
  RpaAmplitudeSink* sink = nullptr;  // optional receiver of the amplitudes
  std::vector<RpaEnergy> energies;
  std::vector<RpaFactorWork> work;
  // Room for a system of order N0 of NCH channels, `points` continuum points
  // (NL·NP) in the largest channel, `onshell` on-shell rows, `nodes` energies
  // and `solutions` continuum functions per channel, and `nthreads` solves at
  // once.  Set ILIN first: the factored solve needs its own work per thread.
  void size_for(int N0, int NCH, int points, int onshell, int nodes, int solutions, int nthreads);
};

// ---------------------------------------------------------------- linear solver
// LU factors of the row-permuted A (Crout, implicit partial pivoting), in place.
void LUDE(Mat A, int N, int NP, IVec INDX, double& D, LudeTable& T);
// Solution of A·x = b from the factors of LUDE; B holds b on entry, x on return.
void LUBE(CMat A, int N, int NP, CIVec INDX, Vec B);
// Y = A⁻¹; A is left holding its LU factors.
void INVMV(int N, IVec IND, double& D, Mat A, Mat Y, LudeTable& T);
// B1 = B·A.
void MUMA1(int N, int NB, CMat A, CMat B, Mat B1);
// B1 := B1(:, IB)·B, row by row through W.
void MUMA2(int N, int NB, int NB1, CIVec IB, Vec W, CMat B, Mat B1);
// A3(I) = A2(I)·A1(I) + A3(I).
void VSKD(int N, CVec A1, CVec A2, Vec A3);
// (A + iE·B)⁻¹ = R − iS, E placing row J of B into row IB(J).  A is consumed;
// on return B2 holds B·A⁻¹ and B1 holds (B·A⁻¹)(:, IB)·B.
void INVAB(int N, int NB, CIVec IB, IVec IND, double& D, Mat A, CMat B, Mat B1, Mat B2, Vec W, Mat R, Mat S,
           LudeTable& T);

// ---------------------------------------------------------------- RPA equations
// Energy-denominator weights of one channel at photon energy OM: forward
// weights S, backward weights V2, and for an open channel (JP ≠ 0) the three
// residue rows per continuum function (IB += block index, CB).  C, V1 are
// work; C is returned zero.  IB and CB hold NL·3 entries (column-major
// (NL, 3)); C, V1, V2, S are (NL, ·) blocks addressed by block index.
// IPV = 1 integrates each continuum from its threshold p = 0 (the segment
// below P(1) with the function frozen), IPV = 0 from P(1).
void SIMC0(int NL, int NP, int ND, int JP, IVec IB, double OM, double EG, CVec ED, CVec P, double DP, Vec CB, Vec C,
           Vec V1, Vec V2, Vec S, int IPV = 0);
// Dressed amplitudes D of the row-vector system
//   D(l) + Σ_k D(k)·C(k)·CLB(k,l) + iπ·Σ_J D(IB(J))·CB(J)·CLB(IB(J),l) = d(l),
// components JS+1 … JS+NL, for d = DHR and d = DHV.
void RPAS0(int N0, int NB, int NL, int JS, CIVec IB, IVec IND, CVec C, CMat CLB, CVec CB, Mat A, Mat B, Mat R, Mat S,
           Vec W, Mat B1, Mat B2, CVec DHR, CVec DHV, Vec DRR, Vec DRI, Vec DVR, Vec DVI, LudeTable& T);
// The same amplitudes from one real LU of A and the Sherman–Morrison–Woodbury
// form of the NB on-shell rows (LAPACK).  Returns 0, or the LAPACK report of a
// singular matrix: k > 0 when the pivot k of A is zero, N0 + k when the
// on-shell system is singular; the amplitudes are then not set.
int RPASF(int N0, int NB, int NL, int JS, CIVec IB, CVec C, CMat CLB, CVec CB, CVec DHR, CVec DHV, Vec DRR, Vec DRI,
          Vec DVR, Vec DVI, RpaFactorWork& W);
// RPA cross sections at every node of every ionised channel.  LIST is the
// listing, DATA the continuum data file.  B, B1, B2 are work of at least
// NB·N0 words for the largest number NB of on-shell rows.
void RPAD0(int N0, int NCH, int NCM, CIVec NZ0, CIVec NZ2, CIVec NL, CIVec NP, CIVec ND, CVec P0, CVec DP, CVec EG,
           CMat ED, Mat P, Vec C, CMat CLB, Mat A, Mat R, Mat S, Vec B, Vec B1, Vec B2, Vec W, CVec DHR, CVec DHV,
           Vec DRR, Vec DRI, Vec DVR, Vec DVI, RpaTables& T, io::Unit& LIST, io::Unit& DATA);

}  // namespace photo

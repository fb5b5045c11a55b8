// The RPA system of one photoelectron energy and its two solves: through
// the complex inverse of the written linear solver, and from one real LU
// factorisation with LAPACK (the default).
//
// The dressed amplitudes are components JS+1 … JS+NL of the row vector D of
//   D(l) + Σ_k D(k)·C(k)·CLB(k,l) + iπ·Σ_J D(IB(J))·CB(J)·CLB(IB(J),l) = d(l),
// for d = DHR (length form) and d = DHV (velocity form).
#pragma once

#include <complex>
#include <vector>

#include "lib/views.hpp"
#include "photo/kernels/linear_solver.hpp"

namespace photo {

// The system of one energy: order N0 and NB on-shell rows IB with their
// residue weights CB, the weights C and the interaction CLB of all
// variables, the Hartree–Fock amplitudes DHR and DHV, and the NL amplitudes
// wanted, components JS+1 … JS+NL.
struct RpaSystem {
  int N0 = 0, NB = 0, NL = 0, JS = 0;
  CIVec IB;
  CVec C;
  CMat CLB;
  CVec CB;
  CVec DHR, DHV;
};

// The dressed amplitudes D = DRR + i·DRI (length) and DVR + i·DVI
// (velocity) of the NL continuum solutions of one energy.
struct RpaAmplitudes {
  Vec DRR, DRI, DVR, DVI;
};

// Work of the solve through the complex inverse: the pivots IND (N0), the
// real part A and the two halves R, S of the inverse (N0 × N0), the on-shell
// rows B and the products B1, B2 (NB × N0), and a row W (N0).
struct RpaInverseWork {
  IVec IND;
  Mat A, B, R, S;
  Vec W;
  Mat B1, B2;
};

// The amplitudes from the complex inverse of
//   A(k,l) = δ(k,l) + C(k)·CLB(k,l) + iE·B,  B(J,l) = π·CB(J)·CLB(IB(J),l).
// Legacy name: RPAS0.
void rpa_amplitudes_by_inverse(const RpaSystem& s, const RpaInverseWork& w, LuRowScales& T, const RpaAmplitudes& D);

// Work of one factored RPA solve: the real matrix of order `rows` and its
// pivots, the right-hand sides Bᵀ, d_L, d_V and their solutions, and the
// complex system of the `onshell` on-shell rows.
struct RpaFactorWork {
  std::vector<double> A, Z;
  std::vector<int> ipiv, ipivG;
  std::vector<std::complex<double>> G, g;
  int rows = 0, onshell = 0;
  void size_for(int N0, int NB);
};

// Every component of the solution of one energy, length and velocity form,
// at photon energy OM: the amplitudes of any channel solved at the same
// energy (the channels of one shell share their momentum grid, so their
// systems are the same) are read from it instead of solved again.
struct RpaSolution {
  double OM = 0;
  int N0 = 0, NB = 0;
  bool valid = false;
  std::vector<std::complex<double>> length, velocity;
};

// The same amplitudes from one real LU of A and the Sherman–Morrison–Woodbury
// form of the NB on-shell rows (LAPACK).  Returns 0, or the LAPACK report of a
// singular matrix: k > 0 when the pivot k of A is zero, N0 + k when the
// on-shell system is singular; the amplitudes are then not set.  With
// `all`, every component of the solution goes there too (computed as the
// NL wanted are, so that those read back from it are the same numbers).
// Legacy name: RPASF.
int rpa_amplitudes_factored(const RpaSystem& s, RpaFactorWork& W, const RpaAmplitudes& D, RpaSolution* all = nullptr);

// The NL amplitudes JS + 1 … JS + NL of a stored solution.
void rpa_amplitudes_from(const RpaSolution& all, int JS, int NL, const RpaAmplitudes& D);

}  // namespace photo

// The RPA systems of every photon energy from one Hessenberg reduction.
//
// The weight of block index k at photon energy ω is, away from the pole
// nodes of an open channel and the first node's segment below the grid, a
// pencil W(k)/(Λ(k) − ω) (rpa_weights.hpp).  Row k of A = 1 + diag(C)·U,
// multiplied by Λ(k) − ω, is then row k of K − ω with
//   K = Λ + diag(W)·U,
// the same matrix at every energy.  The rows that depart from the pencil
// (r of them: the three pole nodes of every open continuum function and the
// first nodes with their segment) are kept as rows of A, a rank-r change:
//   P·A = (K − ω) + E_R·V,   P = diag(Λ − ω; 1 on the rows R).
// With Kᵀ = Q·H·Qᵀ (H upper Hessenberg) reduced once, each energy factors
// H − ω in O(n²), solves it for r + NB + 2 right-hand sides and takes the
// rank-r change and then the NB on-shell rows by the Sherman–Morrison–
// Woodbury identity: O((r + NB)·n²) per energy in place of the n³ of an LU.
//
// Each solution is checked by its residual in the system of the energy; a
// solve that misses is reported (return value −1) and the caller solves that
// energy by the LU.
#pragma once

#include <complex>
#include <vector>

#include "lib/views.hpp"
#include "photo/kernels/rpa_solve.hpp"

namespace photo {

// The reduced pencil of one RPA matrix: Λ and W of every variable, H, Qᵀ,
// G = Qᵀ·Uᵀ (n × n each, in the caller's storage when it offers it, else
// owned) and Qᵀ·d for the length and the velocity form.
struct RpaPencil {
  int n = 0;
  std::vector<double> Lambda, W, QTd;
  double *H = nullptr, *QT = nullptr, *G = nullptr;
  std::vector<double> owned;
  bool ready = false;
  // Three arrays of n² words each that the reduction may use.
  void use_storage(double* h, double* qt, double* g) { H = h, QT = qt, G = g; }
  // Λ and W must be set (n entries each); reduces the pencil of CLB with the
  // dipoles DHR, DHV.  Returns 0, or the LAPACK report.
  int reduce(const lib::CMat& CLB, const lib::CVec& DHR, const lib::CVec& DHV);
  // The words the pencil keeps beside storage it is offered, for order n.
  static long words(int n, bool offered) { return (offered ? 0L : 3L * n * n) + 3L * n; }
};

// Work of one energy: the Hessenberg factors (n × n), the right-hand sides
// (n × columns), the departing rows and the small systems.
struct RpaPencilWork {
  std::vector<double> LU, F, mult, QR, cap, rhs;
  std::vector<int> swap, R, ipiv;
  std::vector<std::complex<double>> G, g;
  std::vector<double> scale, w;
  int rows = 0, columns = 0;
  // Room for order N0, NB on-shell rows and up to `departing` rows R.
  void size_for(int N0, int NB, int departing);
  static long words(int N0, int NB, int departing) {
    return static_cast<long>(N0) * N0 + static_cast<long>(N0) * (departing + NB + 2) * 2L + 16L * N0;
  }
};

// The amplitudes of system s at photon energy OM from the reduced pencil,
// every component into `all` (as the factored solve gives them).  Returns 0;
// −1 when the rows departing from the pencil outnumber the work, H − OM
// has a zero pivot, or the solution's relative residual exceeds 1e-10: the
// amplitudes are then not set.
int rpa_amplitudes_pencil(const RpaSystem& s, double OM, const RpaPencil& p, RpaPencilWork& w, const RpaAmplitudes& D,
                          RpaSolution& all);

}  // namespace photo

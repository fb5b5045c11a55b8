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
// Folded (fold = true, with the forward and backward variable of every
// function paired): the interaction couples forward with forward as backward
// with backward, and forward with backward as backward with forward, and the
// backward variables carry −Λ and −W, so Kᵀ = [X  Y; −Y  −X] over the pairs.
// With s = x + y, d = x − y the system (Kᵀ − ω)·(x; y) = (a; b) becomes
//   ((X − Y)(X + Y) − ω²)·s = ω·(a + b) + (X − Y)·(a − b),
//   d = ((X + Y)·s − (a − b))/ω,
// a pencil in ω² of half the order: its reduction M = Qm·Hm·Qmᵀ costs an
// eighth of the whole one, and each energy's solves a quarter.  A solution
// is carried as (w; v): w in the Hessenberg basis of M, v = a − b, and each
// component is a linear function of the two.  When the pairs do not have
// this structure the pencil is reduced whole.  (Within a σ channel the
// backward–forward block is the transpose of the forward–backward one,
// symmetric only to the quadrature of the interaction: the fold takes the
// mean, and the refinement below the difference.)
//
// Each solution's residual in the system of the energy is solved by the same
// factors and added while it falls (iterative refinement); a solution that
// still misses is reported and the caller solves that energy by the LU.
#pragma once

#include <complex>
#include <vector>

#include "lib/views.hpp"
#include "photo/kernels/rpa_solve.hpp"

namespace photo {

// The reduced pencil of one RPA matrix: Λ and W of every variable, H, Qᵀ,
// G = Qᵀ·Uᵀ (n × n each, in the caller's storage when it offers it, else
// owned) and Qᵀ·d for the length and the velocity form.  H keeps its
// diagonal and subdiagonal in `diagonal`, `subdiagonal` and the rest of
// each column in the strictly lower triangle of its array (column j's in
// the last j rows of column n − 1 − j), so that each energy's triangular
// factor of H − ω takes the upper triangle of the same array: no n² words
// per energy.  The energies are therefore
// solved one at a time (each solve on the BLAS's threads).
struct RpaPencil {
  int n = 0;
  std::vector<double> Lambda, W, QTd, diagonal, subdiagonal;
  double *H = nullptr, *QT = nullptr, *G = nullptr;
  std::vector<double> owned;
  bool ready = false;
  // The fold: asked for (fold, with forward[i], backward[i] the 0-based
  // variables of pair i), and done (folded) when the structure holds.  Its
  // matrices of order m = n/2 lie in the arrays H (Hm, P1 = Qmᵀ·(X − Y),
  // P2ᵀ = ((X + Y)·Qm)ᵀ) and QT (Qmᵀ, G2 = P1·((X + Y) − Λ)·W⁻¹); QTd holds
  // Qmᵀ·(a + b), P1v = P1·(a − b) and dv = a − b of the two dipoles.
  bool fold = false, folded = false;
  std::vector<int> forward, backward, pair_of;
  std::vector<double> P1v, dv;
  double *P1 = nullptr, *P2T = nullptr, *G2 = nullptr;
  // Three arrays of n² words each that the reduction may use.
  void use_storage(double* h, double* qt, double* g) { H = h, QT = qt, G = g; }
  // Λ and W must be set (n entries each); reduces the pencil of CLB with the
  // dipoles DHR, DHV.  Returns 0, or the LAPACK report.
  int reduce(const lib::CMat& CLB, const lib::CVec& DHR, const lib::CVec& DHV);
  // The folded reduction (called by reduce when the pairs match and the
  // interaction departs from their structure by at most kFoldDeparture).
  double pair_departure(const lib::CMat& CLB) const;
  static constexpr double kFoldDeparture = 0.05;
  int reduce_folded(const lib::CMat& CLB, const lib::CVec& DHR, const lib::CVec& DHV);
  // Moves H's strictly upper part of order h into its strictly lower
  // triangle, the diagonal and subdiagonal aside.
  void keep_hessenberg(int h);
  // The words the pencil keeps beside storage it is offered, for order n.
  static long words(int n, bool offered) { return (offered ? 0L : 3L * n * n) + 5L * n; }
};

// A (h × h) = Q·H·Qᵀ in place, H upper Hessenberg with the reflectors below
// it, and Q (h × h) formed (LAPACK dgehrd, dorghr).  Returns 0 or LAPACK's
// report.
int hessenberg_reduction(int h, double* A, double* Q);

// Work of one energy: the right-hand sides (n × columns), the departing
// rows and the small systems, and the refinement's vectors.
struct RpaPencilWork {
  std::vector<double> F, mult, QR, cap, rhs, column, keep, work;
  std::vector<int> swap, R, ipiv, ipiv_rows;
  std::vector<std::complex<double>> G, g;
  std::vector<double> scale, w;
  int rows = 0, columns = 0;
  double residual = 0.0;  // the relative residual of the last solution
  int refinements = 0;    // the refinement passes it took
  // Room for order N0, NB on-shell rows and up to `departing` rows R.
  void size_for(int N0, int NB, int departing);
  static long words(int N0, int NB, int departing) {
    return static_cast<long>(N0) * (departing + NB + 4) * 2L + 32L * N0;
  }
};

// The amplitudes of system s at photon energy OM from the reduced pencil,
// every component into `all` (as the factored solve gives them), refined by
// the residual in the energy's own system while it falls.  Returns 0; −2
// when the solution's relative residual (w.residual) exceeds 1e-10, the
// amplitudes set all the same; −1 when the rows departing from the pencil
// outnumber the work or H − OM has a zero pivot: the amplitudes are then not
// set.
int rpa_amplitudes_pencil(const RpaSystem& s, double OM, RpaPencil& p, RpaPencilWork& w, const RpaAmplitudes& D,
                          RpaSolution& all);

}  // namespace photo

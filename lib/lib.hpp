// The numerical library shared by the three programs.
//
// Orbital files, angular coupling coefficients, radial quadrature and the
// angular projection of products, the radial equation solver, small vector
// and matrix kernels, the multipole potentials of orbital products, the
// one-electron part of the radial equations, and the grid tables and dipole
// matrix elements of the photoionisation grid.
//
// Conventions: the routines keep their short upper-case names and the
// meaning and order of their arguments; arrays are 1-based column-major
// views over the caller's storage (lib/views.hpp); inputs are const views;
// nothing here allocates: every work array comes from the caller.  Shell
// descriptors (M, L0, n) are 3-element integer vectors, so that a column of a
// shell table can be passed as it stands.
#pragma once

#include "lib/views.hpp"

namespace io {
class Unit;
}

namespace lib {

// Some routines exist in two builds, one for the photoionisation programs
// and one for the ground-state program; the caller names its build.
//   FINS   message " FINS N = " / " Fins N = "; divides by 3 / multiplies by 1/3
//   SUMA   drops angular coefficients below 1.0e-6 / 1.0e-8
//   F3JS   (and the Gaunt coefficients built on it) forms the Racah
//          prefactor and the terms of the sum in two different orders
enum class Build { photo, scf };

// ---------------------------------------------------------------- orbital file
// Writes the orbital block: header (NSH, NB), then per shell its number and
// partial-wave count, E and CN, and each partial wave's NB values.
void WIFB(int NSH, int NB, CIMat MLN, CIVec LK, CVec E, CVec CN, CMat X, io::Unit& NF);
// Reads one orbital block; shell J of the file goes to E(J), CN(J) and the
// columns LK(J) ... of X.  Stops with a message when the block does not fit
// the caller's storage (N > NB, more shells than LK, E or CN hold, columns
// beyond X).
void REFB(int NB, CIVec LK, Vec E, Vec CN, Mat X, io::Unit& NF, CIVec NW = {});

// ---------------------------------------------------------------- vector kernels
void VEQC(int N, double C, Vec V);            // V(I) = C
void VEVR(int N, CVec V, Vec V1);             // V1(I) = V(I)
void VCM1(int N, double C, Vec V);            // V(I) = C·V(I)
void VVM2(int N, CVec V1, Vec V2);            // V2(I) = V2(I)·V1(I)
void VSM2(int N, double C, CVec V1, Vec V2);  // V2(I) = V2(I) + C·V1(I)
void VSM3(int N, CVec V1, CVec V2, Vec V3);   // V3(I) = V3(I) + V1(I)·V2(I)
double FSMV(int N, CVec V1, CVec V2);         // Σ V2(I)·V1(I), I = 1 upwards
// A = A⁻¹ in place by Gauss–Jordan without pivoting, D = Π pivots = det A.
// An exactly zero pivot stops the run (the elimination cannot go on).
void INVM(int N, double& D, Mat A);

// ---------------------------------------------------------------- angular coefficients
void DEFA(int N, VecView<double, 0> F);  // F(n) = n!, n = 0 … N
// F(N), or 0 for N < 0; an N beyond the end of the table stops the run.
double FVE0(int N, Fac F);
// Wigner 3j symbol (L1 L2 L3; M1 M2 M3).  Zero without reading F when the
// projections do not add to zero, the triangle rule fails or some |Mi| > Li;
// otherwise F must hold (L1+L2+L3+1)!, and a prefactor beyond the range of
// doubles stops the run.  Beyond L1+L2+L3+1 = 80 (98 for the ground-state
// build) F is not read: the sum is taken in 113-bit arithmetic, to rounding
// for any momenta.
double F3JS(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
// ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ
double FSGA(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
// ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ
double FSGB(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
double FSG0(int L, int M, Fac F, Build b = Build::photo);  // ⟨L M|η²|L M⟩
double FSG1(int L, int M, Fac F, Build b = Build::photo);  // ⟨L+1 M|η|L M⟩
double FSG2(int L, int M, Fac F, Build b = Build::photo);  // ⟨L+2 M|η²|L M⟩
// Matrix elements of η and η² between normalised spherical harmonics of one
// projection M: ⟨L M|η²|L M⟩, ⟨L+2 M|η²|L M⟩ and ⟨L+1 M|η|L M⟩.  EXACT = 0
// gives the library's values (FSG0, FSG2, FSG1 of the ground-state build),
// which write √(4π)/3, (2/3)√(4π/5) and √(4π/3) to seven to ten digits
// (relative errors up to 5e-10, enough to move the N2 total by 1.5e-7);
// EXACT = 1 their closed forms
//   (2L(L+1) − 2M² − 1)/((2L−1)(2L+3)),
//   √[((L+1)² − M²)((L+2)² − M²)/((2L+1)(2L+3)²(2L+5))],
//   √[((L+1)² − M²)/((2L+1)(2L+3))],
// zero when |M| > L as the library gives them.
double eta2_diagonal(int L, int M, Fac F, int EXACT);
double eta2_next(int L, int M, Fac F, int EXACT);
double eta_next(int L, int M, Fac F, int EXACT);

// ---------------------------------------------------------------- quadrature and projection
// Composite Simpson rule over N equally spaced points of step H; N must be
// odd and at least 3, otherwise the run stops with " FINS N = " (" Fins N = ").
double FINS(int N, double H, CVec F, Build b = Build::photo);
// Gauss–Legendre rule of N points on [−1, 1]: nodes X ascending, weights W
// (exact for polynomials up to degree 2N − 1).  Newton's iteration on P_N,
// each symmetric pair of nodes found once.
void gauss_legendre(int N, Vec X, Vec W);
// Q = C·∫ (R − η²)·X·Y(KJ,MJ)·conj(Y(K,MI+MJ)) dΩ for X = Σ_i X(·,i)·Y(K0I+(i−1)KD, MI).
void SUMA(int NB, int NX, int MI, int MJ, int KD, int K0I, int KJ, int K, double C, CVec R, CMat X, Fac F, Vec Q1,
          Vec Q, Build b = Build::photo);
// The same projection for X described by MN1 = (M1, L0, n), with target
// projection M3 as passed.
void SUMY(int NB, int KD, CIVec MN1, int M2, int M3, int K2, int K3, double C, CVec R, Fac F, Vec WK, CMat X, Vec Q);

// ---------------------------------------------------------------- radial equation solver
// Inner grid and power-series tables for projections 0 … M−1; the outer rows
// NA+1 … NB of R must be filled.  A grid with NA < 2, RA ≤ 1 or fewer than
// three outer points stops the run.
void HAFA0(int NA, int NB, int M, double RA, double& HA, Mat R, Mat A, Mat B, Mat U, Mat V, Mat G, Vec BZ);
// Backward Numerov sweep on N points: X(j) = U(j)·X(j−1) + V(j).  IDIF = 1:
// the difference form, U holding g = U − 1 (X(j) = X(j−1) + g(j)·X(j−1) + V(j))
// to its own relative precision.
void BPNM(int N, double CH, CVec B, CVec P, CVec Q, Vec U, Vec V, int IDIF = 0);
// One radial equation d/dξ[(ξ²−1) dy/dξ] − m²/(ξ²−1)·y + P·y = Q on the
// two-region grid.  The inner region holds the Taylor polynomial of degree
// NA−1 about ξ = 1, whose remainder (about ((RA−1)/2)^NA, the series
// converging for |ξ−1| < 2) bounds the accuracy; the outer region is O(h⁴).
// IDIF = 1 sweeps the outer region in the difference form (BPNM).
void RDEQ(int NA, int NB, int IPA, double CH, CVec GG, CVec B, CVec AA, CVec BB, CVec VV, CMat UU, CMat WW, Mat WC,
          Vec CP, Vec CQ, Vec CX, CVec P, CVec Q, Vec U, Vec V, Vec X, int IDIF = 0);

// ---------------------------------------------------------------- multipole potentials
// Multipoles of the potential of X1·conj(X2); R holds grid columns 2 … 6.
// Z needs MNZ(3) = 3(n1+n2)/4 columns; fewer stop the run.
void CUIN(int NA, int NB, int KD, CIVec MN1, CIVec MN2, IVec MNZ, double C1, double CH, CVec CB, Vec B, CVec GG,
          CVec AA, CVec BB, CVec VV, CMat UU, CMat WW, Mat WC, Fac F, CMat R, Mat CX, Mat WK, CMat X1, CMat X2, Mat Z);
// Partial waves MNE of (ξ²−η²)·V·XFE, V the potential of XF1·conj(XF2);
// R2 holds grid columns 2 … 6, GG, AA, BB, VV are the whole tables of HAFA0;
// |MF1(1) − MF2(1)| must be a projection they were built for, else the run stops.
void CUIF(int NA, int NB, CIVec MF1, CIVec MF2, CIVec MFE, CIVec MNE, int KD, double C1, double CH, CVec BZ, Fac F,
          CMat GG, Vec B, CMat AA, CMat BB, CMat VV, CMat UU, CMat WW, Mat WC, Mat CX, CMat R2, CMat XF1, CMat XF2,
          CMat XFE, Mat QQ, Mat WK, Mat Z);

// ---------------------------------------------------------------- one-electron equations
// Size of the factorial table of the shell equations (tovrel's shells and
// chanfile's continuum): 0! … 98!.
inline constexpr int kFactorials = 99;
// Factorials F(0 … NF−1); one-electron and angular part of the equations of
// a set of partial waves (projection M, momenta L0, L0 + ISYM, …, N waves)
// into PD(NB,N,N) (diagonal and η band; PD must be zero on entry) and its η²
// matrix TT(N,N).  ZP = (Z1 + Z2)·RZ, ZM = (Z2 − Z1)·RZ; of the grid table R
// columns 1 (ξ) and 3 … 5 are read.  WK(·,1) receives the diagonal common to
// all waves.  EXACT as for eta2_diagonal.
void MASH(int NB, int M, int L0, int N, int ISYM, int NF, double ZP, double ZM, Mat WK, CMat R, VecView<double, 0> F,
          Mat TT, Arr3 PD, int EXACT = 0);

// ---------------------------------------------------------------- grid tables and dipole elements
// Two-region grid (NA points uniform in ξ, NB − NA points uniform in
// ρ = ξ − 10/(ξ − 0.9)) and the per-point factors of the length form.
void HAFI2(int NA, int NB, double& HA, double& HB, CVec RP, Mat R);
// The same grid and the per-point factors of the velocity form.
void HAFV2(int NA, int NB, double& HA, double& HB, CVec RP, Mat RV);
// Three-point derivative on the two-region grid (region 1 fixed at points 1 … 5).
void DIF0(int N, double HA, double HB, CVec X, CVec G, Vec Y);
// RZ3·∫ Σ_i Z_i·X_i·R6·R3 with the two-region Simpson rule.
double FCUN(int NA, int NB, int NX, double HA, double HB, double RZ3, CVec R3, CVec R6, CMat X, CMat Z, Vec WK);
// Length-form dipole element between the bound orbital X1 (M1, L1, N1 waves)
// and the final function X2 (M2, L2, N2 waves) into DR(M2 − M1 + 2), and the
// partial cross section (E2 > 0), oscillator strength (E2 < 0) or bare
// element (E2 = 0) in CS.
void HFCSR(int NA, int NB, int N1, int N2, int L1, int L2, int M1, int M2, int KD, double HA, double HB, double RZ3,
           double E1, double E2, double C, Vec DR, double& CS, CMat R, CMat X1, CMat X2, Mat PQV, Vec Z1, Fac F);
// Velocity-form counterpart of HFCSR on the velocity-form table RV.  IDER
// chooses the derivative of a bound orbital of odd M1 at ξ = 1: 1 through
// X1/sqrt(ξ² − 1), second order; 0 the one-sided difference of X1, first
// order (the results of earlier runs).
void HFCSV(int NA, int NB, int N1, int N2, int L1, int L2, int M1, int M2, int KD, double HA, double HB, double RZ3,
           double E1, double E2, double C, Vec DV, double& CS, CMat RV, CMat X1, CMat X2, Mat PQV, Vec Z1, Fac F,
           int IDER = 0);

}  // namespace lib

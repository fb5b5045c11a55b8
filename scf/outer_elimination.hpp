// The outer region of a shell's equations at a fixed trial energy: the
// matrix Numerov relations of its N waves, eliminated block by block from
// the last point down, and the waves recovered from them outwards from the
// junction.
#pragma once

#include "lib/views.hpp"

namespace scf {

// Gauss–Jordan solve without pivoting of the N × N block A with the vector V
// and the block C carried along: V ← A⁻¹V, C ← A⁻¹C, A destroyed.  Returns
// det A, the product of the pivots.
// Legacy name: INVE.
double gauss_jordan_solve(int N, lib::Vec V, lib::Mat A, lib::Mat C);

// The outer equations of a shell with N waves at one trial energy, as the
// elimination reads them: the points NA+1 … NB, r = HB²/12, the energy term
// ER = (RZ²/2)·E, the η² matrix TT (N,N), the grid columns R2 (ξ²) and R3
// (1/(x′²(ξ²−1))), the coupling PD (NB,N,N) and the source S (NB,N), the
// form of the relations (IDIF = 1: the difference form), and the algebra of
// each point's blocks (IBLAS = 1: BLAS products and LAPACK's LU factors
// with partial pivoting in place of the written products and Gauss–Jordan
// solve; the same relations to rounding, about twice as fast at 30 waves,
// slower below about 12).
// A run with the library's algebra (the run's IBLAS = 1) takes the blocks
// from the library from kLibraryBlockWaves waves on.  Whole runs of N2 at
// TOL = 1e-8 (8886 points), blocks by the library against as written: 5.86
// against 5.38 s at 9 waves, 11.17 against 10.90 s at 13, 19.19 against
// 18.82 s at 17, 29.7 against 31.1 s at 21.
inline constexpr int kLibraryBlockWaves = 20;
struct OuterEquations {
  int N = 0, NA = 0, NB = 0;
  double r = 0.0, ER = 0.0;
  lib::CMat TT;
  lib::CVec R2, R3;
  lib::CArr3 PD;
  lib::CMat S;
  int IDIF = 0;
  int IBLAS = 0;
};

// Backward block elimination of the outer Numerov relations of eq.  RM(i)
// (columns 3 … N²+2 of WK) and RV(i) (columns N²+3 … N²+N+2) give
// u_i = RV(i) − RM(i)·u_{i−1} for i = NA+2 … NB, with RM(NB) = CM and
// RV(NB) = CV.  Returns the sign of the product of the determinants of the
// eliminated blocks.  `scratch` holds the blocks of one point and the
// gathered coefficients of a run of points, at least
// outer_elimination_words(N) words.
// IDIF = 1: the difference form, WK holding G = −RM − I in place of RM
// (u_i = RV(i) + (I + G(i))·u_{i−1}), formed so that G keeps its relative
// precision; the same relations up to rounding.
// Legacy name: CPYP0.
int eliminate_outer_relations(const OuterEquations& eq, lib::CMat CM, lib::CVec CV, lib::Mat WK, lib::Vec scratch);

// Words of the elimination's scratch for N waves: seven N × N blocks, two
// vectors, and the gathered W and written relations of at least one point
// each.  (IBLAS = 1 keeps the pivots of the LU factors besides.)
long outer_elimination_words(int N);

// The waves at the outer points NA+2 … NB of a shell with N waves, from
// the relations eliminate_outer_relations left in WK,
// u_i = RV(i) − RM(i)·u_{i−1}, and the waves at NA+1 in X (NB,N).
// IDIF = 1: the relations of the difference form, each step added to the
// previous value.
void outer_waves(int N, int NA, int NB, lib::CMat WK, lib::Mat X, int IDIF = 0);

}  // namespace scf

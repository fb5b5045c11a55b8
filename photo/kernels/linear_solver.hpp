// The dense real solver with which the complex RPA system (A + iE·B)·X = Y
// is solved in real arithmetic: the LU decomposition with implicit partial
// pivoting and its substitution, the inverse built on them, the products
// with the on-shell row block, and the complex inverse from two real
// inversions.
//
// Arrays are 1-based column-major views over the caller's storage
// (lib/views.hpp), const for inputs.  Nothing here allocates: the row scales
// of the decomposition live in a table the caller owns, sizes and passes in.
#pragma once

#include <vector>

#include "lib/views.hpp"

namespace photo {

using lib::CIVec;
using lib::CMat;
using lib::CVec;
using lib::IVec;
using lib::Mat;
using lib::Vec;

// Order of the largest matrix a default-sized row-scale table takes.
inline constexpr int kLuRows = 1500;

// Row scales of the LU decomposition, VV(I) = 1/max_J |A(I,J)|; the length
// of VV is the largest order the decomposition takes.  `quiet`: a zero row
// is not announced (the caller has announced the singular matrix already).
struct LuRowScales {
  std::vector<double> VV = std::vector<double>(kLuRows);
  bool quiet = false;
};

// LU factors of the row-permuted A (Crout, implicit partial pivoting), in
// place; INDX records the interchanges and D their sign.
// Legacy name: LUDE.
void lu_decompose(Mat A, int N, int NP, IVec INDX, double& D, LuRowScales& T);
// Solution of A·x = b from the factors of lu_decompose; B holds b on entry,
// x on return.
// Legacy name: LUBE.
void lu_substitute(CMat A, int N, int NP, CIVec INDX, Vec B);
// Y = A⁻¹; A is left holding its LU factors.
// Legacy name: INVMV.
void lu_inverse(int N, IVec IND, double& D, Mat A, Mat Y, LuRowScales& T);
// B1 = B·A for the NB × N row block B.
// Legacy name: MUMA1.
void row_block_product(int N, int NB, CMat A, CMat B, Mat B1);
// B1 := B1(:, IB)·B, row by row through W.
// Legacy name: MUMA2.
void gathered_row_block_product(int N, int NB, int NB1, CIVec IB, Vec W, CMat B, Mat B1);
// A3(I) = A2(I)·A1(I) + A3(I).
// Legacy name: VSKD.
void add_elementwise_product(int N, CVec A1, CVec A2, Vec A3);

// The complex matrix A + iE·B in real form: the real part A (N × N), the NB
// rows B of the imaginary part, and the rows IB(J) of A that row J of B
// belongs to (E places row J of B into row IB(J)).
struct ComplexSystem {
  int N = 0, NB = 0;
  CIVec IB;
  Mat A;  // consumed by the inverse
  CMat B;
};

// Work of the complex inverse: the pivots IND (N), the two NB × N products
// B1 and B2, a row W (N), and the sign D of the last decomposition's
// interchanges.
struct ComplexInverseWork {
  IVec IND;
  Mat B1, B2;
  Vec W;
  double D = 0.0;
};

// (A + iE·B)⁻¹ = R − iS.  A is consumed; on return w.B2 holds B·A⁻¹ and
// w.B1 holds (B·A⁻¹)(:, IB)·B.
// Legacy name: INVAB.
void complex_inverse(const ComplexSystem& s, ComplexInverseWork& w, LuRowScales& T, Mat R, Mat S);

}  // namespace photo

// Small loops over double vectors and the in-place inverse of a small dense
// matrix.  A vector may be any contiguous stretch of the workspace: a column,
// or a whole matrix taken as one vector of N·N words.
#pragma once

#include "lib/views.hpp"

namespace lib {

// V(I) = C, I = 1 … N.
// Legacy name: VEQC.
void fill(int N, double C, Vec V);
// V1(I) = V(I).
// Legacy name: VEVR.
void copy(int N, CVec V, Vec V1);
// V(I) = C·V(I).
// Legacy name: VCM1.
void scale(int N, double C, Vec V);
// V2(I) = V2(I)·V1(I).
// Legacy name: VVM2.
void multiply_elementwise(int N, CVec V1, Vec V2);
// V2(I) = V2(I) + C·V1(I).
// Legacy name: VSM2.
void add_scaled(int N, double C, CVec V1, Vec V2);
// V3(I) = V3(I) + V1(I)·V2(I).
// Legacy name: VSM3.
void add_product(int N, CVec V1, CVec V2, Vec V3);
// Σ V2(I)·V1(I), accumulated from I = 1 upwards.
// Legacy name: FSMV.
double dot(int N, CVec V1, CVec V2);
// A = A⁻¹ in place by Gauss–Jordan without pivoting, D = Π pivots = det A.
// An exactly zero pivot stops the run (the elimination cannot go on).
// Legacy name: INVM.
void invert_in_place(int N, double& D, Mat A);

}  // namespace lib

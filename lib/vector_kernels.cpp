// Small loops over double vectors and the in-place inverse of a small dense
// matrix.  A vector may be any contiguous stretch of the workspace: a column,
// or a whole matrix taken as one vector of N·N words.
#include "lib/vector_kernels.hpp"

#include <string>

#include "io/format.hpp"
#include "io/stop.hpp"

namespace lib {

// V(I) = C, I = 1 … N.
void fill(int N, double C, Vec V) {
  for (int I = 1; I <= N; ++I) V(I) = C;
}

// V1(I) = V(I), I = 1 … N.
void copy(int N, CVec V, Vec V1) {
  for (int I = 1; I <= N; ++I) V1(I) = V(I);
}

// V(I) = C·V(I).
void scale(int N, double C, Vec V) {
  for (int I = 1; I <= N; ++I) V(I) = C * V(I);
}

// V2(I) = V2(I)·V1(I).
void multiply_elementwise(int N, CVec V1, Vec V2) {
  for (int I = 1; I <= N; ++I) V2(I) = V2(I) * V1(I);
}

// V2(I) = V2(I) + C·V1(I).
void add_scaled(int N, double C, CVec V1, Vec V2) {
  for (int I = 1; I <= N; ++I) V2(I) = V2(I) + C * V1(I);
}

// V3(I) = V3(I) + V1(I)·V2(I).
void add_product(int N, CVec V1, CVec V2, Vec V3) {
  for (int I = 1; I <= N; ++I) V3(I) = V3(I) + V1(I) * V2(I);
}

// Σ_{I=1..N} V2(I)·V1(I), accumulated from I = 1 upwards so that the
// rounding is the same on every call.
double dot(int N, CVec V1, CVec V2) {
  double S = 0.0;
  for (int I = 1; I <= N; ++I) S = S + V2(I) * V1(I);
  return S;
}

// A ← A⁻¹ by Gauss–Jordan elimination in place, without pivoting, and
// D = Π pivots = det A.  Exact for exact arithmetic whenever every leading
// principal minor is non-zero (the inner-region power matrix is a
// Vandermonde matrix of distinct points, so all of its minors are).  An
// exactly zero pivot means a singular leading block; the elimination cannot
// go on, and the run stops rather than fill A with infinities.
void invert_in_place(int N, double& D, Mat A) {
  D = 1.0;
  for (int I = 1; I <= N; ++I) {
    double Q = A(I, I);
    D = D * Q;
    if (Q == 0.0) io::stop(io::fstring(io::Format("(' INVM: ZERO PIVOT IN ROW',I5,' OF',I5)"), I, N));
    A(I, I) = 1.0;
    for (int K = 1; K <= N; ++K) A(I, K) = A(I, K) / Q;
    for (int J = 1; J <= N; ++J) {
      if (J == I) continue;
      Q = A(J, I);
      A(J, I) = 0.0;
      for (int K = 1; K <= N; ++K) A(J, K) = A(J, K) - A(I, K) * Q;
    }
  }
}

}  // namespace lib

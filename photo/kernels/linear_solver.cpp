// Dense real kernels for the complex RPA system (A + iE·B)·X = Y.
//
// The system matrix is real except for the few on-shell rows named by IB, so
// its inverse is formed in real arithmetic from two real inversions:
// (A + iE·B)⁻¹ = R − iS with R = (A + E·B·A⁻¹·E·B)⁻¹ and S = R·E·B·A⁻¹.
// The inversions use an LU decomposition with implicit (row-scaled) partial
// pivoting and forward/back substitution.
#include "photo/kernels/linear_solver.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "io/console.hpp"
#include "lib/checks.hpp"
#include "lib/vector_kernels.hpp"

namespace photo {

using lib::detail::fail;

namespace {

// Unchecked 1-based access to contiguous storage (a column, a vector), for
// the innermost loops: c[I] is element I.
template <class T>
struct Col {
  T* p;
  T& operator[](int i) const { return p[i - 1]; }
};

// A zero row leaves the decomposition without a scale: the operator is told
// and the run waits for one line on the console.  At end of input the run
// continues, so that a batch job never hangs here.
void singular_matrix_pause(const LuRowScales& T) {
  if (T.quiet) return;
  io::console().line("SINGULAR MATRIX IN LUDE");
  std::string reply;
  io::console().read_line(reply);
}

void check_order(const char* routine, int N, const LuRowScales& T) {
  if (N < 0 || N > static_cast<int>(T.VV.size())) {
    fail(routine, ": order N = ", N, " exceeds the ", T.VV.size(), " rows of the LU row-scale table");
  }
}

void check_matrix(const char* routine, const char* name, int rows, int cols, int m, int n) {
  if (rows != m || cols < n) {
    fail(routine, ": matrix ", name, " is ", rows, " x ", cols, ", needs leading dimension ", m, " and ", n,
         " columns");
  }
}

void check_vector(const char* routine, const char* name, int size, int n) {
  if (size < n) fail(routine, ": vector ", name, " has ", size, " entries, needs ", n);
}

void check_rows(const char* routine, int N, int NB, CIVec IB) {
  check_vector(routine, "IB", IB.size(), NB);
  for (int J = 1; J <= NB; ++J) {
    if (IB(J) < 1 || IB(J) > N) fail(routine, ": coupling row IB(", J, ") = ", IB(J), " lies outside 1 .. ", N);
  }
}

}  // namespace

// Crout decomposition P·A = L·U in place, L with unit diagonal below, U on
// and above the diagonal.  Row I is scaled by VV(I) = 1/max_J |A(I,J)| for
// the pivot choice only; among equal scaled candidates the later row wins.
// A pivot that is exactly zero becomes 1.0e-40 so that the factors stay
// finite.  Columns are updated left-looking, A(I,J) −= A(I,K)·A(K,J) for
// K = 1, 2, … in turn: the same sequence of roundings as the row-by-row
// Crout sums, with unit-stride access to the column-major storage.
void lu_decompose(Mat A, int N, int NP, IVec INDX, double& D, LuRowScales& T) {
  check_order("LUDE", N, T);
  if (N > NP) fail("LUDE: order N = ", N, " exceeds the leading dimension NP = ", NP);
  check_matrix("LUDE", "A", A.rows(), A.cols(), NP, N);
  check_vector("LUDE", "INDX", INDX.size(), N);
  const Col<double> VV{T.VV.data()};

  D = 1.0;
  for (int I = 1; I <= N; ++I) {
    double AAMAX = 0.0;
    for (int J = 1; J <= N; ++J) {
      const double a = std::fabs(A(I, J));
      if (a > AAMAX) AAMAX = a;
    }
    if (AAMAX == 0.0) singular_matrix_pause(T);
    VV[I] = 1.0 / AAMAX;
  }

  for (int J = 1; J <= N; ++J) {
    const Col<double> aj{A.col(J).data()};  // aj[I] = A(I, J)
    for (int K = 1; K < J; ++K) {
      const double akj = aj[K];  // final: it has received all its updates K' < K
      const Col<const double> ak{A.col(K).data()};
      for (int I = K + 1; I <= N; ++I) aj[I] -= ak[I] * akj;
    }
    double AAMAX = 0.0;
    int IMAX = J;
    for (int I = J; I <= N; ++I) {
      const double DUM = VV[I] * std::fabs(aj[I]);
      if (DUM >= AAMAX) {
        IMAX = I;
        AAMAX = DUM;
      }
    }
    if (IMAX != J) {
      for (int K = 1; K <= N; ++K) std::swap(A(IMAX, K), A(J, K));
      D = -D;
      VV[IMAX] = VV[J];
    }
    INDX(J) = IMAX;
    if (aj[J] == 0.0) aj[J] = 1.0e-40;
    if (J != N) {
      const double DUM = 1.0 / aj[J];
      for (int I = J + 1; I <= N; ++I) aj[I] *= DUM;
    }
  }
}

// x = U⁻¹·L⁻¹·P·b.  The forward pass starts its sums at the first non-zero
// entry II of the permuted right-hand side; the entries before it are zero
// and stay zero.
void lu_substitute(CMat A, int N, int NP, CIVec INDX, Vec B) {
  if (N > NP) fail("LUBE: order N = ", N, " exceeds the leading dimension NP = ", NP);
  check_matrix("LUBE", "A", A.rows(), A.cols(), NP, N);
  check_vector("LUBE", "INDX", INDX.size(), N);
  check_vector("LUBE", "B", B.size(), N);
  const double* a = A.data();
  const auto at = [a, NP](int I, int J) { return a[static_cast<std::ptrdiff_t>(J - 1) * NP + (I - 1)]; };
  const Col<double> b{B.data()};

  int II = 0;
  for (int I = 1; I <= N; ++I) {
    const int LL = INDX(I);
    if (LL < I || LL > N) fail("LUBE: pivot record INDX(", I, ") = ", LL, " lies outside ", I, " .. ", N);
    double SUM = b[LL];
    b[LL] = b[I];
    if (II != 0) {
      for (int J = II; J < I; ++J) SUM -= at(I, J) * b[J];
    } else if (SUM != 0.0) {
      II = I;
    }
    b[I] = SUM;
  }
  for (int I = N; I >= 1; --I) {
    double SUM = b[I];
    for (int J = I + 1; J <= N; ++J) SUM -= at(I, J) * b[J];
    b[I] = SUM / at(I, I);
  }
}

namespace {

// Columns substituted together: each A(I,J) read serves kBlock columns.
constexpr int kBlock = 16;

// lu_substitute applied to the columns c0 … c0+nc−1 of Y, with exactly the
// operations it performs on each column, ordered for the column-major storage:
//  - the row interchanges only move entries that have not yet been reduced,
//    so they are applied first, and the forward sums (ascending J
//    from the first non-zero entry II) become column sweeps
//    y(I) −= A(I,J)·y(J), J = II, II+1, …, with unit stride;
//  - the back substitution keeps its ascending sums over J for each column
//    and runs them for a block of columns at once, so that every entry
//    A(I,J) that is read serves the whole block.
void substitute_block(CMat A, int N, CIVec INDX, Mat Y, int c0, int nc) {
  const std::ptrdiff_t ld = A.rows();
  const double* a = A.data();
  Col<double> y[kBlock];
  for (int k = 0; k < nc; ++k) y[k] = Col<double>{Y.col(c0 + k).data()};  // y[k][I] = Y(I, c0+k)

  for (int k = 0; k < nc; ++k) {
    const Col<double> b = y[k];
    for (int I = 1; I <= N; ++I) std::swap(b[I], b[INDX(I)]);
    int II = 1;
    while (II <= N && b[II] == 0.0) ++II;
    for (int J = II; J < N; ++J) {
      const double bj = b[J];
      const Col<const double> aj{a + (J - 1) * ld};
      for (int I = J + 1; I <= N; ++I) b[I] -= aj[I] * bj;
    }
  }

  double sum[kBlock];
  for (int I = N; I >= 1; --I) {
    for (int k = 0; k < nc; ++k) sum[k] = y[k][I];
    const double* ai = a + (I - 1);  // ai[(J−1)·ld] = A(I, J)
    for (int J = I + 1; J <= N; ++J) {
      const double aij = ai[(J - 1) * ld];
      for (int k = 0; k < nc; ++k) sum[k] -= aij * y[k][J];
    }
    const double aii = ai[(I - 1) * ld];
    for (int k = 0; k < nc; ++k) y[k][I] = sum[k] / aii;
  }
}

}  // namespace

// Y = A⁻¹: column J of Y solves A·y = e_J with the factors of A (the
// substitution of lu_substitute, run on blocks of columns).
void lu_inverse(int N, IVec IND, double& D, Mat A, Mat Y, LuRowScales& T) {
  check_order("INVMV", N, T);
  check_matrix("INVMV", "A", A.rows(), A.cols(), N, N);
  check_matrix("INVMV", "Y", Y.rows(), Y.cols(), N, N);
  for (int I = 1; I <= N; ++I) {
    for (int J = 1; J <= N; ++J) Y(I, J) = 0.0;
    Y(I, I) = 1.0;
  }
  lu_decompose(A, N, N, IND, D, T);
  for (int J = 1; J <= N; J += kBlock) substitute_block(A, N, IND, Y, J, std::min(kBlock, N - J + 1));
}

// B1(I,J) = Σ_K B(I,K)·A(K,J), accumulated from zero in ascending K.
void row_block_product(int N, int NB, CMat A, CMat B, Mat B1) {
  check_matrix("MUMA1", "A", A.rows(), A.cols(), N, N);
  check_matrix("MUMA1", "B", B.rows(), B.cols(), NB, N);
  check_matrix("MUMA1", "B1", B1.rows(), B1.cols(), NB, N);
  for (int J = 1; J <= N; ++J) {
    const Col<const double> aj{A.col(J).data()};
    for (int I = 1; I <= NB; ++I) {
      double sum = 0.0;
      for (int K = 1; K <= N; ++K) sum += B(I, K) * aj[K];
      B1(I, J) = sum;
    }
  }
}

// B1 := B1(:, IB)·B.  Each row of B1 is formed completely in W before it is
// overwritten, so the product is safe in place.
void gathered_row_block_product(int N, int NB, int NB1, CIVec IB, Vec W, CMat B, Mat B1) {
  check_matrix("MUMA2", "B", B.rows(), B.cols(), NB, N);
  check_matrix("MUMA2", "B1", B1.rows(), B1.cols(), NB1, N);
  check_vector("MUMA2", "W", W.size(), N);
  check_rows("MUMA2", N, NB, IB);
  for (int J = 1; J <= NB1; ++J) {
    for (int I = 1; I <= N; ++I) {
      const Col<const double> bi{B.col(I).data()};
      double w = 0.0;
      for (int K = 1; K <= NB; ++K) w += B1(J, IB(K)) * bi[K];
      W(I) = w;
    }
    for (int I = 1; I <= N; ++I) B1(J, I) = W(I);
  }
}

// A3(I) = A2(I)·A1(I) + A3(I).
void add_elementwise_product(int N, CVec A1, CVec A2, Vec A3) {
  for (int I = 1; I <= N; ++I) A3(I) = A2(I) * A1(I) + A3(I);
}

// (A + iE·B)⁻¹ = R − iS.  With P = B·A⁻¹ and M = E·B:
//   (A + iM)(R − iS) = (A·R + M·S) + i(M·R − A·S) = I
// holds for R = (A + M·A⁻¹·M)⁻¹ and S = A⁻¹·M·R = R·M·A⁻¹ = R(:, IB)·P.
// Exact up to the rounding of the two real inversions; A is consumed.
void complex_inverse(const ComplexSystem& s, ComplexInverseWork& w, LuRowScales& T, Mat R, Mat S) {
  const int N = s.N, NB = s.NB;
  const CIVec IB = s.IB;
  const Mat A = s.A;
  const CMat B = s.B;
  check_order("INVAB", N, T);
  if (NB < 0) fail("INVAB: negative number of coupling rows NB = ", NB);
  check_matrix("INVAB", "A", A.rows(), A.cols(), N, N);
  check_matrix("INVAB", "R", R.rows(), R.cols(), N, N);
  check_matrix("INVAB", "S", S.rows(), S.cols(), N, N);
  check_matrix("INVAB", "B", B.rows(), B.cols(), NB, N);
  check_matrix("INVAB", "B1", w.B1.rows(), w.B1.cols(), NB, N);
  check_matrix("INVAB", "B2", w.B2.rows(), w.B2.cols(), NB, N);
  check_vector("INVAB", "W", w.W.size(), N);
  check_vector("INVAB", "IND", w.IND.size(), N);
  check_rows("INVAB", N, NB, IB);

  const int NN = N * N;
  lib::copy(NN, A.flat(), R.flat());
  lu_inverse(N, w.IND, w.D, R, S, T);    // S = A⁻¹
  row_block_product(N, NB, S, B, w.B1);  // B1 = P = B·A⁻¹
  lib::copy(NB * N, w.B1.flat(), w.B2.flat());
  gathered_row_block_product(N, NB, NB, IB, w.W, B, w.B1);  // B1 = P(:, IB)·B
  for (int J = 1; J <= NB; ++J) {
    for (int I = 1; I <= N; ++I) A(IB(J), I) += w.B1(J, I);
  }
  lu_inverse(N, w.IND, w.D, A, R, T);  // R = (A + E·P(:, IB)·B)⁻¹
  lib::copy(NN, R.flat(), S.flat());
  gathered_row_block_product(N, NB, N, IB, w.W, w.B2, S);  // S = R(:, IB)·P
}

}  // namespace photo

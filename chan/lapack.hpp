// The LAPACK routines the channel solver calls (the Fortran interface of
// the library linked beneath; column-major arrays, arguments by address).
#pragma once

#include <cstddef>

extern "C" {
// LU factorisation with partial pivoting, P·A = L·U.
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
// Solution of A·X = B or Aᵀ·X = B from the factors of dgetrf.
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t trans_len);
}

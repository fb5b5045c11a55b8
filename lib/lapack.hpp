// The LAPACK routines the suite calls (Fortran interface, column-major,
// every argument by address), and the thread count of the BLAS beneath:
// one set of declarations for the three programs.
#pragma once

#include <complex>
#include <cstddef>

extern "C" {
// LU factors P·A = L·U with partial pivoting; INFO > 0: U(INFO, INFO) is zero.
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
// Solve A·X = B (TRANS = 'N') or Aᵀ·X = B ('T') from the factors of dgetrf_.
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t trans_len);
// The inverse of A from the factors of dgetrf_, in place (LWORK ≥ N).
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork, int* info);
// C ← α·op(A)·op(B) + β·C and y ← α·op(A)·x + β·y (BLAS).
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t transa_len, std::size_t transb_len);
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a, const int* lda,
            const double* x, const int* incx, const double* beta, double* y, const int* incy, std::size_t trans_len);
// Reduction to upper Hessenberg form A = Q·H·Qᵀ (H in the upper triangle
// and first subdiagonal, the reflectors below), and Q from the reflectors.
void dgehrd_(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau, double* work,
             const int* lwork, int* info);
void dorghr_(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, const double* tau, double* work,
             const int* lwork, int* info);
// B ← α·op(A)⁻¹·B for triangular A (SIDE = 'L').
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb, std::size_t side_len,
            std::size_t uplo_len, std::size_t transa_len, std::size_t diag_len);
// Complex counterparts.
void zgetrf_(const int* m, const int* n, std::complex<double>* a, const int* lda, int* ipiv, int* info);
void zgetrs_(const char* trans, const int* n, const int* nrhs, const std::complex<double>* a, const int* lda,
             const int* ipiv, std::complex<double>* b, const int* ldb, int* info, std::size_t trans_len);
// Generalized symmetric-definite eigenproblem A·x = λ·B·x (ITYPE 1), the
// eigenvalues ascending in W, the B-normalised eigenvectors in A.
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* b,
            const int* ldb, double* w, double* work, const int* lwork, int* info, std::size_t jobz_len,
            std::size_t uplo_len);
// Symmetric eigenproblem A·x = λ·x: the eigenvalues ascending in W, the
// orthonormal eigenvectors (JOBZ = 'V') in the columns of A.
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
            const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
}

namespace lib {

// Sets the number of threads of the BLAS library when it is OpenBLAS (looked
// up at run time, so any other BLAS links too); returns the previous count,
// or 0 when the library has no such control.  The loops over independent
// energies run on their own threads, each solve on one BLAS thread, so that
// every sum is taken in the same order whatever the number of threads.
int set_blas_threads(int n);

}  // namespace lib

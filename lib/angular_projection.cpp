// The angular projection of a partial-wave function multiplied by one
// spherical harmonic and by the volume factor (ξ² − η²) of prolate
// spheroidal coordinates.
#include "lib/angular_projection.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"
#include "lib/gaunt_table.hpp"

namespace lib {

namespace {

// The projection M3 of the target harmonic, the threshold below which a
// coefficient is dropped, the build of the coefficients and, if given, the
// table to read them from.
struct ProjectionRule {
  int M3 = 0;
  double EPS = 0.0;
  Build b = Build::photo;
  const GauntTable* table = nullptr;
};

// The coefficients of wave L of x times C·Y(KJ, MJ) projected onto Y(K, M3):
// A of the ξ² part, B of the η² part; from the table if it is of build b.
void coefficient_pair(const GauntTable* table, Fac F, Build b, int L, int KJ, int K, int MI, int MJ, int M3, double C,
                      double& A, double& B) {
  const GauntTable* t = table != nullptr && table->build() == b ? table : nullptr;
  A = (t ? t->gaunt_integral(L, KJ, K, MI, MJ, M3) : gaunt_integral(L, KJ, K, MI, MJ, M3, F, b)) * C;
  B = -(t ? t->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3) : gaunt_integral_eta2(L, KJ, K, MI, MJ, M3, F, b)) * C;
}

constexpr int kStretch = 256;

// q = Σ_i A_i·X(·,i) and q1 = Σ_i B_i·X(·,i) over the nj points from j0,
// in the order of the columns, coefficients below EPS dropped.
void stretch_sums(CMat X, int nx, const double* A, const double* B, double EPS, int j0, int nj, double* q, double* q1) {
  for (int e = 0; e < nj; ++e) {
    q[e] = 0.0;
    q1[e] = 0.0;
  }
  for (int i = 1; i <= nx; ++i) {
    const double* xi = &X(j0, i);
    const double a = A[i - 1], b = B[i - 1];
    if (std::fabs(a) >= EPS)
      for (int e = 0; e < nj; ++e) q[e] = q[e] + xi[e] * a;
    if (std::fabs(b) >= EPS)
      for (int e = 0; e < nj; ++e) q1[e] = q1[e] + xi[e] * b;
  }
}

// Q = C·∫ (R − η²)·X·Y(KJ,MJ)·conj(Y(K,M3)) dΩ for X = Σ_i X(·,i)·Y(L_i, MI),
// L_i = K0I + (i−1)·KD.  Each column costs two angular coefficients; a
// coefficient whose magnitude falls below EPS is dropped with its radial work.
// Q1 receives the η² part.  The coefficients are taken first, then the sums
// run stretch by stretch of the grid, so that each column of X is read once
// and the partial sums stay in the nearest cache; on every point they add
// the columns in their order, as a column-by-column sweep would.
void project(int NB, const PartialWaves& x, const ProductProjection& p, const ProjectionRule& r, CVec R, Fac F, Vec Q1,
             Vec Q) {
  const int NX = x.n, MI = x.M, KD = x.KD, K0I = x.L0, KJ = p.KJ, MJ = p.MJ, K = p.K, M3 = r.M3;
  const double C = p.C, EPS = r.EPS;
  const CMat X = x.X;
  auto coefficients = [&](int i, double& A, double& B) {
    coefficient_pair(r.table, F, r.b, (i - 1) * KD + K0I, KJ, K, MI, MJ, M3, C, A, B);
  };
  constexpr int kWaves = 64;
  if (NX > kWaves) {
    // More waves than the buffer of coefficients: column by column.
    for (int j = 1; j <= NB; ++j) {
      Q(j) = 0.0;
      Q1(j) = 0.0;
    }
    for (int i = 1; i <= NX; ++i) {
      double A = 0.0, B = 0.0;
      coefficients(i, A, B);
      if (std::fabs(A) >= EPS)
        for (int j = 1; j <= NB; ++j) Q(j) = Q(j) + X(j, i) * A;
      if (std::fabs(B) >= EPS)
        for (int j = 1; j <= NB; ++j) Q1(j) = Q1(j) + X(j, i) * B;
    }
    for (int j = 1; j <= NB; ++j) Q(j) = Q(j) * R(j) + Q1(j);
    return;
  }
  double A[kWaves], B[kWaves];
  for (int i = 1; i <= NX; ++i) coefficients(i, A[i - 1], B[i - 1]);
  for (int j0 = 1; j0 <= NB; j0 += kStretch) {
    const int nj = std::min(kStretch, NB - j0 + 1);
    double q[kStretch], q1[kStretch];
    stretch_sums(X, NX, A, B, EPS, j0, nj, q, q1);
    for (int e = 0; e < nj; ++e) {
      Q(j0 + e) = q[e] * R(j0 + e) + q1[e];
      Q1(j0 + e) = q1[e];
    }
  }
}

}  // namespace

// Q(ξ) = C·∫ (ξ² − η²)·X(ξ,η,φ)·Y(KJ,MJ)·conj(Y(K,MI+MJ)) dΩ with R = ξ² and
// X = Σ_i X(·,i)·Y(K0I+(i−1)KD, MI): Gaunt coefficients for the ξ² part and
// the η² coefficients of gaunt_integral_eta2 for the rest.  Coefficients
// below 1e-6 (photoionisation) or 1e-8 (ground state) are dropped.
void angular_projection(int NB, const PartialWaves& x, const ProductProjection& p, CVec R, Fac F, Vec Q1, Vec Q,
                        Build b) {
  const double EPS = b == Build::photo ? 1.0e-6 : 1.0e-8;
  project(NB, x, p, ProjectionRule{x.M + p.MJ, EPS, b}, R, F, Q1, Q);
}

// The same projection for X with descriptor (M1, L0, n) onto Y(K, M3), M3 as
// passed (the result vanishes unless M1 + MJ = M3); coefficients below 1e-7
// are dropped.
void angular_projection_onto(int NB, const PartialWaves& x, const ProductProjection& p, int M3, CVec R, Fac F, Vec WK,
                             Vec Q, const GauntTable* table) {
  project(NB, x, p, ProjectionRule{M3, 1.0e-7, Build::photo, table}, R, F, WK, Q);
}

void weighted_projection_onto(int NB, const PartialWaves& x, const PartialWaves& y, int MJ, int K, double C, int M3,
                              CVec R, Fac F, const GauntTable* table, Vec S) {
  constexpr double EPS = 1.0e-7;
  const int nx = x.n, ny = y.n;
  std::vector<double> A(static_cast<size_t>(nx) * static_cast<size_t>(ny)), B(A.size());
  for (int p = 1; p <= ny; ++p)
    for (int i = 1; i <= nx; ++i) {
      const size_t c = static_cast<size_t>(p - 1) * static_cast<size_t>(nx) + static_cast<size_t>(i - 1);
      coefficient_pair(table, F, Build::photo, x.L(i), y.L(p), K, x.M, MJ, M3, C, A[c], B[c]);
    }
  for (int j0 = 1; j0 <= NB; j0 += kStretch) {
    const int nj = std::min(kStretch, NB - j0 + 1);
    double acc[kStretch] = {}, q[kStretch], q1[kStretch];
    for (int p = 1; p <= ny; ++p) {
      const size_t c0 = static_cast<size_t>(p - 1) * static_cast<size_t>(nx);
      stretch_sums(x.X, nx, A.data() + c0, B.data() + c0, EPS, j0, nj, q, q1);
      const double* yp = &y.X(j0, p);
      for (int e = 0; e < nj; ++e) acc[e] = acc[e] + yp[e] * (q[e] * R(j0 + e) + q1[e]);
    }
    for (int e = 0; e < nj; ++e) S(j0 + e) = acc[e];
  }
}

}  // namespace lib

// The angular projection of a partial-wave function multiplied by one
// spherical harmonic and by the volume factor (ξ² − η²) of prolate
// spheroidal coordinates.
#include "lib/angular_projection.hpp"

#include <cmath>

#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"

namespace lib {

namespace {

// The projection M3 of the target harmonic, the threshold below which a
// coefficient is dropped, and the build of the coefficients.
struct ProjectionRule {
  int M3 = 0;
  double EPS = 0.0;
  Build b = Build::photo;
};

// Q = C·∫ (R − η²)·X·Y(KJ,MJ)·conj(Y(K,M3)) dΩ for X = Σ_i X(·,i)·Y(L_i, MI),
// L_i = K0I + (i−1)·KD.  Each column costs two angular coefficients; a
// coefficient whose magnitude falls below EPS is dropped with its radial work.
// Q1 receives the η² part.
void project(int NB, const PartialWaves& x, const ProductProjection& p, const ProjectionRule& r, CVec R, Fac F, Vec Q1,
             Vec Q) {
  const int NX = x.n, MI = x.M, KD = x.KD, K0I = x.L0, KJ = p.KJ, MJ = p.MJ, K = p.K, M3 = r.M3;
  const double C = p.C, EPS = r.EPS;
  const CMat X = x.X;
  for (int j = 1; j <= NB; ++j) {
    Q(j) = 0.0;
    Q1(j) = 0.0;
  }
  for (int i = 1; i <= NX; ++i) {
    const int L = (i - 1) * KD + K0I;
    const double A = gaunt_integral(L, KJ, K, MI, MJ, M3, F, r.b) * C;
    if (std::fabs(A) >= EPS)
      for (int j = 1; j <= NB; ++j) Q(j) = Q(j) + X(j, i) * A;
    const double B = -gaunt_integral_eta2(L, KJ, K, MI, MJ, M3, F, r.b) * C;
    if (std::fabs(B) >= EPS)
      for (int j = 1; j <= NB; ++j) Q1(j) = Q1(j) + X(j, i) * B;
  }
  for (int j = 1; j <= NB; ++j) Q(j) = Q(j) * R(j) + Q1(j);
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
                             Vec Q) {
  project(NB, x, p, ProjectionRule{M3, 1.0e-7, Build::photo}, R, F, WK, Q);
}

}  // namespace lib

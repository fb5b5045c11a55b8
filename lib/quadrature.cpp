// Radial quadrature on one equally spaced stretch of the grid, and the
// angular projection of a partial-wave function multiplied by one spherical
// harmonic and by the volume factor (ξ² − η²) of prolate spheroidal
// coordinates.
#include <cmath>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"

namespace lib {

void gauss_legendre(int N, Vec X, Vec W) {
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < (N + 1) / 2; ++i) {
    double z = std::cos(pi * (i + 0.75) / (N + 0.5));
    double dp = 1.0;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1.0, p1 = z;
      for (int k = 2; k <= N; ++k) {
        const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = N * (z * p1 - p0) / (z * z - 1.0);
      const double dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-16) break;
    }
    X(i + 1) = -z;
    X(N - i) = z;
    W(i + 1) = W(N - i) = 2.0 / ((1.0 - z * z) * dp * dp);
  }
}

namespace {

// Q = C·∫ (R − η²)·X·Y(KJ,MJ)·conj(Y(K,M3)) dΩ for X = Σ_i X(·,i)·Y(L_i, MI),
// L_i = K0I + (i−1)·KD.  Each column costs two angular coefficients; a
// coefficient whose magnitude falls below EPS is dropped with its radial work.
// Q1 receives the η² part.
void project(int NB, int NX, int MI, int MJ, int M3, int KD, int K0I, int KJ, int K, double C, CVec R, CMat X, Fac F,
             Vec Q1, Vec Q, double EPS, Build b) {
  for (int j = 1; j <= NB; ++j) {
    Q(j) = 0.0;
    Q1(j) = 0.0;
  }
  for (int i = 1; i <= NX; ++i) {
    const int L = (i - 1) * KD + K0I;
    const double A = FSGA(L, KJ, K, MI, MJ, M3, F, b) * C;
    if (std::fabs(A) >= EPS)
      for (int j = 1; j <= NB; ++j) Q(j) = Q(j) + X(j, i) * A;
    const double B = -FSGB(L, KJ, K, MI, MJ, M3, F, b) * C;
    if (std::fabs(B) >= EPS)
      for (int j = 1; j <= NB; ++j) Q1(j) = Q1(j) + X(j, i) * B;
  }
  for (int j = 1; j <= NB; ++j) Q(j) = Q(j) * R(j) + Q1(j);
}

}  // namespace

// Composite Simpson rule on N equally spaced points (N odd, N ≥ 3):
//   ∫ ≈ H/3 · (F(1) + 4F(2) + 2F(3) + 4F(4) + … + 4F(N−1) + F(N)),
// exact for cubics, error O(H⁴) for smooth integrands.  Any other N stops the
// run with the point count.
double FINS(int N, double H, CVec F, Build b) {
  const int N1 = N - 1;
  if (N1 % 2 != 0 || N < 3) {
    const char* text = b == Build::photo ? "(' FINS N = ',I5)" : "(' Fins N = ',I5)";
    io::stop(io::fstring(io::Format(text), N));
  }
  double S1 = 0.0;  // F(3) + F(5) + … + F(N−2)
  double S2 = 0.0;  // F(4) + F(6) + … + F(N−1)
  for (int i = 1; i <= (N1 - 1) / 2; ++i) {
    S1 = S1 + F(2 * i + 1);
    S2 = S2 + F(2 * i + 2);
  }
  const double sum = 4.0 * (F(2) + S2) + 2.0 * S1 + F(1) + F(N);
  if (b == Build::photo) return H * sum / 3.0;
  return H * sum * (1.0 / 3.0);
}

// Q(ξ) = C·∫ (ξ² − η²)·X(ξ,η,φ)·Y(KJ,MJ)·conj(Y(K,MI+MJ)) dΩ with R = ξ² and
// X = Σ_i X(·,i)·Y(K0I+(i−1)KD, MI): Gaunt coefficients for the ξ² part and
// the η² coefficients of FSGB for the rest.  Coefficients below 1e-6
// (photoionisation) or 1e-8 (ground state) are dropped.
void SUMA(int NB, int NX, int MI, int MJ, int KD, int K0I, int KJ, int K, double C, CVec R, CMat X, Fac F, Vec Q1,
          Vec Q, Build b) {
  const double EPS = b == Build::photo ? 1.0e-6 : 1.0e-8;
  project(NB, NX, MI, MJ, MI + MJ, KD, K0I, KJ, K, C, R, X, F, Q1, Q, EPS, b);
}

// The same projection for X with descriptor MN1 = (M1, L0, n) onto
// Y(K3, M3), M3 as passed (the result vanishes unless M1 + M2 = M3);
// coefficients below 1e-7 are dropped.
void SUMY(int NB, int KD, CIVec MN1, int M2, int M3, int K2, int K3, double C, CVec R, Fac F, Vec WK, CMat X, Vec Q) {
  project(NB, MN1(3), MN1(1), M2, M3, KD, MN1(2), K2, K3, C, R, X, F, WK, Q, 1.0e-7, Build::photo);
}

}  // namespace lib

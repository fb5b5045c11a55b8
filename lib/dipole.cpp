// Grid tables of the dipole operators, differentiation and integration on
// the two-region grid, and Hartree–Fock dipole matrix elements in length and
// velocity form.
//
// The radial grid has two regions joined at ξ = RP(1): points 1 … NA uniform
// in ξ from 1, and points NA+1 … NB uniform in the mapped variable
// ρ(ξ) = ξ + C1/(ξ + C2), C1 = −10, C2 = −0.9, which crowds points near the
// junction and thins them out at large ξ.  The junction is held twice.  In
// region 2 a radial function y is stored as X = y/g with
// g = ((ξ² − 1)·dρ/dξ)^(−1/2), and integrals over ξ become integrals over ρ
// with the Jacobian 1/(dρ/dξ).  The kernels below assume NA = 5.
#include <array>
#include <cmath>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "lib/checks.hpp"
#include "lib/lib.hpp"

namespace lib {

using detail::fail;

namespace {

constexpr double C1 = -10.0;
constexpr double C2 = -0.9;
// The conversion constant 5.378 of the cross sections, held in single
// precision: 5.377999782562256.
constexpr double kSigmaSingle = static_cast<double>(5.378f);

// The grid of HAFI2/HAFV2 and the columns of the length form (velocity = false)
// or of the velocity form (velocity = true).
void build_grid(const char* routine, int NA, int NB, double& HA, double& HB, CVec RP, Mat R, bool velocity) {
  if (NA < 2 || NB < NA + 2) {
    fail(routine, ": the grid needs NA >= 2 and NB >= NA + 2 points, got NA = ", NA, ", NB = ", NB);
  }
  if (RP.size() < 2 || !(RP(1) > 1.0) || !(RP(2) > RP(1))) {
    fail(routine, ": grid ends must satisfy 1 < RP(1) < RP(2)");
  }
  if (R.rows() != NB || R.cols() < 8) fail(routine, ": grid table has ", R.rows(), " x ", R.cols(), ", needs NB x 8");

  io::console().line(io::lstring(NA, NB));

  HA = (RP(1) - 1.0) / (NA - 1);
  for (int I = 1; I <= NA; ++I) {
    double xi = 1.0 + (I - 1) * HA;
    if (I == 1) xi += 1.0e-10;
    const double xi2 = xi * xi;
    const double s = std::sqrt(xi2 - 1.0);
    R(I, 1) = xi;
    R(I, 2) = xi2;
    R(I, 3) = 1.0;
    if (!velocity) {
      R(I, 4) = 0.0;
      R(I, 5) = 0.0;
      R(I, 6) = 1.0;
      R(I, 7) = 1.0;
      R(I, 8) = s;
    } else {
      R(I, 4) = 2.0 * (xi2 - 1.0);
      R(I, 5) = 2.0 * xi * s;
      R(I, 6) = 0.0;
      R(I, 7) = 2.0 * xi;
      R(I, 8) = (2.0 * xi2 - 1.0) / s;
    }
  }

  const double rho0 = RP(1) + C1 / (RP(1) + C2);
  const double rho1 = RP(2) + C1 / (RP(2) + C2);
  HB = (rho1 - rho0) / (NB - NA - 1);
  for (int I = NA + 1; I <= NB; ++I) {
    const double rho = (I - NA - 1) * HB + rho0;
    // ρ = ξ + C1/(ξ + C2)  ⇔  ξ² + (C2 − ρ)·ξ + (C1 − ρ·C2) = 0; the root above the pole.
    const double xi = ((rho - C2) + std::sqrt((rho - C2) * (rho - C2) - 4.0 * (C1 - rho * C2))) / 2.0;
    const double u = xi + C2;
    const double F1 = 1.0 - C1 / (u * u);      // dρ/dξ
    const double F2 = 2.0 * C1 / (u * u * u);  // d²ρ/dξ²
    const double F3 = -3.0 * F2 / u;           // d³ρ/dξ³
    const double xi2 = xi * xi;
    const double s = std::sqrt(xi2 - 1.0);
    const double c3 = 1.0 / ((xi2 - 1.0) * F1 * F1);
    R(I, 1) = xi;
    R(I, 2) = xi2;
    R(I, 3) = c3;
    if (!velocity) {
      R(I, 4) = c3 / (xi2 - 1.0);
      R(I, 5) = c3 / (xi2 - 1.0) - (2.0 * F3 / F1 - 3.0 * F2 * F2 / (F1 * F1)) / (4.0 * F1 * F1);
      R(I, 6) = 1.0 / std::sqrt((xi2 - 1.0) * F1);
      R(I, 7) = c3;
      R(I, 8) = s;
    } else {
      R(I, 4) = 2.0 * (xi2 - 1.0) * F1;
      R(I, 5) = 2.0 * xi * s * F1;
      R(I, 6) = -c3 * xi * F1 - F2 / (2.0 * F1 * F1);
      R(I, 7) = 2.0 * xi;
      R(I, 8) = (2.0 * xi2 - 1.0) / s;
    }
  }
}

// Composite Simpson rule on points 1 … 5 (step HA) and on NA+1 … NB (step HB).
double two_region_simpson(int NA, int NB, double HA, double HB, CVec Z1) {
  const double S1 = Z1(1) + 4.0 * Z1(2) + 2.0 * Z1(3) + 4.0 * Z1(4) + Z1(5);
  double SB = 0.0;
  double SC = 0.0;
  const int terms = (NB - NA - 1) / 2;
  for (int t = 0, J = NA + 2; t < terms; ++t, J += 2) {
    SB += Z1(J);
    SC += Z1(J + 1);
  }
  return HA * S1 / 3.0 + (4.0 * SB + 2.0 * SC + Z1(NA + 1) - Z1(NB)) * HB / 3.0;
}

// Shapes shared by HFCSR and HFCSV; the result element DR(MD + 2) exists only
// for the dipole components MD = −1, 0, +1.
void check_dipole_args(const char* routine, int NA, int NB, int N1, int N2, int M1, int M2, CVec DR, CMat R, CMat X1,
                       CMat X2, CMat PQV, CVec Z1) {
  const int MD = M2 - M1;
  if (MD < -1 || MD > 1) {
    fail(routine, ": M2 - M1 = ", MD, " is not a dipole component (M1 = ", M1, ", M2 = ", M2, ")");
  }
  if (NB < NA + 2 || NB < 8 || NA < 5) fail(routine, ": grid of NA = ", NA, ", NB = ", NB, " points is too small");
  if (DR.size() < 3) fail(routine, ": the dipole vector needs 3 entries");
  if (R.rows() != NB || R.cols() < 8) fail(routine, ": grid table is not NB x 8");
  if (X1.rows() != NB || X1.cols() < N1 || N1 < 0) fail(routine, ": bound orbital does not hold ", N1, " waves");
  if (X2.rows() != NB || X2.cols() < N2 || N2 < 0) fail(routine, ": final function does not hold ", N2, " waves");
  if (PQV.rows() != NB || PQV.cols() < 4) fail(routine, ": work array PQV is not NB x 4");
  if (Z1.size() < NB) fail(routine, ": vector Z1 is shorter than NB");
}

// A bound orbital of odd projection behaves as sqrt(ξ² − 1)·Y(ξ) near ξ = 1,
// Y a power series in ξ − 1, so its derivative is unbounded there and no
// difference formula on X converges at second order.  On region 1 (points
// 1 … 5, step HA) this takes Y = X/sqrt(ξ² − 1) at points 2 … 5, Y(1) by
// the cubic through them (X at ξ = 1 + 1e-10 carries too little of Y to be
// divided), and returns Y and T = sqrt(ξ² − 1)·dX/dξ = ξ·Y + (ξ² − 1)·Y′
// with Y′ from the same three-point formulas as DIF0: both bounded, O(HA²).
void odd_projection_inner(double HA, CMat RV, CVec X, std::array<double, 5>& Y, std::array<double, 5>& T) {
  for (int I = 2; I <= 5; ++I) Y[I - 1] = X(I) / std::sqrt(RV(I, 2) - 1.0);
  Y[0] = 4.0 * Y[1] - 6.0 * Y[2] + 4.0 * Y[3] - Y[4];
  const double H1 = 0.5 / HA;
  std::array<double, 5> D{};
  D[0] = (-3.0 * Y[0] + 4.0 * Y[1] - Y[2]) * H1;
  for (int I = 1; I <= 3; ++I) D[I] = (Y[I + 1] - Y[I - 1]) * H1;
  D[4] = (3.0 * Y[4] - 4.0 * Y[3] + Y[2]) * H1;
  for (int I = 1; I <= 5; ++I) T[I - 1] = RV(I, 1) * Y[I - 1] + (RV(I, 2) - 1.0) * D[I - 1];
}

}  // namespace

// Grid and length-form factors.  Region 1: columns 3–7 are 1, 0, 0, 1, 1.
// Region 2, with p = ξ² − 1 and F1, F2, F3 the derivatives of ρ(ξ):
// c3 = 1/(p·F1²) (the Jacobian g²/F1), c3/p, the Liouville term
// c3/p − (2F3/F1 − 3F2²/F1²)/(4F1²), g = (p·F1)^(−1/2), c3.  Column 8 is
// sqrt(ξ² − 1), the transverse factor of the dipole.
void HAFI2(int NA, int NB, double& HA, double& HB, CVec RP, Mat R) {
  build_grid("HAFI2", NA, NB, HA, HB, RP, R, false);
}

// Grid and velocity-form factors: ∂/∂z and ∂/∂x± in spheroidal coordinates
// act on y = g·X through 2(ξ²−1)·F1 and 2ξ·sqrt(ξ²−1)·F1 times dX/dρ, with
// column 6 the logarithmic derivative g'/(g·F1) = −ξ/((ξ²−1)·F1) − F2/(2F1²)
// added by DIF0; columns 7 and 8 are 2ξ and (2ξ² − 1)/sqrt(ξ² − 1).
void HAFV2(int NA, int NB, double& HA, double& HB, CVec RP, Mat RV) {
  build_grid("HAFV2", NA, NB, HA, HB, RP, RV, true);
}

// Y = dX/dξ on region 1 (points 1 … 5, central differences inside, one-sided
// second-order differences at both ends) and Y = dX/dρ + G·X on region 2
// (one-sided at the junction point 6, central inside), Y(N) = 0.  Error
// O(HA²) and O(HB²).
void DIF0(int N, double HA, double HB, CVec X, CVec G, Vec Y) {
  if (N < 8) fail("DIF0: the two-region difference formulas need at least 8 points, got N = ", N);
  if (X.size() < N || G.size() < N || Y.size() < N) fail("DIF0: vectors shorter than N = ", N);
  const double H1 = 0.5 / HA;
  const double H2 = 0.5 / HB;
  Y(1) = (-3.0 * X(1) + 4.0 * X(2) - X(3)) * H1;
  for (int I = 2; I <= 4; ++I) Y(I) = (X(I + 1) - X(I - 1)) * H1;
  Y(5) = (3.0 * X(5) - 4.0 * X(4) + X(3)) * H1;
  Y(6) = (-3.0 * X(6) + 4.0 * X(7) - X(8)) * H2 + X(6) * G(6);
  for (int I = 7; I <= N - 1; ++I) Y(I) = (X(I + 1) - X(I - 1)) * H2 + X(I) * G(I);
  Y(N) = 0.0;
}

// RZ3·∫ Σ_I Z_I·X_I·R6·R3: Simpson's rule on each region separately (FINS),
// exact for integrands cubic in the grid variable of each region.
double FCUN(int NA, int NB, int NX, double HA, double HB, double RZ3, CVec R3, CVec R6, CMat X, CMat Z, Vec WK) {
  if (NA < 0 || NB < NA) fail("FCUN: grid of NA = ", NA, ", NB = ", NB, " points");
  if (NX < 0 || X.cols() < NX || Z.cols() < NX || (NX > 0 && (X.rows() < NB || Z.rows() < NB))) {
    fail("FCUN: functions do not hold ", NX, " partial waves of ", NB, " points");
  }
  if (R3.size() < NB || R6.size() < NB || WK.size() < NB) fail("FCUN: vectors shorter than NB = ", NB);
  for (int J = 1; J <= NB; ++J) WK(J) = 0.0;
  for (int I = 1; I <= NX; ++I) {
    for (int J = 1; J <= NB; ++J) WK(J) = Z(J, I) * X(J, I) + WK(J);
  }
  for (int J = 1; J <= NB; ++J) WK(J) = WK(J) * R6(J) * R3(J);
  return (FINS(NA, HA, WK.sub(1, NA)) + FINS(NB - NA, HB, WK.sub(NA + 1, NB - NA))) * RZ3;
}

// D = RZ3·∫ X2·(ξ or sqrt(ξ²−1))·C·⟨L2 M2| (ξ² − η²)·Y(1, M) |X1⟩ dξ, M = M2 − M1:
// the spherical component M of the dipole r between the bound orbital and
// the final function, with the volume element (ξ² − η²) of the spheroidal
// coordinates; the angular projection is exact (SUMA) and the radial
// integral is Simpson's rule on each region.  CS is converted into a cross
// section 5.378·(E2 − E1)·D² (megabarn) for a continuum final state, into an
// oscillator strength (4/3)·(E2 − E1)·D² for a bound one, and left as D for
// E2 = 0.
void HFCSR(int NA, int NB, int N1, int N2, int L1, int L2, int M1, int M2, int KD, double HA, double HB, double RZ3,
           double E1, double E2, double C, Vec DR, double& CS, CMat R, CMat X1, CMat X2, Mat PQV, Vec Z1, Fac F) {
  check_dipole_args("HFCSR", NA, NB, N1, N2, M1, M2, DR, R, X1, X2, PQV, Z1);
  const double x1 = N1 > 0 ? X1(2, 1) : 0.0;
  const double x2 = N2 > 0 ? X2(2, 1) : 0.0;
  io::console().line(io::lstring(NA, NB, N1, N2, L1, L2, M1, M2, KD, HA, HB, RZ3, E1, E2, C, R(1, 1), x1, x2, F(3)));

  const int MD = M2 - M1;
  Vec Q = PQV.col(1);
  Vec P2 = PQV.col(2);
  Vec P3 = PQV.col(3);
  Vec P4 = PQV.col(4);
  for (int J = 1; J <= NB; ++J) Q(J) = 0.0;
  for (int k = 1; k <= 3; ++k) DR(k) = 0.0;

  for (int M = -1; M <= 1; ++M) {
    if (M != MD) continue;
    for (int J = 1; J <= NB; ++J) P4(J) = 0.0;
    for (int I = 1; I <= N2; ++I) {
      const int K2 = (I - 1) * KD + L2;
      SUMA(NB, N1, M1, M, KD, L1, 1, K2, C, R.col(2), X1, F, P3, P2);
      for (int J = 1; J <= NB; ++J) P4(J) += X2(J, I) * P2(J);
    }
    // ξ carries the z component, sqrt(ξ² − 1) the transverse ones; column 7
    // is the Jacobian of the stored region-2 functions.
    const int radial = M == 0 ? 1 : 8;
    for (int J = 1; J <= NB; ++J) Q(J) += R(J, 7) * R(J, radial) * P4(J);
  }

  for (int J = 1; J <= NB; ++J) Z1(J) = Q(J);
  const double D = two_region_simpson(NA, NB, HA, HB, Z1) * RZ3;
  DR(MD + 2) = D;
  CS = D;
  io::console().line(io::lstring(C, C));
  io::console().line(io::lstring(CS));
  if (E2 > 0.0) {
    CS = (E2 - E1) * (D * D) * kSigmaSingle;
  } else if (E2 < 0.0) {
    CS = (E2 - E1) * (D * D) * 4.0 / 3.0;
  }
  io::console().line(io::lstring(CS));
  io::console().line(io::lstring(CS));
}

// D = −RZ3·∫ X2·c3·Σ_{K1} A·[F_M(ξ)·X1' + (Λ·f_M(ξ) + …)·X1] dξ: the spherical
// component M of the gradient between the bound orbital and the final
// function.  A = C·FSGA(K1, K2, 1, −M1, M2, M) = (−1)^M1·C·⟨K2 M2|Y(1,M)|K1 M1⟩
// and the identity (1 − η²)∂η = η − ½[L², η] turn the angular part into the
// coefficient A and Λ = K1(K1+1) − K2(K2+1).  DV(MD + 2) = (−1)^M1·D removes
// the phase of A, so that DV and DR agree for exact eigenstates:
// DV = (E2 − E1)·DR.  The derivative is the second-order DIF0, pairs with
// |A| < 1.0e-5 are skipped.  A bound orbital of odd M1 goes as
// sqrt(ξ² − 1) at ξ = 1: with IDER = 1 its region 1 is taken through
// X1/sqrt(ξ² − 1) (odd_projection_inner), O(HA²) like an even projection;
// IDER = 0 differences X1 itself, whose error there falls only as HA.
// CS is converted as in HFCSR with the velocity factor 1/(E2 − E1).
void HFCSV(int NA, int NB, int N1, int N2, int L1, int L2, int M1, int M2, int KD, double HA, double HB, double RZ3,
           double E1, double E2, double C, Vec DV, double& CS, CMat RV, CMat X1, CMat X2, Mat PQV, Vec Z1, Fac F,
           int IDER) {
  check_dipole_args("HFCSV", NA, NB, N1, N2, M1, M2, DV, RV, X1, X2, PQV, Z1);
  if (IDER != 0 && IDER != 1) fail("HFCSV: IDER = ", IDER, " is neither 0 (one-sided difference) nor 1");
  const int MD = M2 - M1;
  const double DDM = static_cast<double>(M2 * M2 - M1 * M1);
  const bool odd = IDER == 1 && M1 % 2 != 0;
  std::array<double, 5> Y{}, T{};
  Vec Q = PQV.col(1);
  Vec DX = PQV.col(2);
  Vec P4 = PQV.col(4);
  for (int J = 1; J <= NB; ++J) Q(J) = 0.0;
  for (int k = 1; k <= 3; ++k) DV(k) = 0.0;

  for (int M = -1; M <= 1; ++M) {
    if (M != MD) continue;
    for (int I2 = 1; I2 <= N2; ++I2) {
      const int K2 = (I2 - 1) * KD + L2;
      for (int J = 1; J <= NB; ++J) P4(J) = 0.0;
      for (int I1 = 1; I1 <= N1; ++I1) {
        const int K1 = (I1 - 1) * KD + L1;
        const double A = FSGA(K1, K2, 1, -M1, M2, M, F) * C;
        io::console().line(io::lstring(A));
        if (std::fabs(A) < 1.0e-5) continue;
        DIF0(NB, HA, HB, X1.col(I1), RV.col(6), DX);
        const double LAM = static_cast<double>(K1 * (K1 + 1) - K2 * (K2 + 1));
        // With the factor sqrt(ξ² − 1) of an odd projection taken out, region 1
        // is summed from Y and T = sqrt(ξ² − 1)·X′ (the same terms, each
        // bounded at ξ = 1); region 2 and even projections as written.
        const int from = odd ? 6 : 1;
        if (odd) odd_projection_inner(HA, RV, X1.col(I1), Y, T);
        if (M == 0) {
          for (int J = 1; J < from; ++J) {
            const double s = std::sqrt(RV(J, 2) - 1.0);
            P4(J) += A * (2.0 * s * T[J - 1] + (LAM + 2.0) * RV(J, 1) * s * Y[J - 1]);
          }
          for (int J = from; J <= NB; ++J) {
            P4(J) += A * (RV(J, 4) * DX(J) + (LAM * RV(J, 1) + RV(J, 7)) * X1(J, I1));
          }
        } else {
          for (int J = 1; J < from; ++J) {
            const double p = RV(J, 2) - 1.0;
            P4(J) += A * (2.0 * RV(J, 1) * T[J - 1] + (LAM * p - DDM + 2.0 * RV(J, 2) - 1.0) * Y[J - 1]);
          }
          for (int J = from; J <= NB; ++J) {
            const double p = RV(J, 2) - 1.0;
            P4(J) += A * (RV(J, 5) * DX(J) + ((LAM - DDM / p) * std::sqrt(p) + RV(J, 8)) * X1(J, I1));
          }
        }
      }
      for (int J = 1; J <= NB; ++J) Q(J) += X2(J, I2) * RV(J, 3) * P4(J);
    }
  }

  for (int J = 1; J <= NB; ++J) Z1(J) = Q(J);
  const double D = -two_region_simpson(NA, NB, HA, HB, Z1) * RZ3;
  DV(MD + 2) = (M1 % 2 == 0) ? D : -D;
  CS = D;
  io::console().line(io::lstring(CS));
  if (E2 > 0.0) {
    CS = (kSigmaSingle / (E2 - E1)) * (D * D);
  } else if (E2 < 0.0) {
    CS = (4.0 / (E2 - E1)) * (D * D) / 3.0;
  }
  io::console().line(io::lstring(CS));
}

}  // namespace lib

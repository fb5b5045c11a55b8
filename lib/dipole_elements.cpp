// Hartree–Fock dipole matrix elements in length and velocity form between a
// bound orbital and a final function on the two-region grid
// (lib/two_region_grid.hpp), and the cross sections formed from them.
// The formulas of region 1 assume NA = 5.
#include "lib/dipole_elements.hpp"

#include <array>
#include <cmath>

#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/angular_projection.hpp"
#include "lib/checks.hpp"
#include "lib/two_region_grid.hpp"

namespace lib {

using detail::fail;

namespace {

// The conversion constant 5.378 of the cross sections, held in single
// precision: 5.377999782562256.
constexpr double kSigmaSingle = static_cast<double>(5.378f);

// Shapes shared by dipole_length and dipole_velocity; the result element
// DR(MD + 2) exists only for the dipole components MD = −1, 0, +1.
void check_dipole_args(const char* routine, const RadialGrid& grid, const DipoleTransition& t, CMat R,
                       const DipoleWork& w, CVec DR) {
  const int NA = grid.NA, NB = grid.NB, N1 = t.bound.n, N2 = t.final_function.n, M1 = t.bound.M,
            M2 = t.final_function.M;
  const CMat X1 = t.bound.X, X2 = t.final_function.X, PQV = w.PQV;
  const CVec Z1 = w.Z1;
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
// with Y′ from the same three-point formulas as two_region_derivative: both bounded, O(HA²).
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

// The velocity-form element D = −RZ3·∫ Q on the two-region grid into
// DV(MD + 2), with the phase (−1)^M1 of the angular coefficient removed, and
// CS converted with the velocity factor 1/(E2 − E1).
double velocity_cross_section(const RadialGrid& grid, double RZ3, const DipoleTransition& t, const DipoleWork& w,
                              Vec DV) {
  const int NB = grid.NB, M1 = t.bound.M, MD = t.final_function.M - M1;
  const double E1 = t.E1, E2 = t.E2;
  const Vec Q = w.PQV.col(1), Z1 = w.Z1;
  for (int J = 1; J <= NB; ++J) Z1(J) = Q(J);
  const double D = -two_region_simpson(grid.NA, NB, grid.HA, grid.HB, Z1) * RZ3;
  DV(MD + 2) = (M1 % 2 == 0) ? D : -D;
  double CS = D;
  io::console().line(io::lstring(CS));
  if (E2 > 0.0) {
    CS = (kSigmaSingle / (E2 - E1)) * (D * D);
  } else if (E2 < 0.0) {
    CS = (4.0 / (E2 - E1)) * (D * D) / 3.0;
  }
  io::console().line(io::lstring(CS));
  return CS;
}

}  // namespace

// D = RZ3·∫ X2·(ξ or sqrt(ξ²−1))·C·⟨L2 M2| (ξ² − η²)·Y(1, M) |X1⟩ dξ, M = M2 − M1:
// the spherical component M of the dipole r between the bound orbital and
// the final function, with the volume element (ξ² − η²) of the spheroidal
// coordinates; the angular projection is exact (angular_projection) and the
// radial integral is Simpson's rule on each region.  CS is converted into a
// cross section 5.378·(E2 − E1)·D² (megabarn) for a continuum final state,
// into an oscillator strength (4/3)·(E2 − E1)·D² for a bound one, and left as
// D for E2 = 0.
double dipole_length(const RadialGrid& grid, CMat R, Fac F, const DipoleTransition& t, double RZ3, const DipoleWork& w,
                     Vec DR) {
  check_dipole_args("HFCSR", grid, t, R, w, DR);
  const int NA = grid.NA, NB = grid.NB, N1 = t.bound.n, N2 = t.final_function.n, L1 = t.bound.L0,
            L2 = t.final_function.L0, M1 = t.bound.M, M2 = t.final_function.M, KD = t.bound.KD;
  const double HA = grid.HA, HB = grid.HB, E1 = t.E1, E2 = t.E2, C = t.C;
  const CMat X2 = t.final_function.X;
  const double x1 = N1 > 0 ? t.bound.X(2, 1) : 0.0;
  const double x2 = N2 > 0 ? X2(2, 1) : 0.0;
  io::console().line(io::lstring(NA, NB, N1, N2, L1, L2, M1, M2, KD, HA, HB, RZ3, E1, E2, C, R(1, 1), x1, x2, F(3)));

  const int MD = M2 - M1;
  Vec Q = w.PQV.col(1);
  Vec P2 = w.PQV.col(2);
  Vec P3 = w.PQV.col(3);
  Vec P4 = w.PQV.col(4);
  for (int J = 1; J <= NB; ++J) Q(J) = 0.0;
  for (int k = 1; k <= 3; ++k) DR(k) = 0.0;

  for (int M = -1; M <= 1; ++M) {
    if (M != MD) continue;
    for (int J = 1; J <= NB; ++J) P4(J) = 0.0;
    for (int I = 1; I <= N2; ++I) {
      const int K2 = (I - 1) * KD + L2;
      angular_projection(NB, t.bound, {1, M, K2, C}, R.col(2), F, P3, P2);
      for (int J = 1; J <= NB; ++J) P4(J) += X2(J, I) * P2(J);
    }
    // ξ carries the z component, sqrt(ξ² − 1) the transverse ones; column 7
    // is the Jacobian of the stored region-2 functions.
    const int radial = M == 0 ? 1 : 8;
    for (int J = 1; J <= NB; ++J) Q(J) += R(J, 7) * R(J, radial) * P4(J);
  }

  const Vec Z1 = w.Z1;
  for (int J = 1; J <= NB; ++J) Z1(J) = Q(J);
  const double D = two_region_simpson(NA, NB, HA, HB, Z1) * RZ3;
  DR(MD + 2) = D;
  double CS = D;
  io::console().line(io::lstring(C, C));
  io::console().line(io::lstring(CS));
  if (E2 > 0.0) {
    CS = (E2 - E1) * (D * D) * kSigmaSingle;
  } else if (E2 < 0.0) {
    CS = (E2 - E1) * (D * D) * 4.0 / 3.0;
  }
  io::console().line(io::lstring(CS));
  io::console().line(io::lstring(CS));
  return CS;
}

// D = −RZ3·∫ X2·c3·Σ_{K1} A·[F_M(ξ)·X1' + (Λ·f_M(ξ) + …)·X1] dξ: the spherical
// component M of the gradient between the bound orbital and the final
// function.  A = C·gaunt_integral(K1, K2, 1, −M1, M2, M)
// = (−1)^M1·C·⟨K2 M2|Y(1,M)|K1 M1⟩ and the identity
// (1 − η²)∂η = η − ½[L², η] turn the angular part into the coefficient A and
// Λ = K1(K1+1) − K2(K2+1).  DV(MD + 2) = (−1)^M1·D removes the phase of A, so
// that DV and DR agree for exact eigenstates: DV = (E2 − E1)·DR.  The
// derivative is the second-order two_region_derivative, pairs with
// |A| < 1.0e-5 are skipped.  A bound orbital of odd M1 goes as
// sqrt(ξ² − 1) at ξ = 1: with IDER = 1 its region 1 is taken through
// X1/sqrt(ξ² − 1) (odd_projection_inner), O(HA²) like an even projection;
// IDER = 0 differences X1 itself, whose error there falls only as HA.
// CS is converted as in dipole_length with the velocity factor 1/(E2 − E1).
double dipole_velocity(const RadialGrid& grid, CMat RV, Fac F, const DipoleTransition& t, double RZ3,
                       const DipoleWork& w, Vec DV, int IDER) {
  check_dipole_args("HFCSV", grid, t, RV, w, DV);
  if (IDER != 0 && IDER != 1) fail("HFCSV: IDER = ", IDER, " is neither 0 (one-sided difference) nor 1");
  const int NB = grid.NB, N1 = t.bound.n, N2 = t.final_function.n, L1 = t.bound.L0, L2 = t.final_function.L0,
            M1 = t.bound.M, M2 = t.final_function.M, KD = t.bound.KD;
  const double HA = grid.HA, HB = grid.HB, C = t.C;
  const CMat X1 = t.bound.X, X2 = t.final_function.X;
  const int MD = M2 - M1;
  const double DDM = static_cast<double>(M2 * M2 - M1 * M1);
  const bool odd = IDER == 1 && M1 % 2 != 0;
  std::array<double, 5> Y{}, T{};
  Vec Q = w.PQV.col(1);
  Vec DX = w.PQV.col(2);
  Vec P4 = w.PQV.col(4);
  for (int J = 1; J <= NB; ++J) Q(J) = 0.0;
  for (int k = 1; k <= 3; ++k) DV(k) = 0.0;

  for (int M = -1; M <= 1; ++M) {
    if (M != MD) continue;
    for (int I2 = 1; I2 <= N2; ++I2) {
      const int K2 = (I2 - 1) * KD + L2;
      for (int J = 1; J <= NB; ++J) P4(J) = 0.0;
      for (int I1 = 1; I1 <= N1; ++I1) {
        const int K1 = (I1 - 1) * KD + L1;
        const double A = gaunt_integral(K1, K2, 1, -M1, M2, M, F) * C;
        io::console().line(io::lstring(A));
        if (std::fabs(A) < 1.0e-5) continue;
        two_region_derivative(NB, HA, HB, X1.col(I1), RV.col(6), DX);
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

  return velocity_cross_section(grid, RZ3, t, w, DV);
}

}  // namespace lib

// The two-region grid of the photoionisation programs, its per-point factors
// of the length and velocity forms, and differentiation and integration on
// it.
//
// The radial grid has two regions joined at ξ = RP(1): points 1 … NA uniform
// in ξ from 1, and points NA+1 … NB uniform in the mapped variable
// ρ(ξ) = ξ + C1/(ξ + C2), C1 = −10, C2 = −0.9, which crowds points near the
// junction and thins them out at large ξ.  The junction is held twice.  In
// region 2 a radial function y is stored as X = y/g with
// g = ((ξ² − 1)·dρ/dξ)^(−1/2), and integrals over ξ become integrals over ρ
// with the Jacobian 1/(dρ/dξ).  The difference and Simpson formulas of
// region 1 assume NA = 5.
#include "lib/two_region_grid.hpp"

#include <cmath>

#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "lib/checks.hpp"
#include "lib/quadrature.hpp"
#include "lib/radial_grid.hpp"

namespace lib {

using detail::fail;

namespace {

constexpr double C1 = -10.0;
constexpr double C2 = -0.9;

// The grid of length_form_grid/velocity_form_grid and the columns of the length form (velocity = false)
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

}  // namespace

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

// Grid and length-form factors.  Region 1: columns 3–7 are 1, 0, 0, 1, 1.
// Region 2, with p = ξ² − 1 and F1, F2, F3 the derivatives of ρ(ξ):
// c3 = 1/(p·F1²) (the Jacobian g²/F1), c3/p, the Liouville term
// c3/p − (2F3/F1 − 3F2²/F1²)/(4F1²), g = (p·F1)^(−1/2), c3.  Column 8 is
// sqrt(ξ² − 1), the transverse factor of the dipole.
void length_form_grid(int NA, int NB, double& HA, double& HB, CVec RP, Mat R) {
  build_grid("HAFI2", NA, NB, HA, HB, RP, R, false);
}

// Grid and velocity-form factors: ∂/∂z and ∂/∂x± in spheroidal coordinates
// act on y = g·X through 2(ξ²−1)·F1 and 2ξ·sqrt(ξ²−1)·F1 times dX/dρ, with
// column 6 the logarithmic derivative g'/(g·F1) = −ξ/((ξ²−1)·F1) − F2/(2F1²)
// added by two_region_derivative; columns 7 and 8 are 2ξ and (2ξ² − 1)/sqrt(ξ² − 1).
void velocity_form_grid(int NA, int NB, double& HA, double& HB, CVec RP, Mat RV) {
  build_grid("HAFV2", NA, NB, HA, HB, RP, RV, true);
}

// Y = dX/dξ on region 1 (points 1 … 5, central differences inside, one-sided
// second-order differences at both ends) and Y = dX/dρ + G·X on region 2
// (one-sided at the junction point 6, central inside), Y(N) = 0.  Error
// O(HA²) and O(HB²).
void two_region_derivative(int N, double HA, double HB, CVec X, CVec G, Vec Y) {
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

// RZ3·∫ Σ_I Z_I·X_I·R6·R3: Simpson's rule on each region separately (simpson_rule),
// exact for integrands cubic in the grid variable of each region.
double two_region_overlap(const RadialGrid& grid, double RZ3, CVec R3, CVec R6, int NX, CMat X, CMat Z, Vec WK) {
  const int NA = grid.NA, NB = grid.NB;
  const double HA = grid.HA, HB = grid.HB;
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
  return (simpson_rule(NA, HA, WK.sub(1, NA)) + simpson_rule(NB - NA, HB, WK.sub(NA + 1, NB - NA))) * RZ3;
}

}  // namespace lib

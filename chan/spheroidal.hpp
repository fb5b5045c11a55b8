// The separated one-electron problem of two bare Coulomb centres (or of the
// asymptotic field of a molecular ion) in prolate spheroidal coordinates.
//
// With the wave function ψ = R(ξ)·S(η)·e^{iMφ}, S expanded in the normalised
// Legendre functions of the partial waves L = L0, L0+KD, …, the Schrödinger
// equation multiplied by −(RZ²/2)(ξ² − η²) separates into
//   angular:  A·s = λ·s,  A = L(L+1) + ZM·⟨η⟩ + c²·⟨η²⟩,
//   radial:   d/dξ[(ξ²−1)R′] − M²/(ξ²−1)·R + (−λ + ZP·ξ + c²·ξ²)·R = 0,
// with ZP = (Z1 + Z2)·RZ, ZM = (Z2 − Z1)·RZ (nucleus 1 at η = +1) and
// c² = (RZ²/2)·E.  For E > 0, c = k·RZ/2 with k the electron momentum; far
// out y = sqrt(ξ²−1)·R obeys y″ + Q·y = 0 with Q → c² + ZP/ξ, a Coulomb wave
// in kr = cξ.
//
// This file holds the angular eigenproblem, the regular radial solution
// (power series at ξ = 1, then fourth-order Runge–Kutta on (R, (ξ²−1)R′)),
// its energy normalisation by a phase-amplitude (Milne) form far out, the
// irregular partner, and bound states by node counting.
#pragma once

#include "chan/sizes.hpp"
#include "lib/views.hpp"

namespace chan {

using lib::CMat;
using lib::CVec;
using lib::Mat;
using lib::Vec;

inline constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------- angular part
// ⟨l+1 m|η|l m⟩ = sqrt(((l+1)² − m²)/((2l+1)(2l+3))) between normalised
// associated Legendre functions of the same m (Condon–Shortley phase).
double eta_up(int l, int m);
// ⟨l1 m|η²|l2 m⟩: exact for the complete basis (η² = η·η through l ± 1).
double eta2(int l1, int l2, int m);
// A(p,q) = L_p(L_p+1)·δ_pq + ZM·⟨L_p|η|L_q⟩ + c2·⟨L_p|η²|L_q⟩ for
// L_p = L0 + (p−1)·KD, p = 1 … n.  With KD = 2 the η term cannot couple.
void angular_matrix(int M, int L0, int KD, int n, double ZM, double c2, Mat A);
// A = U·diag(lam)·Uᵀ by cyclic Jacobi rotations (A is overwritten); lam in
// ascending order, each column of U signed so that its largest entry is
// positive.  Accurate to a few units of rounding relative to ‖A‖.
void symmetric_eigen(int n, Mat A, Vec lam, Mat U);

// ---------------------------------------------------------------- radial part
struct Radial {
  int m = 0;         // |M|
  double lam = 0.0;  // separation constant λ
  double ZP = 0.0;   // charge term: (total charge)·RZ
  double c2 = 0.0;   // (RZ²/2)·E
  double RZ = 1.0;   // internuclear distance (sets r = (RZ/2)·ξ far out)

  // q(ξ) = −m²/(ξ²−1) − λ + ZP·ξ + c2·ξ²: d/dξ[(ξ²−1)R′] + q·R = 0.
  double q(double xi) const;
  // Q(ξ) of y = sqrt(ξ²−1)·R, y″ + Q·y = 0, and its first two derivatives.
  void Q3(double xi, double& Q, double& Q1, double& Q2) const;
  double Q(double xi) const;
  double c() const;
};

// State of an integration of the radial equation as the first-order system
// R′ = P/(ξ²−1), P′ = −q·R, with the running integrals I0 = ∫R² dξ and
// I2 = ∫ξ²R² dξ (when asked for) and the number of sign changes of R.
struct Track {
  double xi = 1.0, R = 0.0, P = 0.0, I0 = 0.0, I2 = 0.0;
  int nodes = 0;
};

// The regular solution R = (ξ²−1)^{m/2}·Σ a_n t^n, t = ξ − 1, a_0 = 1, at
// ξ = 1 + t (t ≤ 1): R and P = (ξ²−1)R′.  The series converges for t < 2;
// terms are summed until they no longer change the sum.
void regular_series(const Radial& rp, double t, double& R, double& P);

// The regular solution (a_0 = 1) from ξ = 1 to `xend`, with R sampled at the
// ascending points xs (1 ≤ xs ≤ xend) into Rs.  Up to ξ = 1.25 it is the
// series; beyond, Runge–Kutta with about 0.02 radian of phase per step.  A
// solution that grows beyond 1e100 is scaled down, samples and integrals
// alike, so that all outputs share one scale.  `track` receives the state at
// xend.
void integrate_regular(const Radial& rp, CVec xs, Vec Rs, double xend, Track& track, bool integrals);

// Continues `track` (R, P given at track.xi) to ξ = `to` in either direction,
// sampling R (and P, when Ps is not empty) at the points xs, which are
// ordered from track.xi towards `to`.
void integrate_path(const Radial& rp, Track& track, double to, CVec xs, Vec Rs, Vec Ps, bool integrals);

// ---------------------------------------------------------------- continuum (c2 > 0)
// Phase-amplitude form far out: y = A·w^{-1/2}·sin φ with φ′ = w,
// w² = Q + Q″/(4Q) − (5/16)(Q′/Q)² (first correction beyond WKB, residual
// O((Q′/Q^{3/2})⁴)).  The phase is fixed by φ(ξ) − θ(ξ) → 0 for ξ → ∞ with
// θ(ξ) = cξ + (ZP/(2c))·ln(2cξ), the Coulomb phase of kr with charge ZP/RZ.
double milne_w(const Radial& rp, double xi);
// φ(ξ) = θ(ξ) − ∫_ξ^∞ (w − θ′) dξ′, the tail by Gauss–Legendre in 1/ξ′.
double milne_phase(const Radial& rp, double xi);
// A point ≥ xmin beyond the turning point where the Milne form is accurate
// to about 1e-12.
double far_point(const Radial& rp, double xmin);

// Amplitude A = 2/sqrt(π·RZ) of the energy-normalised function: with
// S normalised on the sphere, ψ = R·S·e^{iMφ}/sqrt(2π) is normalised to
// δ(E − E′) in hartree when y = sqrt(ξ²−1)·R → A·c^{-1/2}·sin(θ + δ).
double energy_amplitude(double RZ);

// The regular solution normalised to δ(E − E′): samples at the ascending
// grid points xs go to Rs, already multiplied by the normalisation; delta is
// its phase relative to θ (y → A·c^{-1/2}·sin(θ + δ)), in (−π, π].  xfar
// returns the point where it was fitted.
void regular_continuum(const Radial& rp, CVec xs, Vec Rs, double& delta, double& xfar);

// The irregular partner y = A·w^{-1/2}·cos(φ + δ) (Wronskian R_reg·P_irr −
// P_reg·R_irr = −A²), integrated inwards from xfar; R and P at the points
// xs, which must be ordered downwards from xfar.
void irregular_continuum(const Radial& rp, double delta, double xfar, CVec xs, Vec Rs, Vec Ps);

// ---------------------------------------------------------------- bound states (c2 < 0)
// A point beyond both xmin and the outer classical turning point where the
// decaying solution has fallen by e^{−25} from the larger of the two (a
// growing solution mixed in there has fallen by e^{−50} when it is back).
double decay_point(const Radial& rp, double xmin);
// The solution that decays far out, R at the points xs, ordered downwards
// from xfar: started at xfar with y = 1, y′ = −sqrt(−Q)·y and integrated
// inwards, so that the growing solution mixed in at the start dies out.
void decaying_radial(const Radial& rp, double xfar, CVec xs, Vec Rs);

// The separated problem for one symmetry: partial waves (M, L0, KD, n) and
// the charges ZP, ZM at distance RZ.
struct Symmetry {
  int M = 0, L0 = 0, KD = 1, n = 1;
  double ZP = 0.0, ZM = 0.0, RZ = 1.0;
  // Angular eigenvalue `index` (1 = lowest) at energy E, with its
  // eigenvector (n entries) in s when s is not empty.
  double lambda(double E, int index, Vec s) const;
};

struct BoundState {
  double E = 0.0;    // energy (hartree)
  int index = 0;     // angular index (1 = lowest λ)
  int nodes = 0;     // radial nodes
  double lam = 0.0;  // separation constant at E
};

// The bound state of angular index `index` with `nodes` radial nodes:
// bracketed by counting the nodes of the regular solution, then refined on
// the Wronskian of the outward regular and inward decaying solutions.
// Returns false when the state does not lie below Emax.
bool find_bound(const Symmetry& sym, int index, int nodes, double Emax, BoundState& out);

// Radial function of a bound state normalised in the volume element
// (RZ/2)³(ξ² − η²): R at the ascending points xs into Rs, and the angular
// eigenvector into s.
void bound_function(const Symmetry& sym, const BoundState& b, CVec xs, Vec Rs, Vec s);

}  // namespace chan

// Nuclear motion on a potential curve: the curve E(R) sampled at a few
// distances (the ground-state runs of the molecule or of one of its ions) is
// interpolated by a cubic spline; its vibrational levels and functions come
// from a discrete-variable representation on a uniform grid shared by all the
// curves of a molecule, so that Franck–Condon overlaps are plain sums; the
// spectroscopic constants come from the spline's minimum and the lowest
// levels.  Atomic units throughout: hartree, bohr, electron masses.
#pragma once

#include <string>
#include <vector>

namespace diatom {

// Wavenumbers (cm⁻¹) of one hartree, for the listings.
inline constexpr double kWavenumbersPerHartree = 219474.6313632;
// Electron masses of one unified atomic mass unit.
inline constexpr double kElectronMassesPerDalton = 1822.888486209;

// A potential curve: energies E (hartree) at distances R (bohr), R increasing.
struct PotentialCurve {
  std::vector<double> R, E;
};

// Atomic mass (electron masses, the electrons included, as spectroscopic
// constants are conventionally quoted) of the most abundant isotope of
// element Z = 1 … 18 (¹H, ⁴He, ⁷Li, ⁹Be, ¹¹B, ¹²C, ¹⁴N, ¹⁶O, ¹⁹F, ²⁰Ne,
// ²³Na, ²⁴Mg, ²⁷Al, ²⁸Si, ³¹P, ³²S, ³⁵Cl, ⁴⁰Ar) from the 2016 atomic-mass
// evaluation; 0 for any other Z.
double isotope_mass(int Z);

// The not-a-knot cubic spline through a curve: the third derivative is
// continuous at the second and the next-to-last distance.  The slopes and
// curvatures at the ends of a sampled curve are unknown; the natural spline's
// E'' = 0 at the ends is plainly wrong for a potential (the inner wall is
// where the curvature is largest) and costs O(h²) there, while not-a-knot
// keeps the O(h⁴) of the interior to the ends.  At least four distances,
// strictly increasing, else the run stops.
class CurveSpline {
 public:
  explicit CurveSpline(const PotentialCurve& c);
  // E(R) and its first two derivatives, R within [R.front(), R.back()]
  // (outside, the end cubic is extended).
  double value(double R) const { return eval(R, 0); }
  double slope(double R) const { return eval(R, 1); }
  double curvature(double R) const { return eval(R, 2); }
  double front() const { return R_.front(); }
  double back() const { return R_.back(); }
  // The lowest local minimum of the spline strictly inside the range
  // (S' = 0, S'' > 0); false when there is none (a monotonic curve, or a
  // minimum beyond the sampled distances).
  bool interior_minimum(double& Rmin, double& Emin) const;

 private:
  double eval(double R, int derivative) const;
  std::vector<double> R_, E_, M_;  // M: second derivatives at the distances
};

// A uniform grid of n points R0 + i·(R1 − R0)/(n + 1), i = 1 … n, between
// the hard walls R0 and R1.
struct VibrationGrid {
  double R0 = 0, R1 = 0;
  int n = 0;
};

// The grid for nuclear mass μ shared by `curves`: from the largest distance
// where all start to the smallest where all end (the sampled range every
// curve covers), with a step π/(kMomentumMargin·k), k the largest local
// momentum sqrt(2μ(V_top − V_min)) over the curves, V_top the lower end
// value of the curve (no level above it is held by the range).
VibrationGrid vibration_grid(const std::vector<PotentialCurve>& curves, double mu);

// Levels and functions of one curve.
struct VibrationalStates {
  std::vector<double> E;                 // levels (hartree), ascending, only those the range holds
  std::vector<std::vector<double>> chi;  // orthonormal on the grid (Σ χ_i² = 1), positive on the innermost lobe
  std::string limit;                     // why the list stops
};

// The tunnelling integral θ = ∫κ dR, κ = sqrt(2μ(V − E)), from each classical
// turning point out to the end of the range that a level must reach at both
// ends to count as held.  A hard wall where the function has decayed by e^−θ
// raises the level by about (ω/2π)·e^−2θ (measured on a Morse curve of N2
// against a range 0.4 bohr wider: 0.75 … 1.05 times that for θ from 1 to
// 10).  θ = 4 keeps the shift below 1.1e-6 hartree (0.24 cm⁻¹) up to
// ω = 0.02 hartree (4400 cm⁻¹, H2), no more than the spline's own error of
// the levels from a dozen distances (0.2 … 0.6 cm⁻¹ on the Morse curve of
// N2); a function cut where it has fallen to e^−4 of its turning-point value
// changes a Franck–Condon factor by a few 1e-4 at most.  Stricter, 12
// distances from 0.88 to 1.32 re of N2 held no level at all (θ = 6.5; 3.7
// for v = 0 at the inner end), and H2+ between 0.7 and 3.3 bohr none
// (θ = 5; 4.5 for its v = 0 at the outer end).
inline constexpr double kHeldTunnelling = 4.0;

// The levels of curve `c` for nuclear mass μ on grid `g`: the sinc
// discrete-variable representation of −(1/2μ) d²/dR² + V(R) with hard walls
// at g.R0 and g.R1 (Colbert–Miller, the particle-in-a-box form), V the spline
// at the grid points, diagonalised by LAPACK.  A level is kept while it is
// held by the range (kHeldTunnelling at both walls), at most `max_levels`.
// The range must reach into both walls: for N2 (ω = 2354 cm⁻¹) the inner end
// at 0.80 re holds v = 0 … 6, while 0.88 re holds no level (θ = 3.7 for
// v = 0, a shift of 1e-6 hartree); an ion whose re lies 0.15 bohr farther
// out needs the outer end beyond 1.32 re of the neutral for more than two.
VibrationalStates vibrational_states(const PotentialCurve& c, double mu, const VibrationGrid& g, int max_levels);

// Franck–Condon factors |<χ_v | χ'_v′>|² of level v of `lower` with every
// level v′ of `upper` (both on the same grid).
std::vector<double> franck_condon(const VibrationalStates& lower, int v, const VibrationalStates& upper);

// Spectroscopic constants of a curve (hartree; ×kWavenumbersPerHartree for cm⁻¹).
struct SpectroscopicConstants {
  bool minimum = false;     // the spline has a minimum inside the sampled range; else all below are NaN
  double re = 0, Ee = 0;    // the spline's minimum (bohr, hartree)
  double we = 0, wexe = 0;  // from G(v) = ωe(v+½) − ωexe(v+½)² (NaN where the levels do not tell)
  double Be = 0;            // 1/(2μ re²)
  int levels = 0;           // levels used (3 at most)
  std::string note;         // how the constants were found, or why not
};

// The constants of curve `c` whose levels are `s`: re, Ee from the spline's
// minimum; ωe, ωexe from the level spacings ΔG(½) = ωe − 2ωexe and
// ΔG(3/2) = ωe − 4ωexe when three levels are held; from E0 − Ee and ΔG(½)
// with two; with one, the harmonic ωe = 2(E0 − Ee) and no ωexe.
SpectroscopicConstants spectroscopic_constants(const PotentialCurve& c, double mu, const VibrationalStates& s);

}  // namespace diatom

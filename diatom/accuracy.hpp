// The accuracy rule of a diatom run: the partial waves, the grid and the
// tolerance of a ground-state run from the target error TOL of the orbital
// energies, and the finer grid of its self-check.
#pragma once

#include <string>

#include "diatom/molecule.hpp"

namespace diatom {

// Partial waves, grid and tolerance of a ground-state run.
struct Accuracy {
  int n = 0;        // partial waves of every shell
  int NB = 0;       // grid points (NA = 5 inner)
  double RP1 = 0;   // ξ at the end of the inner region
  double RP2 = 0;   // ξ at the last point
  double EPS = 0;   // summed change of the orbital energies that ends the iteration
  int most = 0;     // the most partial waves the chain takes (0: no ceiling)
  int IGRID = 1;    // tovrel's outer map: 1 as the continuum programs read it, 2 graded towards the axis
  std::string why;  // the rule in words, for the listing
};

// The most words a ground-state run of the chain may be given (tovrel's
// NUVM): half of this machine's memory, so that a run and its check fit side
// by side, and never less than tovrel's default.
long run_words_allowed();

// The rule's outer end of the grid (bohr from the bond midpoint) for target
// error `TOL`: where the slowest-decaying orbital has fallen by TOL.
double outer_end(double TOL);

// The accuracy rule for target error `TOL` (hartree) of the orbital
// energies; `npw` and `nb`, when not 0, replace the chosen values, and `rb`
// (bohr from the bond midpoint), when not 0, the outer end of the grid.
// With `continuum` the grid also carries continuum functions up to
// k ≈ 3/bohr.  A grid the ground-state program cannot hold stops the run,
// naming the control file `file`, the variable and the points it would need.
Accuracy choose_accuracy(const Molecule& m, double RZ, double TOL, int npw, int nb, bool continuum = false,
                         const std::string& file = "", double rb = 0.0);

// The largest momentum (1/bohr) whose waves the grid of `a` carries at
// distance RZ with ten points a wavelength: far out r = ξ·RZ/2, and the step
// in ξ is at most the step h in x (dx/dξ ≥ 1), so the outer step in bohr is
// at most h·RZ/2 and k = 2π/(10·h·RZ/2).  The continuum rule (h·RZ/2 ≤ 0.1
// bohr) gives about 6/bohr; the programs are calibrated below 3.
double carried_momentum(const Accuracy& a, double RZ);

// The same molecule with more partial waves (2 more, 4 for unequal nuclei,
// at most 20), the outer step and RP(1) − 1 over kRefine, and the step in ξ
// at the junction over RP(1) − 1 over kRefine too (the grid errors of order
// 4 fall by kRefine^4 at least), RP(2) 1.2 times farther and EPS/10, but not
// below kCheckEps: the self-check and the error estimate.
inline constexpr double kRefine = 1.5;
// The smallest EPS of the check run.  On a fine grid one shell's energy is
// placed only so well: on N2's check grid of TOL = 1e-9 (64,060 points) the
// norm of the 2σg solve scatters by up to ±1e-9 between trial energies
// within 1.5e-12 of each other, its energy (the norm moves by 5 per
// hartree) by ±2e-10 from sweep to sweep, while the other shells settle to
// 1e-11; the sweeps' summed change then stays between 1e-10 and 4.3e-10, and
// the 1e-11 of EPS/10, or 1e-10, was not met.  5e-10 is met.
inline constexpr double kCheckEps = 5.0e-10;
// The smallest TOL with CHECK = 1: kCheckEps is half of it, and the check
// grid's points, with the scatter, grow as TOL falls.
inline constexpr double kCheckTolMin = 1.0e-9;
// The check grid: more partial waves, the outer end 1.2 times farther, or at
// `end` bohr at least (the RPA's bound functions of the check), and every
// step refined by kRefine.
Accuracy refined_accuracy(const Accuracy& a, const Molecule& m, double end = 0.0);

}  // namespace diatom

#include "scf/grid.hpp"

#include <cmath>

#include "io/console.hpp"
#include "io/list_directed.hpp"

namespace scf {

// Outer grid: x_i = x(RA) + (i − NA1)·HB, HB = (x(RP(2)) − x(RA))/(NB − NA1),
// with x(ξ) = ξ − 10/(ξ − 0.9), and ξ_i the root above 0.9 of that relation,
//   ξ = (x + 0.9 + √((x − 0.9)² + 40)) / 2.
// With x′ = 1 + 10/(ξ−0.9)², x″ = −20/(ξ−0.9)³, x‴ = 60/(ξ−0.9)⁴ and
// p = ξ² − 1, the columns are those of the Liouville normal form of
// (p y′)′ + q y = s in x for u = √(x′p)·y:
//   3: 1/(x′²p)  4: 1/(x′²p²)  5: (3x″² − 2x′x‴)/(4x′⁴) + 1/(x′²p²)
//   6: 1/√(x′p)  7: = column 3.
// Every entry is a closed form of ξ, exact to rounding; the map crowds the
// points towards ξ = 1, where the nuclear cusps lie.
//
// IGRID = 1 forms the point without cancellation.  Near the junction x is
// about −90 and ξ − 0.9 about 0.1, so the written root adds two terms of 90
// to get 0.2: ξ carries an error of about 90ε = 2e-14, which the steep map
// (x′ ≈ 800 there) turns into a displacement of the point by 1e-11 in x,
// random from point to point.  Against the step HB that is a relative error
// of 1e-11/HB in the step between the junction and the next point, and so in
// the slope the matching of the series and the recurrence sees: the orbital
// energies jump between neighbouring grids, by 1e-10 for H2+ at 6406 points
// and 4e-10 at 25,606, by up to 1e-8 for N2 on fine grids.  Below x = 0.9
// the root is taken as
//   ξ − 0.9 = 20 / (√((x − 0.9)² + 40) − (x − 0.9)),
// whose divisor is a sum of two positive terms, and ξ² − 1 as t(2 + t)
// with t = ξ − 1 = (ξ − 0.9) − (1 − 0.9) (1 − 0.9 is exact in floating
// point), instead of ξ² − 1 with its relative error ε/(ξ − 1).
namespace {

// Row i of the table at the point ξ, with p = ξ² − 1 and the map's first
// three derivatives x′, x″, x‴ there.
void fill_row(lib::Mat R, int i, double xi, double p, double x1, double x2, double x3) {
  R(i, 1) = xi;
  R(i, 2) = xi * xi;
  R(i, 3) = 1.0 / (x1 * x1 * p);
  R(i, 4) = 1.0 / (x1 * x1 * p * p);
  R(i, 5) = (3.0 * x2 * x2 - 2.0 * x1 * x3) / (4.0 * x1 * x1 * x1 * x1) + R(i, 4);
  R(i, 6) = 1.0 / std::sqrt(x1 * p);
  R(i, 7) = R(i, 3);
}

// IGRID = 2: x = ξ − 10/(ξ − 0.9) + a·ln(ξ − 1).  t = ξ − 1 is the unknown
// throughout, so that ξ² − 1 = t(2 + t) keeps its digits at the axis.
double graded_x(double t) { return 1.0 + t - 10.0 / (t + 0.1) + kLogGrade * std::log(t); }

// The t > 0 at which graded_x is x: Newton steps in s = ln t, in which the
// map is smooth and convex enough that the steps from the point before
// converge in a few iterations; stops when the step no longer shrinks.
double graded_root(double x, double s) {
  double last = HUGE_VAL;
  for (int k = 0; k < 100; ++k) {
    const double t = std::exp(s), d = t + 0.1;
    const double step = (graded_x(t) - x) / (t + 10.0 * t / (d * d) + kLogGrade);
    s -= step;
    if (std::fabs(step) < 1e-15 * std::fmax(1.0, std::fabs(s)) || std::fabs(step) >= last) break;
    last = std::fabs(step);
  }
  return std::exp(s);
}

void graded_grid(int NA1, int NB, double& HB, lib::CVec RP, lib::Mat R) {
  const double X1 = graded_x(RP(1) - 1.0), X2 = graded_x(RP(2) - 1.0);
  HB = (X2 - X1) / (NB - NA1);
  double s = std::log(RP(1) - 1.0);
  for (int i = NA1; i <= NB; ++i) {
    const double t = i == NA1 ? RP(1) - 1.0 : graded_root(X1 + (i - NA1) * HB, s);
    s = std::log(t);
    const double d = t + 0.1, p = t * (2.0 + t), a = kLogGrade;
    const double x1 = 1.0 + 10.0 / (d * d) + a / t;
    const double x2 = -20.0 / (d * d * d) - a / (t * t);
    const double x3 = 60.0 / (d * d * d * d) + 2.0 * a / (t * t * t);
    fill_row(R, i, 1.0 + t, p, x1, x2, x3);
  }
}

}  // namespace

void outer_grid(int NA1, int NB, double& HB, lib::CVec RP, lib::Mat R, int IGRID) {
  if (IGRID == 2) {
    graded_grid(NA1, NB, HB, RP, R);
    io::console().line(io::lstring(R(NA1, 1), R(NA1 + 1, 1)));
    io::console().line(io::lstring(R(NB - 1, 1), R(NB, 1)));
    return;
  }
  const double X1 = RP(1) - 10.0 / (RP(1) - 0.9);
  const double X2 = RP(2) - 10.0 / (RP(2) - 0.9);
  HB = (X2 - X1) / (NB - NA1);
  for (int i = NA1; i <= NB; ++i) {
    const double x = X1 + (i - NA1) * HB;
    double xi, d, p;
    if (IGRID == 1) {
      const double y = x - 0.9, s = std::sqrt(y * y + 40.0);
      d = y < 0.0 ? 20.0 / (s - y) : (y + s) / 2.0;
      xi = 0.9 + d;
      const double t = d - (1.0 - 0.9);
      p = t * (2.0 + t);
    } else {
      xi = (x + 0.9 + std::sqrt((x - 0.9) * (x - 0.9) + 40.0)) / 2.0;
      d = xi - 0.9;
      p = xi * xi - 1.0;
    }
    const double x1 = 1.0 + 10.0 / (d * d);
    const double x2 = -20.0 / (d * d * d);
    const double x3 = 60.0 / (d * d * d * d);
    fill_row(R, i, xi, p, x1, x2, x3);
  }
  io::console().line(io::lstring(R(NA1, 1), R(NA1 + 1, 1)));
  io::console().line(io::lstring(R(NB - 1, 1), R(NB, 1)));
}

}  // namespace scf

// The two-region grid of the photoionisation programs as the tests of its
// tables and of the dipole elements build it, and a console kept quiet.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "io/console.hpp"
#include "lib/two_region_grid.hpp"
#include "support/dense.hpp"

namespace twogrid {

constexpr int NA = 5;

// The kernels trace their arguments on the console; the tests keep it quiet.
class Quiet : public ::testing::Test {
 protected:
  std::istringstream in_;
  std::ostringstream out_;
  io::ConsoleRedirect redirect_{&in_, &out_};
};

// ρ(ξ) = ξ − 10/(ξ − 0.9), the variable of the outer region.
inline double rho_of(double xi) { return xi - 10.0 / (xi - 0.9); }

// The length-form table R and the velocity-form table RV of one grid.
struct Grid {
  int NB = 0;
  double HA = 0, HB = 0, HAv = 0, HBv = 0;
  ref::Dense<double> R, RV;
  Grid(double rp1, double rp2, int intervals) : NB(NA + intervals + 1), R(NB, 8), RV(NB, 8) {
    std::vector<double> rp{rp1, rp2};
    lib::length_form_grid(NA, NB, HA, HB, lib::CVec(rp.data(), 2), R.view());
    lib::velocity_form_grid(NA, NB, HAv, HBv, lib::CVec(rp.data(), 2), RV.view());
  }
  double xi(int i) const { return R(i, 1); }
  lib::RadialGrid radial() const { return {NA, NB, HA, HB}; }
};

}  // namespace twogrid

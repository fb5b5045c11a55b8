// Radial quadrature on one equally spaced stretch of the grid, and the
// Gauss–Legendre rule in η.
#pragma once

#include "lib/build.hpp"
#include "lib/views.hpp"

namespace lib {

// Composite Simpson rule over N equally spaced points of step H; N must be
// odd and at least 3, otherwise the run stops with " FINS N = " (" Fins N = ").
// Legacy name: FINS.
double simpson_rule(int N, double H, CVec F, Build b = Build::photo);
// Gauss–Legendre rule of N points on [−1, 1]: nodes X ascending, weights W
// (exact for polynomials up to degree 2N − 1).  Newton's iteration on P_N,
// each symmetric pair of nodes found once.
void gauss_legendre(int N, Vec X, Vec W);

}  // namespace lib

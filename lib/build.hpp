// The two builds of a few library routines.
//
// Some routines exist in two builds, one for the photoionisation programs
// and one for the ground-state program; the caller names its build.
//   simpson_rule        message " FINS N = " / " Fins N = "; divides by 3 /
//                       multiplies by 1/3
//   angular_projection  drops angular coefficients below 1.0e-6 / 1.0e-8
//   wigner_3j           (and the Gaunt coefficients built on it) forms the
//                       Racah prefactor and the terms of the sum in two
//                       different orders
#pragma once

namespace lib {

enum class Build { photo, scf };

}  // namespace lib

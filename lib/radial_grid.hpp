// The two-region radial grid as the library routines read it: points
// 1 … NA uniform in ξ from 1, points NA+1 … NB uniform in a mapped variable.
#pragma once

namespace lib {

// NA inner and NB points in all, the inner step HA in ξ and the outer step
// HB in the mapped variable, CH = 12/HB², and the form of the outer sweep
// (IDIF = 1: the difference form).  The radial solver reads NA, NB, CH and
// IDIF; the integrals on the grid read NA, NB, HA and HB.
struct RadialGrid {
  int NA = 0, NB = 0;
  double HA = 0.0, HB = 0.0, CH = 0.0;
  int IDIF = 0;
};

}  // namespace lib

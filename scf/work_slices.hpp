// The workspace slices of the shell updates: the slices of the run's
// workspace and the inner work arrays, and their cut to one shell.
#pragma once

#include "lib/views.hpp"

namespace scf {

// Work slices of one shell update.
struct ShellWork {
  lib::Arr3 PD, PX;  // (NB,n,n)
  lib::Mat WK;       // (NB, n²+n+6 or more)
  lib::Mat XN;       // (NB,2n)
  lib::Mat XE;       // (NB, n+2 or more)
  lib::Vec CX;       // inner systems: (NA·n)² words, or (NA,NA) for the multipole solver
  lib::Vec WC;       // inner work vectors: right-hand sides and series coefficients
};

// The workspace slices of the shell updates (slices 3 to 7 and the inner
// work arrays), cut to the partial-wave count of one shell by `of`.
struct UpdateSlices {
  lib::Vec PD, PX;
  lib::Mat WK, XN, XE;
  lib::Vec CX, WC;
  ShellWork of(int n, int NB) const {
    return ShellWork{lib::Arr3(PD.data(), NB, n, n), lib::Arr3(PX.data(), NB, n, n), WK, XN, XE, CX, WC};
  }
};

}  // namespace scf

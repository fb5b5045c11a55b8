// The shells of a run: their descriptors, the columns of their partial
// waves, their orbital energies and norms.
#pragma once

#include "lib/views.hpp"

namespace scf {

// The shells: descriptors (M, L0, n) as columns of MLN, start columns LK of
// their partial waves in X, energies and norms.
struct Shells {
  int NSH = 0;
  lib::CIMat MLN;  // (3,NSH)
  lib::CIVec LK;   // NSH+1
  lib::Mat X;      // (NB,NKS)
  lib::Vec E, CN;  // NSH or more
  int M(int J) const { return MLN(1, J); }
  int L0(int J) const { return MLN(2, J); }
  int n(int J) const { return MLN(3, J); }
  lib::Mat waves(int J) const { return X.colsFrom(LK(J), n(J)); }
  // Whether shells I and J have one symmetry and wave set (M, L0 and n).
  bool same_symmetry(int I, int J) const { return M(I) == M(J) && L0(I) == L0(J) && n(I) == n(J); }
};

}  // namespace scf

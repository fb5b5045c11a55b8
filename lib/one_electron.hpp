// The one-electron part of the radial equations of a set of partial waves
// of one projection: kinetic, centrifugal and two-centre nuclear terms, and
// the η² matrix of the volume element.  The shell equations of tovrel and the
// continuum equations of chanfile are built on it.
#pragma once

#include "lib/angular_coefficients.hpp"
#include "lib/partial_waves.hpp"
#include "lib/views.hpp"

namespace lib {

// What the one-electron terms take of the run: ZP = (Z1 + Z2)·RZ,
// ZM = (Z2 − Z1)·RZ, and EXACT, the rule of the η, η² elements (as for
// eta2_diagonal).
struct OneElectronSetting {
  double ZP = 0.0, ZM = 0.0;
  int EXACT = 0;
};

// The factorials F(0 … F.size()−1) into F; the one-electron and angular part
// of the equations of the waves w (projection M, momenta L0, L0 + KD, …, n
// waves) into PD(NB,n,n) (diagonal and η band; PD must be zero on entry) and
// their η² matrix TT(n,n).  Of the grid table R columns 1 (ξ) and 3 … 5 are
// read.  WK(·,1) receives the diagonal common to all waves.
// Legacy name: MASH.
void one_electron_equations(int NB, const WaveSet& w, const OneElectronSetting& s, CMat R, VecView<double, 0> F, Mat WK,
                            Mat TT, Arr3 PD);

}  // namespace lib

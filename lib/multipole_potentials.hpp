// Coulomb potentials of orbital products by multipoles: one radial Poisson
// equation per multipole, solved on the two-region grid.
#pragma once

#include "lib/partial_waves.hpp"
#include "lib/radial_solver.hpp"
#include "lib/views.hpp"

namespace lib {

class GauntTable;

// What the multipole solver reads of the run besides the series tables: the
// grid, the grid table from column 2 on (ξ², then columns 3 … 6) and the
// factorials of its angular projections.
struct MultipoleSetting {
  RadialGrid grid;
  CMat R2;
  Fac F;
  const GauntTable* table = nullptr;  // the angular coefficients, if tabulated (photoionisation build)
};

// The density f1·conj(f2) whose potential is wanted, and the source factor
// C1 = −π·RZ² of its Poisson equation.  Both functions, the multipoles and
// every wave the potential is applied to or projected on share the momentum
// step KD of f1.
struct PairDensity {
  PartialWaves f1, f2;
  double C1 = 0.0;
};

// Work of the multipole solver: the far boundary vector B (4; B(1) = 1 on
// entry), the inner system WC (NA, NA), the inner coefficients CX (NA, 3)
// and the grid work WK (NB, 6).
struct MultipoleWork {
  Vec B;
  Mat WC, CX, WK;
};

// Multipoles of the potential of f1·conj(f2) into the columns of Z, their
// descriptor (m, first λ, count) into MNZ, with the series tables of
// projection |m|; the outer sweeps take the form set.grid.IDIF.  Z needs
// MNZ(3) = 3(n1+n2)/4 columns; fewer stop the run.
// Legacy name: CUIN.
void pair_multipoles(const MultipoleSetting& set, const SeriesColumn& series, const PairDensity& rho,
                     const MultipoleWork& w, IVec MNZ, Mat Z);
// Partial waves MNE of (ξ²−η²)·V·fe into QQ, V the potential of
// f1·conj(f2), its multipoles in Z; the series tables are those of every
// projection, and |M1 − M2| must be one they were built for, else the run
// stops.
// Legacy name: CUIF.
void exchange_potential_waves(const MultipoleSetting& set, const SeriesTables& series, const PairDensity& rho,
                              const PartialWaves& fe, CIVec MNE, const MultipoleWork& w, Mat QQ, Mat Z);

}  // namespace lib

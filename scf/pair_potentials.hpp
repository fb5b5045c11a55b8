// Multipole potentials of the pair densities of the shell equations: one
// radial Poisson equation per multipole order, on the two-region grid, with
// the run's angular rule.
#pragma once

#include "lib/multipole_potentials.hpp"
#include "lib/radial_solver.hpp"
#include "lib/views.hpp"
#include "scf/angular.hpp"

namespace scf {

// The multipole scale −π·RZ² of the Poisson source.  By default π is the
// literal 6.28318/2 that the potentials have always been formed with (it
// weakens the electron repulsion by 8.4e-7 relative); EXACT = 1 takes 2π.
inline double multipole_scale(double RZ2, int EXACT = 0) { return RZ2 * (EXACT == 1 ? -6.283185307179586 : -6.28318); }

// The multipole orders wanted: `count` orders λ = first, first + KD, …, KD
// the momentum step of the pair density.
struct MultipoleOrders {
  int first = 0;
  int count = 0;
};

// Multipole potentials Z(·,k), k = 1 … orders.count, of orders
// λ = orders.first + (k−1)·KD and projection M1 − M2 of the pair density
// f1·Y(L1…,M1) × f2·Y(L2…,−M2) (both waves of step KD = rho.f1.KD), each the
// solution of its radial Poisson equation with source factor rho.C1.  The
// setting gives the grid (NA, NB, CH and the form IDIF of the outer sweep),
// the grid table from column 2 on and the factorials; `series` the inner
// tables of the projection; w the boundary vector B, the inner system WC
// (NA,NA), the inner coefficients CX (NA,3) and the work WK (NB,6).
// IBLAS = 1 (with coefficients_by_rule): each order's source by one product
// of f1's waves with the coefficients of every wave of f2 (dgemm), the same
// to rounding.
// Legacy name: ZIJK.
void pair_potentials(const lib::MultipoleSetting& set, const lib::SeriesColumn& series, const AngularRule& rule,
                     const lib::PairDensity& rho, const MultipoleOrders& orders, const lib::MultipoleWork& w,
                     lib::Mat Z, int IBLAS = 0);

}  // namespace scf

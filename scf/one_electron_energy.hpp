// The one-electron energies of an orbital from the first derivatives of its
// partial waves: the kinetic energy of the energy block and its virial
// ratio.
#pragma once

#include "lib/views.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"

namespace scf {

// One-electron integrals of one orbital, per unit norm.
struct OneElectron {
  double kinetic = 0.0;  // ⟨φ|−½∇²|φ⟩
  double nuclear = 0.0;  // ⟨φ|−Z1/r1 − Z2/r2|φ⟩
};

// Kinetic energy and nuclear attraction of shell ISH divided by its norm on
// the grid.  With y_p the partial waves (stored outer values u_p = y_p/g),
//   T·N = (RZ/4) Σ_p ∫ [(ξ²−1) y_p′² + (M²/(ξ²−1) + L_p(L_p+1)) y_p²] dξ,
//   V·N = −(RZ/4) Σ_pq ∫ [ZP·ξ·δ_pq − ZM·⟨L_p M|η|L_q M⟩] y_p y_q dξ.
// Inner region: derivative of the interpolating power series; outer region:
// five-point differences in x (error O(HB⁴), as the Numerov solution).
OneElectron shell_one_electron(const RunTables& t, const Shells& s, int ISH, lib::Fac F, lib::CMat TT, lib::Vec work1,
                               lib::Vec work2);

}  // namespace scf

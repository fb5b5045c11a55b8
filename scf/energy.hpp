// The total energy of a converged run and its parts.
//
// Shell I (q_I electrons) solves (h + Σ_J AHF(J,I)·J_J − Σ_J BHF(J,I)·K_J)φ_I = ε_I φ_I
// with the sign convention of the density products (−1)^M_J and the partner
// exchange of π shells built into the operators.  With h_I = ⟨φ_I|h|φ_I⟩ and
// G_I = ⟨φ_I|Σ_J AHF(J,I)·J_J − BHF(J,I)·K_J|φ_I⟩ the energy of the closed
// shells is
//   E = Σ_I q_I h_I + ½ Σ_I q_I G_I                 (direct sum),
//     = ½ Σ_I q_I (ε_I + h_I)                       (orbital energies),
// the two equal when every orbital satisfies its equation (ε_I = h_I + G_I).
// h_I and G_I are formed with the discrete operator of the shell solve
// (shell_energies), so the two sums agree to the self-consistency error;
// the kinetic energy of the KINETIC ENERGY line and the virial ratio come
// from first derivatives of the partial waves (shell_one_electron).
#pragma once

#include <span>
#include <vector>

#include "io/unit.hpp"
#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/update.hpp"

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

// h_I and G_I from the discretised equations the shell solve satisfies.
// Every row of the discrete system (Numerov's rows of the outer region, the
// power-series rows of the inner region) is linear in the orbital energy:
//   row = one-electron part + two-electron part + ER·(ε-coefficient part).
// Summed with the weights u_i (Simpson's weights over the Numerov rows, the
// series' own polynomial inside), the three sums make
//   one + two + ε·norm = 0
// for an orbital that solves its equations, so h = −one/norm and
// G = −two/norm satisfy ε = h + G to rounding when the potentials are those
// of the orbitals themselves: the two energy sums then differ only by the
// self-consistency error, not by the grid's.  h and G are O(HB⁴)
// approximations of ⟨φ|h|φ⟩ and ⟨φ|G|φ⟩ per unit norm.  Uses the update work
// slices; st supplies the factorials, the η² matrix and the boundary vector.
struct ShellEnergies {
  double one = 0.0;       // h_I
  double two = 0.0;       // G_I
  double residual = 0.0;  // one + two + ε·norm before division (0 for a solution)
};
ShellEnergies shell_energies(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::CVec BC, UpdateState& st,
                             const ShellWork& w);

// The operator of shell J's equations (sources included) between orbitals
// of its symmetry, with the same discrete operator and weights:
//   F[k] = ⟨φ_I|F_J|φ_J⟩,  S[k] = ⟨φ_I|φ_J⟩ in the solve's metric,  I = left[k],
// so that F = ε_J·S for I = J when φ_J solves its equations.  With one
// multiplier per pair (IROT = 2) u″ at the outer region's end points comes
// from the source the orbital was solved with, its Lagrange terms μ·φ
// included (they are not part of F_J; without them the elements err by a
// term of first order in the step).
// The shells in `left` have J's projection, first momentum and number of
// partial waves.
void operator_elements(const RunTables& t, const Shells& s, int J, lib::CVec AC, lib::CVec BC, UpdateState& st,
                       const ShellWork& w, std::span<const int> left, std::span<double> F, std::span<double> S);

// Occupations the energy expression assumes, read from the coefficients:
// q_J = (−1)^M_J·AHF(J,K) for the first shell K ≠ J (K = J when alone); a
// shell with no coefficients at all holds one electron.  closed is true when
// the coefficients are those of closed shells (AHF rows constant, q = 2 for
// σ and 4 for M > 0, BHF as the closed-shell rules give).
struct Occupations {
  std::vector<double> q;
  bool closed = true;
};
Occupations occupations(const Shells& s, lib::CMat AHF, lib::CMat BHF);

// The energy block of a run.
struct TotalEnergy {
  std::vector<double> orbital, one, kinetic, two;  // per shell: ε_I, h_I, t_I, G_I
  Occupations occ;
  double electronic = 0.0;   // ½ Σ q (ε + h)
  double direct = 0.0;       // Σ q h + ½ Σ q G
  double repulsion = 0.0;    // Z1·Z2/RZ
  double total = 0.0;        // electronic + repulsion
  double kinetic_sum = 0.0;  // Σ q t
  double virial = 0.0;       // −V/T, V = total − T
  // An open shell: the lines naming its term and the Brillouin gradients,
  // printed in place of the occupations line.
  std::vector<std::string> open_lines;
};

// Evaluates the block for the converged shells.
TotalEnergy total_energy(const RunTables& t, const Shells& s, double Z1, double Z2, double RZ, lib::CMat AHF,
                         lib::CMat BHF, UpdateState& st, const ShellWork& w);

// Lines of the block: ORBITAL ENERGY(I) =, ELECTRONIC ENERGY =, NUCLEAR
// REPULSION =, TOTAL ENERGY =, KINETIC ENERGY =, VIRIAL RATIO = (fifteen
// significant digits), the direct sum for comparison and, for coefficients
// that are not those of closed shells, the occupations assumed.
std::vector<std::string> energy_lines(const TotalEnergy& e);

}  // namespace scf

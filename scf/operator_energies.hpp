// The energies of a shell from the discretised equations its solve
// satisfies: the one- and two-electron energies h_I and G_I of the energy
// block, and the elements of a shell's operator between orbitals of its
// symmetry (the rotation of the orbitals between sweeps and the open shell's
// step).
#pragma once

#include <span>
#include <vector>

#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scf {

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

// The operator of shell J's equations (sources included, the coefficients
// the columns J of coef.AHF and coef.BHF) between orbitals of its symmetry,
// with the same discrete operator and weights:
//   F[k] = ⟨φ_I|F_J|φ_J⟩,  S[k] = ⟨φ_I|φ_J⟩ in the solve's metric,  I = left[k],
// so that F = ε_J·S for I = J when φ_J solves its equations.  With one
// multiplier per pair (IROT = 2) u″ at the outer region's end points comes
// from the source the orbital was solved with, its Lagrange terms μ·φ
// included (they are not part of F_J; without them the elements err by a
// term of first order in the step).
// The shells in `left` have J's projection, first momentum and number of
// partial waves.
struct OperatorElements {
  std::vector<double> F, S;
};
OperatorElements operator_elements(const RunTables& t, const Shells& s, int J, const ShellCoefficients& coef,
                                   UpdateState& st, const ShellWork& w, std::span<const int> left);

}  // namespace scf

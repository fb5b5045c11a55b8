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

#include <string>
#include <vector>

#include "lib/views.hpp"
#include "scf/run_settings.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scf {

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

// Evaluates the block for the converged shells of the run.
TotalEnergy total_energy(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st,
                         const ShellWork& w);

// Lines of the block: ORBITAL ENERGY(I) =, ELECTRONIC ENERGY =, NUCLEAR
// REPULSION =, TOTAL ENERGY =, KINETIC ENERGY =, VIRIAL RATIO = (fifteen
// significant digits), the direct sum for comparison and, for coefficients
// that are not those of closed shells, the occupations assumed.
std::vector<std::string> energy_lines(const TotalEnergy& e);

}  // namespace scf

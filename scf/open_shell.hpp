// The open shell and the closed shells of its symmetry between two sweeps.
//
// Their operators differ (F_o for the open shell, F_c for the closed ones),
// so the energy is not invariant under a rotation φ_o → φ_o + θφ_k,
// φ_k → φ_k − θφ_o.  Its derivative is
//   dE/dθ = 2(q·⟨φ_k|F_o|φ_o⟩ − N_k·⟨φ_o|F_c|φ_k⟩)
// (q, N_k the electrons of the two shells); at the Hartree–Fock point it
// vanishes (the Brillouin condition) and the two off-diagonal Lagrange
// multipliers λ = q·μ_o = N_k·μ_k agree.  Each step measures the gradient,
// rotates (IROT = 0: by the Newton step θ = −g/H with the model curvature
// H = 2(N_k − q)(ε_o − ε_k), none where H ≤ 0; IROT = 1: to the minimum of
// the term's energy along the rotation with the other orbitals frozen, a
// trigonometric polynomial found exactly from five energies; IROT = 2: not
// at all), and sets the multipliers μ of the next sweep's
// equations, (F_o − ε_o)φ_o = μ_o φ_k and (F_c − ε_k)φ_k = μ_k φ_o, from the
// operators' own elements (IROT = 2: from one λ = q·μ_o = N_k·μ_k, so that
// the sweeps themselves turn the pair to the Brillouin point).  Each Newton
// rotation is at most kMaxRotation.
#pragma once

#include <vector>

#include "scf/equations.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/terms.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scf {

// Largest rotation of one step (radians).
inline constexpr double kMaxRotation = 0.1;

struct OpenPair {
  int closed = 0;                // the closed shell k
  double gradient = 0.0;         // dE/dθ before the rotation (hartree)
  double theta = 0.0;            // the rotation applied
  double fitted_gradient = 0.0;  // IROT = 1: dE/dθ at 0 of the fitted curve (the gradient above, fitted)
  double lowered = 0.0;          // IROT = 1: the energy change of the rotation, the other orbitals frozen
  double mu_open = 0.0;          // μ_o: φ_k in the open shell's equation
  double mu_closed = 0.0;        // μ_k: φ_o in the closed shell's equation
};

// Measures every pair (open shell, closed shell of its symmetry with an
// orbital) with the coefficients AHF and BHF of the term, rotates when
// `rotate` and stores the multipliers in st.lagrange (JOR, the orthogonality
// table, says which shell of a pair IROT = 2 takes the multiplier from).
// The orbitals must be normalised (MI(2) = 1); w the work slices for the
// open shell's number of partial waves.
std::vector<OpenPair> open_shell_step(const RunTables& t, const Shells& s, const ShellCoefficients& coef,
                                      const Coupling& c, UpdateState& st, const ShellWork& w, bool rotate);

}  // namespace scf

// Restricted open-shell Hartree–Fock: one open shell outside closed shells.
//
// The energy of a term of the configuration (closed shells)·(open shell)^q is
//   E = E_closed + q·h_o + q·Σ_k (2J_ko − K_ko) + α·J0 + β·K_2M,
// the sums over the closed orbitals k, J0 = J(φ_+M, φ_±M) the direct and
// K_2M = K(φ_+M, φ_−M) the exchange integral between the two orbitals ±M of
// the open shell (M > 0), α and β the term's coefficients:
//   σ¹ ²Σ, π¹/δ¹ ²Π/²Δ:  α = 0,  β = 0
//   π²/δ² ³Σ⁻:           α = 1,  β = −1
//   π² ¹Δ, δ² ¹Γ:        α = 1,  β = 0
//   π²/δ² ¹Σ⁺:           α = 1,  β = +1
//   π³/δ³ ²Π/²Δ:         α = 3,  β = −1
// (π⁴: α = 6, β = −2, the closed shell).  The open–closed part is the same
// for every term, so the closed shells see the open one through its average
// field; the open shell's own equation, from δE/δφ_o divided by 2q, is
//   [h + Σ_k (2J_k − K_k) + (2α/q)·J_o + (2β/q)·K_o′]φ_o = ε_o φ_o + …,
// K_o′ the exchange with the partner orbital −M.
#pragma once

#include <string>
#include <vector>

#include "lib/views.hpp"

namespace scf {

// The open shell of a run as the control file gives it: its number (0: all
// shells closed), its electrons and the term.
struct OpenShell {
  int shell = 0;
  int electrons = 0;
  std::string term;
};

// α and β of the open-shell energy for projection M, q electrons and the term
// written as multiplicity, Λ letter (S, P, D, G for Σ, Π, Δ, Γ), optional g/u,
// optional + or − ('3S-', '1D', '2P', '2Sg+').  Empty reason: the term exists;
// otherwise the reason it does not (or the terms that do).
struct TermEnergy {
  double alpha = 0.0, beta = 0.0;
  std::string reason;
};
TermEnergy term_energy(int M, int q, const std::string& term);

// Electrons of a full shell of projection M: 2 for σ, 4 otherwise.
inline int full_shell(int M) { return M == 0 ? 2 : 4; }

// The coefficients of the shell equations of a run with one open shell:
// AHF, BHF as the equations take them (the (−1)^M sign of the density
// products included) and PW, the weight of the exchange with the partner
// orbital −M_J of shell J in the equation of shell I (both M > 0), all
// NSH × NSH by columns (column I: the equation of shell I).  For closed
// shells PW = 1, which is what the equations have always added.
struct Coupling {
  int NSH = 0;
  OpenShell open;
  double alpha = 0.0, beta = 0.0;
  std::vector<double> AHF, BHF, PW;
  std::vector<double> q;  // electrons per shell
  double at(const std::vector<double>& m, int J, int I) const { return m[(I - 1) * NSH + (J - 1)]; }
};

// Builds the coupling of the shells MLN(3,NSH) with the open shell `o`
// (o.shell = 0: every shell closed).  Precondition: term_energy accepted the
// term for the open shell's M and electrons.
Coupling couple(lib::CIMat MLN, int NSH, const OpenShell& o);

// Checks an open-shell request against the shells: "" when it is sound,
// otherwise the reason (naming the variable).
std::string check_open_shell(lib::CIMat MLN, int NSH, const OpenShell& o);

}  // namespace scf

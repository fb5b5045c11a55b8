// Convergence acceleration of the self-consistent sweeps (the fast search's
// treatment of the orbitals between two sweeps): damping of the first
// sweeps, DIIS extrapolation (scf/diis.hpp), and the rotation of the
// orbitals of each symmetry to the eigenvectors of their operator.  The
// extrapolation is dropped, and the plain sweep taken, when the caller
// reports that the last extrapolated sweep moved the energies ten times more
// than the one before (the plain sweeps themselves do not fall
// monotonically).
#pragma once

#include <vector>

#include "scf/diis.hpp"

namespace scf {

struct Shells;
struct SweepContext;

// The orbitals of all shells as one vector.
std::vector<double> all_orbitals(const Shells& s);

// Damped sweep: the next start is x_in + beta·(x_out − x_in), x_out the
// present orbitals, each shell renormalised.
void damp_sweep(const SweepContext& c, const std::vector<double>& x_in, double beta);

// Records the sweep that started from x_in in `diis` and replaces the
// orbitals by its extrapolation, each shell renormalised; `misbehaved`: the
// last extrapolation made the energies move ten times more than the sweep
// before it, and the history is dropped instead.  Returns whether the
// orbitals were replaced.
bool accelerate_sweep(const SweepContext& c, const std::vector<double>& x_in, bool misbehaved, SweepDiis& diis);

// Rotates the orbitals of each symmetry among themselves to the
// eigenvectors of their operator (closed shells: one operator for all).
// Returns false, leaving that symmetry and the ones after it as they are,
// when a shell's orbital is still far from an eigenfunction of the
// operator (kRoughSweep): the sweeps are then too rough to accelerate.
bool canonicalise(const SweepContext& c);

// An orbital whose eigenvalue in its symmetry's operator differs from its
// solve's energy by more than this fraction of that energy is not near
// self-consistency.  Near it they agree to 1e-6; in the first rotations of
// N2 and CO they differ by at most 6% and 19% (CO's 5σ).  AlF's 7σ differed
// by 33% in its first sweep below a hartree and by 70–140% later; rotated
// there, with the eigenvalue (up to +0.2 hartree) as the start of its next
// search, the shell fell to a diffuse solution 0.5 hartree above the ground
// state.
inline constexpr double kRoughSweep = 0.25;

}  // namespace scf

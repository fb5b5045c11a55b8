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
void canonicalise(const SweepContext& c);

}  // namespace scf

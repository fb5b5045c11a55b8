// The public limits of the continuum program: what a ground-state shell and
// a continuum function may hold for chanfile (what a front end checks a run
// against).
#pragma once

namespace chan {

// Largest number of partial waves of one function this program handles.
inline constexpr int kMaxWaves = 24;
// Most energies (momenta, function groups) of one channel file.
inline constexpr int kMaxEnergies = 449;

}  // namespace chan

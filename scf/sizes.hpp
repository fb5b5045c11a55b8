// The public sizes and limits of the ground-state program: its workspace,
// its fixed storage, and the words a run of given grid and shells takes
// (what a front end checks a run against).
#pragma once

#include <array>

namespace scf {

struct ControlGroup;

// Size of the workspace in double words; a larger demand gets a workspace
// of its own, up to NUVM words (group D00; by default kNUVM, 1.6 GB).
inline constexpr long kNUV = 3'500'000;
inline constexpr int kNUVM = 200'000'000;

// Fixed storage of the ground-state program.
inline constexpr int kMaxShells = 16;
inline constexpr int kInnerTable = 50;  // AA, BB, UU, VV

// The partial waves of a shell have no fixed ceiling: the inner system
// (NA·n)², the work vector of a fixed-energy solve and the η² matrices are
// sized from the largest shell of the input, and the run is refused where
// they and the workspace would pass NUVM words.
// Words of the inner system CX and of the work vector WC for shells of at
// most n partial waves.
long inner_system_words(int NA, int n);
long inner_work_words(int NA, int n);

// Start words K(1) … K(8) of the seven workspace slices (K(8) is the first
// word after them) for NB grid points, NKS partial-wave columns and at most
// KMA partial waves per shell.  Slice 7 holds the multipole potentials of a
// shell, n + 2 columns, so it gets max(2·KMA, KMA + 2) columns.
std::array<long, 8> partition(int NB, int NKS, int KMA);

// The most words one of the run's demands takes (its workspace for NB points,
// or the inner system and work arrays of its largest shell): the least NUVM
// that check_limits accepts for the grid and shells of d.
long words_needed(const ControlGroup& d);

}  // namespace scf

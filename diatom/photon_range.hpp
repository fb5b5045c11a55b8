// The photon energies of a diatom run as the momentum grids of its channels:
// the grid an ionised shell gets above its threshold, and the limits it must
// keep — the energies a channel file holds and the momenta the radial grid
// carries.  The limits are checked before the ground state runs with the
// deepest threshold the nuclei allow, and exactly once the thresholds are
// known; a refusal names the variable the user wrote (EMAX, DK or NK) and
// what would fit.
#pragma once

#include <string>

#include "diatom/mol_group.hpp"

namespace diatom {

// The momenta k = P0 + (j − 1)·DP, j = 1 … NC (1/bohr), of a shell's channels.
struct MomentumGrid {
  int NC = 0;
  double P0 = 0, DP = 0;
};

// Where a grid lies: the threshold I (hartree) of the ionised shell, and its
// name in messages ("shell '3sg' (threshold 15.581 eV)").
struct Threshold {
  double I = 0;
  std::string what;
};

// The photon energy (eV) of the continuum's top: ETOP when it lies above
// EMAX, else EMAX.  The RPA's energy integrals (principal values over each
// open channel's continuum) end there, so the top is set apart from the
// photon range the results are wanted for; each energy of Hartree–Fock
// stands alone.  `top_variable` names the variable a refusal of the grid
// names: ETOP when the user gave it, else EMAX.
double continuum_top(const MOL& mol);
std::string top_variable(const MOL& mol);

// With RPA = 1 and no ETOP given, diatom's top lies kTopMargin (eV) above
// EMAX: N2's valence RPA at 20–60 eV (nine channels, DK = 0.1) then lies
// within 0.3% of a top of 305 eV in every shell and 0.12% in the total
// (1% and 0.45% with a margin of 85 eV, 2.5% and 1.1% with 45), CO's within
// 0.18% of a top of 305 eV above 16.5 eV, H2's within 0.08% of a top of
// 400 eV; the continua cost 1.5 times those of a margin
// of 45 eV.  That top goes no higher than the radial grid carries and a
// channel file holds (`top_chosen`: the top is diatom's, capped, never a
// refusal).
inline constexpr double kTopMargin = 150.0;
bool top_chosen(const MOL& mol);
double chosen_top(const MOL& mol);

// The deepest threshold any orbital of nuclei Z1, Z2 can have (hartree):
// (Z1 + Z2)²/2, the 1s of the united atom without screening.  The
// electrons' field is repulsive, so no orbital lies deeper; above it the
// photon range gives at least the momenta it gives there.
double deepest_threshold(double Z1, double Z2);

// The grid of photon energies EMIN … the continuum's top (eV) above threshold t in steps of
// DK, or in NK momenta: from k = √(2(EMIN − I)), or from min(DK, 0.05) when
// EMIN lies below the threshold, an odd count of at least 3 (Simpson's rule
// over the momenta), P0 and DP to the six decimals of the channel files.
// Stops, naming the control file `file` and the variable, when the highest
// momentum lies beyond `k_carried` (what the radial grid carries) or the
// grid needs more momenta than a channel file holds.
MomentumGrid momentum_grid(const MOL& mol, const Threshold& t, double k_carried, const std::string& file);

// Before the ground state: the checks of momentum_grid at the deepest
// threshold the nuclei allow (where the range gives the fewest momenta and
// the lowest top), when EMAX lies above it; NK alone when it does not.
void check_photon_range(const MOL& mol, double Z1, double Z2, double k_carried, const std::string& file);

}  // namespace diatom

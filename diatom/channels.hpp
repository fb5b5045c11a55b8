// The channels of a diatom run's photoionisation: the dipole-allowed final
// symmetries of the ionised shells, their momentum grids, and the weights
// that turn the listed channel values into partial and total cross sections.
#pragma once

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "chan/ion_coupling.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

inline constexpr double kHartreeEV = 27.211386;

// One channel: shell `shell` (index into Molecule::shells) to final projection M.
struct Channel {
  int shell = 0;
  int M = 0;          // final projection M ≥ 0
  char parity = 0;    // final parity (equal nuclei), else 0
  double weight = 1;  // factor from the listed value to its share of the shell's cross section
  int NC = 0;         // momenta k = P0 + (j − 1)·DP
  double P0 = 0, DP = 0;
  // Photon energy (eV) where the results end: EMAX, or the shell's range of
  // a vibronic scan.  The grid runs on to the continuum's top (ETOP).
  double results_end = std::numeric_limits<double>::infinity();
  double threshold = 0;  // the shell's ionisation energy (hartree), once the grid is laid
  std::string tag;  // folder and file stem: c01, c02, ...
  // The ionic state the channel adds to (index into ionic_states), and,
  // for a hole that leaves several terms, the term, the arrangement's ion
  // projection (named to the continuum program when the term has several)
  // and the term in print ("4Sg-", "⁴Σg⁻").
  int state = 0;
  chan::IonTerm term;
  int ion_projection = 0;
  bool name_projection = false;
  std::string term_text, term_pretty;
  // How the channel enters its state's β (xsect's IMR): a σ hole meets a
  // term in two mirror-image arrangements, and one initial component's
  // waves are the first's and the mirror image of the second's m > 0
  // channel (1), its m = 0 channel the first's again (−1, left out).
  int beta_mirror = 0;
  // "3sg -> k sigma_u" (plain) and "3σg → kσu" (for plots).
  std::string label(const Molecule& m) const;
  std::string pretty(const Molecule& m) const;
  // The ionic state in print: "3σg" or "3σg⁻¹ ⁴Σg⁻".
  std::string state_pretty(const Molecule& m) const;
};

// The final projections M′ ≥ 0 a dipole reaches from projection M: M − 1 (when ≥ 0), M, M + 1.
std::vector<int> final_projections(int M);

// Listed value → cross section: a σ shell's final M = 0 counts once, M > 0
// twice (±M); every channel of a shell with M > 0 (four electrons, the
// listing counts two) twice; a one-electron target half of that, an open
// shell of q electrons in N places q/N of it.
double channel_weight(const Shell& s, int final_M, bool one_electron);

// The channels of the ionised shells without their grids: shell, final
// symmetry, weight and tag (c01, c02, … in the order of ION), for a hole
// with terms one set per term and arrangement, weighted by its share;
// stops naming ION when they are more than xsect takes (photo::kMaxChannels).
std::vector<Channel> dipole_channels(const Molecule& m, const std::string& file);

// Whether a hole of the run leaves several ionic terms: results, β and the
// plot are then per ionic state.
bool has_ionic_terms(const std::vector<Channel>& ch);

// The channels of the ionised shells, with the momentum grid of each shell:
// photon energies EMIN … EMAX (eV) above the shell's threshold −ε
// (momentum_grid); stops naming the shell and the values when EMAX lies
// below that threshold, and naming EMAX, DK or NK when the grid reaches
// past `k_carried` (what the radial grid carries) or holds more momenta
// than a channel file.
// `photon_ranges`, when given, replaces EMIN … EMAX for each ionised shell
// (in the order of ION).
std::vector<Channel> plan_channels(const Molecule& m, const MOL& mol, const std::vector<double>& energies,
                                   const std::string& file, double k_carried = std::numeric_limits<double>::infinity(),
                                   const std::vector<std::pair<double, double>>& photon_ranges = {});

}  // namespace diatom

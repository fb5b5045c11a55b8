// Vibrationally resolved photoionisation in the adiabatic-nuclei picture:
// the outgoing partial-wave amplitudes of each distance (xsect's table of
// waves) summed coherently over the bond length between the molecule's
// v = 0 and each level v′ of the ion,
//   F̄_K(v′) = ∫ χ_v′(R) F_K(R; ε_v′) χ_0(R) dR,
// at the photoelectron energy ε_v′ = ω − I_v′ of the vibronic threshold;
// σ(v′) and β(v′) follow from F̄ as the fixed-distance ones from F.
#pragma once

#include <string>
#include <vector>

#include "diatom/vibration.hpp"
#include "lib/views.hpp"
#include "photo/beta.hpp"

namespace diatom {

// One momentum node of a shell in xsect's table of waves: the photoelectron's
// and the photon's energy (hartree), the shell's σ (Mb) and the waves of
// each channel (length and velocity form).
struct WaveNode {
  double E = 0, omega = 0, sigmaL = 0, sigmaV = 0;
  int mi = 0;
  std::vector<photo::PartialWaves> L, V;
};

// The nodes of one shell (its number in the ground-state group) by one
// method, ascending in E.
struct ShellWaveNodes {
  int shell = 0;
  bool rpa = false;
  std::vector<WaveNode> nodes;
};

// The table of waves `text` (file `name`); stops naming the file and the
// line where a line is not one of the table's.
std::vector<ShellWaveNodes> read_wave_table(const std::string& text, const std::string& name);

// One ionic state by one method over the distances that have its waves.
struct VibronicInput {
  std::vector<double> R;                     // bohr, increasing (at least 4)
  std::vector<const ShellWaveNodes*> waves;  // the shell's nodes at each distance
  std::vector<double> koopmans;              // −ε of the hole at each distance (hartree)
  const VibrationalStates* molecule = nullptr;
  const VibrationalStates* ion = nullptr;
  VibrationGrid grid;         // the grid of both
  std::vector<double> fc;     // Franck–Condon factors v = 0 → v′ (one per level of `ion`)
  double re = 0;              // the molecule's equilibrium distance (bohr)
  std::vector<double> omega;  // photon energies (hartree)
  int levels = 0;             // v′ = 0 … levels − 1
};

// σ (Mb) and β of each v′ at one photon energy (NaN where a vibronic
// threshold lies above it or the waves do not reach its photoelectron
// energy at every distance), and the cross section averaged over the
// molecule's v = 0 at the vertical photoelectron energy (closure: the sum
// over all v′ of σ(v′)).
struct VibronicRow {
  double omega = 0;
  std::vector<double> sigmaL, sigmaV, betaL, betaV;
  double averageL = 0, averageV = 0;
};

struct VibronicResult {
  std::vector<double> threshold;  // I_v′ (hartree)
  std::vector<VibronicRow> rows;
  std::vector<std::string> notes;
};

// The vibronic thresholds are I_v′ = I(re) + E′_v′ − Ē′: Koopmans' vertical
// ionisation energy at re, which the fixed-distance cross sections use,
// spread by the ion's levels E′_v′ about their Franck–Condon mean Ē′.  The
// sign of each distance's amplitudes (the bound orbital's, which each
// ground-state run fixes on its own) is chosen to continue that of the
// distance before.  F holds the factorials.
VibronicResult vibronic_cross_sections(const VibronicInput& in, lib::Fac F);

}  // namespace diatom

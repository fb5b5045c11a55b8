// Molecular-frame photoelectron angular distributions (MFPAD): dσ/dΩ of the
// photoelectrons of one shell of a molecule fixed in space, for light
// linearly polarised at the angle χ from the molecular axis.
//
// Frame: z along the molecular axis, from the bond midpoint towards
// nucleus 1 (η = +1 of the spheroidal coordinates); the polarisation
// ê = (sin χ, 0, cos χ) lies in the xz plane; the electron leaves in the
// direction (θ, φ), θ from +z, φ from the xz plane (φ = 0 on the side of ê
// for 0 < χ < 180°).
//
// With the outgoing-wave amplitudes F_K of the channels (beta.hpp; far out
// G⁺·d_μ·φ_i ∝ e^{iθ}/r·Σ_K F_K·Y(L_K, m)), the photoelectron amplitude of
// the direction k̂ is
//   T(k̂) = Σ_waves conj(e_μ)·Σ_K F_K·Y(L_K, m)(k̂),
//   e_0 = cos χ, e_{±1} = ∓sin χ/√2 (ê·r = Σ_μ conj(e_μ)·r_μ),
// the waves of a σ orbital with their mirror images m → −m; an orbital with
// m_i ≠ 0 has the partner −m_i, whose distribution is the reflection φ → −φ
// of that of +m_i (both ê and the molecule are symmetric under y → −y).  Then
//   dσ/dΩ = 3·5.378 Mb·ω·Σ_orbitals |T|²  (length; velocity: /ω instead of ·ω),
// counted like the listing (two electrons in each orbital, 5.378 Mb =
// (2/3)·4π²α·a0²): its integral over directions is σ(χ) of that
// orientation, and its average over orientations is (σ/4π)·(1 + β·P2)
// with the σ and β of the shell.
#pragma once

#include <string>
#include <vector>

#include "io/unit.hpp"
#include "photo/beta.hpp"
#include "photo/beta_table.hpp"

namespace photo {

// Σ_orbitals |T(θ, φ)|² of the channel waves of the orbital m_i (without
// mirror images; they are added here), polarisation at χ (radians).
double mfpad_density(int mi, const std::vector<PartialWaves>& waves, double chi, double theta, double phi);
// Its integral over directions, Σ_orbitals Σ_μ |e_μ|²·Σ_K |F_K|².
double mfpad_norm(int mi, const std::vector<PartialWaves>& waves, double chi);

// The directions of the table: θ = 0, 5, …, 180° and φ = 0, 15, …, 345°.
inline constexpr int kMfpadThetas = 37, kMfpadPhis = 24;
inline constexpr double kMfpadThetaStep = 5.0, kMfpadPhiStep = 15.0;  // degrees

// The table's file name: the listing's with ".mfpad".
std::string mfpad_table_name(const std::string& listing);

// One distribution: method, shell, photon energy (hartree), polarisation
// angle (degrees), the momentum nodes it is interpolated between (linearly
// in the photon energy; lower = upper at a node), σ(χ) and dσ/dΩ (Mb, Mb/sr)
// on the directions, φ by φ (index (φ, θ) → φ·kMfpadThetas + θ).
struct MfpadBlock {
  bool rpa = false;
  int shell = 0;
  double omega = 0.0, chi = 0.0;
  double lower = 0.0, upper = 0.0, weight = 0.0;  // photon energies of the nodes, weight of the upper
  double sigmaL = 0.0, sigmaV = 0.0;
  std::vector<double> L, V;
};

// The distributions of every ionised shell at the photon energies `omega`
// (hartree) and polarisation angles `chi` (degrees), HF and, with `rpa`,
// RPA; a request a shell cannot answer (outside its energies, or no waves
// there) gives a note instead of a block.
struct MfpadTable {
  std::vector<MfpadBlock> blocks;
  std::vector<std::string> notes;
  void compute(const BetaTable& t, const std::vector<double>& omega, const std::vector<double>& chi, bool rpa);
};

// The plain table: a head with the conventions, then per block a head (method,
// shell, photon energy, polarisation, nodes, σ of the orientation) and rows
// θ (deg), φ (deg), dσ/dΩ length and velocity (Mb/sr), a blank line after each
// φ, blocks separated by two blank lines.
void write_mfpad_table(io::Unit& u, const MfpadTable& t);

}  // namespace photo

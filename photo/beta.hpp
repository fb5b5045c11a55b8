// Photoelectron angular distributions of randomly oriented linear molecules:
// the asymmetry parameter β of dσ/dΩ = (σ/4π)·[1 + β·P2(cos θ)], θ measured
// from the polarisation of the light.
//
// The chain of the computation:
//  1. A channel file gives at each energy NL real standing-wave solutions ψ_j,
//     energy-normalised, with far-out partial waves
//       X_jK → sqrt(2/(πk))/r·[AS_jK·sin θ + AC_jK·cos θ],  θ = kr + (Z/k)·ln 2kr,
//     in the spherical harmonics Y(L_K, M) of the angle about the midpoint.
//     The phase −L·π/2 + σ_L of each partial wave, the Coulomb phase of the
//     ion's charge, and the phase δ_j of each eigenchannel are all held in
//     AS and AC: for an eigenchannel AS_jK + i·AC_jK = c_jK·e^{i(δ_j + σ_K − L_K·π/2)}.
//  2. The photoelectron wave that the dipole d produces from the orbital φ is
//     G⁺(E)·d·φ = Σ_j ∫dE' ψ_j(E')·D_j(E')/(E − E' + i0), D_j = ⟨ψ_j|d|φ⟩
//     (the RPA's dressed D_j are complex).  Far out only the energy shell
//     survives: −π·sqrt(2/(πk))·e^{iθ}/r·Σ_K F_K·Y(L_K, M) with
//       F_K = Σ_j D_j·(AS_jK + i·AC_jK).
//     For an eigenchannel this is e^{iσ_K}·(−i)^{L_K}·Σ_j c_jK·e^{iδ_j}·D_j: the
//     amplitude of the incoming-wave solution ψ⁻ = e^{−iδ_j}ψ_j, carried to
//     spherical partial waves with their Coulomb phase.  It needs only that
//     the solutions are orthonormal on the energy shell,
//     Σ_K (AS_iK·AS_jK + AC_iK·AC_jK) = δ_ij, with Σ_K (AS_iK·AC_jK − AC_iK·AS_jK) = 0
//     (a symmetric K matrix); then Σ_K |F_K|² = Σ_j |D_j|².
//  3. With I(L, m, μ) the amplitude of Y(L, m) for the spherical component μ
//     of the dipole (m = m_i + μ), the average over orientations gives
//       β = √30·(−1)^{m_i}·Σ √((2L+1)(2L'+1))·(L L' 2; 0 0 0)·(1 1 2; −μ μ' μ−μ')
//           ·(L L' 2; m −m' μ'−μ)·I(L,m,μ)·conj(I(L',m',μ')) / Σ |I|².
//     A σ orbital (m_i = 0) reaches m = −μ as the mirror image of m = μ:
//     I(L, −m, −μ) = (−1)^{m+μ}·I(L, m, μ).  For m_i ≠ 0 the orbital −m_i gives
//     the mirror image of the distribution of +m_i and the same β.
#pragma once

#include <complex>
#include <vector>

#include "lib/views.hpp"

namespace photo {

using Complex = std::complex<double>;

// Largest |S − 1| and |W| of the flux overlaps S_ij = Σ_K (AS_iK·AS_jK + AC_iK·AC_jK)
// and the Wronskians W_ij = Σ_K (AS_iK·AC_jK − AC_iK·AS_jK) of the NL solutions
// of one energy block; AS(K, j), AC(K, j) are NX × NL.  Empty solutions (all
// amplitudes zero: channels still closed) are left out.
double flux_deviation(int NL, int NX, lib::CMat AS, lib::CMat AC);

// F(K) = Σ_j D(j)·(AS(K, j) + i·AC(K, j)), K = 1 … NX.
void outgoing_amplitudes(int NL, int NX, lib::CMat AS, lib::CMat AC, const Complex* D, Complex* F);

// The outgoing-wave amplitudes of one final projection m reached by the
// dipole component μ: F[K−1] is the coefficient of Y(L0 + (K−1)·step, m).
struct PartialWaves {
  int m = 0, mu = 0, L0 = 0, step = 1;
  std::vector<Complex> F;
};

// The set with the mirror images a σ orbital adds: for m_i = 0, every m ≠ 0
// also as −m (component −μ) with I(L, −m, −μ) = (−1)^{m+μ}·I(L, m, μ).
std::vector<PartialWaves> with_mirror_images(int mi, const std::vector<PartialWaves>& waves);
// The mirror image of one set of waves from a σ orbital: −m, −μ, (−1)^{m+μ}.
PartialWaves mirror_image(const PartialWaves& w);

// β of the orientation-averaged distribution of the waves from the orbital
// of projection mi, and the norm Σ|I|²; β is NaN when the norm vanishes.
// F must hold the factorials up to (2·Lmax + 3)!.
struct Asymmetry {
  double beta = 0.0;
  double norm = 0.0;
};
Asymmetry asymmetry(int mi, const std::vector<PartialWaves>& waves, lib::Fac F);

}  // namespace photo

// Molecular-frame angular distributions against what they must integrate
// and average to: over the electron's directions the cross section of the
// orientation, over the orientations of the molecule the distribution
// (σ/4π)·(1 + β·P2) of the asymmetry parameter's 3j formula.
#include "photo/mfpad.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "support/legendre.hpp"

namespace {

using photo::Complex;
using photo::PartialWaves;

std::vector<double> factorials() {
  std::vector<double> f(81, 1.0);
  for (int n = 1; n <= 80; ++n) f[static_cast<size_t>(n)] = f[static_cast<size_t>(n - 1)] * n;
  return f;
}

// ∫ density dΩ by Gauss–Legendre in cos θ and the trapezoid in φ.
double over_directions(int mi, const std::vector<PartialWaves>& w, double chi) {
  const ref::Rule r = ref::gauss_legendre(24);
  const int nphi = 48;
  double s = 0.0;
  for (size_t a = 0; a < r.x.size(); ++a) {
    for (int p = 0; p < nphi; ++p)
      s += r.w[a] * (2.0 * M_PI / nphi) * photo::mfpad_density(mi, w, chi, std::acos(r.x[a]), 2.0 * M_PI * p / nphi);
  }
  return s;
}

// The density at angle γ from the polarisation, averaged over the
// orientations of the molecule: ê at χ from the axis (all azimuths are the
// same by the symmetry about the axis) and the electron on the cone of
// half-angle γ about ê, k̂ = cos γ·ê + sin γ·(cos ψ·û + sin ψ·ŷ).
double over_orientations(int mi, const std::vector<PartialWaves>& w, double gamma) {
  const ref::Rule r = ref::gauss_legendre(24);  // in χ itself: the integrand is smooth in χ
  const int npsi = 32;
  double s = 0.0;
  for (size_t a = 0; a < r.x.size(); ++a) {
    const double chi = 0.5 * M_PI * (r.x[a] + 1.0), sc = std::sin(chi), cc = std::cos(chi);
    for (int p = 0; p < npsi; ++p) {
      const double psi = 2.0 * M_PI * p / npsi;
      const double k[3] = {std::cos(gamma) * sc + std::sin(gamma) * std::cos(psi) * cc, std::sin(gamma) * std::sin(psi),
                           std::cos(gamma) * cc - std::sin(gamma) * std::cos(psi) * sc};
      const double theta = std::acos(std::clamp(k[2], -1.0, 1.0)), phi = std::atan2(k[1], k[0]);
      s += 0.25 * M_PI * r.w[a] * sc * photo::mfpad_density(mi, w, chi, theta, phi) / npsi;
    }
  }
  return s;
}

// σ orbitals (mirror images of m ≠ 0 added inside), π and δ orbitals (the
// partner −m_i), one and two centres of charge, random amplitudes: the
// density integrates to the norm of the orientation, which for ê along and
// across the axis is the fixed-in-space part Σ|F|² of μ = 0 and of μ = ±1;
// over orientations it is (N/4π)·(1 + β·P2) with N the average of the norm.
TEST(MolecularFrame, IntegratesToTheOrientationsCrossSectionAndAveragesToBeta) {
  struct Case {
    const char* name;
    int mi;
    std::vector<std::array<int, 5>> waves;  // m, μ, L0, step, count
  };
  const std::vector<Case> cases = {
      {"sigma orbital, M = 0 and 1, step 1", 0, {{0, 0, 0, 1, 4}, {1, 1, 1, 1, 4}}},
      {"sigma orbital, step 2", 0, {{0, 0, 1, 2, 3}, {1, 1, 1, 2, 3}}},
      {"pi orbital, M = 0, 1, 2", 1, {{0, -1, 0, 2, 3}, {1, 0, 1, 2, 3}, {2, 1, 2, 2, 3}}},
      {"delta orbital, M = 1, 2, 3", 2, {{1, -1, 1, 1, 3}, {2, 0, 2, 1, 3}, {3, 1, 3, 1, 3}}},
  };
  const std::vector<double> f = factorials();
  const lib::Fac F(f.data(), 81);
  std::mt19937 gen(11);
  std::normal_distribution<double> d;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PartialWaves> waves;
    double along = 0.0, across = 0.0;
    for (const auto& w : c.waves) {
      PartialWaves p{w[0], w[1], w[2], w[3], {}};
      for (int k = 0; k < w[4]; ++k) p.F.emplace_back(d(gen), d(gen));
      for (const Complex& x : p.F) (w[1] == 0 ? along : across) += std::norm(x);
      waves.push_back(p);
    }
    // Both orbitals ±m_i of a shell with m_i ≠ 0; the mirror image of a σ
    // orbital's m ≠ 0 counts in its own orbital.
    const double orbitals = c.mi != 0 ? 2.0 : 1.0, mirror = c.mi == 0 ? 2.0 : 1.0;
    EXPECT_NEAR(photo::mfpad_norm(c.mi, waves, 0.0), orbitals * along, 1e-12 * along);
    EXPECT_NEAR(photo::mfpad_norm(c.mi, waves, M_PI / 2), orbitals * mirror * across / 2, 1e-12 * across);
    for (double chi : {0.0, 0.6, M_PI / 2, 2.2}) {
      const double n = photo::mfpad_norm(c.mi, waves, chi);
      EXPECT_NEAR(over_directions(c.mi, waves, chi), n, 1e-10 * n) << "chi = " << chi;
      // ê and the shell are symmetric under the reflection y → −y (φ → −φ);
      // one orbital of a π or δ shell alone is not.
      const double D = photo::mfpad_density(c.mi, waves, chi, 1.1, 0.7);
      EXPECT_NEAR(photo::mfpad_density(c.mi, waves, chi, 1.1, -0.7), D, 1e-12 * D) << "chi = " << chi;
    }
    const photo::Asymmetry a = photo::asymmetry(c.mi, photo::with_mirror_images(c.mi, waves), F);
    const double mean = orbitals * a.norm / 3.0 / (4.0 * M_PI);
    for (double gamma : {0.0, 0.5, M_PI / 2, 2.0}) {
      const double P2 = 1.5 * std::cos(gamma) * std::cos(gamma) - 0.5;
      EXPECT_NEAR(over_orientations(c.mi, waves, gamma), mean * (1.0 + a.beta * P2), 1e-10 * mean)
          << "gamma = " << gamma;
    }
  }
}

}  // namespace

// Photoelectron asymmetry parameters: the 3j formula against a direct
// average over orientations, the outgoing-wave amplitudes of standing-wave
// blocks, and the programs on hydrogen (β = 2 whatever the origin of the
// partial waves) and H2+.
#include "photo/beta.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "photo/beta_table.hpp"
#include "support/legendre.hpp"
#include "support/programs.hpp"

namespace {

using photo::Complex;
using photo::PartialWaves;

std::vector<double> factorials() {
  std::vector<double> f(81, 1.0);
  for (int n = 1; n <= 80; ++n) f[static_cast<size_t>(n)] = f[static_cast<size_t>(n - 1)] * n;
  return f;
}

// Y(l, m) with the Condon–Shortley phase, from the standard library.
Complex Ylm(int l, int m, double theta, double phi) {
  const int am = std::abs(m);
  Complex y = std::sph_legendre(l, am, theta) * std::exp(Complex(0.0, am * phi));
  if (m < 0) y = ((am % 2) ? -1.0 : 1.0) * std::conj(y);
  return y;
}

// Gauss–Legendre nodes and weights on [−1, 1] (the library tests' rule).
void gauss_legendre(int n, std::vector<double>& x, std::vector<double>& w) {
  const ref::Rule r = ref::gauss_legendre(n);
  x = r.x;
  w = r.w;
}

// Intensity of photoelectrons leaving at angle θ from the polarisation,
// averaged over all orientations of the molecule by quadrature:
// the polarisation ê and the direction n̂ are carried into the molecular
// frame, and the amplitude is Σ_μ conj(e_μ)·Σ I(L, m, μ)·Y(L, m)(n̂).
double orientation_average(const std::vector<PartialWaves>& waves, double theta) {
  std::vector<double> x, w;
  gauss_legendre(24, x, w);
  const int na = 32;
  const double lab_n[3] = {std::sin(theta), 0.0, std::cos(theta)};
  double sum = 0.0;
  for (size_t ib = 0; ib < x.size(); ++ib) {
    const double cb = x[ib], sb = std::sqrt(1.0 - cb * cb);
    for (int ia = 0; ia < na; ++ia) {
      const double a = 2.0 * M_PI * ia / na;
      for (int ig = 0; ig < na; ++ig) {
        const double g = 2.0 * M_PI * ig / na;
        // Rotation Rz(a)·Ry(b)·Rz(g) applied to lab vectors.
        auto rotate = [&](const double v[3], double out[3]) {
          const double x1 = std::cos(g) * v[0] - std::sin(g) * v[1], y1 = std::sin(g) * v[0] + std::cos(g) * v[1];
          const double z1 = v[2];
          const double x2 = cb * x1 + sb * z1, z2 = -sb * x1 + cb * z1;
          out[0] = std::cos(a) * x2 - std::sin(a) * y1;
          out[1] = std::sin(a) * x2 + std::cos(a) * y1;
          out[2] = z2;
        };
        const double ez[3] = {0.0, 0.0, 1.0};
        double e[3], n[3];
        rotate(ez, e);
        rotate(lab_n, n);
        const Complex e0 = e[2], ep = -Complex(e[0], e[1]) / std::sqrt(2.0), em = Complex(e[0], -e[1]) / std::sqrt(2.0);
        const double nt = std::acos(std::max(-1.0, std::min(1.0, n[2]))), np = std::atan2(n[1], n[0]);
        Complex f = 0.0;
        for (const PartialWaves& pw : waves) {
          const Complex e_mu = pw.mu == 0 ? e0 : (pw.mu == 1 ? ep : em);
          Complex A = 0.0;
          for (size_t k = 0; k < pw.F.size(); ++k)
            A += pw.F[k] * Ylm(pw.L0 + static_cast<int>(k) * pw.step, pw.m, nt, np);
          f += std::conj(e_mu) * A;
        }
        sum += w[ib] * std::norm(f);
      }
    }
  }
  return sum / (2.0 * na * na);
}

std::vector<Complex> random_amplitudes(std::mt19937& gen, int n) {
  std::normal_distribution<double> d;
  std::vector<Complex> F;
  for (int k = 0; k < n; ++k) F.emplace_back(d(gen), d(gen));
  return F;
}

// The 3j formula against the direct average, for σ orbitals (with the mirror
// images of m ≠ 0), π and δ orbitals, one and two centres of charge
// (partial-wave steps 1 and 2), and single components; the average over
// directions is Σ|I|²/(12π), the orientation average of one third.
TEST(AsymmetryFormula, AgreesWithTheAverageOverOrientationsByQuadrature) {
  struct Case {
    const char* name;
    int mi;
    std::vector<std::array<int, 5>> waves;  // m, μ, L0, step, count
  };
  const std::vector<Case> cases = {
      {"sigma orbital, M = 0 and 1, step 1", 0, {{0, 0, 0, 1, 4}, {1, 1, 1, 1, 4}}},
      {"sigma orbital, step 2", 0, {{0, 0, 1, 2, 3}, {1, 1, 1, 2, 3}}},
      {"sigma orbital, M = 0 only", 0, {{0, 0, 1, 2, 3}}},
      {"pi orbital, M = 0, 1, 2", 1, {{0, -1, 0, 2, 3}, {1, 0, 1, 2, 3}, {2, 1, 2, 2, 3}}},
      {"pi orbital, M = 2 only", 1, {{2, 1, 2, 1, 4}}},
      {"delta orbital, M = 1, 2, 3", 2, {{1, -1, 1, 1, 3}, {2, 0, 2, 1, 3}, {3, 1, 3, 1, 3}}},
  };
  const std::vector<double> f = factorials();
  const lib::Fac F(f.data(), 81);
  std::mt19937 gen(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PartialWaves> waves;
    for (const auto& w : c.waves) waves.push_back({w[0], w[1], w[2], w[3], random_amplitudes(gen, w[4])});
    const std::vector<PartialWaves> all = photo::with_mirror_images(c.mi, waves);
    const photo::Asymmetry a = photo::asymmetry(c.mi, all, F);
    const double I0 = orientation_average(all, 0.0), I90 = orientation_average(all, M_PI / 2);
    const double I45 = orientation_average(all, M_PI / 4);
    const double mean = (I0 + 2.0 * I90) / 3.0;
    EXPECT_NEAR(2.0 * (I0 - I90) / (I0 + 2.0 * I90), a.beta, 1e-10);
    EXPECT_NEAR(mean * (1.0 + a.beta * 0.25), I45, 1e-10 * mean);  // P2(cos 45°) = 1/4: no higher Legendre terms
    EXPECT_NEAR(mean, a.norm / (12.0 * M_PI), 1e-10 * mean);
  }
}

// Closed forms: an s electron (p waves from every component) gives β = 2,
// the μ = 0 part alone 0.8, the μ = ±1 part 1.4; a p electron (m = 1)
// ionised into an s wave only gives 0; no amplitude, no β.
TEST(AsymmetryFormula, ClosedFormsOfAtomicShells) {
  const std::vector<double> f = factorials();
  const lib::Fac F(f.data(), 81);
  auto beta = [&](int mi, std::vector<PartialWaves> w) {
    return photo::asymmetry(mi, photo::with_mirror_images(mi, w), F).beta;
  };
  const std::vector<Complex> one{1.0};
  EXPECT_NEAR(beta(0, {{0, 0, 1, 1, one}, {1, 1, 1, 1, one}}), 2.0, 1e-13);
  EXPECT_NEAR(beta(0, {{0, 0, 1, 1, one}}), 0.8, 1e-13);
  EXPECT_NEAR(beta(0, {{1, 1, 1, 1, one}}), 1.4, 1e-13);
  // p orbital m = 1 into s: only μ = −1 reaches m = 0, L = 0.
  EXPECT_NEAR(beta(1, {{0, -1, 0, 1, one}}), 0.0, 1e-13);
  EXPECT_TRUE(std::isnan(beta(0, {{0, 0, 1, 1, {0.0}}})));
}

// Blocks of standing waves: the eigenchannel form and a diagonal K matrix are
// orthonormal on the energy shell, and then Σ|F|² = Σ|D|²; a block of
// K-matrix solutions sin + K·cos with K not diagonal is not.
TEST(OutgoingAmplitudes, OrthonormalBlocksKeepTheNormOthersAreRefused) {
  const int n = 3;
  // An orthogonal c (rotation), eigenphases δ_j and partial-wave phases φ_K.
  const double t = 0.4, u = 1.1;
  const double c[3][3] = {{std::cos(t), std::sin(t), 0.0},
                          {-std::sin(t) * std::cos(u), std::cos(t) * std::cos(u), std::sin(u)},
                          {std::sin(t) * std::sin(u), -std::cos(t) * std::sin(u), std::cos(u)}};
  const double delta[3] = {0.3, -1.2, 2.0}, phi[3] = {0.1, -0.7, 1.9};
  struct Block {
    const char* name;
    std::vector<double> AS, AC;  // (K, j), column-major
    bool orthonormal;
  };
  std::vector<Block> blocks(4);
  blocks[0].name = "eigenchannel form";
  blocks[1].name = "diagonal K";
  blocks[2].name = "K matrix not diagonal";
  blocks[3].name = "eigenchannels with an empty third solution (closed channel)";
  const double K[3][3] = {{0.5, 0.2, 0.0}, {0.2, -0.3, 0.1}, {0.0, 0.1, 0.8}};
  for (int j = 0; j < n; ++j) {
    double norm = 0.0;
    for (int k = 0; k < n; ++k) norm += (k == j ? 1.0 : 0.0) + K[j][k] * K[j][k];
    for (int k = 0; k < n; ++k) {
      blocks[0].AS.push_back(c[j][k] * std::cos(delta[j] + phi[k]));
      blocks[0].AC.push_back(c[j][k] * std::sin(delta[j] + phi[k]));
      blocks[1].AS.push_back(k == j ? std::cos(delta[j]) : 0.0);
      blocks[1].AC.push_back(k == j ? std::sin(delta[j]) : 0.0);
      blocks[2].AS.push_back((k == j ? 1.0 : 0.0) / std::sqrt(norm));
      blocks[2].AC.push_back(K[j][k] / std::sqrt(norm));
      blocks[3].AS.push_back(j < 2 ? blocks[0].AS.back() : 0.0);
      blocks[3].AC.push_back(j < 2 ? blocks[0].AC.back() : 0.0);
    }
  }
  blocks[0].orthonormal = blocks[1].orthonormal = blocks[3].orthonormal = true;
  blocks[2].orthonormal = false;
  for (const Block& b : blocks) {
    SCOPED_TRACE(b.name);
    std::vector<Complex> D{{0.7, 0.2}, {-0.4, 0.9}, {0.25, -0.5}};
    if (&b == &blocks[3]) D[2] = 0.0;  // an empty solution has no dipole element
    const lib::CMat AS(b.AS.data(), n, n), AC(b.AC.data(), n, n);
    const double dev = photo::flux_deviation(n, n, AS, AC);
    EXPECT_EQ(dev <= photo::BetaTable::kFluxTolerance, b.orthonormal) << dev;
    std::vector<Complex> Fk(n);
    photo::outgoing_amplitudes(n, n, AS, AC, D.data(), Fk.data());
    double sF = 0.0, sD = 0.0;
    for (int k = 0; k < n; ++k) {
      sF += std::norm(Fk[static_cast<size_t>(k)]);
      sD += std::norm(D[static_cast<size_t>(k)]);
    }
    if (b.orthonormal) {
      EXPECT_NEAR(sF, sD, 1e-13);
    }
  }
}

}  // namespace

// Vibrationally resolved cross sections from the waves of every distance:
// amplitudes that do not change with the bond length give the Franck–Condon
// factors as the branching ratios and the fixed-distance β at every level,
// whatever sign each distance's run gave its orbital; and the table of
// waves reads back what xsect writes.
#include <gtest/gtest.h>

#include <cmath>

#include "diatom/vibronic_photo.hpp"
#include "lib/angular_coefficients.hpp"

namespace {

using diatom::ShellWaveNodes;
using diatom::WaveNode;

const double kMuN2 = diatom::isotope_mass(7) / 2;

diatom::PotentialCurve harmonic(double re, double w, const std::vector<double>& R) {
  diatom::PotentialCurve c{R, {}};
  for (double r : R) c.E.push_back(0.5 * kMuN2 * w * w * (r - re) * (r - re));
  return c;
}

// The waves of one σ shell at one distance: constant amplitudes of
// Y(1, 0) and Y(3, 0), times `sign`, on nodes E = 0.1 … 1.0 hartree above a
// threshold of 0.6 hartree, with σ = κ_L·ω·Σ|F|² and κ_V·Σ|F|²/ω.
ShellWaveNodes constant_waves(double sign, lib::Fac F) {
  ShellWaveNodes s{6, false, {}};
  for (int k = 0; k <= 18; ++k) {
    WaveNode n;
    n.E = 0.1 + 0.05 * k;
    n.omega = n.E + 0.6;
    n.L = {{0, 0, 1, 2, {{0.3 * sign, 0.1 * sign}, {0.0, -0.2 * sign}}}};
    n.V = {{0, 0, 1, 2, {{0.25 * sign, 0.0}, {0.05 * sign, 0.1 * sign}}}};
    const double nl = photo::asymmetry(0, n.L, F).norm, nv = photo::asymmetry(0, n.V, F).norm;
    n.sigmaL = 2.0 * n.omega * nl;
    n.sigmaV = 3.0 * nv / n.omega;
    s.nodes.push_back(n);
  }
  return s;
}

TEST(VibronicPhoto, ConstantWavesBranchLikeTheFranckCondonFactorsWhateverTheSigns) {
  std::vector<double> fac(81);
  lib::fill_factorials(80, lib::VecView<double, 0>(fac.data(), 81));
  const lib::Fac F(fac.data(), 81);
  std::vector<double> R;
  for (int k = 0; k < 12; ++k) R.push_back(1.6 + 0.1 * k);
  const auto x = harmonic(2.0, 0.0107, R), ion = harmonic(2.12, 0.0095, R);
  const auto g = diatom::vibration_grid({x, ion}, kMuN2);
  const auto sx = diatom::vibrational_states(x, kMuN2, g, 12), si = diatom::vibrational_states(ion, kMuN2, g, 12);
  const std::vector<double> fc = diatom::franck_condon(sx, 0, si);
  const ShellWaveNodes plus = constant_waves(1, F), minus = constant_waves(-1, F);
  const WaveNode& n0 = plus.nodes[0];
  const photo::Asymmetry fixedL = photo::asymmetry(0, n0.L, F), fixedV = photo::asymmetry(0, n0.V, F);
  for (bool flipped : {false, true}) {
    diatom::VibronicInput in;
    in.R = R;
    for (size_t d = 0; d < R.size(); ++d) {
      in.waves.push_back(flipped && d % 3 == 1 ? &minus : &plus);
      in.koopmans.push_back(0.6);
    }
    in.molecule = &sx, in.ion = &si, in.grid = g, in.fc = fc, in.re = 2.0, in.levels = 4;
    in.omega = {0.75, 1.2};
    const diatom::VibronicResult r = diatom::vibronic_cross_sections(in, F);
    ASSERT_EQ(r.rows.size(), 2u);
    for (const auto& row : r.rows) {
      double sum = 0;
      for (int v = 0; v < 4; ++v) {
        EXPECT_NEAR(row.sigmaL[v] / (2.0 * row.omega * fixedL.norm * fc[v]), 1, 1e-9) << v << " " << flipped;
        EXPECT_NEAR(row.sigmaV[v] * row.omega / (3.0 * fixedV.norm * fc[v]), 1, 1e-9) << v;
        EXPECT_NEAR(row.betaL[v], fixedL.beta, 1e-9);
        EXPECT_NEAR(row.betaV[v], fixedV.beta, 1e-9);
        sum += row.sigmaL[v];
      }
      // Closure: the four levels hold all but the tail of v = 0.
      double held = 0;
      for (int v = 0; v < 4; ++v) held += fc[v];
      EXPECT_NEAR(sum / row.averageL, held, 1e-9);
    }
    // The thresholds: the vertical one at re (0.6) is the Franck–Condon
    // mean of the vibronic ones, spaced by the ion's levels.
    double mean = 0, w = 0;
    for (int v = 0; v < 4; ++v) mean += fc[v] * r.threshold[v], w += fc[v];
    EXPECT_NEAR(mean / w, 0.6, 1e-12);
    EXPECT_NEAR(r.threshold[1] - r.threshold[0], 0.0095, 1e-6);
  }
}

TEST(VibronicPhoto, TheTableOfWavesIsReadOrRefusedByLine) {
  const std::string text =
      "# comment\n"
      "node HF 6 0 0.1E+00 0.7E+00 1.5E+00 1.4E+00\n"
      "L 0 0 1 2 2 0.3 0.1 0.0 -0.2\n"
      "V 0 0 1 2 2 0.25 0.0 0.05 0.1\n"
      "node HF 6 0 0.2E+00 0.8E+00 1.6E+00 1.5E+00\n"
      "L 0 0 1 2 2 0.3 0.1 0.0 -0.2\n"
      "V 0 0 1 2 2 0.25 0.0 0.05 0.1\n"
      "node RPA 6 0 0.1E+00 0.7E+00 1.5E+00 1.4E+00\n";
  const auto t = diatom::read_wave_table(text, "w");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].nodes.size(), 2u);
  EXPECT_TRUE(t[1].rpa);
  EXPECT_NEAR(std::imag(t[0].nodes[1].V[0].F[1]), 0.1, 1e-15);
  for (const std::string bad : {"node HF 6 0 0.1 0.7 1.5\n", "L 0 0 1 2 2 0.3 0.1 0.0\n",
                                "node HF 6 0 0.2 0.8 1 1\nnode HF 6 0 0.1 0.7 1 1\n"}) {
    EXPECT_THROW(diatom::read_wave_table(bad, "w"), std::exception) << bad;
  }
}

}  // namespace

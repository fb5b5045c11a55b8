// Nuclear motion on potential curves: the spline, the levels of harmonic and
// Morse curves, Franck–Condon factors of displaced oscillators, the
// spectroscopic constants and the curves that have none.
#include "diatom/vibration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "io/stop.hpp"

namespace {

using diatom::PotentialCurve;

PotentialCurve sample(const std::function<double(double)>& V, double a, double b, int n) {
  PotentialCurve c;
  for (int i = 0; i < n; ++i) {
    const double R = a + (b - a) * i / (n - 1);
    c.R.push_back(R), c.E.push_back(V(R));
  }
  return c;
}

const double kMuN2 = diatom::isotope_mass(7) / 2;

// A Morse curve of N2: De (1 − e^−a(R−re))², exact levels
// ω(v+½) − [ω(v+½)]²/4De with ω = a·sqrt(2De/μ).
struct Morse {
  double De = 0.3640, re = 2.0743, a = 1.42;
  double operator()(double R) const { return De * std::pow(1 - std::exp(-a * (R - re)), 2); }
  double w() const { return a * std::sqrt(2 * De / kMuN2); }
  double level(int v) const { return w() * (v + 0.5) - std::pow(w() * (v + 0.5), 2) / (4 * De); }
};

TEST(VibrationSpline, NotAKnotReproducesACubicAndItsMinimum) {
  // p(R) = (R − 1)³ − 3(R − 1): minimum at R = 2, p = −2; unevenly sampled.
  auto p = [](double R) { return std::pow(R - 1, 3) - 3 * (R - 1); };
  PotentialCurve c;
  for (double R : {0.3, 0.9, 1.2, 2.0, 2.2, 3.1}) c.R.push_back(R), c.E.push_back(p(R));
  const diatom::CurveSpline s(c);
  for (double R : {0.3, 0.5, 1.7, 2.9, 3.1}) {
    EXPECT_NEAR(s.value(R), p(R), 1e-12) << R;
    EXPECT_NEAR(s.slope(R), 3 * std::pow(R - 1, 2) - 3, 1e-12) << R;
    EXPECT_NEAR(s.curvature(R), 6 * (R - 1), 1e-11) << R;
  }
  double re = 0, Ee = 0;
  ASSERT_TRUE(s.interior_minimum(re, Ee));
  EXPECT_NEAR(re, 2.0, 1e-12);
  EXPECT_NEAR(Ee, -2.0, 1e-12);
  // Too few distances, or distances out of order, stop the run.
  EXPECT_THROW(diatom::CurveSpline({{1, 2, 3}, {0, 1, 0}}), io::StopRun);
  EXPECT_THROW(diatom::CurveSpline({{1, 2, 2, 3}, {0, 1, 1, 0}}), io::StopRun);
}

TEST(VibrationLevels, IsotopeMassesAreAtomicMassesOfTheMostAbundantIsotopes) {
  const int A[] = {1, 4, 7, 9, 11, 12, 14, 16, 19, 20, 23, 24, 27, 28, 31, 32, 35, 40};
  for (int Z = 1; Z <= 18; ++Z)
    EXPECT_NEAR(diatom::isotope_mass(Z) / diatom::kElectronMassesPerDalton, A[Z - 1], 0.1) << Z;
  EXPECT_DOUBLE_EQ(diatom::isotope_mass(6), 12 * diatom::kElectronMassesPerDalton);
  EXPECT_EQ(diatom::isotope_mass(0), 0);
  EXPECT_EQ(diatom::isotope_mass(19), 0);
}

// Every level kept is within the promised wall shift of the exact (v+½)ω
// (at most about (ω/2π)·e^−2θ, 5.6e-7 hartree here at the threshold), the
// functions are orthonormal, and the list stops at the first level the box
// does not hold.
TEST(VibrationLevels, HarmonicOscillatorInABox) {
  const double w = 0.01, re = 2.0;
  const auto c = sample([&](double R) { return 0.5 * kMuN2 * w * w * (R - re) * (R - re); }, 1.5, 2.6, 12);
  const auto g = diatom::vibration_grid({c}, kMuN2);
  const auto s = diatom::vibrational_states(c, kMuN2, g, 100);
  ASSERT_GE(s.E.size(), 6u);
  EXPECT_NE(s.limit.find("not held"), std::string::npos) << s.limit;
  for (std::size_t v = 0; v < s.E.size(); ++v) {
    EXPECT_NEAR(s.E[v], (v + 0.5) * w, 6e-7) << v;
    for (std::size_t u = 0; u <= v; ++u) {
      double dot = 0;
      for (int i = 0; i < g.n; ++i) dot += s.chi[v][i] * s.chi[u][i];
      EXPECT_NEAR(dot, u == v ? 1 : 0, 1e-12) << v << " " << u;
    }
  }
  // The level after the last one kept lies far above its exact value: the
  // wall at R = 1.5 is where it has not yet decayed.
  const auto more = diatom::vibrational_states(c, kMuN2, {1.5, 2.6, g.n}, 3);
  EXPECT_EQ(more.E.size(), 3u);
  EXPECT_NE(more.limit.find("most levels"), std::string::npos);
}

// Sampled at 16 distances over 0.80 … 1.32 re, the spline costs 0.17 cm⁻¹
// (measured); densely sampled, the levels are exact.
TEST(VibrationLevels, MorseLevelsAndConstants) {
  const Morse m;
  const double lo = 0.80 * m.re, hi = 1.32 * m.re;
  for (int distances : {16, 200}) {
    const auto c = sample(m, lo, hi, distances);
    const auto s = diatom::vibrational_states(c, kMuN2, diatom::vibration_grid({c}, kMuN2), 6);
    ASSERT_EQ(s.E.size(), 6u) << s.limit;
    const double tol = distances == 16 ? 1.5e-6 : 1e-9;
    for (int v = 0; v < 6; ++v) EXPECT_NEAR(s.E[v], m.level(v), tol) << distances << " distances, v = " << v;
    const auto k = diatom::spectroscopic_constants(c, kMuN2, s);
    ASSERT_TRUE(k.minimum);
    EXPECT_EQ(k.levels, 3);
    EXPECT_NEAR(k.re, m.re, distances == 16 ? 1e-4 : 1e-7);
    EXPECT_NEAR(k.Ee, 0, distances == 16 ? 2e-6 : 1e-10);
    EXPECT_NEAR(k.we / m.w(), 1, distances == 16 ? 1e-4 : 1e-7);
    EXPECT_NEAR(k.wexe / (m.w() * m.w() / (4 * m.De)), 1, distances == 16 ? 3e-3 : 1e-5);
    EXPECT_NEAR(k.Be * 2 * kMuN2 * m.re * m.re, 1, distances == 16 ? 1e-4 : 1e-7);
  }
  // With two levels held, E0 − Ee and ΔG(½) still give both (exact for a
  // Morse curve); with one, the harmonic ωe lies ωexe/2 below ωe.
  const auto c = sample(m, lo, hi, 200);
  auto s = diatom::vibrational_states(c, kMuN2, diatom::vibration_grid({c}, kMuN2), 2);
  auto k = diatom::spectroscopic_constants(c, kMuN2, s);
  EXPECT_EQ(k.levels, 2);
  EXPECT_NEAR(k.we / m.w(), 1, 1e-7);
  EXPECT_NEAR(k.wexe / (m.w() * m.w() / (4 * m.De)), 1, 1e-5);
  s.E.resize(1);
  k = diatom::spectroscopic_constants(c, kMuN2, s);
  EXPECT_NEAR(k.we, m.w() - m.w() * m.w() / (8 * m.De), 1e-9);
  EXPECT_TRUE(std::isnan(k.wexe));
}

// Two oscillators of equal ω displaced by d: |<0|v′>|² = e^−S S^v′/v′!,
// S = μωd²/2, summing to one; the overlaps themselves all positive (the
// lower function sits on the upper one's inner lobes).
TEST(VibrationFranckCondon, DisplacedOscillatorsArePoisson) {
  const double w = 0.01, d = 0.15, S = kMuN2 * w * d * d / 2;
  auto oscillator = [&](double re) {
    return sample([&](double R) { return 0.5 * kMuN2 * w * w * (R - re) * (R - re); }, 1.2, 3.0, 16);
  };
  const auto lower = oscillator(2.0), upper = oscillator(2.0 + d);
  const auto g = diatom::vibration_grid({lower, upper}, kMuN2);
  const auto l = diatom::vibrational_states(lower, kMuN2, g, 1), u = diatom::vibrational_states(upper, kMuN2, g, 40);
  ASSERT_GE(u.E.size(), 12u) << u.limit;
  const auto fc = diatom::franck_condon(l, 0, u);
  double sum = 0;
  for (std::size_t v = 0; v < fc.size(); ++v) {
    EXPECT_NEAR(fc[v], std::exp(-S) * std::pow(S, v) / std::tgamma(v + 1.0), 1e-9) << v;
    double overlap = 0;
    for (int i = 0; i < g.n; ++i) overlap += l.chi[0][i] * u.chi[v][i];
    if (fc[v] > 1e-8) {
      EXPECT_GT(overlap, 0) << v;
    }
    sum += fc[v];
  }
  EXPECT_NEAR(sum, 1, 1e-10);
  EXPECT_THROW(diatom::franck_condon(l, 1, u), io::StopRun);
}

// A repulsive curve, and a bound one sampled only on its inner wall: no
// minimum inside the range is flagged, with no numbers and no levels.
TEST(VibrationConstants, NoMinimumInsideTheRangeIsFlagged) {
  const Morse m;
  for (const auto& c :
       {sample([](double R) { return std::exp(-2 * R); }, 1.0, 4.0, 10), sample(m, 0.8 * m.re, 0.98 * m.re, 10)}) {
    const auto s = diatom::vibrational_states(c, kMuN2, diatom::vibration_grid({c}, kMuN2), 10);
    EXPECT_TRUE(s.E.empty());
    EXPECT_NE(s.limit.find("not held"), std::string::npos) << s.limit;
    const auto k = diatom::spectroscopic_constants(c, kMuN2, s);
    EXPECT_FALSE(k.minimum);
    EXPECT_TRUE(std::isnan(k.re) && std::isnan(k.Ee) && std::isnan(k.we) && std::isnan(k.Be));
    EXPECT_NE(k.note.find("no minimum"), std::string::npos) << k.note;
  }
}

}  // namespace

// Multipole potentials: the descriptor of the expansion, the far boundary
// ratio against the Legendre function of the second kind, the potential of a
// normalised density against Gauss's law (1/r outside the charge) and
// against a Green's-function quadrature everywhere, and the assembly of exchange_potential_waves.
#include "lib/multipole_potentials.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "factorial_table.hpp"
#include "support/solver_grid.hpp"
#include "io/stop.hpp"
#include "lib/quadrature.hpp"
#include "reference_math.hpp"

namespace {

using lib::CIVec;
using lib::CMat;
using lib::CVec;
using lib::Mat;
using testgrid::Grid;
using testgrid::make_grid;

using testfac::F;

// The photoionisation driver's source factor RZ²/2 · (−6.28318) ≈ −π·RZ².
double source_factor(double RZ) { return RZ * RZ / 2 * -6.28318; }

// Work arrays and the call of pair_multipoles for projection column |m|+1.
struct Multipoles {
  const Grid& G;
  std::array<int, 3> mnz{};
  std::vector<double> b = {1.0, 0.0, 0.0, 0.0}, wc, cx, wk, z;
  int nz;
  Multipoles(const Grid& g, int columns) : G(g), wc(g.NA * g.NA), cx(g.NA * 3), wk(g.NB * 6), nz(columns) {
    z.assign(static_cast<size_t>(g.NB) * columns, 0.0);
  }
  void run(std::array<int, 3> mn1, std::array<int, 3> mn2, int KD, double C1, const std::vector<double>& x1,
           const std::vector<double>& x2) {
    const int col = std::abs(mn1[0] - mn2[0]) + 1;
    const lib::PairDensity rho{lib::described_waves(CIVec(mn1.data(), 3), KD, CMat(x1.data(), G.NB, mn1[2])),
                               lib::described_waves(CIVec(mn2.data(), 3), KD, CMat(x2.data(), G.NB, mn2[2])), C1};
    lib::pair_multipoles(lib::MultipoleSetting{G.radial(), G.R().colsFrom(2, 5), F()}, G.series().column(col), rho,
                         lib::MultipoleWork{lib::Vec(b.data(), 4), Mat(wc.data(), G.NA, G.NA), Mat(cx.data(), G.NA, 3),
                                            Mat(wk.data(), G.NB, 6)},
                         lib::IVec(mnz.data(), 3), Mat(z.data(), G.NB, nz));
  }
  // Multipole k at row i, back in physical form.
  double V(int i, int k = 1) const { return z[(k - 1) * G.NB + (i - 1)] * G.scale(i); }
};

TEST(PairMultipoles, MultipoleDescriptor) {
  const Grid G = make_grid(5, 5 + 41, 1.5, 20.0);
  struct Case {
    std::array<int, 3> mn1, mn2;
    int KD;
    std::array<int, 3> mnz;
  };
  const Case cases[] = {
      {{0, 0, 1}, {0, 0, 1}, 2, {0, 0, 1}},    // one monopole
      {{1, 1, 3}, {0, 0, 3}, 1, {1, 1, 4}},    // λ_min = 1 already ≥ |m|
      {{2, 2, 1}, {0, 2, 1}, 2, {2, 2, 1}},    // λ_min 0 < |m| = 2, raised to 2
      {{-1, 1, 2}, {1, 1, 2}, 2, {-2, 2, 3}},  // negative m, raised once
      {{0, 1, 2}, {0, 0, 1}, 1, {0, 1, 2}},    // (3·3)/4 truncates to 2
  };
  for (const Case& c : cases) {
    Multipoles mp(G, 4);
    std::vector<double> x1(G.NB * c.mn1[2], 0.0), x2(G.NB * c.mn2[2], 0.0);
    mp.run(c.mn1, c.mn2, c.KD, -1.0, x1, x2);
    EXPECT_EQ(mp.mnz, c.mnz);
    EXPECT_EQ(mp.b[2], 0.0);
    EXPECT_EQ(mp.b[3], 0.0);
  }
}

TEST(PairMultipoles, MoreMultipolesThanOutputColumnsStop) {
  const Grid G = make_grid(5, 5 + 41, 1.5, 20.0);
  Multipoles mp(G, 3);
  std::vector<double> x(G.NB * 3, 0.0);
  EXPECT_THROW(mp.run({0, 0, 3}, {0, 0, 3}, 2, -1.0, x, x), io::StopRun);  // (3·6)/4 = 4 > 3
}

TEST(PairMultipoles, FarBoundaryRatioIsThatOfTheDecayingLegendreFunction) {
  // X(NB) = −B(2)·X(NB−1) must hold for the stored form of the solution that
  // decays like ξ^−(λ+1): Q_λ^m(ξ_NB)/Q_λ^m(ξ_NB−1) · g(NB−1)/g(NB).
  const Grid G = make_grid(5, 5 + 201, 1.5, 30.0);
  const int NB = G.NB;
  for (auto [lam, m] : {std::pair{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 4}, {6, 3}}) {
    Multipoles mp(G, 1);
    std::vector<double> x(NB, 0.0);
    mp.run({m, lam, 1}, {0, 0, 1}, 2, -1.0, x, x);
    ASSERT_EQ(mp.mnz[1], lam);
    const double want = ref::legendre_q_shape(lam, m, G.xi(NB)) / ref::legendre_q_shape(lam, m, G.xi(NB - 1)) *
                        G.scale(NB - 1) / G.scale(NB);
    EXPECT_NEAR(-mp.b[1], want, 1e-10 * want) << lam << " " << m;
  }
}

// Normalised product densities X1·conj(X2), X_k = r_k(ξ)·Y(l_k, m_k), with
// r_k = N·(ξ² − 1)^(|m_k|/2)·e^(−αξ) (the factor (ξ² − 1)^(|m|/2) makes the
// orbital regular on the bond axis).  One wave each, so n1 + n2 = 2 and the
// expansion has the single multipole λ = MNZ(2), with the source
//   C1·[(ξ² − η²)·X1·conj(X2)]_λ = C1·r_1·r_2·(ξ² − c)/sqrt(4π),
// c = ⟨η²⟩ of the wave pair.  The exact potential V_λ is the Green's-function
// integral over the regular solution u1 and the decaying solution u2:
//   V(ξ) = [u2(ξ)∫_1^ξ u1·S + u1(ξ)∫_ξ^∞ u2·S] / W,  W = p·(u1u2' − u1'u2).
struct Density {
  const char* name;
  std::array<int, 3> mn1, mn2;
  int KD, lam, m;
  double c;  // ⟨η²⟩ for the pair
  std::function<double(double)> u1, u1d, u2, u2d;
};

std::vector<Density> densities() {
  auto one = [](double) { return 1.0; };
  auto zero = [](double) { return 0.0; };
  auto q0 = [](double x) { return ref::legendre_q0(x); };
  auto q0d = [](double x) { return -1.0 / (x * x - 1); };
  // λ = 1, m = 1: P_1^1 ∝ p^½ and Q_1^1 ∝ p^½·Q0 − ξ·p^(−½).
  auto p11 = [](double x) { return std::sqrt(x * x - 1); };
  auto p11d = [](double x) { return x / std::sqrt(x * x - 1); };
  auto q11 = [](double x) {
    const double p = x * x - 1;
    return std::sqrt(p) * ref::legendre_q0(x) - x / std::sqrt(p);
  };
  auto q11d = [](double x) {
    const double p = x * x - 1, s = std::sqrt(p);
    return x / s * ref::legendre_q0(x) - 1 / s - 1 / s + x * x / (p * s);
  };
  return {
      {"sigma density |X Y00|^2", {0, 0, 1}, {0, 0, 1}, 2, 0, 0, 1.0 / 3, one, zero, q0, q0d},
      {"pi density |X Y11|^2", {1, 1, 1}, {1, 1, 1}, 2, 0, 0, 1.0 / 5, one, zero, q0, q0d},
      {"transition X Y11 conj(X Y00)", {1, 1, 1}, {0, 0, 1}, 1, 1, 1, 1.0 / 5, p11, p11d, q11, q11d},
  };
}

// The inner region ends at ξ = 1.05: the five-term series about ξ = 1 (radius
// of convergence 2) then represents these potentials to about 1e-7.
struct PotentialRun {
  double RZ = 1.4, alpha = 1.0, N = 1;
  Grid G = make_grid(5, 5 + 401, 1.05, 30.0);
  const Density& d;
  std::vector<double> x1, x2;  // stored form of r_1, r_2
  const ref::Rule gl = ref::gauss_legendre(16);

  double r(int m, double t) const { return N * std::pow(t * t - 1, std::abs(m) / 2.0) * std::exp(-alpha * t); }
  // ∫ h(t) dt over [a, b] ⊂ [1, ∞) in s = sqrt(t − 1), where the square roots
  // at ξ = 1 become smooth.
  double integral(const std::function<double(double)>& h, double a, double b) const {
    return ref::integrate([&](double s) { return h(1 + s * s) * 2 * s; }, std::sqrt(a - 1), std::sqrt(b - 1), 2, gl);
  }
  explicit PotentialRun(const Density& den) : d(den) {
    // (RZ/2)³ ∫ (ξ² − c)·r_1·r_2 dξ = 1, the charge of the product density.
    double q = 0;
    for (double a = 1; a < 45; a += 0.5)
      q += integral([&](double t) { return (t * t - d.c) * r(d.mn1[0], t) * r(d.mn2[0], t); }, a, a + 0.5);
    N = 1 / std::sqrt(std::pow(RZ / 2, 3) * q);
    x1.resize(G.NB);
    x2.resize(G.NB);
    for (int i = 1; i <= G.NB; ++i) {
      x1[i - 1] = r(d.mn1[0], G.xi(i)) / G.scale(i);
      x2[i - 1] = r(d.mn2[0], G.xi(i)) / G.scale(i);
    }
  }
  double S(double t, double C1) const {
    return C1 * r(d.mn1[0], t) * r(d.mn2[0], t) * (t * t - d.c) / std::sqrt(4 * ref::kPi);
  }
};

TEST(PairMultipoles, MonopoleOfANormalisedDensityIsOneOverROutsideTheCharge) {
  // Beyond the density the λ = 0 potential is the Y(0,0) component of
  // (charge)/r, r = (RZ/2)·sqrt(ξ² + η² − 1) the distance from the bond
  // midpoint in bohr: V_0 = sqrt(4π)·(2/RZ)·Q_0(ξ).  The driver's factor
  // 6.28318 instead of 2π scales the charge by 6.28318/(2π).
  const ref::Rule gl = ref::gauss_legendre(40);
  for (const Density& d : densities()) {
    if (d.lam != 0) continue;
    PotentialRun run(d);
    const double C1 = source_factor(run.RZ);
    const double scale = -C1 / (ref::kPi * run.RZ * run.RZ);
    Multipoles mp(run.G, 1);
    mp.run(d.mn1, d.mn2, d.KD, C1, run.x1, run.x2);
    for (int i = run.G.NA + 1; i <= run.G.NB; ++i) {
      const double xi = run.G.xi(i);
      if (xi < 20) continue;  // the density is below 1e-17 beyond
      // Y(0,0) component of 1/r by direct η-quadrature.
      double inv_r = 0;
      for (size_t k = 0; k < gl.x.size(); ++k)
        inv_r += gl.w[k] * 2 * ref::kPi / std::sqrt(4 * ref::kPi) /
                 (run.RZ / 2 * std::sqrt(xi * xi + gl.x[k] * gl.x[k] - 1));
      EXPECT_NEAR(mp.V(i), scale * inv_r, 5e-7 * inv_r) << d.name << " xi " << xi;
      EXPECT_NEAR(inv_r, std::sqrt(4 * ref::kPi) * 2 / run.RZ * ref::legendre_q0(xi), 1e-14 * inv_r);
    }
    // At the last point 1/r itself: V_0·Y(0,0) = 1/(RZ/2·ξ) up to O(1/ξ²).
    const double xi = run.G.xi(run.G.NB);
    EXPECT_NEAR(mp.V(run.G.NB) / std::sqrt(4 * ref::kPi) * (run.RZ / 2 * xi), scale, 1.0 / (2 * xi * xi));
  }
}

TEST(PairMultipoles, PotentialAgreesWithGreensFunctionQuadratureOnTheWholeGrid) {
  for (const Density& d : densities()) {
    PotentialRun run(d);
    const Grid& G = run.G;
    const double C1 = source_factor(run.RZ);
    Multipoles mp(G, 1);
    mp.run(d.mn1, d.mn2, d.KD, C1, run.x1, run.x2);
    ASSERT_EQ(mp.mnz[0], d.m);
    ASSERT_EQ(mp.mnz[1], d.lam);

    const double W = 8.0 * (d.u1(3.0) * d.u2d(3.0) - d.u1d(3.0) * d.u2(3.0));
    const double W6 = 35.0 * (d.u1(6.0) * d.u2d(6.0) - d.u1d(6.0) * d.u2(6.0));
    ASSERT_NEAR(W, W6, 1e-9 * std::fabs(W)) << d.name;  // the Wronskian is constant

    const int NB = G.NB;
    std::vector<double> in(NB), out(NB);  // ∫_1^ξ u1·S and ∫_ξ^∞ u2·S
    auto u1S = [&](double t) { return d.u1(t) * run.S(t, C1); };
    auto u2S = [&](double t) { return d.u2(t) * run.S(t, C1); };
    in[0] = run.integral(u1S, 1.0, G.xi(1));
    for (int i = 2; i <= NB; ++i) in[i - 1] = in[i - 2] + run.integral(u1S, G.xi(i - 1), G.xi(i));
    out[NB - 1] = run.integral(u2S, G.xi(NB), 45.0);
    for (int i = NB - 1; i >= 1; --i) out[i - 1] = out[i] + run.integral(u2S, G.xi(i), G.xi(i + 1));

    double vmax = 0, err = 0;
    for (int i = 1; i <= NB; ++i) {
      const double xi = G.xi(i);
      const double want = (d.u2(xi) * in[i - 1] + d.u1(xi) * out[i - 1]) / W;
      vmax = std::max(vmax, std::fabs(want));
      err = std::max(err, std::fabs(mp.V(i) - want));
    }
    EXPECT_LT(err / vmax, 5e-7) << d.name;
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.3e", err / vmax);
    RecordProperty(std::string("relative_error ") + d.name, figure);
    // The potential of a density is positive; the π density checks the phase
    // (−1)^M2 that turns Y(l,−M2) into conj(Y(l,M2)).
    if (d.lam == 0) {
      EXPECT_GT(mp.V(1), 0.0) << d.name;
    }
  }
}

// exchange_potential_waves on functions of one wave each; qq is filled with 5.0 and z with 9.0
// first, so that untouched storage shows.
struct Applied {
  std::vector<double> qq, wk, z, wc, cx, b = {1.0, 0.0, 0.0, 0.0};
  void run(const Grid& G, std::array<int, 3> mf1, std::array<int, 3> mf2, std::array<int, 3> mfe,
           std::array<int, 3> mne, int KD, double C1, const std::vector<double>& x1, const std::vector<double>& x2,
           const std::vector<double>& xe) {
    const int NA = G.NA, NB = G.NB;
    qq.assign(static_cast<size_t>(NB) * mne[2], 5.0);
    z.assign(NB, 9.0);
    wk.assign(NB * 6, 0.0);
    wc.assign(NA * NA, 0.0);
    cx.assign(NA * 3, 0.0);
    const lib::PairDensity rho{lib::described_waves(CIVec(mf1.data(), 3), KD, CMat(x1.data(), NB, 1)),
                               lib::described_waves(CIVec(mf2.data(), 3), KD, CMat(x2.data(), NB, 1)), C1};
    lib::exchange_potential_waves(
        lib::MultipoleSetting{G.radial(), G.R().colsFrom(2, 5), F()}, G.series(), rho,
        lib::described_waves(CIVec(mfe.data(), 3), KD, CMat(xe.data(), NB, 1)), CIVec(mne.data(), 3),
        lib::MultipoleWork{lib::Vec(b.data(), 4), Mat(wc.data(), NA, NA), Mat(cx.data(), NA, 3), Mat(wk.data(), NB, 6)},
        Mat(qq.data(), NB, mne[2]), Mat(z.data(), NB, 1));
  }
};

TEST(ExchangePotentialWaves, AppliesThePotentialToTheThirdFunctionAndProjects) {
  // QQ(·,i) = V·XFE projected with the volume factor; for one multipole
  // V_λ·Y(λ,m) and XFE = φ·Y(lc,mfe) each target wave gets (a·ξ² − b)/sqrt(4π)·V_λ·φ:
  //   monopole on a p wave:   Y(1,0): a = 1, b = ⟨10|η²|10⟩;  Y(3,0): a = 0, b = ⟨30|η²|10⟩;
  //   m = 1 dipole on s wave: Y(1,1): a = 1, b = ⟨11|η²|11⟩.
  struct Case {
    const char* name;
    std::array<int, 3> mf1, mf2, mfe, mne;
    int KD;
    std::vector<double> a, b;
  };
  const Case cases[] = {
      {"monopole on p wave", {0, 0, 1}, {0, 0, 1}, {0, 1, 1}, {0, 1, 2}, 2, {1.0, 0.0}, {3.0 / 5, ref::eta2_up2(1, 0)}},
      {"m=1 multipole on s wave", {1, 1, 1}, {0, 0, 1}, {0, 0, 1}, {1, 1, 1}, 1, {1.0}, {1.0 / 5}},
  };
  const Grid G = make_grid(5, 5 + 101, 1.1, 30.0);
  const int NB = G.NB;
  for (const Case& c : cases) {
    std::vector<double> x1(NB), x2(NB), xe(NB);
    for (int i = 1; i <= NB; ++i) {
      const double xi = G.xi(i), g = G.scale(i);
      x1[i - 1] = std::pow(xi * xi - 1, std::abs(c.mf1[0]) / 2.0) * std::exp(-xi) / g;
      x2[i - 1] = (1 + xi) * std::exp(-1.5 * xi) / g;
      xe[i - 1] = std::exp(-0.5 * xi) / g;
    }
    const double C1 = source_factor(2.0);
    Multipoles mp(G, 1);  // the multipole on its own
    mp.run(c.mf1, c.mf2, c.KD, C1, x1, x2);
    Applied ap;
    ap.run(G, c.mf1, c.mf2, c.mfe, c.mne, c.KD, C1, x1, x2, xe);
    for (int ig = 1; ig <= c.mne[2]; ++ig)
      for (int i = 1; i <= NB; ++i) {
        const double vphi = mp.z[i - 1] * xe[i - 1], xi2 = G.R()(i, 2);
        const double want = vphi * (c.a[ig - 1] * xi2 - c.b[ig - 1]) / std::sqrt(4 * ref::kPi);
        EXPECT_NEAR(ap.qq[(ig - 1) * NB + i - 1], want, 1e-9 * std::fabs(vphi) * xi2)
            << c.name << " wave " << ig << " row " << i;
      }
  }
}

TEST(ExchangePotentialWaves, ProjectionsThatCannotAddUpGiveZeroWithoutASolve) {
  const Grid G = make_grid(5, 5 + 41, 1.1, 20.0);
  std::vector<double> x(G.NB, 1.0);
  Applied ap;
  ap.run(G, {1, 1, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 2}, 2, -1.0, x, x, x);  // 1 − 0 + 0 − 0 ≠ 0
  for (double v : ap.qq) EXPECT_EQ(v, 0.0);
  for (double v : ap.z) EXPECT_EQ(v, 9.0);
  EXPECT_EQ(ap.b[1], 0.0);
}

TEST(ExchangePotentialWaves, ProjectionBeyondTheSeriesTablesStops) {
  // |M1 − M2| = 5 needs column 6 of tables built for projections 0 … 4.
  const Grid G = make_grid(5, 5 + 41, 1.1, 20.0);
  std::vector<double> x(G.NB, 1.0);
  Applied ap;
  try {
    ap.run(G, {3, 3, 1}, {-2, 2, 1}, {0, 0, 1}, {5, 5, 1}, 1, -1.0, x, x, x);
    FAIL() << "no stop";
  } catch (const io::StopRun& s) {
    EXPECT_EQ(s.message(), " CUIF: PROJECTION   5 BEYOND THE   5 COLUMNS OF THE SERIES TABLES");
  }
}

}  // namespace

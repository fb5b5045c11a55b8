// Continuum functions on the grid against exact photoionisation cross
// sections (hydrogen, H2+), length = velocity for exact one-electron
// continua, orthogonality, and the static-exchange solver: without electrons
// it must reproduce the exact continuum, with a closed shell it must keep the
// continuum orthogonal to the occupied orbitals of its symmetry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chan/static_exchange.hpp"
#include "fixtures.hpp"

namespace {

using namespace chantest;

constexpr double kPi = 3.14159265358979323846;
constexpr double kHartreeEV = 27.211386;

// Hydrogen 1s, exact: σ = σ0·x⁻⁴·exp(4 − 4·atan(ε)/ε)/(1 − exp(−2π/ε)),
// x = ω/I, ε = sqrt(x − 1), σ0 = 6.304318 Mb.
double hydrogen_sigma(double omega) {
  const double x = omega / 0.5, e = std::sqrt(x - 1.0);
  return 6.304318 * std::pow(x, -4) * std::exp(4.0 - 4.0 * std::atan(e) / e) / (1.0 - std::exp(-2.0 * kPi / e));
}

// The 1s orbital e^{−r1}/sqrt(π) about nucleus 1 (η = +1), r1 = (RZ/2)(ξ − η),
// in partial waves: X_L(ξ) = e^{−aξ}·2·sqrt(2L+1)·i_L(a), a = RZ/2, with i_L
// the modified spherical Bessel function (its power series).
Target hydrogen_on_a_focus(double RZ, int n, int NB, double RP1, double RP2) {
  Quiet q;
  Target t;
  t.mol = Molecule{1.0, 0.0, RZ};
  std::array<double, 10> RP{};
  RP[0] = RP1;
  RP[1] = RP2;
  t.grid = make_grid(kNA, NB, RP);
  t.shell = Waves{0, 0, n, 1};
  t.E1 = -0.5;
  t.x.assign(static_cast<size_t>(NB) * static_cast<size_t>(n), 0.0);
  const double a = 0.5 * RZ;
  for (int L = 0; L < n; ++L) {
    double df = 1.0;
    for (int k = 3; k <= 2 * L + 1; k += 2) df *= k;
    double s = 0.0, term = 1.0;
    for (int k = 0; k < 200; ++k) {
      if (k > 0) term *= (0.5 * a * a) / (k * (2.0 * L + 2.0 * k + 1.0));
      s += term;
      if (term < 1e-18 * s) break;
    }
    const double iL = std::pow(a, L) / df * s;
    for (int j = 1; j <= NB; ++j)
      t.x[static_cast<size_t>(L * NB + j - 1)] =
          std::exp(-a * t.grid.xs[static_cast<size_t>(j - 1)]) * 2.0 * std::sqrt(2.0 * L + 1.0) * iL / t.grid.scale(j);
  }
  return t;
}

TEST(HydrogenOnAFocus, TotalCrossSectionIsExactInLengthAndVelocityForm) {
  const Target h = hydrogen_on_a_focus(1.0, 10, 300, 1.5, 80.0);
  const Waves w0{0, 0, 10, 1}, w1{1, 1, 10, 1};
  double gap = 0.0;
  for (double omega : {0.5005, 0.52, 0.6, 0.75, 1.0, 1.5, 2.0}) {
    const double k = std::sqrt(2.0 * (omega - 0.5));
    Block b0, b1;
    {
      Quiet q;
      bare_block(h.grid, h.mol, w0, k, 7, b0);
      bare_block(h.grid, h.mol, w1, k, 7, b1);
    }
    const Sigma s0 = channel_sigma(h, w0, b0), s1 = channel_sigma(h, w1, b1);
    // One electron: half the listed values; M = 1 stands for M = ±1.
    const double L = 0.5 * (s0.L + 2.0 * s1.L), V = 0.5 * (s0.V + 2.0 * s1.V), exact = hydrogen_sigma(omega);
    EXPECT_NEAR(L / exact, 1.0, 0.01) << "omega = " << omega;
    EXPECT_NEAR(V / exact, 1.0, 0.01) << "omega = " << omega;
    // The final states split evenly into M = 0, +1 and −1.
    EXPECT_NEAR(s0.L / s1.L, 1.0, 1e-3) << "omega = " << omega;
    gap = std::max(gap, std::fabs(L - V) / L);
  }
  EXPECT_LT(gap, 0.01);
}

TEST(HydrogenMoleculeIon, CrossSectionsAtThirtyTwoFortyAndSixtyElectronvolts) {
  const Target t = make_target(1.0, 1.0, 2.0, 12, 600, 1.25, 40.0);
  EXPECT_NEAR(t.E1, -1.1026342144949, 1e-8);
  const Waves su{0, 1, 12, 2}, pu{1, 1, 12, 2};
  struct Case {
    double eV, total, sigma_u;
  } cases[] = {{32.0, 0.7522, 0.0068}, {40.0, 0.3620, 0.0130}, {60.0, 0.1026, 0.0157}};
  for (const auto& c : cases) {
    const double k = std::sqrt(2.0 * (c.eV / kHartreeEV + t.E1));
    Block bs, bp;
    {
      Quiet q;
      bare_block(t.grid, t.mol, su, k, 7, bs);
      bare_block(t.grid, t.mol, pu, k, 7, bp);
    }
    const Sigma s = channel_sigma(t, su, bs), p = channel_sigma(t, pu, bp);
    const double L = 0.5 * s.L + p.L, V = 0.5 * s.V + p.V;
    EXPECT_NEAR(L / c.total, 1.0, 0.02) << c.eV << " eV";
    EXPECT_NEAR(0.5 * s.L / c.sigma_u, 1.0, 0.02) << c.eV << " eV";
    EXPECT_NEAR(V / L, 1.0, 0.01) << c.eV << " eV";
  }
}

TEST(ExactContinuum, IsOrthogonalToTheBoundStateAndBoundStatesAreNormalised) {
  const Target h = hydrogen_on_a_focus(1.0, 10, 300, 1.5, 80.0);
  const Waves w0{0, 0, 10, 1};
  EXPECT_NEAR(overlap(h.grid, 1.0, w0, h.X(), w0, h.X()), 1.0, 1e-5);
  for (double k : {0.2, 0.8, 1.5}) {
    Block b;
    {
      Quiet q;
      bare_block(h.grid, h.mol, w0, k, 7, b);
    }
    for (int s = 1; s <= b.NL; ++s) {
      const double o = overlap(h.grid, 1.0, w0, b.x(h.grid.NB).colsFrom((s - 1) * 10 + 1, 10), w0, h.X());
      EXPECT_LT(std::fabs(o), 1e-4) << "k = " << k << ", solution " << s;
    }
  }
  // Excited bound states of the same symmetry: normalised, mutually orthogonal.
  std::vector<BoundState> st = bare_bound_states(h.mol, w0, 3, -0.01);
  ASSERT_EQ(st.size(), 3u);
  std::vector<double> xa(300 * 10), xb(300 * 10);
  bare_bound_waves(h.grid, h.mol, w0, st[1], lib::Mat(xa.data(), 300, 10));
  bare_bound_waves(h.grid, h.mol, w0, st[2], lib::Mat(xb.data(), 300, 10));
  const lib::CMat A(xa.data(), 300, 10), B(xb.data(), 300, 10);
  EXPECT_NEAR(overlap(h.grid, 1.0, w0, A, w0, A), 1.0, 1e-4);
  EXPECT_NEAR(overlap(h.grid, 1.0, w0, B, w0, B), 1.0, 1e-4);
  EXPECT_LT(std::fabs(overlap(h.grid, 1.0, w0, A, w0, B)), 1e-4);
  EXPECT_LT(std::fabs(overlap(h.grid, 1.0, w0, A, w0, h.X())), 1e-4);
}

// Without electrons the solver must give the exact two-centre continuum: for
// H2+, and for two bare nuclei of charge 7 with ten partial waves, whose
// highest waves grow by many orders of magnitude under their barriers
// before the end of the grid (the case that defeats a plain forward
// propagation of the set).
TEST(StaticExchangeSolver, WithoutElectronsReproducesTheExactContinuum) {
  struct Case {
    double Z, RZ, RP1, RP2;
    int NB;
    std::vector<double> k;
  } cases[] = {{1.0, 2.0, 1.5, 40.0, 300, {0.3, 1.0, 1.5}}, {7.0, 2.068, 1.05, 25.0, 400, {0.4, 1.2}}};
  for (const auto& c : cases) {
    const Target t = make_target(c.Z, c.Z, c.RZ, 10, c.NB, c.RP1, c.RP2);
    const GroundState gs = ground_state_of(ground_state_text(t));
    for (int M : {0, 1}) {
      const Waves w{M, 1, 10, 2};
      ExchangeOptions opt;
      opt.electrons = false;
      StaticExchange se(t.grid, gs, t.mol, 1, w, opt);
      for (double k : c.k) {
        Block exact, solved;
        {
          Quiet q;
          bare_block(t.grid, t.mol, w, k, 7, exact);
          se.block(k, 7, solved);
        }
        const Sigma a = channel_sigma(t, w, exact), b = channel_sigma(t, w, solved);
        EXPECT_NEAR(b.L / a.L, 1.0, 1e-3) << "Z = " << c.Z << ", M = " << M << ", k = " << k;
        EXPECT_NEAR(b.V / a.V, 1.0, 1e-3) << "Z = " << c.Z << ", M = " << M << ", k = " << k;
        EXPECT_LT(se.diagnostics().back().max_value, StaticExchange::kGrownValue);
        // Energy normalised: the asymptotic amplitudes of every solution add up to one.
        for (int s = 0; s < solved.NL; ++s) {
          double sum = 0.0;
          for (int p = 0; p < 10; ++p) {
            const double as = solved.AS[static_cast<size_t>(s * 10 + p)],
                         ac = solved.AC[static_cast<size_t>(s * 10 + p)];
            sum += as * as + ac * ac;
          }
          if (sum != 0.0) {  // slots beyond the open channels are empty
            EXPECT_NEAR(sum, 1.0, 1e-9);
          }
        }
      }
    }
  }
}

// The open shell of one electron ionised: the ion is its closed shells, here
// none (H2+ 1σg¹ → bare nuclei), so the static-exchange solver must give
// the exact two-centre continuum of charge 2, where the closed-shell field
// of the same orbital (J + K of the hole's partner) would not.
TEST(StaticExchangeSolver, OpenShellOfOneElectronLeavesTheFieldOfTheClosedShellIon) {
  const Target t = make_target(1.0, 1.0, 2.0, 10, 300, 1.5, 40.0);
  const GroundState gs = ground_state_of(ground_state_text(t));
  EXPECT_EQ(ion_charge(gs, t.mol, 1, 1), 2.0);
  for (int M : {0, 1}) {
    const Waves w{M, 1, 10, 2};
    ExchangeOptions opt;
    opt.open_electrons = 1;
    StaticExchange open(t.grid, gs, t.mol, 1, w, opt), closed(t.grid, gs, t.mol, 1, w, ExchangeOptions{});
    EXPECT_EQ(open.Zion(), 2.0);
    for (double k : {0.5, 1.2}) {
      Block exact, solved, paired;
      {
        Quiet q;
        bare_block(t.grid, t.mol, w, k, 7, exact);
        open.block(k, 7, solved);
        closed.block(k, 7, paired);
      }
      const Sigma a = channel_sigma(t, w, exact), b = channel_sigma(t, w, solved), c = channel_sigma(t, w, paired);
      EXPECT_NEAR(b.L / a.L, 1.0, 1e-3) << "M = " << M << ", k = " << k;
      EXPECT_NEAR(b.V / a.V, 1.0, 1e-3) << "M = " << M << ", k = " << k;
      EXPECT_GT(std::fabs(c.L / a.L - 1.0), 0.05) << "M = " << M << ", k = " << k;
    }
  }
}

// A closed shell of two frozen σ orbitals (the 1σg and 1σu states of the
// bare two-centre problem with Z = 2), four electrons: the ion has charge 1,
// and the kσu continuum of the 1σg hole must be orthogonal to 1σu.
TEST(StaticExchangeSolver, ClosedShellContinuumIsOrthogonalToTheOccupiedOrbitalOfItsSymmetry) {
  const Target g = make_target(2.0, 2.0, 1.4, 8, 300, 1.25, 40.0);
  const Waves su{0, 1, 8, 2};
  std::vector<double> xu;
  const std::string text = closed_shell_text(g, xu);
  Quiet q;
  const GroundState gs = ground_state_of(text);
  EXPECT_EQ(ion_charge(gs, g.mol), 1.0);

  StaticExchange se(g.grid, gs, g.mol, 1, su, ExchangeOptions{60, 1e-8, true, true});
  for (double k : {0.4, 1.2}) {
    Block b;
    se.block(k, 5, b);
    const auto& d = se.diagnostics().back();
    EXPECT_TRUE(d.converged) << "k = " << k;
    EXPECT_LT(d.max_overlap, 1e-10) << "k = " << k;
    EXPECT_LT(d.k_asymmetry, 1e-2) << "k = " << k;
    for (int i = 1; i <= b.NL; ++i)
      EXPECT_LT(
          std::fabs(overlap(g.grid, 1.4, su, b.x(300).colsFrom((i - 1) * 8 + 1, 8), su, lib::CMat(xu.data(), 300, 8))),
          1e-10);
  }
}

// Strong nuclei (Z = 7) with a closed shell of two frozen orbitals: the
// highest of ten partial waves grow by many orders of magnitude under their
// barriers, yet the channel values must converge in the number of partial
// waves, with a symmetric K matrix and the continuum orthogonal to the
// occupied σu orbital.
TEST(StaticExchangeSolver, ConvergesInThePartialWavesWithHighWavesDeepUnderTheirBarriers) {
  const Target g = make_target(7.0, 7.0, 2.068, 10, 400, 1.05, 25.0);
  std::vector<double> xu;
  const std::string text = closed_shell_text(g, xu);
  Quiet q;
  const GroundState gs = ground_state_of(text);
  for (double k : {0.5, 1.5}) {
    std::vector<Sigma> s;
    for (int nx : {6, 8, 10}) {
      const Waves su{0, 1, nx, 2};
      StaticExchange se(g.grid, gs, g.mol, 1, su, ExchangeOptions{60, 1e-9, true, true});
      Block b;
      se.block(k, 3, b);
      const auto& d = se.diagnostics().back();
      EXPECT_TRUE(d.converged) << "NX = " << nx << ", k = " << k;
      EXPECT_LT(d.max_value, StaticExchange::kGrownValue) << "NX = " << nx << ", k = " << k;
      EXPECT_LT(d.k_asymmetry, 1e-3) << "NX = " << nx << ", k = " << k;
      EXPECT_LT(d.max_overlap, 1e-10) << "NX = " << nx << ", k = " << k;
      s.push_back(channel_sigma(g, su, b));
    }
    for (size_t i = 1; i < s.size(); ++i) {
      EXPECT_NEAR(s[i].L / s[0].L, 1.0, 1e-3) << "k = " << k;
      EXPECT_NEAR(s[i].V / s[0].V, 1.0, 1e-3) << "k = " << k;
    }
  }
}

// The kept solutions are orthonormal, energy-normalised members of the open
// solutions (Σ_K AS_s·AS_t + AC_s·AC_t = δ_st); the kept sets are nested, so
// the channel values grow with the number kept, up to the sum over all open
// eigenchannels.  For H2 (the 1σg orbital of H2+ frozen) the dipole reaches
// the two lowest channels only: two kept solutions give the complete sum.
TEST(StaticExchangeSolver, KeptSolutionsAreOrthonormalNestedAndCompleteForTheDipole) {
  struct Case {
    double Z, RZ, RP1, RP2;
    int NB;
    bool two_shells;
  } cases[] = {{1.0, 1.4, 1.5, 40.0, 300, false}, {7.0, 2.068, 1.05, 25.0, 400, true}};
  for (const auto& c : cases) {
    const Target g = make_target(c.Z, c.Z, c.RZ, 10, c.NB, c.RP1, c.RP2);
    std::vector<double> xu;
    const std::string text = c.two_shells ? closed_shell_text(g, xu) : ground_state_text(g);
    Quiet q;
    const GroundState gs = ground_state_of(text);
    const Waves su{0, 1, 10, 2};
    StaticExchange se(g.grid, gs, g.mol, 1, su, ExchangeOptions{60, 1e-9, true, true});
    for (double k : {0.8, 1.6}) {
      std::vector<Sigma> s;
      int open = 0;
      for (int NL : {2, 4, 10}) {
        Block b;
        se.block(k, NL, b);
        open = se.diagnostics().back().open;
        const int kept = std::min(NL, open);
        for (int x = 0; x < kept; ++x)
          for (int y = 0; y < kept; ++y) {
            double o = 0.0;
            for (int p = 0; p < 10; ++p)
              o += b.AS[static_cast<size_t>(x * 10 + p)] * b.AS[static_cast<size_t>(y * 10 + p)] +
                   b.AC[static_cast<size_t>(x * 10 + p)] * b.AC[static_cast<size_t>(y * 10 + p)];
            EXPECT_NEAR(o, x == y ? 1.0 : 0.0, 1e-10) << "Z = " << c.Z << ", k = " << k << ", NL = " << NL;
          }
        s.push_back(channel_sigma(g, su, b));
      }
      ASSERT_GE(open, 4) << "Z = " << c.Z << ", k = " << k;
      EXPECT_LE(s[0].L, s[1].L * (1.0 + 1e-12)) << "Z = " << c.Z << ", k = " << k;
      EXPECT_LE(s[1].L, s[2].L * (1.0 + 1e-12)) << "Z = " << c.Z << ", k = " << k;
      EXPECT_LE(s[0].V, s[1].V * (1.0 + 1e-12)) << "Z = " << c.Z << ", k = " << k;
      EXPECT_LE(s[1].V, s[2].V * (1.0 + 1e-12)) << "Z = " << c.Z << ", k = " << k;
      if (!c.two_shells) {
        EXPECT_NEAR(s[0].L / s[2].L, 1.0, 1e-3) << "k = " << k;
        EXPECT_NEAR(s[0].V / s[2].V, 1.0, 1e-3) << "k = " << k;
      }
    }
  }
}

}  // namespace

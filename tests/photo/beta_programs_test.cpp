// Asymmetry parameters from the programs: hydrogen on one focus (β = 2 of
// the 1s shell at every energy although the partial waves are taken about
// the midpoint), H2+ at R = 2 (length = velocity for the exact states, the
// atomic limit at large momentum), the table of a run and its file rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "photo/beta_table.hpp"
#include "photo/beta_table_reader.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;
using testsupport::source_file;

using testsupport::read_beta_table;

std::string channel_control(const std::string& gs, const std::string& fic, int M, const std::string& grid) {
  return "&CHN\n FIG = '" + gs + "', FIC = '" + fic + "', FIL = '" + fic +
         ".lst',\n NSI = 1, M = " + std::to_string(M) + ", NL = 7, " + grid + ", IPOT = 0,\n/\n";
}

// Ground state, the M = 0 and M = 1 channels with every open solution kept,
// and the given photoionisation programs on them.
void one_electron_run(const ScratchDir& dir, const std::string& example, const std::string& res,
                      const std::string& grid, const std::vector<std::string>& programs,
                      const std::string& more_s40 = "") {
  dir.write("Dp_Data.dsc", source_file("examples/" + example + "/Dp_Data.dsc"));
  dir.write("Velor.prt", source_file("examples/" + example + "/Velor.prt"));
  ASSERT_EQ(run_program_in(dir.path(), "tovrel").status, 0);
  ASSERT_EQ(run_program_in(dir.path(), "gsfile " + res + " g.gs").status, 0);
  for (int M = 0; M <= 1; ++M) {
    std::string fic = "m";
    fic += std::to_string(M);
    dir.write("File.CHN", channel_control("g.gs", fic + ".chn", M, grid));
    auto c = run_program_in(dir.path(), "chanfile");
    ASSERT_EQ(c.status, 0) << c.output;
    std::filesystem::remove(dir.path() / "File.CHN");
  }
  for (const std::string& p : programs) {
    std::ostringstream d40;
    d40 << "&S40\n NCH = 2, FIL = '" << p << ".lst', FIG = 'g.gs', FIR = '" << p
        << ".dat',\n FIC = 'm0.chn', 'm1.chn', IRP = 0, NEM = 110, NUR = 0, MIE = 0," << more_s40 << "\n/\n";
    dir.write("File.D40", d40.str());
    auto x = run_program_in(dir.path(), p);
    ASSERT_EQ(x.status, 0) << x.output;
    std::filesystem::remove(dir.path() / "File.D40");
  }
}

// The blocks of a table of molecular-frame distributions: the polarisation
// angle and σ of the orientation from the block head, rows θ, φ, L, V.
struct MfpadBlock {
  std::string head;
  int omega_index = 0;
  double chi = 0.0, sigmaL = 0.0, sigmaV = 0.0;
  std::vector<std::vector<double>> rows;
};

std::vector<MfpadBlock> read_mfpad(const std::string& text) {
  std::vector<MfpadBlock> blocks;
  std::istringstream in(text);
  std::string previous_energy;
  int energies = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# HF shell", 0) == 0 || line.rfind("# RPA shell", 0) == 0) {
      MfpadBlock b;
      b.head = line;
      const std::string energy = line.substr(0, line.find(", polarisation"));
      if (energy != previous_energy) ++energies;
      previous_energy = energy;
      b.omega_index = energies;
      b.chi = std::stod(line.substr(line.find("polarisation at ") + 16));
      blocks.push_back(b);
    } else if (line.rfind("# sigma of this orientation", 0) == 0 && !blocks.empty()) {
      std::sscanf(line.c_str(), "# sigma of this orientation (Mb): L %lf V %lf", &blocks.back().sigmaL,
                  &blocks.back().sigmaV);
    } else if (!line.empty() && line[0] != '#' && !blocks.empty()) {
      std::istringstream r(line);
      std::vector<double> row;
      for (double v; r >> v;) row.push_back(v);
      blocks.back().rows.push_back(row);
    }
  }
  return blocks;
}

// Exact 1s cross section (Mb) at photon energy ω (hartree).
double hydrogen_sigma(double omega) {
  const double x = omega / 0.5, e = std::sqrt(x - 1.0);
  return 6.304318 * std::pow(x, -4) * std::exp(4.0 - 4.0 * std::atan(e) / e) / (1.0 - std::exp(-2.0 * M_PI / e));
}

TEST(AsymmetryOfPrograms, HydrogenOnOneFocusGivesTwoAtEveryEnergyInBothForms) {
  ScratchDir dir("beta_h");
  one_electron_run(dir, "h-atom", "h.res", "NC = 11, P0 = 0.05, DP = 0.2", {"xsect", "xsect_a"},
                   " NMF = 2, EMF = 0.8, 1.5, NAF = 3, AMF = 0, 90, 35,");
  for (const std::string p : {"xsect", "xsect_a"}) {
    SCOPED_TRACE(p);
    // Fixed in space, an s electron leaves as a p wave about the polarisation
    // whatever the direction of the "axis": (3σ/4π)·cos²γ, γ from ê, and σ
    // the same for every orientation (both energies between nodes).
    const std::vector<MfpadBlock> mf = read_mfpad(dir.read(p + ".lst.mfpad"));
    ASSERT_EQ(mf.size(), 6u);
    for (const MfpadBlock& b : mf) {
      SCOPED_TRACE(b.head);
      EXPECT_NEAR(b.sigmaL / mf[b.omega_index * 3].sigmaL, 1.0, 1e-5);
      const double c = b.chi * M_PI / 180.0;
      for (const auto& r : b.rows) {
        const double t = r[0] * M_PI / 180.0, f = r[1] * M_PI / 180.0;
        const double cg = std::sin(t) * std::cos(f) * std::sin(c) + std::cos(t) * std::cos(c);
        const double want = 3.0 * b.sigmaL / (4.0 * M_PI) * cg * cg, peak = 3.0 * b.sigmaL / (4.0 * M_PI);
        EXPECT_NEAR(r[2], want, 1e-4 * peak) << r[0] << " " << r[1];
        EXPECT_NEAR(r[3], want, 5e-4 * peak) << r[0] << " " << r[1];
      }
    }
    auto t = read_beta_table(dir.read(p + ".lst.beta"));
    const auto& shell = t["HF shell 1"];
    ASSERT_EQ(shell.size(), 11u);
    const auto& m0 = t["HF channel 1"];
    const auto& m1 = t["HF channel 2"];
    for (size_t j = 0; j < shell.size(); ++j) {
      SCOPED_TRACE("omega = " + std::to_string(shell[j][1]));
      EXPECT_NEAR(shell[j][4], 2.0, 1e-3);
      EXPECT_NEAR(shell[j][5], 2.0, 1e-3);
      // The z component alone reaches cos²θ about the nucleus, the
      // transverse ones sin²θ: 0.8 and 1.4.
      EXPECT_NEAR(m0[j][4], 0.8, 1e-3);
      EXPECT_NEAR(m1[j][5], 1.4, 1e-3);
      // Weights: M = 0 plus twice M = 1, halved for one electron, is the
      // exact cross section.
      EXPECT_NEAR(shell[j][2] / 2.0 / hydrogen_sigma(shell[j][1]), 1.0, 3e-3);
      EXPECT_NEAR(shell[j][3] / 2.0 / hydrogen_sigma(shell[j][1]), 1.0, 3e-3);
    }
  }
  // The listing carries the section after its tables.
  EXPECT_NE(dir.read("xsect.lst").find(" Beta, Hartree-Fock, shell 1:"), std::string::npos);
}

// H2+ at R = 2: the exact two-centre continuum.  Length and velocity agree
// as for exact states; at large momentum the electron leaves as from one
// atom, β → 2; near threshold the second centre lowers it.
TEST(AsymmetryOfPrograms, H2PlusLengthEqualsVelocityAndTendsToTheAtomicLimit) {
  ScratchDir dir("beta_h2p");
  one_electron_run(dir, "h2p-photo", "h2p.res", "NX = 8, NC = 15, P0 = 0.05, DP = 0.25", {"xsect"});
  auto t = read_beta_table(dir.read("xsect.lst.beta"));
  const auto& shell = t["HF shell 1"];
  ASSERT_EQ(shell.size(), 15u);
  for (size_t j = 0; j < shell.size(); ++j) EXPECT_NEAR(shell[j][4], shell[j][5], 1e-4) << j;
  for (size_t j = 1; j < shell.size(); ++j) EXPECT_GT(shell[j][4], shell[j - 1][4]) << j;
  EXPECT_LT(shell.front()[4], 1.5);
  EXPECT_NEAR(shell.back()[4], 2.0, 0.02);  // k = 3.55: 200 eV
}

// The table is the listing's name with ".beta"; an existing one stops the
// run before any file is created.
TEST(AsymmetryOfPrograms, AnExistingTableIsNotOverwritten) {
  ScratchDir dir("beta_exists");
  dir.write(
      "File.D40",
      "&S40\n NCH = 1, FIL = 'x.lst', FIG = 'g.gs', FIR = 'x.dat',\n FIC = 'm0.chn', IRP = 0, NEM = 1, NUR = 0,\n/\n");
  dir.write("x.lst.beta", "keep me\n");
  auto x = run_program_in(dir.path(), "xsect");
  EXPECT_EQ(x.status, 1);
  EXPECT_NE(x.output.find("x.lst.beta"), std::string::npos) << x.output;
  EXPECT_EQ(dir.read("x.lst.beta"), "keep me\n");
  EXPECT_FALSE(dir.exists("x.lst"));
  EXPECT_FALSE(dir.exists("x.dat"));
  EXPECT_EQ(photo::beta_table_name("n2.lst"), "n2.lst.beta");
}

// The RPA rows take complex amplitudes: a phase common to all solutions
// leaves β alone, a relative phase between solutions changes it; a block
// that is not orthonormal gives no β and says why.
TEST(AsymmetryTable, RpaPhasesAndBlocksWithoutOrthonormalSolutions) {
  std::vector<double> f(81, 1.0);
  for (int n = 1; n <= 80; ++n) f[static_cast<size_t>(n)] = f[static_cast<size_t>(n - 1)] * n;
  const lib::Fac F(f.data(), 81);
  // Two solutions of two partial waves (L = 1, 3): eigenchannel form.
  const double d1 = 0.4, d2 = -0.9, t = 0.3;
  const double c[2][2] = {{std::cos(t), std::sin(t)}, {-std::sin(t), std::cos(t)}};
  auto run = [&](bool orthonormal, std::complex<double> r1, std::complex<double> r2) {
    photo::BetaTable tab;
    tab.channel(1, {1, 0, 0, 1, 2, 2, 2, 1, -0.5});
    const double D[2] = {0.8, -0.3};
    const double delta[2] = {d1, d2};
    for (int j = 0; j < 2; ++j) {
      double as[2], ac[2];
      for (int k = 0; k < 2; ++k) {
        as[k] = c[j][k] * std::cos(delta[j] + 1.3 * k);
        ac[k] = c[j][k] * std::sin(delta[j] + 1.3 * k);
      }
      if (!orthonormal) as[1] += 0.1;
      tab.hf_solution(1, 1, j + 1, {0.5, lib::CVec(ac, 2), lib::CVec(as, 2), D[j], D[j], 1.0, 1.0});
    }
    double rr[2] = {r1.real() * D[0], r2.real() * D[1]}, ri[2] = {r1.imag() * D[0], r2.imag() * D[1]};
    tab.rpa_amplitudes(1, 1, 0.5, 1.0, 2, {lib::Vec(rr, 2), lib::Vec(ri, 2), lib::Vec(rr, 2), lib::Vec(ri, 2)});
    tab.compute(F);
    return tab;
  };
  const auto same = run(true, std::polar(1.0, 0.7), std::polar(1.0, 0.7));
  ASSERT_EQ(same.channels().size(), 1u);
  const double hf = same.channels()[0].hf[0].betaL;
  EXPECT_TRUE(std::isfinite(hf));
  EXPECT_NEAR(same.channels()[0].rpa[0].betaL, hf, 1e-12);
  EXPECT_NEAR(same.channels()[0].rpa[0].sigmaL, 5.378 * (0.64 + 0.09), 1e-9);
  const auto shifted = run(true, 1.0, std::polar(1.0, 1.0));
  EXPECT_GT(std::fabs(shifted.channels()[0].rpa[0].betaL - hf), 1e-3);
  const auto bad = run(false, 1.0, 1.0);
  EXPECT_TRUE(std::isnan(bad.channels()[0].hf[0].betaL));
  ASSERT_FALSE(bad.channels()[0].notes.empty());
  EXPECT_NE(bad.channels()[0].notes[0].find("not orthonormal"), std::string::npos);
}

// Two ionic terms of one hole: their channels have the same shell and final
// m and must not interfere.  Grouped by the shell the β is refused; grouped
// by state (IST) each state's β is that of its own channel.
TEST(AsymmetryTable, TheTermsOfOneHoleEachHaveTheirOwnBeta) {
  std::vector<double> f(81, 1.0);
  for (int n = 1; n <= 80; ++n) f[static_cast<size_t>(n)] = f[static_cast<size_t>(n - 1)] * n;
  const lib::Fac F(f.data(), 81);
  auto run = [&](int state1, int state2) {
    photo::BetaTable tab;
    const double phase[2] = {0.2, 1.1};
    for (int c = 1; c <= 2; ++c) {
      photo::BetaTable::Channel ch{1, 0, 0, 1, 2, 2, 1, 1, -0.5};
      ch.state = c == 1 ? state1 : state2;
      tab.channel(c, ch);
      double as[2] = {std::cos(phase[c - 1]), 0.5 * std::cos(phase[c - 1] + 0.9 * c)};
      double ac[2] = {std::sin(phase[c - 1]), 0.5 * std::sin(phase[c - 1] + 0.9 * c)};
      const double norm = std::sqrt(as[0] * as[0] + ac[0] * ac[0] + as[1] * as[1] + ac[1] * ac[1]);
      for (int k = 0; k < 2; ++k) as[k] /= norm, ac[k] /= norm;
      tab.hf_solution(c, 1, 1, {0.5, lib::CVec(ac, 2), lib::CVec(as, 2), 0.7, 0.7, 1.0, 1.0});
    }
    tab.compute(F);
    return tab;
  };
  const auto by_shell = run(0, 0);
  ASSERT_EQ(by_shell.shells().size(), 1u);
  EXPECT_TRUE(std::isnan(by_shell.shells()[0].hf[0].betaL));
  const auto by_state = run(1, 2);
  ASSERT_EQ(by_state.shells().size(), 2u);
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(by_state.shells()[k].label, "state " + std::to_string(k + 1));
    EXPECT_TRUE(std::isfinite(by_state.shells()[k].hf[0].betaL));
    EXPECT_NEAR(by_state.shells()[k].hf[0].betaL, by_state.channels()[k].hf[0].betaL, 1e-12);
  }
  EXPECT_GT(std::fabs(by_state.shells()[0].hf[0].betaL - by_state.shells()[1].hf[0].betaL), 1e-3);
}

// A term met in two mirror-image arrangements: the state's waves are the
// first arrangement's and the mirror image of the second's m > 0 channel.
// In a reflection-symmetric field the second is the first's copy, and the
// state's β must be the one the default mirroring gives.
TEST(AsymmetryTable, MirrorImagesNamedChannelByChannelGiveTheDefaultBeta) {
  std::vector<double> f(81, 1.0);
  for (int n = 1; n <= 80; ++n) f[static_cast<size_t>(n)] = f[static_cast<size_t>(n - 1)] * n;
  const lib::Fac F(f.data(), 81);
  auto add = [](photo::BetaTable& tab, int c, int M, int L0, int state, int mirror, double phase, double D) {
    photo::BetaTable::Channel ch{1, 0, M, L0, 2, 2, 1, 1, -0.5};
    ch.state = state, ch.mirror = mirror;
    tab.channel(c, ch);
    double as[2] = {std::cos(phase), 0.6 * std::cos(phase + 0.7)},
           ac[2] = {std::sin(phase), 0.6 * std::sin(phase + 0.7)};
    const double norm = std::sqrt(1.0 + 0.36);
    for (int k = 0; k < 2; ++k) as[k] /= norm, ac[k] /= norm;
    tab.hf_solution(c, 1, 1, {0.5, lib::CVec(ac, 2), lib::CVec(as, 2), D, D, 1.0, 1.0});
  };
  photo::BetaTable plain, named;
  add(plain, 1, 0, 1, 0, 0, 0.3, 0.8);
  add(plain, 2, 1, 1, 0, 0, 1.4, -0.5);
  add(named, 1, 0, 1, 1, 0, 0.3, 0.8);
  add(named, 2, 1, 1, 1, 0, 1.4, -0.5);
  add(named, 3, 0, 1, 1, -1, 0.3, 0.8);
  add(named, 4, 1, 1, 1, 1, 1.4, -0.5);
  plain.compute(F);
  named.compute(F);
  const double want = plain.shells()[0].hf[0].betaL;
  ASSERT_TRUE(std::isfinite(want));
  EXPECT_GT(std::fabs(want - plain.channels()[0].hf[0].betaL), 1e-3);
  EXPECT_NEAR(named.shells()[0].hf[0].betaL, want, 1e-12);
}

}  // namespace

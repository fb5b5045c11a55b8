// Reading back the programs' files and turning listed channel values into
// cross sections: the energy block, the orbital block, the xsect listing,
// the weights of the channels.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "diatom/asymmetry.hpp"
#include "diatom/channels.hpp"
#include "diatom/cross_sections.hpp"
#include "diatom/listings.hpp"
#include "diatom/molecule.hpp"
#include "diatom/resonances.hpp"
#include "diatom/result_errors.hpp"
#include "io/stop.hpp"
#include "support/programs.hpp"

namespace {

TEST(EnergyBlock, ReadsTheBlockWhenPresentAndNothingOtherwise) {
  const std::string with =
      "   N SHELL          ENEGIES\n      1        -0.11026342E+01\n"
      " TOTAL ENERGY =     -1.133629571\n NUCLEAR REPULSION = 0.714285714285714\n"
      " ELECTRONIC ENERGY = -0.18479D+01\n KINETIC ENERGY = 1.1336\n VIRIAL RATIO = 2.0000001\n"
      " ORBITAL ENERGY(1) = -0.594659\n ORBITAL ENERGY(2) = 1 2\n CN = 0.5\n";
  const auto b = diatom::energy_block(with);
  EXPECT_DOUBLE_EQ(b.at("TOTAL ENERGY"), -1.133629571);
  EXPECT_DOUBLE_EQ(b.at("ELECTRONIC ENERGY"), -1.8479);
  EXPECT_DOUBLE_EQ(b.at("VIRIAL RATIO"), 2.0000001);
  EXPECT_DOUBLE_EQ(b.at("ORBITAL ENERGY(1)"), -0.594659);
  EXPECT_EQ(b.count("ORBITAL ENERGY(2)"), 0u) << "two values after '=' are not one value";
  EXPECT_EQ(b.count("CN"), 0u);
  EXPECT_TRUE(diatom::energy_block("   N SHELL          ENEGIES\n      1        -0.11026342E+01\n").empty());
  // The orbital energies of the block replace the nine digits of the result
  // file only when every shell is there.
  const auto two = diatom::energy_block(" ORBITAL ENERGY( 2) = -0.30173908912\n ORBITAL ENERGY(1) = -2.44523517\n");
  EXPECT_EQ(diatom::block_orbital_energies(two, 2), (std::vector<double>{-2.44523517, -0.30173908912}));
  EXPECT_TRUE(diatom::block_orbital_energies(two, 3).empty());
  EXPECT_TRUE(diatom::block_orbital_energies(b, 2).empty());
}

// The energy blocks of two NO X2Pi runs: one converged, one whose sweeps came
// to rest on orbitals of no state (the shells listed out of order).
TEST(EnergyBlock, OrbitalsThatSolveNoStateAreNamed) {
  const std::string sound =
      "ELECTRONIC ENERGY =  -1.550460638745449E+02\n"
      " ELECTRONIC ENERGY AS THE DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS  -1.550460639745519E+02\n"
      " BRILLOUIN GRADIENT OF SHELLS 7 AND 6 =  -1.69E-08\n";
  EXPECT_FALSE(diatom::ground_state_defect(sound));
  EXPECT_FALSE(diatom::ground_state_defect("ELECTRONIC ENERGY =  -1.1\n"));  // a closed-shell listing of old
  const std::string gradient =
      "ELECTRONIC ENERGY =  -1.222906305888204E+02\n"
      " ELECTRONIC ENERGY AS THE DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS  -1.222906305888204E+02\n"
      " BRILLOUIN GRADIENT OF SHELLS 7 AND 6 =   7.43E-01\n";
  const auto g = diatom::ground_state_defect(gradient);
  ASSERT_TRUE(g);
  EXPECT_NE(g->find("BRILLOUIN GRADIENT OF SHELLS 7 AND 6 =   7.43E-01"), std::string::npos) << *g;
  const std::string identity =
      "ELECTRONIC ENERGY =  -1.222906305888204E+02\n"
      " ELECTRONIC ENERGY AS THE DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS  -1.222994836126294E+02\n";
  const auto e = diatom::ground_state_defect(identity);
  ASSERT_TRUE(e);
  EXPECT_NE(e->find("differ by 8.85e-03"), std::string::npos) << *e;
}

// CN's open 5σ (shell 6) against the closed 1σ … 4σ: the largest |dE/dθ|
// enters the open orbital energy's error estimate (its sweeps rest off the
// stationary angle by g/H).
TEST(EnergyBlock, TheOpenShellsLargestBrillouinGradient) {
  const auto g = diatom::brillouin_gradients(
      " BRILLOUIN GRADIENT OF SHELLS 6 AND 1 =  -1.62E-07\n"
      " BRILLOUIN GRADIENT OF SHELLS 6 AND 4 =   3.86E-06\n"
      " BRILLOUIN GRADIENT OF SHELLS 6 AND 3 =  -4.62E-06\n"
      " TOTAL ENERGY = -92.2\n");
  ASSERT_EQ(g.size(), 1u);
  EXPECT_DOUBLE_EQ(g.at(5), 4.62e-6);
  EXPECT_TRUE(diatom::brillouin_gradients("ELECTRONIC ENERGY =  -1.1\n").empty());
}

TEST(OrbitalBlock, EnergiesOfEveryShellPastTheGroupEcho) {
  testsupport::ScratchDir dir("diatom_res");
  // Two shells of 2 and 1 partial waves on 7 points (two lines per wave),
  // one value with a three-digit exponent.
  std::string res = "&D00\n Z1 = 3.0,\n /\n    2        7\n     1    2\n     -0.244523517E+01     0.100000000E+01\n";
  for (int w = 0; w < 2; ++w) res += "  0.1E+00  0.1E+00  0.1E+00  0.1E+00  0.1E+00\n  0.1-101  0.2E+00\n";
  res +=
      "     2    1\n     -0.301739089E+00     0.100000000E+01\n  0.1E+00  0.1E+00  0.1E+00  0.1E+00  0.1E+00\n 0.1 "
      "0.2\n";
  dir.write("a.res", res);
  const auto e = diatom::result_energies((dir.path() / "a.res").string());
  ASSERT_EQ(e.size(), 2u);
  EXPECT_DOUBLE_EQ(e[0], -2.44523517);
  EXPECT_DOUBLE_EQ(e[1], -0.301739089);
  // A count of waves that is not one stops naming the file and its record.
  res.replace(res.find("     2    1\n"), 12, "     2    one\n");
  dir.write("b.res", res);
  try {
    diatom::result_energies((dir.path() / "b.res").string());
    ADD_FAILURE() << "a count of partial waves 'one' was read";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("b.res', record 11: 'one' is not a count of partial waves"), std::string::npos)
        << s.message();
  }
}

// An xsect listing cut down to two channels: wrapped rows, a bound extra
// function (E < 0) left out, photon energy = E − threshold, and the RPA part.
const char* kListing =
    " Hartree-Fock results:\n"
    "------------------------------------------------------------\n"
    " Channel  1:  Ionised shell - 1;\n"
    "              Final m = 0;\n"
    "              Theoretical  threshold: E = -0.5000000E+00\n"
    " - - - - - -\n R-form:\n                Partial c.s. for L =\n"
    "      E           1           3           5           7           9           11        Total C.S.\n"
    " -0.1250E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.9999E+00\n"
    "  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.2000E+01\n"
    "  0.3000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.1000E+01\n"
    "\n - - - - - -\n V-form:\n                Partial c.s. for L =\n"
    "      E           1           3           5           7           9           11        Total C.S.\n"
    " -0.1250E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.9999E+00\n"
    "  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.1800E+01\n"
    "  0.3000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00  0.1000E+00\n  0.9000E+00\n"
    "------------------------------------------------------------\n"
    " Channel  2:  Ionised shell - 1;\n"
    "              Final m = 1;\n"
    "              Theoretical  threshold: E = -0.5000000E+00\n"
    " - - - - - -\n R-form:\n                Partial c.s. for L =\n"
    "      E           1        Total C.S.\n"
    "  0.1000E+00  0.4000E+01  0.4000E+01\n  0.3000E+00  0.3000E+01  0.3000E+01\n\n"
    " - - - - - -\n V-form:\n                Partial c.s. for L =\n"
    "      E           1        Total C.S.\n"
    "  0.1000E+00  0.4000E+01  0.4000E+01\n  0.3000E+00  0.3000E+01  0.3000E+01\n\n"
    "============================================================\n\n RPA results:\n"
    "------------------------------------------------------------\n Channel  1:\n - - -\n"
    "    E, a.u.      Om, a.u.          C.S.(L)        C.S.(V)\n"
    "  0.100E+00    0.6000E+00       0.1500E+01     0.1400E+01\n"
    "  0.300E+00    0.8000E+00       0.7000E+00     0.6000E+00\n";

TEST(XsectListing, ChannelsThresholdsRowsAndRpa) {
  const diatom::XsectListing x = diatom::read_xsect_listing(kListing);
  ASSERT_EQ(x.hf.size(), 2u);
  EXPECT_DOUBLE_EQ(x.threshold[0], -0.5);
  ASSERT_EQ(x.hf[0].omega.size(), 2u) << "the bound function's row is not a cross section";
  EXPECT_DOUBLE_EQ(x.hf[0].omega[0], 0.6);
  EXPECT_DOUBLE_EQ(x.hf[0].L[0], 2.0);
  EXPECT_DOUBLE_EQ(x.hf[0].V[1], 0.9);
  EXPECT_DOUBLE_EQ(x.hf[1].L[1], 3.0);
  ASSERT_EQ(x.rpa.size(), 2u);
  ASSERT_EQ(x.rpa[0].omega.size(), 2u);
  EXPECT_DOUBLE_EQ(x.rpa[0].V[1], 0.6);
  EXPECT_TRUE(x.rpa[1].omega.empty());
  const auto mid = x.hf[0].at(0.7);
  ASSERT_TRUE(mid.has_value());
  EXPECT_NEAR(mid->first, 1.5, 1e-12);
  EXPECT_FALSE(x.hf[0].at(0.9).has_value());
}

// A malformed count in a program's file stops the collection naming the
// file and the record, not with the bare name of a library routine.
TEST(XsectListing, AMalformedNumberNamesTheFileAndTheRecord) {
  std::string listing = kListing;
  listing.replace(listing.find("Channel  2:"), 11, "Channel x2:");
  try {
    diatom::read_xsect_listing(listing, "r/xsect.lst");
    ADD_FAILURE() << "a channel number 'x2' was read";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("'r/xsect.lst', record 28: 'x2' is not a channel number"), std::string::npos)
        << s.message();
  }
}

TEST(ChannelWeights, FromListedValuesToShellCrossSections) {
  struct Case {
    const char* shell;
    bool equal, one_electron;
    std::vector<int> finals;
    std::vector<double> weights;
  } cases[] = {
      {"3sg", true, false, {0, 1}, {1, 2}},        // σ(M = 0) + 2σ(M = 1)
      {"1pu", true, false, {0, 1, 2}, {2, 2, 2}},  // 2[σ(0) + σ(1) + σ(2)]
      {"1sg", true, true, {0, 1}, {0.5, 1}},       // one electron: half
      {"1s", false, true, {0, 1}, {0.5, 1}},       // hydrogen on a focus
      {"1d", false, false, {1, 2, 3}, {2, 2, 2}},
      {"2p1", false, false, {0, 1, 2}, {0.5, 0.5, 0.5}},  // one π electron of four: a quarter
      {"5s1", false, false, {0, 1}, {0.5, 1}},            // one σ electron of two: half
  };
  for (const Case& c : cases) {
    const diatom::Shell s = diatom::parse_shell(c.shell, c.equal, "t");
    EXPECT_EQ(diatom::final_projections(s.M), c.finals) << c.shell;
    for (size_t k = 0; k < c.finals.size(); ++k) {
      EXPECT_EQ(diatom::channel_weight(s, c.finals[k], c.one_electron), c.weights[k]) << c.shell;
    }
  }
}

// A hole of an open-shell molecule splits its cross section among the
// ionic terms: over the terms and their arrangements the channel weights
// add up to the full shell's, times the hole orbital's occupation per place
// (1 for a closed shell, q/N for the open shell), as the dipole's spin sum
// demands; each term is one ionic state of the results.
TEST(ChannelWeights, TheTermsOfAHoleShareItsCrossSection) {
  struct Case {
    double Z1, Z2, RZ;
    const char *shells, *state, *ion;
    std::vector<std::string> states;
  } cases[] = {
      {8, 8, 2.282, "1sg 1su 2sg 2su 3sg 1pu 1pg2", "3Sg-", "1pg 1pu 3sg",
       {"1pg_2Pg", "1pu_4Pu", "1pu_2Pu", "3sg_4Sg-", "3sg_2Sg-"}},
      {7, 8, 2.175, "1s 2s 3s 4s 5s 1p 2p1", "2Pi", "5s 1p 2p", {"5s_3P", "5s_1P", "1p_3S+", "1p_3S-",
       "1p_3D", "1p_1S+", "1p_1S-", "1p_1D", "2p"}},
  };
  for (const Case& c : cases) {
    diatom::MOL mol;
    mol.Z1 = c.Z1, mol.Z2 = c.Z2, mol.RZ[0] = c.RZ, mol.SHELLS = c.shells, mol.STATE = c.state, mol.ION = c.ion;
    mol.EMIN = 20, mol.EMAX = 40;
    const diatom::Molecule m = diatom::describe_molecule(mol, "x.mol");
    const std::vector<diatom::Channel> ch = diatom::dipole_channels(m, "x.mol");
    std::vector<std::string> names;
    for (size_t k = 0; k < ch.size(); ++k) {
      const diatom::Channel& x = ch[k];
      const std::string name = m.shells[x.shell].name + (x.term_text.empty() ? "" : "_" + x.term_text);
      if (k == 0 || x.state != ch[k - 1].state) names.push_back(name);
    }
    std::multiset<std::string> got(names.begin(), names.end()), want(c.states.begin(), c.states.end());
    EXPECT_EQ(got, want) << c.shells;
    for (int hole : m.ionised) {
      diatom::Shell full = m.shells[hole];
      const double occupation = static_cast<double>(full.electrons()) / full.full();
      full.occupation = 0;
      double sum = 0, want_sum = 0;
      for (int f : diatom::final_projections(full.M)) want_sum += diatom::channel_weight(full, f, false) * occupation;
      for (const diatom::Channel& x : ch) sum += x.shell == hole ? x.weight : 0.0;
      EXPECT_NEAR(sum, want_sum, 1e-12) << m.shells[hole].name;
    }
  }
}

TEST(CrossSections, WeightedSumsZeroBelowAThresholdAndMissingAboveTheGrid) {
  diatom::MOL mol;
  mol.Z1 = 7, mol.Z2 = 7, mol.RZ[0] = 2.068, mol.SHELLS = "1sg 1su 2sg 2su 3sg 1pu", mol.ION = "3sg 2su";
  mol.EMIN = 1, mol.EMAX = 100;
  const diatom::Molecule m = diatom::describe_molecule(mol, "x.mol");
  std::vector<diatom::Channel> ch(4);
  ch[0].shell = 4, ch[0].M = 0, ch[0].weight = 1;
  ch[1].shell = 4, ch[1].M = 1, ch[1].weight = 2;
  ch[2].shell = 3, ch[2].M = 0, ch[2].weight = 1;
  ch[3].shell = 3, ch[3].M = 1, ch[3].weight = 2;
  diatom::XsectListing x;
  x.threshold = {-0.6, -0.6, -0.8, -0.8};
  const double h = diatom::kHartreeEV;
  auto curve = [](std::vector<double> w, double v) {
    diatom::Curve c;
    c.omega = w, c.L.assign(w.size(), v), c.V.assign(w.size(), v / 2);
    return c;
  };
  x.hf = {curve({0.7, 1.0, 1.3}, 1.0), curve({0.7, 1.0, 1.3}, 3.0), curve({0.9, 1.0}, 10.0), curve({0.9, 1.0}, 20.0)};
  const diatom::CrossSections cs = diatom::combine_channels(m, ch, x);
  ASSERT_EQ(cs.ev.size(), 4u);
  EXPECT_NEAR(cs.ev[0], 0.7 * h, 1e-9);
  // 0.7 hartree: 3sg 1 + 2·3 = 7; 2su below its threshold 0.8: 0.
  EXPECT_DOUBLE_EQ(cs.shell[0][0][0], 7.0);
  EXPECT_DOUBLE_EQ(cs.shell[0][1][0], 0.0);
  EXPECT_DOUBLE_EQ(cs.total[0][0], 7.0);
  EXPECT_DOUBLE_EQ(cs.total[1][0], 3.5);
  // 1.0 hartree: 7 + 10 + 2·20.
  EXPECT_DOUBLE_EQ(cs.total[0][2], 57.0);
  // 1.3 hartree: above the 2su grid, the total is not known.
  EXPECT_TRUE(std::isnan(cs.total[0][3]));
  EXPECT_NE(diatom::shell_table(cs).find("          -"), std::string::npos);

  // Nodes above the range's end up to the continuum's top served the RPA's
  // integrals: the rows end at each channel's first node at or above it.
  for (diatom::Channel& c : ch) c.results_end = 0.95 * h;
  const diatom::CrossSections cut = diatom::combine_channels(m, ch, x);
  ASSERT_EQ(cut.ev.size(), 3u);
  EXPECT_NEAR(cut.ev.back(), 1.0 * h, 1e-9);
  EXPECT_DOUBLE_EQ(cut.total[0][2], 57.0);
}

// The errors from the check: at the rule's nodes twice the change plus
// half the listing's and the table's last digits; the rows that miss STOL, with the reason
// (a threshold between the row's neighbours); the interval whose check
// node lies off the smooth curve through the rule's nodes (a resonance the
// step does not resolve; the smooth rise elsewhere is not named),
// and the columns and the band that carry the errors.
TEST(CrossSections, ErrorsFromTheCheckAndTheTargetReport) {
  auto table = [](std::vector<double> ev, std::vector<double> v) {
    diatom::CrossSections cs;
    cs.ev = ev;
    cs.shell_names = {"3sg"};
    for (int k = 0; k < 2; ++k) cs.shell[k] = {v}, cs.total[k] = v, cs.channel[k] = {v};
    return cs;
  };
  diatom::CrossSections rule = table({10, 12, 14, 16}, {1.0, 1.2, 1.4, 1.6});
  const diatom::CrossSections check = table({10, 11, 12, 13, 14, 15, 16}, {1.003, 1.1, 1.2, 2.0, 1.4, 1.5, 1.6});
  EXPECT_DOUBLE_EQ(diatom::value_at(check.ev, check.total[0], 12.0005), 1.2);
  EXPECT_DOUBLE_EQ(diatom::value_at(check.ev, check.total[0], 12.5), 1.6);
  EXPECT_TRUE(std::isnan(diatom::value_at(check.ev, check.total[0], 17)));
  diatom::add_sigma_errors(rule, check);
  EXPECT_NEAR(rule.total_error[0][0], 2 * 0.003 + 5e-4 + 5e-6, 1e-12);
  EXPECT_NEAR(rule.shell_error[1][0][1], 1.2 * 5e-4 + 5e-6, 1e-12);

  const std::vector<std::string> report = diatom::target_report(rule, check, {9.9}, {0.004, 0.02});
  ASSERT_EQ(report.size(), 3u);
  EXPECT_NE(report[0].find("3 of 4 energies within it"), std::string::npos) << report[0];
  EXPECT_NE(report[1].find("10.000 eV: missed"), std::string::npos) << report[1];
  EXPECT_NE(report[1].find("next to the threshold at 9.900 eV"), std::string::npos) << report[1];
  EXPECT_NE(report[2].find("between 12.000 and 14.000 eV"), std::string::npos) << report[2];
  EXPECT_NE(report[2].find("at 13.000 eV lies 35% off the smooth curve"), std::string::npos) << report[2];
  // A shell below its threshold (σ = 0, its error the table's last digit)
  // is not judged against STOL.
  diatom::CrossSections closed = rule;
  closed.shell_names.push_back("2sg");
  for (int k = 0; k < 2; ++k) {
    closed.shell[k].push_back(std::vector<double>(4, 0.0));
    closed.shell_error[k].push_back(std::vector<double>(4, 5e-6));
  }
  const std::string first = diatom::target_report(closed, check, {9.9}, {0.004, 0.02})[0];
  EXPECT_NE(first.find("3 of 4 energies within it"), std::string::npos) << first;

  const std::string text = diatom::shell_table(rule);
  EXPECT_NE(text.find("3sg_HF_L          +-    3sg_HF_V          +-"), std::string::npos) << text;
  EXPECT_NE(text.find("1.00000    6.5"), std::string::npos) << text;
  diatom::MOL mol;
  mol.Z1 = 7, mol.Z2 = 7, mol.RZ[0] = 2.068, mol.SHELLS = "1sg 1su 2sg 2su 3sg 1pu", mol.ION = "3sg";
  mol.EMIN = 1, mol.EMAX = 100;
  const diatom::Molecule m = diatom::describe_molecule(mol, "x.mol");
  std::vector<diatom::Channel> ch(1);
  ch[0].shell = 4;
  const std::string gp = diatom::plot_script(m, ch, rule, {"channels.dat", "d.png", "", "t", "", ""});
  // Columns: eV, 3sg L ±, V ±, total L ±: the band from columns 6 and 7.
  EXPECT_NE(gp.find("'diatom.dat' using 1:($6-$7):($6+$7) with filledcurves"), std::string::npos) << gp;
}

// β between two nodes is that of the interpolated distribution (σ and σ·β
// linear, not β); a row within 1e-4 of a node (the listing's four digits) is
// that node; outside the nodes, or next to one without β, there is none.  The
// shell's β columns follow its cross sections in diatom.dat.
TEST(Asymmetry, BetaBetweenNodesFollowsTheDistribution) {
  const auto t = diatom::read_beta_table(
      "# Photoelectron asymmetry parameters\n# HF shell 5\n"
      "   27.211386 1.00000000e+00   1.000000e+00   1.000000e+00   2.000000   2.000000\n"
      "   54.422772 2.00000000e+00   3.000000e+00   3.000000e+00   0.000000        nan\n\n\n"
      "# HF channel 1 (shell 5, final m = 0)\n   27.211386 1.00000000e+00   1.0e+00   1.0e+00   0.5   0.5\n");
  ASSERT_EQ(t.count("HF shell 5"), 1u);
  ASSERT_EQ(t.count("HF channel 1"), 1u);
  const diatom::BetaBlock& b = t.at("HF shell 5");
  const auto [L, V] = diatom::beta_at(b, 1.5);
  EXPECT_DOUBLE_EQ(L, 0.5);  // (0.5·1·2 + 0.5·3·0)/(0.5·1 + 0.5·3)
  EXPECT_TRUE(std::isnan(V));
  EXPECT_DOUBLE_EQ(diatom::beta_at(b, 1.00005).first, 2.0);
  EXPECT_TRUE(std::isnan(diatom::beta_at(b, 2.5).first));

  diatom::CrossSections cs;
  cs.ev = {27.211386};
  cs.shell_names = {"3sg"};
  for (int k = 0; k < 4; ++k) {
    cs.shell[k] = {{1.0}};
    cs.total[k] = {1.0};
    cs.shell_beta[k] = {{0.25}};
  }
  const std::string table = diatom::shell_table(cs);
  EXPECT_NE(table.find("   3sg_HF_V   3sg_bHF_L   3sg_bHF_V    tot_HF_L"), std::string::npos) << table;
  EXPECT_NE(table.find("    1.00000     0.25000     0.25000     1.00000"), std::string::npos) << table;
}

// The plot names every curve by shell and final symmetry and form, length
// solid and velocity dashed, and reads the columns of the channel table.
TEST(Plot, CurvesNamedBySymmetryLengthSolidVelocityDashed) {
  diatom::MOL mol;
  mol.Z1 = 7, mol.Z2 = 7, mol.RZ[0] = 2.068, mol.SHELLS = "1sg 1su 2sg 2su 3sg 1pu", mol.ORDER = 0;
  const diatom::Molecule m = diatom::describe_molecule(mol, "x.mol");
  std::vector<diatom::Channel> ch(2);
  ch[0].shell = 4, ch[0].M = 0, ch[0].parity = 'u';
  ch[1].shell = 5, ch[1].M = 2, ch[1].parity = 'g';
  diatom::CrossSections cs;
  cs.rpa = true;
  diatom::CrossSectionPlot plot;
  plot.data = "ch.dat", plot.png = "a.png", plot.ref = "ref.dat", plot.title = "N2";
  const std::string gp = diatom::plot_script(m, ch, cs, plot);
  // Columns: 2-5 channel 1 (HF L, V, RPA L, V), 6-9 channel 2, 10-13 total.
  EXPECT_NE(gp.find("using 1:4 with lines lc 1 lw 2 dt 1 title '3σg → kσu (RPA, length)'"), std::string::npos) << gp;
  EXPECT_NE(gp.find("using 1:5 with lines lc 1 lw 2 dt 2 title '3σg → kσu (RPA, velocity)'"), std::string::npos);
  EXPECT_NE(gp.find("using 1:8 with lines lc 2 lw 2 dt 1 title '1πu → kδg (RPA, length)'"), std::string::npos);
  EXPECT_NE(gp.find("using 1:10 with lines lc rgb 'gray50' lw 2 dt 1 title 'total (HF, length)'"), std::string::npos);
  EXPECT_NE(gp.find("using 1:13 with lines lc 8 lw 3 dt 2 title 'total (RPA, velocity)'"), std::string::npos);
  EXPECT_NE(gp.find("'ref.dat' using 1:2 with points"), std::string::npos);
  EXPECT_EQ(gp.substr(gp.size() - 2), "'\n") << "no separator after the last curve";
  EXPECT_NE(gp.find("set title \"N2\" noenhanced"), std::string::npos);
  // Inside double quotes gnuplot runs a backquoted command and ends the
  // string at a quote: such a title goes into single quotes, taken as it is.
  plot.title = "N2 `touch x` \"y\" it's";
  EXPECT_NE(diatom::plot_script(m, ch, cs, plot).find("set title 'N2 `touch x` \"y\" it''s' noenhanced"),
            std::string::npos);
}

// Reference points with a third column (measured β) are drawn in the β
// panel too; a file of cross sections alone adds nothing there.
TEST(Plot, ReferenceBetaIsDrawnInTheBetaPanel) {
  testsupport::ScratchDir dir("diatom_refbeta");
  dir.write("xs.dat", "# eV Mb\n20 6.9\n25 9.6\n");
  dir.write("beta.dat", "# eV Mb beta\n20 6.9\n23.1 - 0.62\n");
  EXPECT_FALSE(diatom::reference_has_beta((dir.path() / "xs.dat").string()));
  EXPECT_TRUE(diatom::reference_has_beta((dir.path() / "beta.dat").string()));
  diatom::MOL mol;
  mol.Z1 = 7, mol.Z2 = 7, mol.RZ[0] = 2.068, mol.SHELLS = "1sg 1su 2sg 2su 3sg 1pu";
  const diatom::Molecule m = diatom::describe_molecule(mol, "x.mol");
  std::vector<diatom::Channel> ch(1);
  ch[0].shell = 4, ch[0].M = 0, ch[0].parity = 'u';
  diatom::CrossSections cs;
  EXPECT_EQ(diatom::beta_panel(m, ch, cs, "b.dat").find("ref"), std::string::npos);
  const std::string gp = diatom::beta_panel(m, ch, cs, "b.dat", "ref.dat");
  EXPECT_NE(gp.find("'ref.dat' using 1:3 with points"), std::string::npos) << gp;
  EXPECT_EQ(gp.substr(gp.size() - 2), "'\n");

  // With the check's errors each β of beta.dat is followed by its error, and
  // the panel reads the β columns two apart: the channel's 2, 4 (HF L, V),
  // the shell's 6, 8; each error twice the change from the check's β.
  cs.ev = {27.211386};
  cs.shell_names = {"3sg"};
  diatom::Asymmetries a, check;
  for (int k = 0; k < 4; ++k) {
    a.channel[k] = a.shell[k] = {{0.5}};
    check.channel[k] = check.shell[k] = {{0.52}};
  }
  diatom::add_beta_errors(a, check);
  EXPECT_NEAR(a.shell_error[0][0][0], 2 * 0.02 + 1e-5, 1e-12);
  for (int k = 0; k < 4; ++k) cs.shell_beta[k] = a.shell[k], cs.shell_beta_error[k] = a.shell_error[k];
  const std::string table = diatom::beta_table(m, ch, cs, a);
  EXPECT_NE(table.find("#   2-5: 1pu -> k sigma_u\n#   6-9: 3sg"), std::string::npos) << table;
  EXPECT_NE(table.find("   0.5000  4.0e-02   0.5000  4.0e-02   0.5000"), std::string::npos) << table;
  const std::string panel = diatom::beta_panel(m, ch, cs, "beta.dat");
  EXPECT_NE(panel.find("using 1:4 with lines lc 1 lw 2 dt 2 title '1πu → kσu (HF, velocity)'"), std::string::npos)
      << panel;
  EXPECT_NE(panel.find("using 1:6 with lines lc 8 lw 3 dt 1"), std::string::npos) << panel;
}

}  // namespace

// The closed-channel resonances named in the listing: the bound functions of
// chanfile's table (its layout, N2's 2σg → kσu), kept where a channel is
// open and results are wanted, each between the nodes on either side.
TEST(ClosedChannelResonances, BoundFunctionsInTheRangeOfResultsBetweenTheirNodes) {
  const std::string listing =
      " Bound functions of the final symmetry (extra-function file); nu = Zion/sqrt(-2E)\n"
      "    d        E        Om, a.u.    Om, eV   norm on grid   f(L)        f(V)        nu\n"
      "    1  -0.0886979   1.384725    37.6803   0.9999932  0.3498E-03  0.2100E-03   2.37426\n"
      "    2  -0.0431291   1.430293    38.9203   0.9700893  0.1077E-03  0.6426E-04   3.40486\n"
      "    3  -0.0201000   1.453322    39.5470   0.9000000  0.1000E-04  0.1000E-04   4.98744\n"
      "\n"
      " The C.S. columns count two electrons in the ionised shell\n";
  const std::vector<diatom::BoundFunction> b = diatom::listed_bound_functions(listing);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[1].d, 2);
  EXPECT_DOUBLE_EQ(b[1].ev, 38.9203);
  EXPECT_TRUE(diatom::listed_bound_functions(" no table\n").empty());

  diatom::MOL m;
  m.Z1 = m.Z2 = 7, m.RZ[0] = 2.068, m.SHELLS = "1sg 1su 2sg 2su 3sg 1pu", m.ION = "3sg 2sg";
  m.EMIN = 20, m.EMAX = 39;
  const diatom::Molecule n2 = diatom::describe_molecule(m, "x.mol");
  std::vector<diatom::Channel> ch = diatom::dipole_channels(n2, "x.mol");
  for (diatom::Channel& c : ch) c.NC = 40, c.P0 = 0.05, c.DP = 0.1;
  ch[0].threshold = 0.6348, ch[2].threshold = 1.4734;  // 3σg → kσu (17.27 eV), 2σg → kσu (40.09 eV)
  ch[1].threshold = 0.6348, ch[3].threshold = 1.4734;
  // The 3σg channel's nodes are ω = I + k²/2: the 2σg channel's below its threshold do not count.
  std::vector<std::vector<diatom::BoundFunction>> bound(ch.size());
  bound[2] = b;
  bound[0] = {{1, 15.0}};  // below every threshold: no open channel
  const auto r = diatom::closed_channel_resonances(n2, ch, bound, 20.0, 39.0);
  ASSERT_EQ(r.size(), 2u) << "39.547 eV lies past the results' end";
  for (const auto& x : r) {
    EXPECT_EQ(x.channel, ch[2].label(n2));
    EXPECT_LT(x.below, x.ev);
    EXPECT_GT(x.above, x.ev);
    // No node of any channel between the two.
    for (const auto& c : ch) {
      for (int j = 1; j <= c.NC; ++j) {
        const double k = c.P0 + (j - 1) * c.DP, e = (c.threshold + k * k / 2) * diatom::kHartreeEV;
        EXPECT_FALSE(e > x.below && e < x.above) << e;
      }
    }
  }
  EXPECT_DOUBLE_EQ(r[0].ev, 37.6803);
}

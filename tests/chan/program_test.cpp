// The chanfile program: the channel file in the layout the photoionisation
// programs read, the extra-function file, the refusals of bad input, many
// partial waves with static exchange, and the whole chain ground state →
// channel files → xsect listing for the hydrogen atom on one focus against
// the exact cross section.
#include "chan/program.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "lib/channel_file.hpp"
#include "support/programs.hpp"

namespace {

using namespace chantest;
using testsupport::run_program_in;
using testsupport::ScratchDir;

constexpr double kPi = 3.14159265358979323846;

std::string control(const std::string& body) { return "&CHN\n" + body + "\n/\n"; }

TEST(ChannelFile, ReadsBackThroughTheReaderOfThePhotoionisationPrograms) {
  const Target t = make_target(1.0, 1.0, 2.0, 6, 60, 1.5, 20.0);
  const Waves pu{1, 1, 6, 2};
  auto u = io::Unit::to_text("pu.chn");
  std::vector<Block> blocks(3);
  lib::write_channel_header(*u, lib::ChannelHeader{1, 0.25, 0.5, 3, {pu.M, pu.L0, pu.n}});
  for (int j = 0; j < 3; ++j) {
    Quiet q;
    bare_block(t.grid, t.mol, pu, 0.25 + 0.5 * j, 4, blocks[static_cast<size_t>(j)]);
    const Block& b = blocks[static_cast<size_t>(j)];
    lib::write_energy_block(*u, t.grid.NB, b.NL, b.NX, b.E, lib::CVec(b.AC.data(), static_cast<int>(b.AC.size())),
                            lib::CVec(b.AS.data(), static_cast<int>(b.AS.size())), b.x(t.grid.NB));
  }
  auto in = io::Unit::from_text("pu.chn", u->text());
  const lib::ChannelHeader h = lib::read_channel_header(*in);
  const int NX = h.MN[2];
  EXPECT_EQ(h.NSI, 1);
  EXPECT_EQ(h.P0, 0.25);
  EXPECT_EQ(h.DP, 0.5);
  EXPECT_EQ(h.NC, 3);
  EXPECT_EQ(h.MN[0], 1);
  EXPECT_EQ(h.MN[1], 1);
  EXPECT_EQ(NX, 6);
  std::vector<double> ac(24), as(24), x(60 * 24);
  for (int j = 0; j < 3; ++j) {
    int NL = 0, nx = NX;
    double E = 0.0;
    lib::read_energy_block(60, NL, nx, E, Vec(ac.data(), 24), Vec(as.data(), 24), lib::Mat(x.data(), 60, 24), *in);
    const Block& b = blocks[static_cast<size_t>(j)];
    ASSERT_EQ(NL, 4);
    ASSERT_EQ(nx, 6);
    // Block j lies on the momentum grid: E = (P0 + (j−1)·DP)²/2.
    EXPECT_NEAR(E, 0.5 * std::pow(0.25 + 0.5 * j, 2), 1e-9);
    for (size_t i = 0; i < 24; ++i) {
      EXPECT_NEAR(ac[i], b.AC[i], 1e-6 * (1.0 + std::fabs(b.AC[i])));
      EXPECT_NEAR(as[i], b.AS[i], 1e-6 * (1.0 + std::fabs(b.AS[i])));
    }
    // Nine significant digits: half a unit of the ninth is at most 5e-9 of the value.
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], b.X[i], 5e-9 * std::fabs(b.X[i]) + 1e-300);
  }
  std::string rest;
  EXPECT_FALSE(in->next_record(rest));
}

TEST(ChanfileProgram, WritesTheChannelTheBoundFunctionsAndTheListing) {
  const Target t = make_target(1.0, 1.0, 2.0, 8, 200, 1.5, 30.0);
  ScratchDir dir("chanfile");
  dir.write("h2p.gs", ground_state_text(t));
  dir.write("File.CHN", control(" FIG = 'h2p.gs', FIC = 'pu.chn', FID = 'pu.fid', FIL = 'pu.lst',\n"
                                " NSI = 1, M = 1, NC = 5, P0 = 0.5, DP = 0.25, ND = 2"));
  auto r = run_program_in(dir.path(), "chanfile");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Stop - Program terminated."), std::string::npos);

  // Channel file: header, then five blocks of min(NX, 7) = 7 solutions.
  auto in = io::Unit::from_text("pu.chn", dir.read("pu.chn"));
  const lib::ChannelHeader h = lib::read_channel_header(*in);
  const int NC = h.NC, NX = h.MN[2];
  EXPECT_EQ(NC, 5);
  EXPECT_EQ(h.MN[0], 1);
  EXPECT_EQ(h.MN[1], 1);  // the lowest odd momentum the dipole reaches from the σg shell
  EXPECT_EQ(NX, 8);
  std::vector<double> ac(56), as(56), x(200 * 56);
  for (int j = 0; j < NC; ++j) {
    int NL = 0, nx = NX;
    double E = 0.0;
    lib::read_energy_block(200, NL, nx, E, Vec(ac.data(), 56), Vec(as.data(), 56), lib::Mat(x.data(), 200, 56), *in);
    EXPECT_EQ(NL, 7);
    EXPECT_NEAR(E, 0.5 * std::pow(0.5 + 0.25 * j, 2), 1e-9);
  }
  // Extra functions: the two lowest πu states, 1πu first (−0.42877).
  auto fid = io::Unit::from_text("pu.fid", dir.read("pu.fid"));
  std::vector<double> xe(200 * 16), e(2), cn(2);
  const int lk[2] = {1, 9};
  lib::read_orbital_block(200, lib::CIVec(lk, 2), Vec(e.data(), 2), Vec(cn.data(), 2), lib::Mat(xe.data(), 200, 16),
                          *fid);
  EXPECT_NEAR(e[0], -0.4287718198959, 2e-8);
  EXPECT_LT(e[0], e[1]);
  EXPECT_NEAR(cn[0], 1.0, 1e-3);

  const std::string lst = dir.read("pu.lst");
  EXPECT_NE(lst.find("Final state:    M = 1"), std::string::npos);
  EXPECT_NE(lst.find("Bound functions of the final symmetry"), std::string::npos);
}

TEST(ChanfileProgram, RefusesInputItCannotServeAndNeverOverwritesAFile) {
  const Target t = make_target(1.0, 1.0, 2.0, 4, 60, 1.5, 20.0);
  const std::string gs = ground_state_text(t);
  const std::string files = " FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst',";
  struct Case {
    std::string body, why;
  } cases[] = {
      {files + " M = 2", "variable M"},
      {files + " M = 1, L0 = 2", "variable L0"},
      {files + " NL = 5", "variable NL"},  // more than the 4 partial waves
      {files + " NX = 9, NL = 8", "variable NL"},
      {files + " NC = 0", "variable NC"},
      {files + " P0 = 0.0", "variable P0"},
      {files + " NSI = 2", "variable NSI"},
      {files + " ND = 6, FID = 'c.fid'", "variable ND"},
      {files + " ND = 1", "variable FID"},
      {files + " EXACT = 2", "variable EXACT"},
      {files + " IDER = -1", "variable IDER"},
      {" FIG = 'none.gs', FIC = 'c.chn', FIL = 'c.lst'", "none.gs"},
  };
  for (const auto& c : cases) {
    ScratchDir dir("chanfile_bad");
    dir.write("g.gs", gs);
    dir.write("File.CHN", control(c.body));
    auto r = run_program_in(dir.path(), "chanfile");
    EXPECT_NE(r.status, 0) << c.body;
    EXPECT_NE(r.output.find(c.why), std::string::npos) << c.body << "\n" << r.output;
    EXPECT_FALSE(dir.exists("c.chn")) << c.body;
  }
  // An existing channel file stays as it is.
  ScratchDir dir("chanfile_old");
  dir.write("g.gs", gs);
  dir.write("c.chn", "keep\n");
  dir.write("File.CHN", control(files));
  auto r = run_program_in(dir.path(), "chanfile");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(dir.read("c.chn"), "keep\n");
}

TEST(ChanfileProgram, StaticExchangeThatDoesNotConvergeEndsWithAFailure) {
  // The σg orbital of H2+ taken as a closed shell: an ion of charge 1 with
  // exchange.  One iteration cannot reach EPS = 1e-14.
  const Target t = make_target(1.0, 1.0, 1.4, 6, 120, 1.5, 30.0);
  ScratchDir dir("chanfile_se");
  dir.write("g.gs", ground_state_text(t));
  dir.write("File.CHN", control(" FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', NC = 3, IPOT = 1, NIT = 1, EPS = 1e-14"));
  auto r = run_program_in(dir.path(), "chanfile");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("did not converge"), std::string::npos) << r.output;
  EXPECT_NE(dir.read("c.lst").find("Static exchange"), std::string::npos);
  // With room to converge the same run succeeds.
  ScratchDir ok("chanfile_se_ok");
  ok.write("g.gs", ground_state_text(t));
  ok.write("File.CHN", control(" FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', NC = 3, IPOT = 1"));
  auto r2 = run_program_in(ok.path(), "chanfile");
  EXPECT_EQ(r2.status, 0) << r2.output;
}

// Static exchange with bound functions: H2 with the 1σg orbital of H2+
// frozen as its closed shell.  The extra-function file holds the two lowest
// σu states (2pσu, 3pσu) in the orbital-file layout, lowest first,
// normalised over all space (so at most 1 on the grid); asking for more
// states than lie below EMX ends with a failure that says so.
TEST(ChanfileProgram, WritesTheBoundFunctionsOfTheStaticExchangeField) {
  const Target t = make_target(1.0, 1.0, 1.4, 8, 300, 1.5, 40.0);
  const std::string files = " FIG = 'g.gs', FIC = 'c.chn', FID = 'c.fid', FIL = 'c.lst',";
  {
    ScratchDir dir("chanfile_se_bound");
    dir.write("g.gs", ground_state_text(t));
    dir.write("File.CHN", control(files + " M = 0, NC = 3, P0 = 0.5, DP = 0.25, IPOT = 1, ND = 2, EMX = -0.01"));
    auto r = run_program_in(dir.path(), "chanfile");
    ASSERT_EQ(r.status, 0) << r.output;
    auto fid = io::Unit::from_text("c.fid", dir.read("c.fid"));
    std::vector<double> xe(300 * 16), e(2), cn(2);
    const int lk[2] = {1, 9};
    lib::read_orbital_block(300, lib::CIVec(lk, 2), Vec(e.data(), 2), Vec(cn.data(), 2), lib::Mat(xe.data(), 300, 16),
                            *fid);
    EXPECT_LT(t.E1, e[0]);
    EXPECT_LT(e[0], e[1]);
    EXPECT_LT(e[1], -0.01);
    // npσu in the field of charge 1: ν = 1/sqrt(−2E) one apart.
    EXPECT_NEAR(1.0 / std::sqrt(-2.0 * e[1]) - 1.0 / std::sqrt(-2.0 * e[0]), 1.0, 0.02);
    const Waves su{0, 1, 8, 2};
    for (int i = 0; i < 2; ++i) {
      const lib::CMat Xi(xe.data() + 300 * 8 * i, 300, 8);
      EXPECT_NEAR(cn[static_cast<size_t>(i)], overlap(t.grid, 1.4, su, Xi, su, Xi), 1e-6);
      EXPECT_GT(cn[static_cast<size_t>(i)], 0.99);
      EXPECT_LE(cn[static_cast<size_t>(i)], 1.0 + 1e-6);
    }
    EXPECT_NE(dir.read("c.lst").find("nu = Zion/sqrt(-2E)"), std::string::npos);
  }
  {
    ScratchDir dir("chanfile_se_bound_few");
    dir.write("g.gs", ground_state_text(t));
    dir.write("File.CHN", control(files + " M = 0, NC = 1, P0 = 0.5, IPOT = 1, ND = 2, EMX = -0.1"));
    auto r = run_program_in(dir.path(), "chanfile");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("bound states of the final symmetry in the static-exchange field"), std::string::npos)
        << r.output;
  }
}

// Strong nuclei (Z = 7) and ten partial waves, the highest deep under their
// barriers: the run succeeds, nothing is marked as grown, and the listed
// channel values are those of six partial waves.
std::vector<double> listed_cross_sections(const std::string& listing) {
  std::vector<double> out;
  std::istringstream s(listing);
  std::string line;
  bool in_table = false;
  while (std::getline(s, line)) {
    if (line.find("Om, eV     C.S.(L)") != std::string::npos) {
      in_table = true;
      continue;
    }
    if (!in_table) continue;
    std::istringstream ls(line);
    std::vector<double> v;
    for (std::string w; ls >> w;) {
      double d = 0.0;
      if (io::parse_real_field(w, 0, d)) v.push_back(d);
    }
    if (v.size() != 7) break;
    out.push_back(v[5]);
    out.push_back(v[6]);
  }
  return out;
}

TEST(ChanfileProgram, TakesTenPartialWavesWithHighWavesDeepUnderTheirBarriers) {
  const Target g = make_target(7.0, 7.0, 2.068, 10, 400, 1.05, 25.0);
  std::vector<double> xu;
  const std::string gs = closed_shell_text(g, xu);
  std::vector<std::vector<double>> cs;
  for (int nx : {10, 6}) {
    ScratchDir dir("chanfile_waves");
    dir.write("g.gs", gs);
    dir.write("File.CHN", control(" FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', NC = 3, P0 = 0.5, DP = 0.5, "
                                  "NL = 3, IPOT = 1, NX = " +
                                  std::to_string(nx)));
    auto r = run_program_in(dir.path(), "chanfile");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string lst = dir.read("c.lst");
    EXPECT_EQ(lst.find("! solutions dominated"), std::string::npos) << lst;
    cs.push_back(listed_cross_sections(lst));
    ASSERT_EQ(cs.back().size(), 6u) << lst;
  }
  for (size_t i = 0; i < cs[0].size(); ++i) EXPECT_NEAR(cs[0][i] / cs[1][i], 1.0, 2e-3);
}

// A shell of 18 waves (L to 34) and 24 final waves (L to 47): dipole 3j
// symbols to (L1 + L2 + 2)! = 83! and angular coefficients of the static
// exchange field to 149!, past a table of 0! … 80!.  The run completes, and
// the high waves, deep under their barriers, leave the cross sections of 12
// waves as they were.
TEST(ChanfileProgram, TakesMomentaWhoseAngularCoefficientsPassEightyFactorial) {
  const Target t = make_target(1.0, 1.0, 2.0, 18, 120, 1.5, 20.0);
  const std::string gs = ground_state_text(t);
  std::vector<std::vector<double>> cs;
  for (int nx : {24, 12}) {
    ScratchDir dir("chanfile_high");
    dir.write("g.gs", gs);
    dir.write("File.CHN", control(" FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', NC = 2, P0 = 0.5, DP = 0.5, "
                                  "NL = 2, IPOT = 1, NX = " +
                                  std::to_string(nx)));
    auto r = run_program_in(dir.path(), "chanfile");
    ASSERT_EQ(r.status, 0) << r.output;
    cs.push_back(listed_cross_sections(dir.read("c.lst")));
    ASSERT_EQ(cs.back().size(), 4u) << dir.read("c.lst");
  }
  for (size_t i = 0; i < cs[0].size(); ++i) EXPECT_NEAR(cs[0][i] / cs[1][i], 1.0, 2e-3);
}

// Naming the ion of the two fields that need no term changes nothing in
// the channel file: a closed-shell neutral's π hole with ION = '2P' (the
// hole's orbital +K, its partner and every other orbital −K), and the open
// σ shell of one electron ionised with ION = '1S+' (the closed-shell ion).
// The listing states the term and its weight: 1 for a closed shell, q/N =
// 1/2 for the σ¹ shell.
TEST(ChanfileProgram, NamingTheIonOfAClosedShellOrOfOneElectronChangesNoChannel) {
  const Target z2 = make_target(2.0, 2.0, 1.4, 6, 120, 1.25, 25.0);
  const Target h2p = make_target(1.0, 1.0, 2.0, 6, 120, 1.5, 25.0);
  const std::string common = " FIC = 'c.chn', FIL = 'c.lst', NC = 2, P0 = 0.5, DP = 0.5, NL = 2, IPOT = 1,";
  struct Case {
    std::string gs, body, ion, weight;
  } cases[] = {
      {bare_orbitals_text(z2, {Waves{0, 0, 6, 2}, Waves{1, 1, 6, 2}}), " NSI = 2, M = 1", " ION = '2P'",
       "weight 1.000000"},
      {ground_state_text(h2p), " NSI = 1, M = 1, OPEN = 1, 1, TERM = '2S+'", " ION = '1S+'", "weight 0.500000"},
  };
  for (const Case& c : cases) {
    std::string chn[2];
    for (int named = 0; named < 2; ++named) {
      ScratchDir dir("chanfile_ion_named");
      dir.write("g.gs", c.gs);
      dir.write("File.CHN", control(" FIG = 'g.gs'," + common + c.body + (named ? "," + c.ion : "")));
      auto r = run_program_in(dir.path(), "chanfile");
      ASSERT_EQ(r.status, 0) << c.body << "\n" << r.output;
      chn[named] = dir.read("c.chn");
      const std::string lst = dir.read("c.lst");
      EXPECT_EQ(lst.find("Koopmans'") != std::string::npos, named == 1) << lst;
      if (named) {
        EXPECT_NE(lst.find(c.weight), std::string::npos) << lst;
      }
    }
    EXPECT_EQ(chn[0], chn[1]) << c.body;
  }
}

// A σ hole beside an open π¹ shell (1σg² 1πu¹ ²Πu of frozen bare-nuclei
// orbitals, Z1 = Z2 = 2): the ion ³Πu in its arrangement of projection −1.
// The ion's charge counts the open shell's one electron (4 − 3 + 1 = 2), the
// weight is the triplet's share of the singlet-coupled hole, (2S_I + 1)/
// (2(2S_o + 1)) = 3/4, over the neutral's two components, and the open
// orbital of the ion's projection, π₋, carries the exchange.
TEST(ChanfileProgram, ListsTheIonicTermItsArrangementWeightAndField) {
  const Target z2 = make_target(2.0, 2.0, 1.4, 6, 120, 1.25, 25.0);
  ScratchDir dir("chanfile_ion_open");
  dir.write("g.gs", bare_orbitals_text(z2, {Waves{0, 0, 6, 2}, Waves{1, 1, 6, 2}}));
  dir.write("File.CHN", control(" FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', NC = 1, P0 = 0.5, NL = 2, IPOT = 1,"
                                " NSI = 1, M = 1, OPEN = 2, 1, TERM = '2Pu', ION = '3P', IONM = -1"));
  auto r = run_program_in(dir.path(), "chanfile");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string lst = dir.read("c.lst");
  for (const char* want : {"Coulomb field of charge Zion =  2.000", "electrons of the ground state   3.0",
                           "Ion: term 3P (ION), arrangement of ion projection -1 (IONM), weight 0.375000",
                           "ion projection 1, are channels of their own", "term's weight 0.750000",
                           "       2   1    1.0000        0.0000        0.5000"}) {
    EXPECT_NE(lst.find(want), std::string::npos) << want << "\n" << lst;
  }
}

// The group as a front end writes it names TERM, ION and IONM only when
// given, and reads them back.
TEST(ChanfileControl, WrittenGroupNamesTheTermsAndTheProjectionOnlyWhenGiven) {
  chan::CHN c;
  auto plain = io::Unit::to_text("File.CHN");
  c.written_group().write(*plain);
  for (const char* name : {"TERM", "ION", "IONM"})
    EXPECT_EQ(plain->text().find(std::string(" ") + name + " ="), std::string::npos) << plain->text();
  c.OPEN = {7, 1};
  c.TERM = "2P";
  c.ION = "3P";
  c.IONM = -1;
  auto named = io::Unit::to_text("File.CHN");
  c.written_group().write(*named);
  chan::CHN got;
  got.group().read(*io::Unit::from_text("File.CHN", named->text()));
  EXPECT_EQ(io::trim_right(got.TERM), "2P");
  EXPECT_EQ(io::trim_right(got.ION), "3P");
  EXPECT_EQ(got.IONM, -1);
}

// The rows "E, partial…, total" of the R-form and V-form tables of one
// channel of an xsect listing (NL ≤ 4, so that a row fits on one line).
struct Table {
  std::vector<double> E, L, V;
};

std::vector<Table> hf_tables(const std::string& listing, int NL) {
  std::vector<Table> out;
  std::istringstream s(listing);
  std::string line;
  int which = -1;  // 0: R-form, 1: V-form
  while (std::getline(s, line)) {
    if (line.find("RPA results") != std::string::npos) break;
    if (line.find(" R-form:") != std::string::npos) {
      out.emplace_back();
      which = 0;
      continue;
    }
    if (line.find(" V-form:") != std::string::npos) {
      which = 1;
      continue;
    }
    if (which < 0 || line.find("Total") != std::string::npos) continue;
    std::istringstream ls(line);
    std::vector<double> v;
    for (std::string w; ls >> w;) {
      double d = 0.0;
      if (!io::parse_real_field(w, 0, d)) {
        v.clear();
        break;
      }
      v.push_back(d);
    }
    if (static_cast<int>(v.size()) != NL + 2) continue;
    if (which == 0) {
      out.back().E.push_back(v.front());
      out.back().L.push_back(v.back());
    } else {
      out.back().V.push_back(v.back());
    }
  }
  return out;
}

TEST(WholeChain, HydrogenOnAFocusThroughXsectGivesTheExactCrossSection) {
  const Target h = make_target(1.0, 0.0, 1.0, 10, 300, 1.5, 80.0);
  ScratchDir dir("h_chain");
  dir.write("h.gs", ground_state_text(h));
  for (int M : {0, 1}) {
    dir.write("File.CHN",
              control(" FIG = 'h.gs', FIC = 'm" + std::to_string(M) + ".chn', FIL = 'm" + std::to_string(M) +
                      ".lst', M = " + std::to_string(M) + ", NL = 3, NC = 15, P0 = 0.05, DP = 0.125"));
    auto r = run_program_in(dir.path(), "chanfile");
    ASSERT_EQ(r.status, 0) << r.output;
  }
  dir.write("File.D40",
            "&S40\n NCH = 2, FIL = 'h.lst', FIG = 'h.gs', FIR = 'h.dat',\n"
            " FIC = 'm0.chn', 'm1.chn', IRP = 0, NEM = 50, NUR = 0, MIE = 0,\n/\n");
  auto r = run_program_in(dir.path(), "xsect");
  ASSERT_EQ(r.status, 0) << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
  const auto t = hf_tables(dir.read("h.lst"), 3);
  ASSERT_EQ(t.size(), 2u);
  ASSERT_EQ(t[0].E.size(), 15u);
  ASSERT_EQ(t[1].E.size(), 15u);
  for (size_t j = 0; j < 15; ++j) {
    // The listed values count two electrons and one sign of M: the atom's
    // total is half of σ(M=0) + 2·σ(M=1).
    const double L = 0.5 * (t[0].L[j] + 2.0 * t[1].L[j]), V = 0.5 * (t[0].V[j] + 2.0 * t[1].V[j]);
    const double omega = t[0].E[j] + 0.5, x = omega / 0.5, e = std::sqrt(x - 1.0);
    const double exact =
        6.304318 * std::pow(x, -4) * std::exp(4.0 - 4.0 * std::atan(e) / e) / (1.0 - std::exp(-2.0 * kPi / e));
    EXPECT_NEAR(L / exact, 1.0, 0.01) << "omega = " << omega;
    EXPECT_NEAR(V / exact, 1.0, 0.01) << "omega = " << omega;
  }
}

}  // namespace

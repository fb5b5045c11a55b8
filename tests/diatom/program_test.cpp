// The diatom program as a user runs it: run folders, refusals, command lists,
// and the one-electron targets whose cross sections are known exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

// Columns `c` and c + 1 (length, velocity; c from 0, or from the end when
// negative) of diatom.dat at photon energy e (eV), interpolated linearly
// between its rows.
std::pair<double, double> column_at(const std::string& table, double e, int c) {
  std::istringstream in(table);
  double pe = 0, pl = 0, pv = 0;
  bool have = false;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    std::vector<std::string> v;
    for (std::string x; row >> x;) v.push_back(x);
    const size_t i = c >= 0 ? static_cast<size_t>(c) : v.size() - static_cast<size_t>(-c);
    if (v[i] == "-") continue;
    const double ev = std::stod(v[0]), L = std::stod(v[i]), V = std::stod(v[i + 1]);
    if (have && (pe - e) * (ev - e) <= 0) {
      const double t = (e - pe) / (ev - pe);
      return {pl + t * (L - pl), pv + t * (V - pv)};
    }
    pe = ev, pl = L, pv = V, have = true;
  }
  return {NAN, NAN};
}

// The total (the last two columns).
std::pair<double, double> total_at(const std::string& table, double e) { return column_at(table, e, -2); }

// -h and --help: the usage with a line for every argument and option and
// the guide to read on, status 0, nothing made.
TEST(DiatomProgram, HelpNamesEveryOptionAndTheGuide) {
  ScratchDir dir("diatom_help");
  for (const char* flag : {"-h", "--help", "-j 2 --help"}) {
    auto r = run_program_in(dir.path(), std::string("diatom ") + flag);
    EXPECT_EQ(r.status, 0) << flag << "\n" << r.output;
    for (const char* line :
         {"usage: diatom [-j N] [-l] CONTROL RUN", "\n  CONTROL ", "\n  RUN ", "\n  -j N ", "\n  -l ", "\n  -c RUN ",
          "\n  --step RUN STEP... ", "\n  -h, --help ", ": docs/diatom.md"}) {
      EXPECT_NE(r.output.find(line), std::string::npos) << flag << ": no '" << line << "' in\n" << r.output;
    }
  }
  EXPECT_NE(testsupport::source_file("docs/diatom.md").find("## Group MOL"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DiatomProgram, NeverWritesIntoAnExistingRunFolder) {
  ScratchDir dir("diatom_exists");
  dir.write("h.mol", "&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg' /\n");
  std::filesystem::create_directory(dir.path() / "run");
  dir.write("run/keep.txt", "mine\n");
  for (const char* run : {"run", "run/", "x/../run"}) {
    auto r = run_program_in(dir.path(), std::string("diatom h.mol ") + run);
    EXPECT_EQ(r.status, 1) << run;
    EXPECT_NE(r.output.find("exists and is not a diatom run folder"), std::string::npos) << r.output;
  }
  EXPECT_EQ(dir.read("run/keep.txt"), "mine\n");
  EXPECT_FALSE(dir.exists("run/h.mol"));
}

TEST(DiatomProgram, BadInputStopsBeforeAnythingIsMade) {
  ScratchDir dir("diatom_bad");
  struct Case {
    const char* group;
    const char* message;
  } cases[] = {
      {"&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg 1xg' /", "shell '1xg' is not a shell name"},
      {"&MOL Z1 = 3, Z2 = 1, RZ = 3.015, SHELLS = '1s 2s 3s' /", "cannot hold shell '3s'"},
      // A bond so short that the grid out to the molecule's edge cannot be
      // held: refused, not cut back to a grid that gives a wrong energy.
      {"&MOL Z1 = 1, Z2 = 1, RZ = 1e-8, SHELLS = '1sg' /", "group &MOL, variable RZ: RZ = 1e-08 bohr"},
      {"&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', NOPE = 1 /", "NOPE"},
      {"&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', ION = '1sg', EMIN = 20, EMAX = 30, REF = 'none.dat' /",
       "variable REF: no file 'none.dat'"},
  };
  for (const Case& c : cases) {
    dir.write("bad.mol", std::string(c.group) + "\n");
    auto r = run_program_in(dir.path(), "diatom bad.mol run");
    EXPECT_EQ(r.status, 1) << c.group;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(dir.exists("run")) << c.group;
  }
}

// The self-check reruns with more partial waves and points beside the run;
// every distance of a scan starts afresh, whatever the number of programs
// at a time, so that a job of any distance gives the same result anywhere.
TEST(DiatomProgram, SelfCheckAndAScanOfH2) {
  ScratchDir dir("diatom_h2");
  dir.write("h2.mol", "&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', TOL = 1e-5, CHECK = 1 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 h2.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string lst = dir.read("run/diatom.lst");
  EXPECT_NE(lst.find("within TOL = 1.0e-05"), std::string::npos) << lst;
  EXPECT_NE(lst.find("-0.59465"), std::string::npos) << lst;
  EXPECT_TRUE(dir.exists("run/check/mol.res"));
  // Each energy with its estimated error in diatom.dat: the Hartree–Fock
  // limit of H2 (ε −0.5946585, total −1.1336296) lies within it, on both grids.
  std::map<std::string, std::vector<double>> est;
  {
    std::istringstream dat(dir.read("run/diatom.dat"));
    for (std::string line; std::getline(dat, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream w(line);
      std::string name;
      w >> name;
      for (double v; w >> v;) est[name].push_back(v);
    }
  }
  for (auto [name, limit] : {std::pair{"1sg", -0.5946585}, std::pair{"total", -1.1336296}}) {
    ASSERT_EQ(est[name].size(), 4u) << name;
    EXPECT_LE(std::fabs(est[name][0] - limit), est[name][1] + 1e-7) << name << " on the rule's grid";
    EXPECT_LE(std::fabs(est[name][2] - limit), est[name][3] + 1e-7) << name << " on the check grid";
  }

  dir.write("scan.mol", "&MOL Z1 = 1, Z2 = 1, RZ = 1.3, 1.5, SHELLS = '1sg', TOL = 1e-5 /\n");
  auto s = run_program_in(dir.path(), "diatom -j 1 scan.mol curve");
  ASSERT_EQ(s.status, 0) << s.output;
  EXPECT_NE(dir.read("curve/r02/Dp_Data.dsc").find("MI0 = 0"), std::string::npos);
  std::istringstream table(dir.read("curve/diatom.dat"));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    rows.emplace_back();
    for (std::string x; w >> x;) rows.back().push_back(x);
  }
  ASSERT_EQ(rows.size(), 2u);
  // RZ, total energy ('-' until tovrel prints one), ε(1σg): deeper at the shorter distance.
  EXPECT_EQ(rows[0][0], "1.3000");
  EXPECT_LT(std::stod(rows[0][2]), std::stod(rows[1][2]));
}

// Hydrogen on one focus: σ = σ0 x⁻⁴ exp(4 − 4 arctan(ε)/ε)/(1 − exp(−2π/ε)),
// x = ħω/I, ε = √(x − 1), both forms within 0.5% from threshold to 48 eV,
// and within the error the check states at every energy.
TEST(DiatomProgram, HydrogenOnAFocusGivesTheExactCrossSection) {
  ScratchDir dir("diatom_h");
  dir.write("h.mol",
            "&MOL Z1 = 1, Z2 = 0, RZ = 1.0, SHELLS = '1s', ION = '1s', EMIN = 13.0, EMAX = 48.0, IPOT = 0, NL = 3,\n"
            " CHECK = 1 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 h.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("finished [2/4] chanfile"), std::string::npos) << r.output;
  auto exact_at = [](double e) {
    const double x = e / 13.605693, eps = std::sqrt(x - 1), pi = std::acos(-1.0);
    return 6.304318 * std::pow(x, -4) * std::exp(4 - 4 * std::atan(eps) / eps) / (1 - std::exp(-2 * pi / eps));
  };
  // Columns: eV, then 1s and the total, L and V, each followed by its error.
  const std::string table = dir.read("run/diatom.dat");
  std::istringstream in(table);
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    std::vector<double> v;
    for (double x; w >> x;) v.push_back(x);
    ASSERT_EQ(v.size(), 9u) << line;
    const double exact = exact_at(v[0]);
    ++rows;
    for (int c : {5, 7}) {
      EXPECT_NEAR(v[c] / exact, 1.0, 0.005) << v[0] << " eV";
      EXPECT_LE(std::fabs(v[c] - exact), v[c + 1]) << v[0] << " eV, column " << c;
    }
  }
  EXPECT_GT(rows, 20);
  EXPECT_NE(dir.read("run/diatom.lst").find("energies within it"), std::string::npos);
  // The channels are named by shell and final symmetry, weighted by half
  // (one electron) and by the two signs of M.
  const std::string ch = dir.read("run/channels.dat");
  EXPECT_NE(ch.find("1s -> k sigma (weight 0.5)"), std::string::npos) << ch.substr(0, 400);
  EXPECT_NE(ch.find("1s -> k pi (weight 1)"), std::string::npos);
  EXPECT_NE(dir.read("run/plot.gp").find("1σ → kπ"), std::string::npos);
}

// Li ²S with its open 2s¹ ionised: the ion Li⁺ 1s² is closed-shell and
// its static-exchange field spherical about the nucleus on the focus.  An
// s electron goes to p waves only, so β = 2 exactly, and the final p states
// split evenly into M = 0 (the σ channel, kept orthogonal to 1s and 2s) and
// M = ±1 (the π channel, which has no occupied orbital): with the weights of
// one electron of two, the π channel carries twice the σ channel.
TEST(DiatomProgram, LithiumOpenShellGivesBetaTwoAndEvenFinalProjections) {
  ScratchDir dir("diatom_li");
  dir.write("li.mol",
            "&MOL Z1 = 3, Z2 = 0, RZ = 0.4, SHELLS = '1s 2s1', STATE = '2S', ION = '2s', EMIN = 8, EMAX = 30,\n"
            " TOL = 1e-5, DK = 0.1, BETA = 1 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 li.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string table = dir.read("run/diatom.dat"), ch = dir.read("run/channels.dat");
  EXPECT_NE(ch.find("2s -> k sigma (weight 0.5)"), std::string::npos) << ch.substr(0, 400);
  EXPECT_NE(ch.find("2s -> k pi (weight 1)"), std::string::npos);
  for (double e : {10.0, 15.0, 25.0}) {
    const auto [bL, bV] = column_at(table, e, 3);
    EXPECT_NEAR(bL, 2.0, 1e-3) << e << " eV";
    EXPECT_NEAR(bV, 2.0, 1e-3) << e << " eV";
    const auto [sL, sV] = column_at(ch, e, 1);
    const auto [pL, pV] = column_at(ch, e, 3);
    EXPECT_NEAR(pL / sL, 2.0, 2e-3) << e << " eV";
    EXPECT_NEAR(pV / sV, 2.0, 2e-3) << e << " eV";
  }
}

// Lithium's 1s hole beside the open 2s leaves Li⁺ 1s2s ³S and ¹S, shares
// 3/4 and 1/4.  Each term's field is spherical (σ orbitals about one
// nucleus), so each state's β is that of an s shell, 2, and its π channel
// carries twice its σ channel, whatever the exchange of the term.
TEST(DiatomProgram, LithiumCoreHoleGivesEachIonicTermItsOwnAtomicChannels) {
  ScratchDir dir("diatom_li1s");
  dir.write("li.mol",
            "&MOL Z1 = 3, Z2 = 0, RZ = 0.4, SHELLS = '1s 2s1', STATE = '2S', ION = '1s', EMIN = 70, EMAX = 120,\n"
            " TOL = 1e-5, DK = 0.1, BETA = 1 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 li.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string table = dir.read("run/diatom.dat"), ch = dir.read("run/channels.dat");
  EXPECT_NE(table.find("1s_3S+_HF_L"), std::string::npos) << table.substr(0, 400);
  EXPECT_NE(ch.find("1s 3S+ -> k pi (weight 1.5)"), std::string::npos) << ch.substr(0, 400);
  EXPECT_NE(ch.find("1s 1S+ -> k pi (weight 0.5)"), std::string::npos);
  for (double e : {75.0, 100.0}) {
    for (int state = 0; state < 2; ++state) {
      const auto [bL, bV] = column_at(table, e, 3 + 4 * state);
      EXPECT_NEAR(bL, 2.0, 1e-3) << e << " eV, state " << state;
      EXPECT_NEAR(bV, 2.0, 1e-3) << e << " eV, state " << state;
      const auto [sL, sV] = column_at(ch, e, 1 + 4 * state);
      const auto [pL, pV] = column_at(ch, e, 3 + 4 * state);
      EXPECT_NEAR(pL / sL, 2.0, 2e-3) << e << " eV, state " << state;
      EXPECT_NEAR(pV / sV, 2.0, 2e-3) << e << " eV, state " << state;
    }
  }
}

// CN X²Σ⁺ from its description alone.  From no orbitals the sweeps lose the
// C 1s; diatom runs the closed-shell neighbour CO first (near/) and CN from
// its orbitals.  x2dhf's CN at this distance (151 × 181 points): total
// −92.2251790753, the open 5σ −0.66744 below the closed 4σ −0.62863.
TEST(DiatomProgram, SlowCyanoRadicalIsReachedFromItsClosedShellNeighbour) {
  ScratchDir dir("diatom_cn");
  dir.write("cn.mol", "&MOL Z1 = 7, Z2 = 6, RZ = 2.214, SHELLS = '1s 2s 3s 4s 1p 5s1', STATE = '2S+', TOL = 1e-4 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 1 cn.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string lst = dir.read("run/diatom.lst");
  EXPECT_NE(lst.find("closed-shell neighbour in near/ (Z1 = 8, Z2 = 6"), std::string::npos) << lst;
  const size_t t = lst.find("TOTAL ENERGY:");
  ASSERT_NE(t, std::string::npos) << lst;
  EXPECT_NEAR(std::stod(lst.substr(t + 13)), -92.2251790753, 1e-4);
  std::map<std::string, double> e;
  std::istringstream in(lst);
  for (std::string line; std::getline(in, line);) {
    std::istringstream row(line);
    std::string name, sym;
    int M = 0, L0 = 0;
    double v = 0;
    if (row >> name >> sym >> M >> L0 >> v && sym == "sigma") e[name] = v;
  }
  ASSERT_TRUE(e.count("4s") && e.count("5s")) << lst;
  EXPECT_NEAR(e["5s"], -0.6674421062, 1e-4);
  EXPECT_NEAR(e["4s"], -0.6286328556, 1e-4);
}

// AlF from its description alone.  From no orbitals it ended on other
// solutions (−338.15 in the diagram's order, −340.98 in the order written);
// diatom starts it from Al⁺ and F⁻ (atom1/, atom2/).  Gaussian Hartree–Fock
// (cc-pCV5Z, psi4): 7σ −0.336918, total −341.488014, extrapolated −341.4884.
TEST(DiatomProgram, SlowAluminiumFluorideIsReachedFromItsSeparatedIons) {
  ScratchDir dir("diatom_alf");
  dir.write("alf.mol", "&MOL Z1 = 13, Z2 = 9, RZ = 3.126, SHELLS = '1s 2s 3s 4s 1p 5s 6s 2p 7s', TOL = 1e-3 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 1 alf.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string lst = dir.read("run/diatom.lst");
  EXPECT_NE(lst.find("separated ions, Al+ (1s 2s 1p 3s 4s) on nucleus 1 in atom1/"), std::string::npos) << lst;
  const size_t t = lst.find("TOTAL ENERGY:"), s = lst.find("\n   7s ");
  ASSERT_TRUE(t != std::string::npos && s != std::string::npos) << lst;
  EXPECT_NEAR(std::stod(lst.substr(t + 13)), -341.4884, 1e-3);
  EXPECT_NEAR(std::stod(lst.substr(lst.find("0   0", s) + 5)), -0.336918, 1e-3);
}

// H2+ at R = 2, the run of a user asking for β and the molecular frame:
// every open solution kept (seven), a momentum step of 0.02, 30 to 82 eV.
// The exact two-centre continuum gives 0.7522, 0.3620, 0.1026 Mb; β of the
// separated equations 1.47603 at 41.03 eV and 1.66920 at 60.62 eV
// (tests/photo/beta_h2plus_exact_test.cpp); the distributions of the two
// orientations average (1/3 along, 2/3 across) to the physical σ of the
// one electron.
TEST(DiatomProgram, H2PlusGivesTheExactCrossSectionsBetaAndMolecularFrame) {
  ScratchDir dir("diatom_h2p");
  dir.write("h2p.mol",
            "&MOL Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 31, EMAX = 63, DK = 0.02,\n"
            " BETA = 1, MFPAD = '41 61' /\n");
  auto r = run_program_in(dir.path(), "diatom h2p.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string table = dir.read("run/diatom.dat");
  const double exact[][2] = {{32, 0.7522}, {40, 0.3620}, {60, 0.1026}};
  for (const auto& [e, s] : exact) {
    const auto [L, V] = total_at(table, e);
    EXPECT_NEAR(L / s, 1.0, 0.005) << e << " eV";
    EXPECT_NEAR(V / s, 1.0, 0.005) << e << " eV";
  }
  const std::string lst = dir.read("run/diatom.lst");
  EXPECT_NE(lst.find("-1.1026342"), std::string::npos) << lst;
  EXPECT_NE(lst.find("7 solutions per energy"), std::string::npos) << lst;
  // Columns: eV, σ HF L, V, β HF L, V, total L, V.
  // β at the momenta k = 0.9 and 1.5 of the separated computation.
  const double betas[][2] = {{0.9, 1.47603}, {1.5, 1.66920}};
  for (const auto& [k, b] : betas) {
    const double e = (0.5 * k * k + 1.1026342) * 27.211386;
    const auto [L, V] = column_at(table, e, 3);
    EXPECT_NEAR(L, b, 5e-4) << e << " eV";
    EXPECT_NEAR(V, b, 5e-4) << e << " eV";
  }
  // The listing's cross sections of the orientations (HF 1sg, eV, angle, L, V).
  std::istringstream in(lst.substr(lst.find("method shell")));
  std::map<std::pair<int, int>, double> sigma;
  for (std::string line; std::getline(in, line);) {
    std::istringstream w(line);
    std::string method, shell, deg;
    double e = 0, a = 0, L = 0, V = 0;
    if (w >> method >> shell >> e >> a >> deg >> L >> V)
      sigma[{static_cast<int>(std::lround(e)), static_cast<int>(a)}] = L;
  }
  ASSERT_EQ(sigma.size(), 4u) << lst;
  for (int e : {41, 61}) {
    const double average = sigma[{e, 0}] / 3 + 2 * sigma[{e, 90}] / 3;
    EXPECT_NEAR(average / total_at(table, e).first, 1.0, 2e-3) << e << " eV";
  }
  EXPECT_NE(dir.read("run/plot.gp").find("load 'mfpad.gp'"), std::string::npos);
  EXPECT_NE(dir.read("run/mfpad.gp").find("set output 'mfpad-1sg.png'"), std::string::npos);
}

}  // namespace

namespace {

// The blocks of vibration.dat (separated by blank lines), each as rows of
// numbers ('-' read as NaN), comments skipped.
std::vector<std::vector<std::vector<double>>> vibration_blocks(const std::string& text) {
  std::vector<std::vector<std::vector<double>>> blocks(1);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      if (!blocks.back().empty()) blocks.emplace_back();
      continue;
    }
    if (line[0] == '#') continue;
    std::istringstream w(line);
    blocks.back().emplace_back();
    for (std::string x; w >> x;) blocks.back().back().push_back(x == "-" ? NAN : std::stod(x));
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

}  // namespace

// H2 and H2+ with proton masses: the ion's curve is exact (one electron), so
// its levels are those of the three-body calculations: ΔG(½) = 2191.12 cm⁻¹
// (the difference of the v = 1 and v = 0 energies −0.587155679 and
// −0.597139063 hartree, Moss 1993; the Born–Oppenheimer spacing differs by
// less than 1 cm⁻¹) and re = 1.9972 bohr; the Franck–Condon factors from
// H2's v = 0 add up to at most 1.
TEST(DiatomProgram, SlowH2PlusLevelsFromItsExactCurveAndTheFranckCondonFactors) {
  ScratchDir dir("diatom_vib");
  std::string rz;
  for (int k = 0; k < 29; ++k) rz += (k ? ", " : "") + std::to_string(0.5 + 0.2 * k);
  dir.write("h2.mol", "&MOL Z1 = 1, Z2 = 1, RZ = " + rz +
                          ", SHELLS = '1sg', ION = '1sg', VIB = 1, MASS = 1.007276467, 1.007276467 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 h2.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const auto blocks = vibration_blocks(dir.read("run/vibration.dat"));
  ASSERT_EQ(blocks.size(), 3u);
  const auto& levels = blocks[1];  // v, G(v) of H2, of H2+
  ASSERT_GE(levels.size(), 3u);
  EXPECT_NEAR(levels[1][2] - levels[0][2], 2191.12, 2.0);
  const std::string lst = dir.read("run/diatom.lst");
  const size_t row = lst.find("1sg^-1 (1S+)   ");
  ASSERT_NE(row, std::string::npos) << lst;
  EXPECT_NEAR(std::stod(lst.substr(row + 15)), 1.9972, 1e-3) << lst.substr(row, 80);
  double sum = 0;
  for (const auto& q : blocks[2]) sum += q[1];
  EXPECT_GT(sum, 0.85);
  EXPECT_LE(sum, 1 + 1e-9);
}

// H2 → H2+ resolved in the ion's levels through the whole chain (the
// continuum of the bare nuclei): the vibronic cross sections close on the
// cross section averaged over H2's v = 0, to the share of the Franck–Condon
// factors their levels hold, wherever the photoelectron's energy changes
// the cross section little across the vibronic thresholds (4–6 eV above
// them; 2% measured, 8% at 22 eV).
TEST(DiatomProgram, SlowH2VibronicCrossSectionsCloseOnTheAverageOverTheGroundLevel) {
  ScratchDir dir("diatom_vibronic");
  std::string rz;
  for (int k = 0; k < 14; ++k) rz += (k ? ", " : "") + std::to_string(0.6 + 0.4 * k);
  dir.write("h2.mol", "&MOL Z1 = 1, Z2 = 1, RZ = " + rz +
                          ", SHELLS = '1sg', ION = '1sg', VIB = 1, EMIN = 22, EMAX = 28, DK = 0.2, IPOT = 0 /\n");
  auto r = run_program_in(dir.path(), "diatom -j 2 h2.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string text = dir.read("run/vibronic.dat");
  std::vector<double> fc;
  {
    const size_t at = text.find("# Franck-Condon factors:");
    ASSERT_NE(at, std::string::npos) << text.substr(0, 400);
    std::istringstream w(text.substr(at + 24, text.find('\n', at) - at - 24));
    for (double x; w >> x;) fc.push_back(x);
  }
  const auto rows = vibration_blocks(text)[0];
  ASSERT_FALSE(rows.empty());
  const size_t levels = (rows[0].size() - 3) / 4;
  ASSERT_GE(levels, 5u);
  double held = 0;
  for (size_t v = 0; v < levels; ++v) held += fc[v];
  int checked = 0;
  for (const auto& row : rows) {
    double sum = 0;
    for (size_t v = 0; v < levels; ++v) sum += row[1 + 4 * v];
    if (row[0] < 24 || !std::isfinite(sum) || !std::isfinite(row[row.size() - 2])) continue;
    EXPECT_NEAR(sum / row[row.size() - 2] / held, 1, 0.03) << "at " << row[0] << " eV";
    ++checked;
  }
  EXPECT_GT(checked, 60);
}

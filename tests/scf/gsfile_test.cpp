// gsfile: a tovrel result file becomes a ground-state file.
#include <gtest/gtest.h>

#include "io/unit.hpp"
#include "lib/ground_state.hpp"
#include "lib/orbital_file.hpp"
#include "scf/entry.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

// A result file of tovrel: the echo of D00, then an orbital block.
std::string result_file(int na, bool orbitals, int waves_of_shell_2 = 3, int igrid = 0) {
  scf::ControlGroup d;
  d.IGRID = igrid;
  d.Z1 = 7.0;
  d.Z2 = 7.0;
  d.RZ = 2.068;
  d.NSH = 2;
  d.MLN = {0, 0, 2, 1, 1, 3};
  d.NA = na;
  d.NB = 12;
  d.RP[0] = 2.0;
  d.RP[1] = 25.0;
  d.EPS = 1e-8;
  d.AHF[0] = 2.0;
  d.FIL = "n2.lst";
  d.FIR = "n2.res";
  auto u = io::Unit::to_text("n2.res");
  d.group().write(*u);
  if (orbitals) {
    std::vector<int> mln{0, 0, 2, 1, 1, waves_of_shell_2}, lk{1, 3, 3 + waves_of_shell_2};
    std::vector<double> e{-15.68, -0.61}, cn{1.0, 1.0}, x(12 * 6);
    for (size_t i = 0; i < x.size(); ++i) x[i] = 1.0 / (1.0 + static_cast<double>(i));
    lib::write_orbital_block(2, 12, lib::CIMat(mln.data(), 3, 2), lib::CIVec(lk.data(), 3), lib::CVec(e.data(), 2),
                             lib::CVec(cn.data(), 2), lib::CMat(x.data(), 12, 6), *u);
  }
  return u->text();
}

TEST(GroundStateFile, CopiesTheGridAndShellsAndTheOrbitalBlockLineForLine) {
  ScratchDir dir("gsfile");
  std::string res = result_file(5, true);
  dir.write("n2.res", res);
  std::string block = res.substr(res.find(" /\n") + 3);
  auto r = testsupport::run_program_in(dir.path(), "gsfile n2.res n2.gs");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string gs = dir.read("n2.gs");
  EXPECT_EQ(gs.substr(gs.size() - block.size()), block);
  EXPECT_EQ(gs.find("FIR"), std::string::npos);  // FIR(2) of the control file stays untouched
  EXPECT_EQ(gs.find("AHF"), std::string::npos);

  lib::GroundStateGroup s;
  std::string fil;
  std::array<std::string, 10> fir{};
  auto u = io::Unit::from_text("n2.gs", gs);
  s.group(fil, fir).read(*u);
  EXPECT_EQ(s.Z1, 7.0);
  EXPECT_EQ(s.RZ, 2.068);
  EXPECT_EQ(s.NSH, 2);
  EXPECT_EQ(s.MLN[5], 3);
  EXPECT_EQ(s.NA, 5);
  EXPECT_EQ(s.NB, 12);
  EXPECT_EQ(s.RP[1], 25.0);
  EXPECT_EQ(s.EPS, 1e-8);

  // The output file is never overwritten.
  auto again = run_program_in(dir.path(), "gsfile n2.res n2.gs");
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(dir.read("n2.gs"), gs);
}

TEST(GroundStateFile, RefusesResultsWithoutOrMismatchedOrbitals) {
  struct Case {
    std::string result, why;
  } cases[] = {
      {result_file(5, false), "no orbitals"},
      {result_file(3, true), "NA = 5"},
      {result_file(5, true, 2), "partial waves"},
      {result_file(5, true, 3, 2), "IGRID = 2"},  // a map the continuum programs do not build
  };
  for (const auto& c : cases) {
    ScratchDir dir("gsfile_bad");
    dir.write("n2.res", c.result);
    auto r = run_program_in(dir.path(), "gsfile n2.res n2.gs");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find(c.why), std::string::npos) << r.output;
    EXPECT_FALSE(dir.exists("n2.gs"));
  }
}

}  // namespace

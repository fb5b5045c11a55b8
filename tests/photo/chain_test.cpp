// The chain a user runs: tovrel, gsfile, then xsect on channel files.
#include <gtest/gtest.h>

#include "support/channel_data.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

TEST(WholeChain, TovrelResultThroughGsfileFeedsXsectWithRpa) {
  ScratchDir dir("chain_h2");
  dir.write("Velor.prt", "&VELOR PRT = 'H2', 'chain test', '' /\n");
  dir.write("Dp_Data.dsc",
            "&D00I MI0 = 0 /\n&D00 Z1 = 1.0, Z2 = 1.0, RZ = 1.4, NSH = 1, MLN = 0, 0, 6, AHF = 2.0, BHF = 1.0,\n"
            " NA = 5, NB = 406, RP = 1.01, 30.0, EPS = 1.0D-8, MI = 0, 1, 0, 0, 0, 0, 0,\n"
            " FIL = 'h2.lst', FIR = 'h2.res' /\n");
  auto scf = run_program_in(dir.path(), "tovrel");
  ASSERT_EQ(scf.status, 0) << scf.output.substr(scf.output.size() > 3000 ? scf.output.size() - 3000 : 0);
  auto gs = run_program_in(dir.path(), "gsfile h2.res h2.gs");
  ASSERT_EQ(gs.status, 0) << gs.output;

  // Two channels of test functions on the grid of the ground state: σ and π
  // final states of the 1σg shell.
  testsupport::Channel sigma, pi;
  sigma.M = 0;
  sigma.L0 = 1;
  sigma.NX = 6;
  sigma.NL = 2;
  sigma.NC = 5;
  pi = sigma;
  pi.M = 1;
  pi.seed = 2;
  pi.ND = 1;
  dir.write("s.chn", sigma.text(406));
  dir.write("p.chn", pi.text(406));
  dir.write("p.ext", pi.extra_text(406));
  dir.write("File.D40",
            "&S40 NCH = 2, FIL = 'x.lst', FIG = 'h2.gs', FIR = 'x.dat', FIC = 's.chn', 'p.chn',\n"
            " FID = ' ', 'p.ext', ID = 0, 1, IRP = 1, NEM = 20, NUR = 42 /\n");
  auto x = run_program_in(dir.path(), "xsect");
  ASSERT_EQ(x.status, 0) << x.output.substr(x.output.size() > 3000 ? x.output.size() - 3000 : 0);
  std::string lst = dir.read("x.lst");
  // The ground-state energy of the tovrel run heads the photoionisation listing.
  EXPECT_NE(lst.find("       1        0     0     6       -0.59465"), std::string::npos) << lst.substr(0, 1200);
  EXPECT_NE(lst.find(" RPA results:"), std::string::npos);
}

}  // namespace

// Entry of the ground-state program: partition, files, limits, restart.
#include "scf/entry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "io/stop.hpp"
#include "scf/input_checks.hpp"
#include "scf/sizes.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

const char* kVelor = "&VELOR\n PRT = 'H2 at 1.4 bohr', 'closed shell', 'test',\n /\n";

std::string control(const std::string& d00_body, const std::string& d00i = "MI0=0") {
  return "&D00I " + d00i + " /\n&D00\n" + d00_body + "\n /\n";
}

const char* kH2 =
    " Z1=1.0, Z2=1.0, RZ=1.4, NSH=1, MLN=0,0,3,\n"
    " AHF=1.0, BHF=0.0, NA=5, NB=120, RP=2.0,40.0, EPS=1.0D-7,\n"
    " MI=0,1,0,0,0,0,0, JOR=0, FIL='h2.lst', FIR='h2.res'";

TEST(ScfEntry, PartitionOfTheWorkspace) {
  EXPECT_EQ(scf::partition(100, 6, 3), (std::array<long, 8>{1, 701, 1301, 2201, 3101, 5201, 5801, 6401}));
  // With one partial wave per shell the multipole slice still gets three columns.
  auto K = scf::partition(100, 2, 1);
  EXPECT_EQ(K[7] - K[6], 300);
}

TEST(ScfEntry, WritesTheEchoAndNeverOverwritesAnExistingListingOrResult) {
  ScratchDir dir("entry");
  dir.write("Velor.prt", kVelor);
  dir.write("Dp_Data.dsc", control(kH2));
  auto r = run_program_in(dir.path(), "tovrel");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("I, MLN ="), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("KMA, K ="), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Stop - Program terminated."), std::string::npos);
  ASSERT_TRUE(dir.exists("h2.lst"));
  std::string result = dir.read("h2.res");
  EXPECT_EQ(result.substr(0, 5), "&D00\n");
  EXPECT_NE(result.find(" RZ = 1.4,"), std::string::npos) << result;

  std::string listing = dir.read("h2.lst");
  auto again = run_program_in(dir.path(), "tovrel");
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
  EXPECT_EQ(dir.read("h2.res"), result);
  EXPECT_EQ(dir.read("h2.lst"), listing);
}

// A grid beyond the fixed workspace (15 waves on 4,500 points: 3,568,500
// words) gets a workspace of its own and a solver's copy of the shell of
// NB·n = 67,500 words, and H2 comes out at its Hartree–Fock limit.
TEST(ScfEntry, AGridBeyondTheFixedWorkspaceRunsToTheLimit) {
  ScratchDir dir("grown");
  dir.write("Velor.prt", kVelor);
  dir.write("Dp_Data.dsc", control(" Z1=1.0, Z2=1.0, RZ=1.4, NSH=1, MLN=0,0,15, AHF=2.0, BHF=1.0,\n"
                                   " NA=5, NB=4500, RP=1.01,25.0, EPS=1.0D-5, MI=0,1,0,0,0,0,0, JOR=0,\n"
                                   " FIL='g.lst', FIR='g.res', EXACT=1"));
  auto r = run_program_in(dir.path(), "tovrel");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string listing = dir.read("g.lst");
  const auto at = listing.rfind("TOTAL ENERGY =");
  ASSERT_NE(at, std::string::npos) << listing;
  EXPECT_NEAR(std::stod(listing.substr(at + 14, 30)), -1.1336296, 1e-6);  // the Hartree–Fock limit of H2
}

// The workspace grows past its 3,500,000 words as the input asks, up to
// kNUVM words (1.6 GB); this input asks for 212,000,000 and is refused.
TEST(ScfEntry, AWorkspaceBeyondWhatARunMayUseIsRefusedNamingNB) {
  ScratchDir dir("memory");
  dir.write("Velor.prt", kVelor);
  dir.write("Dp_Data.dsc", control(" Z1=1.0, Z2=1.0, RZ=1.4, NSH=4, MLN=0,0,20, 0,1,20, 0,2,20, 0,3,20,\n"
                                   " NA=3, NB=150000, RP=2.0,40.0, EPS=1.0D-7, FIL='m.lst', FIR='m.res'"));
  auto r = run_program_in(dir.path(), "tovrel");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("group &D00, variable NB: 150000 points take 1413 words each"), std::string::npos)
      << r.output;
  EXPECT_FALSE(dir.exists("m.lst"));
}

// NUVM raises the words a run may use: the least value accepted for a grid
// is the demand words_needed names, one word less is refused naming NB.
TEST(ScfEntry, NUVMRaisesTheWordsARunMayUseToWhatTheGridNeeds) {
  scf::ControlGroup d;
  d.Z1 = d.Z2 = 1.0, d.RZ = 1.4, d.NSH = 4, d.NA = 3, d.NB = 150000, d.RP[0] = 2.0, d.RP[1] = 40.0, d.EPS = 1e-7;
  for (int i = 0; i < 4; ++i) d.MLN[3 * i] = 0, d.MLN[3 * i + 1] = i, d.MLN[3 * i + 2] = 20;
  auto limits = [&d] {
    try {
      scf::check_limits(d, "x.dsc");
      return std::string();
    } catch (const io::StopRun& s) {
      return s.message();
    }
  };
  ASSERT_EQ(scf::words_needed(d), 150000L * 1413);
  EXPECT_NE(limits().find("variable NB"), std::string::npos);
  d.NUVM = static_cast<int>(scf::words_needed(d));
  EXPECT_EQ(limits(), "");
  d.NUVM -= 1;
  EXPECT_NE(limits().find("raise NUVM"), std::string::npos);
  d.NUVM = 0;
  EXPECT_NE(limits().find("variable NUVM"), std::string::npos);
}

TEST(ScfEntry, RestartTakesTheGroupOfTheRestartFileAndReadsItsOrbitals) {
  ScratchDir dir("restart");
  dir.write("Velor.prt", kVelor);
  dir.write("Dp_Data.dsc", control(kH2));
  ASSERT_EQ(run_program_in(dir.path(), "tovrel").status, 0);
  // A restart file: the result's group followed by an orbital block.
  std::string block = "    1       120\n     1    3\n    -0.594658500E+00     0.100000000E+01\n";
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 120; i += 5) {
      for (int j = i; j < std::min(i + 5, 120); ++j) block += "     0.100000000E+00";
      block += "\n";
    }
  }
  // (values 20 wide here: the reader takes 16-column fields, so this block is malformed)
  const std::string res = dir.read("h2.res");
  const std::string group = res.substr(0, res.find(" /\n") + 3);  // the echo of D00 without the orbitals
  dir.write("start.res", group + block);
  dir.write("Dp_Data.dsc", "&D00I MI0=1, FI0='start.res' /\n&D00 EPS=1.0D-9, FIL='r.lst', FIR='r.res' /\n");
  auto bad = run_program_in(dir.path(), "tovrel");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.output.find("start.res"), std::string::npos) << bad.output;

  std::string good = "    1       120\n     1    3\n    -0.594658500E+00     0.100000000E+01\n";
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 120; i += 5) {
      for (int j = i; j < std::min(i + 5, 120); ++j) good += " 0.100000000E+00";
      good += "\n";
    }
  }
  dir.write("start2.res", group + good);
  dir.write("Dp_Data.dsc", "&D00I MI0=1, FI0='start2.res' /\n&D00 EPS=1.0D-9, FIL='s.lst', FIR='s.res' /\n");
  auto r = run_program_in(dir.path(), "tovrel");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string echo = dir.read("s.res");
  EXPECT_NE(echo.find(" RZ = 1.4,"), std::string::npos) << echo;       // from the restart file
  EXPECT_NE(echo.find(" EPS = 1.0E-09,"), std::string::npos) << echo;  // from the control file
  EXPECT_NE(echo.find(" FIR = 's.res',"), std::string::npos) << echo;
}

TEST(ScfEntry, InputBeyondTheFixedStorageStopsNamingTheVariable) {
  struct Case {
    void (*edit)(scf::ControlGroup&);
    const char* variable;
  } cases[] = {
      {[](scf::ControlGroup& d) { d.NSH = 17; }, "NSH"},
      {[](scf::ControlGroup& d) { d.NSH = 0; }, "NSH"},
      {[](scf::ControlGroup& d) { d.NA = 7; }, "NA"},    // 7·8 > 50
      {[](scf::ControlGroup& d) { d.NA = 4; }, "NA"},    // even
      {[](scf::ControlGroup& d) { d.NB = 101; }, "NB"},  // NB − NA even
      {[](scf::ControlGroup& d) { d.MLN[2] = 0; }, "MLN"},
      {[](scf::ControlGroup& d) { d.MLN[2] = 10000; }, "MLN"},  // (NA·n)² beyond the run's memory
      {[](scf::ControlGroup& d) {
         d.MLN[0] = 5;
         d.MLN[1] = 5;
       },
       "NA"},  // NA·MM = 5·11 > 50
      {[](scf::ControlGroup& d) { d.RP[1] = 1.5; }, "RP"},
      {[](scf::ControlGroup& d) { d.MI[0] = 3; }, "MI"},
      {[](scf::ControlGroup& d) { d.EPS = 0.0; }, "EPS"},
      // Counts near the range of int are refused, not wrapped into accepted ones.
      {[](scf::ControlGroup& d) { d.NA = 99999; }, "NA"},
      {[](scf::ControlGroup& d) { d.NB = -2147483647 - 1; }, "NB"},
      {[](scf::ControlGroup& d) { d.NB = 2147483646; }, "NB"},
      // Switches outside their meaning.
      {[](scf::ControlGroup& d) { d.JOR[0] = 2; }, "JOR(1,1)"},
      {[](scf::ControlGroup& d) { d.MI[1] = 2; }, "MI(2)"},
      {[](scf::ControlGroup& d) { d.MI[2] = 3; }, "MI(3)"},
      {[](scf::ControlGroup& d) { d.MI[3] = -1; }, "MI(4)"},
  };
  for (const auto& c : cases) {
    scf::ControlGroup d;
    d.Z1 = d.Z2 = 1.0;
    d.RZ = 1.4;
    d.NSH = 1;
    d.MLN = {0, 0, 3};
    d.NA = 5;
    d.NB = 120;
    d.RP[0] = 2.0;
    d.RP[1] = 40.0;
    d.EPS = 1e-7;
    scf::check_limits(d, "Dp_Data.dsc");  // the unedited input passes
    c.edit(d);
    try {
      scf::check_limits(d, "Dp_Data.dsc");
      ADD_FAILURE() << c.variable;
    } catch (const io::StopRun& s) {
      EXPECT_NE(s.message().find(std::string("variable ") + c.variable), std::string::npos) << s.message();
      EXPECT_NE(s.message().find("Dp_Data.dsc"), std::string::npos);
    }
  }
}

}  // namespace

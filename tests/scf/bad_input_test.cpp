// tovrel on input it must refuse: a stop naming file and variable, status 1,
// and no output file made (an existing one untouched).
#include <gtest/gtest.h>

#include <string>

#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

const char* kVelor = "&VELOR\n PRT = 'H2', 'closed shell', 'test',\n /\n";
const std::string kH2 =
    " Z1=1.0, Z2=1.0, RZ=1.4, NSH=1, MLN=0,0,3, AHF=1.0, BHF=0.0, NA=5, NB=120, RP=2.0,40.0, EPS=1.0D-7,"
    " MI=0,1,0,0,0,0,0, JOR=0, FIL='h2.lst', FIR='h2.res'";

TEST(TovrelBadInput, RefusedBeforeAnyOutputIsMade) {
  struct Case {
    std::string control, why;
  } cases[] = {
      {"&D00I MI0=0 /\n&D00" + kH2 + ", Z1=1E400 /\n", "variable Z1"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", EPS=1.0D+999 /\n", "variable EPS"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", MI=2147483648*0 /\n", "repeat count"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", NA=99999 /\n", "variable NA"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", RP=1.01, NaN /\n", "'NAN' is not a value"},
      {"&D00I MI0=3 /\n&D00" + kH2 + " /\n", "variable MI0"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", JOR=2 /\n", "JOR(1,1)"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", FIR='h2.lst' /\n", "would both write file 'h2.lst'"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", FIR='old.res' /\n", "'old.res' already exists"},
      // An open shell: a term its configuration does not have, a shell that is not there.
      {"&D00I MI0=0 /\n&D00" + kH2 + ", OPEN=1,1, TERM='3S-' /\n", "'3S-' is not a term of 1 electrons"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", OPEN=1,2, TERM='1S+' /\n", "open with 1 to 1 electrons, not 2"},
      {"&D00I MI0=0 /\n&D00" + kH2 + ", OPEN=2,1, TERM='2S' /\n", "OPEN(1) = 2 is not a shell"},
  };
  for (const auto& k : cases) {
    ScratchDir dir("tovrel_bad");
    dir.write("Velor.prt", kVelor);
    dir.write("Dp_Data.dsc", k.control);
    dir.write("old.res", "kept\n");
    auto r = run_program_in(dir.path(), "tovrel");
    EXPECT_EQ(r.status, 1) << k.control << r.output;
    EXPECT_NE(r.output.find(k.why), std::string::npos) << k.control << r.output;
    EXPECT_NE(r.output.find("Stop - Program terminated.\n"), std::string::npos) << r.output;
    EXPECT_FALSE(dir.exists("h2.lst")) << k.control;
    EXPECT_FALSE(dir.exists("h2.res")) << k.control;
    EXPECT_EQ(dir.read("old.res"), "kept\n");
  }
}

TEST(TovrelBadInput, ARestartFromAnotherGridOrShellStructureIsRefused) {
  ScratchDir dir("tovrel_restart");
  dir.write("Velor.prt", kVelor);
  dir.write("Dp_Data.dsc", "&D00I MI0=0 /\n&D00" + kH2 + " /\n");
  ASSERT_EQ(run_program_in(dir.path(), "tovrel").status, 0);
  struct Case {
    std::string d00, why;
  } cases[] = {
      {"NB=122", "grid"},
      {"RP=2.0,41.0", "grid"},
      {"MLN=0,0,4", "its group gives the shell 4"},
  };
  int n = 0;
  for (const auto& k : cases) {
    std::string fil = "r";  // built in two steps: GCC 12 warns falsely (-Wrestrict) on "r" + to_string
    fil += std::to_string(++n);
    dir.write("Dp_Data.dsc",
              "&D00I MI0=1, FI0='h2.res' /\n&D00 " + k.d00 + ", FIL='" + fil + ".lst', FIR='" + fil + ".res' /\n");
    auto r = run_program_in(dir.path(), "tovrel");
    EXPECT_EQ(r.status, 1) << k.d00 << r.output;
    EXPECT_NE(r.output.find("'h2.res'"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(k.why), std::string::npos) << k.d00 << r.output;
    EXPECT_FALSE(dir.exists(fil + ".lst"));
  }
}

}  // namespace

// xsect and gsfile on damaged or inconsistent input: each case stops with a
// message naming the file and what is wrong, status 1 and the stop line,
// and a case refused on its inputs leaves no output file behind.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "io/list_directed.hpp"
#include "support/channel_data.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::Channel;
using testsupport::GroundState;
using testsupport::run_program_in;
using testsupport::ScratchDir;

struct Files {
  std::string control, gs, channel;
};

std::string control(const std::string& extra = "") {
  return "&S40 NCH=1, FIR='a.dat','b.dat', FIL='run.lst', FIG='gs.dat', IRP=0, NUR=12, NEM=7,\n"
         " FIC='c1.dat', ID=0 " +
         extra + " /\n";
}

Files good() {
  GroundState g;
  Channel c;
  return Files{control(), g.text(), c.text(g.NB)};
}

void replace(std::string& s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  ASSERT_NE(at, std::string::npos) << from << " in\n" << s.substr(0, 400);
  s.replace(at, from.size(), to);
}

TEST(XsectBadInput, RefusedWithTheFileNamedAndNothingHalfMade) {
  struct Case {
    const char* name;
    std::function<void(Files&)> edit;
    const char* file;
    const char* why;
    bool no_outputs;  // refused before the first output file
  } cases[] = {
      {"orbital block without shells", [](Files& f) { replace(f.gs, "    1        40\n", "    0        40\n"); },
       "gs.dat", "NSH = 0", true},
      {"orbital block on fewer points", [](Files& f) { replace(f.gs, "    1        40\n", "    1        39\n"); },
       "gs.dat", "NB = 40", true},
      {"shell line with fewer waves", [](Files& f) { replace(f.gs, "     1    3\n", "     1    2\n"); }, "gs.dat",
       "its group gives the shell 3", true},
      {"orbital value cut short", [](Files& f) { f.gs.erase(f.gs.size() - 9); }, "gs.dat", "truncated", true},
      {"wave count that overflows", [](Files& f) { replace(f.gs, "MLN=0,0,3,", "MLN=0,0,2000000000,"); }, "gs.dat",
       "MLN", true},
      {"repeat count beyond int", [](Files& f) { replace(f.control, "ID=0", "ID=2147483648*0"); }, "File.D40",
       "repeat count", true},
      {"overflowing real", [](Files& f) { replace(f.gs, "RZ=1.400000,", "RZ=1.4D999,"); }, "gs.dat", "range of double",
       true},
      {"IRP = 2 without FIR(2)",
       [](Files& f) {
         replace(f.control, "FIR='a.dat','b.dat'", "FIR='a.dat'");
         replace(f.control, "IRP=0", "IRP=2");
       },
       "File.D40", "FIR(2), which is not named", true},
      {"existing data file", [](Files&) {}, "a.dat", "already exists", true},
      {"energies off the grid",
       [](Files& f) { replace(f.channel, f.channel.substr(0, f.channel.find('\n')), io::lstring(1, 0.5, 0.2)); },
       "c1.dat", "off the momentum grid", false},
      {"momentum step not positive",
       [](Files& f) { replace(f.channel, f.channel.substr(0, f.channel.find('\n')), io::lstring(1, 0.5, -0.1)); },
       "c1.dat", "DP", false},
      {"blank energy", [](Files& f) { replace(f.channel, "0.125000000E+00", std::string(15, ' ')); }, "c1.dat",
       "blank field", false},
      {"channel file cut short", [](Files& f) { f.channel.erase(f.channel.size() - 12); }, "c1.dat", "truncated",
       false},
  };
  for (const auto& k : cases) {
    ScratchDir dir("xsect_bad");
    Files f = good();
    k.edit(f);
    dir.write("File.D40", f.control);
    dir.write("gs.dat", f.gs);
    dir.write("c1.dat", f.channel);
    if (std::string(k.file) == "a.dat") dir.write("a.dat", "earlier results\n");
    auto r = run_program_in(dir.path(), "xsect");
    EXPECT_EQ(r.status, 1) << k.name << "\n" << r.output;
    EXPECT_NE(r.output.find(std::string("'") + k.file + "'"), std::string::npos) << k.name << "\n" << r.output;
    EXPECT_NE(r.output.find(k.why), std::string::npos) << k.name << "\n" << r.output;
    EXPECT_NE(r.output.find("Stop - Program terminated.\n"), std::string::npos) << k.name;
    if (k.no_outputs) {
      EXPECT_FALSE(dir.exists("run.lst")) << k.name;
    }
    if (std::string(k.file) == "a.dat") {
      EXPECT_EQ(dir.read("a.dat"), "earlier results\n");
    }
  }
  // The unedited files run.
  ScratchDir dir("xsect_good");
  Files f = good();
  dir.write("File.D40", f.control);
  dir.write("gs.dat", f.gs);
  dir.write("c1.dat", f.channel);
  auto r = run_program_in(dir.path(), "xsect");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(XsectBadInput, TheRpaRefusesAnEvenNumberOfMomenta) {
  ScratchDir dir("xsect_even");
  GroundState g;
  Channel c;
  c.NC = 4;
  dir.write("File.D40", control(", IRP=1, NUR=16, NEM=9"));
  dir.write("gs.dat", g.text());
  dir.write("c1.dat", c.text(g.NB));
  auto r = run_program_in(dir.path(), "xsect");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("'c1.dat'"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("odd count"), std::string::npos) << r.output;
}

TEST(GsfileBadInput, AGridThatCannotBeRefusedCleanlyBeforeAnySizeIsComputed) {
  ScratchDir dir("gsfile_bad");
  GroundState g;
  // A tovrel result whose group claims NB = -5.
  std::string res =
      "&D00\n Z1 = 1.0, Z2 = 1.0, RZ = 1.4, NSH = 1, MLN = 0, 0, 3, NA = 5, NB = -5,\n"
      " RP = 2.0, 12.0, EPS = 1.0E-07,\n /\n    1        -5\n";
  dir.write("h2.res", res);
  auto r = run_program_in(dir.path(), "gsfile h2.res h2.gs");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("variable NB"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Stop - Program terminated."), std::string::npos) << r.output;
  EXPECT_FALSE(dir.exists("h2.gs"));
}

}  // namespace

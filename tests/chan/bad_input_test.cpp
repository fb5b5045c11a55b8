// chanfile refuses its inputs before it makes any output file.
#include <gtest/gtest.h>

#include <string>

#include "fixtures.hpp"
#include "support/channel_data.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

TEST(ChanfileBadInput, RefusedBeforeAnyOutputIsMade) {
  const std::string gs = chantest::ground_state_text(chantest::make_target(1.0, 1.0, 2.0, 4, 60, 1.5, 20.0));
  const std::string files = " FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst',";
  struct Case {
    std::string body, why;
  } cases[] = {
      {files + " NC = 2147483648", "variable NC"},
      {files + " NC = 4*1", "too many values"},
      {files + " P0 = 1E999", "variable P0"},
      {files + " FIC = 'c.lst'", "would both write file 'c.lst'"},
      {files + " FIC = 'old.chn'", "'old.chn' already exists"},
      {files + " ND = 1, EMX = -0.01, FID = 'old.chn'", "'old.chn' already exists"},
      {files + " IPOT = 1, OPEN = 2, 1", "variable OPEN: the open shell must be one of the shells 1 to 1"},
      {files + " IPOT = 1, OPEN = 1, 2", "variable OPEN: an open shell holds 1 to 1 electrons"},
  };
  for (const auto& c : cases) {
    ScratchDir dir("chanfile_bad");
    dir.write("g.gs", gs);
    dir.write("old.chn", "kept\n");
    dir.write("File.CHN", "&CHN\n" + c.body + "\n/\n");
    auto r = run_program_in(dir.path(), "chanfile");
    EXPECT_EQ(r.status, 1) << c.body;
    EXPECT_NE(r.output.find(c.why), std::string::npos) << c.body << "\n" << r.output;
    EXPECT_NE(r.output.find("Stop - Program terminated."), std::string::npos);
    EXPECT_FALSE(dir.exists("c.lst")) << c.body;
    EXPECT_EQ(dir.read("old.chn"), "kept\n");
  }
}

// The ionic term: ION blank where the ion is open-shell, TERM missing, a
// term the hole does not reach, IONM missing among several arrangements or
// not one of them.  Each refusal names the variable and what would serve.
// The ground state: a σ shell and a π shell (synthetic orbitals; nothing is
// solved).
TEST(ChanfileBadInput, TheIonicTermIsNamedWhereTheIonIsOpenShell) {
  testsupport::GroundState sp;
  sp.shells = {{0, 0, 3, -1.0}, {1, 1, 3, -0.5}};
  const std::string files = " FIG = 'g.gs', FIC = 'c.chn', FIL = 'c.lst', IPOT = 1,";
  const std::string pi1 = files + " NSI = 1, OPEN = 2, 1,";
  struct Case {
    std::string body, why;
  } cases[] = {
      {pi1,
       "variable ION: the hole in shell 1 beside the open shell 2 leaves an open-shell ion: name its term "
       "(ION) and the neutral's (TERM"},
      {pi1 + " TERM = '2P'",
       "variable ION: the hole in shell 1 beside the open shell 2 leaves an open-shell ion: "
       "name its term; with the neutral's '2P' kept the hole reaches 3P (weight 0.75), 1P "
       "(weight 0.25)"},
      {files + " NSI = 2, OPEN = 2, 2, TERM = '3S-'",
       "variable ION: ionising the open shell 2 of 2 electrons leaves an open-shell ion: name its term; with the "
       "neutral's '3S-' kept the hole reaches 2P (weight 0.5)"},
      {pi1 + " ION = '3P'", "variable TERM: the ionic term ION = '3P' needs the neutral's term"},
      {pi1 + " TERM = '2P', ION = '3P'",
       "variable IONM: the hole meets the term 3P in 2 arrangements, of the ion's "
       "projections 1, -1: name one"},
      {pi1 + " TERM = '2P', ION = '3P', IONM = 0",
       "variable IONM: 0 is not a projection of the ion in the term 3P "
       "that the hole meets (1, -1)"},
      {pi1 + " TERM = '2P', ION = '2P'", "variable ION: the configuration has no term 2P"},
      {files + " NSI = 1, IONM = 0", "variable IONM: selects an arrangement of the ionic term ION, which is not given"},
      // The open shell's capacity is its own, not the ionised σ shell's.
      {files + " NSI = 1, OPEN = 2, 4", "variable OPEN: an open shell holds 1 to 3 electrons (OPEN(2) = 4)"},
  };
  for (const auto& c : cases) {
    ScratchDir dir("chanfile_bad_ion");
    dir.write("g.gs", sp.text());
    dir.write("File.CHN", "&CHN\n" + c.body + "\n/\n");
    auto r = run_program_in(dir.path(), "chanfile");
    EXPECT_EQ(r.status, 1) << c.body;
    EXPECT_NE(r.output.find(c.why), std::string::npos) << c.body << "\n" << r.output;
    EXPECT_FALSE(dir.exists("c.lst")) << c.body;
  }
}

}  // namespace

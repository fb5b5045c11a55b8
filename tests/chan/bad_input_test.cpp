// chanfile refuses its inputs before it makes any output file.
#include <gtest/gtest.h>

#include <string>

#include "fixtures.hpp"
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

}  // namespace

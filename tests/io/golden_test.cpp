// Every row of the shared table of edit-descriptor outputs, produced by a
// standard Fortran runtime, must come out identical.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "io/format.hpp"

namespace {

// The shared table beside the project is read at test time, so that the test
// grows with it; a copy kept with the tests stands in where the project is
// checked out alone.
TEST(EditDescriptorGolden, EveryRowOfTheSharedTableMatches) {
  std::string path = (std::filesystem::path(SUITE_SOURCE_DIR) / "../shared/golden/edit-descriptors.tsv").string();
  std::ifstream in(path);
  if (!in) {
    path = (std::filesystem::path(SUITE_SOURCE_DIR) / "tests/io/edit-descriptors.tsv").string();
    in.open(path);
  }
  ASSERT_TRUE(in) << "cannot open " << path;
  std::string line;
  int rows = 0, bad = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    size_t t1 = line.find('\t');
    size_t t2 = line.find('\t', t1 + 1);
    ASSERT_NE(t2, std::string::npos) << line;
    std::string desc = line.substr(0, t1);
    std::string value = line.substr(t1 + 1, t2 - t1 - 1);
    std::string bars = line.substr(t2 + 1);
    ASSERT_GE(bars.size(), 2u);
    ASSERT_EQ(bars.front(), '|');
    ASSERT_EQ(bars.back(), '|');
    std::string want = bars.substr(1, bars.size() - 2);
    double v = std::strtod(value.c_str(), nullptr);
    io::Format f("(" + desc + ")");
    std::string got = io::fstring(f, v);
    ++rows;
    if (got != want) {
      ++bad;
      ADD_FAILURE() << desc << " of " << value << ": got |" << got << "| want |" << want << "|";
    }
  }
  EXPECT_GT(rows, 1000);
  EXPECT_EQ(bad, 0);
}

}  // namespace

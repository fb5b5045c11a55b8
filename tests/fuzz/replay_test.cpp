// Every input of the fuzz corpus, seeds and the inputs that once crashed a
// reader alike, replayed through the fuzz targets without a fuzzer: each
// must end normally or in a stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "targets.hpp"

namespace {

namespace fs = std::filesystem;

void replay(const std::string& folder, int (*target)(const uint8_t*, size_t)) {
  const fs::path dir = fs::path(SUITE_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / folder;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    EXPECT_NO_THROW(target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0) << dir;
}

TEST(FuzzCorpus, GroupReader) { replay("group", fuzz::group); }
TEST(FuzzCorpus, ListDirectedReader) { replay("list_directed", fuzz::list_directed); }
TEST(FuzzCorpus, OrbitalBlockReader) { replay("orbital_block", fuzz::orbital_block); }
TEST(FuzzCorpus, ChannelFileReader) { replay("channel_file", fuzz::channel_file); }
TEST(FuzzCorpus, FormatEngine) { replay("format_engine", fuzz::format_engine); }

}  // namespace

// Files opened old and new, and the end of a program run.
#include "io/unit.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/console.hpp"
#include "io/stop.hpp"

namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() : path(fs::temp_directory_path() / ("units_" + std::to_string(::getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
};

TEST(Units, NewFileIsNeverOverwrittenAndOldFileMustExist) {
  TempDir d;
  std::string f = (d.path / "result.dat").string();
  {
    io::Units u;
    u.open_new(11, f).write_record("first");
  }
  io::Units u;
  try {
    u.open_new(11, f);
    FAIL();
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("already exists"), std::string::npos);
    EXPECT_NE(s.status(), 0);
  }
  std::ifstream in(f);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "first");  // unchanged
  EXPECT_THROW(u.open_old(9, (d.path / "missing").string()), io::StopRun);
  auto& r = u.open_old(9, f);
  EXPECT_EQ(r.record("test"), "first");
  EXPECT_THROW(r.record("test"), io::StopRun);
}

TEST(ProgramStop, EveryEndWritesTheStopLineAndErrorsExitNonZero) {
  std::istringstream in;
  std::ostringstream out;
  io::ConsoleRedirect redirect(&in, &out);
  EXPECT_EQ(io::run_program([] {}), 0);
  EXPECT_EQ(out.str(), "Stop - Program terminated.\n");
  out.str("");
  EXPECT_EQ(io::run_program([] { io::stop(" GIVE ME MEMORY"); }), 1);
  EXPECT_EQ(out.str(), " GIVE ME MEMORY\nStop - Program terminated.\n");
}

TEST(Console, AnAnswerAtEndOfInputStopsInsteadOfLooping) {
  std::istringstream in("3\n");
  std::ostringstream out;
  io::ConsoleRedirect redirect(&in, &out);
  EXPECT_EQ(io::console().answer("IS = ?"), "3");
  try {
    io::console().answer("IS = ?");
    FAIL();
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("IS = ?"), std::string::npos);
  }
}

}  // namespace

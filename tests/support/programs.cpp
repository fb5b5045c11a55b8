#include "support/programs.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  path_ =
      fs::temp_directory_path() / ("suite_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, const std::string& text) const { std::ofstream(path_ / name) << text; }

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(path_ / name);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ScratchDir::exists(const std::string& name) const { return fs::exists(path_ / name); }

std::string program_path(const std::string& name) { return (fs::path(SUITE_BINARY_DIR) / name).string(); }

RunResult run_program_in(const fs::path& dir, const std::string& program, const std::string& input) {
  fs::path in = dir / ".stdin";
  fs::path out = dir / ".stdout";
  std::ofstream(in) << input;
  // `program` may carry arguments after its name.
  size_t sp = program.find(' ');
  std::string name = program.substr(0, sp);
  std::string args = sp == std::string::npos ? "" : program.substr(sp);
  std::string cmd = "cd '" + dir.string() + "' && '" + program_path(name) + "'" + args + " < .stdin > .stdout 2>&1";
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::ifstream o(out);
  std::stringstream s;
  s << o.rdbuf();
  r.output = s.str();
  fs::remove(in);
  fs::remove(out);
  return r;
}

std::string source_file(const std::string& relative) {
  std::ifstream in(std::string(SUITE_SOURCE_DIR) + "/" + relative);
  if (!in) throw std::runtime_error("cannot read " + relative);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testsupport

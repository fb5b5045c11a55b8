// Running the suite's programs from tests, in a scratch folder.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

struct RunResult {
  int status = -1;     // exit status of the program
  std::string output;  // what it wrote on the console (stdout)
};

// A fresh scratch folder, removed with its contents at the end of the test.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Write a file into the folder.
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Path of a program built with the suite (tovrel, xsect, ...).
std::string program_path(const std::string& name);

// Run `program` (its name, then any arguments) in `dir` with `input` on its
// standard input.
RunResult run_program_in(const std::filesystem::path& dir, const std::string& program, const std::string& input = "");

// Text of a file of the source tree (path relative to the project root).
std::string source_file(const std::string& relative);

}  // namespace testsupport

// A diatom run killed in every kind of step at moments drawn at random, and
// resumed each time: the files of every step are cleared before it reruns,
// and the run ends with the files of the run that was never interrupted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "support/programs.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::run_program_in;
using testsupport::ScratchDir;

// H2+ with β and one molecular-frame energy on a coarse grid: tovrel,
// gsfile, two chanfiles and xsect, which writes four files.
const char* kControl =
    "&MOL Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 30, EMAX = 50, NL = 2,\n"
    " TOL = 1e-3, DK = 0.3, BETA = 1, MFPAD = '40' /\n";

// Starts diatom with `args` in `dir` (its console appended to kill.out).
pid_t start_diatom(const fs::path& dir, const std::vector<std::string>& args) {
  const std::string program = testsupport::program_path("diatom");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(127);
    const int fd = ::open("kill.out", O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// The wall time the uninterrupted run's record gives a step.
double step_seconds(const ScratchDir& dir, const std::string& record) {
  std::istringstream in(dir.read(record));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("seconds ", 0) == 0) return std::stod(line.substr(8));
  }
  return 0.0;
}

TEST(DiatomResume, EveryKindOfStepKilledAtRandomMomentsResumesToTheSameFiles) {
  ScratchDir dir("diatom_kill");
  dir.write("h2p.mol", kControl);
  auto one = run_program_in(dir.path(), "diatom -j 1 h2p.mol one");
  ASSERT_EQ(one.status, 0) << one.output;
  ASSERT_EQ(run_program_in(dir.path(), "diatom -l h2p.mol cut").status, 0);
  // A run killed while xsect wrote its molecular-frame table left it empty.
  dir.write("cut/xsect.lst.mfpad", "");

  std::mt19937 random(38);
  const std::vector<std::string> steps = {"tovrel", "gsfile", "c01/chanfile", "c02/chanfile", "xsect"};
  for (const std::string& step : steps) {
    const std::string program = step.substr(step.find_last_of('/') + 1);
    const std::string folder = step.size() > program.size() ? step.substr(0, step.size() - program.size()) : "";
    const double window = 0.05 + 1.5 * step_seconds(dir, "one/" + folder + program + ".status");
    for (int k = 0; k < 3; ++k) {
      const double at = std::uniform_real_distribution<double>(0.0, window)(random);
      const int signal = k == 1 ? SIGTERM : SIGKILL;
      SCOPED_TRACE(step + " killed after " + std::to_string(at) + " s by signal " + std::to_string(signal));
      const pid_t pid = start_diatom(dir.path(), {"--step", "cut", step});
      std::this_thread::sleep_for(std::chrono::duration<double>(at));
      ::kill(pid, signal);
      ::waitpid(pid, nullptr, 0);
    }
    if (step == steps.back()) break;
    auto job = run_program_in(dir.path(), "diatom --step cut " + step);
    ASSERT_EQ(job.status, 0) << step << "\n" << job.output << dir.read("kill.out");
  }
  // The last kill is resumed as a user resumes: the same command again.
  auto again = run_program_in(dir.path(), "diatom -j 2 h2p.mol cut");
  ASSERT_EQ(again.status, 0) << again.output << dir.read("kill.out");
  for (const char* f : {"diatom.dat", "channels.dat", "beta.dat", "mfpad.dat", "diatom.lst", "mol.res", "mol.gs",
                        "c01/c01.chn", "c02/c02.chn", "xsect.lst", "xsect.dat", "xsect.lst.beta", "xsect.lst.mfpad"}) {
    ASSERT_TRUE(dir.exists(std::string("cut/") + f)) << f;
    EXPECT_EQ(dir.read(std::string("cut/") + f), dir.read(std::string("one/") + f)) << f;
  }
}

}  // namespace

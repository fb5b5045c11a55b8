// A diatom run handed out as jobs, and a run that stopped half-way: both
// must end with the files of the same run done in one go on one machine.
#include "diatom/jobs.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/programs.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::run_program_in;
using testsupport::ScratchDir;

// H2+ at two distances on a coarse grid: ground states, four channel files,
// two cross-section runs.
const char* kTwoDistances =
    "&MOL Z1 = 1, Z2 = 1, RZ = 1.9, 2.1, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 30, EMAX = 50, NL = 2,\n"
    " TOL = 1e-3, DK = 0.3 /\n";

// Runs a shell command in `dir`; its console in `output`.
int shell(const fs::path& dir, const std::string& command, std::string* output = nullptr) {
  const std::string cmd = "cd '" + dir.string() + "' && (" + command + ") > .shell 2>&1";
  const int rc = std::system(cmd.c_str());
  std::ifstream in(dir / ".shell");
  std::stringstream s;
  s << in.rdbuf();
  if (output) *output = s.str();
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A job given threads has them in OMP_NUM_THREADS, unless the environment
// names its own.
TEST(DiatomJobs, AJobTakesTheThreadsItIsGiven) {
  ScratchDir dir("diatom_job_threads");
  diatom::Job j;
  j.folder = dir.path().string();
  j.argv = {"/bin/sh", "-c", "echo ${OMP_NUM_THREADS:-none}"};
  j.console = "out.txt";
  j.quiet = true;
  j.threads = 2;
  std::vector<diatom::Job> jobs{j};
  ASSERT_EQ(diatom::run_jobs(jobs, 1), 0);
  const char* own = std::getenv("OMP_NUM_THREADS");
  EXPECT_EQ(dir.read("out.txt"), std::string(own ? own : "2") + "\n");
}

// The run's collected files are those of the run on one machine, byte for byte.
void expect_same_results(const ScratchDir& dir, const std::string& a, const std::string& b,
                         const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    ASSERT_TRUE(dir.exists(a + "/" + f)) << a + "/" + f;
    EXPECT_EQ(dir.read(a + "/" + f), dir.read(b + "/" + f)) << f;
  }
}

// The GNU parallel driver, with a stand-in for parallel that runs the lines
// of each stage backwards, one after the other.
TEST(DiatomJobs, JobLinesRunInAnyOrderGiveTheRunOfOneMachine) {
  ScratchDir dir("diatom_jobs");
  dir.write("h2p.mol", kTwoDistances);
  auto one = run_program_in(dir.path(), "diatom -j 2 h2p.mol one");
  ASSERT_EQ(one.status, 0) << one.output;

  auto plan = run_program_in(dir.path(), "diatom -l h2p.mol jobs");
  ASSERT_EQ(plan.status, 0) << plan.output;
  EXPECT_FALSE(dir.exists("jobs/r01/mol.res")) << "nothing runs with -l";
  // Stage 1: a ground state and its gsfile per distance; stage 2 a job per
  // channel and distance; stage 3 a cross-section run per distance; all
  // with absolute paths.
  const std::string run = fs::canonical(dir.path() / "jobs").string();
  std::istringstream s1(dir.read("jobs/jobs/stage1.txt")), s2(dir.read("jobs/jobs/stage2.txt"));
  std::string line;
  ASSERT_TRUE(std::getline(s1, line));
  const std::string diatom = fs::canonical(testsupport::program_path("diatom")).string();
  EXPECT_EQ(line, "'" + diatom + "' --step '" + run + "' r01/tovrel r01/gsfile");
  int n = 0;
  while (std::getline(s2, line)) ++n;
  EXPECT_EQ(n, 4);

  fs::create_directory(dir.path() / "bin");
  dir.write("bin/parallel", "#!/usr/bin/env bash\ntac | while IFS= read -r l; do bash -c \"$l\"; done\n");
  fs::permissions(dir.path() / "bin/parallel", fs::perms::owner_all);
  std::string out;
  const int rc =
      shell(dir.path(),
            "PATH=\"$PWD/bin:$PATH\" bash '" + std::string(SUITE_SOURCE_DIR) + "/scripts/diatom_parallel.sh' jobs -j 2",
            &out);
  ASSERT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("started  [1/1] chanfile r02/c02"), std::string::npos) << out;
  expect_same_results(dir, "jobs", "one",
                      {"diatom.dat", "curve.dat", "diatom.lst", "r01/channels.dat", "r02/channels.dat"});
}

// A stand-in for sbatch: it runs a job (each task of an array) at once,
// into the file --output names (%a the task), except the tasks listed in
// $SKIP as "stage:task" (cancelled before they ran), and prints a job number.
const char* kSbatch = R"(#!/usr/bin/env bash
array= out= wrap= name=
for a in "$@"; do
  case $a in --array=1-*) array=${a#--array=1-} ;; --output=*) out=${a#--output=} ;; --wrap=*) wrap=${a#--wrap=} ;;
             --job-name=diatom-*) name=${a#--job-name=diatom-} ;; esac
done
echo "$*" >> "$PWD/sbatch.log"
if [ -n "$array" ]; then
  for i in $(seq 1 "$array"); do
    case " ${SKIP:-} " in *" $name:$i "*) continue ;; esac
    SLURM_ARRAY_TASK_ID=$i sh -c "$wrap" > "${out//%a/$i}" 2>&1 || true
  done
else
  sh -c "$wrap" > "$out" 2>&1 || true
fi
echo "$(wc -l < "$PWD/sbatch.log")7;cluster"
)";

// The Slurm route with a job of stage 2 cancelled before it ran: the first
// collection names it and the job that waits for it; after diatom -l lists
// the jobs left, a second submission runs them in logs of its own, and the
// first submission's logs and report stay as they were.
TEST(DiatomJobs, EachSlurmSubmissionKeepsItsOwnLogsAndReport) {
  ScratchDir dir("diatom_slurm");
  dir.write("h2p.mol", kTwoDistances);
  ASSERT_EQ(run_program_in(dir.path(), "diatom -l h2p.mol run").status, 0);
  fs::create_directory(dir.path() / "bin");
  dir.write("bin/sbatch", kSbatch);
  fs::permissions(dir.path() / "bin/sbatch", fs::perms::owner_all);
  const std::string script = "bash '" + std::string(SUITE_SOURCE_DIR) + "/scripts/diatom_slurm.sh' run";
  std::string out;
  ASSERT_EQ(shell(dir.path(), "PATH=\"$PWD/bin:$PATH\" SKIP='2:3' " + script + " --time=1:00", &out), 0) << out;
  EXPECT_NE(out.find("stage 2, 4 jobs: job array 27 (logs: "), std::string::npos) << out;
  const std::string first = dir.read("run/jobs/slurm-1/collect.out");
  EXPECT_NE(first.find("r02/c01/chanfile: not run"), std::string::npos) << first;
  EXPECT_NE(first.find("r02/xsect: not run, waits for r02/c01/chanfile"), std::string::npos) << first;
  EXPECT_EQ(dir.read("run/jobs/slurm-1/stage2-1.out").rfind("job: '", 0), 0u);
  EXPECT_NE(dir.read("run/jobs/slurm-1/stage2-1.out").find("diatom: job finished"), std::string::npos);

  ASSERT_EQ(run_program_in(dir.path(), "diatom -l h2p.mol run").status, 0);
  ASSERT_EQ(shell(dir.path(), "PATH=\"$PWD/bin:$PATH\" " + script, &out), 0) << out;
  EXPECT_EQ(dir.read("run/jobs/slurm-1/collect.out"), first);
  EXPECT_EQ(dir.read("run/jobs/slurm-2/stage2.txt"), dir.read("run/jobs/stage2.txt"));
  EXPECT_NE(dir.read("run/jobs/slurm-2/stage2-1.out").find("r02/c01/chanfile"), std::string::npos);
  EXPECT_EQ(dir.read("run/jobs/slurm-2/collect.out").find("not finished"), std::string::npos)
      << dir.read("run/jobs/slurm-2/collect.out");
  // Every option reached every sbatch call of the first submission.
  std::istringstream log(dir.read("sbatch.log"));
  int calls = 0;
  for (std::string line; std::getline(log, line) && calls < 4; ++calls)
    EXPECT_NE(line.find("--time=1:00"), std::string::npos);
}

// Interrupted: the check's result removed, a chanfile killed (its record
// says so), the diatom process that ran xsect killed (a lock of a process
// that has ended, a partial listing).  The collection names them with the
// lines that redo them; the same command runs those three steps, no other,
// and ends with the files of the uninterrupted run.
TEST(DiatomJobs, AnInterruptedRunRedoesOnlyItsUnfinishedSteps) {
  ScratchDir dir("diatom_resume");
  dir.write("h2p.mol",
            "&MOL Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 30, EMAX = 50, NL = 2,\n"
            " TOL = 1e-3, DK = 0.3, CHECK = 1 /\n");
  auto one = run_program_in(dir.path(), "diatom -j 2 h2p.mol one");
  ASSERT_EQ(one.status, 0) << one.output;
  fs::copy(dir.path() / "one", dir.path() / "cut", fs::copy_options::recursive);

  fs::remove(dir.path() / "cut/check/mol.res");
  fs::resize_file(dir.path() / "cut/c02/c02.chn", 1000);
  std::string rec = dir.read("cut/c02/chanfile.status");
  rec.replace(rec.find("exit 0"), 6, "signal 9");
  dir.write("cut/c02/chanfile.status", rec);
  const pid_t gone = ::fork();
  if (gone == 0) _exit(0);
  ::waitpid(gone, nullptr, 0);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  dir.write("cut/xsect.running", std::string(host) + " " + std::to_string(gone) + " 2024-01-01 00:00:00\n");
  fs::remove(dir.path() / "cut/xsect.status");
  fs::resize_file(dir.path() / "cut/xsect.lst", 100);
  const auto kept = fs::last_write_time(dir.path() / "cut/c01/c01.chn");

  auto c = run_program_in(dir.path(), "diatom -c cut");
  EXPECT_EQ(c.status, 1);
  const std::string run = fs::canonical(dir.path() / "cut").string();
  for (const std::string& s : std::vector<std::string>{
           std::string("check/tovrel: mol.res is missing"), "--step '" + run + "' tovrel check/tovrel",
           "c02/chanfile: killed by signal 9", "--step '" + run + "' c02/chanfile",
           "xsect: interrupted (its diatom process " + std::to_string(gone)}) {
    EXPECT_NE(c.output.find(s), std::string::npos) << s << "\n" << c.output;
  }
  // A folder goes on only with the control file it was made for.
  dir.write("other.mol", "&MOL Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg' /\n");
  auto other = run_program_in(dir.path(), "diatom other.mol cut");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.output.find("holds the run of another control file"), std::string::npos) << other.output;

  auto again = run_program_in(dir.path(), "diatom -j 2 h2p.mol cut");
  ASSERT_EQ(again.status, 0) << again.output;
  std::istringstream said(again.output);
  std::vector<std::string> started;
  for (std::string l; std::getline(said, l);) {
    if (l.rfind(" started ", 0) == 0 && l.find("gnuplot") == std::string::npos)
      started.push_back(l.substr(l.find("] ") + 2));
  }
  ASSERT_EQ(started.size(), 3u) << again.output;
  EXPECT_EQ(started[0].rfind("tovrel (check", 0), 0u) << started[0];
  EXPECT_EQ(started[1].rfind("chanfile c02", 0), 0u) << started[1];
  EXPECT_EQ(started[2], "xsect");
  EXPECT_EQ(fs::last_write_time(dir.path() / "cut/c01/c01.chn"), kept);
  EXPECT_FALSE(dir.exists("cut/xsect.running"));
  expect_same_results(dir, "cut", "one", {"diatom.dat", "channels.dat", "diatom.lst", "c02/c02.chn", "xsect.lst"});
}

}  // namespace

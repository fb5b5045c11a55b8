// Running the suite's programs as child processes: each in its own folder,
// console output to a file, several at a time, with progress lines on the
// console while they run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace diatom {

// One program run.
struct Job {
  std::string label;              // for the console: "chanfile 3sg -> k sigma_u"
  std::string folder;             // working folder
  std::vector<std::string> argv;  // program path, then its arguments
  std::string console;            // file (in `folder`) that takes its standard output and error
  int status = -1;                // exit status after the run (−1: not run or killed)
  int signal = 0;                 // the signal that killed it, or 0
  double seconds = 0;             // wall time
  std::string note;               // why it failed, when the end hook finds out (for the end line)
  bool quiet = false;             // no start and end lines: its caller reports the outcome
  // OpenMP threads the program may take (OMP_NUM_THREADS), unless the
  // environment names them already; 0: as the environment says.
  int threads = 0;
};

// The running program's own executable, and the folder that holds it (the
// suite's other programs are looked up beside it).
std::string own_program();
std::string own_folder();

// Runs the jobs, at most `parallel` at a time, in the order given; each start
// and end is reported on the console ("finished", "failed" with the exit
// status and the job's note, or "killed" with the signal), and every
// `heartbeat` seconds a running job's last console line.  `ended`, when
// given, is called for each job as soon as it has ended, with its status
// and time filled in, before its end is reported (it may set the note).
//
// An interrupt, hangup or termination signal (Ctrl-C, a batch system's
// wall-clock limit) starts no further job: the running ones are sent the
// same signal and waited for (each then goes through `ended`), and the
// signal's number is returned; 0 when all jobs ran.  A job's program is
// killed when diatom itself dies, so that no orphan goes on writing.
int run_jobs(std::vector<Job>& jobs, int parallel, const std::function<void(Job&)>& ended = {},
             double heartbeat = 30.0);

// The shell command that runs `job` by hand from `base` (for command lists).
std::string command_line(const Job& job);

// A progress line on the console, flushed at once.
void say(const std::string& text);

// `s` in single quotes for a POSIX shell (a quote inside as '\'').
std::string shell_quote(const std::string& s);

// Number of cores (at least 1).
int cores();

}  // namespace diatom

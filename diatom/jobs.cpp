#include "diatom/jobs.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "io/console.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string own_program() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  if (ec) io::stop("diatom: cannot find its own executable to locate the other programs");
  return p.string();
}

std::string own_folder() { return fs::path(own_program()).parent_path().string(); }

int cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

namespace {

// Starts the job; the console file is created new (an existing one stops the
// run before anything is started).
pid_t start(const Job& job) {
  const std::string out = job.folder + "/" + job.console;
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) io::stop("diatom: cannot create '" + out + "' (it must not exist)");
  const int in = ::open("/dev/null", O_RDONLY);
  std::vector<char*> args;
  for (const std::string& a : job.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The environment, formed before the fork, with the job's threads.
  const std::string threads = "OMP_NUM_THREADS=" + std::to_string(job.threads);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
  if (job.threads > 0 && std::getenv("OMP_NUM_THREADS") == nullptr) env.push_back(const_cast<char*>(threads.c_str()));
  env.push_back(nullptr);
  io::console().flush();
  std::fflush(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) io::stop("diatom: cannot start " + job.argv[0]);
  if (pid == 0) {
    // The program dies with diatom: a killed diatom leaves no program
    // writing into a folder that a later run will clear and redo.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) _exit(127);
    if (::chdir(job.folder.c_str()) != 0) _exit(127);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    if (in >= 0) ::dup2(in, 0);
    ::execve(args[0], args.data(), env.data());
    _exit(127);
  }
  ::close(fd);
  if (in >= 0) ::close(in);
  return pid;
}

// What a running program last said about its progress: the last line of its
// console naming a sweep (tovrel) or a momentum (chanfile), else its last
// non-blank line; trimmed to 100 characters.
std::string last_line(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  const std::streamoff from = size > 65536 ? size - 65536 : 0;
  in.seekg(from);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream lines(text);
  std::string last, progress;
  for (std::string l; std::getline(lines, l);) {
    const size_t a = l.find_first_not_of(" \t\r");
    if (a == std::string::npos) continue;
    last = l.substr(a, l.find_last_not_of(" \t\r") - a + 1);
    if (last.find("sweep") != std::string::npos || last.rfind("j, k", 0) == 0) progress = last;
  }
  return (progress.empty() ? last : progress).substr(0, 100);
}

std::string secs(double s) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f s", s);
  return b;
}

// The line that reports a job's end: finished, failed (with its exit
// status and the note of why) or killed (with the signal).
std::string end_line(const Job& job, size_t number, size_t total) {
  const std::string how = job.signal != 0   ? ", signal " + std::to_string(job.signal)
                          : job.status != 0 ? ", exit status " + std::to_string(job.status)
                                            : "";
  const char* word = job.signal != 0                        ? " killed   ["
                     : job.status != 0 || !job.note.empty() ? " failed   ["
                                                            : " finished [";
  return word + std::to_string(number) + "/" + std::to_string(total) + "] " + job.label + " (" + secs(job.seconds) +
         how + ")" + (job.note.empty() ? "" : ": " + job.note);
}

// The signal that asks the run to end.  A handler can only reach a static;
// it is set while run_jobs waits for its programs and read only there.
volatile std::sig_atomic_t g_caught = 0;

extern "C" void catch_signal(int sig) { g_caught = sig; }

// Catches SIGINT, SIGTERM and SIGHUP for its lifetime, then restores the
// handlers it found.
class SignalGuard {
 public:
  SignalGuard() {
    g_caught = 0;
    struct sigaction sa {};
    sa.sa_handler = catch_signal;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &old_[i]);
  }
  ~SignalGuard() {
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
  }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[3];
};

}  // namespace

int run_jobs(std::vector<Job>& jobs, int parallel, const std::function<void(Job&)>& ended_hook, double heartbeat) {
  struct Running {
    size_t job;
    pid_t pid;
    Clock::time_point t0, last_report;
  };
  SignalGuard guard;
  std::vector<Running> running;
  size_t next = 0;
  int forwarded = 0;
  const size_t total = jobs.size();
  auto& con = io::console();
  while (!running.empty() || (next < total && g_caught == 0)) {
    if (g_caught != 0 && forwarded == 0) {
      forwarded = g_caught;
      for (const Running& r : running) ::kill(r.pid, forwarded);
      con.line(" diatom: signal " + std::to_string(forwarded) + ": no further program is started; waiting for " +
               std::to_string(running.size()) + " to end");
      con.flush();
    }
    while (g_caught == 0 && next < total && static_cast<int>(running.size()) < std::max(1, parallel)) {
      const Clock::time_point now = Clock::now();
      running.push_back({next, start(jobs[next]), now, now});
      if (!jobs[next].quiet) {
        con.line(" started  [" + std::to_string(next + 1) + "/" + std::to_string(total) + "] " + jobs[next].label);
        con.flush();
      }
      ++next;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (size_t r = 0; r < running.size();) {
      Running& run = running[r];
      Job& job = jobs[run.job];
      int st = 0;
      const pid_t w = ::waitpid(run.pid, &st, WNOHANG);
      const Clock::time_point now = Clock::now();
      const double el = std::chrono::duration<double>(now - run.t0).count();
      if (w == run.pid) {
        job.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        job.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
        job.seconds = el;
        // The hook first: it may find a failure the exit status does not
        // show, and says why in the job's note.
        if (ended_hook) ended_hook(job);
        if (!job.quiet) {
          con.line(end_line(job, run.job + 1, total));
          con.flush();
        }
        running.erase(running.begin() + static_cast<long>(r));
        continue;
      }
      if (std::chrono::duration<double>(now - run.last_report).count() >= heartbeat) {
        run.last_report = now;
        const std::string said = last_line(job.folder + "/" + job.console);
        con.line("   ... " + job.label + ", running " + secs(el) + (said.empty() ? "" : ": " + said));
        con.flush();
      }
      ++r;
    }
  }
  return forwarded != 0 ? forwarded : g_caught;
}

void say(const std::string& text) {
  io::console().line(text);
  io::console().flush();
}

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q.append("'\\''");
    } else {
      q.push_back(c);
    }
  }
  return q + "'";
}

std::string command_line(const Job& job) {
  std::string cmd = "cd " + shell_quote(job.folder) + " &&";
  for (const std::string& a : job.argv) cmd.append(" ").append(shell_quote(a));
  return cmd + " < /dev/null > " + shell_quote(job.console) + " 2>&1";
}

}  // namespace diatom

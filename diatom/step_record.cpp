#include "diatom/step_record.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "diatom/jobs.hpp"
#include "diatom/step_controls.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string host_name() {
  char b[256] = {};
  if (::gethostname(b, sizeof b - 1) != 0) return "unknown";
  return b;
}

std::string seconds_text(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.1f", v);
  return b;
}

// Flushes a file (or folder) to disk; a failure leaves it to the system.
void sync_path(const std::string& path, bool folder = false) {
  const int fd = ::open(path.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The lock of a running step: "host process start-time".  A lock without
// that line was left by a diatom stopped between creating the file and
// writing it — or is being written this instant: younger than
// kLockWriteSeconds it counts as held, older it is stale.
struct Lock {
  std::string host;
  long pid = 0;
  std::string since;
  bool whole = true;  // the line is there
  double age = 0;     // seconds since the file was last written
};
constexpr double kLockWriteSeconds = 10.0;

std::optional<Lock> read_lock(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  Lock l;
  in >> l.host >> l.pid;
  std::getline(in >> std::ws, l.since);
  l.whole = !l.host.empty() && l.pid > 0;
  std::error_code ec;
  const auto written = fs::last_write_time(path, ec);
  if (!ec) l.age = std::chrono::duration<double>(fs::file_time_type::clock::now() - written).count();
  return l;
}

// Whether the lock belongs to a diatom process that still runs.  A lock of
// another machine cannot be looked at from here and counts as running.
bool lock_alive(const Lock& l) {
  if (!l.whole) return l.age < kLockWriteSeconds;
  if (l.host != host_name()) return true;
  if (l.pid == ::getpid()) return false;  // a number reused since (after a restart of the machine)
  std::ifstream comm("/proc/" + std::to_string(l.pid) + "/comm");
  std::string name;
  return comm && std::getline(comm, name) && name == "diatom";
}

std::string lock_text(const Lock& l) {
  if (!l.whole) return "being taken by another diatom (its lock is being written)";
  return "running on " + l.host + " (diatom process " + std::to_string(l.pid) + ", since " + l.since + ")";
}

// Whether a program's stop message names a cause outside its input, which
// a rerun (on another machine) can remove: memory or disk.
bool outside_the_input(const std::string& reason) {
  std::string r = reason;
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* k : {"memory", "cannot create", "cannot write", "no space", "disk"}) {
    if (r.find(k) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

StepFiles step_files(const Plan& p, const Step& s) {
  const ProgramFiles pf = program_files(p, s);
  StepFiles f;
  f.controls = pf.controls;
  f.outputs = pf.outputs;
  f.optional = pf.optional;
  f.outputs.push_back(s.program + ".out");
  f.record = s.program + ".status";
  f.lock = s.program + ".running";
  return f;
}

StepState inspect_step(const Plan& p, const Step& s) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  const std::optional<Lock> l = read_lock(folder + "/" + f.lock);
  if (l && lock_alive(*l)) return {StepState::running, lock_text(*l)};
  std::ifstream in(folder + "/" + f.record);
  std::string head, result;
  if (!in || !std::getline(in, head) || head != "diatom step " + s.name() || !std::getline(in, result) ||
      result.rfind("result ", 0) != 0) {
    if (!l) return {StepState::not_run, "not run"};
    return {StepState::not_run, l->whole ? "interrupted (its diatom process " + std::to_string(l->pid) + " has ended)"
                                         : "interrupted (its lock was left empty by a diatom stopped while taking it)"};
  }
  result.erase(0, 7);
  std::vector<std::string> rest;
  std::string reason;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("reason ", 0) == 0) reason = line.substr(7);
    rest.push_back(line);
  }
  const std::string console = (s.folder.empty() ? "" : s.folder + "/") + s.program + ".out";
  if (result.rfind("exit ", 0) == 0 && result != "exit 0") {
    // The program's own stop answers this input the same way every time,
    // unless what stopped it lies outside the input (memory, disk).
    if (!reason.empty()) {
      return {StepState::failed, "stopped: " + reason + " (exit status " + result.substr(5) + ", see " + console + ")",
              outside_the_input(reason)};
    }
    return {StepState::failed, "exit status " + result.substr(5) + " (see " + console + ")"};
  }
  if (result.rfind("signal ", 0) == 0) return {StepState::failed, "killed by signal " + result.substr(7)};
  if (result.rfind("missing ", 0) == 0)
    return {StepState::failed, "no " + result.substr(8) + " after exit status 0 (see " + console + ")"};
  if (result != "exit 0")
    return {StepState::failed, result.rfind("refused ", 0) == 0 ? "refused: " + result.substr(8) : result, false};
  // Finished: every file the record names is there, as large as it was.
  for (const std::string& line : rest) {
    std::istringstream w(line);
    std::string key, name;
    unsigned long long size = 0;
    if (!(w >> key >> name >> size) || key != "file") continue;
    std::error_code ec;
    const auto now = fs::file_size(folder + "/" + name, ec);
    if (ec) return {StepState::failed, name + " is missing"};
    if (now != size)
      return {StepState::failed,
              name + " has changed (" + std::to_string(now) + " bytes, was " + std::to_string(size) + ")"};
  }
  return {StepState::finished, ""};
}

bool take_step_lock(const Plan& p, const Step& s, std::string& held) {
  const std::string path = p.path(s.folder) + "/" + step_files(p, s).lock;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      const std::time_t now = std::time(nullptr);
      char when[64];
      std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
      const std::string text = host_name() + " " + std::to_string(::getpid()) + " " + when + "\n";
      const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      ::close(fd);
      if (!ok) io::stop("diatom: cannot write '" + path + "'");
      return true;
    }
    if (errno != EEXIST) io::stop("diatom: cannot create '" + path + "'");
    const std::optional<Lock> l = read_lock(path);
    if (l && lock_alive(*l)) {
      held = lock_text(*l);
      return false;
    }
    if (l && !l->whole) {
      say(" diatom: " + s.name() + ": its lock '" + path +
          "' was left empty by a diatom stopped while taking it; taken over");
    }
    fs::remove(path);
  }
  held = "its lock '" + path + "' is being taken by another process";
  return false;
}

void release_step_lock(const Plan& p, const Step& s) { fs::remove(p.path(s.folder) + "/" + step_files(p, s).lock); }

void write_step_record(const Plan& p, const Step& s, const std::string& result, double seconds,
                       const std::string& reason) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  std::ostringstream text;
  text << "diatom step " << s.name() << "\nresult " << result << "\n";
  if (!reason.empty()) text << "reason " << reason << "\n";
  text << "seconds " << seconds_text(seconds) << "\n";
  for (const auto* list : {&f.outputs, &f.optional}) {
    for (const std::string& name : *list) {
      const std::string path = folder + "/" + name;
      std::error_code ec;
      const auto size = fs::file_size(path, ec);
      if (ec) continue;
      sync_path(path);
      text << "file " << name << " " << size << "\n";
    }
  }
  const std::string path = folder + "/" + f.record, tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) io::stop("diatom: cannot write '" + tmp + "'");
  }
  sync_path(tmp);
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) io::stop("diatom: cannot write '" + path + "': " + ec.message());
  sync_path(folder, true);
  fs::remove(folder + "/" + f.lock, ec);
}

void clear_step(const Plan& p, const Step& s) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  for (const auto* list : {&f.controls, &f.outputs, &f.optional}) {
    for (const std::string& name : *list) fs::remove(folder + "/" + name);
  }
  fs::remove(folder + "/" + f.record);
  fs::remove(folder + "/" + f.record + ".tmp");
}

}  // namespace diatom

#include "diatom/steps.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "diatom/jobs.hpp"
#include "diatom/listings.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string host_name() {
  char b[256] = {};
  if (::gethostname(b, sizeof b - 1) != 0) return "unknown";
  return b;
}

std::string num(const char* fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

// Flushes a file (or folder) to disk; a failure leaves it to the system.
void sync_path(const std::string& path, bool folder = false) {
  const int fd = ::open(path.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The lock of a running step: "host process start-time".
struct Lock {
  std::string host;
  long pid = 0;
  std::string since;
};

std::optional<Lock> read_lock(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  Lock l;
  in >> l.host >> l.pid;
  std::getline(in >> std::ws, l.since);
  return l;
}

// Whether the lock belongs to a diatom process that still runs.  A lock of
// another machine cannot be looked at from here and counts as running.
bool lock_alive(const Lock& l) {
  if (l.host != host_name()) return true;
  if (l.pid == ::getpid()) return false;  // a number reused since (after a restart of the machine)
  std::ifstream comm("/proc/" + std::to_string(l.pid) + "/comm");
  std::string name;
  return comm && std::getline(comm, name) && name == "diatom";
}

std::string lock_text(const Lock& l) {
  return "running on " + l.host + " (diatom process " + std::to_string(l.pid) + ", since " + l.since + ")";
}

// Takes the lock of a step; false (with the holder in `held`) when a live
// process holds it.  A lock left by a process of this machine that has
// ended is taken over.
bool take_lock(const std::string& path, std::string& held) {
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
    fs::remove(path);
  }
  held = "its lock '" + path + "' is being taken by another process";
  return false;
}

// The record of a finished program: its result line, then its files.
//   diatom step r01/c01/chanfile
//   exit 0                  (or: exit 3, signal 9, refused <why>, missing <file>)
//   seconds 12.3
//   file c01.chn 1234567
void write_record(const Plan& p, const Step& s, const std::string& result, double seconds) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  std::ostringstream text;
  text << "diatom step " << s.name() << "\nresult " << result << "\nseconds " << num("%.1f", seconds) << "\n";
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

// Removes the files step `s` writes (never anything else): the leftovers of
// a run that did not finish.
void clear(const Plan& p, const Step& s) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  for (const auto* list : {&f.controls, &f.outputs, &f.optional}) {
    for (const std::string& name : *list) fs::remove(folder + "/" + name);
  }
  fs::remove(folder + "/" + f.record);
  fs::remove(folder + "/" + f.record + ".tmp");
}

std::vector<std::string> titles(const Plan& p, const Molecule& m, double RZ, const Accuracy& a) {
  std::string t1 = io::trim_right(p.mol.TIT);
  if (t1.empty() || &m != &p.m)
    t1 = "diatom: Z1 = " + num("%g", m.Z1) + ", Z2 = " + num("%g", m.Z2) + ", RZ = " + num("%g", RZ);
  std::string shells = m.open >= 0 ? m.state + ":" : "closed shells";
  for (const Shell& s : m.shells) shells += " " + s.name + (s.open() ? std::to_string(s.electrons()) : "");
  return {t1, shells, std::to_string(a.n) + " partial waves per shell, NB = " + std::to_string(a.NB)};
}

// The control files of a step, made from the plan and the files of the
// steps before it.
void write_controls(const Plan& p, const Step& s) {
  const std::string folder = p.path(s.folder);
  if (s.program == "tovrel") {
    write_ground_controls(p, s);
  } else if (s.program == "chanfile") {
    const std::vector<Channel> ch = p.channels_at(s.distance);
    write_chn(folder, p.m, p.mol, ch[s.channel], "../mol.gs");
  } else if (s.program == "xsect") {
    XsectSize sz;
    const std::vector<Channel> ch = p.channels_at(s.distance, &sz);
    write_d40(folder, ch, sz, p.mol.ND, p.rpa, "mol.gs", "xsect.lst", "xsect.dat", p.m.mfpad);
  }
}

std::string label(const Plan& p, const Step& s) {
  std::string l = s.program;
  const std::string& dist = p.distances[s.distance];
  if (s.folder == "check") return l + " (check: " + p.ra.why + ")";
  if (s.folder == "warm") return l + " (start: " + p.wa.why + ")";
  if (s.folder == "near") {
    const Molecule& n = *p.neighbour;
    return l + " (start: the closed-shell neighbour, Z1 = " + num("%g", n.Z1) + ", Z2 = " + num("%g", n.Z2) + ")";
  }
  if (s.program == "chanfile") {
    const Channel& c = p.channels[s.channel];
    return l + " " + s.folder + " " + c.label(p.m);
  }
  if (!dist.empty()) l += " " + dist;
  if (s.program == "tovrel") l += p.scan() ? " (RZ = " + num("%g", p.m.RZ[s.distance]) + ")" : " (ground state)";
  return l;
}

}  // namespace

void write_ground_controls(const Plan& p, const Step& s) {
  const double RZ = p.m.RZ[s.distance];
  if (s.folder == "near") {
    // The neighbour on the grid of the run it starts, from no orbitals.
    const Accuracy& a = p.warm ? p.wa : p.a;
    const scf::D00 d = make_d00(*p.neighbour, RZ, a, "mol.lst", "mol.res");
    write_tovrel_controls(p.path(s.folder), d, titles(p, *p.neighbour, RZ, a), "", false);
    return;
  }
  const Accuracy& a = s.folder == "check" ? p.ra : s.folder == "warm" ? p.wa : p.a;
  const scf::D00 d = make_d00(p.m, RZ, a, "mol.lst", "mol.res");
  // After a start on the coarse grid, the orbitals of its result carried to
  // this grid (tovrel's restart on another grid); after the neighbour's run,
  // its orbitals, on the same grid for the run it was made for.
  std::string from;
  if (p.warm && s.folder != "warm") from = "warm/mol.res";
  else if (p.neighbour) from = s.folder == "check" ? "mol.res" : "near/mol.res";
  if (!from.empty() && !s.folder.empty()) from = "../" + from;
  const bool other_grid = s.folder == "check" || (p.warm && s.folder != "warm");
  write_tovrel_controls(p.path(s.folder), d, titles(p, p.m, RZ, a), from, !from.empty() && other_grid);
}

StepFiles step_files(const Plan& p, const Step& s) {
  StepFiles f;
  if (s.program == "tovrel") {
    f.controls = {"Dp_Data.dsc", "Velor.prt"};
    f.outputs = {"mol.lst", "mol.res"};
  } else if (s.program == "gsfile") {
    f.outputs = {"mol.gs"};
  } else if (s.program == "chanfile") {
    const std::string& tag = p.channels[s.channel].tag;
    f.controls = {"File.CHN"};
    f.outputs = {tag + ".chn", tag + ".lst"};
    (p.mol.ND > 0 ? f.outputs : f.optional).push_back(tag + ".fid");
  } else {
    f.controls = {"File.D40"};
    f.outputs = {"xsect.lst", "xsect.dat"};
    f.optional = {"xsect.lst.beta"};
  }
  f.outputs.push_back(s.program + ".out");
  f.record = s.program + ".status";
  f.lock = s.program + ".running";
  return f;
}

StepState inspect(const Plan& p, const Step& s) {
  const StepFiles f = step_files(p, s);
  const std::string folder = p.path(s.folder);
  const std::optional<Lock> l = read_lock(folder + "/" + f.lock);
  if (l && lock_alive(*l)) return {StepState::running, lock_text(*l)};
  std::ifstream in(folder + "/" + f.record);
  std::string head, result;
  if (!in || !std::getline(in, head) || head != "diatom step " + s.name() || !std::getline(in, result) ||
      result.rfind("result ", 0) != 0) {
    return {StepState::not_run,
            l ? "interrupted (its diatom process " + std::to_string(l->pid) + " has ended)" : "not run"};
  }
  result.erase(0, 7);
  const std::string console = (s.folder.empty() ? "" : s.folder + "/") + s.program + ".out";
  if (result.rfind("exit ", 0) == 0 && result != "exit 0")
    return {StepState::failed, "exit status " + result.substr(5) + " (see " + console + ")"};
  if (result.rfind("signal ", 0) == 0) return {StepState::failed, "killed by signal " + result.substr(7)};
  if (result.rfind("missing ", 0) == 0)
    return {StepState::failed, "no " + result.substr(8) + " after exit status 0 (see " + console + ")"};
  if (result != "exit 0")
    return {StepState::failed, result.rfind("refused ", 0) == 0 ? "refused: " + result.substr(8) : result};
  // Finished: every file the record names is there, as large as it was.
  for (std::string line; std::getline(in, line);) {
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

int run_steps(const Plan& p, const std::vector<Step>& steps, int parallel, const std::string& bin) {
  std::vector<Job> jobs;
  std::vector<Step> of;
  int left = 0;
  for (const Step& s : steps) {
    const StepState st = inspect(p, s);
    if (st.kind == StepState::finished) continue;
    if (st.kind == StepState::running) {
      say(" diatom: " + s.name() + " is " + st.why + "; left to it");
      ++left;
      continue;
    }
    std::string waits;
    for (const Step& in : p.inputs(s)) {
      if (inspect(p, in).kind != StepState::finished) waits += (waits.empty() ? "" : ", ") + in.name();
    }
    if (!waits.empty()) {
      say(" diatom: " + s.name() + " waits for " + waits + ", not finished");
      ++left;
      continue;
    }
    const std::string folder = p.path(s.folder);
    fs::create_directories(folder);
    const StepFiles f = step_files(p, s);
    std::string held;
    if (!take_lock(folder + "/" + f.lock, held)) {
      say(" diatom: " + s.name() + " is " + held + "; left to it");
      ++left;
      continue;
    }
    clear(p, s);
    try {
      write_controls(p, s);
    } catch (const io::StopRun& e) {
      // The step cannot be made (a photon range below a threshold, xsect's
      // memory): recorded, so that the collection names the reason.
      std::string why = e.message();
      for (char& c : why) c = c == '\n' ? ' ' : c;
      write_record(p, s, "refused " + why, 0);
      say(" diatom: " + s.name() + " refused: " + why);
      ++left;
      continue;
    }
    Job j;
    j.label = label(p, s);
    j.folder = folder;
    j.argv = {bin + "/" + s.program};
    if (s.program == "gsfile") j.argv.insert(j.argv.end(), {"mol.res", "mol.gs"});
    j.console = s.program + ".out";
    jobs.push_back(j);
    of.push_back(s);
  }
  const int sig = run_jobs(jobs, parallel, [&](Job& j) {
    const Step& s = of[static_cast<size_t>(&j - jobs.data())];
    std::string result = j.signal != 0 ? "signal " + std::to_string(j.signal) : "exit " + std::to_string(j.status);
    if (j.status == 0 && j.signal == 0) {
      for (const std::string& name : step_files(p, s).outputs) {
        if (!fs::exists(j.folder + "/" + name)) {
          result = "missing " + name;
          break;
        }
      }
      // The sweeps can come to rest on orbitals that solve no state's
      // equations (a shell found on the branch of another): nothing is
      // built on them.
      if (result == "exit 0" && s.program == "tovrel") {
        if (const std::optional<std::string> why = ground_state_defect(slurp(j.folder + "/mol.lst"))) {
          result = "not a self-consistent solution: " + *why +
                   "; list SHELLS in the order of their orbital energies, deepest first (see mol.lst)";
        }
      }
    }
    write_record(p, s, result, j.seconds);
    if (result != "exit 0") ++left;
  });
  for (size_t i = 0; i < jobs.size(); ++i) {
    // Steps never started (a signal came first) give their lock back.
    if (jobs[i].status == -1 && jobs[i].signal == 0) {
      fs::remove(jobs[i].folder + "/" + step_files(p, of[i]).lock);
      ++left;
    }
  }
  if (sig != 0) {
    io::stop("diatom: stopped by signal " + std::to_string(sig) +
                 "; the steps that finished are kept, and the same command goes on with the others",
             128 + sig);
  }
  return left;
}

}  // namespace diatom

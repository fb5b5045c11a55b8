#include "diatom/steps.hpp"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "diatom/ionic_states.hpp"
#include "diatom/jobs.hpp"
#include "diatom/listings.hpp"
#include "diatom/step_controls.hpp"
#include "diatom/step_record.hpp"
#include "diatom/text_files.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string label_number(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// The step as the console names its program run.
std::string job_label(const Plan& p, const Step& s) {
  std::string l = s.program;
  const std::string& dist = p.distances[s.distance];
  if (s.folder == kCheckFolder) return l + " (check: " + p.check_accuracy.why + ")";
  if (s.folder == kWarmFolder) return l + " (start: " + p.warm_accuracy.why + ")";
  if (s.folder == kColdFolder) return l + " (start of the start: " + p.cold_accuracy.why + ")";
  if (s.folder == "near") {
    const Molecule& n = *p.neighbour;
    return l + " (start: the closed-shell neighbour, Z1 = " + label_number(n.Z1) + ", Z2 = " + label_number(n.Z2) + ")";
  }
  for (size_t k = 0; k < 2 && p.ions; ++k) {
    if (s.folder == kIonFolders[k]) return l + " (start: " + ion_label(*p.ions, static_cast<int>(k)) + ")";
  }
  if (s.ion >= 0) {
    const int hole = p.molecule.ionised[static_cast<size_t>(s.ion)];
    return l + " " + s.folder + " (ion " + ionic_state_label(p.molecule, hole) +
           ", RZ = " + label_number(p.molecule.RZ[s.distance]) + ")";
  }
  if (s.program == "chanfile") {
    const Channel& c = p.channels[s.channel];
    return l + " " + s.folder + " " + c.label(p.molecule);
  }
  if (!dist.empty()) l += " " + dist;
  if (s.program == "tovrel")
    l += p.scan() ? " (RZ = " + label_number(p.molecule.RZ[s.distance]) + ")" : " (ground state)";
  return l;
}

// The job of step `s`, made ready to run: its folder cleared of what an
// earlier attempt left, its lock taken and its control files written.
// Nothing, with a line on the console, when it has finished, runs
// elsewhere, waits for inputs that have not finished or cannot be made (the
// refusal is recorded, so that the collection names the reason); `left`
// counts those that stay unfinished.
std::optional<Job> prepare_step(const Plan& p, const Step& s, const std::string& bin, int& left) {
  const StepState st = inspect_step(p, s);
  if (st.kind == StepState::finished) return std::nullopt;
  if (st.kind == StepState::running) {
    say(" diatom: " + s.name() + " is " + st.why + "; left to it");
    ++left;
    return std::nullopt;
  }
  std::string waits;
  for (const Step& in : p.inputs(s)) {
    if (inspect_step(p, in).kind != StepState::finished) waits += (waits.empty() ? "" : ", ") + in.name();
  }
  if (!waits.empty()) {
    say(" diatom: " + s.name() + " waits for " + waits + ", not finished");
    ++left;
    return std::nullopt;
  }
  const std::string folder = p.path(s.folder);
  fs::create_directories(folder);
  std::string held;
  if (!take_step_lock(p, s, held)) {
    say(" diatom: " + s.name() + " is " + held + "; left to it");
    ++left;
    return std::nullopt;
  }
  clear_step(p, s);
  try {
    write_step_controls(p, s);
  } catch (const io::StopRun& e) {
    // The step cannot be made (a photon range below a threshold, xsect's
    // memory): recorded, so that the collection names the reason.
    std::string why = e.message();
    for (char& c : why) c = c == '\n' ? ' ' : c;
    write_step_record(p, s, "refused " + why, 0);
    say(" diatom: " + s.name() + " refused: " + why);
    ++left;
    return std::nullopt;
  }
  Job j;
  j.label = job_label(p, s);
  j.folder = folder;
  j.argv = {bin + "/" + s.program};
  for (const std::string& a : program_arguments(s)) j.argv.push_back(a);
  j.console = s.program + ".out";
  return j;
}

// The result line of a step whose program has ended: its exit status or
// signal, the first file it had to write and did not, or the reason a
// ground state's orbitals are not a self-consistent solution.
std::string step_result(const Plan& p, const Step& s, const Job& j) {
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
      if (const std::optional<std::string> why = ground_state_defect(read_text_file(j.folder + "/" + kGroundListing))) {
        result = "not a self-consistent solution: " + *why +
                 "; the start depends on the order of SHELLS across symmetries (see mol.lst)";
      }
    }
  }
  return result;
}

}  // namespace

int run_steps(const Plan& p, const std::vector<Step>& steps, int parallel, const std::string& bin) {
  std::vector<Job> jobs;
  std::vector<Step> of;
  int left = 0;
  for (const Step& s : steps) {
    if (std::optional<Job> j = prepare_step(p, s, bin, left)) {
      jobs.push_back(*j);
      of.push_back(s);
    }
  }
  // Cores a wave leaves idle go to its ground states as threads (their
  // results do not depend on them): CO's coarse start and rule's grid at
  // TOL = 1e-8, one after the other, took 37.2 s on two threads against
  // 45.1 s on one.
  const int share = jobs.empty() ? 1 : parallel / static_cast<int>(jobs.size());
  for (size_t i = 0; i < jobs.size() && share > 1; ++i)
    if (of[i].program == "tovrel") jobs[i].threads = share;
  const int sig = run_jobs(jobs, parallel, [&](Job& j) {
    const Step& s = of[static_cast<size_t>(&j - jobs.data())];
    const std::string result = step_result(p, s, j);
    // A program that stopped says why before its closing line: the record
    // and the console line carry it.
    const std::string reason = j.signal == 0 && j.status > 0 ? stop_message(j.folder + "/" + j.console) : "";
    write_step_record(p, s, result, j.seconds, reason);
    if (result == "exit 0") return;
    ++left;
    const std::string console = (s.folder.empty() ? "" : s.folder + "/") + j.console;
    if (!reason.empty()) {
      j.note = reason + " (see " + console + ")";
    } else if (result.rfind("exit ", 0) == 0) {
      j.note = "see " + console;
    } else if (result.rfind("signal ", 0) != 0) {
      j.note = result;
    }
  });
  for (size_t i = 0; i < jobs.size(); ++i) {
    // Steps never started (a signal came first) give their lock back.
    if (jobs[i].status == -1 && jobs[i].signal == 0) {
      release_step_lock(p, of[i]);
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

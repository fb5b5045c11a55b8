#include "diatom/chain.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diatom/collect.hpp"
#include "diatom/job_lists.hpp"
#include "diatom/jobs.hpp"
#include "diatom/plan.hpp"
#include "diatom/reference_points.hpp"
#include "diatom/step_controls.hpp"
#include "diatom/step_record.hpp"
#include "diatom/steps.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string counted(size_t n, const std::string& what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

// The run folder by its plain name ("a/../b/" is "b").
std::string plain(const std::string& run) {
  std::string r = fs::path(run).lexically_normal().string();
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

void require_programs(const std::string& bin) {
  for (const char* p : {"tovrel", "gsfile", "chanfile", "xsect"}) {
    if (::access((bin + "/" + p).c_str(), X_OK) != 0) io::stop("diatom: no program " + bin + "/" + p);
  }
}

// Makes the run folder: the control file and the reference points, the
// folders and tovrel's control files, the job lists, and last the record
// that makes it a diatom run folder.
void make_run(const Plan& p, const Options& opt, const std::string& program) {
  std::error_code ec;
  if (!fs::create_directory(p.run, ec)) {
    io::stop("diatom: cannot make the run folder '" + opt.run + "'" + (ec ? ": " + ec.message() : ""));
  }
  if (!fs::copy_file(opt.control, p.run + "/" + p.control, ec)) {
    io::stop("diatom: cannot copy '" + opt.control + "' into the run folder");
  }
  if (!p.ref.empty() && !fs::copy_file(io::trim_right(p.mol.REF), p.run + "/" + p.ref, ec)) {
    io::stop("diatom: cannot copy '" + io::trim_right(p.mol.REF) + "' into the run folder");
  }
  for (const JobSteps& job : p.stage[0]) {
    for (const Step& s : job) {
      if (s.program != "tovrel" || fs::exists(p.path(s.folder) + "/" + kTovrelControl)) continue;
      fs::create_directories(p.path(s.folder));
      write_ground_controls(p, s);
    }
  }
  write_job_lists(p, program, false);
  write_run_record(p);
}

// Whether two files hold the same bytes.
bool same_file(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::ostringstream sx, sy;
  sx << x.rdbuf();
  sy << y.rdbuf();
  return sx.str() == sy.str();
}

// An existing run folder goes on only with the run it was made for.
Plan reopen_run(const Options& opt, const std::string& run) {
  if (!fs::is_regular_file(run + "/" + kRunRecord)) {
    io::stop("diatom: the run folder '" + opt.run + "' exists and is not a diatom run folder (it has no " + kRunRecord +
             "); diatom never writes into an existing folder it did not make");
  }
  Plan p = load_plan(run);
  const std::string copy = p.path(p.control);
  if (!same_file(opt.control, copy)) {
    // The values decide: a file that differs in comments or layout alone
    // makes the same run.
    const std::vector<std::string> diff = mol_differences(read_mol(opt.control), read_mol(copy), opt.control, copy);
    if (!diff.empty()) {
      std::string how;
      for (const std::string& d : diff) how += "\n   " + d;
      io::stop("diatom: the run folder '" + opt.run + "' holds the run of another control file: '" + opt.control +
               "' differs from the run's copy '" + copy + "' in" + how +
               "\n a run folder goes on only with the control file it was made for: run the changed file in a new "
               "folder, or put back the values of '" +
               copy + "'");
    }
    say(" diatom: '" + opt.control + "' differs from the run's copy '" + copy +
        "' in its comments or layout only; the run goes on with the copy");
  }
  // The reference points: the run's copy, unless the control file's REF
  // (seen from here) names a file that differs from it.
  const std::string ref = io::trim_right(p.mol.REF);
  if (!p.ref.empty() && fs::is_regular_file(ref) && !same_file(ref, p.path(p.ref))) {
    io::stop("diatom: the reference points '" + ref + "' differ from the run folder's copy '" + p.path(p.ref) + "'");
  }
  return p;
}

// Runs the stages here, `parallel` programs at a time: in each stage the
// steps that have not finished, wave after wave, a step after the steps it
// reads (a ground state before its gsfile; the two ions side by side before
// the molecule they start).
void run_stages(const Plan& p, int parallel, const std::string& bin) {
  for (int k = 0; k < 3; ++k) {
    if (p.stage[k].empty()) continue;
    size_t steps = 0, open = 0;
    for (const JobSteps& job : p.stage[k]) {
      for (const Step& s : job) {
        ++steps;
        open += inspect_step(p, s).kind == StepState::finished ? 0 : 1;
      }
    }
    say(" diatom: stage " + std::to_string(k + 1) + ", " + kStageName[k] + ": " + counted(steps, "step") +
        (open < steps ? ", " + std::to_string(steps - open) + " finished before" : "") +
        (open > 0 ? ", " + std::to_string(parallel) + " at a time" : ""));
    for (const std::vector<Step>& wave : p.waves(k)) run_steps(p, wave, parallel, bin);
  }
}

void finish(const std::vector<Unfinished>& left) {
  if (!left.empty()) {
    io::stop("diatom: " + counted(left.size(), "step") + " not finished (listed above)");
  }
}

// One job of a stage (--step): its steps one after the other.  A step that
// another job runs (the coarse-grid start of the ground state and of the
// check) is waited for, and the job goes on only when it has finished.
void run_job_steps(const Options& opt, const std::string& run, const std::string& bin) {
  require_programs(bin);
  const Plan p = load_plan(run);
  std::vector<Step> steps;
  for (const std::string& name : opt.steps) {
    const Step* s = p.find_step(name);
    if (!s) io::stop("diatom: the run '" + opt.run + "' has no step '" + name + "'");
    steps.push_back(*s);
  }
  int left = 0;
  for (const Step& s : steps) {
    if (inspect_step(p, s).kind == StepState::running) {
      say(" diatom: " + s.name() + " runs in another job; waiting for it");
      while (inspect_step(p, s).kind == StepState::running) ::sleep(2);
      if (inspect_step(p, s).kind != StepState::finished) {
        say(" diatom: " + s.name() + ", run by another job, has not finished");
        ++left;
        break;
      }
    }
    if (inspect_step(p, s).kind == StepState::finished) {
      say(" diatom: " + s.name() + " has finished before; kept");
      continue;
    }
    left += run_steps(p, {s}, 1, bin);
  }
  if (left > 0) io::stop("diatom: " + counted(static_cast<size_t>(left), "step") + " of the job not finished");
}

// The plan of the run of the user's control file: a new run folder made
// from it, or the run folder made from it before (`resume`).  The control
// file is checked before anything is made.
Plan open_run(const Options& opt, const std::string& run, const std::string& program, const std::string& bin,
              bool& resume) {
  const MOL mol = read_mol(opt.control);
  const Molecule m = describe_molecule(mol, opt.control);
  const std::string ref = io::trim_right(mol.REF);
  resume = run == "." || fs::exists(run);
  if (!resume && !ref.empty()) {
    const std::string where = "file '" + opt.control + "', group &MOL, variable REF";
    if (!fs::is_regular_file(ref)) io::stop(where + ": no file '" + ref + "'");
    read_reference_points(ref, where);
  }
  require_programs(bin);
  if (resume) {
    Plan p = reopen_run(opt, run);
    say(" diatom: going on with the run in " + run);
    return p;
  }
  // Refusals (more channels than xsect takes) come before the folder is made.
  const Plan made = make_plan(mol, m, run, opt.control, ref.empty() ? "" : "reference.dat");
  make_run(made, opt, program);
  // From here on the run reads only its own copy of the control file.
  Plan p = load_plan(run);
  for (const std::string& note : input_notes(p)) say(" diatom: note: " + note);
  return p;
}

// -l: the job lists written, and named on the console.
void list_jobs(const Plan& p, const std::string& run, const std::string& program, bool resume) {
  const std::array<size_t, 3> n = write_job_lists(p, program, resume);
  say(" diatom: nothing was run; the jobs, one command a line" +
      std::string(resume ? " (those with steps that have not finished)" : "") + ":");
  for (int k = 0; k < 3; ++k) {
    if (n[k] == 0) continue;
    say("   " + run + "/jobs/stage" + std::to_string(k + 1) + ".txt: " + counted(n[k], "job") + ", " + kStageName[k] +
        (k == 0 ? "" : " (after stage " + std::to_string(k) + ")"));
  }
  say("   " + run + "/jobs/collect.txt: the collection of the results (after the last stage)");
  say(" diatom: e.g. scripts/diatom_parallel.sh " + run + " (GNU parallel), or scripts/diatom_slurm.sh " + run +
      " (a Slurm job array per stage)");
}

}  // namespace

void run_diatom(const Options& opt) {
  const std::string run = plain(opt.run);
  const std::string program = own_program();
  const std::string bin = own_folder();
  if (!opt.steps.empty()) {
    run_job_steps(opt, run, bin);
    return;
  }
  if (opt.collect) {
    finish(collect_results(load_plan(run), program));
    return;
  }
  bool resume = false;
  const Plan p = open_run(opt, run, program, bin, resume);
  say(" diatom: " + p.accuracy.why);
  if (opt.list) {
    list_jobs(p, run, program, resume);
    return;
  }
  run_stages(p, opt.parallel > 0 ? opt.parallel : cores(), bin);
  finish(collect_results(p, program));
}

}  // namespace diatom

// The steps of a diatom run in its folder: the files each one writes,
// whether it has finished, and running those that have not.
//
// A step's program writes its files under their own names (the names the
// other programs and the user know); the step counts as finished only when
// its record PROGRAM.status in the step's folder says so.  The record is made
// after the program has ended — the exit status and the size of every file
// the step wrote — under a temporary name, flushed to disk and renamed into
// place: a half-written record does not exist, and the files of a program
// that was killed, or of a node that was lost, are never taken for a
// finished step.  While a step runs, PROGRAM.running names the machine and
// the diatom process that runs it.
//
// Before a step runs, the files it writes — and only those, in its own
// folder — are removed: what a killed program left behind, or the record of
// an earlier failure.  A finished step is never run again, and its files
// are never touched.
#pragma once

#include <string>
#include <vector>

#include "diatom/plan.hpp"

namespace diatom {

// What the files of a step say about it.
struct StepState {
  enum Kind { finished, not_run, running, failed } kind = not_run;
  std::string why;  // all but finished: "not run", "exit status 1 (see c01/chanfile.out)", "c01.chn missing", ...
};
StepState inspect(const Plan& p, const Step& s);

// The files a step writes in its folder, by name.
struct StepFiles {
  std::vector<std::string> controls;  // control files made for the program
  std::vector<std::string> outputs;   // what the program must write, its console last
  std::vector<std::string> optional;  // what it may write
  std::string record, lock;           // PROGRAM.status, PROGRAM.running
};
StepFiles step_files(const Plan& p, const Step& s);

// Runs those of `steps` that have not finished and whose inputs have, at
// most `parallel` at a time, with the programs in folder `bin`; the steps
// may not depend on each other.  A step that runs elsewhere, or whose inputs
// have not finished, is left alone with a line on the console.  Returns the
// number of steps that have not finished after it.  A signal that ends the
// run (see run_jobs) stops diatom once the running programs have ended and
// their records are made.
int run_steps(const Plan& p, const std::vector<Step>& steps, int parallel, const std::string& bin);

// The tovrel control files of a ground-state step (also made when the run
// is planned, so that they can be read before anything runs).
void write_ground_controls(const Plan& p, const Step& s);

}  // namespace diatom

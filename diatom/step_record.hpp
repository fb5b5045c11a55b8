// The record of a step of a diatom run in its folder: the files each step
// writes, whether it has finished, and the lock of a step that runs.
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
  std::string why;  // all but finished: "not run", "stopped: <its message> (exit status 1, see c01/chanfile.out)",
                    // "killed by signal 15", "c01.chn missing", ...
  // Whether running the step again can help: not after a program's own stop
  // on its input (unless for memory or disk), a refusal, or orbitals that
  // are no solution — those need a changed control file.
  bool rerun = true;
};
StepState inspect_step(const Plan& p, const Step& s);

// The files a step writes in its folder, by name.
struct StepFiles {
  std::vector<std::string> controls;  // control files made for the program
  std::vector<std::string> outputs;   // what the program must write, its console last
  std::vector<std::string> optional;  // what it may write
  std::string record, lock;           // PROGRAM.status, PROGRAM.running
};
StepFiles step_files(const Plan& p, const Step& s);

// Takes the lock of step `s` (PROGRAM.running in its folder, which must
// exist); false, with the holder in `held`, when a live process holds it.  A
// lock left by a process of this machine that has ended is taken over.
bool take_step_lock(const Plan& p, const Step& s, std::string& held);

// Gives back the lock of a step that was never started.
void release_step_lock(const Plan& p, const Step& s);

// The record of a program that has ended: its result line, the stop
// message of a program that failed, its time and the size of every file
// the step wrote, made under a temporary name, flushed and renamed into
// place; then the step's lock is given back.
//   diatom step r01/c01/chanfile
//   result exit 0           (or: exit 3, signal 9, refused <why>, missing <file>)
//   reason <the program's stop message>     (a failure with one only)
//   seconds 12.3
//   file c01.chn 1234567
void write_step_record(const Plan& p, const Step& s, const std::string& result, double seconds,
                       const std::string& reason = "");

// Removes the files step `s` writes (never anything else): the leftovers of
// a run that did not finish.
void clear_step(const Plan& p, const Step& s);

}  // namespace diatom

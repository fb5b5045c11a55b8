// A diatom run: from group MOL to the ground state (or a potential curve)
// and the photoionisation cross sections, every program run in one run
// folder with its own control files kept.
#pragma once

#include <string>

namespace diatom {

struct Options {
  std::string control;   // the control file with group MOL
  std::string run;       // the run folder (must not exist)
  int parallel = 0;      // programs at a time (0: the number of cores)
  std::string commands;  // when set: write the scan's commands here instead of running them
};

// Does the whole run; stops with a message on bad input or a failed step.
void run_diatom(const Options& opt);

}  // namespace diatom

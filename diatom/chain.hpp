// A diatom run: from group MOL to the ground state (or a potential curve)
// and the photoionisation cross sections, every program run in one run
// folder with its own control files kept.  The run is planned, its three
// stages run (here, or as jobs anywhere that sees the run folder), and the
// results collected from the folder.
#pragma once

#include <string>
#include <vector>

namespace diatom {

struct Options {
  std::string control;             // the control file with group MOL
  std::string run;                 // the run folder
  int parallel = 0;                // programs at a time (0: the number of cores)
  bool list = false;               // -l: write the stages' jobs, run nothing
  bool collect = false;            // -c: collect the results of the run folder, run nothing
  std::vector<std::string> steps;  // --step: run these steps of the run folder (a job line)
};

// Does what the options ask; stops with a message on bad input, and with a
// non-zero status when a step has not finished.
void run_diatom(const Options& opt);

}  // namespace diatom

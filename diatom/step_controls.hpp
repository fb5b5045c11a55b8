// The control files of a step of a diatom run, made from the plan and the
// files of the steps before it: tovrel's for a ground state (also made when
// the run is planned, so that they can be read before anything runs),
// chanfile's for a channel and xsect's for the cross sections of a distance.
#pragma once

#include <string>
#include <vector>

#include "diatom/plan.hpp"

namespace diatom {

// The files of a step's program, named where its control files name them:
// the control files diatom writes for it, and what the program writes —
// the files its control group (or its command line) names, and those the
// program names after them (xsect's tables of β and of the molecular-frame
// distributions after its listing).  The step's record, its clearing before
// a rerun and the check of a finished step all take them from here.
struct ProgramFiles {
  std::vector<std::string> controls;  // control files made for the program
  std::vector<std::string> outputs;   // what it writes on every run that ends well
  std::vector<std::string> optional;  // what it may write
};
ProgramFiles program_files(const Plan& p, const Step& s);

// The command-line arguments of a step's program (gsfile: the result file
// it reads and the ground-state file it writes).
std::vector<std::string> program_arguments(const Step& s);

// Writes the control files of step `s` into its folder, which holds none.
// Stops naming the control file when the step cannot be made (a photon range
// below a threshold, more than xsect's memory).
void write_step_controls(const Plan& p, const Step& s);

// The tovrel control files of a ground-state step: group D00 of its
// molecule (the run's, or the closed-shell neighbour's) on its grid (the
// rule's, the check's or the coarse start's), the titles, and the orbitals
// that start it (the coarse grid's result carried to this grid, or the
// neighbour's).
void write_ground_controls(const Plan& p, const Step& s);

}  // namespace diatom

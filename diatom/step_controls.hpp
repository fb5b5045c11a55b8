// The control files of a step of a diatom run, made from the plan and the
// files of the steps before it: tovrel's for a ground state (also made when
// the run is planned, so that they can be read before anything runs),
// chanfile's for a channel and xsect's for the cross sections of a distance.
#pragma once

#include "diatom/plan.hpp"

namespace diatom {

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

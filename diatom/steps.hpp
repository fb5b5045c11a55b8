// Running the steps of a diatom run in its folder: the steps that have not
// finished and whose inputs have, as child processes, each recorded when its
// program has ended (step_record.hpp says what a record holds).
#pragma once

#include <string>
#include <vector>

#include "diatom/plan.hpp"

namespace diatom {

// Runs those of `steps` that have not finished and whose inputs have, at
// most `parallel` at a time, with the programs in folder `bin`; the steps
// may not depend on each other.  A step that runs elsewhere, or whose inputs
// have not finished, is left alone with a line on the console.  Returns the
// number of steps that have not finished after it.  A signal that ends the
// run (see run_jobs) stops diatom once the running programs have ended and
// their records are made.
int run_steps(const Plan& p, const std::vector<Step>& steps, int parallel, const std::string& bin);

}  // namespace diatom

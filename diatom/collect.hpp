// The collection of a diatom run: what the finished steps in the run folder
// wrote, read back into the listing diatom.lst, the tables diatom.dat and
// channels.dat and the plot; the same files whether the steps ran here or
// as jobs elsewhere.
#pragma once

#include <string>
#include <vector>

#include "diatom/plan.hpp"

namespace diatom {

// A step that has not finished, why, and the job line that redoes it — or,
// where running it again cannot help (a program's own stop on this input,
// a refusal, orbitals that are no solution, or a step that waits for such
// a one), what to do instead.
struct Unfinished {
  std::string step, why, redo, change;
};

// The steps of the plan that have not finished, in the order of the stages,
// with the job line (diatom `program` --step …) that runs each, or what to
// change.
std::vector<Unfinished> unfinished_steps(const Plan& p, const std::string& program);

// Writes the results of the finished steps, names the unfinished ones in
// the listing and on the console, and returns them.  Every file it writes
// replaces the one of an earlier collection in one piece.
std::vector<Unfinished> collect_results(const Plan& p, const std::string& program);

}  // namespace diatom

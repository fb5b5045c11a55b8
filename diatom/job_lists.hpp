// The job lists of a diatom run: the stages' steps as shell commands, one
// job a line, to run anywhere that sees the run folder (GNU parallel, a
// batch system), and the line that collects the results.
#pragma once

#include <array>
#include <string>

#include "diatom/plan.hpp"

namespace diatom {

// The stages by what their steps make.
inline constexpr const char* kStageName[3] = {"ground states", "channel files", "cross sections"};

// A path made absolute, in its plain form ("a/../b" is "b"): job lines name
// diatom and the run folder so that they run from any folder.
std::string absolute_path(const std::string& path);

// The job line of a stage: the absolute paths of diatom and the run folder,
// then the steps (run one after the other); without steps, the line that
// collects the run.
std::string job_line(const Plan& p, const JobSteps& job, const std::string& program);

// The job lists of the stages in RUN/jobs: stage1.txt, stage2.txt,
// stage3.txt (those with jobs), one command a line, and collect.txt.  With
// `unfinished`, only the jobs with a step that has not finished.  Returns the
// number of jobs of each stage.
std::array<size_t, 3> write_job_lists(const Plan& p, const std::string& program, bool unfinished);

}  // namespace diatom

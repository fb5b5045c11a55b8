#include "diatom/job_lists.hpp"

#include <filesystem>

#include "diatom/jobs.hpp"
#include "diatom/step_record.hpp"
#include "diatom/text_files.hpp"

namespace diatom {

namespace fs = std::filesystem;

std::string absolute_path(const std::string& path) { return fs::absolute(path).lexically_normal().string(); }

std::string job_line(const Plan& p, const JobSteps& job, const std::string& program) {
  std::string line = shell_quote(program);
  line.append(job.empty() ? " -c " : " --step ").append(shell_quote(absolute_path(p.run)));
  for (const Step& s : job) line.append(" ").append(s.name());
  return line;
}

std::array<size_t, 3> write_job_lists(const Plan& p, const std::string& program, bool unfinished) {
  const std::string folder = p.run + "/jobs";
  fs::create_directories(folder);
  std::array<size_t, 3> count{};
  for (int k = 0; k < 3; ++k) {
    const std::string file = folder + "/stage" + std::to_string(k + 1) + ".txt";
    std::string text;
    for (const JobSteps& job : p.stage[k]) {
      bool open = !unfinished;
      for (const Step& s : job) open = open || inspect_step(p, s).kind != StepState::finished;
      if (!open) continue;
      text += job_line(p, job, program) + "\n";
      ++count[k];
    }
    if (count[k] == 0) {
      fs::remove(file);
    } else {
      replace_file(file, text);
    }
  }
  replace_file(folder + "/collect.txt", job_line(p, {}, program) + "\n");
  return count;
}

}  // namespace diatom

// diatom: the ground state and the photoionisation of a diatomic molecule
// from one control file (group MOL): closed shells, or one open shell
// outside them (whose photoionisation is described when the shell holds one
// electron and leaves a closed-shell ion), running tovrel, gsfile, chanfile
// and xsect in a run folder.
//
//   diatom [-j N] [-l] CONTROL RUN   plan the run in RUN and run its stages here, then collect;
//                                    on a run folder made from the same CONTROL, go on with
//                                    the steps that have not finished
//   diatom -c RUN                    collect the results of RUN, run nothing
//   diatom --step RUN STEP...        run steps of RUN (the job lines of RUN/jobs/stage*.txt)
//   diatom -h | --help               print the usage and where to read on
//
//   -j N   programs at a time (default: the number of cores)
//   -l     write the stages' jobs to RUN/jobs, run nothing
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "diatom/chain.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"

namespace {

const std::string kUsage =
    "usage: diatom [-j N] [-l] CONTROL RUN\n"
    "       diatom -c RUN\n"
    "       diatom --step RUN STEP...";

// The usage with one line per argument and option, for -h and --help.
const std::string kHelp =
    kUsage +
    "\n"
    "       diatom -h | --help\n"
    "\n"
    "  CONTROL             the control file: group MOL (the molecule, its shells, the accuracy, the photon "
    "energies)\n"
    "  RUN                 the run folder: made new, or a run of the same CONTROL, which goes on where it stopped\n"
    "  -j N                programs at a time (default: the number of cores)\n"
    "  -l                  write the stages' jobs to RUN/jobs, one command a line, and run nothing\n"
    "  -c RUN              collect the results of RUN (after its jobs ran elsewhere), run nothing\n"
    "  --step RUN STEP...  run steps of RUN one after the other (the job lines of RUN/jobs/stage*.txt)\n"
    "  -h, --help          print this and stop\n"
    "\n"
    "Group MOL, the run folder and the results: docs/diatom.md";

// A job of a stage (--step) ends with a line that says plainly how it
// ended — finished, failed, or cancelled by a signal (a batch system's
// cancel or time limit) — in place of the closing line of a program's stop;
// the programs' own consoles keep theirs.
int run_job(int argc, char** argv) {
  int status = 0;
  std::string end = "diatom: job finished";
  try {
    if (argc < 4) io::stop("diatom: --step takes a run folder and step names\n" + kUsage);
    diatom::Options opt;
    opt.run = argv[2];
    opt.steps.assign(argv + 3, argv + argc);
    diatom::run_diatom(opt);
  } catch (const io::StopRun& s) {
    if (!s.message().empty()) io::console().line(s.message());
    status = s.status();
    end = status > 128 ? "diatom: job cancelled by signal " + std::to_string(status - 128) : "diatom: job failed";
  } catch (const std::exception& e) {
    io::console().line(std::string(" the run failed: ") + e.what());
    status = 1;
    end = "diatom: job failed";
  }
  io::console().line(end);
  io::console().flush();
  return status;
}

// The other forms: a run, a resumption, a job list or a collection.
void run_command(int argc, char** argv) {
  diatom::Options opt;
  std::vector<std::string> pos;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-j" && i + 1 < argc) {
      const std::string v = argv[++i];
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (!end || *end != '\0' || n < 1 || n > 256) io::stop("diatom: -j needs a count of programs, not '" + v + "'");
      opt.parallel = static_cast<int>(n);
    } else if (a == "-j") {
      io::stop("diatom: -j needs a count of programs to run at a time (-j 4)\n" + kUsage);
    } else if (a == "-h" || a == "--help") {
      io::console().line(kHelp);
      return;
    } else if (a == "-l") {
      opt.list = true;
    } else if (a == "-c") {
      opt.collect = true;
    } else if (!a.empty() && a[0] == '-') {
      io::stop("diatom: unknown option '" + a + "'\n" + kUsage);
    } else {
      pos.push_back(a);
    }
  }
  if (opt.collect) {
    if (pos.size() != 1 || opt.list) io::stop("diatom: -c takes the run folder alone\n" + kUsage);
    opt.run = pos[0];
  } else if (opt.list && pos.size() == 3) {
    io::stop("diatom: -l takes no file name: the commands of every stage go into RUN/jobs\n" + kUsage);
  } else if (pos.size() != 2) {
    io::stop(kUsage);
  } else {
    opt.control = pos[0];
    opt.run = pos[1];
  }
  diatom::run_diatom(opt);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--step") return run_job(argc, argv);
  return io::run_program([&] { run_command(argc, argv); });
}

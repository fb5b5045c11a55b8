// diatom: the ground state and photoionisation of a closed-shell diatomic
// molecule from one control file (group MOL), running tovrel, gsfile,
// chanfile and xsect in a run folder.
//
//   diatom [-j N] [-l COMMANDS] CONTROL RUN
//
//   -j N         programs at a time (default: the number of cores)
//   -l COMMANDS  for a scan over distances: write the tovrel runs to COMMANDS,
//                one command a line, instead of running them
#include <cstdlib>
#include <string>

#include "diatom/chain.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"

int main(int argc, char** argv) {
  return io::run_program([&] {
    diatom::Options opt;
    std::string usage = "usage: diatom [-j N] [-l COMMANDS] CONTROL RUN";
    int pos = 0;
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if ((a == "-j" || a == "-l") && i + 1 < argc) {
        const std::string v = argv[++i];
        if (a == "-l") {
          opt.commands = v;
          continue;
        }
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (!end || *end != '\0' || n < 1 || n > 256) io::stop("diatom: -j needs a count of programs, not '" + v + "'");
        opt.parallel = static_cast<int>(n);
      } else if (!a.empty() && a[0] == '-') {
        io::stop("diatom: unknown option '" + a + "'\n" + usage);
      } else if (pos == 0) {
        opt.control = a, ++pos;
      } else if (pos == 1) {
        opt.run = a, ++pos;
      } else {
        io::stop(usage);
      }
    }
    if (pos != 2) io::stop(usage);
    diatom::run_diatom(opt);
  });
}

// chanfile: the continuum functions of one ionisation channel, written as a
// channel file (and an extra-function file of bound functions) for the
// photoionisation programs.  Reads the control file "File.CHN" (group CHN)
// and a ground-state file; see chan/program.hpp for the variables.
#include "chan/program.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"

int main() {
  return io::run_program([] {
    io::Units units;
    units.open_old(3, chan::kControlFile);
    chan::run_chanfile(units);
    units.close_all();
  });
}

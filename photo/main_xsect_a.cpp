// xsect_a: the second build of the photoionisation program, with its own RPA matrix assembly.
//
// Reads "File.D40" (group S40) and the ground-state file FIG, the channel
// files FIC and extra-function files FID; writes the listing FIL and the
// continuum data file FIR(1).
#include <memory>

#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/workspace.hpp"
#include "photo/driver.hpp"
#include "photo/entry.hpp"

int main() {
  return io::run_program([] {
    io::Units units;
    units.open_old(3, "File.D40");
    lib::Workspace V(photo::kNUV);
    auto run = std::make_unique<photo::PhotoRun>();
    photo::run_photoionisation(photo::kNUV, V, units, photo::kXsectA, *run, photo::hartree_fock_rpa_cross_sections_a);
    units.close_all();
  });
}

// tovrel: Hartree–Fock ground state of a diatomic molecule.
//
// Reads "Dp_Data.dsc" (groups D00I, D00) and "Velor.prt" (group VELOR) in
// the working directory, writes the listing FIL and the result file FIR.
#include <omp.h>

#include <cstdlib>

#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/workspace.hpp"
#include "scf/entry.hpp"

int main() {
  // One thread unless OMP_NUM_THREADS asks for more: the parallel pieces of
  // a shell update last milliseconds, and while the machine's other core is
  // busy their joins cost more than the second thread gains (N2 at the
  // grid of TOL = 1e-6 under a load of 2.6: 8.0 s on two threads, 4.9 s on
  // one).  The results are the same bit for bit either way.
  if (std::getenv("OMP_NUM_THREADS") == nullptr) omp_set_num_threads(1);
  return io::run_program([] {
    io::Units units;
    units.open_old(3, "Dp_Data.dsc");
    lib::Workspace V(scf::kNUV);
    scf::run_tovrel(scf::kNUV, V, units);
    units.close_all();
  });
}

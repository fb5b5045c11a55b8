// tovrel: Hartree–Fock ground state of a diatomic molecule.
//
// Reads "Dp_Data.dsc" (groups D00I, D00) and "Velor.prt" (group VELOR) in
// the working directory, writes the listing FIL and the result file FIR.
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/workspace.hpp"
#include "scf/entry.hpp"

int main() {
  return io::run_program([] {
    io::Units units;
    units.open_old(3, "Dp_Data.dsc");
    lib::Workspace V(scf::kNUV);
    scf::DHS_00(scf::kNUV, V, units);
    units.close_all();
  });
}

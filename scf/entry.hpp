// Entry of the ground-state program: its input groups and the routine that
// reads them, opens the files, partitions the workspace and runs the
// self-consistent driver.
#pragma once

#include <array>
#include <string>

#include "io/namelist.hpp"
#include "io/unit.hpp"
#include "lib/ground_state_fields.hpp"
#include "lib/workspace.hpp"
#include "scf/sizes.hpp"
#include "scf/terms.hpp"

namespace scf {

// Group VELOR: title lines; the first three head the listing.
// Legacy name: VELOR.
struct TitleGroup {
  std::array<std::string, 30> PRT{};
  io::Group group() {
    io::Group g("VELOR");
    g.add("PRT", PRT.data(), 65, {30});
    return g;
  }
  // The group as a front end writes it: the three lines that head the listing.
  io::Group written_group() {
    io::Group g("VELOR");
    g.add("PRT", PRT.data(), 65, {3});
    return g;
  }
};

// Group D00I: the restart switch MI0 (0 no restart, 1 from FI0, 2 from FI0
// on another grid) and the restart file FI0.
// Legacy name: D00I.
struct RestartGroup {
  int MI0 = 0;
  std::string FI0;
  io::Group group() {
    io::Group g("D00I");
    g.add("MI0", MI0).add("FI0", FI0, 15);
    return g;
  }
};

// Group D00: the molecule, the shells, the coupling coefficients, the grid,
// the tolerance, the run switches and the output files.  The variables it
// shares with the ground-state file's group (Z1 … JOR: up to 16 shells, AHF
// and BHF of 256 words, MI(7), JOR of 256 words) are those of
// lib::GroundStateFields.
// Legacy name: D00.
struct ControlGroup : lib::GroundStateFields<kMaxShells, 256, 7, 256> {
  int IOS = 0;
  double FCC = 0;
  std::string FIL, FIR;
  int EXACT = 0;  // 1: 2π in the multipole scale instead of 6.28318
  int ISRCH = 0;  // energy search: 0 superlinear steps, 1 fixed steps and bisection
  int IDIF = 0;   // outer recurrence of the shells: 0 as written, 1 its difference form
  int IGRID = 0;  // outer grid points: 0 as written, 1 formed without cancellation
  int IROT = 0;   // open shell against the closed shells of its symmetry: 0 model-curvature step, 1 exact minimum,
                  // 2 one multiplier from the open shell's operator, no turn
  // Closed shells: 0 each solve as written, kept orthogonal to the lower
  // shells of its symmetry by the Schmidt step after it; 1 each solve kept
  // orthogonal to every other shell of its symmetry inside the solve (the
  // projected solve of the open shell with IROT = 2).
  int IPROJ = 0;
  // The dense algebra of the shell equations (each point's blocks of the
  // outer elimination, the inner system, the projections of the
  // potentials): 0 as written; 1 BLAS products and LAPACK's LU factors (the
  // same solution to rounding, faster at every size; the blocks by the
  // library from kLibraryBlockWaves waves).
  int IBLAS = 0;
  // One open shell: OPEN(1) its number (0: closed shells), OPEN(2) its
  // electrons, TERM the term ('3S-', '2P', …); AHF and BHF are then the term's.
  std::array<int, 2> OPEN{};
  std::string TERM;
  int NUVM = kNUVM;  // the most double words the run may use

  // The group as read (every variable) or as written: EXACT, ISRCH, IDIF, IGRID, IROT, IPROJ, IBLAS and OPEN,
  // TERM are named only when they are not 0, so that readers of the older
  // group read the files of default runs.
  // `newer_when_set`: every variable as read, but IPROJ and IBLAS, newer
  // than the files made before them, only when they are not 0 (diatom's
  // control files).
  io::Group group(bool writing = false, bool newer_when_set = false) {
    io::Group g("D00");
    add_molecule(g);
    add_couplings(g);
    add_grid(g);
    g.add("IOS", IOS).add("FCC", FCC);
    add_switches(g);
    add_order(g);
    g.add("FIL", FIL, 15).add("FIR", FIR, 15);
    if (!writing || EXACT != 0) g.add("EXACT", EXACT);
    if (!writing || ISRCH != 0) g.add("ISRCH", ISRCH);
    if (!writing || IDIF != 0) g.add("IDIF", IDIF);
    if (!writing || IGRID != 0) g.add("IGRID", IGRID);
    if (!writing || IROT != 0) g.add("IROT", IROT);
    if ((!writing && !newer_when_set) || IPROJ != 0) g.add("IPROJ", IPROJ);
    if ((!writing && !newer_when_set) || IBLAS != 0) g.add("IBLAS", IBLAS);
    if (!writing || OPEN[0] != 0) g.add("OPEN", OPEN.data(), {2}).add("TERM", TERM, 8);
    if (!writing || NUVM != kNUVM) g.add("NUVM", NUVM);
    return g;
  }
};

// The open shell that OPEN and TERM name.
OpenShell open_shell(const ControlGroup& d);

// Reads the groups (unit 3 must be open on the control file), opens the
// listing and result files, echoes the control group, partitions the
// workspace V of NUV words (a larger demand gets a workspace of its own, up
// to NUVM words), reads the starting orbitals of a restart and runs the
// self-consistent driver.
// Legacy name: DHS_00.
void run_tovrel(long NUV, lib::Workspace& V, io::Units& units);

}  // namespace scf

// The front door as a new user meets it: control files a user might write,
// each taken or refused with a message that names the variable written and
// what would do, and the exit status.  Most are refused before anything
// runs (diatom -l runs nothing either), so the table stays fast.
#include <gtest/gtest.h>

#include <string>

#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

const std::string kN2 = "Z1 = 7, Z2 = 7, RZ = 2.068, SHELLS = '1sg 1su 2sg 2su 3sg 1pu'";
const std::string kN2Ion = kN2 + ", ION = '3sg', EMIN = 20, EMAX = 40";
const std::string kH2p = "Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 31, EMAX = 60";

std::string repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Case {
  std::string control;   // the body of group MOL
  std::string expect;    // a distinctive part of what diatom says
  int status;            // its exit status
  std::string ref = "";  // ref.dat, when given
  std::string command = "diatom -l c.mol run";
  std::string before = "";  // a control file planned into `run` first (a resumption)
  std::string absent = "";  // what the output must not hold
};

TEST(FrontDoor, EveryInputIsTakenOrRefusedNamingWhatTheUserWrote) {
  const std::string ok = "nothing was run";
  const Case cases[] = {
      // Settings that would have no effect.
      {kN2 + ", RZ(2) = 2.1, CHECK = 1", "variable CHECK: CHECK = 1 reruns the ground state of one distance", 1},
      {kN2 + ", BETA = 1", "variable BETA: BETA is a setting of the photoionisation, and ION names no shell", 1},
      {kN2 + ", MFPAD = '30'", "variable MFPAD: MFPAD is a setting of the photoionisation", 1},
      {kN2 + ", REF = 'ref.dat'", "variable REF: REF is a setting of the photoionisation", 1, "20 1.5\n"},
      {kN2 + ", EMIN = 20, EMAX = 40, IPOT = 1", "variable EMIN, EMAX, IPOT: EMIN, EMAX, IPOT are settings", 1},
      {kN2Ion + ", DK = 0.1, NK = 41", "variable NK: NK = 41 momenta per shell and DK = 0.1", 1},
      {kN2 + ", START = 0", "note: START = 0 has no effect: a start from a coarse grid is made only below TOL = 1e-6",
       0},
      {kN2Ion + ", ND = 2", "note: ND = 2: the bound functions enter the RPA only", 0},
      {kN2Ion + ", REF = 'ref.dat'", "note: the third column of REF (measured beta) is drawn only with BETA = 1", 0,
       "20 1.5 0.8\n"},
      // diatom orders the shells itself, and says so when it changes the
      // order written; the order written is kept on request.
      {"Z1 = 7, Z2 = 8, RZ = 2.175, SHELLS = '2p1 5s 1p 4s 3s 2s 1s', STATE = '2Pi'",
       "note: the shells are solved in the order '1s 2s 3s 4s 1p 5s 2p1', that of the separated atoms' orbital "
       "energies (ORDER = 0: in the order of SHELLS)",
       0},
      {"Z1 = 19, Z2 = 1, RZ = 4.2, SHELLS = '1s 2s 1p 3s 4s 2p 5s 6s'",
       "note: the shells are solved in the order of SHELLS: the separated atoms' orbital energies that order them "
       "are tabulated for whole charges up to 18",
       0},
      {"Z1 = 8, Z2 = 8, RZ = 2.282",
       "note: SHELLS is not given: the ground configuration of the separated atoms' "
       "correlation diagram, SHELLS = '1sg 1su 2sg 2su 1pu 3sg 1pg2', STATE = '3Sg-' (Hund's rule)",
       0},
      {kN2 + ", ORDER = 2", "variable ORDER: must be 1 (the shells in the order of the separated atoms' orbital", 1},
      // A variable given twice.
      {kN2 + ", TOL = 1e-6,\n TOL = 1e-5", "variable TOL: TOL is given twice, in record 1 and again in record 2", 1},
      {kN2 + ", RZ(1) = 2.1", "variable RZ: RZ(1) is given twice, in record 1 and again in record 1", 1},
      // Reference points, read strictly.
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 1: '\\x7FELF\\x02\\x01' is not a finite decimal number", 1,
       std::string("\x7f"
                   "ELF\x02\x01 junk\n",
                   12)},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 2: 'nan' is not a finite decimal number", 1, "# eV Mb\n20 nan\n"},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 3: 'inf' is not a finite decimal number", 1, "\n20 1\n30 inf\n"},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 1: '1e400' is not a finite decimal number", 1, "20 1e400\n"},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 2: beta = 7 lies outside -1 ... 2", 1,
       "! eV Mb beta\n20 1.5 7\n"},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat', line 1: 4 values, not two or three", 1, "20 1.5 0.5 1\n"},
      {kN2Ion + ", REF = 'ref.dat'", "line 1: '-' for the cross section and no beta", 1, "20 -\n"},
      {kN2Ion + ", REF = 'ref.dat'", "line 1: the photon energy -20 eV is not positive", 1, "-20 1\n"},
      {kN2Ion + ", REF = 'ref.dat'", "'ref.dat' holds no reference points", 1, "# nothing yet\n"},
      {kN2Ion + ", REF = 'none.dat'", "variable REF: no file 'none.dat'", 1},
      // The photon range against what the channels hold, before the ground state.
      {kN2 + ", ION = '3sg', EMIN = 20, EMAX = 1e300", "variable EMAX: EMAX = 1e+300 eV reaches the momentum", 1},
      {kN2 + ", ION = '3sg', EMIN = 20, EMAX = 1e4", "variable EMAX: EMAX = 1e+04 eV reaches the momentum k = 23.22",
       1},
      {kN2Ion + ", DK = 1e-300", "variable DK: DK = 1e-300/bohr is below the 1e-6", 1},
      {kN2Ion + ", NK = 2147483647", "variable NK: NK = 2147483647; a channel file holds at most 449 momenta", 1},
      {kN2Ion + ", NK = 40", "variable NK: an odd number of momenta, at least 3", 1},
      {kN2 + ", ION = '3sg', EMIN = 40, EMAX = 20", "variable EMIN: the photon energies need 0 < EMIN < EMAX", 1},
      {kN2Ion + ", MFPAD = '50'", "the photon energy 50 eV lies outside EMIN = 20 ... EMAX = 40 eV", 1},
      {kN2Ion + ", NL = 8", "variable NL: 1 to 7 solutions per energy", 1},
      {kN2Ion + ", NPW = 25", "variable NPW: 0 (from TOL) or 1 to 24 partial waves when ION", 1},
      {kH2p + ", IPOT = 1", "variable IPOT: one electron leaves bare nuclei behind: IPOT = 0, not 1", 1},
      // The grid.
      {kN2 + ", NPW = 2147483647", "variable NPW: NPW = 2147483647 partial waves of 6 shells take more", 1},
      {kN2 + ", NB = 2147483646", "variable NB: NB = 2147483646 points, more than tovrel's workspace holds", 1},
      {kN2 + ", NB = 401", "variable NB: 0 (from TOL) or an even count of at least 9 grid points (NB = 401)", 1},
      {kN2 + ", TOL = 0", "variable TOL: must lie in (0, 1e-2] hartree (TOL = 0)", 1},
      {kN2 + ", RB = 1", "variable RB: 0 (from TOL) or an outer end of the grid of at least the bond length", 1},
      {kN2 + ", TOL = 5e-10, CHECK = 1", "variable CHECK: 1 with TOL = 5e-10", 1},
      // The molecule and its shells.
      {"Z1 = 7, Z2 = 7, RZ = -2.068, SHELLS = '1sg'", "variable RZ(1): a distance must be positive (-2.068)", 1},
      {"Z1 = 7, Z2 = 7, RZ = 0, 2.068, SHELLS = '1sg'", "variable RZ(1): a distance must be positive (0)", 1},
      {"Z1 = 0, Z2 = 0, RZ = 1.4, SHELLS = '1sg'", "variable Z1: the first nucleus needs a positive charge", 1},
      {"Z1 = 1, Z2 = 1, RZ = 1.4, Q = 0.5, SHELLS = '1sg'", "variable Q: Z1 + Z2 − Q = 1.5 is not a positive whole", 1},
      {"Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1xg'", "variable SHELLS: shell '1xg' is not a shell name", 1},
      {"Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg3'", "shell '1sg3' holds 1 to 2 electrons, not 3", 1},
      {"Z1 = 8, Z2 = 8, RZ = 2.282, SHELLS = '1sg 1su 2sg 2su 3sg 1pu 1pg5'", "holds 1 to 4 electrons, not 5", 1},
      {kN2 + ", ION = '2pu', EMIN = 20, EMAX = 40", "variable ION: '2pu' is not one of the occupied shells", 1},
      {kN2 + ", STATE = '3Sg-'", "variable STATE: closed shells make a 1S+ state, not '3Sg-'", 1},
      {"Z1 = 8, Z2 = 8, RZ = 2.282, SHELLS = '1sg 1su 2sg 2su 3sg 1pu 1pg2'", "needs its term (STATE = '3S-'", 1},
      {"Z1 = 7, Z2 = 8, RZ = 2.175, SHELLS = '1s 2s 3s 4s 5s 1p 2p1', STATE = '2Pi', ION = '5s', EMIN = 20, "
       "EMAX = 40, RPA = 1",
       "variable RPA: the RPA is built for closed-shell ground states", 1},
      // The title counts characters; text outside UTF-8 is refused.
      {kN2 + ", TIT = '" + repeated("\xc3\xa9", 64) + "'", ok, 0},
      {kN2 + ", TIT = '" + repeated("\xc3\xa9", 66) + "'", "is longer than 65 characters", 1},
      {kN2 + ", TIT = 'N2 \xe9t\xe9'", "variable TIT: the title is not UTF-8 text (byte 0xE9 at byte 4)", 1},
      // What the namelist reading refuses, and the command line.
      {kN2 + ", EMAXX = 40", "variable EMAXX: the group has no variable of this name", 1},
      {"Z1 = seven, Z2 = 7, RZ = 2.068, SHELLS = '1sg'", "variable Z1: 'seven' is not a number", 1},
      {kN2, "-j needs a count of programs to run at a time", 1, "", "diatom c.mol run -j"},
      // A resumption with an edited control file names the file and the change.
      {kN2 + ", TOL = 1e-5",
       "'c.mol' differs from the run's copy 'run/c.mol' in\n   TOL = 1.0E-05 in 'c.mol', 1.0E-06 in", 1, "",
       "diatom -l c.mol run", kN2 + ", TOL = 1e-6"},
      {kN2 + ", TOL = 1e-6\n ! a comment on its own line\n",
       "in its comments or layout only; the run goes on with the copy", 0, "", "diatom -l c.mol run",
       kN2 + ", TOL = 1e-6"},
      // A program's own stop reaches the console, without a rerun that
      // would stop the same way (H2 with two more electrons: no bound 1σu).
      {"Z1 = 1, Z2 = 1, RZ = 1.4, Q = -2, SHELLS = '1sg 1su', TOL = 1e-3", "failed   [1/1] tovrel (ground state) (", 1,
       "", "diatom -j 1 c.mol run", "", "--step"},
      // NO with its π shells first, in the order given: the start runs
      // away, and the stop says so and points at the order of the shells,
      // not at a rerun.
      {"Z1 = 7, Z2 = 8, RZ = 2.175, SHELLS = '1p 2p1 1s 2s 3s 4s 5s', STATE = '2Pi', TOL = 1e-3, ORDER = 0",
       "runaway search); end of console input while waiting for an answer to \"  ICX= \" (exit status 1, see "
       "tovrel.out)\n       a rerun stops the same way: change the control file as the message says or try another "
       "order of SHELLS across symmetries",
       1, "", "diatom -j 1 c.mol run", "", "--step"},
  };
  ScratchDir dir("diatom_front_door");
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir.path() / "run");
    if (!c.before.empty()) {
      dir.write("c.mol", "&MOL " + c.before + " /\n");
      ASSERT_EQ(run_program_in(dir.path(), "diatom -l c.mol run").status, 0) << c.before;
    }
    dir.write("c.mol", "&MOL " + c.control + " /\n");
    std::filesystem::remove(dir.path() / "ref.dat");
    if (!c.ref.empty()) dir.write("ref.dat", c.ref);
    const auto r = run_program_in(dir.path(), c.command);
    EXPECT_EQ(r.status, c.status) << c.control << "\n" << r.output;
    EXPECT_NE(r.output.find(c.expect), std::string::npos) << c.control << "\n" << r.output;
    if (!c.absent.empty()) {
      EXPECT_EQ(r.output.find(c.absent), std::string::npos) << c.control << "\n" << r.output;
    }
    // A refusal comes before the run folder is made.
    if (c.status != 0 && c.before.empty() && c.command.find("-l") != std::string::npos) {
      EXPECT_FALSE(dir.exists("run")) << c.control;
    }
  }
  // The 65-byte title lines of tovrel get the 64-character title cut before
  // a whole character: 32 of them.
  dir.write("c.mol", "&MOL " + kN2 + ", TIT = '" + repeated("\xc3\xa9", 64) + "' /\n");
  std::filesystem::remove_all(dir.path() / "run");
  ASSERT_EQ(run_program_in(dir.path(), "diatom -l c.mol run").status, 0);
  EXPECT_NE(dir.read("run/Velor.prt").find("'" + repeated("\xc3\xa9", 32) + "'"), std::string::npos);
}

}  // namespace

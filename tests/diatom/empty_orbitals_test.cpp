// The aufbau check after the ground state: the lowest empty orbitals in the
// final field, against the exact excited states of H2+ (with one electron
// the field is the bare nuclei's), and the warning for a configuration of N2
// that leaves 3σg empty below an occupied 3σu.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

// The energy of the row of `shell` in the listing's table of empty orbitals.
double empty_energy(const std::string& listing, const std::string& shell) {
  const size_t table = listing.find("Lowest empty orbitals");
  std::istringstream in(listing.substr(table == std::string::npos ? listing.size() : table));
  for (std::string line; std::getline(in, line);) {
    char name[16], symmetry[16];
    int M = 0, L0 = 0;
    double e = 0;
    if (std::sscanf(line.c_str(), "%15s %15s %d %d %lf", name, symmetry, &M, &L0, &e) == 5 && name == shell) return e;
  }
  ADD_FAILURE() << "no empty " << shell << " in\n" << listing;
  return 0;
}

TEST(EmptyOrbitals, AreTheExcitedStatesOfH2plus) {
  ScratchDir dir("empty_h2p");
  dir.write("h.mol", "&MOL Z1 = 1, Z2 = 1, RZ = 2.0, Q = 1, SHELLS = '1sg', TOL = 1e-5 /\n");
  const auto r = run_program_in(dir.path(), "diatom h.mol run");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string lst = dir.read("run/diatom.lst");
  // Exact two-centre energies at R = 2.0 bohr (the Riccati–Padé benchmark
  // tables for 1σu and 1πu; 2σg as in the ground-state solver's tests).
  EXPECT_NEAR(empty_energy(lst, "1su"), -0.6675343922024, 1e-6);
  EXPECT_NEAR(empty_energy(lst, "1pu"), -0.4287718198959, 1e-6);
  EXPECT_NEAR(empty_energy(lst, "2sg"), -0.3608648753, 1e-6);
  EXPECT_NE(lst.find("Every empty orbital found lies above the occupied ones."), std::string::npos);
}

// On the rule's grid, and (TOL = 1e-7) on the grid of the coarse start,
// restarted from the start's orbitals.
TEST(EmptyOrbitals, AnEmptyOrbitalBelowAnOccupiedOneIsAWarning) {
  for (const char* tol : {"1e-3", "1e-7"}) {
    ScratchDir dir("empty_n2");
    dir.write("n.mol", std::string("&MOL Z1 = 7, Z2 = 7, RZ = 2.068, SHELLS = '1sg 1su 2sg 2su 3su 1pu', TOL = ") +
                           tol + " /\n");
    const auto r = run_program_in(dir.path(), "diatom n.mol run");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("WARNING: the empty 3sg ("), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("lies below the occupied 3su:"), std::string::npos) << r.output;
    const std::string lst = dir.read("run/diatom.lst");
    EXPECT_LT(empty_energy(lst, "3sg"), -0.5);
    EXPECT_EQ(lst.find("on the start's grid") != std::string::npos, std::string(tol) == "1e-7") << tol;
  }
}

}  // namespace

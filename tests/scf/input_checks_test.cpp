// The input checks that protect the fixed tables of the shell equations.
#include "scf/input_checks.hpp"

#include <gtest/gtest.h>

#include <string>

#include "io/stop.hpp"
#include "scf/entry.hpp"

namespace {

scf::ControlGroup n2_like(int n) {
  scf::ControlGroup d;
  d.Z1 = d.Z2 = 7.0;
  d.RZ = 2.068;
  d.NSH = 3;
  d.MLN = {0, 0, n, 0, 1, n, 1, 1, n};
  d.AHF.fill(0.0);
  for (int k = 0; k < 9; ++k) d.AHF[k] = (k % 3 == 2) ? -4.0 : 2.0;
  d.BHF = d.AHF;
  d.NA = 5;
  d.NB = 600;
  d.RP[0] = 1.01;
  d.RP[1] = 25.0;
  d.EPS = 1e-7;
  return d;
}

// The angular coefficients read factorials up to 98!: fifteen waves per
// shell of N2 fit, sixteen do not, and the stop names the shell.  With unequal
// charges the waves step by 1 and twenty fit.
TEST(CheckMomenta, PartialWavesBeyondTheFactorialTableStopNamingTheShell) {
  EXPECT_NO_THROW(scf::check_momenta(n2_like(15), "Dp_Data.dsc"));
  try {
    scf::check_momenta(n2_like(16), "Dp_Data.dsc");
    ADD_FAILURE() << "16 waves accepted";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("variable MLN(·,"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("98!"), std::string::npos) << s.message();
  }
  // With EXACT = 1 the coefficients beyond the table come from quadrature.
  scf::ControlGroup exact = n2_like(18);
  exact.EXACT = 1;
  EXPECT_NO_THROW(scf::check_momenta(exact, "Dp_Data.dsc"));
  EXPECT_GT(scf::factorials_needed(exact), 98);
  scf::ControlGroup lih = n2_like(20);
  lih.Z1 = 3.0;
  lih.Z2 = 1.0;
  lih.MLN = {0, 0, 20, 0, 0, 20, 1, 1, 19};
  EXPECT_NO_THROW(scf::check_momenta(lih, "Dp_Data.dsc"));
}

// Orthogonalisation and the off-diagonal term combine two shells wave by
// wave: a JOR mark between shells of different symmetry is refused.
TEST(CheckLimits, JorPairsOnlyShellsOfOneSymmetry) {
  scf::ControlGroup d = n2_like(6);
  d.JOR.fill(0);
  d.JOR[1 * 3 + 0] = 1;  // JOR(1,2): σu against σg
  try {
    scf::check_limits(d, "Dp_Data.dsc");
    ADD_FAILURE() << "accepted";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("JOR(1,2)"), std::string::npos) << s.message();
  }
  d.MLN = {0, 0, 6, 0, 0, 6, 1, 1, 6};
  EXPECT_NO_THROW(scf::check_limits(d, "Dp_Data.dsc"));
}

}  // namespace

// The self-consistent sweeps in memory: the limit on the number of sweeps.
#include "scf/sweeps.hpp"

#include <gtest/gtest.h>

#include <string>

#include "io/stop.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

// H2 needs about fifteen sweeps from scratch: with a limit of three the run
// stops with the limit and the remaining change in the message.
TEST(IterateShells, StopsAfterTheLimitOfSweeps) {
  System sys(1.0, 1.0, 1.4, {{0, 0, 4}}, 5, 306, 1.02, 30.0);
  io::ConsoleRedirect quiet(nullptr, &sys.trace);
  auto listing = io::Unit::to_text("listing");
  const std::array<double, 1> A{2.0}, B{1.0};
  const std::array<int, 1> JOR{0};
  const std::array<int, 7> MI{0, 1, 0, 0, 0, 0, 0};
  scf::RunSettings run;
  run.EPS = 1e-9;
  run.MI = lib::CIVec(MI.data(), 7);
  run.coef = {lib::CMat(A.data(), 1, 1), lib::CMat(B.data(), 1, 1), lib::CIMat(JOR.data(), 1, 1)};
  try {
    scf::iterate_shells(sys.t, sys.shells(), run, sys.st, sys.search, sys.slices(), *listing, 3);
    ADD_FAILURE() << "no stop after 3 sweeps";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("NO SELF-CONSISTENCY AFTER    3 SWEEPS"), std::string::npos) << s.message();
    EXPECT_NE(s.status(), 0);
  }
}

}  // namespace

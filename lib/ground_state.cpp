#include "lib/ground_state.hpp"

#include "io/stop.hpp"

namespace lib {

io::Group GroundStateGroup::group(std::string& FIL, std::array<std::string, 10>& FIR) {
  io::Group g("S00");
  add_molecule(g);
  add_couplings(g);
  add_grid(g);
  add_switches(g);
  add_order(g);
  g.add("FD", FD, 18).add("FIL", FIL, 12).add("FIR", FIR.data(), 12, {10});
  return g;
}

io::Group GroundStateGroup::written_group() {
  io::Group g("S00");
  add_molecule(g);
  add_grid(g);
  return g;
}

void check_ground_state(const GroundStateGroup& g, const std::string& file) {
  auto fail = [&](const std::string& var, const std::string& why) {
    io::stop("file '" + file + "', group &S00, variable " + var + ": " + why);
  };
  if (g.NSH < 1 || g.NSH > 9) fail("NSH", std::to_string(g.NSH) + " shells; the programs take 1 to 9");
  if (g.NA != kNA) {
    fail("NA",
         "the photoionisation programs work on grids with NA = 5 inner points (NA = " + std::to_string(g.NA) + ")");
  }
  if (g.NB - g.NA < 3 || (g.NB - g.NA) % 2 == 0) {
    fail("NB",
         "the outer region NB − NA needs an odd number of points, at least 3 (NB = " + std::to_string(g.NB) + ")");
  }
  if (!(g.RP[0] > 1.0) || !(g.RP[1] > g.RP[0])) fail("RP", "the grid needs 1 < RP(1) < RP(2)");
  if (!(g.RZ > 0.0)) fail("RZ", "the internuclear distance must be positive");
  for (int i = 1; i <= g.NSH; ++i) {
    int M = g.MLN[3 * (i - 1)], L0 = g.MLN[3 * (i - 1) + 1], n = g.MLN[3 * (i - 1) + 2];
    std::string s = "MLN(·," + std::to_string(i) + ")";
    if (M < 0 || M > 4) fail(s, "the projection M must lie between 0 and 4");
    if (L0 < M) fail(s, "the first momentum L0 is below the projection M");
    if (n < 1) fail(s, "a shell needs at least one partial wave");
    // The dipole elements take factorials up to 80!: no momentum lies above 80.
    if (L0 > 80 || n > 81 - L0) fail(s, "momenta beyond 80 (L0 + n - 1 <= 80)");
  }
}

}  // namespace lib

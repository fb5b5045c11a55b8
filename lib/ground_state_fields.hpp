// The leading variables of the two ground-state groups.
//
// Group S00 of the ground-state file (gsfile writes it; xsect, xsect_a and
// chanfile read it) and group D00, the control group of tovrel, begin with
// the same variables under the same names: the molecule, the shells, the
// coupling coefficients, the grid, the tolerance, the run switches and the
// shell order.  Their array bounds differ (MLN 3×9 and 3×16, AHF and BHF 150
// and 256 words, MI 8 and 7, JOR 100 and 256): the bounds are the template
// arguments, the names, types and order are defined here once.
#pragma once

#include <array>

#include "io/namelist.hpp"

namespace lib {

// kShells: columns of MLN; kCouplings: words of AHF and BHF; kSwitches:
// elements of MI; kOrder: words of JOR.
template <int kShells, int kCouplings, int kSwitches, int kOrder>
struct GroundStateFields {
  double Z1 = 0, Z2 = 0, RZ = 0;
  int NSH = 0;
  std::array<int, 3 * kShells> MLN{};
  std::array<double, kCouplings> AHF{}, BHF{};
  int NA = 0, NB = 0;
  std::array<double, 10> RP{};
  double EPS = 0;
  std::array<int, kSwitches> MI{};
  std::array<int, kOrder> JOR{};

  // The descriptor (M, L0, n) of shell i, column i of MLN.
  int M(int i) const { return MLN[3 * (i - 1)]; }
  int L0(int i) const { return MLN[3 * (i - 1) + 1]; }
  int n(int i) const { return MLN[3 * (i - 1) + 2]; }

  // Z1, Z2, RZ, NSH and MLN(3, kShells): the molecule and its shells.
  void add_molecule(io::Group& g) {
    g.add("Z1", Z1).add("Z2", Z2).add("RZ", RZ).add("NSH", NSH).add("MLN", MLN.data(), {3, kShells});
  }
  // AHF and BHF: NSH × NSH matrices by columns in the first NSH² words;
  // AHF(J,I) is row J of column I of that matrix.
  void add_couplings(io::Group& g) {
    g.add_square("AHF", AHF.data(), kCouplings, NSH).add_square("BHF", BHF.data(), kCouplings, NSH);
  }
  // NA, NB, RP(10) and EPS: the grid and the tolerance.
  void add_grid(io::Group& g) { g.add("NA", NA).add("NB", NB).add("RP", RP.data(), {10}).add("EPS", EPS); }
  // MI(kSwitches): the run switches.
  void add_switches(io::Group& g) { g.add("MI", MI.data(), {kSwitches}); }
  // JOR: the shell order, an NSH × NSH matrix as AHF.
  void add_order(io::Group& g) { g.add_square("JOR", JOR.data(), kOrder, NSH); }
};

}  // namespace lib

// Entry of the photoionisation programs: the control group S40, the
// ground-state file (group S00 and its orbitals), the files of the run and
// the partition of the workspace into twelve slices.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "io/unit.hpp"
#include "lib/ground_state.hpp"
#include "lib/views.hpp"
#include "lib/workspace.hpp"
#include "photo/control_group.hpp"
#include "photo/sizes.hpp"

namespace photo {

// Everything the entry hands to the driver: the scalars and fixed tables it
// owns, and the twelve workspace slices.  Names are those of the groups and
// of the driver's arguments.
struct PhotoRun {
  const Variant* variant = nullptr;
  S40 s40;
  lib::GroundStateGroup s00;
  int NSG = 0, NA = 0, NB = 0, NKS = 0, NX = 0;
  std::array<int, 3 * 10> MNG{};  // (3, 10)
  std::array<int, 30> LG{};
  std::array<double, 10> EG{};
  std::array<double, 30> CG{};
  std::array<double, 81> FC{};  // FC(0:80)
  // Per-channel values the driver fills: the current channel's counts and
  // final-state descriptor, the momentum grid of every channel (NCH entries).
  int NL = 0, NC = 0, ND = 0;
  std::array<int, 30> MNC{};
  std::vector<double> P0, DP;
  // Inner-region tables and work arrays of the driver.
  std::array<double, 150> AA{}, BB{}, UU{}, VV{};
  std::array<double, 5250> WW{};
  std::array<double, 9000> WC{};
  std::array<double, 5360> CX{};
  // Asymptotic amplitudes of the current channel's functions, grown (never
  // shrunk) to the channel read; the dipole components of the solutions of
  // one energy, DHR(3, 7) and DHV(3, 7).
  std::vector<double> AC, AS;
  std::array<double, 3 * 7> DHR{}, DHV{};
  // Slice starts K(1) … K(13).
  std::array<long, 13> K{};
  // The slices.
  lib::Mat R, RV, XG, XE1, XE2, U, UI, WC1, WC2, WC3, WC4, WK;

  lib::IMat mng() { return lib::IMat(MNG.data(), 3, 10); }
  lib::Fac fc() const { return lib::Fac(FC.data(), 81); }
};

// Slice starts K(1) … K(13) for the given sizes.
std::array<long, 13> partition(int NB, int NKS, int NX, int NEM, int NUR, int wk_columns);

using Driver = std::function<void(PhotoRun&, io::Units&)>;

// Reads the groups (unit 3 must be open on "File.D40"), opens the listing,
// the data file and the ground-state file, reads the orbitals, partitions
// the workspace, builds the factorial table and runs `driver`.
// Legacy name: HS40.
void run_photoionisation(long NUV, lib::Workspace& V, io::Units& units, const Variant& variant, PhotoRun& run,
                         const Driver& driver);

}  // namespace photo

// Entry of the photoionisation programs: the control group S40, the
// ground-state file (group S00 and its orbitals), the files of the run and
// the partition of the workspace into twelve slices.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "io/namelist.hpp"
#include "io/unit.hpp"
#include "lib/ground_state.hpp"
#include "lib/views.hpp"
#include "lib/workspace.hpp"
#include "photo/sizes.hpp"

namespace photo {

// What distinguishes the two builds of the program.
struct Variant {
  const char* program;  // "xsect" or "xsect_a"
  int name_length;      // characters of the FIC and FID names
  int wk_columns;       // columns of the scratch slice WK
};
inline constexpr Variant kXsect{"xsect", 12, 45};
inline constexpr Variant kXsectA{"xsect_a", 15, 20};

// Group S40 of the control file "File.D40".  FIR and FIL are shared with
// group S00 of the ground-state file (lib/ground_state.hpp).
struct S40 {
  int NCH = 0;
  std::array<std::string, 10> FIR{};
  std::string FIL, FIG;
  std::array<std::string, kMaxChannels> FID{}, FIC{};
  int IRP = 0;
  std::array<int, kMaxChannels> IC{}, ID{};
  int NEM = 0, NUR = 0, MIE = 0;
  std::array<double, kMaxChannels> ECH{};
  int EXACT = 0;  // 1: 2π and the exact dipole constant instead of the truncated ones
  // IDER: the velocity form's derivative of a bound orbital of odd M at
  // ξ = 1, 1 through X/sqrt(ξ² − 1) (second order), 0 the one-sided
  // difference of X (first order, the results of stored inputs; diatom
  // writes 1).
  int IDER = 0;
  // IPV: the RPA's energy integral over a channel's continuum, 1 from its
  // threshold (the segment below the first momentum node included), 0 from
  // the first node (the results of stored inputs; diatom writes 1).
  int IPV = 0;
  // ILIN: the RPA solve, 0 from one real LU factorisation (LAPACK), 1 the
  // complex inverse of the written linear solver.  IWM = 1: an IRP = 1 run
  // writes the RPA matrix rows of each channel pair to FIR(1).
  int ILIN = 0, IWM = 0;
  // NUVM: the most double words the run may use; more stops the run with
  // " GIVE ME MEMORY".
  int NUVM = kNUVM;
  // Molecular-frame angular distributions (FIL.mfpad): at NMF photon
  // energies EMF (hartree) and NAF polarisation angles AMF (degrees from the
  // axis); NMF = 0, the default, writes none.
  int NMF = 0, NAF = 2;
  std::array<double, kMaxMfpadEnergies> EMF{};
  std::array<double, kMaxMfpadAngles> AMF{0.0, 90.0};
  io::Group group(const Variant& v);
  // The group as a front end writes it (diatom's File.D40): NCH, FIL, FIG,
  // FIR(1), FIC(1:NCH), FID(1:NCH), ID(1:NCH), IRP, NEM, NUR, MIE, IDER, IPV,
  // NMF, EMF(1:NMF), NAF, AMF(1:NAF) in that order; FID and ID named only
  // when a channel has extra functions, IPV only when it is not 0, and the
  // angular distributions only when NMF > 0.  The other variables are not
  // named and keep their defaults when the file is read.
  io::Group written_group(const Variant& v);
};

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
void HS40(long NUV, lib::Workspace& V, io::Units& units, const Variant& variant, PhotoRun& run, const Driver& driver);

}  // namespace photo

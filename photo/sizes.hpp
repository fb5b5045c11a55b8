// The public sizes and limits of the photoionisation programs: the
// workspace, the channels and angular distributions one run may ask for, the
// functions a channel file may hold, and the words the driver's own tables
// take beside the workspace (what a front end checks a run against).
#pragma once

namespace photo {

// Size of the workspace in double words.
inline constexpr long kNUV = 4'400'000;
// Default of NUVM, the most double words a run may use (1.6 GB): the
// workspace grows beyond NUV up to it, and the RPA solves take threads only
// as far as their work fits under it.
inline constexpr int kNUVM = 200'000'000;

// Most channels of a run: the listing numbers them with two digits.  The
// driver's per-channel tables are sized from NCH; only the names and values
// of group S40 are read into arrays of this length.
inline constexpr int kMaxChannels = 99;

// Photon energies and polarisation angles of the molecular-frame angular
// distributions one run may ask for.
inline constexpr int kMaxMfpadEnergies = 20, kMaxMfpadAngles = 10;

// Starting sizes of the driver's own tables in each build; every table
// grows to what the channels read need (the function tables to the largest
// channel and to the order NUR of the RPA matrix, the scratch of the
// interaction functions to the multipoles of the largest product), and the
// words they take beside the workspace are held to NUVM.
struct DriverSizes {
  int functions;  // entries of DR, DV, STV and energies of CSR, CSV
  int scratch;    // words of Z
};
inline constexpr DriverSizes kBaseSizes{1750, 45000};
inline constexpr DriverSizes kVariantASizes{750, 36000};

// Limits of the channel files.
inline constexpr int kMaxSolutions = 7;  // continuum solutions per energy (rows of CSR)
inline constexpr int kMaxExtra = 5;      // extra functions per channel

// Words of the driver's tables beside the workspace for channels whose
// largest has `groups` function groups (energies and extra functions) of
// `waves` partial waves, `functions` functions
// in all channels, RPA order NUR, NB grid points and partial waves of at
// most `shell_waves` in a ground-state shell; at least what a run of those
// channels takes (the front end checks a run against NUVM with it).
long table_words(long groups, int waves, long functions, int NUR, int NB, int shell_waves);

}  // namespace photo

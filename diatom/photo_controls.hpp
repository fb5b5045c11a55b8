// The control files of a diatom run's photoionisation steps: group CHN of
// chanfile for one channel (File.CHN) and group S40 of xsect for the
// channels of one distance (File.D40), with the sizes xsect is given for
// them.  Both are written through the programs' own group structs.
#pragma once

#include <string>
#include <vector>

#include "chan/program.hpp"
#include "diatom/channels.hpp"
#include "diatom/molecule.hpp"
#include "photo/control_group.hpp"
#include "photo/sizes.hpp"

namespace diatom {

// The xsect sizes: function-table factor NEM and RPA order NUR, and the
// words the run demands of its workspace (at most NUVM words).
struct XsectSizes {
  int NEM = 0, NUR = 0;
  long words = 0;
  // The words of one more energy solved at once by the RPA (a real matrix
  // of order NUR and its right-hand sides), beside the workspace.
  long thread_words = 0;
  // With the RPA solved from one Hessenberg reduction (ILIN = 2 or 3): the words
  // of the reduction beside the workspace (whose idle NUR² tables hold its
  // three matrices).
  long pencil_words = 0;
};
// The sizes for channels `ch` with NL solutions per energy and ND bound
// functions each, of ground-state shells of n partial waves (NSH shells) on
// NB points, with or without the RPA.
XsectSizes xsect_sizes(const std::vector<Channel>& ch, int NL, int ND, int n, int NSH, int NB, bool rpa);
inline constexpr long kXsectWords = photo::kNUVM;

// xsect's control file (the name it reads).
inline constexpr const char* kXsectControl = "File.D40";
// The listing and the data file a diatom run gives xsect (its tables of β
// and of the distributions take the listing's name with .beta, .mfpad).
inline constexpr const char* kXsectListing = "xsect.lst";
inline constexpr const char* kXsectData = "xsect.dat";

// Group CHN of channel `c` of the molecule, its settings from group MOL and
// `fig` the ground-state file it reads.
chan::CHN chanfile_group(const Molecule& m, const MOL& mol, const Channel& c, const std::string& fig);

// Writes File.CHN of a channel into `folder` (which must not hold one).
void write_chanfile_control(const std::string& folder, const Molecule& m, const MOL& mol, const Channel& c,
                            const std::string& fig);

// What File.D40 of one distance holds: its channels, xsect's sizes for
// them, the run's switches and the files xsect reads and writes.
struct XsectControl {
  std::vector<Channel> channels;
  XsectSizes sizes;
  int ND = 0;        // bound functions per final symmetry (0: none)
  bool rpa = false;  // RPA coupling of all channels
  std::string FIG;   // the ground-state file
  std::string FIL;   // the listing
  std::string FIR;   // the data file
  // Molecular-frame distributions: the group names them (photon energies
  // in hartree) only when some are asked for.
  MfpadRequest mfpad;
  // The outgoing partial-wave amplitudes (NWV = 1) for the vibrationally
  // resolved cross sections.
  bool waves = false;
};

// The photon energy (hartree) up to which the RPA is solved: in every
// channel the first node at or above its results' end and kRpaNodesBeyond
// more (for the interpolation of the rows and the check's cubic through the
// nearest nodes); 0 (every node) when a channel has no such end or no grid.
inline constexpr int kRpaNodesBeyond = 3;
double rpa_results_top(const std::vector<Channel>& ch);

// Group S40 of `c`.
photo::S40 xsect_group(const XsectControl& c);

// Writes File.D40 of `c` into `folder` (which must not hold one).
void write_xsect_control(const std::string& folder, const XsectControl& c);

}  // namespace diatom

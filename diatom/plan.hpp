// The plan of a diatom run: its distances and folders, the grid they share,
// the channels, and the steps — one program run in one folder each — in
// three stages:
//
//   stage 1  the ground state of every distance (tovrel, then gsfile when
//            there is a photoionisation, then with VIB = 1 the ion of each
//            ionised shell, from the molecule's orbitals) and the
//            self-check (tovrel, then gsfile when there is a
//            photoionisation)
//   stage 2  the channel files (chanfile), one per channel and distance,
//            and those of the self-check
//   stage 3  the cross sections (xsect), one per distance, and the
//            self-check's
//
// and then the collection of the results.  The steps of one stage depend
// only on steps of earlier stages, never on each other, so that a stage can
// run in any order, on any machine that sees the run folder.  Everything in
// the plan follows from the control file alone, which the run folder keeps.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "diatom/accuracy.hpp"
#include "diatom/channels.hpp"
#include "diatom/molecule.hpp"
#include "diatom/photo_controls.hpp"
#include "diatom/separated_ions.hpp"

namespace diatom {

// The target error of the run whose orbitals start a finer grid, and the
// least ratio of the points of the finer grid to its points for which the
// start pays: on N2 the coarse run (1046 points, 3.4 s) and the fine run
// after it took 3.9 s against 3.6 s cold at 1262 points, 4.4 against 4.9 s
// at 1546, 4.8 against 8.3 s at 1928 and 16 against 49 s at 8886.
inline constexpr double kStartTol = 1.0e-6;
// The folders of the two ions, and the start they make in the folder of
// the run they start.
inline constexpr const char* kIonFolders[2] = {"atom1", "atom2"};
inline constexpr const char* kIonsStartFile = "ions.res";
inline constexpr double kStartRatio = 1.5;
inline constexpr const char* kWarmFolder = "warm";  // the start's folder
// The target error of the run that starts the run of kStartTol, and its
// folder: from no orbitals CO's run on the grid of 1e-6 (1192 points, 17
// waves) took 19.4 s, 18 sweeps; from the orbitals of 1e-4 (400 points, 16
// waves, 5.7 s) it took 2.3 s, 6 sweeps, to the same total within 2e-11.
inline constexpr double kColdTol = 1.0e-4;
inline constexpr const char* kColdFolder = "cold";
// The folder of the self-check: its ground state, and with a
// photoionisation its channels and cross sections as at a distance.
inline constexpr const char* kCheckFolder = "check";

// The photoionisation's self-check refines every setting the results
// depend on beyond the check grid's ground state and its partial waves:
// half the momentum step (twice the momenta less one for a count NK), so
// that every node of the rule's grid is one of the check's and each node
// between two of them shows what the rule's step leaves out; with the RPA
// a top kCheckTopRise (eV) higher and kCheckMoreBoundFunctions more bound
// functions per final symmetry (at most 5, on a grid that reaches them);
// kCheckMoreSolutions more solutions kept per energy
// (at most what the check's waves and a channel file give).  N2's valence
// RPA moved by 0.29% from a top of 205 to 305 eV, and by 0.12% in the
// total, so a check 100 eV above diatom's top measures most of what the
// rule's top leaves out.
inline constexpr double kCheckTopRise = 100.0;
// With the RPA and no ND given, diatom gives every final symmetry
// kRpaBoundFunctions bound functions: H2's RPA (DK = 0.1, 16–60 eV) lay up
// to 8.6% from a run with three and a quarter of the step without them,
// 0.9% with two; N2's valence RPA with two lies 0.6-1.1% from a run with
// five away from its resonances, with three 0.2-0.45%.
inline constexpr int kRpaBoundFunctions = 2;
// With the RPA and no RB given, the grid ends at kBoundFunctionReach·ν²
// bohr at least, ν = l + ND for the highest lowest partial wave l of a
// final symmetry: the ND-th bound function lies near that ν (N2's δg: 2.98,
// 3.98, 5.00) and the continua near threshold are matched there.
inline constexpr double kBoundFunctionReach = 3.75;
double rpa_outer_end(const std::vector<Channel>& channels, int ND);
inline constexpr int kCheckMoreSolutions = 2;
// The bound functions converge slowly, as the oscillator strengths of a
// Rydberg series (n*^-3), and not evenly: N2's valence RPA away from its
// resonances moved by 0.6-0.8% from 2 to 3 of them, 0.2-0.3% from 3 to 4 and
// 0.25-0.4% from 4 to 5 (the fifth holds the n* = 5 states of several
// series).  Against a reference finer in every setting and with 5, twice the
// change to a check with one more held the rule's error at 85% of the
// values, with two more at 96%.
inline constexpr int kCheckMoreBoundFunctions = 2;
// The check's bound functions for the rule's ND.
inline int check_bound_functions(int ND) { return std::min(ND + kCheckMoreBoundFunctions, 5); }

// One program run in one folder of the run.
struct Step {
  std::string folder;   // relative to the run folder: "", "check", "r02", "c01", "r02/c01", "check/c01"
  std::string program;  // tovrel, gsfile, chanfile or xsect
  int distance = 0;     // index into Plan::distances
  int channel = -1;     // index into Plan::channels (chanfile)
  int ion = -1;         // the ion's ground state (VIB = 1): index into Molecule::ionised
  // "r02/c01/chanfile": the step's name in job lines and messages.
  std::string name() const { return folder.empty() ? program : folder + "/" + program; }
};

// Steps that run one after the other as one job of a stage (a ground state
// and its gsfile), or a single step.
using JobSteps = std::vector<Step>;

struct Plan {
  std::string run;      // the run folder, by its plain name
  std::string control;  // the control file's name inside the run folder
  std::string ref;      // "reference.dat" when the control file names reference points, else ""
  MOL mol;              // group MOL, with IPOT resolved
  Molecule molecule;
  bool rpa = false;         // RPA coupling (not for one electron)
  bool check = false;       // the self-check of the single-distance ground state
  Accuracy accuracy;        // the grid of every distance
  Accuracy check_accuracy;  // the self-check's grid
  // The photoionisation settings of the self-check (kCheckTopRise): group
  // MOL with the step, the top, the solutions and the bound functions
  // refined.
  MOL check_mol;
  // The start of a fine grid (START = 1, one distance, a grid of at least
  // kStartRatio times the points of that of kStartTol): the ground state on the grid of kStartTol in the
  // folder "warm" first, and its orbitals carried to the rule's grid.
  bool warm = false;
  bool warm_pays = false;  // such a start pays here (START = 1 makes it)
  Accuracy warm_accuracy;  // the starting run's grid
  // The start of the start: when the grid of kStartTol has itself at least
  // kStartRatio times the points of that of kColdTol, the run in "warm"
  // starts from one on the grid of kColdTol in the folder "cold", which
  // alone starts from no orbitals (or from the neighbour's or the ions').
  // Without "warm", the separated ions below kColdTol start the rule's run
  // through "cold" too.
  bool cold = false;
  Accuracy cold_accuracy;
  // A one-electron σ shell among closed shells of its symmetry (CN, one
  // distance): the closed-shell neighbour's ground state (open_shell.hpp) in
  // the folder "near" first, on the grid of the run it starts (warm's, else
  // the rule's), and its orbitals start that run.
  std::optional<Molecule> neighbour;
  // A closed-shell molecule with a second-row atom (START = 1, one
  // distance): each ion of the separated atoms (separated_ions.hpp) on its
  // own in the folders "atom1" and "atom2" first, on the grid of the run
  // they start (warm's, else the rule's), and their orbitals side by side
  // (kIonsStartFile in that run's folder) start it.
  std::optional<SeparatedIons> ions;
  // Folder of each distance: the run folder itself ("") for one distance,
  // r01, r02, … for a scan.
  std::vector<std::string> distances;
  std::vector<Channel> channels;  // shells and final symmetries; grids come from each ground state
  std::vector<JobSteps> stage[3];

  bool scan() const { return distances.size() > 1; }
  bool ion() const { return !channels.empty(); }
  // The photoionisation is checked too (CHECK = 1 with ION).
  bool photo_check() const { return check && ion(); }
  // Whether step `s` belongs to the self-check (its folder or one inside it).
  static bool in_check(const Step& s) {
    return s.folder == kCheckFolder || s.folder.rfind(std::string(kCheckFolder) + "/", 0) == 0;
  }
  // The folder whose ground state a photoionisation step reads: the
  // self-check's, or its distance's.
  std::string ground_folder(const Step& s) const;
  // The folder of the first run of the molecule itself ("cold", "warm" or
  // the run folder's ""), the one that the neighbour or the ions start.
  std::string first_folder() const { return cold ? kColdFolder : warm ? kWarmFolder : ""; }
  // The run folder's path of a folder of the run.
  std::string path(const std::string& folder) const { return folder.empty() ? run : run + "/" + folder; }
  // The steps whose outputs `s` reads.
  std::vector<Step> inputs(const Step& s) const;
  // The step called `name`, or nullptr.
  const Step* find_step(const std::string& name) const;
  // The steps of stage `k` in the waves a run here takes them in: each step
  // once, in the first wave after those of every input it has in the stage,
  // in the order of its jobs; the steps of a wave need nothing of one another.
  std::vector<std::vector<Step>> waves(int k) const;
  // The channels of distance `d` with the grids its ground state gives, and
  // xsect's sizes for them; stops naming the control file when the photon
  // range lies below a threshold or xsect's memory cannot take the run.
  // With `checking`, those of the self-check from its ground state and
  // settings (check_mol), within the memory the machine allows xsect.
  std::vector<Channel> channels_at(int d, XsectSizes* size = nullptr, bool checking = false) const;
};

// The plan of the run of control file `file` (group `mol`, described as `m`)
// in folder `run`.
Plan make_plan(const MOL& mol, const Molecule& m, const std::string& run, const std::string& file,
               const std::string& ref);

// What diatom chose for the user (the configuration, the order of the
// shells), and what the control file asks for that has no effect in this run, beside
// the refusals of describe_molecule: START where no start from a coarse
// grid is made, bound functions (ND) without the RPA, and the β column of
// the reference points without BETA = 1.
std::vector<std::string> input_notes(const Plan& p);

// The record of the plan in the run folder, diatom.run: it marks a folder as
// diatom's and names the control file the folder keeps.
inline constexpr const char* kRunRecord = "diatom.run";
void write_run_record(const Plan& p);

// The plan of an existing run folder, from its record and its copy of the
// control file; stops naming the folder when it is not a diatom run folder.
Plan load_plan(const std::string& run);

}  // namespace diatom

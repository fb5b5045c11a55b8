#include "diatom/step_controls.hpp"

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "diatom/ionic_states.hpp"
#include "diatom/photo_controls.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/unit.hpp"
#include "photo/beta_table.hpp"
#include "photo/mfpad.hpp"
#include "photo/wave_table.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string title_number(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// The three title lines of tovrel's listing: the title (or the charges and
// distance), the shells, and the grid.
std::vector<std::string> titles(const Plan& p, const Molecule& m, double RZ, const Accuracy& a) {
  std::string t1 = io::trim_right(p.mol.TIT);
  if (t1.empty() || &m != &p.molecule)
    t1 = "diatom: Z1 = " + title_number(m.Z1) + ", Z2 = " + title_number(m.Z2) + ", RZ = " + title_number(RZ);
  std::string shells = m.open >= 0 ? m.state + ":" : "closed shells";
  for (const Shell& s : m.shells) shells += " " + s.name + (s.open() ? std::to_string(s.electrons()) : "");
  return {t1, shells, std::to_string(a.n) + " partial waves per shell, NB = " + std::to_string(a.NB)};
}

// xsect's control group of distance d, with the channels' grids (after
// the ground state) or without them (their names only).
XsectControl xsect_control(const Plan& p, const Step& s, bool grids) {
  XsectControl c;
  const bool checking = Plan::in_check(s);
  c.channels = grids ? p.channels_at(s.distance, &c.sizes, checking) : p.channels;
  c.ND = (checking ? p.check_mol : p.mol).ND;
  c.rpa = p.rpa;
  c.FIG = kGroundFile;
  c.FIL = kXsectListing;
  c.FIR = kXsectData;
  c.mfpad = p.molecule.mfpad;
  c.waves = p.molecule.vib;
  return c;
}

// Whether step `s` is the molecule's run that the separated ions start:
// the coarsest grid's.
bool starts_from_ions(const Plan& p, const Step& s) {
  return p.ions && s.program == "tovrel" && s.ion < 0 && s.folder == p.first_folder();
}

// The grid of the runs that start the first one (the neighbour, the ions).
const Accuracy& start_accuracy(const Plan& p) {
  return p.cold ? p.cold_accuracy : p.warm ? p.warm_accuracy : p.accuracy;
}

// The ground-state file as a channel's folder sees it.
const std::string kChannelGroundFile = std::string("../") + kGroundFile;

}  // namespace

ProgramFiles program_files(const Plan& p, const Step& s) {
  ProgramFiles f;
  if (s.program == "tovrel") {
    f.controls = {kTovrelControl, kTovrelTitles};
    if (starts_from_ions(p, s)) f.controls.push_back(kIonsStartFile);
    f.outputs = {kGroundListing, kGroundResult};
  } else if (s.program == "gsfile") {
    f.outputs = {program_arguments(s)[1]};
  } else if (s.program == "chanfile") {
    const chan::CHN g =
        chanfile_group(p.molecule, Plan::in_check(s) ? p.check_mol : p.mol, p.channels[s.channel], kChannelGroundFile);
    f.controls = {chan::kControlFile};
    f.outputs = {io::trim_right(g.FIC), io::trim_right(g.FIL)};
    if (g.ND > 0) f.outputs.push_back(io::trim_right(g.FID));
  } else {
    const photo::S40 g = xsect_group(xsect_control(p, s, false));
    const std::string listing = io::trim_right(g.FIL);
    f.controls = {kXsectControl};
    f.outputs = {listing, io::trim_right(g.FIR[0]), photo::beta_table_name(listing)};
    if (g.NMF > 0) f.outputs.push_back(photo::mfpad_table_name(listing));
    if (g.NWV == 1) f.outputs.push_back(photo::wave_table_name(listing));
  }
  return f;
}

std::vector<std::string> program_arguments(const Step& s) {
  if (s.program == "gsfile") return {kGroundResult, kGroundFile};
  return {};
}

void write_step_controls(const Plan& p, const Step& s) {
  const std::string folder = p.path(s.folder);
  if (s.program == "tovrel") {
    write_ground_controls(p, s);
  } else if (s.program == "chanfile") {
    const bool checking = Plan::in_check(s);
    const std::vector<Channel> ch = p.channels_at(s.distance, nullptr, checking);
    write_chanfile_control(folder, p.molecule, checking ? p.check_mol : p.mol, ch[s.channel], kChannelGroundFile);
  } else if (s.program == "xsect") {
    write_xsect_control(folder, xsect_control(p, s, true));
  }
}

void write_ground_controls(const Plan& p, const Step& s) {
  const double RZ = p.molecule.RZ[s.distance];
  if (s.folder == "near") {
    // The neighbour on the grid of the run it starts, from no orbitals.
    const Accuracy& a = start_accuracy(p);
    const scf::ControlGroup d = make_d00(*p.neighbour, RZ, a, kGroundListing, kGroundResult);
    write_tovrel_controls(p.path(s.folder), d, titles(p, *p.neighbour, RZ, a), "", false);
    return;
  }
  for (size_t k = 0; k < 2 && p.ions; ++k) {
    if (s.folder != kIonFolders[k]) continue;
    // One ion of the separated atoms, on focus 1 of the grid of the run it
    // starts, from no orbitals.
    const Accuracy& a = start_accuracy(p);
    const Molecule& ion = p.ions->ion[k];
    const scf::ControlGroup d = make_d00(ion, RZ, a, kGroundListing, kGroundResult);
    write_tovrel_controls(p.path(s.folder), d, titles(p, ion, RZ, a), "", false);
    return;
  }
  if (s.ion >= 0) {
    // The ion from the molecule's orbitals at the same distance, on the
    // same grid; from no orbitals when a shell of one electron is emptied
    // (one shell fewer) or one electron is left: H2+ from H2's 1σg beyond
    // R = 4 bohr found an excited σg state (ε = −0.29 at 4.1 bohr), where
    // the cold start finds the state of its rank.
    const int hole = p.molecule.ionised[static_cast<size_t>(s.ion)];
    const Molecule ion = ion_of(p.molecule, hole);
    scf::ControlGroup d = make_d00(ion, RZ, p.accuracy, kGroundListing, kGroundResult);
    // A σ hole in the highest shell of its symmetry takes the model step:
    // from the molecule's orbitals the projected solve's energy search for
    // N2+ 3σg¹ ran away to zero at every distance, where the model step
    // converges in 3 s; for 2σu¹ both give one total to 1e-10 hartree.
    if (d.IROT == 2 && ion_of_highest_sigma(ion)) d.IROT = 0;
    const bool from_molecule = ion.shells.size() == p.molecule.shells.size() && !ion.one_electron();
    write_tovrel_controls(p.path(s.folder), d, titles(p, ion, RZ, p.accuracy),
                          from_molecule ? std::string("../") + kGroundResult : std::string(), false);
    return;
  }
  const Accuracy& a = s.folder == kCheckFolder  ? p.check_accuracy
                      : s.folder == kWarmFolder ? p.warm_accuracy
                      : s.folder == kColdFolder ? p.cold_accuracy
                                                : p.accuracy;
  const scf::ControlGroup d = make_d00(p.molecule, RZ, a, kGroundListing, kGroundResult);
  // After a start on a coarser grid, the orbitals of its result carried to
  // this grid (tovrel's restart on another grid); after the neighbour's run,
  // its orbitals, on the same grid for the run it was made for.
  // After the ions' runs, their orbitals side by side in this run's folder
  // (written once both have finished; at the making of the run folder the
  // control files name the file to come).
  // The check run starts from the rule's result.
  std::string from;
  const bool from_cold = p.cold && s.folder == (p.warm ? kWarmFolder : "");
  const bool from_warm = p.warm && s.folder.empty();
  if (s.folder == kCheckFolder)
    from = kGroundResult;
  else if (from_cold)
    from = std::string(kColdFolder) + "/" + kGroundResult;
  else if (from_warm)
    from = std::string(kWarmFolder) + "/" + kGroundResult;
  else if (p.neighbour)
    from = std::string("near/") + kGroundResult;
  if (!from.empty() && !s.folder.empty()) from = "../" + from;
  if (starts_from_ions(p, s)) {
    from = kIonsStartFile;
    const std::array<std::string, 2> results{p.path(kIonFolders[0]) + "/" + kGroundResult,
                                             p.path(kIonFolders[1]) + "/" + kGroundResult};
    if (fs::exists(results[0]) && fs::exists(results[1]))
      write_ions_start(*p.ions, d, results, p.path(s.folder) + "/" + kIonsStartFile);
  }
  const bool other_grid = s.folder == kCheckFolder || from_cold || from_warm;
  write_tovrel_controls(p.path(s.folder), d, titles(p, p.molecule, RZ, a), from, !from.empty() && other_grid);
}

}  // namespace diatom

#include "diatom/step_controls.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "diatom/photo_controls.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/unit.hpp"

namespace diatom {

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

}  // namespace

void write_step_controls(const Plan& p, const Step& s) {
  const std::string folder = p.path(s.folder);
  if (s.program == "tovrel") {
    write_ground_controls(p, s);
  } else if (s.program == "chanfile") {
    const std::vector<Channel> ch = p.channels_at(s.distance);
    write_chanfile_control(folder, p.molecule, p.mol, ch[s.channel], "../mol.gs");
  } else if (s.program == "xsect") {
    XsectControl c;
    c.channels = p.channels_at(s.distance, &c.sizes);
    c.ND = p.mol.ND;
    c.rpa = p.rpa;
    c.FIG = "mol.gs";
    c.FIL = "xsect.lst";
    c.FIR = "xsect.dat";
    c.mfpad = p.molecule.mfpad;
    write_xsect_control(folder, c);
  }
}

void write_ground_controls(const Plan& p, const Step& s) {
  const double RZ = p.molecule.RZ[s.distance];
  if (s.folder == "near") {
    // The neighbour on the grid of the run it starts, from no orbitals.
    const Accuracy& a = p.warm ? p.warm_accuracy : p.accuracy;
    const scf::ControlGroup d = make_d00(*p.neighbour, RZ, a, "mol.lst", "mol.res");
    write_tovrel_controls(p.path(s.folder), d, titles(p, *p.neighbour, RZ, a), "", false);
    return;
  }
  const Accuracy& a = s.folder == "check" ? p.check_accuracy : s.folder == "warm" ? p.warm_accuracy : p.accuracy;
  const scf::ControlGroup d = make_d00(p.molecule, RZ, a, "mol.lst", "mol.res");
  // After a start on the coarse grid, the orbitals of its result carried to
  // this grid (tovrel's restart on another grid); after the neighbour's run,
  // its orbitals, on the same grid for the run it was made for.
  std::string from;
  if (p.warm && s.folder != "warm")
    from = "warm/mol.res";
  else if (p.neighbour)
    from = s.folder == "check" ? "mol.res" : "near/mol.res";
  if (!from.empty() && !s.folder.empty()) from = "../" + from;
  const bool other_grid = s.folder == "check" || (p.warm && s.folder != "warm");
  write_tovrel_controls(p.path(s.folder), d, titles(p, p.molecule, RZ, a), from, !from.empty() && other_grid);
}

}  // namespace diatom

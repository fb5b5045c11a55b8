#include "diatom/collect.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "diatom/accuracy.hpp"
#include "diatom/angular_results.hpp"
#include "diatom/asymmetry.hpp"
#include "diatom/cross_sections.hpp"
#include "diatom/empty_orbitals.hpp"
#include "diatom/ionic_states.hpp"
#include "diatom/ionic_terms.hpp"
#include "diatom/job_lists.hpp"
#include "diatom/jobs.hpp"
#include "diatom/listings.hpp"
#include "diatom/photo_controls.hpp"
#include "diatom/photon_range.hpp"
#include "diatom/resonances.hpp"
#include "diatom/result_errors.hpp"
#include "diatom/separated_atoms.hpp"
#include "diatom/step_record.hpp"
#include "diatom/text_files.hpp"
#include "diatom/vibration_report.hpp"
#include "diatom/vibronic_report.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/angular_coefficients.hpp"
#include "photo/wave_table.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

std::string f(const char* fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

std::string find_gnuplot() {
  const char* path = std::getenv("PATH");
  std::istringstream in(path ? path : "");
  for (std::string d; std::getline(in, d, ':');) {
    const std::string p = d + "/gnuplot";
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return "";
}

// The collection in progress: the listing as it grows, and what the steps'
// files say.
struct Collection {
  const Plan& p;
  std::string lst;
  void out(const std::string& text) { lst += text + "\n"; }
  bool done(const Step& s) const { return inspect_step(p, s).kind == StepState::finished; }
  Step step(int d, const std::string& program) const { return {p.distances[d], program, d, -1}; }
};

void report_ground(Collection& c, const GroundState& g) {
  const Plan& p = c.p;
  c.out("");
  c.out(" Orbital energies (partial waves: " + std::to_string(p.accuracy.n) + " per shell; " +
        (g.precise ? "from tovrel's energy block)" : "nine digits, from the result file)"));
  c.out("   shell  symmetry    M  L0      energy (hartree)     (eV)");
  say(" orbital energies (hartree):");
  for (size_t i = 0; i < p.molecule.shells.size(); ++i) {
    const Shell& s = p.molecule.shells[i];
    char b[160];
    std::snprintf(b, sizeof b, "   %-6s %-10s %2d %3d  %20.9f %10.4f", s.name.c_str(), s.symmetry().c_str(), s.M, s.L0,
                  g.orbital[i], g.orbital[i] * kHartreeEV);
    c.out(b);
    say(b);
  }
  static const char* order[] = {"TOTAL ENERGY", "NUCLEAR REPULSION", "ELECTRONIC ENERGY", "KINETIC ENERGY",
                                "VIRIAL RATIO"};
  c.out("");
  if (g.totals.empty()) {
    const std::string line =
        " total, electronic and kinetic energy, virial ratio: not available (tovrel printed no energy block)";
    c.out(line);
    say(line);
    return;
  }
  for (const char* k : order) {
    auto it = g.totals.find(k);
    const std::string line =
        std::string(" ") + k + ": " + (it == g.totals.end() ? std::string("not available") : f("%.9f", it->second));
    c.out(line);
    say(line);
  }
  const auto total = g.totals.find("TOTAL ENERGY");
  if (total == g.totals.end()) return;
  const Molecule& m = p.molecule;
  if (const std::optional<std::string> w = above_separated_atoms(m.Z1, m.Z2, p.mol.Q, total->second)) {
    c.out(" WARNING: " + *w);
    say(" diatom: WARNING: " + *w);
  }
}

// The aufbau check in the listing: the lowest empty orbital of each
// symmetry near the occupied ones, and a warning on the console and in the
// listing for each that lies below an occupied orbital.
void report_empty(Collection& c, const GroundState& g) {
  const Plan& p = c.p;
  c.out("");
  const Molecule& m = p.molecule;
  if (!empty_orbitals_sought(m)) {
    c.out(std::string(" Lowest empty orbitals: not sought ") +
          (m.open >= 0 && !m.one_electron() ? "for an open shell among other electrons (they depend on the coupling)"
           : m.one_electron() ? "for one electron on one nucleus (its states of one n are degenerate across L)"
                              : "(the shells and one more exceed tovrel's table)"));
    return;
  }
  const std::vector<EmptyOrbital> empty = empty_orbitals(p, own_folder());
  char grid[64] = "";
  if (empty_orbitals_on_start_grid(p))
    std::snprintf(grid, sizeof grid, ", on the start's grid of TOL = %.0e", kStartTol);
  c.out(std::string(" Lowest empty orbitals in the field of the ground state (the aufbau check; runs in empty/") +
        grid + "):");
  for (const EmptyOrbital& e : empty) {
    char b[200];
    if (e.energy) {
      std::snprintf(b, sizeof b, "   %-6s %-10s %2d %3d  %20.9f %10.4f", e.shell.name.c_str(),
                    e.shell.symmetry().c_str(), e.shell.M, e.shell.L0, *e.energy, *e.energy * kHartreeEV);
    } else {
      std::snprintf(b, sizeof b, "   %-6s %-10s %2d %3d  %s", e.shell.name.c_str(), e.shell.symmetry().c_str(),
                    e.shell.M, e.shell.L0, e.why.c_str());
    }
    c.out(b);
  }
  const std::vector<std::string> warnings = aufbau_warnings(p.molecule, g.orbital, empty);
  for (const std::string& w : warnings) {
    c.out(" WARNING: " + w);
    say(" diatom: WARNING: " + w);
  }
  const bool all_found =
      std::all_of(empty.begin(), empty.end(), [](const EmptyOrbital& e) { return e.energy.has_value(); });
  if (warnings.empty()) {
    c.out(all_found ? " Every empty orbital found lies above the occupied ones."
                    : " No empty orbital found lies below an occupied one; a symmetry whose next state the field"
                      " without exchange does not bind is not checked.");
  }
}

// The error estimate from the two grids.  The check grid has the outer step
// and RP(1) − 1 over kRefine, and the step in ξ at the junction over
// RP(1) − 1 over kRefine too (Numerov, the start of its sweep and the inner
// series err as their fourth powers), more partial waves, a farther end and
// EPS/10, at least kCheckEps (errors that fall faster than that).  With the change
// Δ = E(check) − E(rule) the order-4 errors are Δ·q/(q − 1) on the rule's
// grid and Δ/(q − 1) on the check grid, q = kRefine⁴.  Two errors Δ does not
// measure are added for each grid:
//  - `floor`, max(TOL/10, min(TOL, 1e-7)) for an orbital energy and
//    max(TOL, min(10·TOL, 3e-8)) for the total: against Hartree–Fock limits
//    (LiH, BH, FH, CO and N2; docs/validation.md) the valence orbital
//    energies of LiH, BH and N2 sat up to 1e-7 above the limit on both grids
//    at TOL = 1e-6 with the check grid that kept the junction step's ratio q
//    (2.8e-8 and 1.9e-8 on N2's and LiH's check grids now; BH, FH and CO not
//    rerun), the totals up to 1.5e-7.  Below TOL = 1e-7 the floor is TOL
//    itself for the orbital energies: on N2 at TOL = 1e-8 and N2, LiH and BH
//    at 1e-9 no orbital energy on either grid lay further from the limit
//    than the change plus TOL (LiH's 2σ on the rule's grid of 1e-9: 1.5e-9
//    against a change of 1.0e-9), and no total further than 10·TOL.
//  - for an open shell turned against a closed shell of its symmetry, the
//    Brillouin gradient |g| tovrel prints: the sweeps rest at θ* = −g/H off
//    the energy's stationary angle, and there the open orbital energy is
//    off by (dε/dθ)·θ*.  CN's 5σ: H = 0.563 hartree per radian²,
//    dε/dθ = 0.280, so about |g|/2.  With the elements of the pair formed
//    to the grid's order, g is below 1e-9 on diatom's grids for CN and the
//    term is a guard: it holds the error of a resting angle whenever the
//    elements and the solves disagree.
// The rounding of the outer Numerov solves needs no term: tovrel solves
// them in their difference form (IDIF = 1), whose rounding does not grow as
// NB² (the written form moved N2's 1σg up by 3.0e-8 and the total by
// 6.5e-8 from NB = 8886 to 20932; docs/validation.md).
struct Estimate {
  double rule, check;  // estimated errors (hartree) of the two values
};
Estimate estimate(double E0, double E1, double floor) {
  const double q = std::pow(kRefine, 4), d = std::fabs(E1 - E0);
  return {d * q / (q - 1) + floor, d / (q - 1) + floor};
}

double orbital_floor(double TOL) { return std::max(TOL / 10, std::min(TOL, 1e-7)); }
double total_floor(double TOL) { return std::max(TOL, std::min(10 * TOL, 3e-8)); }

double gradient_of(const GroundState& g, size_t shell) {
  const auto it = g.brillouin.find(shell);
  return it == g.brillouin.end() ? 0.0 : it->second;
}

void self_check(Collection& c, const GroundState& g, const GroundState& r, std::string* table) {
  const Plan& p = c.p;
  c.out("");
  c.out(" Check of the accuracy rule (" + p.check_accuracy.why + "):");
  c.out("   shell      energy (rule)       est. error       energy (check)      est. error      change");
  say(" check of the accuracy rule (" + p.check_accuracy.why + "):");
  std::ostringstream dat;
  dat << "# orbital and total energies (hartree) with estimated errors: name, on the rule's grid, its error,\n";
  dat << "# on the check grid (" << p.check_accuracy.why << "), its error\n";
  double worst = 0;
  const double TOL = p.mol.TOL;
  auto row = [&](const std::string& name, double E0, double E1, double floor, double turn0 = 0, double turn1 = 0) {
    const double d = E1 - E0;
    Estimate e = estimate(E0, E1, floor);
    e.rule += turn0;
    e.check += turn1;
    char b[200];
    std::snprintf(b, sizeof b, "   %-6s %18.9f %12.1e %20.9f %12.1e %12.2e", name.c_str(), E0, e.rule, E1, e.check, d);
    c.out(b);
    say(b);
    std::snprintf(b, sizeof b, "%-6s %19.10f %10.2e %19.10f %10.2e\n", name.c_str(), E0, e.rule, E1, e.check);
    dat << b;
  };
  for (size_t i = 0; i < g.orbital.size(); ++i) {
    worst = std::max(worst, std::fabs(r.orbital[i] - g.orbital[i]));
    row(p.molecule.shells[i].name, g.orbital[i], r.orbital[i], orbital_floor(TOL), gradient_of(g, i),
        gradient_of(r, i));
  }
  const auto t0 = g.totals.find("TOTAL ENERGY"), t1 = r.totals.find("TOTAL ENERGY");
  if (t0 != g.totals.end() && t1 != r.totals.end()) row("total", t0->second, t1->second, total_floor(TOL));
  const std::string verdict =
      " largest change " + f("%.2e", worst) + " hartree: " +
      (worst <= TOL ? "within TOL = " + f("%.1e", TOL)
                    : "ABOVE TOL = " + f("%.1e", TOL) +
                          ": the rule's grid misses TOL; take the check grid's values with their estimates,"
                          " or give a smaller TOL");
  c.out(verdict);
  say(verdict);
  c.out(" Estimated error: the fourth-order grid errors (outer step, inner region) from the change, plus what both");
  c.out(" grids share, " + f("%.0e", orbital_floor(TOL)) + " for an orbital energy and " + f("%.0e", total_floor(TOL)) +
        " for the total" + (g.brillouin.empty() ? "" : ","));
  if (!g.brillouin.empty())
    c.out(" and for an open shell turned against closed shells of its symmetry its |dE/dtheta|");
  c.out(" Take the value with the smaller estimate" + std::string(table ? " (also in diatom.dat)." : "."));
  if (table) *table = dat.str();
}

// The potential curve: total and orbital energies against the distance, for
// every distance whose ground state has finished.
std::string curve_table(Collection& c) {
  const Plan& p = c.p;
  std::ostringstream table;
  table << "# RZ (bohr), total energy (hartree; '-' when tovrel printed none), orbital energies (hartree):";
  for (const Shell& s : p.molecule.shells) table << " " << s.name;
  table << "\n";
  bool totals = false;
  std::string missing;
  c.out("");
  c.out("      RZ        total energy    orbital energies");
  for (size_t d = 0; d < p.distances.size(); ++d) {
    const Step s = c.step(static_cast<int>(d), "tovrel");
    if (!c.done(s)) {
      c.out(" RZ = " + f("%g", p.molecule.RZ[d]) + ": " + s.name() + " has not finished");
      missing += " " + f("%.4f", p.molecule.RZ[d]);
      continue;
    }
    const GroundState g = read_ground_state(p.path(s.folder));
    auto it = g.totals.find("TOTAL ENERGY");
    totals = totals || it != g.totals.end();
    std::string row = f("%9.4f", p.molecule.RZ[d]) +
                      (it == g.totals.end() ? std::string("                 -") : f(" %17.9f", it->second));
    for (double e : g.orbital) row += f(" %15.9f", e);
    table << row << "\n";
    c.out(row);
  }
  if (!totals) c.out(" Total energy: not available (tovrel printed no energy block); the table has orbital energies.");
  if (!missing.empty()) table << "# not finished, RZ =" << missing << "\n";
  return table.str();
}

// The total energy of the finished ground state of step `s`, or none.
std::optional<double> total_energy(Collection& c, const Step& s) {
  if (!c.done(s)) return std::nullopt;
  const GroundState g = read_ground_state(c.p.path(s.folder));
  const auto it = g.totals.find("TOTAL ENERGY");
  if (it == g.totals.end()) return std::nullopt;
  return it->second;
}

// Runs gnuplot on `script` in `folder` (shown as `shown`), drawing `png`.
void draw(const std::string& folder, const std::string& shown, const std::string& script = "plot.gp",
          const std::string& png = "diatom.png");

// The photon energies of the vibrationally resolved cross sections: EMIN to
// EMAX in steps of 0.05 eV (the momentum nodes of each distance lie about
// 1 eV apart; the vibronic thresholds of one state a few tenths).
std::vector<double> vibronic_photon_energies(const MOL& mol) {
  std::vector<double> omega;
  const int n = static_cast<int>(std::floor((mol.EMAX - mol.EMIN) / 0.05 + 1e-9));
  for (int k = 0; k <= n; ++k) omega.push_back((mol.EMIN + 0.05 * k) / kHartreeEV);
  return omega;
}

// The vibrationally resolved cross sections and β of every ionic state with
// levels, from the waves of every distance whose cross sections finished.
void vibronic_results(Collection& c, const VibrationReport& r, const std::vector<StateCurve>& states) {
  const Plan& p = c.p;
  const Molecule& m = p.molecule;
  std::vector<std::vector<ShellWaveNodes>> tables(p.distances.size());
  std::vector<double> koopmans_of(p.distances.size());
  for (size_t d = 0; d < p.distances.size(); ++d) {
    if (!c.done(c.step(static_cast<int>(d), "xsect"))) continue;
    const std::string folder = p.path(p.distances[d]);
    const std::string name = folder + "/" + photo::wave_table_name(kXsectListing);
    tables[d] = read_wave_table(read_text_file(name), name);
  }
  std::vector<double> factorials(81);
  lib::fill_factorials(80, lib::VecView<double, 0>(factorials.data(), 81));
  const lib::Fac F(factorials.data(), 81);
  std::vector<VibronicState> out;
  for (size_t a = 1; a < r.analysed.size(); ++a) {
    const AnalysedState& ion = r.analysed[a];
    const int hole = m.ionised[ion.index - 1];
    if (ion.levels.E.empty()) {
      c.out(" Vibrationally resolved " + states[ion.index].label +
            ": the distances hold no level of the ion; give distances farther about its equilibrium");
      continue;
    }
    for (int method = 0; method < (p.rpa ? 2 : 1); ++method) {
      VibronicInput in;
      for (size_t d = 0; d < p.distances.size(); ++d) {
        for (const ShellWaveNodes& t : tables[d]) {
          if (t.shell != hole + 1 || t.rpa != (method == 1)) continue;
          in.R.push_back(m.RZ[d]);
          in.waves.push_back(&t);
          in.koopmans.push_back(-read_ground_state(p.path(p.distances[d])).orbital[static_cast<size_t>(hole)]);
        }
      }
      if (static_cast<int>(in.R.size()) < kVibrationLeastDistances) {
        c.out(" Vibrationally resolved " + states[ion.index].label + ": the waves of " + std::to_string(in.R.size()) +
              " distances, fewer than the " + std::to_string(kVibrationLeastDistances) + " the sum over R needs");
        continue;
      }
      in.molecule = &r.analysed[0].levels;
      in.ion = &ion.levels;
      in.grid = r.grid;
      in.fc = ion.fc;
      in.re = r.analysed[0].constants.re;
      in.omega = vibronic_photon_energies(p.mol);
      in.levels = 0;
      for (double q : ion.fc) in.levels += q >= 1e-3 ? 1 : 0;
      in.levels = std::clamp(in.levels, 1, static_cast<int>(ion.levels.E.size()));
      out.push_back({states[ion.index].label, method == 1 ? "RPA" : "HF", ion.fc, vibronic_cross_sections(in, F)});
    }
  }
  if (out.empty()) return;
  for (const std::string& line : vibronic_lines(out)) c.out(line);
  replace_file(p.run + "/vibronic.dat", vibronic_table(out));
  say(" diatom: vibrationally resolved cross sections and beta in " + p.run + "/vibronic.dat");
  replace_file(p.run + "/vibronic.gp", vibronic_plot(out, io::trim_right(p.mol.TIT)));
  draw(p.run, p.run, "vibronic.gp", "vibronic.png");
}

// VIB = 1: the curves of the molecule and of each ion, their levels,
// constants and Franck–Condon factors, in the listing and vibration.dat.
void vibration_results(Collection& c) {
  const Plan& p = c.p;
  const Molecule& m = p.molecule;
  std::vector<StateCurve> states(1 + m.ionised.size());
  states[0].label = "molecule";
  for (size_t k = 0; k < m.ionised.size(); ++k) states[k + 1].label = ionic_state_label(m, m.ionised[k]);
  for (size_t d = 0; d < p.distances.size(); ++d) {
    const int di = static_cast<int>(d);
    const std::optional<double> e0 = total_energy(c, c.step(di, "tovrel"));
    for (size_t k = 0; k < states.size(); ++k) {
      const Step s = k == 0 ? c.step(di, "tovrel")
                            : Step{ion_folder(p.distances[d], m.shells[static_cast<size_t>(m.ionised[k - 1])].name),
                                   "tovrel", di, -1, static_cast<int>(k - 1)};
      const std::optional<double> e = k == 0 ? e0 : total_energy(c, s);
      if (!e) {
        ++states[k].missing;
        continue;
      }
      if (k > 0 && e0) {
        const double koopmans = -read_ground_state(p.path(p.distances[d])).orbital[m.ionised[k - 1]];
        if (const std::optional<std::string> why = another_ionic_state(*e - *e0, koopmans)) {
          states[k].left_out.push_back("RZ = " + f("%g", m.RZ[d]) + " left out: " + *why);
          continue;
        }
      }
      states[k].curve.R.push_back(m.RZ[d]);
      states[k].curve.E.push_back(*e);
    }
  }
  const VibrationReport r = vibration_report(states, m.mass1, m.mass2);
  c.out("");
  for (const std::string& line : r.lines) c.out(line);
  replace_file(p.run + "/vibration.dat", r.table);
  say(" diatom: vibrational levels and Franck-Condon factors in " + p.run + "/vibration.dat");
  if (p.ion() && r.resolved()) vibronic_results(c, r, states);
}

void draw(const std::string& folder, const std::string& shown, const std::string& script, const std::string& png) {
  const std::string gp = find_gnuplot();
  if (gp.empty()) {
    say(" diatom: no gnuplot; the plot script is " + shown + "/" + script);
    return;
  }
  const std::string console =
      script == "plot.gp" ? "gnuplot.out" : script.substr(0, script.rfind('.')) + "-gnuplot.out";
  fs::remove(folder + "/" + console);
  fs::remove(folder + "/" + png);
  Job j;
  j.label = "gnuplot";
  j.folder = folder;
  j.argv = {gp, script};
  j.console = console;
  std::vector<Job> pj{j};
  run_jobs(pj, 1);
  say(pj[0].status == 0 ? " diatom: plot in " + shown + "/" + png
                        : " diatom: gnuplot failed; see " + shown + "/" + j.console);
}

// The continua's top (eV) as the channels hold it: the lowest of their last
// nodes' photon energies.  Each lies at or above the top asked for, unless
// xsect's memory made diatom's own top give way.
double held_top(const std::vector<Channel>& ch, const GroundState& g) {
  double held = 1e300;
  for (const Channel& x : ch) {
    const double k1 = x.P0 + (x.NC - 1) * x.DP;
    held = std::min(held, (-g.orbital[x.shell] + k1 * k1 / 2) * kHartreeEV);
  }
  return held;
}

// The self-check's photoionisation, once its xsect has finished: the
// check's cross sections (also in check/diatom.dat, on its own nodes) and
// the estimated errors of `cs` from them; none, with a line in the
// listing, without a photoionisation check or before it has finished.
std::optional<CrossSections> photo_check_results(Collection& c, CrossSections& cs) {
  const Plan& p = c.p;
  if (!p.photo_check()) return std::nullopt;
  c.out("");
  if (!c.done({kCheckFolder, "xsect", 0, -1})) {
    c.out(" Estimated errors of the cross sections: the check's xsect has not finished");
    return std::nullopt;
  }
  const std::string folder = p.path(kCheckFolder);
  const GroundState check_ground = read_ground_state(folder);
  std::vector<Channel> ch;
  try {
    ch = p.channels_at(0, nullptr, true);
  } catch (const io::StopRun& e) {
    c.out(" Estimated errors of the cross sections: " + e.message());
    return std::nullopt;
  }
  const MOL& k = p.check_mol;
  const XsectListing x = read_xsect_listing(read_text_file(folder + "/" + kXsectListing), folder + "/" + kXsectListing);
  const CrossSections check = combine_channels(p.molecule, ch, x);
  replace_file(folder + "/diatom.dat", shell_table(check));
  add_sigma_errors(cs, check);
  const std::string step = k.NK > 0 ? "NK = " + std::to_string(k.NK) : "DK = " + f("%g", k.DK);
  c.out(" Check of the photoionisation (its cross sections in check/diatom.dat): the check grid's ground state and " +
        std::to_string(p.check_accuracy.n) + " partial waves, " + step + ", " + std::to_string(k.NL) +
        " solutions per energy, " + std::to_string(k.ND) + " bound functions per channel" +
        (p.rpa ? ", the continua to " + f("%g", std::min(continuum_top(k), held_top(ch, check_ground))) + " eV"
               : std::string()));
  c.out(" Estimated error of each value: " + f("%.4g", kChangeFactor) +
        " times its change in the check (the bound functions converge more slowly than the step), plus half the"
        " last digit xsect lists and diatom.dat prints");
  return check;
}

// The ionic states of holes that leave several terms: each term's share of
// its hole at high energy, its threshold and its channels.
void report_ionic_states(Collection& c, const Molecule& m, const std::vector<Channel>& ch, const GroundState& g) {
  if (!has_ionic_terms(ch)) return;
  c.out("   ionic states: the hole beside the open shell, which keeps the neutral's term as parent (frozen orbitals);");
  c.out("   the photoelectron coupled to each term in its own static-exchange field; the share is the term's part of");
  c.out("   the hole's cross section far above threshold; every term of a hole at Koopmans' threshold, the hole's");
  c.out("   orbital energy (the terms' splitting is not in the thresholds):");
  c.out("     state            share  threshold eV  channels");
  for (size_t k = 0; k < ch.size();) {
    size_t e = k;
    std::string tags;
    double share = 0.0;
    while (e < ch.size() && ch[e].state == ch[k].state && ch[e].shell == ch[k].shell) {
      tags += " " + ch[e].tag;
      ++e;
    }
    const Shell& s = m.shells[static_cast<size_t>(ch[k].shell)];
    if (!ch[k].term_text.empty()) {
      for (const IonicState& st : ionic_states(m, "ION"))
        if (st.shell == ch[k].shell && st.term == ch[k].term) share = st.weight;
    } else {
      share = static_cast<double>(s.electrons()) / s.full();
    }
    const std::string name = ch[k].term_text.empty() ? s.name : s.name + "^-1 " + ch[k].term_text;
    char b[96];
    std::snprintf(b, sizeof b, "     %-16s %5.3f  %12.3f ", name.c_str(), share,
                  -g.orbital[static_cast<size_t>(ch[k].shell)] * kHartreeEV);
    c.out(b + tags);
    k = e;
  }
  if (std::any_of(ch.begin(), ch.end(), [](const Channel& x) { return x.name_projection; })) {
    c.out("   a sigma hole meets a term in two arrangements, the ion's projections +L and -L, mirror images of each");
    c.out("   other: the term's beta takes the first's waves and the mirror image of the second's m > 0 channel");
  }
}

// The closed-channel resonances in the range of results, from the bound
// functions chanfile lists for each channel.
void report_resonances(Collection& c, const std::vector<Channel>& ch, const std::string& folder) {
  const Plan& p = c.p;
  std::vector<std::vector<BoundFunction>> bound;
  for (const Channel& x : ch) {
    const std::string listing = folder + "/" + x.tag + "/" + x.tag + ".lst";
    bound.push_back(fs::exists(listing) ? listed_bound_functions(read_text_file(listing)) : std::vector<BoundFunction>{});
  }
  const std::vector<Resonance> r = closed_channel_resonances(p.molecule, ch, bound, p.mol.EMIN, p.mol.EMAX);
  if (r.empty()) return;
  c.out("   closed-channel resonances in the range of results, at the bound functions' photon energies (the RPA "
        "couples each to the open channels; their profiles may be narrower than the step, and the nodes near them "
        "sample them; CHECK = 1 tells where the step does not resolve them):");
  for (const Resonance& x : r) {
    c.out("     " + f("%8.3f", x.ev) + " eV  " + x.channel + ", bound function " + std::to_string(x.d) +
          "; between the nodes at " + f("%.3f", x.below) + " and " + f("%.3f", x.above) + " eV");
  }
}

// The photoionisation of distance d: the channels in the listing and, once
// xsect has finished, the cross sections in the distance's folder
// (diatom.dat, channels.dat, the plot).  Returns the table of diatom.dat,
// or "" when there is none.
std::string photo_results(Collection& c, int d) {
  const Plan& p = c.p;
  const MOL& mol = p.mol;
  const std::string folder = p.path(p.distances[d]);
  const GroundState g = read_ground_state(folder);
  XsectSizes sz;
  std::vector<Channel> ch;
  try {
    ch = p.channels_at(d, &sz);
  } catch (const io::StopRun& e) {
    c.out("");
    c.out(" Photoionisation: " + e.message());
    return "";
  }
  c.out("");
  c.out(" Photoionisation: " + std::string(mol.IPOT == 0 ? "bare nuclei" : "static exchange") +
        (p.rpa ? ", RPA coupling all channels" : ", Hartree-Fock") + ", " + std::to_string(mol.NL) +
        " solutions per energy, " + std::to_string(mol.ND) + " bound functions per channel");
  c.out("   chan  channel                   weight    NC        P0        DP   photon eV from .. to");
  for (const Channel& x : ch) {
    const double I = -g.orbital[x.shell];
    const double k1 = x.P0 + (x.NC - 1) * x.DP;
    char b[200];
    std::snprintf(b, sizeof b, "   %-5s %-24s %6.2f %5d %9.6f %9.6f   %8.3f .. %8.3f", x.tag.c_str(),
                  x.label(p.molecule).c_str(), x.weight, x.NC, x.P0, x.DP, (I + x.P0 * x.P0 / 2) * kHartreeEV,
                  (I + k1 * k1 / 2) * kHartreeEV);
    c.out(b);
  }
  if (mol.RPA == 1 && !p.rpa) c.out("   RPA = 1 left out: one electron has no electron-electron coupling");
  const double held = held_top(ch, g);
  if (top_chosen(mol) && !ch.empty() && held < mol.ETOP) {
    const std::string note = "the continua end at " + f("%.1f", held) + " eV, not at diatom's top of " +
                             f("%g", mol.ETOP) + " eV: xsect's memory (" + std::to_string(run_words_allowed()) +
                             " words, half this machine's) does not hold it, and the RPA's energy integrals stop at "
                             "the results' end, which moves its cross sections near EMAX (N2: up to 7%)";
    c.out("   " + note);
    say(" diatom: note: " + note);
  } else if (continuum_top(mol) > mol.EMAX) {
    c.out("   the continua run to ETOP = " + f("%g", mol.ETOP) + " eV" +
          (top_chosen(mol) ? " (diatom's choice, EMAX + " + f("%g", kTopMargin) +
                                 " eV, within what the grid carries; each channel's top above)"
                           : "") +
          ", the top of the RPA's energy integrals; the results end at EMAX = " + f("%g", mol.EMAX) + " eV");
  }
  if (p.rpa && mol.ND > 0) report_resonances(c, ch, folder);
  c.out("   xsect: NEM = " + std::to_string(sz.NEM) + ", NUR = " + std::to_string(sz.NUR) + ", " +
        std::to_string(sz.words) + " words");
  c.out(
      "   weights: a sigma shell counts sigma(M = 0) + 2 sigma(M = 1); a pi shell 2 [sigma(0) + sigma(1) + sigma(2)];");
  c.out("   a one-electron target half of these (the listed values count two electrons and one sign of M)");
  if (p.molecule.open >= 0 && !p.molecule.one_electron()) {
    const Shell& o = p.molecule.shells[static_cast<size_t>(p.molecule.open)];
    if (std::find(p.molecule.ionised.begin(), p.molecule.ionised.end(), p.molecule.open) !=
            p.molecule.ionised.end() &&
        !hole_has_terms(p.molecule, p.molecule.open)) {
      c.out("   the open shell '" + o.name + "' holds 1 of " + std::to_string(o.full()) + " electrons: 1/" +
            std::to_string(o.full()) + " of the full shell's weights; the field is that of the closed-shell ion");
    }
    report_ionic_states(c, p.molecule, ch, g);
  }
  if (!c.done(c.step(d, "xsect"))) {
    c.out("   cross sections: xsect has not finished");
    return "";
  }
  const XsectListing x = read_xsect_listing(read_text_file(folder + "/" + kXsectListing), folder + "/" + kXsectListing);
  CrossSections cs = combine_channels(p.molecule, ch, x);
  const std::optional<CrossSections> checked = photo_check_results(c, cs);
  std::string title = io::trim_right(mol.TIT);
  if (title.empty()) title = "photoionisation";
  if (p.scan()) title += ", RZ = " + f("%g", p.molecule.RZ[d]) + " bohr";
  const std::string ref = p.ref.empty() ? "" : (p.scan() ? "../" : "") + p.ref;
  const bool ref_beta = !p.ref.empty() && reference_has_beta(p.path(p.ref));
  const AngularResults ang = angular_results(p.molecule, mol, p.accuracy.n, ch, cs, folder, title, ref_beta ? ref : "",
                                             checked ? p.path(kCheckFolder) : "");
  const std::string table = shell_table(cs);
  replace_file(folder + "/diatom.dat", table);
  replace_file(folder + "/channels.dat", channel_table(p.molecule, ch, cs));
  const std::string here = p.distances[d].empty() ? "" : p.distances[d] + "/";
  c.out("");
  const bool terms = has_ionic_terms(ch);
  c.out(" Cross sections (Mb), also in " + here + "diatom.dat (per " + (terms ? "ionic state" : "shell") + ") and " +
        here + "channels.dat (per channel)" +
        (cs.errors() ? ", each with its estimated error (+-) from the check:" : ":"));
  c.out(table.substr(0, table.size() - 1));
  if (!ang.listing.empty()) c.out("\n" + ang.listing);
  if (checked) {
    // One threshold per ionic state (a hole's terms share Koopmans' threshold).
    std::vector<double> thresholds;
    for (size_t k = 0; k < ch.size(); ++k) {
      if (k == 0 || ch[k].state != ch[k - 1].state || ch[k].shell != ch[k - 1].shell)
        thresholds.push_back(-g.orbital[static_cast<size_t>(ch[k].shell)] * kHartreeEV);
    }
    c.out("");
    for (const std::string& line : target_report(cs, *checked, thresholds, {mol.STOL, mol.BTOL})) {
      c.out(" " + line);
      say(" " + line);
    }
  }
  say(" diatom: cross sections in " + folder + "/diatom.dat, per channel in channels.dat");

  const CrossSectionPlot plot{"channels.dat", "diatom.png", ref, title, ang.panel, ang.after};
  replace_file(folder + "/plot.gp", plot_script(p.molecule, ch, cs, plot));
  draw(folder, folder);
  return table;
}

// The tables of every distance in one file, the input of a vibrational
// average: each row of a distance's diatom.dat with RZ in front, one block
// per distance.
std::string distance_blocks(const Plan& p, const std::vector<std::string>& tables) {
  std::ostringstream o;
  o << "# cross sections at each distance: RZ (bohr), then the columns of rNN/diatom.dat;\n"
    << "# one block per distance, two blank lines apart\n";
  bool first = true;
  for (size_t d = 0; d < tables.size(); ++d) {
    if (tables[d].empty()) {
      o << (first ? "" : "\n\n") << "# RZ = " << f("%.4f", p.molecule.RZ[d]) << " bohr (" << p.distances[d]
        << "): not finished\n";
      first = false;
      continue;
    }
    o << (first ? "" : "\n\n") << "# RZ = " << f("%.4f", p.molecule.RZ[d]) << " bohr (" << p.distances[d] << ")\n";
    first = false;
    std::istringstream in(tables[d]);
    std::string last_comment;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line[0] == '#') {
        last_comment = line;
        continue;
      }
      if (!last_comment.empty()) {
        // The column head, with RZ in front.
        o << "#       RZ" << last_comment.substr(1) << "\n";
        last_comment.clear();
      }
      o << f("%9.4f", p.molecule.RZ[d]) << line << "\n";
    }
  }
  return o.str();
}

}  // namespace

namespace {

// What to change after a program's own stop.  A ground state from no
// orbitals whose energy search failed (no energy found, a runaway trial,
// no bound state of a rank) or whose orbitals solve no state's equations
// depends on the order of the shells across symmetries: the start places
// them in that order (NO X²Π is reached from one order and stops from
// three others).  diatom's own order (ORDER = 1) is one order; with
// ORDER = 0 the user chooses it.
std::string what_to_change(const Plan& p, const Step& s, const StepState& st) {
  std::string change = "a rerun stops the same way: change the control file as the message says";
  const bool search = st.why.find("NO ENERGY FOUND") != std::string::npos ||
                      st.why.find("1000 hartree or more") != std::string::npos ||
                      st.why.find("NO BOUND STATE") != std::string::npos ||
                      st.why.find("not a self-consistent solution") != std::string::npos;
  bool symmetries = false;
  for (const Shell& x : p.molecule.shells) symmetries = symmetries || !x.same_symmetry(p.molecule.shells[0]);
  if (s.program == "tovrel" && search && symmetries) {
    change += p.mol.ORDER == 0
                  ? " or try another order of SHELLS across symmetries (the start places the shells in the order "
                    "given; docs/diatom.md, 'The start')"
                  : " or give ORDER = 0 and an order of SHELLS across symmetries (the start places the shells in the"
                    " separated atoms' order; docs/diatom.md, 'The start')";
  }
  return change + ", and run it in a new run folder";
}

// The runs that started the ground state at one distance, one line each.
void report_starts(Collection& c) {
  const Plan& p = c.p;
  if (p.neighbour) {
    c.out(" Start: the orbitals of the closed-shell neighbour in near/ (Z1 = " + f("%g", p.neighbour->Z1) +
          ", Z2 = " + f("%g", p.neighbour->Z2) + ", the open shell filled), on the grid of the run after it");
  }
  if (p.ions) {
    c.out(" Start: the orbitals of the separated ions, " + ion_label(*p.ions, 0) + " in " + kIonFolders[0] +
          "/ and " + ion_label(*p.ions, 1) + " in " + kIonFolders[1] + "/, each alone on the grid of the run after them");
  }
  if (p.cold) {
    c.out(" Start: the orbitals of the coarsest grid in cold/ (" + p.cold_accuracy.why + "), carried to " +
          (p.warm ? "the coarse grid in warm/" : "the rule's grid"));
  }
  if (p.warm) {
    c.out(" Start: the orbitals of the coarse grid in warm/ (" + p.warm_accuracy.why + "), carried to the rule's grid");
  }
}

}  // namespace

std::vector<Unfinished> unfinished_steps(const Plan& p, const std::string& program) {
  std::vector<Unfinished> out;
  for (const auto& stage : p.stage) {
    for (const JobSteps& job : stage) {
      for (const Step& s : job) {
        StepState st = inspect_step(p, s);
        if (st.kind == StepState::finished) continue;
        // A step of two jobs (the coarse-grid start) is named once.
        if (std::any_of(out.begin(), out.end(), [&](const Unfinished& u) { return u.step == s.name(); })) continue;
        std::string blocked;  // a step it waits for, which needs a changed control file
        if (st.kind == StepState::not_run) {
          std::string waits;
          for (const Step& in : p.inputs(s)) {
            const StepState before = inspect_step(p, in);
            if (before.kind == StepState::finished) continue;
            waits += (waits.empty() ? "" : ", ") + in.name();
            if (!before.rerun) blocked = in.name();
          }
          if (!waits.empty()) st.why += ", waits for " + waits;
        }
        if (st.rerun && blocked.empty()) {
          out.push_back({s.name(), st.why, job_line(p, job, program), ""});
        } else if (!blocked.empty()) {
          out.push_back({s.name(), st.why, "", "runs once " + blocked + " has finished (see above)"});
        } else {
          out.push_back({s.name(), st.why, "", what_to_change(p, s, st)});
        }
      }
    }
  }
  return out;
}

std::vector<Unfinished> collect_results(const Plan& p, const std::string& program) {
  Collection c{p, ""};
  c.out(" diatom: " + io::trim_right(p.mol.TIT));
  c.out(" Z1 = " + f("%g", p.molecule.Z1) + ", Z2 = " + f("%g", p.molecule.Z2) + ", " +
        std::to_string(p.molecule.electrons) + " electron(s), " +
        (p.molecule.equal_nuclei ? "equal nuclei (g/u symmetry)" : "unequal nuclei"));
  for (const std::string& note : input_notes(p)) c.out(" Note: " + note);
  if (!p.scan()) {
    c.out(" RZ = " + f("%g", p.molecule.RZ[0]) + " bohr; accuracy rule: " + p.accuracy.why);
    report_starts(c);
    if (c.done(c.step(0, "tovrel"))) {
      const GroundState g = read_ground_state(p.run);
      report_ground(c, g);
      report_empty(c, g);
      if (p.check && c.done({"check", "tovrel", 0, -1})) {
        // The energies with their estimated errors also in diatom.dat, unless
        // that file holds cross sections.
        std::string table;
        self_check(c, g, read_ground_state(p.path("check")), p.ion() ? nullptr : &table);
        if (!table.empty()) replace_file(p.run + "/diatom.dat", table);
      } else if (!p.check) {
        c.out(" Estimated errors: run with CHECK = 1 (a second, finer grid gives each energy an error estimate).");
      }
      if (p.ion()) photo_results(c, 0);
    }
  } else {
    c.out(" Potential curve over " + std::to_string(p.molecule.RZ.size()) +
          " distances, one grid for all: " + p.accuracy.why);
    const std::string curve = curve_table(c);
    replace_file(p.run + (p.ion() ? "/curve.dat" : "/diatom.dat"), curve);
    say(" diatom: potential curve in " + p.run + (p.ion() ? "/curve.dat" : "/diatom.dat"));
    if (p.molecule.vib) vibration_results(c);
    if (p.ion()) {
      std::vector<std::string> tables(p.distances.size());
      for (size_t d = 0; d < p.distances.size(); ++d) {
        c.out("");
        c.out(" RZ = " + f("%g", p.molecule.RZ[d]) + " bohr (" + p.distances[d] + "):");
        if (c.done(c.step(static_cast<int>(d), "tovrel"))) tables[d] = photo_results(c, static_cast<int>(d));
      }
      replace_file(p.run + "/diatom.dat", distance_blocks(p, tables));
      say(" diatom: cross sections at every distance in " + p.run + "/diatom.dat");
    }
  }
  const std::vector<Unfinished> left = unfinished_steps(p, program);
  if (!left.empty()) {
    const bool rerun = std::any_of(left.begin(), left.end(), [](const Unfinished& u) { return !u.redo.empty(); });
    const bool change = std::any_of(left.begin(), left.end(), [](const Unfinished& u) { return u.redo.empty(); });
    const std::string under = std::string(rerun ? "runs its job" : "") + (rerun && change ? ", or " : "") +
                              (change ? "says what to change" : "");
    c.out("");
    c.out(" Not finished (" + std::to_string(left.size()) + " steps; the line under each " + under + "):");
    say(" diatom: not finished (the line under each step " + under + "):");
    for (const Unfinished& u : left) {
      for (const std::string& line :
           {"   " + u.step + ": " + u.why, "       " + (u.redo.empty() ? u.change : u.redo)}) {
        c.out(line);
        say(line);
      }
    }
    if (rerun) {
      const std::string all = "   all of them here: " + shell_quote(program) + " " +
                              shell_quote(absolute_path(p.path(p.control))) + " " + shell_quote(absolute_path(p.run));
      c.out(all);
      say(all);
    }
  }
  replace_file(p.run + "/diatom.lst", c.lst);
  say(" diatom: listing in " + p.run + "/diatom.lst");
  return left;
}

}  // namespace diatom

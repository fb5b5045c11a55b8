#include "diatom/chain.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "diatom/angular.hpp"
#include "diatom/channels.hpp"
#include "diatom/ground.hpp"
#include "diatom/jobs.hpp"
#include "diatom/listings.hpp"
#include "diatom/molecule.hpp"
#include "diatom/report.hpp"
#include "io/console.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

struct Context {
  Options opt;
  MOL mol;
  Molecule m;
  std::string bin;  // folder of the suite's programs
  int parallel = 1;
  io::Units units;
  io::Unit* lst = nullptr;
  std::string ref;  // reference points copied into the run folder
};

std::string f(const char* fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

void say(const std::string& text) {
  io::console().line(text);
  io::console().flush();
}

void out(Context& c, const std::string& text) {
  c.lst->write_record(text);
  c.lst->flush();
}

void write_file(const std::string& path, const std::string& text) {
  io::Units u;
  io::Unit& w = u.open_new(12, path);
  std::string t = text;
  if (!t.empty() && t.back() == '\n') t.pop_back();
  w.write_record(t);
}

// Stops the run, naming the step, its status and where its console output is.
void require(const Job& j) {
  if (j.status == 0) return;
  io::stop("diatom: " + j.label + " failed (exit status " + std::to_string(j.status) + "); its output is in " +
           j.folder + "/" + j.console);
}

Job program(const Context& c, const std::string& label, const std::string& folder, const std::string& name,
            std::vector<std::string> args = {}) {
  Job j;
  j.label = label;
  j.folder = folder;
  j.argv.push_back(c.bin + "/" + name);
  for (auto& a : args) j.argv.push_back(a);
  j.console = name + ".out";
  return j;
}

std::vector<std::string> titles(const Context& c, double RZ, const Accuracy& a) {
  std::string t1 = io::trim_right(c.mol.TIT);
  if (t1.empty()) t1 = "diatom: Z1 = " + f("%g", c.m.Z1) + ", Z2 = " + f("%g", c.m.Z2) + ", RZ = " + f("%g", RZ);
  std::string shells = "closed shells";
  for (const Shell& s : c.m.shells) shells += " " + s.name;
  return {t1, shells, std::to_string(a.n) + " partial waves per shell, NB = " + std::to_string(a.NB)};
}

// One ground-state folder with its control files: the job that runs tovrel there.
// `restart`, when not empty, is the result file whose orbitals start it.
Job ground_job(Context& c, const std::string& folder, double RZ, const Accuracy& a, const std::string& label,
               const std::string& restart = "") {
  fs::create_directories(folder);
  scf::D00 d = make_d00(c.m, RZ, a, "mol.lst", "mol.res");
  write_tovrel_controls(folder, d, titles(c, RZ, a), restart);
  return program(c, label, folder, "tovrel");
}

GroundState read_ground(const std::string& folder) {
  GroundState g;
  g.orbital = result_energies(folder + "/mol.res");
  g.totals = energy_block(slurp(folder + "/mol.lst"));
  if (g.totals.empty()) g.totals = energy_block(slurp(folder + "/tovrel.out"));
  // The result file holds nine digits; the energy block, when tovrel prints
  // one, its full values.
  const std::vector<double> full = block_orbital_energies(g.totals, g.orbital.size());
  g.precise = !full.empty();
  if (g.precise) g.orbital = full;
  return g;
}

void report_ground(Context& c, const GroundState& g, const Accuracy& a) {
  out(c, "");
  out(c, " Orbital energies (partial waves: " + std::to_string(a.n) + " per shell; " +
             (g.precise ? "from tovrel's energy block)" : "nine digits, from the result file)"));
  out(c, "   shell  symmetry    M  L0      energy (hartree)     (eV)");
  say(" orbital energies (hartree):");
  for (size_t i = 0; i < c.m.shells.size(); ++i) {
    const Shell& s = c.m.shells[i];
    char b[160];
    std::snprintf(b, sizeof b, "   %-6s %-10s %2d %3d  %20.9f %10.4f", s.name.c_str(), s.symmetry().c_str(), s.M, s.L0,
                  g.orbital[i], g.orbital[i] * kHartreeEV);
    out(c, b);
    say(b);
  }
  static const char* order[] = {"TOTAL ENERGY", "NUCLEAR REPULSION", "ELECTRONIC ENERGY", "KINETIC ENERGY",
                                "VIRIAL RATIO"};
  out(c, "");
  if (g.totals.empty()) {
    const std::string line =
        " total, electronic and kinetic energy, virial ratio: not available (tovrel printed no energy block)";
    out(c, line);
    say(line);
    return;
  }
  for (const char* k : order) {
    auto it = g.totals.find(k);
    const std::string line =
        std::string(" ") + k + ": " + (it == g.totals.end() ? std::string("not available") : f("%.9f", it->second));
    out(c, line);
    say(line);
  }
}

Accuracy scan_accuracy(const Context& c) {
  // One grid in ξ for all distances: the finest inner region and the
  // farthest end of any of them.
  const auto [lo, hi] = std::minmax_element(c.m.RZ.begin(), c.m.RZ.end());
  Accuracy a = choose_accuracy(c.m, *lo, c.mol.TOL, c.mol.NPW, c.mol.NB);
  const Accuracy b = choose_accuracy(c.m, *hi, c.mol.TOL, c.mol.NPW, c.mol.NB);
  a.RP1 = std::min(a.RP1, b.RP1);
  a.NB = std::max(a.NB, b.NB);
  return a;
}

void self_check(Context& c, const GroundState& g, const GroundState& r, const Accuracy& ra) {
  out(c, "");
  out(c, " Check of the accuracy rule (" + ra.why + "):");
  out(c, "   shell      energy (rule)        energy (check)      change");
  say(" check of the accuracy rule (" + ra.why + "):");
  double worst = 0;
  for (size_t i = 0; i < g.orbital.size(); ++i) {
    const double d = r.orbital[i] - g.orbital[i];
    worst = std::max(worst, std::fabs(d));
    char b[160];
    std::snprintf(b, sizeof b, "   %-6s %18.9f %20.9f %12.2e", c.m.shells[i].name.c_str(), g.orbital[i], r.orbital[i],
                  d);
    out(c, b);
    say(b);
  }
  const std::string verdict = " largest change " + f("%.2e", worst) + " hartree: " +
                              (worst <= c.mol.TOL ? "within TOL = " + f("%.1e", c.mol.TOL)
                                                  : "ABOVE TOL = " + f("%.1e", c.mol.TOL) + "; give NPW and NB larger");
  out(c, verdict);
  say(verdict);
}

void scan(Context& c) {
  const Accuracy a = scan_accuracy(c);
  out(c, " Potential curve over " + std::to_string(c.m.RZ.size()) + " distances, one grid for all: " + a.why);
  // One at a time, each distance starts from the orbitals of the one before
  // (the same grid in ξ); run side by side or by a batch system, each starts afresh.
  const bool chain = c.parallel == 1 && c.opt.commands.empty();
  if (chain) out(c, " Each distance starts from the orbitals of the one before it.");
  std::vector<Job> jobs;
  for (size_t i = 0; i < c.m.RZ.size(); ++i) {
    char tag[16], prev[32];
    std::snprintf(tag, sizeof tag, "r%02d", static_cast<int>(i) + 1);
    std::snprintf(prev, sizeof prev, "../r%02d/mol.res", static_cast<int>(i));
    jobs.push_back(ground_job(c, c.opt.run + "/" + tag, c.m.RZ[i], a, "tovrel RZ = " + f("%g", c.m.RZ[i]),
                              chain && i > 0 ? prev : ""));
  }
  if (!c.opt.commands.empty()) {
    std::string list;
    for (const Job& j : jobs) list += command_line(j) + "\n";
    write_file(c.opt.commands, list);
    out(c, " Commands written to " + c.opt.commands + " (one a line); nothing was run.");
    say(" diatom: " + std::to_string(jobs.size()) + " commands written to " + c.opt.commands +
        " (one a line, e.g. for: parallel < " + c.opt.commands + ")");
    return;
  }
  say(" diatom: ground state at " + std::to_string(jobs.size()) + " distances, " + std::to_string(c.parallel) +
      " at a time");
  run_jobs(jobs, c.parallel);
  std::ostringstream table;
  table << "# RZ (bohr), total energy (hartree; '-' when tovrel printed none), orbital energies (hartree):";
  for (const Shell& s : c.m.shells) table << " " << s.name;
  table << "\n";
  bool totals = false;
  out(c, "");
  out(c, "      RZ        total energy    orbital energies");
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].status != 0) {
      out(c, " RZ = " + f("%g", c.m.RZ[i]) + ": tovrel failed, see " + jobs[i].folder + "/tovrel.out");
      continue;
    }
    const GroundState g = read_ground(jobs[i].folder);
    auto it = g.totals.find("TOTAL ENERGY");
    totals = totals || it != g.totals.end();
    std::string row =
        f("%9.4f", c.m.RZ[i]) + (it == g.totals.end() ? std::string("                 -") : f(" %17.9f", it->second));
    for (double e : g.orbital) row += f(" %15.9f", e);
    table << row << "\n";
    out(c, row);
  }
  if (!totals) out(c, " Total energy: not available (tovrel printed no energy block); the table has orbital energies.");
  write_file(c.opt.run + "/diatom.dat", table.str());
  say(" diatom: potential curve in " + c.opt.run + "/diatom.dat");
  for (const Job& j : jobs) require(j);
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

void photoionisation(Context& c, const GroundState& g, const Accuracy& a) {
  MOL mol = c.mol;
  if (mol.IPOT < 0) mol.IPOT = c.m.one_electron() ? 0 : 1;
  mol.NL = solutions_kept(mol, c.m, a.n);
  const bool rpa = mol.RPA == 1 && !c.m.one_electron();
  const std::vector<Channel> ch = plan_channels(c.m, mol, g.orbital, c.opt.control);
  const int NSH = static_cast<int>(c.m.shells.size());
  const XsectSize sz = size_xsect(ch, mol.NL, mol.ND, a.n, NSH, a.NB, rpa);
  const std::string grp = "file '" + c.opt.control + "', group &MOL: ";
  if (sz.words > kXsectWords) {
    io::stop(grp + "xsect would need " + std::to_string(sz.words) + " words of its " + std::to_string(kXsectWords) +
             " (NEM = " + std::to_string(sz.NEM) + ", NUR = " + std::to_string(sz.NUR) +
             "): use fewer momenta (larger DK or smaller NK), fewer solutions NL, fewer shells in ION or RPA = 0");
  }
  out(c, "");
  out(c, " Photoionisation: " + std::string(mol.IPOT == 0 ? "bare nuclei" : "static exchange") +
             (rpa ? ", RPA coupling all channels" : ", Hartree-Fock") + ", " + std::to_string(mol.NL) +
             " solutions per energy, " + std::to_string(mol.ND) + " bound functions per channel");
  out(c, "   chan  channel                   weight    NC        P0        DP   photon eV from .. to");
  for (const Channel& x : ch) {
    const double I = -g.orbital[x.shell];
    const double k1 = x.P0 + (x.NC - 1) * x.DP;
    char b[200];
    std::snprintf(b, sizeof b, "   %-5s %-24s %6.2f %5d %9.6f %9.6f   %8.3f .. %8.3f", x.tag.c_str(),
                  x.label(c.m).c_str(), x.weight, x.NC, x.P0, x.DP, (I + x.P0 * x.P0 / 2) * kHartreeEV,
                  (I + k1 * k1 / 2) * kHartreeEV);
    out(c, b);
  }
  if (mol.RPA == 1 && !rpa) out(c, "   RPA = 1 left out: one electron has no electron-electron coupling");
  out(c, "   xsect: NEM = " + std::to_string(sz.NEM) + ", NUR = " + std::to_string(sz.NUR) + ", " +
             std::to_string(sz.words) + " words of " + std::to_string(kXsectWords));
  out(c,
      "   weights: a sigma shell counts sigma(M = 0) + 2 sigma(M = 1); a pi shell 2 [sigma(0) + sigma(1) + sigma(2)];");
  out(c, "   a one-electron target half of these (the listed values count two electrons and one sign of M)");

  say(" diatom: ground-state file (gsfile)");
  std::vector<Job> gs{program(c, "gsfile", c.opt.run, "gsfile", {"mol.res", "mol.gs"})};
  run_jobs(gs, 1);
  require(gs[0]);

  say(" diatom: " + std::to_string(ch.size()) + " channel files (chanfile), " + std::to_string(c.parallel) +
      " at a time");
  std::vector<Job> jobs;
  for (const Channel& x : ch) {
    const std::string folder = c.opt.run + "/" + x.tag;
    fs::create_directory(folder);
    write_chn(folder, c.m, mol, x, "../mol.gs");
    jobs.push_back(program(c, "chanfile " + x.tag + " " + x.label(c.m), folder, "chanfile"));
  }
  run_jobs(jobs, c.parallel);
  for (const Job& j : jobs) require(j);

  say(" diatom: cross sections (xsect)");
  write_d40(c.opt.run, ch, sz, mol.ND, rpa, "mol.gs", "xsect.lst", "xsect.dat", c.m.mfpad);
  std::vector<Job> xs{program(c, "xsect", c.opt.run, "xsect")};
  run_jobs(xs, 1);
  require(xs[0]);

  const XsectListing x = read_xsect_listing(slurp(c.opt.run + "/xsect.lst"));
  CrossSections cs = combine(c.m, ch, x);
  std::string title = io::trim_right(mol.TIT);
  if (title.empty()) title = "photoionisation";
  const AngularResults ang = angular_results(c.m, mol, a.n, ch, cs, c.opt.run, title);
  const std::string table = shell_table(cs);
  write_file(c.opt.run + "/diatom.dat", table);
  write_file(c.opt.run + "/channels.dat", channel_table(c.m, ch, cs));
  out(c, "");
  out(c, " Cross sections (Mb), also in diatom.dat (per shell) and channels.dat (per channel):");
  out(c, table);
  if (!ang.listing.empty()) out(c, "\n" + ang.listing);
  say(" diatom: cross sections in " + c.opt.run + "/diatom.dat, per channel in channels.dat");

  write_file(c.opt.run + "/plot.gp",
             plot_script(c.m, ch, cs, "channels.dat", "diatom.png", c.ref, title, ang.panel, ang.after));
  const std::string gp = find_gnuplot();
  if (gp.empty()) {
    say(" diatom: no gnuplot; the plot script is " + c.opt.run + "/plot.gp");
    return;
  }
  Job p;
  p.label = "gnuplot";
  p.folder = c.opt.run;
  p.argv = {gp, "plot.gp"};
  p.console = "gnuplot.out";
  std::vector<Job> pj{p};
  run_jobs(pj, 1);
  say(pj[0].status == 0 ? " diatom: plot in " + c.opt.run + "/diatom.png"
                        : " diatom: gnuplot failed; see " + c.opt.run + "/gnuplot.out");
}

}  // namespace

void run_diatom(const Options& opt) {
  Context c;
  c.opt = opt;
  // The run folder by its plain name ("a/../b/" is "b"), made fresh below.
  c.opt.run = fs::path(opt.run).lexically_normal().string();
  while (c.opt.run.size() > 1 && c.opt.run.back() == '/') c.opt.run.pop_back();
  c.mol = read_mol(opt.control);
  c.m = describe(c.mol, opt.control);
  const std::string ref = io::trim_right(c.mol.REF);
  if (!ref.empty() && !fs::is_regular_file(ref)) {
    io::stop("file '" + opt.control + "', group &MOL, variable REF: no file '" + ref + "'");
  }
  if (!opt.commands.empty() && c.m.RZ.size() < 2) {
    io::stop("diatom: -l writes the distances of a scan as commands; '" + opt.control + "' gives one RZ");
  }
  if (!opt.commands.empty() && fs::exists(opt.commands))
    io::stop("diatom: the command list '" + opt.commands + "' exists");
  if (c.opt.run == "." || fs::exists(c.opt.run)) {
    io::stop("diatom: the run folder '" + opt.run + "' exists; diatom never writes into an existing folder");
  }
  c.bin = own_folder();
  for (const char* p : {"tovrel", "gsfile", "chanfile", "xsect"}) {
    if (::access((c.bin + "/" + p).c_str(), X_OK) != 0) io::stop("diatom: no program " + c.bin + "/" + p);
  }
  c.parallel = opt.parallel > 0 ? opt.parallel : cores();
  std::error_code ec;
  if (!fs::create_directory(c.opt.run, ec)) {
    io::stop("diatom: cannot make the run folder '" + opt.run + "'" + (ec ? ": " + ec.message() : ""));
  }
  const std::string& run = c.opt.run;
  // The control file and the reference points travel with the run.
  if (!fs::copy_file(opt.control, run + "/" + fs::path(opt.control).filename().string(), ec)) {
    io::stop("diatom: cannot copy '" + opt.control + "' into the run folder");
  }
  if (!ref.empty()) {
    if (!fs::copy_file(ref, run + "/reference.dat", ec))
      io::stop("diatom: cannot copy '" + ref + "' into the run folder");
    c.ref = "reference.dat";
  }
  c.lst = &c.units.open_new(10, run + "/diatom.lst");
  out(c, " diatom: " + io::trim_right(c.mol.TIT));
  out(c, " Z1 = " + f("%g", c.m.Z1) + ", Z2 = " + f("%g", c.m.Z2) + ", " + std::to_string(c.m.electrons) +
             " electron(s), " + (c.m.equal_nuclei ? "equal nuclei (g/u symmetry)" : "unequal nuclei"));

  if (c.m.RZ.size() > 1) {
    scan(c);
    return;
  }
  const double RZ = c.m.RZ[0];
  const Accuracy a = choose_accuracy(c.m, RZ, c.mol.TOL, c.mol.NPW, c.mol.NB, !c.m.ionised.empty());
  out(c, " RZ = " + f("%g", RZ) + " bohr; accuracy rule: " + a.why);
  say(" diatom: " + a.why);
  std::vector<Job> jobs{ground_job(c, c.opt.run, RZ, a, "tovrel (ground state)")};
  Accuracy ra;
  if (c.mol.CHECK == 1) {
    ra = refined(a, c.m);
    jobs.push_back(ground_job(c, c.opt.run + "/check", RZ, ra, "tovrel (check: " + ra.why + ")"));
  }
  say(" diatom: ground state (tovrel)" + std::string(c.mol.CHECK ? " and its check" : ""));
  run_jobs(jobs, c.parallel);
  require(jobs[0]);
  const GroundState g = read_ground(c.opt.run);
  report_ground(c, g, a);
  if (c.mol.CHECK == 1) {
    require(jobs[1]);
    self_check(c, g, read_ground(c.opt.run + "/check"), ra);
  }
  if (!c.m.ionised.empty()) photoionisation(c, g, a);
  say(" diatom: listing in " + c.opt.run + "/diatom.lst");
}

}  // namespace diatom

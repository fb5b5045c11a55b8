#include "diatom/plan.hpp"

#include <algorithm>
#include <sstream>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "diatom/angular_request.hpp"
#include "diatom/asymmetry.hpp"
#include "diatom/ionic_states.hpp"
#include "diatom/listings.hpp"
#include "diatom/open_shell.hpp"
#include "diatom/photon_range.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

// One grid in ξ for every distance of a scan: the finest inner region and
// the farthest end of any of them.
}  // namespace

double rpa_outer_end(const std::vector<Channel>& channels, int ND) {
  int lowest_wave = 0;
  for (const Channel& c : channels) {
    // The final symmetry's lowest partial wave: M, or M + 1 where the
    // parity asks for the other one (g: even, u: odd).
    const bool odd = c.parity == 'u';
    lowest_wave = std::max(lowest_wave, c.parity && (c.M % 2 == 1) != odd ? c.M + 1 : c.M);
  }
  const double nu = lowest_wave + std::max(ND, 1);
  return kBoundFunctionReach * nu * nu;
}

namespace {

Accuracy scan_accuracy(const Molecule& m, const MOL& mol, bool continuum, const std::string& file, double rb) {
  const auto [lo, hi] = std::minmax_element(m.RZ.begin(), m.RZ.end());
  Accuracy a = choose_accuracy(m, *lo, mol.TOL, mol.NPW, mol.NB, continuum, file, rb);
  const Accuracy b = choose_accuracy(m, *hi, mol.TOL, mol.NPW, mol.NB, continuum, file, rb);
  a.RP1 = std::min(a.RP1, b.RP1);
  a.NB = std::max(a.NB, b.NB);
  return a;
}

std::string folder_of(const std::string& dist, const std::string& sub) { return dist.empty() ? sub : dist + "/" + sub; }

// The steps of the plan, in their three stages.
void add_stages(Plan& p, bool ion) {
  // Stage 1: each distance's ground state, with its ground-state file for
  // the channels in the same job (it takes a second and reads only the
  // ground state); the self-check after the ground state it starts from.
  // The starts from coarser grids come first in both jobs that read them;
  // a step met twice runs once.
  const Step cold{kColdFolder, "tovrel", 0, -1}, warm{kWarmFolder, "tovrel", 0, -1}, near{"near", "tovrel", 0, -1};
  auto starts = [&](JobSteps& job) {
    if (p.warm) job.insert(job.begin(), warm);
    if (p.cold) job.insert(job.begin(), cold);
    if (p.neighbour) job.insert(job.begin(), near);
    if (p.ions) job.insert(job.begin(), {Step{kIonFolders[0], "tovrel", 0, -1}, Step{kIonFolders[1], "tovrel", 0, -1}});
  };
  for (size_t d = 0; d < p.distances.size(); ++d) {
    const int di = static_cast<int>(d);
    JobSteps job{{p.distances[d], "tovrel", di, -1}};
    starts(job);
    if (ion) job.push_back({p.distances[d], "gsfile", di, -1});
    for (size_t k = 0; k < p.molecule.ionised.size() && p.molecule.vib; ++k) {
      const Shell& hole = p.molecule.shells[static_cast<size_t>(p.molecule.ionised[k])];
      job.push_back({ion_folder(p.distances[d], hole.name), "tovrel", di, -1, static_cast<int>(k)});
    }
    p.stage[0].push_back(job);
  }
  if (p.check) {
    // The check starts from the rule's result, carried to its grid: from
    // there CO at TOL = 1e-8 (7008 points, 25 waves) took 3 sweeps and
    // 19.9 s, where from the coarse grid's orbitals it took 7 and 47.5 s,
    // to the same total within 2e-12 (and the neighbour's or the ions'
    // orbitals, of other charges, cannot be carried to another grid).
    JobSteps job{{"", "tovrel", 0, -1}, {kCheckFolder, "tovrel", 0, -1}};
    starts(job);
    if (ion) job.push_back({kCheckFolder, "gsfile", 0, -1});
    p.stage[0].push_back(job);
  }
  // Stage 2: the channel files; stage 3: the cross sections; the
  // self-check's after those of the rule.
  std::vector<std::string> folders = p.distances;
  if (p.check) folders.push_back(kCheckFolder);
  for (size_t f = 0; f < folders.size() && ion; ++f) {
    const int d = f < p.distances.size() ? static_cast<int>(f) : 0;
    for (size_t c = 0; c < p.channels.size(); ++c)
      p.stage[1].push_back({{folder_of(folders[f], p.channels[c].tag), "chanfile", d, static_cast<int>(c)}});
    p.stage[2].push_back({{folders[f], "xsect", d, -1}});
  }
}

// What xsect's workspace takes for channels `ch` with the settings `mol`
// on grid `a`.
XsectSizes xsect_sizes_of(const Plan& p, const std::vector<Channel>& ch, const MOL& mol, const Accuracy& a) {
  return xsect_sizes(ch, mol.NL, mol.ND, a.n, static_cast<int>(p.molecule.shells.size()), a.NB, p.rpa);
}
XsectSizes xsect_sizes_of(const Plan& p, const std::vector<Channel>& ch) {
  return xsect_sizes_of(p, ch, p.mol, p.accuracy);
}

// xsect's words within its memory, or a stop naming the momentum variable
// the user wrote; `bound` says when the sizes are a lower bound (before the
// ground state, from the fewest momenta the nuclei allow).
void check_xsect_words(const XsectSizes& sz, const MOL& mol, const std::string& file, const std::string& bound) {
  if (sz.words <= run_words_allowed()) return;
  const std::string var = mol.NK > 0 ? "NK" : "DK";
  io::stop("file '" + file + "', group &MOL, variable " + var + ": xsect would need " + bound +
           std::to_string(sz.words) + " words of the " + std::to_string(run_words_allowed()) +
           " this machine allows it (half its memory)" +
           " (NEM = " + std::to_string(sz.NEM) + ", NUR = " + std::to_string(sz.NUR) +
           "): use fewer momenta (larger DK or smaller NK), fewer solutions NL, fewer shells in ION or RPA = 0");
}

// Before the ground state: the photon range against what the channels
// hold at every distance (the longest bond has the coarsest outer step in
// bohr), and xsect's memory for the fewest momenta the nuclei allow.
void check_photoionisation_sizes(Plan& p, const std::string& file) {
  const Molecule& m = p.molecule;
  const double rz = *std::max_element(m.RZ.begin(), m.RZ.end());
  check_photon_range(p.mol, m.Z1, m.Z2, carried_momentum(p.accuracy, rz), file);
  int NC = p.mol.NK;
  const double I = deepest_threshold(m.Z1, m.Z2);
  if (NC == 0 && continuum_top(p.mol) / kHartreeEV > I) NC = momentum_grid(p.mol, {I, "any threshold"}, 1e300, file).NC;
  if (NC == 0) return;
  std::vector<Channel> ch = p.channels;
  for (Channel& c : ch) c.NC = NC;
  const XsectSizes sz = xsect_sizes_of(p, ch);
  // diatom's own top gives way to xsect's memory: the results' range alone.
  if (sz.words > run_words_allowed() && top_chosen(p.mol)) {
    p.mol.ETOP = 0;
    check_photoionisation_sizes(p, file);
    return;
  }
  check_xsect_words(sz, p.mol, file, "at least ");
}

// The photoionisation settings of the self-check (kCheckTopRise).
MOL check_settings(const Plan& p) {
  MOL c = p.mol;
  if (c.NK > 0)
    c.NK = 2 * c.NK - 1;
  else
    c.DK = c.DK / 2;
  c.NL = std::max(c.NL, std::min({c.NL + kCheckMoreSolutions, p.check_accuracy.n, 7}));
  if (p.rpa) {
    c.ND = check_bound_functions(c.ND);
    // Above the rule's top, and capped like diatom's own top: the check's
    // top gives way to what its grid carries and a channel file holds.
    if (c.NK == 0) {
      c.ETOP = continuum_top(p.mol) + kCheckTopRise;
      c.named.erase(std::remove(c.named.begin(), c.named.end(), "ETOP"), c.named.end());
    }
  }
  return c;
}

// Before the ground state: the self-check's photon range and xsect's
// memory for it, as for the rule, within the memory the machine allows;
// a refusal names CHECK.  Its top gives way to the memory first.
void check_check_sizes(Plan& p, const std::string& file) {
  const Molecule& m = p.molecule;
  const std::string what = "file '" + file + "', group &MOL, variable CHECK: ";
  const std::string refined = "the photoionisation's check (half the momentum step" +
                              std::string(p.rpa ? ", a higher top" : "") + ", the check grid)";
  const double rz = *std::max_element(m.RZ.begin(), m.RZ.end());
  try {
    check_photon_range(p.check_mol, m.Z1, m.Z2, carried_momentum(p.check_accuracy, rz), file);
  } catch (const io::StopRun& e) {
    io::stop(what + refined + " reaches past what the rule's settings allow: " + e.message() + "; or give CHECK = 0");
  }
  const double I = deepest_threshold(m.Z1, m.Z2);
  int NC = p.check_mol.NK;
  if (NC == 0 && continuum_top(p.check_mol) / kHartreeEV > I)
    NC = momentum_grid(p.check_mol, {I, "any threshold"}, 1e300, file).NC;
  if (NC == 0) return;
  std::vector<Channel> ch = p.channels;
  for (Channel& c : ch) c.NC = NC;
  const XsectSizes sz = xsect_sizes_of(p, ch, p.check_mol, p.check_accuracy);
  if (sz.words <= run_words_allowed()) return;
  if (p.check_mol.ETOP > continuum_top(p.mol)) {
    p.check_mol.ETOP = p.mol.ETOP;
    check_check_sizes(p, file);
    return;
  }
  io::stop(what + refined + " would need at least " + std::to_string(sz.words) + " words of xsect's workspace, " +
           std::to_string(run_words_allowed()) +
           " on this machine (half its memory): use fewer momenta (larger DK or smaller NK), fewer shells in ION, "
           "or CHECK = 0");
}

}  // namespace

Plan make_plan(const MOL& mol, const Molecule& m, const std::string& run, const std::string& file,
               const std::string& ref) {
  Plan p;
  p.run = run;
  p.control = fs::path(file).filename().string();
  p.ref = ref;
  p.mol = mol;
  if (p.mol.IPOT < 0) p.mol.IPOT = m.one_electron() ? 0 : 1;
  p.molecule = m;
  p.rpa = mol.RPA == 1 && !m.one_electron();
  const bool ion = m.photoionisation;
  // The RPA's bound functions and its continua near threshold reach past
  // the ground state: its outer end unless RB is given.
  double rb = mol.RB;
  const int rule_nd = mol.given("ND") ? mol.ND : kRpaBoundFunctions;
  if (ion && p.rpa && !mol.given("RB")) {
    rb = std::max(outer_end(mol.TOL), rpa_outer_end(dipole_channels(m, file), rule_nd));
  }
  // The rule's own end, not the user's: the listing says why.
  auto chosen_end = [&](Accuracy& a) {
    if (rb == mol.RB) return;
    std::ostringstream given, why;
    given << "; RB = " << rb << " given";
    why << "; the outer end " << rb << " bohr for the RPA's bound functions";
    const size_t at = a.why.find(given.str());
    if (at != std::string::npos) a.why.replace(at, given.str().size(), why.str());
  };
  if (m.RZ.size() == 1) {
    p.accuracy = choose_accuracy(m, m.RZ[0], mol.TOL, mol.NPW, mol.NB, ion, file, rb);
    chosen_end(p.accuracy);
    p.distances = {""};
    p.check = mol.CHECK == 1;
    // The check's grid reaches its own bound functions too.
    const double check_end =
        rb != mol.RB ? rpa_outer_end(dipole_channels(m, file), check_bound_functions(rule_nd)) : 0.0;
    if (p.check) p.check_accuracy = refined_accuracy(p.accuracy, m, check_end);
    if (mol.TOL < kStartTol) {
      // The starting grid of the same shells; its partial waves at most the
      // rule's, whose extra waves start at zero.
      p.warm_accuracy = choose_accuracy(m, m.RZ[0], kStartTol, 0, 0, false, file);
      p.warm_accuracy.n = std::min(p.warm_accuracy.n, p.accuracy.n);
      p.warm_pays = p.accuracy.NB >= kStartRatio * p.warm_accuracy.NB;
      p.warm = mol.START == 1 && p.warm_pays;
    }
    // The grid of kColdTol, its partial waves at most those of the run it starts.
    auto cold_grid = [&](const Accuracy& next) {
      p.cold_accuracy = choose_accuracy(m, m.RZ[0], kColdTol, 0, 0, false, file);
      p.cold_accuracy.n = std::min(p.cold_accuracy.n, next.n);
    };
    if (p.warm) {
      cold_grid(p.warm_accuracy);
      p.cold = p.warm_accuracy.NB >= kStartRatio * p.cold_accuracy.NB;
    }
    p.neighbour = closed_neighbour(m);
    if (mol.START == 1) p.ions = separated_ions(m);
    // The separated ions run on the grid of kColdTol below it: on the
    // rule's grids of 1e-5 and 1e-6 Cl⁻ alone found no fifth σ state in
    // the field without exchange (LiCl, NaCl), where on that grid it did.
    if (p.ions && !p.warm && mol.TOL < kColdTol) {
      cold_grid(p.accuracy);
      p.cold = true;
    }
  } else {
    p.accuracy = scan_accuracy(m, mol, ion, file, rb);
    chosen_end(p.accuracy);
    for (size_t i = 0; i < m.RZ.size(); ++i) {
      char tag[16];
      std::snprintf(tag, sizeof tag, "r%02d", static_cast<int>(i) + 1);
      p.distances.push_back(tag);
    }
  }
  p.mol.NL = solutions_kept(p.mol, m, p.accuracy.n);
  // The RPA's energy integrals run to the continuum's top: diatom's lies
  // kTopMargin above the results (a count of momenta NK spans the results).
  if (ion && p.rpa && !mol.given("ETOP") && mol.NK == 0) p.mol.ETOP = chosen_top(p.mol);
  if (ion && p.rpa && !mol.given("ND")) p.mol.ND = kRpaBoundFunctions;
  if (ion) {
    p.channels = dipole_channels(m, file);
    check_photoionisation_sizes(p, file);
    if (p.check) {
      p.check_mol = check_settings(p);
      check_check_sizes(p, file);
    }
  }
  add_stages(p, ion);
  return p;
}

std::vector<std::vector<Step>> Plan::waves(int k) const {
  // The level of a step: one more than the highest of its inputs in this
  // stage (the steps of a job come after the inputs they read, so each
  // input's level is known before the step's).
  std::vector<std::pair<Step, size_t>> level;
  auto level_of = [&](const std::string& name) -> const size_t* {
    for (const auto& [s, l] : level)
      if (s.name() == name) return &l;
    return nullptr;
  };
  size_t top = 0;
  for (const JobSteps& job : stage[k]) {
    for (const Step& s : job) {
      if (level_of(s.name())) continue;
      size_t l = 0;
      for (const Step& in : inputs(s))
        if (const size_t* li = level_of(in.name())) l = std::max(l, *li + 1);
      level.emplace_back(s, l);
      top = std::max(top, l + 1);
    }
  }
  std::vector<std::vector<Step>> w(top);
  for (const auto& [s, l] : level) w[l].push_back(s);
  return w;
}

std::string Plan::ground_folder(const Step& s) const { return in_check(s) ? kCheckFolder : distances[s.distance]; }

std::vector<Step> Plan::inputs(const Step& s) const {
  const std::string dist = ground_folder(s);
  if (s.program == "gsfile" || s.ion >= 0) return {{dist, "tovrel", s.distance, -1}};
  if (s.program == "tovrel" && s.folder != "near" && s.folder != kIonFolders[0] && s.folder != kIonFolders[1]) {
    if (cold && s.folder == (warm ? kWarmFolder : "")) return {{kColdFolder, "tovrel", 0, -1}};
    if (s.folder == kCheckFolder) return {{"", "tovrel", 0, -1}};
    if (warm && s.folder != kWarmFolder && s.folder != kColdFolder) return {{kWarmFolder, "tovrel", 0, -1}};
    if (neighbour) return {{"near", "tovrel", 0, -1}};
    if (ions) return {{kIonFolders[0], "tovrel", 0, -1}, {kIonFolders[1], "tovrel", 0, -1}};
  }
  std::vector<Step> in;
  if (s.program == "chanfile" || s.program == "xsect") in.push_back({dist, "gsfile", s.distance, -1});
  if (s.program == "xsect") {
    for (size_t c = 0; c < channels.size(); ++c)
      in.push_back({folder_of(dist, channels[c].tag), "chanfile", s.distance, static_cast<int>(c)});
  }
  return in;
}

const Step* Plan::find_step(const std::string& name) const {
  for (const auto& st : stage) {
    for (const JobSteps& job : st) {
      for (const Step& s : job) {
        if (s.name() == name) return &s;
      }
    }
  }
  return nullptr;
}

namespace {

// VIB = 1: the photon range of each ionised shell at distance d that holds
// at every distance the photoelectron energies of the vibronic sums,
// ε = EMIN − I_max … EMAX − I_min, I the shell's Koopmans threshold over the
// distances whose ground state has finished: the fixed range EMIN … EMAX
// gave H2 between 0.5 and 6.1 bohr (thresholds from 27 to 9 eV) no energy
// that every distance reached.
std::vector<std::pair<double, double>> vibronic_photon_ranges(const Plan& p, const std::vector<double>& here) {
  std::vector<std::pair<double, double>> ranges;
  const Molecule& m = p.molecule;
  std::vector<std::vector<double>> all;
  for (const std::string& dist : p.distances) {
    if (std::filesystem::exists(p.path(dist) + "/" + kGroundResult))
      all.push_back(read_ground_state(p.path(dist)).orbital);
  }
  for (int i : m.ionised) {
    double lo = 1e300, hi = -1e300;
    for (const std::vector<double>& e : all)
      lo = std::min(lo, -e[static_cast<size_t>(i)]), hi = std::max(hi, -e[static_cast<size_t>(i)]);
    const double I = -here[static_cast<size_t>(i)] * kHartreeEV;
    const double eps_lo = std::max(1e-3, p.mol.EMIN - hi * kHartreeEV), eps_hi = p.mol.EMAX - lo * kHartreeEV;
    ranges.push_back({I + eps_lo, I + std::max(eps_hi, eps_lo + 1e-3)});
  }
  return ranges;
}

}  // namespace

std::vector<Channel> Plan::channels_at(int d, XsectSizes* size, bool checking) const {
  const MOL& use = checking ? check_mol : mol;
  const Accuracy& grid = checking ? check_accuracy : accuracy;
  const GroundState g = read_ground_state(path(checking ? kCheckFolder : distances[d]));
  const std::string file = path(control);
  const std::vector<std::pair<double, double>> ranges =
      molecule.vib && scan() ? vibronic_photon_ranges(*this, g.orbital) : std::vector<std::pair<double, double>>();
  const double k_carried = carried_momentum(grid, molecule.RZ[static_cast<size_t>(d)]);
  std::vector<Channel> ch = plan_channels(molecule, use, g.orbital, file, k_carried, ranges);
  const long limit = run_words_allowed();
  XsectSizes sz = xsect_sizes_of(*this, ch, use, grid);
  if (sz.words > limit && top_chosen(use)) {
    // diatom's own top gives way to xsect's memory: the rule's top for the
    // check, the results' range alone for the rule.
    MOL within = use;
    within.ETOP = checking ? mol.ETOP : 0;
    ch = plan_channels(molecule, within, g.orbital, file, k_carried, ranges);
    sz = xsect_sizes_of(*this, ch, use, grid);
  }
  if (checking && sz.words > limit) {
    io::stop("file '" + file + "', group &MOL, variable CHECK: the photoionisation's check needs " +
             std::to_string(sz.words) + " words of xsect's workspace, " + std::to_string(limit) +
             " on this machine: use fewer momenta (larger DK or smaller NK), fewer shells in ION, or CHECK = 0");
  }
  if (!checking) check_xsect_words(sz, use, file, "");
  if (size) *size = sz;
  return ch;
}

std::vector<std::string> input_notes(const Plan& p) {
  std::vector<std::string> notes = p.molecule.notes;
  const MOL& mol = p.mol;
  // START also makes the start from the separated ions at one distance.
  const bool ions_start = !p.scan() && separated_ions(p.molecule);
  if (mol.given("START") && !p.warm_pays && !ions_start) {
    notes.push_back("START = " + std::to_string(mol.START) + " has no effect: " +
                    (p.scan()               ? std::string("every distance of a curve starts from no orbitals")
                     : mol.TOL >= kStartTol ? "a start from a coarse grid is made only below TOL = 1e-6"
                                            : "the grid of TOL has fewer than 1.5 times the points of the grid of "
                                              "TOL = 1e-6, where a start from that grid pays"));
  }
  if (p.ion() && mol.ND > 0 && !p.rpa) {
    notes.push_back("ND = " + std::to_string(mol.ND) +
                    ": the bound functions enter the RPA only; without it they change no cross section of "
                    "diatom.dat (xsect.lst lists their oscillator strengths)");
  }
  if (!p.ref.empty() && mol.BETA != 1 && reference_has_beta(p.path(p.ref))) {
    notes.push_back("the third column of REF (measured beta) is drawn only with BETA = 1");
  }
  return notes;
}

void write_run_record(const Plan& p) {
  const std::string path = p.run + "/" + kRunRecord;
  {
    io::Units u;
    io::Unit& w = u.open_new(12, path + ".tmp");
    w.write_record("diatom run folder");
    w.write_record("control " + p.control);
    if (!p.ref.empty()) w.write_record("reference " + p.ref);
    u.close(12);
  }
  std::error_code ec;
  fs::rename(path + ".tmp", path, ec);
  if (ec) io::stop("diatom: cannot write '" + path + "': " + ec.message());
}

Plan load_plan(const std::string& run) {
  const std::string record = run + "/" + kRunRecord;
  std::ifstream in(record);
  std::string head;
  if (!in || !std::getline(in, head) || head != "diatom run folder") {
    io::stop("diatom: '" + run + "' is not a diatom run folder (it has no " + kRunRecord + ")");
  }
  std::string control, ref;
  for (std::string line; std::getline(in, line);) {
    const size_t sp = line.find(' ');
    if (sp == std::string::npos) continue;
    const std::string key = line.substr(0, sp), value = line.substr(sp + 1);
    if (key == "control") control = value;
    if (key == "reference") ref = value;
  }
  if (control.empty() || !fs::is_regular_file(run + "/" + control)) {
    io::stop("diatom: the run folder '" + run + "' has lost its control file" +
             (control.empty() ? std::string() : " '" + control + "'"));
  }
  const std::string file = run + "/" + control;
  const MOL mol = read_mol(file);
  return make_plan(mol, describe_molecule(mol, file), run, file, ref);
}

}  // namespace diatom

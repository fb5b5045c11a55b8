#include "diatom/vibration_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "diatom/channels.hpp"
#include "diatom/ionic_states.hpp"

namespace diatom {

namespace {

std::string num_text(const char* fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

// The most levels sought per state, and the Franck–Condon factors listed
// per row of diatom.lst (vibration.dat has them all).
constexpr int kMaxLevels = 16;
constexpr size_t kListedFactors = 8;

// A state whose curve has a minimum: its constants and levels.
struct Analysed {
  const StateCurve* state;
  SpectroscopicConstants constants;
  VibrationalStates levels;
};

// A row of diatom.lst beginning with the state's label.
std::string row_of(const std::string& label) {
  std::string row = "   " + label;
  row.resize(std::max<size_t>(row.size() + 1, 28), ' ');
  return row;
}

// The curves in vibration.dat: one row per distance of any state.
std::string curve_block(const std::vector<StateCurve>& states) {
  std::vector<double> R;
  for (const StateCurve& s : states) R.insert(R.end(), s.curve.R.begin(), s.curve.R.end());
  std::sort(R.begin(), R.end());
  R.erase(std::unique(R.begin(), R.end()), R.end());
  std::ostringstream o;
  o << "# potential curves: RZ (bohr), total energy (hartree; '-' where the ground state has not finished):";
  for (const StateCurve& s : states) o << " | " << s.label;
  o << "\n";
  for (double r : R) {
    o << num_text("%9.4f", r);
    for (const StateCurve& s : states) {
      const auto it = std::find(s.curve.R.begin(), s.curve.R.end(), r);
      o << (it == s.curve.R.end() ? std::string("                 -")
                                  : num_text(" %17.9f", s.curve.E[static_cast<size_t>(it - s.curve.R.begin())]));
    }
    o << "\n";
  }
  return o.str();
}

// The constants of every state, its energy above the first (the molecule),
// and why its levels stop.
void constants_table(const std::vector<Analysed>& done, std::vector<std::string>& out) {
  out.push_back("");
  out.push_back(
      "   state                    re (bohr)   Ee (hartree)     Te (eV)  we (cm-1) wexe (cm-1)  Be (cm-1)  levels");
  const double E0 = done[0].constants.Ee;
  for (const Analysed& a : done) {
    const SpectroscopicConstants& k = a.constants;
    std::string row = row_of(a.state->label) + num_text("%9.4f", k.re) + num_text(" %14.7f", k.Ee) +
                      num_text(" %11.4f", (k.Ee - E0) * kHartreeEV);
    row += std::isfinite(k.we) ? num_text(" %10.2f", k.we * kWavenumbersPerHartree) : std::string("          -");
    row += std::isfinite(k.wexe) ? num_text(" %11.3f", k.wexe * kWavenumbersPerHartree) : std::string("           -");
    row += num_text(" %10.4f", k.Be * kWavenumbersPerHartree) + "  " + std::to_string(a.levels.E.size());
    out.push_back(row);
    if (!a.levels.limit.empty()) out.push_back("      levels: " + a.levels.limit);
  }
}

// The levels G(v) above each curve's minimum, for vibration.dat.
std::string levels_block(const std::vector<Analysed>& done) {
  std::ostringstream o;
  o << "# vibrational levels G(v) (cm-1 above the curve's minimum): v";
  for (const Analysed& a : done) o << " | " << a.state->label;
  o << "\n";
  size_t most = 0;
  for (const Analysed& a : done) most = std::max(most, a.levels.E.size());
  for (size_t v = 0; v < most; ++v) {
    o << num_text("%3.0f", static_cast<double>(v));
    for (const Analysed& a : done) {
      o << (v < a.levels.E.size() ? num_text(" %12.3f", (a.levels.E[v] - a.constants.Ee) * kWavenumbersPerHartree)
                                  : std::string("            -"));
    }
    o << "\n";
  }
  return o.str();
}

// The ionisation energies of each ionic state and the Franck–Condon factors
// from the molecule's v = 0 (done[0]); the factors' block of vibration.dat.
std::string ionisation_tables(const std::vector<Analysed>& done, std::vector<std::string>& out) {
  const Analysed& x = done[0];
  out.push_back("");
  out.push_back("   Ionisation energies (eV): adiabatic (between the minima), vertical (at the molecule's re),");
  out.push_back("   and from v = 0 to v' = 0 (with the zero-point energies)");
  std::vector<std::vector<double>> factors;
  for (size_t i = 1; i < done.size(); ++i) {
    const Analysed& a = done[i];
    const CurveSpline ion(a.state->curve);
    std::string row = row_of(a.state->label) + num_text("%10.4f", (a.constants.Ee - x.constants.Ee) * kHartreeEV);
    const bool inside = x.constants.re >= ion.front() && x.constants.re <= ion.back();
    row += inside ? num_text(" %10.4f", (ion.value(x.constants.re) - x.constants.Ee) * kHartreeEV)
                  : std::string("          -");
    row += a.levels.E.empty() ? std::string("          -")
                              : num_text(" %10.4f", (a.levels.E[0] - x.levels.E[0]) * kHartreeEV);
    out.push_back(row);
    factors.push_back(franck_condon(x.levels, 0, a.levels));
  }
  out.push_back("");
  out.push_back(
      "   Franck-Condon factors from v = 0 of the molecule to v' = 0, 1, ... (sum: the share the levels found");
  out.push_back("   hold)");
  std::ostringstream o;
  o << "# Franck-Condon factors |<v = 0 of the molecule | v'>|^2: v'";
  size_t nv = 0;
  for (size_t i = 1; i < done.size(); ++i) {
    const std::vector<double>& q = factors[i - 1];
    o << " | " << done[i].state->label;
    nv = std::max(nv, q.size());
    std::string row = row_of(done[i].state->label);
    double sum = 0;
    for (size_t v = 0; v < q.size(); ++v) {
      if (v < kListedFactors) row += num_text(" %7.4f", q[v]);
      sum += q[v];
    }
    out.push_back(row + "  sum " + num_text("%.4f", sum));
  }
  o << "\n";
  for (size_t v = 0; v < nv; ++v) {
    o << num_text("%3.0f", static_cast<double>(v));
    for (const auto& q : factors) o << (v < q.size() ? num_text(" %12.8f", q[v]) : std::string("            -"));
    o << "\n";
  }
  return o.str();
}

}  // namespace

VibrationReport vibration_report(const std::vector<StateCurve>& states, double m1, double m2) {
  VibrationReport r;
  const double mu = m1 * m2 / (m1 + m2);
  auto out = [&](const std::string& s) { r.lines.push_back(s); };
  out(" Vibration: atomic masses " + num_text("%.6f", m1 / kElectronMassesPerDalton) + " u and " +
      num_text("%.6f", m2 / kElectronMassesPerDalton) + " u, reduced mass " + num_text("%.2f", mu) +
      " electron masses");
  r.table = curve_block(states);
  std::vector<PotentialCurve> usable;
  std::vector<const StateCurve*> of;
  for (const StateCurve& s : states) {
    for (const std::string& why : s.left_out) out("   " + s.label + ": " + why);
    if (static_cast<int>(s.curve.R.size()) < kVibrationLeastDistances) {
      out("   " + s.label + ": " + std::to_string(s.curve.R.size()) + " distances finished, fewer than the " +
          std::to_string(kVibrationLeastDistances) + " the curve needs; no levels");
      continue;
    }
    usable.push_back(s.curve);
    of.push_back(&s);
  }
  if (usable.empty()) return r;
  const VibrationGrid g = vibration_grid(usable, mu);
  out("   Each curve is a cubic spline through its distances; the levels are those of the nuclear motion on " +
      std::to_string(g.n) + " points between walls at " + num_text("%.4f", g.R0) + " and " + num_text("%.4f", g.R1) +
      " bohr, kept while they are held by the distances (decayed at both ends)");
  std::vector<Analysed> done;
  for (size_t i = 0; i < usable.size(); ++i) {
    VibrationalStates levels = vibrational_states(usable[i], mu, g, kMaxLevels);
    SpectroscopicConstants constants = spectroscopic_constants(usable[i], mu, levels);
    const Analysed a{of[i], std::move(constants), std::move(levels)};
    if (!a.constants.minimum) {
      out("   " + of[i]->label + ": " + a.constants.note + "; give distances about its equilibrium");
      continue;
    }
    done.push_back(a);
  }
  if (done.empty()) return r;
  constants_table(done, r.lines);
  r.table += "\n\n" + levels_block(done);
  r.grid = g;
  for (const Analysed& a : done)
    r.analysed.push_back({static_cast<size_t>(a.state - &states[0]), a.constants, a.levels, {}});
  if (r.resolved()) {
    r.table += "\n\n" + ionisation_tables(done, r.lines);
    for (size_t i = 1; i < done.size(); ++i) r.analysed[i].fc = franck_condon(done[0].levels, 0, done[i].levels);
  }
  return r;
}

}  // namespace diatom

#include "diatom/vibronic_report.hpp"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "diatom/channels.hpp"

namespace diatom {

namespace {

std::string vib_text(const char* fmt, double v) {
  if (!std::isfinite(v)) return std::string(static_cast<size_t>(std::snprintf(nullptr, 0, fmt, 0.0)) - 1, ' ') + "-";
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

// The rows of diatom.lst: about every 2 eV of the photon range.
constexpr double kListedStepEV = 2.0;
// The levels whose ratios and β the listing shows.
constexpr size_t kListedLevels = 4;

}  // namespace

std::vector<std::string> vibronic_lines(const std::vector<VibronicState>& states) {
  std::vector<std::string> out;
  out.push_back("");
  out.push_back(" Vibrationally resolved photoionisation (adiabatic nuclei; vibronic.dat has every energy and level):");
  out.push_back("   the waves of every distance summed between v = 0 of the molecule and each v' of the ion, at the");
  out.push_back(
      "   photoelectron energy above the vibronic threshold (Koopmans' vertical threshold at re, spread by the");
  out.push_back("   ion's levels about their Franck-Condon mean); closure: the sum of sigma over the levels counted");
  out.push_back(
      "   against sigma averaged over v = 0, their share of the Franck-Condon factors where the waves change");
  out.push_back("   slowly with the photoelectron's energy");
  for (const VibronicState& s : states) {
    const VibronicResult& r = s.result;
    const size_t nv = r.threshold.size();
    out.push_back("");
    double held = 0;
    for (size_t v = 0; v < nv && v < s.fc.size(); ++v) held += s.fc[v];
    out.push_back("   " + s.label + ", " + s.method + ": vibronic thresholds (eV) of v' = 0 ... " +
                  std::to_string(nv - 1) + " (each level with a Franck-Condon factor of 1e-3 or more; together " +
                  vib_text("%.4f", held) + " of v = 0):");
    std::string t = "    ";
    for (double x : r.threshold) t += vib_text(" %8.3f", x * kHartreeEV);
    out.push_back(t);
    for (const std::string& n : r.notes) out.push_back("   Note: " + n);
    const size_t shown = std::min(nv, kListedLevels);
    std::string head = "     photon (eV)";
    for (size_t v = 1; v < shown; ++v) head += "  L " + std::to_string(v) + "/0  FC " + std::to_string(v) + "/0";
    for (size_t v = 0; v < shown; ++v) head += "  betaL " + std::to_string(v);
    head += "  closure L";
    out.push_back(head);
    double next = -1e300;
    for (const VibronicRow& row : r.rows) {
      const double ev = row.omega * kHartreeEV;
      if (ev < next - 1e-9 || !std::isfinite(row.sigmaL[0])) continue;
      next = ev + kListedStepEV;
      std::string line = vib_text("     %10.3f", ev);
      for (size_t v = 1; v < shown; ++v)
        line += vib_text(" %8.4f", row.sigmaL[v] / row.sigmaL[0]) + vib_text(" %8.4f", s.fc[v] / s.fc[0]);
      for (size_t v = 0; v < shown; ++v) line += vib_text(" %8.4f", row.betaL[v]);
      double sum = 0;
      for (double x : row.sigmaL) sum += std::isfinite(x) ? x : 0;
      line += vib_text(" %10.5f", sum / row.averageL);
      out.push_back(line);
    }
  }
  return out;
}

std::string vibronic_table(const std::vector<VibronicState>& states) {
  std::ostringstream o;
  bool first = true;
  for (const VibronicState& s : states) {
    const VibronicResult& r = s.result;
    if (!first) o << "\n\n";
    first = false;
    o << "# " << s.label << ", " << s.method << ": photon energy (eV), then for v' = 0 ... " << r.threshold.size() - 1
      << " sigmaL sigmaV (Mb) betaL betaV, then sigmaL sigmaV averaged over v = 0 ('-': below the threshold)\n";
    o << "# vibronic thresholds (eV):";
    for (double x : r.threshold) o << vib_text(" %.4f", x * kHartreeEV);
    o << "\n# Franck-Condon factors:";
    for (double x : s.fc) o << vib_text(" %.6f", x);
    o << "\n";
    for (const VibronicRow& row : r.rows) {
      o << vib_text("%10.4f", row.omega * kHartreeEV);
      for (size_t v = 0; v < row.sigmaL.size(); ++v)
        o << vib_text(" %11.5f", row.sigmaL[v]) << vib_text(" %11.5f", row.sigmaV[v])
          << vib_text(" %9.5f", row.betaL[v]) << vib_text(" %9.5f", row.betaV[v]);
      o << vib_text(" %11.5f", row.averageL) << vib_text(" %11.5f", row.averageV) << "\n";
    }
  }
  return o.str();
}

std::string vibronic_plot(const std::vector<VibronicState>& states, const std::string& title) {
  std::ostringstream o;
  const size_t n = states.size();
  o << "set terminal pngcairo size 1200," << 380 * n << " font ',10'\n";
  o << "set output 'vibronic.png'\n";
  o << "set datafile missing '-'\n";
  o << "set key top right\n";
  o << "set xlabel 'photon energy (eV)'\n";
  std::string t;
  for (char ch : title) t += ch == '\'' ? std::string("''") : std::string(1, ch);
  o << "set multiplot layout " << n << ",2 title '" << t << "'\n";
  for (size_t i = 0; i < n; ++i) {
    const VibronicState& s = states[i];
    const size_t nv = std::min(s.result.threshold.size(), kListedLevels);
    o << "set title \"" << s.label << ", " << s.method
      << ": branching ratios sigma(v')/sigma(0); Franck-Condon thin\"\n";
    o << "set ylabel 'ratio'\n";
    if (nv < 2) {
      o << "plot 0 notitle\n";
    } else {
      o << "plot ";
      for (size_t v = 1; v < nv; ++v) {
        const std::string c = std::to_string(2 + 4 * v);
        const std::string cv = std::to_string(3 + 4 * v);
        o << (v > 1 ? ", " : "") << "'vibronic.dat' index " << i << " using 1:($" << c << "/$2) with lines lw 2 lc "
          << v << " title \"v'=" << v << " L\", 'vibronic.dat' index " << i << " using 1:($" << cv
          << "/$3) with lines lw 2 dt 2 lc " << v << " title \"V\", " << vib_text("%.6g", s.fc[v] / s.fc[0])
          << " with lines lw 1 lc " << v << " notitle";
      }
      o << "\n";
    }
    o << "set title \"" << s.label << ", " << s.method << ": beta(v') (length solid, velocity dashed)\"\n";
    o << "set ylabel 'beta'\n";
    o << "plot ";
    for (size_t v = 0; v < nv; ++v) {
      o << (v > 0 ? ", " : "") << "'vibronic.dat' index " << i << " using 1:" << 4 + 4 * v << " with lines lw 2 lc "
        << v + 1 << " title \"v'=" << v << "\", 'vibronic.dat' index " << i << " using 1:" << 5 + 4 * v
        << " with lines lw 2 dt 2 lc " << v + 1 << " notitle";
    }
    o << "\n";
  }
  o << "unset multiplot\n";
  return o.str();
}

}  // namespace diatom

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
  out.push_back(
      "   ion's levels about their Franck-Condon mean); closure: sum over v' of sigma against sigma averaged");
  out.push_back("   over v = 0 (1 within the interpolation where every level with a share is counted)");
  for (const VibronicState& s : states) {
    const VibronicResult& r = s.result;
    const size_t nv = r.threshold.size();
    out.push_back("");
    out.push_back("   " + s.label + ", " + s.method + ": vibronic thresholds (eV) of v' = 0 ... " +
                  std::to_string(nv - 1) + ":");
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

}  // namespace diatom

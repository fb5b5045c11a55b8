#include "diatom/cross_sections.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace diatom {

namespace {

// A table entry (Mb); '-' where it is not available.
std::string table_cell(double v) {
  char b[32];
  if (std::isnan(v)) return "           -";
  std::snprintf(b, sizeof b, " %11.5f", v);
  return b;
}

// An estimated error: two significant digits, '-' where not available.
std::string error_cell(double v) {
  char b[32];
  if (std::isnan(v)) return "           -";
  std::snprintf(b, sizeof b, " %11.2e", v);
  return b;
}

// The error of entry r of a column of errors, NaN where there is none.
double error_of(const std::vector<double>& e, size_t r) { return r < e.size() ? e[r] : kNotAvailable; }

}  // namespace

CrossSections combine_channels(const Molecule& m, const std::vector<Channel>& ch, const XsectListing& x) {
  CrossSections cs;
  cs.rpa = !x.rpa.empty();
  // Photon energies: every node of every channel.  The momentum grids were
  // laid over EMIN … EMAX; their end nodes may lie a little beyond, and are
  // kept so that the whole range can be interpolated.  Above that, up to the
  // continuum's top (ETOP), the nodes served the RPA's integrals only: the
  // rows end at the first node of each channel at or above its range's end.
  double last = -std::numeric_limits<double>::infinity();
  for (size_t c = 0; c < x.hf.size(); ++c) {
    const double end = c < ch.size() ? ch[c].results_end : std::numeric_limits<double>::infinity();
    double first_beyond = std::numeric_limits<double>::infinity(), top = last;
    for (double w : x.hf[c].omega) {
      const double e = w * kHartreeEV;
      top = std::max(top, e);
      if (e >= end - 1e-6) first_beyond = std::min(first_beyond, e);
    }
    last = std::max(last, std::min(top, first_beyond));
  }
  for (const Curve& c : x.hf) {
    for (double w : c.omega) {
      if (w * kHartreeEV <= last + 1e-6) cs.ev.push_back(w * kHartreeEV);
    }
  }
  std::sort(cs.ev.begin(), cs.ev.end());
  cs.ev.erase(std::unique(cs.ev.begin(), cs.ev.end(), [](double a, double b) { return std::fabs(a - b) < 1e-6; }),
              cs.ev.end());
  const size_t nrow = cs.ev.size(), nch = ch.size();
  // The ionic states: one per ionised shell, or one per term of a hole
  // that leaves several, in the order of their first channel.
  std::vector<std::pair<int, int>> shells;  // (shell, state)
  for (const Channel& c : ch) {
    if (std::find(shells.begin(), shells.end(), std::pair{c.shell, c.state}) != shells.end()) continue;
    shells.emplace_back(c.shell, c.state);
    cs.shell_names.push_back(m.shells[static_cast<size_t>(c.shell)].name +
                             (c.term_text.empty() ? "" : "_" + c.term_text));
  }
  for (int k = 0; k < 4; ++k) {
    cs.channel[k].assign(nch, std::vector<double>(nrow, kNotAvailable));
    cs.shell[k].assign(shells.size(), std::vector<double>(nrow, 0.0));
    cs.total[k].assign(nrow, 0.0);
  }
  for (size_t c = 0; c < nch && c < x.hf.size(); ++c) {
    for (size_t r = 0; r < nrow; ++r) {
      const double w = cs.ev[r] / kHartreeEV;
      if (c < x.threshold.size() && w < -x.threshold[c]) {  // below the shell's threshold: no ionisation
        for (int k = 0; k < 4; ++k) cs.channel[k][c][r] = 0.0;
        continue;
      }
      if (auto v = x.hf[c].at(w))
        cs.channel[0][c][r] = ch[c].weight * v->first, cs.channel[1][c][r] = ch[c].weight * v->second;
      if (cs.rpa && c < x.rpa.size()) {
        if (auto v = x.rpa[c].at(w))
          cs.channel[2][c][r] = ch[c].weight * v->first, cs.channel[3][c][r] = ch[c].weight * v->second;
      }
    }
  }
  for (int k = 0; k < 4; ++k) {
    for (size_t c = 0; c < nch; ++c) {
      const size_t s = std::find(shells.begin(), shells.end(), std::pair{ch[c].shell, ch[c].state}) - shells.begin();
      for (size_t r = 0; r < nrow; ++r) cs.shell[k][s][r] += cs.channel[k][c][r];  // NaN spreads: not reached
    }
    for (size_t s = 0; s < shells.size(); ++s) {
      for (size_t r = 0; r < nrow; ++r) cs.total[k][r] += cs.shell[k][s][r];
    }
  }
  return cs;
}

std::string shell_table(const CrossSections& cs) {
  const int kinds = cs.rpa ? 4 : 2;
  std::ostringstream o;
  const bool beta = !cs.shell_beta[0].empty();
  const bool errors = cs.errors();
  o << "# photon energy (eV), then cross sections (Mb): per ionised shell and in total,\n"
    << "# Hartree-Fock (HF) and RPA, length (L) and velocity (V) form; '-': not reached\n";
  if (beta) o << "# each shell's cross sections followed by its asymmetry parameters beta (b)\n";
  if (errors)
    o << "# each value followed by its estimated error (+-), from the check's rerun with every setting refined\n";
  o << "#      eV";
  auto head = [&](const std::string& name) {
    char b[32];
    std::snprintf(b, sizeof b, " %11s", name.c_str());
    o << b;
    if (errors) o << "          +-";
  };
  for (const std::string& s : cs.shell_names) {
    for (int k = 0; k < (beta ? 2 * kinds : kinds); ++k) head(s + (k < kinds ? "_" : "_b") + kKindNames[k % kinds]);
  }
  for (int k = 0; k < kinds; ++k) head(std::string("tot_") + kKindNames[k]);
  o << "\n";
  for (size_t r = 0; r < cs.ev.size(); ++r) {
    char b[32];
    std::snprintf(b, sizeof b, "%9.3f", cs.ev[r]);
    o << b;
    auto cell = [&](double v, const std::vector<double>* e) {
      o << table_cell(v);
      if (errors) o << error_cell(e ? error_of(*e, r) : kNotAvailable);
    };
    for (size_t s = 0; s < cs.shell_names.size(); ++s) {
      for (int k = 0; k < kinds; ++k)
        cell(cs.shell[k][s][r], s < cs.shell_error[k].size() ? &cs.shell_error[k][s] : nullptr);
      for (int k = 0; beta && k < kinds; ++k)
        cell(cs.shell_beta[k][s][r], s < cs.shell_beta_error[k].size() ? &cs.shell_beta_error[k][s] : nullptr);
    }
    for (int k = 0; k < kinds; ++k) cell(cs.total[k][r], &cs.total_error[k]);
    o << "\n";
  }
  return o.str();
}

std::string channel_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs) {
  const int kinds = cs.rpa ? 4 : 2;
  std::ostringstream o;
  o << "# photon energy (eV), then each channel's share of its shell's cross section (Mb, weighted),\n"
    << "# then the total; columns:";
  int col = 2;
  for (const Channel& c : ch) {
    o << "\n#   " << col << "-" << col + kinds - 1 << ": " << c.label(m) << " (weight " << c.weight << ")";
    col += kinds;
  }
  o << "\n#   " << col << "-" << col + kinds - 1 << ": total\n";
  for (size_t r = 0; r < cs.ev.size(); ++r) {
    char b[32];
    std::snprintf(b, sizeof b, "%9.3f", cs.ev[r]);
    o << b;
    for (size_t c = 0; c < ch.size(); ++c) {
      for (int k = 0; k < kinds; ++k) o << table_cell(cs.channel[k][c][r]);
    }
    for (int k = 0; k < kinds; ++k) o << table_cell(cs.total[k][r]);
    o << "\n";
  }
  return o.str();
}

std::string gnuplot_text(const std::string& text) {
  if (text.find_first_of("`\\\"") == std::string::npos) return "\"" + text + "\"";
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

std::string plot_script(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                        const CrossSectionPlot& plot) {
  const std::string& data = plot.data;
  const std::string& panel = plot.panel;
  const int kinds = cs.rpa ? 4 : 2;
  std::ostringstream o;
  o << "# Cross sections of a diatom run; draw with: gnuplot "
    << "plot.gp\n"
    << "set terminal pngcairo size " << (panel.empty() ? "1000,700" : "1900,700") << " enhanced font ',11'\n"
    << "set output '" << plot.png << "'\n"
    << "set encoding utf8\nset datafile missing '-'\n";
  if (!panel.empty()) o << "set multiplot layout 1,2\n";
  o << "set title " << gnuplot_text(plot.title) << " noenhanced\n"
    << "set xlabel 'photon energy (eV)'\nset ylabel 'cross section (Mb)'\n"
    << "set key top right noenhanced\nset grid\n"
    << "plot ";
  // Length solid, velocity dashed in the same colour: both stay visible
  // where they agree.  With the RPA the channels and the total are drawn in
  // RPA, and the Hartree–Fock total beside them in grey.
  const int base = cs.rpa ? 2 : 0;
  const std::string form = cs.rpa ? "RPA" : "HF";
  if (cs.errors()) {
    // The total's estimated error (length form) as a band behind the curves:
    // its columns in the shell table follow every shell's values and errors.
    const int per_shell = 2 * kinds * (cs.shell_beta[0].empty() ? 1 : 2);
    const int v = 2 + per_shell * static_cast<int>(cs.shell_names.size()) + 2 * base, e = v + 1;
    o << "'" << plot.table << "' using 1:($" << v << "-$" << e << "):($" << v << "+$" << e
      << ") with filledcurves fc rgb 'gray80' fs solid 0.5 noborder title 'total (" << form
      << ", length): estimated error', \\\n     ";
  }
  int col = 2, colour = 1;
  auto curve = [&](int c0, const std::string& name, const std::string& kind, int shift, const std::string& lc, int lw) {
    o << "'" << data << "' using 1:" << c0 + shift << " with lines lc " << lc << " lw " << lw << " dt 1 title '" << name
      << " (" << kind << ", length)', \\\n     '" << data << "' using 1:" << c0 + shift + 1 << " with lines lc " << lc
      << " lw " << lw << " dt 2 title '" << name << " (" << kind << ", velocity)', \\\n     ";
  };
  const bool terms = has_ionic_terms(ch);
  if (terms) {
    // Holes with several ionic terms: one curve per ionic state, from the
    // shell table (the channels of a term's arrangements are many).
    const int stride = cs.errors() ? 2 : 1;
    const int per_state = kinds * (cs.shell_beta[0].empty() ? 1 : 2) * stride;
    auto table_curve = [&](int c0, const std::string& name, const std::string& lc, int lw) {
      o << "'" << plot.table << "' using 1:" << c0 << " with lines lc " << lc << " lw " << lw << " dt 1 title '" << name
        << " (" << form << ", length)', \\\n     '" << plot.table << "' using 1:" << c0 + stride << " with lines lc "
        << lc << " lw " << lw << " dt 2 title '" << name << " (" << form << ", velocity)', \\\n     ";
    };
    int state = 0;
    for (size_t c = 0; c < ch.size(); ++c) {
      if (c > 0 && ch[c].state == ch[c - 1].state && ch[c].shell == ch[c - 1].shell) continue;
      table_curve(2 + state * per_state + base * stride, ch[c].state_pretty(m), std::to_string(colour++), 2);
      ++state;
    }
    table_curve(2 + state * per_state + base * stride, "total", "8", 3);
  } else {
    for (const Channel& c : ch) {
      curve(col, c.pretty(m), form, base, std::to_string(colour++), 2);
      col += kinds;
    }
    // Beside the RPA, the Hartree–Fock total in grey.
    if (cs.rpa) curve(col, "total", "HF", 0, "rgb 'gray50'", 2);
    curve(col, "total", form, base, "8", 3);
  }
  if (!plot.ref.empty())
    o << "'" << plot.ref << "' using 1:2 with points pt 7 ps 1.3 lc rgb 'black' title 'reference', \\\n     ";
  std::string s = o.str();
  s.erase(s.find_last_of(','));  // the last separator
  s += "\n";
  if (!panel.empty()) s += panel + "unset multiplot\n";
  return s + plot.after;
}

}  // namespace diatom

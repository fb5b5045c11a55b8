#include "diatom/asymmetry.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace diatom {

// ------------------------------------------------------------------ xsect's table

std::map<std::string, BetaBlock> read_beta_table(const std::string& text) {
  std::map<std::string, BetaBlock> blocks;
  std::istringstream in(text);
  BetaBlock* b = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# HF ", 0) == 0 || line.rfind("# RPA ", 0) == 0) {
      std::string head = line.substr(2);
      head = head.substr(0, head.find(" ("));
      b = &blocks[head];
      continue;
    }
    if (line.empty() || line[0] == '#' || !b) continue;
    std::istringstream r(line);
    double v[6];
    int n = 0;
    for (std::string w; n < 6 && r >> w; ++n)
      v[n] = (w == "nan" || w == "-nan") ? kNotAvailable : std::strtod(w.c_str(), nullptr);
    if (n < 6) continue;
    b->omega.push_back(v[1]);
    b->sigmaL.push_back(v[2]);
    b->sigmaV.push_back(v[3]);
    b->betaL.push_back(v[4]);
    b->betaV.push_back(v[5]);
  }
  return blocks;
}

// The photon energies of diatom's rows come from the listing, whose
// photoelectron energies carry four digits: a row within 1e-4 (relative, at
// least 1e-4 hartree) of its nearest node is that node.
std::pair<double, double> beta_at(const BetaBlock& b, double w) {
  const size_t n = b.omega.size();
  size_t near = n;
  for (size_t i = 0; i < n; ++i) {
    if (near == n || std::fabs(b.omega[i] - w) < std::fabs(b.omega[near] - w)) near = i;
  }
  if (near < n && std::fabs(b.omega[near] - w) <= 1e-4 * std::max(1.0, std::fabs(w))) {
    return {b.betaL[near], b.betaV[near]};
  }
  for (size_t i = 0; i + 1 < n; ++i) {
    if (!((b.omega[i] - w) * (b.omega[i + 1] - w) < 0)) continue;
    const double t = (w - b.omega[i]) / (b.omega[i + 1] - b.omega[i]);
    auto mix = [t](double s0, double b0, double s1, double b1) {
      const double s = (1 - t) * s0 + t * s1;
      return s > 0 ? ((1 - t) * s0 * b0 + t * s1 * b1) / s : kNotAvailable;
    };
    return {mix(b.sigmaL[i], b.betaL[i], b.sigmaL[i + 1], b.betaL[i + 1]),
            mix(b.sigmaV[i], b.betaV[i], b.sigmaV[i + 1], b.betaV[i + 1])};
  }
  return {kNotAvailable, kNotAvailable};
}

// ------------------------------------------------------------------ β on the rows

namespace {

// The ionic states of the channels (one per shell, or one per term of a
// hole that leaves several), each by its first channel, in the order of
// CrossSections::shell_names.
std::vector<size_t> states_of(const std::vector<Channel>& ch) {
  std::vector<size_t> first;
  for (size_t c = 0; c < ch.size(); ++c) {
    if (std::none_of(first.begin(), first.end(),
                     [&](size_t f) { return ch[f].state == ch[c].state && ch[f].shell == ch[c].shell; }))
      first.push_back(c);
  }
  return first;
}

// The heading of a state's block in xsect's table: its shell, or its state
// when a hole of the run has terms (xsect's IST then names every channel's).
std::string block_name(const std::vector<Channel>& ch, const Channel& c) {
  const bool states = has_ionic_terms(ch);
  return states ? "state " + std::to_string(c.state + 1) : "shell " + std::to_string(c.shell + 1);
}

void fill(const std::map<std::string, BetaBlock>& table, const std::string& name, const CrossSections& cs, int kinds,
          std::vector<std::vector<double>>* out) {
  for (int k = 0; k < 4; ++k) out[k].emplace_back(cs.ev.size(), kNotAvailable);
  for (int method = 0; method < kinds / 2; ++method) {
    const auto it = table.find((method == 0 ? "HF " : "RPA ") + name);
    if (it == table.end()) continue;
    for (size_t r = 0; r < cs.ev.size(); ++r) {
      const auto [L, V] = beta_at(it->second, cs.ev[r] / kHartreeEV);
      out[2 * method].back()[r] = L;
      out[2 * method + 1].back()[r] = V;
    }
  }
}

std::string beta_cell(double v) {
  char b[32];
  if (std::isnan(v)) return "        -";
  std::snprintf(b, sizeof b, " %8.4f", v);
  return b;
}

}  // namespace

Asymmetries asymmetries(const std::vector<Channel>& ch, const CrossSections& cs,
                        const std::map<std::string, BetaBlock>& table) {
  Asymmetries a;
  const int kinds = cs.rpa ? 4 : 2;
  for (size_t c = 0; c < ch.size(); ++c) fill(table, "channel " + std::to_string(c + 1), cs, kinds, a.channel);
  for (size_t f : states_of(ch)) fill(table, block_name(ch, ch[f]), cs, kinds, a.shell);
  return a;
}

std::string beta_table(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const Asymmetries& a) {
  const int kinds = cs.rpa ? 4 : 2;
  const bool errors = !a.shell_error[0].empty();
  const int width = errors ? 2 * kinds : kinds;
  std::ostringstream o;
  o << "# photon energy (eV), then the asymmetry parameter beta of each channel and of each ionised shell\n"
    << "# (its channels together), Hartree-Fock (HF) and RPA, length (L) and velocity (V); '-': not available;\n";
  if (errors) o << "# each beta followed by its estimated error, from the check's rerun with every setting refined;\n";
  o << "# columns:";
  int col = 2;
  for (const Channel& c : ch) {
    o << "\n#   " << col << "-" << col + width - 1 << ": " << c.label(m);
    col += width;
  }
  for (const std::string& s : cs.shell_names) {
    o << "\n#   " << col << "-" << col + width - 1 << ": " << s;
    col += width;
  }
  o << "\n";
  auto cells = [&](const std::vector<std::vector<double>>* v, const std::vector<std::vector<double>>* e, size_t i,
                   size_t r) {
    for (int k = 0; k < kinds; ++k) {
      o << beta_cell(v[k][i][r]);
      if (!errors) continue;
      const double err = i < e[k].size() ? e[k][i][r] : kNotAvailable;
      char b[32] = "        -";
      if (!std::isnan(err)) std::snprintf(b, sizeof b, " %8.1e", err);
      o << b;
    }
  };
  for (size_t r = 0; r < cs.ev.size(); ++r) {
    char b[32];
    std::snprintf(b, sizeof b, "%9.3f", cs.ev[r]);
    o << b;
    for (size_t c = 0; c < ch.size(); ++c) cells(a.channel, a.channel_error, c, r);
    for (size_t s = 0; s < cs.shell_names.size(); ++s) cells(a.shell, a.shell_error, s, r);
    o << "\n";
  }
  return o.str();
}

std::string beta_listing(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                         const Asymmetries& a) {
  const int kinds = cs.rpa ? 4 : 2;
  std::ostringstream o;
  o << " Asymmetry parameters beta (random orientation: dsigma/dOmega = sigma/4pi (1 + beta P2(cos theta)),\n"
    << " theta from the polarisation), per channel and per shell, also in beta.dat and, per shell, in diatom.dat:";
  const std::vector<size_t> states = states_of(ch);
  for (size_t s = 0; s < states.size(); ++s) {
    std::vector<std::pair<std::string, const std::vector<std::vector<double>>*>> cols;
    std::vector<size_t> index;
    for (size_t c = 0; c < ch.size(); ++c) {
      if (ch[c].state == ch[states[s]].state && ch[c].shell == ch[states[s]].shell) cols.push_back({ch[c].label(m), a.channel}), index.push_back(c);
    }
    cols.push_back({"shell " + cs.shell_names[s], a.shell});
    index.push_back(s);
    o << "\n\n       eV";
    for (const auto& col : cols) {
      const int width = 9 * kinds;
      std::string t = col.first.substr(0, static_cast<size_t>(width - 2));
      o << std::string(static_cast<size_t>(width - static_cast<int>(t.size())), ' ') << t;
    }
    o << "\n         ";
    for (size_t k = 0; k < cols.size(); ++k) {
      for (int j = 0; j < kinds; ++j) {
        char b[16];
        std::snprintf(b, sizeof b, " %8s", kKindNames[j]);
        o << b;
      }
    }
    for (size_t r = 0; r < cs.ev.size(); ++r) {
      char b[32];
      std::snprintf(b, sizeof b, "\n%9.3f", cs.ev[r]);
      o << b;
      for (size_t k = 0; k < cols.size(); ++k) {
        for (int j = 0; j < kinds; ++j) o << beta_cell(cols[k].second[j][index[k]][r]);
      }
    }
  }
  return o.str();
}

bool reference_has_beta(const std::string& path) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream w(line);
    std::string e, s, b;
    if (!(w >> e >> s >> b) || e[0] == '#' || e[0] == '!') continue;
    char* end = nullptr;
    std::strtod(b.c_str(), &end);
    if (end != b.c_str()) return true;
  }
  return false;
}

std::string beta_panel(const Molecule& m, const std::vector<Channel>& ch, const CrossSections& cs,
                       const std::string& data, const std::string& ref) {
  const int kinds = cs.rpa ? 4 : 2, base = cs.rpa ? 2 : 0;
  const std::string form = cs.rpa ? "RPA" : "HF";
  std::ostringstream o;
  o << "set title 'asymmetry parameter (random orientation)'\n"
    << "set ylabel 'β'\nset yrange [-1:2]\nset key bottom right noenhanced\n"
    << "plot ";
  // With the errors each β is followed by its error: the columns of a
  // channel or shell twice as many, a kind's two apart.
  const int stride = cs.shell_beta_error[0].empty() ? 1 : 2;
  auto curve = [&](int c0, const std::string& name, const std::string& kind, int shift, const std::string& lc, int lw) {
    o << "'" << data << "' using 1:" << c0 + shift * stride << " with lines lc " << lc << " lw " << lw
      << " dt 1 title '" << name << " (" << kind << ", length)', \\\n     '" << data
      << "' using 1:" << c0 + (shift + 1) * stride << " with lines lc " << lc << " lw " << lw << " dt 2 title '" << name
      << " (" << kind << ", velocity)', \\\n     ";
  };
  // The channels in the colours of the cross-section plot, the shells thick
  // (one shell in the colour of the total; with the RPA its HF β in grey).
  // With ionic terms the channels are many: the states alone are drawn.
  const bool terms = has_ionic_terms(ch);
  int col = 2, colour = 1;
  for (const Channel& c : ch) {
    if (!terms) curve(col, c.pretty(m), form, base, std::to_string(colour++), 2);
    col += kinds * stride;
  }
  const std::vector<size_t> states = states_of(ch);
  for (size_t s = 0; s < states.size(); ++s) {
    const Channel& first = ch[states[s]];
    const Shell& sh = m.shells[static_cast<size_t>(first.shell)];
    std::string name = std::to_string(sh.n) + (sh.M == 0 ? "σ" : sh.M == 1 ? "π" : "δ");
    if (sh.parity) name += sh.parity;
    if (!first.term_pretty.empty()) name += "⁻¹ " + first.term_pretty;
    const std::string lc = states.size() == 1 ? "8" : std::to_string(colour++);
    if (cs.rpa) curve(col, name, "HF", 0, "rgb 'gray50'", 2);
    curve(col, name, form, base, lc, 3);
    col += kinds * stride;
  }
  if (!ref.empty())
    o << "'" << ref << "' using 1:3 with points pt 7 ps 1.3 lc rgb 'black' title 'reference', \\\n     ";
  std::string s = o.str();
  s.erase(s.find_last_of(','));
  return s + "\n";
}

}  // namespace diatom

#include "diatom/channels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "diatom/ionic_terms.hpp"
#include "diatom/photon_range.hpp"
#include "io/stop.hpp"
#include "photo/sizes.hpp"

namespace diatom {

namespace {

const char* kGreek[] = {"σ", "π", "δ", "φ"};
const char* kLatin[] = {"sigma", "pi", "delta", "phi"};

std::string ev(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

std::string signed_text(int v) { return (v > 0 ? "+" : "") + std::to_string(v); }

}  // namespace

std::string Channel::label(const Molecule& m) const {
  std::string s = m.shells[shell].name;
  if (!term_text.empty()) s += " " + term_text + (name_projection ? " (ion " + signed_text(ion_projection) + ")" : "");
  s += std::string(" -> k ") + kLatin[M];
  if (parity) s += std::string("_") + parity;
  return s;
}

std::string Channel::pretty(const Molecule& m) const {
  std::string t = state_pretty(m);
  if (!term_pretty.empty() && name_projection) t += " (" + signed_text(ion_projection) + ")";
  t += " → k";
  t += kGreek[M];
  if (parity) t += parity;
  return t;
}

std::string Channel::state_pretty(const Molecule& m) const {
  const Shell& s = m.shells[shell];
  std::string t = std::to_string(s.n) + kGreek[s.M];
  if (s.parity) t += s.parity;
  if (!term_pretty.empty()) t += "⁻¹ " + term_pretty;
  return t;
}

std::vector<int> final_projections(int M) {
  // z keeps the projection, x and y change it by ±1.
  std::vector<int> out;
  for (int f = std::max(0, M - 1); f <= M + 1; ++f) out.push_back(f);
  return out;
}

double channel_weight(const Shell& s, int final_M, bool one_electron) {
  double w = s.M == 0 ? (final_M == 0 ? 1.0 : 2.0) : 2.0;
  if (one_electron) return w / 2;
  // q electrons in a shell of capacity N, averaged over the degenerate
  // initial states: q/N of the full shell's cross section.
  return w * s.electrons() / s.full();
}

bool has_ionic_terms(const std::vector<Channel>& ch) {
  return std::any_of(ch.begin(), ch.end(), [](const Channel& c) { return !c.term_text.empty(); });
}

std::vector<Channel> dipole_channels(const Molecule& m, const std::string& file) {
  std::vector<Channel> out;
  const std::vector<IonicState> states = ionic_states(m, "file '" + file + "', group &MOL, variable ION");
  for (size_t k = 0; k < states.size(); ++k) {
    const IonicState& st = states[k];
    const Shell& s = m.shells[static_cast<size_t>(st.shell)];
    // A hole without terms is one arrangement of weight one.
    const std::vector<chan::Arrangement> arrangements =
        st.has_term() ? st.arrangements : std::vector<chan::Arrangement>{chan::Arrangement{0, 1.0, {}}};
    for (const chan::Arrangement& a : arrangements) {
      for (int f : final_projections(s.M)) {
        Channel c;
        c.shell = st.shell;
        c.state = static_cast<int>(k);
        c.M = f;
        if (s.parity) c.parity = s.parity == 'g' ? 'u' : 'g';
        if (st.has_term()) {
          // The arrangement's weight counts the channel of the full shell.
          Shell full = s;
          full.occupation = 0;
          c.weight = channel_weight(full, f, false) * a.weight;
          c.term = st.term;
          c.ion_projection = a.ion_projection;
          c.name_projection = arrangements.size() > 1;
          if (c.name_projection && s.M == 0 && a.ion_projection < 0) c.beta_mirror = f == 0 ? -1 : 1;
          const std::string label = st.label(m), pretty = st.pretty(m);
          c.term_text = label.substr(label.find(' ') + 1);
          c.term_pretty = pretty.substr(pretty.find(' ') + 1);
        } else {
          c.weight = channel_weight(s, f, m.one_electron());
        }
        char tag[16];
        std::snprintf(tag, sizeof tag, "c%02d", static_cast<int>(out.size()) + 1);
        c.tag = tag;
        out.push_back(c);
      }
    }
  }
  if (out.size() > static_cast<size_t>(photo::kMaxChannels)) {
    io::stop("file '" + file + "', group &MOL, variable ION: the shells make " + std::to_string(out.size()) +
             " channels; xsect takes at most " + std::to_string(photo::kMaxChannels) +
             " (ionise fewer shells per run)");
  }
  return out;
}

std::vector<Channel> plan_channels(const Molecule& m, const MOL& given, const std::vector<double>& energies,
                                   const std::string& file, double k_carried,
                                   const std::vector<std::pair<double, double>>& photon_ranges) {
  std::vector<Channel> out = dipole_channels(m, file);
  for (size_t k = 0; k < m.ionised.size(); ++k) {
    const int i = m.ionised[k];
    MOL mol = given;
    if (k < photon_ranges.size()) {
      std::tie(mol.EMIN, mol.EMAX) = photon_ranges[k];
      // The continuum's top moves with the range: as far above its end.
      if (given.ETOP > given.EMAX) mol.ETOP = mol.EMAX + (given.ETOP - given.EMAX);
    }
    const Shell& s = m.shells[i];
    const double I = -energies[i];  // threshold (hartree)
    if (mol.EMAX / kHartreeEV - I <= 0) {
      io::stop("file '" + file + "', group &MOL, variable EMAX: " + ev(mol.EMAX) + " eV lies below the threshold " +
               ev(I * kHartreeEV) + " eV of shell '" + s.name + "' (orbital energy " + ev(-I) + " hartree)");
    }
    const MomentumGrid g = momentum_grid(
        mol, {I, "the threshold " + ev(I * kHartreeEV) + " eV of shell '" + s.name + "'"}, k_carried, file);
    for (Channel& c : out) {
      if (c.shell == i) c.NC = g.NC, c.P0 = g.P0, c.DP = g.DP, c.results_end = mol.EMAX, c.threshold = I;
    }
  }
  return out;
}

}  // namespace diatom

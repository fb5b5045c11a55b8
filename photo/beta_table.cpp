#include "photo/beta_table.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "io/format.hpp"

namespace photo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSigma = 5.378;          // Mb per unit of ω·|D|² (two electrons, orientation average)
constexpr double kHartreeEV = 27.211386;  // eV
// Photon energies of two channels of one shell agree to this (relative).
constexpr double kSameEnergy = 1.0e-6;

bool same_energy(double a, double b) { return std::fabs(a - b) <= kSameEnergy * std::max(1.0, std::fabs(a)); }

std::string number(double v, bool beta) {
  if (!std::isfinite(v)) return beta ? "       NaN" : "         NaN";
  return beta ? io::edit_F(v, 10, 4) : io::edit_E(v, 12, 4);
}

}  // namespace

std::string beta_table_name(const std::string& listing) { return listing + ".beta"; }

BetaTable::ChannelData& BetaTable::at(int ICH) {
  if (static_cast<int>(ch_.size()) < ICH) ch_.resize(static_cast<size_t>(ICH));
  return ch_[static_cast<size_t>(ICH - 1)];
}

void BetaTable::channel(int ICH, const Channel& c) {
  ChannelData& d = at(ICH);
  d.c = c;
  d.nodes.assign(static_cast<size_t>(std::max(0, c.NC)), Node{});
  for (Node& n : d.nodes) {
    n.AS.assign(static_cast<size_t>(c.NX * c.NL), 0.0);
    n.AC.assign(static_cast<size_t>(c.NX * c.NL), 0.0);
    n.DL.assign(static_cast<size_t>(c.NL), 0.0);
    n.DV.assign(static_cast<size_t>(c.NL), 0.0);
  }
}

void BetaTable::hf_solution(int ICH, int IC, int I, const HfSolution& s) {
  ChannelData& d = at(ICH);
  if (IC < 1 || IC > static_cast<int>(d.nodes.size()) || I < 1 || I > d.c.NL) return;
  Node& n = d.nodes[static_cast<size_t>(IC - 1)];
  n.E = s.E;
  for (int K = 1; K <= d.c.NX; ++K) {
    n.AS[static_cast<size_t>((I - 1) * d.c.NX + K - 1)] = s.AS(K);
    n.AC[static_cast<size_t>((I - 1) * d.c.NX + K - 1)] = s.AC(K);
  }
  n.DL[static_cast<size_t>(I - 1)] = s.DL;
  n.DV[static_cast<size_t>(I - 1)] = s.DV;
  if (I == 1) n.sigmaL = n.sigmaV = 0.0;
  n.sigmaL += s.sigmaL;
  n.sigmaV += s.sigmaV;
}

void BetaTable::rpa_amplitudes(int ICH, int node, double E, double OM, int NL, const RpaAmplitudes& D) {
  if (ICH < 1 || ICH > static_cast<int>(ch_.size())) return;
  ChannelData& d = ch_[static_cast<size_t>(ICH - 1)];
  if (node < 1 || node > static_cast<int>(d.nodes.size()) || NL != d.c.NL) return;
  Node& n = d.nodes[static_cast<size_t>(node - 1)];
  n.rpa = true;
  n.rpaE = E;
  n.rpaOM = OM;
  n.RL.resize(static_cast<size_t>(NL));
  n.RV.resize(static_cast<size_t>(NL));
  for (int j = 1; j <= NL; ++j) {
    n.RL[static_cast<size_t>(j - 1)] = Complex(D.DRR(j), D.DRI(j));
    n.RV[static_cast<size_t>(j - 1)] = Complex(D.DVR(j), D.DVI(j));
  }
}

bool BetaTable::waves(const ChannelData& d, const Node& n, bool rpa, PartialWaves& L, PartialWaves& V,
                      double& deviation) const {
  const Channel& c = d.c;
  const lib::CMat AS(n.AS.data(), c.NX, c.NL), AC(n.AC.data(), c.NX, c.NL);
  deviation = flux_deviation(c.NL, c.NX, AS, AC);
  if (!(deviation <= kFluxTolerance)) return false;
  for (PartialWaves* w : {&L, &V}) {
    w->m = c.M;
    w->mu = c.M - c.mi;
    w->L0 = c.L0;
    w->step = c.step;
    w->F.assign(static_cast<size_t>(c.NX), 0.0);
  }
  outgoing_amplitudes(c.NL, c.NX, AS, AC, rpa ? n.RL.data() : n.DL.data(), L.F.data());
  outgoing_amplitudes(c.NL, c.NX, AS, AC, rpa ? n.RV.data() : n.DV.data(), V.F.data());
  return true;
}

namespace {

double rpa_sigma(const std::vector<Complex>& D, double OM, bool velocity) {
  double s = 0.0;
  for (const Complex& d : D) s += std::norm(d);
  return velocity ? kSigma / OM * s : kSigma * OM * s;
}

std::string energies_note(int count, double worst) {
  char buf[200];
  std::snprintf(buf, sizeof buf,
                "at %d energies the solutions are not orthonormal on the energy shell (flux overlaps off by up to "
                "%.2e): beta is not available there",
                count, worst);
  return buf;
}

}  // namespace

void BetaTable::compute(lib::Fac F) {
  channel_series_.clear();
  shell_series_.clear();
  // The groups of interfering channels: (state, shell), the shell 0 for a state.
  std::vector<std::pair<int, int>> groups;
  for (size_t k = 0; k < ch_.size(); ++k) {
    const ChannelData& d = ch_[k];
    BetaSeries s;
    s.label = "channel " + std::to_string(k + 1) + " (shell " + std::to_string(d.c.shell) +
              ", final m = " + std::to_string(d.c.M) + ")";
    const std::pair<int, int> group{d.c.state, d.c.state > 0 ? 0 : d.c.shell};
    if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(group);
    for (int pass = 0; pass < 2; ++pass) {
      const bool rpa = pass == 1;
      int missing = 0;
      double worst = 0.0;
      for (const Node& n : d.nodes) {
        if (rpa && !n.rpa) continue;
        BetaRow row;
        row.omega = rpa ? n.rpaOM : n.E - d.c.threshold;
        row.sigmaL = rpa ? rpa_sigma(n.RL, n.rpaOM, false) : n.sigmaL;
        row.sigmaV = rpa ? rpa_sigma(n.RV, n.rpaOM, true) : n.sigmaV;
        PartialWaves L, V;
        double dev = 0.0;
        if (waves(d, n, rpa, L, V, dev)) {
          row.betaL = asymmetry(d.c.mi, with_mirror_images(d.c.mi, {L}), F).beta;
          row.betaV = asymmetry(d.c.mi, with_mirror_images(d.c.mi, {V}), F).beta;
        } else {
          row.betaL = row.betaV = kNaN;
          ++missing;
          worst = std::max(worst, dev);
        }
        (rpa ? s.rpa : s.hf).push_back(row);
      }
      if (missing > 0) s.notes.push_back(std::string(rpa ? "RPA: " : "Hartree-Fock: ") + energies_note(missing, worst));
    }
    channel_series_.push_back(s);
  }
  for (const auto& [state, shell] : groups) compute_shell(state, shell, F);
}

// The channels of one shell, or of one ionic state, interfere: their waves
// enter one β.  A channel of final m > 0 from a σ shell counts twice (its
// mirror image), every channel of a shell with m_i ≠ 0 twice (the orbital
// −m_i).
void BetaTable::compute_shell(int state, int shell, lib::Fac F) {
  BetaSeries s;
  s.label = state > 0 ? "state " + std::to_string(state) : "shell " + std::to_string(shell);
  std::vector<int> members;
  for (size_t k = 0; k < ch_.size(); ++k) {
    const Channel& c = ch_[k].c;
    if (state > 0 ? c.state == state : c.state == 0 && c.shell == shell) members.push_back(static_cast<int>(k));
  }
  // Channels named to enter as mirror images: the state's waves are listed
  // explicitly, each channel once.
  const bool explicit_set =
      std::any_of(members.begin(), members.end(), [&](int k) { return ch_[static_cast<size_t>(k)].c.mirror != 0; });
  auto final_m = [&](int k) {
    const Channel& c = ch_[static_cast<size_t>(k)].c;
    return c.mirror == 1 ? -c.M : c.M;
  };
  bool duplicate = false;
  for (size_t a = 0; a < members.size(); ++a) {
    for (size_t b = a + 1; b < members.size(); ++b) {
      if (ch_[static_cast<size_t>(members[a])].c.mirror == -1 || ch_[static_cast<size_t>(members[b])].c.mirror == -1)
        continue;
      if (final_m(members[a]) == final_m(members[b])) duplicate = true;
    }
  }
  if (duplicate) {
    s.notes.push_back(state > 0 ? "two channels of this state have the same final m: the state's beta is not available"
                                : "two channels of this shell have the same final m: the shell's beta is not available");
  }
  size_t nodes = std::numeric_limits<size_t>::max();
  for (int k : members) nodes = std::min(nodes, ch_[static_cast<size_t>(k)].nodes.size());
  bool grids_differ = false;
  for (int pass = 0; pass < 2; ++pass) {
    const bool rpa = pass == 1;
    for (size_t j = 0; j < nodes; ++j) {
      BetaRow row;
      std::vector<PartialWaves> wl, wv;
      bool ok = !duplicate, present = true, first = true;
      for (int k : members) {
        const ChannelData& d = ch_[static_cast<size_t>(k)];
        if (d.c.mirror == -1) continue;
        const Node& n = d.nodes[j];
        if (rpa && !n.rpa) {
          present = false;
          break;
        }
        const double omega = rpa ? n.rpaOM : n.E - d.c.threshold;
        if (first) row.omega = omega;
        first = false;
        if (!same_energy(omega, row.omega)) {
          present = false;
          grids_differ = true;
          break;
        }
        const double weight = !explicit_set && ((d.c.mi == 0 && d.c.M != 0) || d.c.mi != 0) ? 2.0 : 1.0;
        row.sigmaL += weight * (rpa ? rpa_sigma(n.RL, n.rpaOM, false) : n.sigmaL);
        row.sigmaV += weight * (rpa ? rpa_sigma(n.RV, n.rpaOM, true) : n.sigmaV);
        PartialWaves L, V;
        double dev = 0.0;
        if (ok && waves(d, n, rpa, L, V, dev)) {
          wl.push_back(d.c.mirror == 1 ? mirror_image(L) : L);
          wv.push_back(d.c.mirror == 1 ? mirror_image(V) : V);
        } else {
          ok = false;
        }
      }
      if (!present) continue;
      const int mi = ch_[static_cast<size_t>(members.front())].c.mi;
      row.betaL = ok ? asymmetry(mi, explicit_set ? wl : with_mirror_images(mi, wl), F).beta : kNaN;
      row.betaV = ok ? asymmetry(mi, explicit_set ? wv : with_mirror_images(mi, wv), F).beta : kNaN;
      (rpa ? s.rpa : s.hf).push_back(row);
    }
  }
  if (grids_differ) {
    s.notes.push_back("its channels do not share their photon energies (momentum grids); only common energies listed");
  }
  shell_series_.push_back(s);
}

std::vector<int> BetaTable::shells_ionised() const {
  std::vector<int> shells;
  for (const ChannelData& d : ch_) {
    if (std::find(shells.begin(), shells.end(), d.c.shell) == shells.end()) shells.push_back(d.c.shell);
  }
  return shells;
}

size_t BetaTable::shell_nodes(int shell) const {
  size_t nodes = 0;
  bool first = true;
  for (const ChannelData& d : ch_) {
    if (d.c.shell != shell) continue;
    nodes = first ? d.nodes.size() : std::min(nodes, d.nodes.size());
    first = false;
  }
  return nodes;
}

bool BetaTable::shell_waves(int shell, size_t j, bool rpa, ShellWaves& w, std::string& why) const {
  w = ShellWaves{};
  std::vector<int> finals;
  bool first = true;
  for (const ChannelData& d : ch_) {
    if (d.c.shell != shell) continue;
    if (j >= d.nodes.size()) {
      why = "node beyond a channel's grid";
      return false;
    }
    const Node& n = d.nodes[j];
    if (rpa && !n.rpa) {
      why = "no RPA amplitudes";
      return false;
    }
    const double omega = rpa ? n.rpaOM : n.E - d.c.threshold;
    if (first) w.omega = omega, w.mi = d.c.mi, w.E = rpa ? n.rpaE : n.E;
    first = false;
    if (!same_energy(omega, w.omega)) {
      why = "the channels of the shell do not share this photon energy";
      return false;
    }
    if (std::find(finals.begin(), finals.end(), d.c.M) != finals.end()) {
      why = "two channels of the shell have the same final m";
      return false;
    }
    finals.push_back(d.c.M);
    PartialWaves L, V;
    double dev = 0.0;
    if (!waves(d, n, rpa, L, V, dev)) {
      why = energies_note(1, dev);
      return false;
    }
    w.L.push_back(L);
    w.V.push_back(V);
  }
  if (first) why = "no channel of this shell";
  return !first;
}

// ------------------------------------------------------------------ writers

namespace {

void write_rows(io::Unit& u, const std::vector<BetaRow>& rows) {
  u.write_record("    Om, a.u.     C.S.(L)     C.S.(V)   Beta(L)   Beta(V)");
  for (const BetaRow& r : rows) {
    u.write_record(number(r.omega, false) + number(r.sigmaL, false) + number(r.sigmaV, false) + number(r.betaL, true) +
                   number(r.betaV, true));
  }
}

void listing_part(io::Unit& u, const char* method, const std::vector<BetaSeries>& series, bool rpa) {
  for (const BetaSeries& s : series) {
    u.write_record("");
    u.write_record(std::string(60, '-'));
    u.write_record(std::string(" Beta, ") + method + ", " + s.label + ":");
    for (const std::string& n : s.notes) u.write_record("   note: " + n);
    write_rows(u, rpa ? s.rpa : s.hf);
  }
}

void table_block(io::Unit& u, const std::string& head, const std::vector<BetaRow>& rows, bool& first) {
  if (!first) {
    u.write_record("");
    u.write_record("");
  }
  first = false;
  u.write_record("# " + head);
  char buf[200];
  for (const BetaRow& r : rows) {
    std::snprintf(buf, sizeof buf, "%12.6f %14.8e %14.6e %14.6e %10.6f %10.6f", r.omega * kHartreeEV, r.omega, r.sigmaL,
                  r.sigmaV, r.betaL, r.betaV);
    u.write_record(buf);
  }
}

}  // namespace

void write_beta_listing(io::Unit& u, const BetaTable& t, bool rpa) {
  u.write_record("");
  u.write_record(std::string(60, '='));
  u.write_record("");
  u.write_record(" Photoelectron asymmetry parameters (random orientation):");
  u.write_record("   dsigma/dOmega = sigma/(4 pi)*(1 + Beta*P2(cos theta)),");
  u.write_record("   theta from the polarisation; Om the photon energy;");
  u.write_record("   C.S. in Mb: a channel as listed above, a shell weighted");
  u.write_record("   (x2 a final m > 0 from a sigma shell, x2 a pi shell)");
  listing_part(u, "Hartree-Fock", t.channels(), false);
  listing_part(u, "Hartree-Fock", t.shells(), false);
  if (rpa) {
    listing_part(u, "RPA", t.channels(), true);
    listing_part(u, "RPA", t.shells(), true);
  }
}

void write_beta_table(io::Unit& u, const BetaTable& t, bool rpa) {
  u.write_record(
      "# Photoelectron asymmetry parameters, random orientation: dsigma/dOmega = sigma/(4 pi)*(1 + beta*P2)");
  u.write_record("# One block per method and channel or shell (blocks separated by two blank lines); columns:");
  u.write_record("# photon energy (eV), photon energy (hartree), sigma L (Mb), sigma V (Mb), beta L, beta V");
  u.write_record(
      "# sigma of a channel as in the listing; of a shell weighted (x2 final m > 0 of a sigma shell, x2 pi "
      "shell); nan: not available");
  bool first = true;
  for (const BetaSeries& s : t.channels()) table_block(u, "HF " + s.label, s.hf, first);
  for (const BetaSeries& s : t.shells()) table_block(u, "HF " + s.label, s.hf, first);
  if (!rpa) return;
  for (const BetaSeries& s : t.channels()) table_block(u, "RPA " + s.label, s.rpa, first);
  for (const BetaSeries& s : t.shells()) table_block(u, "RPA " + s.label, s.rpa, first);
}

}  // namespace photo

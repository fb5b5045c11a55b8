#include "photo/wave_table.hpp"

#include <cmath>
#include <cstdio>

namespace photo {

namespace {

std::string e(double v) {
  char b[32];
  std::snprintf(b, sizeof b, " %.15E", v);
  return b;
}

// The shell's listed σ (length, velocity) at photon energy omega, NaN when
// the series has no such row.
BetaRow sigma_at(const BetaTable& t, int shell, bool rpa, double omega) {
  const std::string label = "shell " + std::to_string(shell);
  for (const BetaSeries& s : t.shells()) {
    if (s.label != label) continue;
    for (const BetaRow& r : rpa ? s.rpa : s.hf) {
      if (std::fabs(r.omega - omega) <= 1e-12 * std::fabs(omega)) return r;
    }
  }
  BetaRow none;
  none.sigmaL = none.sigmaV = std::nan("");
  return none;
}

void write_waves(io::Unit& u, char form, const std::vector<PartialWaves>& waves) {
  for (const PartialWaves& w : waves) {
    std::string line = std::string(1, form) + " " + std::to_string(w.m) + " " + std::to_string(w.mu) + " " +
                       std::to_string(w.L0) + " " + std::to_string(w.step) + " " + std::to_string(w.F.size());
    for (const Complex& f : w.F) line += e(f.real()) + e(f.imag());
    u.write_record(line);
  }
}

}  // namespace

std::string wave_table_name(const std::string& listing) { return listing + ".waves"; }

void write_wave_table(io::Unit& u, const BetaTable& t, bool rpa) {
  u.write_record("# Outgoing partial-wave amplitudes of each ionised shell at each momentum node.");
  u.write_record("# node <HF|RPA> <shell> <m_i> <E> <omega> <sigmaL> <sigmaV>: the photoelectron's and the photon's");
  u.write_record("# energy (hartree), the shell's cross sections (Mb); then per channel of the shell a line");
  u.write_record(
      "# <L|V> <m> <mu> <L0> <step> <n> and n complex amplitudes F_K (real, imaginary) of Y(L0+(K-1)step, m).");
  for (int pass = 0; pass < (rpa ? 2 : 1); ++pass) {
    const bool r = pass == 1;
    for (int shell : t.shells_ionised()) {
      for (size_t j = 0; j < t.shell_nodes(shell); ++j) {
        BetaTable::ShellWaves w;
        std::string why;
        if (!t.shell_waves(shell, j, r, w, why)) continue;
        const BetaRow s = sigma_at(t, shell, r, w.omega);
        u.write_record(std::string("node ") + (r ? "RPA " : "HF ") + std::to_string(shell) + " " +
                       std::to_string(w.mi) + e(w.E) + e(w.omega) + e(s.sigmaL) + e(s.sigmaV));
        write_waves(u, 'L', w.L);
        write_waves(u, 'V', w.V);
      }
    }
  }
}

}  // namespace photo

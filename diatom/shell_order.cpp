#include "diatom/shell_order.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <tuple>

namespace diatom {

namespace {

// Numerical Hartree–Fock orbital energies of the ground-state atoms H to Ar
// (hartree, rounded to 1e-4; the values for Be and Ne agree with the suite's
// own atoms on a focus): 1s, 2s, 2p, 3s, 3p, 0 where the subshell is empty.
// They only order the shells, so their rounding does not matter.
constexpr std::array<std::array<double, 5>, 18> kAtomLevels{{
    {-0.5000, 0, 0, 0, 0},
    {-0.9180, 0, 0, 0, 0},
    {-2.4777, -0.1963, 0, 0, 0},
    {-4.7327, -0.3093, 0, 0, 0},
    {-7.6953, -0.4947, -0.3099, 0, 0},
    {-11.3255, -0.7056, -0.4333, 0, 0},
    {-15.6291, -0.9453, -0.5676, 0, 0},
    {-20.6687, -1.2443, -0.6319, 0, 0},
    {-26.3827, -1.5725, -0.7300, 0, 0},
    {-32.7724, -1.9304, -0.8504, 0, 0},
    {-40.4785, -2.7970, -1.5181, -0.1821, 0},
    {-49.0317, -3.7677, -2.2822, -0.2530, 0},
    {-58.5010, -4.9107, -3.2183, -0.3934, -0.2100},
    {-68.8124, -6.1566, -4.2560, -0.5397, -0.2971},
    {-79.9697, -7.5111, -5.4009, -0.6964, -0.3917},
    {-92.0045, -9.0044, -6.6825, -0.8796, -0.4373},
    {-104.8844, -10.6074, -8.0722, -1.0729, -0.5064},
    {-118.6104, -12.3222, -9.5714, -1.2774, -0.5910},
}};
constexpr std::array<int, 5> kLevelL{0, 0, 1, 0, 1};

// Whether a charge has a table: a whole number from 1 to 18, or no nucleus.
bool tabulated(double Z) { return Z == 0.0 || (std::fabs(Z - std::round(Z)) < 1.0e-6 && Z >= 0.5 && Z < 18.5); }

// The separated atoms' levels that correlate with the symmetry of `s`,
// lowest first.
std::vector<double> correlating_levels(const Shell& s, double Z1, double Z2, bool equal_nuclei) {
  std::vector<double> out;
  for (double Z : equal_nuclei ? std::array<double, 2>{Z1, 0.0} : std::array<double, 2>{Z1, Z2}) {
    for (const AtomicLevel& a : atomic_levels(Z)) {
      // An s level gives a σ; a p level a σ and a π (δ and above: none).
      if (a.l >= s.M) out.push_back(a.energy);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

std::vector<AtomicLevel> atomic_levels(double Z) {
  std::vector<AtomicLevel> out;
  if (!tabulated(Z) || Z == 0.0) return out;
  const auto& row = kAtomLevels[static_cast<size_t>(std::lround(Z)) - 1];
  for (size_t k = 0; k < row.size(); ++k)
    if (row[k] != 0.0) out.push_back({kLevelL[k], row[k]});
  return out;
}

std::optional<std::vector<double>> separated_atom_energies(const std::vector<Shell>& shells, double Z1, double Z2,
                                                           bool equal_nuclei) {
  if (!tabulated(Z1) || !tabulated(Z2)) return std::nullopt;
  std::vector<double> out;
  for (const Shell& s : shells) {
    const std::vector<double> levels = correlating_levels(s, Z1, Z2, equal_nuclei);
    out.push_back(s.n <= static_cast<int>(levels.size()) ? levels[static_cast<size_t>(s.n) - 1] : 0.0);
  }
  return out;
}

bool order_by_separated_atoms(std::vector<Shell>& shells, double Z1, double Z2, bool equal_nuclei) {
  const std::optional<std::vector<double>> e = separated_atom_energies(shells, Z1, Z2, equal_nuclei);
  if (!e) return false;
  std::vector<size_t> idx(shells.size());
  std::iota(idx.begin(), idx.end(), size_t{0});
  // Of equal nuclei the bonding partner of a level comes first (σg, πu:
  // L0 − M even; σu, πg odd), so that O2's open 1πg follows its 3σg.  The
  // π of a p level bonds only with a p level of the other atom: without one
  // (FH, OH) it stays an atomic lone pair above the σ that bonds.  On one
  // nucleus the two are one level, and π first is the order that places F⁻'s
  // (σ first, its 2pσ finds no energy).
  const auto has_p = [](double Z) {
    const std::vector<AtomicLevel> a = atomic_levels(Z);
    return std::any_of(a.begin(), a.end(), [](const AtomicLevel& l) { return l.l == 1; });
  };
  const int pi_first = Z2 == 0.0 || (has_p(Z1) && (equal_nuclei || has_p(Z2))) ? -1 : 1;
  auto key = [&](size_t i) {
    const Shell& s = shells[i];
    const int antibonding = equal_nuclei ? (s.L0 - s.M) % 2 : 0;
    return std::make_tuple((*e)[i], antibonding, pi_first * s.M, s.L0, s.n);
  };
  std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  std::vector<Shell> ordered;
  for (size_t i : idx) ordered.push_back(shells[i]);
  shells = std::move(ordered);
  return true;
}

std::optional<Configuration> proposed_configuration(double Z1, double Z2, bool equal_nuclei, int electrons) {
  // An atom's partly filled p subshell has terms (C ³P, N ⁴S, O ³P) that one
  // open σ or π shell does not all describe: an atom (or ion) is proposed
  // only with its subshells full, or with one electron.
  constexpr std::array<int, 6> kFullSubshells{1, 2, 4, 10, 12, 18};
  if (Z2 == 0.0 && std::find(kFullSubshells.begin(), kFullSubshells.end(), electrons) == kFullSubshells.end())
    return std::nullopt;
  // Every shell the separated atoms' levels correlate with, by symmetry.
  std::vector<Shell> all;
  const char* const parities = equal_nuclei ? "gu" : "";
  for (const char letter : {'s', 'p'}) {
    for (int k = 0; k < (equal_nuclei ? 2 : 1); ++k) {
      const std::string tail = std::string(1, letter) + (equal_nuclei ? std::string(1, parities[k]) : "");
      const size_t count =
          correlating_levels(parse_shell("1" + tail, equal_nuclei, "SHELLS"), Z1, Z2, equal_nuclei).size();
      for (size_t n = 1; n <= count; ++n) all.push_back(parse_shell(std::to_string(n) + tail, equal_nuclei, "SHELLS"));
    }
  }
  if (all.empty() || !order_by_separated_atoms(all, Z1, Z2, equal_nuclei)) return std::nullopt;
  // One electron is held by the lowest σ orbital, written without a count.
  if (electrons == 1) return Configuration{all.front().name, ""};
  Configuration c;
  int left = electrons;
  for (const Shell& s : all) {
    if (left == 0) break;
    const int q = std::min(left, s.full());
    left -= q;
    c.shells += (c.shells.empty() ? "" : " ") + s.name;
    if (q == s.full()) continue;
    c.shells += std::to_string(q);
    const std::string g_or_u = equal_nuclei ? std::string(1, q % 2 == 1 ? s.parity : 'g') : "";
    c.state = q == 2 ? "3S" + g_or_u + "-" : "2" + std::string(1, "SPD"[s.M]) + g_or_u + (s.M == 0 ? "+" : "");
  }
  if (left > 0) return std::nullopt;
  return c;
}

}  // namespace diatom

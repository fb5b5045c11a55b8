#include "diatom/ionic_states.hpp"

#include <cmath>
#include <cstdio>

#include "diatom/channels.hpp"

namespace diatom {

Molecule ion_of(const Molecule& m, int hole) {
  Molecule ion = m;
  ion.ionised.clear();
  ion.mfpad = {};
  ion.notes.clear();
  ion.electrons = m.electrons - 1;
  Shell& s = ion.shells[static_cast<size_t>(hole)];
  const int left = s.electrons() - 1;
  if (left == 0) {
    ion.shells.erase(ion.shells.begin() + hole);
    ion.open = -1;
    ion.state.clear();
    return ion;
  }
  if (ion.electrons == 1) {
    // One electron: the one-electron equation of its σ orbital, no term.
    s.occupation = 0;
    ion.open = -1;
    ion.state.clear();
    return ion;
  }
  s.occupation = left;
  ion.open = hole;
  const std::string g_or_u = s.parity ? std::string(1, s.parity) : "";
  ion.state = "2" + std::string(1, "SPD"[s.M]) + g_or_u + (s.M == 0 ? "+" : "");
  return ion;
}

bool ion_of_highest_sigma(const Molecule& ion) {
  if (ion.open < 0) return false;
  const Shell& o = ion.shells[static_cast<size_t>(ion.open)];
  if (o.M != 0) return false;
  for (const Shell& s : ion.shells) {
    if (s.same_symmetry(o) && s.n > o.n) return false;
  }
  return true;
}

std::optional<std::string> another_ionic_state(double delta_E, double koopmans) {
  if (delta_E > 0 && std::fabs(delta_E - koopmans) <= 0.3 * koopmans) return std::nullopt;
  char b[200];
  std::snprintf(b, sizeof b,
                "the ion's energy gives an ionisation energy of %.3f eV against Koopmans' %.3f eV (another state "
                "of the ion)",
                delta_E * kHartreeEV, koopmans * kHartreeEV);
  return std::string(b);
}

std::string ion_folder(const std::string& distance, const std::string& name) {
  return (distance.empty() ? "" : distance + "/") + "ion_" + name;
}

std::string ionic_state_label(const Molecule& m, int hole) {
  const Molecule ion = ion_of(m, hole);
  return m.shells[static_cast<size_t>(hole)].name + "^-1 (" + (ion.open < 0 ? std::string("1S+") : ion.state) + ")";
}

}  // namespace diatom

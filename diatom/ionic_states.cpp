#include "diatom/ionic_states.hpp"

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

std::string ion_folder(const std::string& distance, const std::string& name) {
  return (distance.empty() ? "" : distance + "/") + "ion_" + name;
}

std::string ionic_state_label(const Molecule& m, int hole) {
  const Molecule ion = ion_of(m, hole);
  return m.shells[static_cast<size_t>(hole)].name + "^-1 (" + (ion.open < 0 ? std::string("1S+") : ion.state) + ")";
}

}  // namespace diatom

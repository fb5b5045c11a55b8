#include "diatom/open_shell.hpp"

#include <algorithm>

#include "scf/terms.hpp"

namespace diatom {

namespace {

// A one-electron σ shell with closed shells of its symmetry.
bool sigma_among_closed(const Molecule& m) {
  if (m.open < 0) return false;
  const Shell& o = m.shells[static_cast<size_t>(m.open)];
  if (o.M != 0 || o.electrons() != 1) return false;
  return std::any_of(m.shells.begin(), m.shells.end(),
                     [&](const Shell& s) { return &s != &o && !s.open() && s.same_symmetry(o); });
}

}  // namespace

void open_shell_d00(const Molecule& m, scf::ControlGroup& d) {
  const Shell& o = m.shells[m.open];
  d.OPEN = {m.open + 1, o.electrons()};
  d.TERM = m.state;
  const scf::Coupling c = scf::couple(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, scf::open_shell(d));
  std::copy(c.AHF.begin(), c.AHF.end(), d.AHF.begin());
  std::copy(c.BHF.begin(), c.BHF.end(), d.BHF.begin());
  d.MI[1] = 1;
  if (sigma_among_closed(m)) d.IROT = 2;
}

std::optional<Molecule> closed_neighbour(const Molecule& m) {
  if (!sigma_among_closed(m) || m.equal_nuclei || m.Z1 <= 0.0 || m.Z2 <= 0.0) return std::nullopt;
  Molecule n = m;
  (m.Z1 >= m.Z2 ? n.Z1 : n.Z2) += 1.0;
  n.electrons += 1;
  n.shells[static_cast<size_t>(m.open)].occupation = 0;
  n.open = -1;
  n.state.clear();
  n.ionised.clear();
  n.mfpad = {};
  return n;
}

}  // namespace diatom

#include "diatom/open_shell.hpp"

#include <algorithm>

#include "scf/terms.hpp"

namespace diatom {

void open_shell_d00(const Molecule& m, scf::D00& d) {
  const Shell& o = m.shells[m.open];
  d.OPEN = {m.open + 1, o.electrons()};
  d.TERM = m.state;
  const scf::Coupling c = scf::couple(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, scf::open_shell(d));
  std::copy(c.AHF.begin(), c.AHF.end(), d.AHF.begin());
  std::copy(c.BHF.begin(), c.BHF.end(), d.BHF.begin());
  d.MI[1] = 1;
}

}  // namespace diatom

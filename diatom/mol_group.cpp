#include "diatom/mol_group.hpp"

#include "io/unit.hpp"

namespace diatom {

io::Group MOL::group() {
  io::Group g("MOL");
  g.add("TIT", TIT, 65).add("Z1", Z1).add("Z2", Z2).add("RZ", RZ.data(), {kMaxDistances}).add("Q", Q);
  g.add("SHELLS", SHELLS, 120).add("STATE", STATE, 8).add("TOL", TOL).add("CHECK", CHECK).add("NPW", NPW).add("NB", NB);
  g.add("RB", RB).add("START", START);
  g.add("ION", ION, 120).add("EMIN", EMIN).add("EMAX", EMAX).add("DK", DK).add("NK", NK);
  g.add("IPOT", IPOT).add("RPA", RPA).add("ND", ND).add("NL", NL).add("REF", REF, 120);
  g.add("BETA", BETA).add("MFPAD", MFPAD, 120);
  return g;
}

MOL read_mol(const std::string& file) {
  io::Units units;
  io::Unit& u = units.open_old(3, file);
  MOL mol;
  mol.group().read(u);
  return mol;
}

}  // namespace diatom

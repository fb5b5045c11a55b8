#include "diatom/mol_group.hpp"

#include <algorithm>
#include <map>
#include <sstream>

#include "io/unit.hpp"

namespace diatom {

bool MOL::given(const std::string& var) const { return std::find(named.begin(), named.end(), var) != named.end(); }

io::Group MOL::group() {
  io::Group g("MOL");
  g.add("TIT", TIT, 65).add("Z1", Z1).add("Z2", Z2).add("RZ", RZ.data(), {kMaxDistances}).add("Q", Q);
  g.add("SHELLS", SHELLS, 120).add("STATE", STATE, 8).add("TOL", TOL).add("CHECK", CHECK).add("NPW", NPW).add("NB", NB);
  g.add("RB", RB).add("START", START).add("ORDER", ORDER);
  g.add("ION", ION, 120).add("EMIN", EMIN).add("EMAX", EMAX).add("ETOP", ETOP).add("DK", DK).add("NK", NK);
  g.add("IPOT", IPOT).add("RPA", RPA).add("ND", ND).add("NL", NL).add("REF", REF, 120);
  g.add("BETA", BETA)
      .add("STOL", STOL)
      .add("BTOL", BTOL)
      .add("MFPAD", MFPAD, 120)
      .add("VIB", VIB)
      .add("MASS", MASS.data(), {2});
  g.rules({.once = true, .characters = true});
  return g;
}

MOL read_mol(const std::string& file) {
  io::Units units;
  io::Unit& u = units.open_old(3, file);
  MOL mol;
  io::Group g = mol.group();
  g.read(u);
  mol.named = g.named();
  return mol;
}

namespace {

// Each variable's values as the group writes them, by name.
std::map<std::string, std::string> written_values(MOL& m, std::vector<std::string>& order) {
  auto u = io::Unit::to_text("MOL");
  m.group().write(*u);
  std::map<std::string, std::string> out;
  std::istringstream in(u->text());
  std::string name;
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find(" = ");
    const size_t a = line.find_first_not_of(' ');
    if (a == std::string::npos || line[a] == '&' || line[a] == '/') continue;
    if (eq != std::string::npos && line.find_first_of(" ", a) == eq) {
      name = line.substr(a, eq - a);
      order.push_back(name);
      out[name] = line.substr(eq + 3);
    } else if (!name.empty()) {
      out[name] += " " + line.substr(a);
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> mol_differences(MOL a, MOL b, const std::string& name_a, const std::string& name_b) {
  std::vector<std::string> order, ignored;
  const std::map<std::string, std::string> va = written_values(a, order), vb = written_values(b, ignored);
  std::vector<std::string> out;
  for (const std::string& name : order) {
    std::string x = va.at(name), y = vb.at(name);
    if (x == y) continue;
    for (std::string* v : {&x, &y}) {
      if (!v->empty() && v->back() == ',') v->pop_back();
    }
    out.push_back(name + " = " + x + " in '" + name_a + "', " + y + " in '" + name_b + "'");
  }
  return out;
}

}  // namespace diatom

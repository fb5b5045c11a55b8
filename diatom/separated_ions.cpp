#include "diatom/separated_ions.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "diatom/shell_order.hpp"
#include "io/unit.hpp"
#include "lib/orbital_file.hpp"

namespace diatom {

namespace {

// A level of one of the two atoms: its energy, the atom (0 or 1) and its ℓ.
struct AtomLevel {
  double energy;
  int atom, l;
};

// The levels of both atoms that correlate with a shell of projection M
// (an s level with σ, a p level with σ and π), lowest first.
std::vector<AtomLevel> levels_of_symmetry(const Molecule& m, int M) {
  std::vector<AtomLevel> out;
  for (int a = 0; a < 2; ++a) {
    for (const AtomicLevel& l : atomic_levels(a == 0 ? m.Z1 : m.Z2))
      if (l.l >= M) out.push_back({l.energy, a, l.l});
  }
  std::sort(out.begin(), out.end(), [](const AtomLevel& x, const AtomLevel& y) { return x.energy < y.energy; });
  return out;
}

// Whether the molecule is one the start is made for (see the header).
bool wants_ions(const Molecule& m) {
  return !m.equal_nuclei && m.open < 0 && m.Z1 > 0.0 && m.Z2 > 0.0 && std::max(m.Z1, m.Z2) >= kSecondRowZ &&
         !atomic_levels(m.Z1).empty() && !atomic_levels(m.Z2).empty();
}

}  // namespace

std::optional<SeparatedIons> separated_ions(const Molecule& m) {
  if (!wants_ions(m)) return std::nullopt;
  // Each shell's level: the n-th lowest of its symmetry.
  std::vector<AtomLevel> level;
  for (const Shell& s : m.shells) {
    if (s.M > 1 || s.empty) return std::nullopt;
    const std::vector<AtomLevel> l = levels_of_symmetry(m, s.M);
    if (s.n > static_cast<int>(l.size())) return std::nullopt;
    level.push_back(l[static_cast<size_t>(s.n) - 1]);
  }
  // On each atom its shells of one symmetry are numbered in the order of
  // their levels: Al⁺ of AlF holds 1σ, 3σ, 4σ, 7σ and 1π as 1s, 2s, 3s, 4s, 1p.
  SeparatedIons ions;
  std::vector<std::string> name(m.shells.size());
  for (int a = 0; a < 2; ++a) {
    Molecule& ion = ions.ion[static_cast<size_t>(a)];
    ion.Z1 = a == 0 ? m.Z1 : m.Z2;
    ion.RZ = m.RZ;
    for (int M = 0; M <= 1; ++M) {
      std::vector<std::pair<double, size_t>> mine;
      for (size_t i = 0; i < m.shells.size(); ++i)
        if (level[i].atom == a && m.shells[i].M == M) mine.push_back({level[i].energy, i});
      std::sort(mine.begin(), mine.end());
      for (size_t k = 0; k < mine.size(); ++k) {
        name[mine[k].second] = std::to_string(k + 1) + (M == 0 ? "s" : "p");
        ion.shells.push_back(parse_shell(name[mine[k].second], false, "SHELLS"));
        ion.electrons += ion.shells.back().full();
      }
    }
    if (ion.electrons == 0 || ion.Z1 - ion.electrons < -1.0) return std::nullopt;
    order_by_separated_atoms(ion.shells, ion.Z1, 0.0, false);
  }
  for (size_t i = 0; i < m.shells.size(); ++i) {
    ions.atom.push_back(level[i].atom);
    ions.shell.push_back(ions.ion[static_cast<size_t>(level[i].atom)].find_shell(name[i]));
  }
  return ions;
}

std::string ion_label(const SeparatedIons& s, int a) {
  static constexpr const char* kSymbol[] = {"H",  "He", "Li", "Be", "B",  "C", "N", "O",  "F",
                                            "Ne", "Na", "Mg", "Al", "Si", "P", "S", "Cl", "Ar"};
  const Molecule& ion = s.ion[static_cast<size_t>(a)];
  const long q = std::lround(s.charge(a));
  std::string t = kSymbol[std::lround(ion.Z1) - 1];
  if (q != 0) t += (std::labs(q) > 1 ? std::to_string(std::labs(q)) : std::string()) + (q > 0 ? "+" : "-");
  t += " (";
  for (size_t i = 0; i < ion.shells.size(); ++i) t += (i ? " " : "") + ion.shells[i].name;
  return t + ") on nucleus " + std::to_string(a + 1);
}

namespace {

// The orbitals of one ion's result file: its group and the NB × Σn values
// of its waves, shell by shell.
struct IonOrbitals {
  scf::ControlGroup g;
  std::vector<int> LK;  // first column of each shell (1-based)
  std::vector<double> E, CN, words;
};

IonOrbitals read_ion(const std::string& file, const scf::ControlGroup& d) {
  io::Units units;
  io::Unit& u = units.open_old(10, file);
  IonOrbitals o;
  o.g.group().read(u);
  const scf::ControlGroup& g = o.g;
  if (g.NA != d.NA || g.NB != d.NB || g.RP[0] != d.RP[0] || g.RP[1] != d.RP[1] || g.RZ != d.RZ) {
    u.fail("the ion's orbitals lie on another grid or distance than the molecule's run (NB = " + std::to_string(g.NB) +
           " against " + std::to_string(d.NB) + ")");
  }
  o.LK.push_back(1);
  std::vector<int> NW;
  for (int I = 1; I <= g.NSH; ++I) {
    if (g.n(I) != d.n(1))
      u.fail("shell " + std::to_string(I) + " of the ion has other partial waves than the molecule's");
    NW.push_back(g.n(I));
    o.LK.push_back(o.LK.back() + g.n(I));
  }
  o.E.resize(static_cast<size_t>(g.NSH));
  o.CN.resize(static_cast<size_t>(g.NSH));
  const int cols = o.LK.back() - 1;
  o.words.assign(static_cast<size_t>(g.NB) * static_cast<size_t>(cols), 0.0);
  lib::read_orbital_block(g.NB, lib::CIVec(o.LK.data(), g.NSH), lib::Vec(o.E.data(), g.NSH),
                          lib::Vec(o.CN.data(), g.NSH), lib::Mat(o.words.data(), g.NB, cols), u,
                          lib::CIVec(NW.data(), g.NSH));
  return o;
}

}  // namespace

void write_ions_start(const SeparatedIons& s, const scf::ControlGroup& d, const std::array<std::string, 2>& results,
                      const std::string& file) {
  const std::array<IonOrbitals, 2> ion{read_ion(results[0], d), read_ion(results[1], d)};
  const int NSH = d.NSH, NB = d.NB;
  std::vector<int> LK{1};
  for (int I = 1; I <= NSH; ++I) LK.push_back(LK.back() + d.n(I));
  std::vector<double> E(static_cast<size_t>(NSH)), CN(static_cast<size_t>(NSH));
  std::vector<double> words(static_cast<size_t>(NB) * static_cast<size_t>(LK.back() - 1));
  const lib::Mat X(words.data(), NB, LK.back() - 1);
  for (int I = 1; I <= NSH; ++I) {
    const int a = s.atom[static_cast<size_t>(I - 1)];
    const IonOrbitals& o = ion[static_cast<size_t>(a)];
    const size_t J = static_cast<size_t>(s.shell[static_cast<size_t>(I - 1)]);
    E[static_cast<size_t>(I - 1)] = o.E[J];
    CN[static_cast<size_t>(I - 1)] = o.CN[J];
    for (int k = 0; k < d.n(I); ++k) {
      // Wave k of projection M has the parity (−1)^k in η about the
      // midplane: the second ion, solved on focus 1, is carried to focus 2.
      const double sign = a == 1 && k % 2 == 1 ? -1.0 : 1.0;
      const double* from = o.words.data() + static_cast<size_t>(o.LK[J] - 1 + k) * static_cast<size_t>(NB);
      for (int r = 1; r <= NB; ++r) X(r, LK[static_cast<size_t>(I - 1)] + k) = sign * from[r - 1];
    }
  }
  io::Units units;
  io::Unit& u = units.open_new(20, file);
  scf::ControlGroup header = d;
  header.group(true).write(u);
  lib::write_orbital_block(NSH, NB, lib::CIMat(d.MLN.data(), 3, scf::kMaxShells), lib::CIVec(LK.data(), NSH),
                           lib::CVec(E.data(), NSH), lib::CVec(CN.data(), NSH), X, u);
  units.close(20);
}

}  // namespace diatom

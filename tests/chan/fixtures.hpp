// Shared set-ups of the channel-file tests: one-electron targets whose
// ground state is the exact bound state of the bare nuclei on the grid of
// the photoionisation programs, and the cross sections that xsect forms from
// a block of continuum functions (dipole_length and dipole_velocity summed over solutions).
#pragma once

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "chan/channel.hpp"
#include "io/console.hpp"
#include "io/unit.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/dipole_elements.hpp"
#include "lib/ground_state.hpp"
#include "lib/orbital_file.hpp"

namespace chantest {

using namespace chan;

// Silences the console (the kernels trace every element) for its lifetime
// and restores whatever streams were in use before.
class Quiet {
 public:
  Quiet() : in_(io::console().in()), out_(io::console().out()) { io::console().redirect(&in_, &sink_); }
  ~Quiet() { io::console().redirect(&in_, &out_); }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  std::istream& in_;
  std::ostream& out_;
  std::ostringstream sink_;
};

// A one-electron target: charges, distance, grid, and its lowest σ state.
struct Target {
  Molecule mol;
  Grid grid;
  Waves shell;
  double E1 = 0.0;
  std::vector<double> x;  // (NB, n), stored form, normalised
  lib::CMat X() const { return lib::CMat(x.data(), grid.NB, shell.n); }
};

inline Target make_target(double Z1, double Z2, double RZ, int n, int NB, double RP1, double RP2) {
  Quiet q;
  Target t;
  t.mol = Molecule{Z1, Z2, RZ};
  std::array<double, 10> RP{};
  RP[0] = RP1;
  RP[1] = RP2;
  t.grid = make_grid(kNA, NB, RP);
  t.shell = Waves{0, 0, n, momentum_step(Z1, Z2)};
  const auto states = bare_bound_states(t.mol, t.shell, 1, -0.01);
  t.E1 = states.at(0).E;
  t.x.assign(static_cast<size_t>(NB) * static_cast<size_t>(n), 0.0);
  bare_bound_waves(t.grid, t.mol, t.shell, states[0], lib::Mat(t.x.data(), NB, n));
  return t;
}

// The ground-state file of the target: group S00 and its orbital block.
inline std::string ground_state_text(const Target& t) {
  lib::GroundStateGroup s;
  s.Z1 = t.mol.Z1;
  s.Z2 = t.mol.Z2;
  s.RZ = t.mol.RZ;
  s.NSH = 1;
  s.MLN[0] = t.shell.M;
  s.MLN[1] = t.shell.L0;
  s.MLN[2] = t.shell.n;
  s.NA = t.grid.NA;
  s.NB = t.grid.NB;
  s.RP = t.grid.RP;
  std::string fil;
  std::array<std::string, 10> fir{};
  auto u = io::Unit::to_text("gs");
  s.group(fil, fir).write(*u);
  const int mln[3] = {t.shell.M, t.shell.L0, t.shell.n}, lk[1] = {1};
  const double e[1] = {t.E1}, cn[1] = {1.0};
  lib::write_orbital_block(1, t.grid.NB, lib::CIMat(mln, 3, 1), lib::CIVec(lk, 1), lib::CVec(e, 1), lib::CVec(cn, 1),
                           t.X(), *u);
  return u->text();
}

// A closed shell of two frozen orbitals, the lowest σg and σu states of the
// bare nuclei Z1 = Z2 = Z: the ground-state file text, and the σu orbital
// (stored form, normalised) in xu.
inline std::string closed_shell_text(const Target& g, std::vector<double>& xu) {
  Quiet q;
  const int NB = g.grid.NB, n = g.shell.n;
  const Waves su{0, 1, n, 2};
  const BoundState bu = bare_bound_states(g.mol, su, 1, -0.01).at(0);
  xu.assign(static_cast<size_t>(NB) * static_cast<size_t>(n), 0.0);
  bare_bound_waves(g.grid, g.mol, su, bu, lib::Mat(xu.data(), NB, n));
  lib::GroundStateGroup s;
  s.Z1 = g.mol.Z1;
  s.Z2 = g.mol.Z2;
  s.RZ = g.mol.RZ;
  s.NSH = 2;
  s.MLN = {0, 0, n, 0, 1, n};
  s.NA = g.grid.NA;
  s.NB = NB;
  s.RP = g.grid.RP;
  std::string fil;
  std::array<std::string, 10> fir{};
  auto u = io::Unit::to_text("gs");
  s.group(fil, fir).write(*u);
  std::vector<double> x(g.x);
  x.insert(x.end(), xu.begin(), xu.end());
  const int mln[6] = {0, 0, n, 0, 1, n}, lk[2] = {1, n + 1};
  const double e[2] = {g.E1, bu.E}, cn[2] = {1.0, 1.0};
  lib::write_orbital_block(2, NB, lib::CIMat(mln, 3, 2), lib::CIVec(lk, 2), lib::CVec(e, 2), lib::CVec(cn, 2),
                           lib::CMat(x.data(), NB, 2 * n), *u);
  return u->text();
}

// A ground state of frozen orbitals, each the lowest bound state of the
// target's bare nuclei with the waves of its shell (shells of distinct
// symmetry, so that they are orthogonal): the ground-state file text.
inline std::string bare_orbitals_text(const Target& g, const std::vector<Waves>& shells) {
  Quiet q;
  const int NB = g.grid.NB, nsh = static_cast<int>(shells.size());
  lib::GroundStateGroup s;
  s.Z1 = g.mol.Z1;
  s.Z2 = g.mol.Z2;
  s.RZ = g.mol.RZ;
  s.NSH = nsh;
  s.NA = g.grid.NA;
  s.NB = NB;
  s.RP = g.grid.RP;
  std::vector<int> mln, lk;
  std::vector<double> x, e, cn;
  for (const Waves& w : shells) {
    const BoundState b = bare_bound_states(g.mol, w, 1, -0.01).at(0);
    std::vector<double> xs(static_cast<size_t>(NB) * static_cast<size_t>(w.n));
    bare_bound_waves(g.grid, g.mol, w, b, lib::Mat(xs.data(), NB, w.n));
    lk.push_back(static_cast<int>(x.size()) / NB + 1);
    x.insert(x.end(), xs.begin(), xs.end());
    mln.insert(mln.end(), {w.M, w.L0, w.n});
    e.push_back(b.E);
    cn.push_back(1.0);
  }
  for (size_t i = 0; i < mln.size(); ++i) s.MLN[i] = mln[i];
  std::string fil;
  std::array<std::string, 10> fir{};
  auto u = io::Unit::to_text("gs");
  s.group(fil, fir).write(*u);
  lib::write_orbital_block(nsh, NB, lib::CIMat(mln.data(), 3, nsh), lib::CIVec(lk.data(), nsh),
                           lib::CVec(e.data(), nsh), lib::CVec(cn.data(), nsh),
                           lib::CMat(x.data(), NB, static_cast<int>(x.size()) / NB), *u);
  return u->text();
}

// The ground state read from the text of its file.
inline GroundState ground_state_of(const std::string& text) {
  auto u = io::Unit::from_text("gs", text);
  GroundState gs;
  read_ground_state(*u, gs);
  return gs;
}

// Σ over the NL solutions of the length- and velocity-form cross sections,
// with the constants of xsect (two electrons in the shell).
struct Sigma {
  double L = 0.0, V = 0.0;
};

inline Sigma channel_sigma(const Target& t, const Waves& final, const Block& b) {
  Quiet q;
  const Grid& g = t.grid;
  const int NB = g.NB;
  std::array<double, 81> fc{};
  lib::fill_factorials(80, lib::VecView<double, 0>(fc.data(), 81));
  const lib::Fac F(fc.data(), 81);
  std::vector<double> pqv(static_cast<size_t>(NB) * 4), z(static_cast<size_t>(NB));
  const double CD = 2.0 * std::sqrt(1.047197665619469);
  const double RZ = t.mol.RZ;
  Sigma s;
  for (int i = 1; i <= b.NL; ++i) {
    double dr[3];
    const lib::CMat X2 = b.x(NB).colsFrom((i - 1) * b.NX + 1, b.NX);
    const lib::DipoleTransition tr{lib::PartialWaves{{t.shell.M, t.shell.L0, t.shell.n, t.shell.KD}, t.X()},
                                   lib::PartialWaves{{final.M, final.L0, b.NX, t.shell.KD}, X2}, t.E1, b.E, CD};
    const lib::DipoleWork work{lib::Mat(pqv.data(), NB, 4), lib::Vec(z.data(), NB)};
    s.L += lib::dipole_length(g.radial(), g.R(), F, tr, std::pow(0.5 * RZ, 4), work, lib::Vec(dr, 3));
    s.V += lib::dipole_velocity(g.radial(), g.RV(), F, tr, RZ * RZ / 8.0, work, lib::Vec(dr, 3));
  }
  return s;
}

}  // namespace chantest

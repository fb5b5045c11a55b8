// The bare nuclei: the exact continuum of the two centres at one momentum,
// and their bound states, as blocks and functions on the grid (the
// separated solutions of chan/spheroidal).
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "chan/channel.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"

namespace chan {

namespace {

Symmetry bare_symmetry(const Molecule& mol, const Waves& w) {
  Symmetry s;
  s.M = w.M;
  s.L0 = w.L0;
  s.KD = w.KD;
  s.n = w.n;
  s.ZP = (mol.Z1 + mol.Z2) * mol.RZ;
  s.ZM = w.KD == 2 ? 0.0 : (mol.Z2 - mol.Z1) * mol.RZ;
  s.RZ = mol.RZ;
  return s;
}

}  // namespace

void bare_block(const Grid& grid, const Molecule& mol, const Waves& w, double k, int NL, Block& b) {
  const int NB = grid.NB, n = w.n;
  b.k = k;
  b.E = 0.5 * k * k;
  b.NL = NL;
  b.NX = n;
  b.X.assign(static_cast<size_t>(NB) * static_cast<size_t>(NL * n), 0.0);
  b.AC.assign(static_cast<size_t>(n * NL), 0.0);
  b.AS = b.AC;
  b.lam.assign(static_cast<size_t>(NL), 0.0);
  b.phase = b.lam;

  const Symmetry sym = bare_symmetry(mol, w);
  const double c2 = 0.5 * mol.RZ * mol.RZ * b.E;
  std::array<double, kMaxWaves * kMaxWaves> a{}, u{};
  std::array<double, kMaxWaves> lam{};
  Mat A(a.data(), n, n), U(u.data(), n, n);
  angular_matrix(w.M, w.L0, w.KD, n, sym.ZM, c2, A);
  symmetric_eigen(n, A, Vec(lam.data(), n), U);

  std::vector<double> rs(static_cast<size_t>(NB));
  lib::Mat X = b.x(NB);
  for (int i = 1; i <= NL; ++i) {
    Radial rp;
    rp.m = w.M;
    rp.lam = lam[static_cast<size_t>(i - 1)];
    rp.ZP = sym.ZP;
    rp.c2 = c2;
    rp.RZ = mol.RZ;
    double delta = 0.0, xfar = 0.0;
    regular_continuum(rp, grid.xi(), Vec(rs.data(), NB), delta, xfar);
    for (int p = 1; p <= n; ++p) {
      for (int j = 1; j <= NB; ++j) X(j, (i - 1) * n + p) = U(p, i) * rs[static_cast<size_t>(j - 1)] / grid.scale(j);
      b.AS[static_cast<size_t>((i - 1) * n + p - 1)] = U(p, i) * std::cos(delta);
      b.AC[static_cast<size_t>((i - 1) * n + p - 1)] = U(p, i) * std::sin(delta);
    }
    b.lam[static_cast<size_t>(i - 1)] = rp.lam;
    b.phase[static_cast<size_t>(i - 1)] = delta;
  }
}

std::vector<BoundState> bare_bound_states(const Molecule& mol, const Waves& w, int count, double Emax) {
  const Symmetry sym = bare_symmetry(mol, w);
  std::vector<BoundState> found;
  auto full_above = [&](double E) {
    return static_cast<int>(found.size()) >= count && E > found[static_cast<size_t>(count - 1)].E;
  };
  for (int index = 1; index <= w.n && count > 0; ++index) {
    for (int nodes = 0; nodes < count; ++nodes) {
      BoundState b;
      if (!find_bound(sym, index, nodes, Emax, b)) break;
      if (full_above(b.E)) break;
      found.push_back(b);
      std::sort(found.begin(), found.end(), [](const BoundState& x, const BoundState& y) { return x.E < y.E; });
    }
    // Higher angular indices lie higher at equal node count.
    BoundState lowest;
    if (index < w.n && static_cast<int>(found.size()) >= count) {
      if (!find_bound(sym, index + 1, 0, Emax, lowest) || full_above(lowest.E)) break;
    }
  }
  if (static_cast<int>(found.size()) > count) found.resize(static_cast<size_t>(count));
  return found;
}

void bare_bound_waves(const Grid& grid, const Molecule& mol, const Waves& w, const BoundState& b, lib::Mat X) {
  const Symmetry sym = bare_symmetry(mol, w);
  std::vector<double> rs(static_cast<size_t>(grid.NB));
  std::array<double, kMaxWaves> s{};
  bound_function(sym, b, grid.xi(), Vec(rs.data(), grid.NB), Vec(s.data(), w.n));
  for (int p = 1; p <= w.n; ++p)
    for (int j = 1; j <= grid.NB; ++j)
      X(j, p) = s[static_cast<size_t>(p - 1)] * rs[static_cast<size_t>(j - 1)] / grid.scale(j);
}

void bare_extra_functions(const Grid& grid, const GroundState& gs, const Molecule& mol, const Waves& w, int ND,
                          double Emax, lib::Mat X, Vec E) {
  std::vector<int> occupied;
  for (int s = 1; s <= gs.NSH(); ++s)
    if (same_symmetry(gs.shell(s, w.KD), w)) occupied.push_back(s);
  const auto states = bare_bound_states(mol, w, ND + static_cast<int>(occupied.size()), Emax);
  std::vector<double> t(static_cast<size_t>(grid.NB) * static_cast<size_t>(w.n));
  lib::Mat T(t.data(), grid.NB, w.n);
  int d = 0;
  for (const auto& b : states) {
    if (d == ND) break;
    bare_bound_waves(grid, mol, w, b, T);
    bool is_occupied = false;
    for (int s : occupied) {
      const Waves ws = gs.shell(s, w.KD);
      const double ns = overlap(grid, mol.RZ, ws, gs.waves(s), ws, gs.waves(s));
      const double o = overlap(grid, mol.RZ, w, T, ws, gs.waves(s));
      if (std::fabs(o) > 0.5 * std::sqrt(std::fabs(ns))) is_occupied = true;
    }
    if (is_occupied) continue;
    ++d;
    for (int p = 1; p <= w.n; ++p)
      for (int i = 1; i <= grid.NB; ++i) X(i, (d - 1) * w.n + p) = T(i, p);
    E(d) = b.E;
  }
  if (d < ND) {
    io::stop("chanfile: only " + std::to_string(d) + " unoccupied bound states of the final symmetry lie below EMX = " +
             io::lstring(Emax) + "; ND asks for " + std::to_string(ND));
  }
}

}  // namespace chan

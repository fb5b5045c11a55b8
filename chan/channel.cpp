#include "chan/channel.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/format.hpp"
#include "io/listdir.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"
#include "photo/kernels/kernels.hpp"

namespace chan {

Grid make_grid(int NA, int NB, const std::array<double, 10>& RP) {
  Grid g;
  g.NA = NA;
  g.NB = NB;
  g.RP = RP;
  const size_t nb = static_cast<size_t>(NB);
  g.r.assign(nb * 8, 0.0);
  g.rv.assign(nb * 8, 0.0);
  lib::Mat R(g.r.data(), NB, 8), RV(g.rv.data(), NB, 8);
  photo::HAFI2(NA, NB, g.HA, g.HB, CVec(RP.data(), 10), R);
  photo::HAFV2(NA, NB, g.HA, g.HB, CVec(RP.data(), 10), RV);
  const size_t na = static_cast<size_t>(NA);
  g.aa.assign(na * kProjections, 0.0);
  g.bb = g.aa;
  g.vv = g.aa;
  g.uu.assign(na * (na + 1), 0.0);
  g.g.assign(2 * kProjections, 0.0);
  g.bz.assign(5, 0.0);
  lib::HAFA0(NA, NB, kProjections, RP[0], g.HA, R, lib::Mat(g.aa.data(), NA, kProjections),
             lib::Mat(g.bb.data(), NA, kProjections), lib::Mat(g.uu.data(), NA, NA + 1),
             lib::Mat(g.vv.data(), NA, kProjections), lib::Mat(g.g.data(), 2, kProjections), Vec(g.bz.data(), 5));
  g.ww.assign(g.uu.begin(), g.uu.begin() + static_cast<long>(na * na));
  double det = 0.0;
  lib::INVM(NA, det, lib::Mat(g.ww.data(), NA, NA));
  g.CH = 12.0 / (g.HB * g.HB);
  g.xs.resize(nb);
  for (int i = 1; i <= NB; ++i) {
    g.xs[static_cast<size_t>(i - 1)] = R(i, 1);
    if (i > 1)
      g.xs[static_cast<size_t>(i - 1)] = std::max(g.xs[static_cast<size_t>(i - 1)], g.xs[static_cast<size_t>(i - 2)]);
  }
  return g;
}

Waves GroundState::shell(int s, int KD) const {
  Waves w;
  w.M = s00.MLN[static_cast<size_t>(3 * (s - 1))];
  w.L0 = s00.MLN[static_cast<size_t>(3 * (s - 1) + 1)];
  w.n = s00.MLN[static_cast<size_t>(3 * (s - 1) + 2)];
  w.KD = KD;
  return w;
}

lib::CMat GroundState::waves(int s) const {
  const int n = s00.MLN[static_cast<size_t>(3 * (s - 1) + 2)];
  return lib::CMat(X.data() + static_cast<size_t>(LK[static_cast<size_t>(s - 1)] - 1) * static_cast<size_t>(NB()), NB(),
                   n);
}

void read_ground_state(io::Unit& u, GroundState& gs) {
  photo::S00& s = gs.s00;
  s.group(gs.FIL, gs.FIR).read(u);
  photo::check_ground_state(s, u.name());
  for (int i = 1; i <= s.NSH; ++i) {
    if (s.MLN[static_cast<size_t>(3 * (i - 1) + 2)] > kMaxWaves) {
      io::stop("file '" + u.name() + "', group &S00, variable MLN(·," + std::to_string(i) +
               "): a shell takes 1 to " + std::to_string(kMaxWaves) + " partial waves");
    }
  }
  gs.LK.assign(static_cast<size_t>(s.NSH) + 1, 1);
  for (int i = 1; i <= s.NSH; ++i)
    gs.LK[static_cast<size_t>(i)] = gs.LK[static_cast<size_t>(i - 1)] + s.MLN[static_cast<size_t>(3 * (i - 1) + 2)];
  const int NKS = gs.LK.back() - 1;
  gs.E.assign(static_cast<size_t>(s.NSH), 0.0);
  gs.CN.assign(static_cast<size_t>(s.NSH), 0.0);
  gs.X.assign(static_cast<size_t>(s.NB) * static_cast<size_t>(NKS), 0.0);
  std::vector<int> NW(static_cast<size_t>(s.NSH));
  for (int i = 1; i <= s.NSH; ++i) NW[static_cast<size_t>(i - 1)] = s.MLN[static_cast<size_t>(3 * (i - 1) + 2)];
  lib::REFB(s.NB, CIVec(gs.LK.data(), s.NSH), Vec(gs.E.data(), s.NSH), Vec(gs.CN.data(), s.NSH),
            lib::Mat(gs.X.data(), s.NB, NKS), u, CIVec(NW.data(), s.NSH));
}

int momentum_step(double Z1, double Z2) { return std::fabs(Z1 - Z2) <= 0.001 ? 2 : 1; }

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

bool same_symmetry(const Waves& s, const Waves& w) { return s.M == w.M && (w.KD == 1 || (s.L0 - w.L0) % 2 == 0); }

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

double overlap(const Grid& grid, double RZ, const Waves& w1, lib::CMat X1, const Waves& w2, lib::CMat X2) {
  const int NB = grid.NB, NA = grid.NA;
  lib::CMat R = grid.R();
  std::vector<double> f(static_cast<size_t>(NB), 0.0);
  if (w1.M == w2.M) {
    for (int p = 1; p <= w1.n; ++p) {
      for (int q = 1; q <= w2.n; ++q) {
        const int Lp = w1.L(p), Lq = w2.L(q);
        const double t = eta2(Lp, Lq, w1.M);
        if (Lp != Lq && t == 0.0) continue;
        for (int j = 1; j <= NB; ++j) {
          const double wgt = (Lp == Lq ? R(j, 2) : 0.0) - t;
          f[static_cast<size_t>(j - 1)] += X1(j, p) * X2(j, q) * wgt * R(j, 7);
        }
      }
    }
  }
  const double half = 0.5 * RZ;
  CVec F(f.data(), NB);
  return half * half * half *
         (lib::FINS(NA, grid.HA, F.sub(1, NA)) + lib::FINS(NB - NA, grid.HB, F.sub(NA + 1, NB - NA)));
}

void write_channel_header(io::Unit& u, int NSI, double P0, double DP, int NC, const Waves& w) {
  io::lwrite(u, NSI, P0, DP);
  static const io::Format f("(I5,/,3I4)");
  io::fwrite(u, f, NC, w.M, w.L0, w.n);
}

void write_block(io::Unit& u, int NB, const Block& b) {
  static const io::Format header("(I5,5X,I5,5X,E16.9)");
  static const io::Format index("(I7)");
  static const io::Format amplitudes("(4E15.6)");
  static const io::Format radial("(5E16.9)");
  io::fwrite(u, header, b.NL, b.NX, b.E);
  lib::CMat X = b.x(NB);
  for (int JL = 1; JL <= b.NL; ++JL) {
    io::fwrite(u, index, JL);
    io::fwrite(u, amplitudes, CVec(b.AC.data() + static_cast<size_t>((JL - 1) * b.NX), b.NX));
    io::fwrite(u, amplitudes, CVec(b.AS.data() + static_cast<size_t>((JL - 1) * b.NX), b.NX));
    for (int K = 1; K <= b.NX; ++K) io::fwrite(u, radial, X.col((JL - 1) * b.NX + K));
  }
}

}  // namespace chan

#include "chan/channel.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/orbital_file.hpp"
#include "lib/quadrature.hpp"
#include "lib/radial_solver.hpp"
#include "lib/two_region_grid.hpp"
#include "lib/vector_kernels.hpp"

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
  lib::length_form_grid(NA, NB, g.HA, g.HB, CVec(RP.data(), 10), R);
  lib::velocity_form_grid(NA, NB, g.HA, g.HB, CVec(RP.data(), 10), RV);
  const size_t na = static_cast<size_t>(NA);
  g.aa.assign(na * kProjections, 0.0);
  g.bb = g.aa;
  g.vv = g.aa;
  g.uu.assign(na * (na + 1), 0.0);
  g.g.assign(2 * kProjections, 0.0);
  g.bz.assign(5, 0.0);
  lib::inner_series_tables(
      NA, NB, kProjections, RP[0], g.HA, R,
      lib::SeriesTablesOut{lib::Mat(g.g.data(), 2, kProjections), lib::Mat(g.aa.data(), NA, kProjections),
                           lib::Mat(g.bb.data(), NA, kProjections), lib::Mat(g.vv.data(), NA, kProjections),
                           lib::Mat(g.uu.data(), NA, NA + 1), Vec(g.bz.data(), 5)});
  g.ww.assign(g.uu.begin(), g.uu.begin() + static_cast<long>(na * na));
  double det = 0.0;
  lib::invert_in_place(NA, det, lib::Mat(g.ww.data(), NA, NA));
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
  lib::GroundStateGroup& s = gs.s00;
  s.group(gs.FIL, gs.FIR).read(u);
  lib::check_ground_state(s, u.name());
  for (int i = 1; i <= s.NSH; ++i) {
    if (s.MLN[static_cast<size_t>(3 * (i - 1) + 2)] > kMaxWaves) {
      io::stop("file '" + u.name() + "', group &S00, variable MLN(·," + std::to_string(i) + "): a shell takes 1 to " +
               std::to_string(kMaxWaves) + " partial waves");
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
  lib::read_orbital_block(s.NB, CIVec(gs.LK.data(), s.NSH), Vec(gs.E.data(), s.NSH), Vec(gs.CN.data(), s.NSH),
                          lib::Mat(gs.X.data(), s.NB, NKS), u, CIVec(NW.data(), s.NSH));
}

int momentum_step(double Z1, double Z2) { return std::fabs(Z1 - Z2) <= 0.001 ? 2 : 1; }

bool same_symmetry(const Waves& s, const Waves& w) { return s.M == w.M && (w.KD == 1 || (s.L0 - w.L0) % 2 == 0); }

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
         (lib::simpson_rule(NA, grid.HA, F.sub(1, NA)) + lib::simpson_rule(NB - NA, grid.HB, F.sub(NA + 1, NB - NA)));
}

}  // namespace chan

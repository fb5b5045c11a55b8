#include "chan/static_exchange.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "chan/coupled.hpp"
#include "io/format.hpp"
#include "io/listdir.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"
#include "scf/equations.hpp"

namespace chan {

double ion_charge(const GroundState& gs, const Molecule& mol) {
  double N = 0.0;
  for (int s = 1; s <= gs.NSH(); ++s) N += gs.shell(s, 1).M == 0 ? 2.0 : 4.0;
  return mol.Z1 + mol.Z2 - N + 1.0;
}

namespace {

// The partial waves of shell `s` on the wave set `w` (waves of equal L;
// those the set lacks are dropped), divided by sqrt(norm).
void on_waves(const Grid& g, const Waves& ws, lib::CMat Xs, const Waves& w, double scale, lib::Mat X) {
  for (int p = 1; p <= w.n; ++p) {
    const int q = (w.L(p) - ws.L0) % ws.KD == 0 ? (w.L(p) - ws.L0) / ws.KD + 1 : 0;
    for (int i = 1; i <= g.NB; ++i) X(i, p) = (q >= 1 && q <= ws.n) ? Xs(i, q) * scale : 0.0;
  }
}

// Inverse of a small matrix (column-major, n × n) through the LU factors of
// its row-equilibrated form: A⁻¹ = (D·A)⁻¹·D, D = diag(1/max_j |A(i,j)|).
// The amplitudes of inner-normalised solutions span many orders of magnitude
// from channel to channel (tunnelling growth); the scaling keeps partial
// pivoting meaningful.
std::vector<double> inverse(int n, std::vector<double> a) {
  std::vector<double> d(static_cast<size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      d[static_cast<size_t>(i)] = std::max(d[static_cast<size_t>(i)], std::fabs(a[static_cast<size_t>(j * n + i)]));
    d[static_cast<size_t>(i)] = d[static_cast<size_t>(i)] > 0.0 ? 1.0 / d[static_cast<size_t>(i)] : 1.0;
    for (int j = 0; j < n; ++j) a[static_cast<size_t>(j * n + i)] *= d[static_cast<size_t>(i)];
  }
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  std::vector<double> inv(static_cast<size_t>(n * n), 0.0);
  for (int j = 0; j < n; ++j) {
    inv[static_cast<size_t>(j * n + j)] = d[static_cast<size_t>(j)];
    lu_solve(n, a.data(), piv.data(), inv.data() + j * n);
  }
  return inv;
}

// Result of a GMRES solve: iterations and the relative residual |b − A·x|/|b|.
struct Krylov {
  int iterations = 0;
  double residual = 0.0;
};

// Solves A·x = b by GMRES (Arnoldi with modified Gram–Schmidt, Givens
// rotations, no restart) from x = 0: at most maxit products y = A·v through
// `apply`, stopping when the residual, which GMRES minimises over the Krylov
// space, falls below tol·|b|.  Exact after N steps in exact arithmetic.
template <class Apply>
Krylov gmres(int N, const double* b, double* x, int maxit, double tol, Apply&& apply) {
  const size_t n = static_cast<size_t>(N);
  Krylov out;
  std::fill(x, x + n, 0.0);
  double beta = 0.0;
  for (size_t e = 0; e < n; ++e) beta += b[e] * b[e];
  beta = std::sqrt(beta);
  if (beta == 0.0) return out;
  const size_t mx = static_cast<size_t>(std::max(maxit, 1));
  std::vector<double> V((mx + 1) * n), H((mx + 1) * mx, 0.0), cs(mx), sn(mx), g(mx + 1, 0.0);
  for (size_t e = 0; e < n; ++e) V[e] = b[e] / beta;
  g[0] = beta;
  out.residual = 1.0;
  size_t m = 0;
  for (; m < mx; ++m) {
    double* w = &V[(m + 1) * n];
    apply(&V[m * n], w);
    double* h = &H[m * (mx + 1)];
    for (size_t i = 0; i <= m; ++i) {
      const double* vi = &V[i * n];
      double c = 0.0;
      for (size_t e = 0; e < n; ++e) c += vi[e] * w[e];
      h[i] = c;
      for (size_t e = 0; e < n; ++e) w[e] -= c * vi[e];
    }
    double hn = 0.0;
    for (size_t e = 0; e < n; ++e) hn += w[e] * w[e];
    hn = std::sqrt(hn);
    h[m + 1] = hn;
    if (hn > 0.0)
      for (size_t e = 0; e < n; ++e) w[e] /= hn;
    for (size_t i = 0; i < m; ++i) {
      const double t = cs[i] * h[i] + sn[i] * h[i + 1];
      h[i + 1] = -sn[i] * h[i] + cs[i] * h[i + 1];
      h[i] = t;
    }
    const double r = std::hypot(h[m], h[m + 1]);
    cs[m] = r > 0.0 ? h[m] / r : 1.0;
    sn[m] = r > 0.0 ? h[m + 1] / r : 0.0;
    h[m] = r;
    h[m + 1] = 0.0;
    g[m + 1] = -sn[m] * g[m];
    g[m] = cs[m] * g[m];
    out.residual = std::fabs(g[m + 1]) / beta;
    if (out.residual < tol || hn == 0.0) {
      ++m;
      break;
    }
  }
  out.iterations = static_cast<int>(m);
  // y from the triangular system, x = V·y.
  std::vector<double> y(m, 0.0);
  for (size_t i = m; i-- > 0;) {
    double v = g[i];
    for (size_t j = i + 1; j < m; ++j) v -= H[j * (mx + 1) + i] * y[j];
    y[i] = H[i * (mx + 1) + i] != 0.0 ? v / H[i * (mx + 1) + i] : 0.0;
  }
  for (size_t i = 0; i < m; ++i)
    for (size_t e = 0; e < n; ++e) x[e] += y[i] * V[i * n + e];
  return out;
}

// Legendre functions of the second kind far out: Q0 = atanh(1/ξ),
// Q1 = ξ·Q0 − 1 = Σ_{k≥1} ξ^{−2k}/(2k+1).
double legendre_q0(double xi) { return std::atanh(1.0 / xi); }
double legendre_q1(double xi) {
  const double u = 1.0 / (xi * xi);
  double s = 0.0, t = u;
  for (int k = 1; k < 200 && t > 1e-18 * s; ++k, t *= u) s += t / (2 * k + 1);
  return s;
}

// A spatial orbital of the ground state: a shell's radial columns with
// projection +M or −M, its norm on the grid and its weight in the exchange
// operator.
struct Orbital {
  int shell = 0;
  std::array<int, 3> desc{};  // (M, L0, n), M signed
  double norm = 1.0;
  double exchange = 0.0;
};

}  // namespace

struct StaticExchange::Impl {
  const Grid& g;
  const GroundState& gs;
  Molecule mol;
  int NSI;
  Waves w;
  ExchangeOptions opt;
  int n = 0, NB = 0, NA = 0;
  std::array<int, 3> fdesc{};
  std::vector<Orbital> orb;
  std::vector<std::vector<double>> ortho;  // occupied orbitals of the final symmetry on its waves, normalised
  std::vector<double> pd, tt;              // (NB,n,n) one-electron and direct part, (n,n) η² matrix
  std::array<double, 81> fc{};
  std::array<double, scf::kFactorials> f99{};
  double C1 = 0.0;
  double Zion = 0.0, ZPion = 0.0, ZMion = 0.0, electrons_seen = 0.0, electrons = 0.0;
  // Work of the multipole routines.
  std::vector<double> wc, cx, wk, z, qq, b4;
  int nz = 0;
  std::vector<Diagnostics> diag;

  Impl(const Grid& g_, const GroundState& gs_, const Molecule& mol_, int NSI_, const Waves& w_,
       const ExchangeOptions& o)
      : g(g_), gs(gs_), mol(mol_), NSI(NSI_), w(w_), opt(o) {
    n = w.n;
    NB = g.NB;
    NA = g.NA;
    fdesc = {w.M, w.L0, w.n};
    lib::DEFA(80, lib::VecView<double, 0>(fc.data(), 81));
    C1 = -kPi * mol.RZ * mol.RZ;
    build_orbitals();
    check_momenta();
    size_work();
    build_equations();
  }

  lib::Fac F() const { return lib::Fac(fc.data(), 81); }
  lib::CMat R2() const { return g.R().colsFrom(2, 7); }

  void build_orbitals() {
    const int KD = w.KD;
    for (int s = 1; s <= gs.NSH(); ++s) {
      const Waves ws = gs.shell(s, KD);
      const double nrm = overlap(g, mol.RZ, ws, gs.waves(s), ws, gs.waves(s));
      for (int sign : {+1, -1}) {
        if (sign < 0 && ws.M == 0) continue;
        Orbital o;
        o.shell = s;
        o.desc = {sign * ws.M, ws.L0, ws.n};
        o.norm = nrm;
        o.exchange = opt.electrons && opt.exchange ? -1.0 : 0.0;
        if (opt.electrons && opt.exchange && s == NSI && sign > 0)
          o.exchange = 1.0;  // −K_i + 2K_i for the hole, singlet
        orb.push_back(o);
      }
      if (opt.electrons && same_symmetry(ws, w)) {
        std::vector<double> x(static_cast<size_t>(NB) * static_cast<size_t>(n));
        on_waves(g, ws, gs.waves(s), w, 1.0 / std::sqrt(nrm), lib::Mat(x.data(), NB, n));
        ortho.push_back(std::move(x));
      }
      electrons += ws.M == 0 ? 2.0 : 4.0;
    }
    Zion = opt.electrons ? mol.Z1 + mol.Z2 - electrons + 1.0 : mol.Z1 + mol.Z2;
  }

  // The angular coefficients of a projection read factorials up to the sum
  // of the three momenta plus three (the η² part); the table holds 0! … 80!.
  // Multipoles of a product of waves (L0_1, n1) and (L0_2, n2) run to
  // |L0_1 − L0_2| (+2) + KD·((3(n1 + n2))/4 − 1).
  void check_momenta() const {
    const int lf = w.L(n);
    int need = 0;
    for (int s = 1; s <= gs.NSH(); ++s) {
      const Waves ws = gs.shell(s, w.KD);
      const int ls = ws.L(ws.n);
      const int direct = w.KD * ((3 * 2 * ws.n) / 4 - 1);
      need = std::max(need, direct + 2 * lf + 3);
      for (int sign : {+1, -1}) {
        int first = std::abs(w.L0 - ws.L0);
        if (first < std::abs(w.M - sign * ws.M)) first += 2;
        const int lam = first + w.KD * ((3 * (n + ws.n)) / 4 - 1);
        need = std::max(need, lam + lf + ls + 3);
      }
    }
    if (need > 80) {
      io::stop("chanfile: the partial waves of the final state (up to L = " + std::to_string(lf) +
               ") and of the shells make multipoles beyond the factorial table of the angular coefficients "
               "(0! ... 80!); use fewer partial waves (NX)");
    }
  }

  void size_work() {
    int nmax = n;
    for (int s = 1; s <= gs.NSH(); ++s) nmax = std::max(nmax, gs.shell(s, w.KD).n);
    nz = (3 * (2 * nmax)) / 4 + 1;
    wc.assign(static_cast<size_t>(NA * NA), 0.0);
    cx.assign(static_cast<size_t>(NA * 3), 0.0);
    wk.assign(static_cast<size_t>(NB) * 6, 0.0);
    z.assign(static_cast<size_t>(NB) * static_cast<size_t>(nz), 0.0);
    qq.assign(static_cast<size_t>(NB) * static_cast<size_t>(n), 0.0);
    b4 = {1.0, 0.0, 0.0, 0.0};
  }

  // One-electron and angular terms (MASH), then the direct field of the
  // ion's electrons: shell s with d_s electrons (2 or 4, one fewer in the
  // ionised shell) adds −(RZ²/2)·(d_s/N_s)·[(ξ² − η²)·V_s]_{pq} to the
  // coupling, V_s the potential of its density.
  void build_equations() {
    const size_t nn = static_cast<size_t>(n * n);
    pd.assign(static_cast<size_t>(NB) * nn, 0.0);
    tt.assign(nn, 0.0);
    lib::Arr3 PD(pd.data(), NB, n, n);
    std::vector<double> w1(static_cast<size_t>(NB));
    scf::MASH(NB, w.M, w.L0, n, w.KD, scf::kFactorials, (mol.Z1 + mol.Z2) * mol.RZ,
              w.KD == 2 ? 0.0 : (mol.Z2 - mol.Z1) * mol.RZ, lib::Mat(w1.data(), NB, 1), g.R(),
              lib::VecView<double, 0>(f99.data(), scf::kFactorials), lib::Mat(tt.data(), n, n), PD);
    lib::CMat R = g.R();
    double V0 = 0.0, V1 = 0.0;  // monopole and dipole of the direct potential at the last point
    std::vector<double> q(static_cast<size_t>(NB)), q1(static_cast<size_t>(NB));
    for (int s = 1; s <= gs.NSH(); ++s) {
      const Waves ws = gs.shell(s, w.KD);
      double d = (ws.M == 0 ? 2.0 : 4.0) - (s == NSI ? 1.0 : 0.0);
      if (!opt.electrons) d = 0.0;
      if (d == 0.0) continue;
      const double nrm = orb_norm(s);
      const std::array<int, 3> desc = {ws.M, ws.L0, ws.n};
      std::array<int, 3> mnz{};
      lib::Mat Z(z.data(), NB, nz);
      lib::CUIN(NA, NB, w.KD, CIVec(desc.data(), 3), CIVec(desc.data(), 3), IVec(mnz.data(), 3), C1, g.CH, g.BZ(),
                Vec(b4.data(), 4), g.G().col(1), g.AA().col(1), g.BB().col(1), g.VV().col(1), g.UU(), g.WW(),
                lib::Mat(wc.data(), NA, NA), F(), R2(), lib::Mat(cx.data(), NA, 3), lib::Mat(wk.data(), NB, 6),
                gs.waves(s), gs.waves(s), Z);
      for (int k = 1; k <= mnz[2]; ++k) {
        const int lam = mnz[1] + (k - 1) * w.KD;
        if (lam == 0) V0 += d / nrm * Z(NB, k) * g.scale(NB);
        if (lam == 1) V1 += d / nrm * Z(NB, k) * g.scale(NB);
      }
      for (int p = 1; p <= n; ++p)
        for (int qq_ = 1; qq_ <= n; ++qq_) {
          lib::SUMY(NB, w.KD, CIVec(mnz.data(), 3), w.M, w.M, w.L(qq_), w.L(p), 1.0, R.col(2), F(), Vec(q1.data(), NB),
                    Z, Vec(q.data(), NB));
          const double c = -0.5 * mol.RZ * mol.RZ * d / nrm;
          for (int i = 1; i <= NB; ++i) PD(i, qq_, p) += c * R(i, 3) * R(i, 6) * q[static_cast<size_t>(i - 1)];
        }
    }
    // The ion seen from beyond the grid: −(RZ²/2)(ξ² − η²)·V → −N·RZ·ξ from the
    // monopole and a constant η term from the dipole of the electrons.
    const double xi = g.xs[static_cast<size_t>(NB - 1)];
    const double half = 0.5 * mol.RZ * mol.RZ;
    electrons_seen = half * (V0 / legendre_q0(xi)) / std::sqrt(4.0 * kPi) / mol.RZ;
    ZPion = Zion * mol.RZ;
    ZMion = w.KD == 2 ? 0.0
                      : (mol.Z2 - mol.Z1) * mol.RZ + half * (V1 / legendre_q1(xi)) * std::sqrt(3.0 / (4.0 * kPi)) / 3.0;
  }

  double orb_norm(int s) const {
    for (const auto& o : orb)
      if (o.shell == s) return o.norm;
    return 1.0;
  }

  // S(·, (j−1)n + p) = (RZ²/2)·Σ_o e_o/N_o·[(ξ² − η²)·K_o ψ_j]_p in the Numerov
  // form (stored values times col3·g), K_o ψ = φ_o·V[φ_o*·ψ].
  void apply_exchange(int ns, lib::CMat psi, lib::Mat S) {
    lib::CMat R = g.R();
    for (int j = 1; j <= NB; ++j)
      for (int c = 1; c <= ns * n; ++c) S(j, c) = 0.0;
    lib::Mat QQ(qq.data(), NB, n);
    for (const auto& o : orb) {
      if (o.exchange == 0.0) continue;
      const double f = 0.5 * mol.RZ * mol.RZ * o.exchange / o.norm;
      for (int s = 1; s <= ns; ++s) {
        lib::CUIF(NA, NB, CIVec(fdesc.data(), 3), CIVec(o.desc.data(), 3), CIVec(o.desc.data(), 3),
                  CIVec(fdesc.data(), 3), w.KD, C1, g.CH, g.BZ(), F(), g.G(), Vec(b4.data(), 4), g.AA(), g.BB(), g.VV(),
                  g.UU(), g.WW(), lib::Mat(wc.data(), NA, NA), lib::Mat(cx.data(), NA, 3), R2(),
                  psi.colsFrom((s - 1) * n + 1, n), gs.waves(o.shell), gs.waves(o.shell), QQ,
                  lib::Mat(wk.data(), NB, 6), lib::Mat(z.data(), NB, nz));
        for (int p = 1; p <= n; ++p)
          for (int i = 1; i <= NB; ++i) S(i, (s - 1) * n + p) += f * QQ(i, p) * R(i, 3) * R(i, 6);
      }
    }
  }

  // Lagrange source of orbital o: col3·[ξ²·X_o − Σ_q TT(q,p)·X_o,q], the
  // stored form of (ξ² − η²)·φ_o.
  void lagrange_source(const std::vector<double>& xo, lib::Mat S) const {
    lib::CMat R = g.R();
    lib::CMat X(xo.data(), NB, n), TT(tt.data(), n, n);
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) {
        double v = R(i, 2) * X(i, p);
        for (int q = 1; q <= n; ++q) v -= TT(q, p) * X(i, q);
        S(i, p) = R(i, 3) * v;
      }
  }

  double ov(const std::vector<double>& xo, lib::CMat X) const {
    return overlap(g, mol.RZ, w, lib::CMat(xo.data(), NB, n), w, X);
  }

  void block(double k, int NL, Block& b);
};

namespace {

// The asymptotic channels of the ion at one energy: angular eigenvectors U,
// separation constants, the energy-normalised regular and irregular
// functions at two matching points, and the phase of each regular one.
struct Asymptote {
  int n = 0;
  std::vector<double> U, lam, delta;
  std::vector<double> reg, irr;  // (2, n): at points a and b
  std::vector<int> open;         // 1: the channel oscillates at the matching points
};

}  // namespace

void StaticExchange::Impl::block(double k, int NL, Block& b) {
  const double E = 0.5 * k * k;
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nb = static_cast<size_t>(NB), nn = static_cast<size_t>(n * n);
  Propagator P(g, w, lib::CArr3(pd.data(), NB, n, n), lib::CMat(tt.data(), n, n), c2);

  // Matching points: the last point and one about half a radian of phase
  // before it, but no further in than 90% of the last ξ.
  const int ib = NB;
  int ia = NB - 2;
  const double kap = std::sqrt(c2);
  const double xlast = g.xs[nb - 1];
  while (ia > NA + 2 && kap * (xlast - g.xs[static_cast<size_t>(ia - 1)]) < 0.5 &&
         g.xs[static_cast<size_t>(ia - 2)] > 0.9 * xlast)
    --ia;
  const double xa = g.xs[static_cast<size_t>(ia - 1)], xb = g.xs[nb - 1];

  Asymptote as;
  as.n = n;
  as.U.assign(nn, 0.0);
  as.lam.assign(static_cast<size_t>(n), 0.0);
  as.delta = as.lam;
  as.reg.assign(static_cast<size_t>(2 * n), 0.0);
  as.irr = as.reg;
  as.open.assign(static_cast<size_t>(n), 0);
  {
    std::vector<double> a(nn);
    angular_matrix(w.M, w.L0, w.KD, n, ZMion, c2, lib::Mat(a.data(), n, n));
    symmetric_eigen(n, lib::Mat(a.data(), n, n), Vec(as.lam.data(), n), lib::Mat(as.U.data(), n, n));
    for (int i = 1; i <= n; ++i) {
      Radial rp;
      rp.m = w.M;
      rp.lam = as.lam[static_cast<size_t>(i - 1)];
      rp.ZP = ZPion;
      rp.c2 = c2;
      rp.RZ = mol.RZ;
      double up[2] = {xa, xb}, down[2] = {xb, xa}, rv[2], iv[2], pv[2], xfar = 0.0;
      regular_continuum(rp, CVec(up, 2), Vec(rv, 2), as.delta[static_cast<size_t>(i - 1)], xfar);
      irregular_continuum(rp, as.delta[static_cast<size_t>(i - 1)], xfar, CVec(down, 2), Vec(iv, 2), Vec(pv, 2));
      as.reg[static_cast<size_t>(2 * (i - 1))] = rv[0];
      as.reg[static_cast<size_t>(2 * (i - 1) + 1)] = rv[1];
      as.irr[static_cast<size_t>(2 * (i - 1))] = iv[1];
      as.irr[static_cast<size_t>(2 * (i - 1) + 1)] = iv[0];
      // Open where the channel is well beyond its turning point: positive Q
      // and a local wavelength that changes slowly.  A channel still under
      // its centrifugal barrier at the end of the grid reaches infinity only
      // by tunnelling; the residual couplings of the field (O(1/ξ³) beyond
      // the separated form) would make its decomposition there meaningless.
      double Q, Q1, Q2;
      rp.Q3(xa, Q, Q1, Q2);
      as.open[static_cast<size_t>(i - 1)] = Q > 0.0 && std::fabs(Q1) < 0.3 * std::pow(Q, 1.5);
    }
  }
  lib::CMat U(as.U.data(), n, n);

  // Coefficients A(i,j), B(i,j) of reg_i and irr_i in solution j.
  auto match = [&](lib::CMat X, std::vector<double>& A, std::vector<double>& B) {
    A.assign(nn, 0.0);
    B.assign(nn, 0.0);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) {
        double ya = 0.0, yb = 0.0;
        for (int p = 1; p <= n; ++p) {
          ya += U(p, i) * X(ia, (j - 1) * n + p) * g.scale(ia);
          yb += U(p, i) * X(ib, (j - 1) * n + p) * g.scale(ib);
        }
        const double ra = as.reg[static_cast<size_t>(2 * (i - 1))], rb = as.reg[static_cast<size_t>(2 * (i - 1) + 1)];
        const double sa = as.irr[static_cast<size_t>(2 * (i - 1))], sb = as.irr[static_cast<size_t>(2 * (i - 1) + 1)];
        const double det = ra * sb - rb * sa;
        A[static_cast<size_t>((j - 1) * n + i - 1)] = (ya * sb - yb * sa) / det;
        B[static_cast<size_t>((j - 1) * n + i - 1)] = (ra * yb - rb * ya) / det;
      }
  };

  // The regular solutions of the equations without exchange as one
  // well-conditioned set (orthonormal in their last two values), and the
  // solutions for the Lagrange sources of the occupied orbitals of this
  // symmetry, free of that set at the end.
  std::vector<double> hset(nb * nn);
  P.regular_set(lib::Mat(hset.data(), NB, n * n));
  const int no = static_cast<int>(ortho.size());
  std::vector<double> chi(nb * static_cast<size_t>(n) * static_cast<size_t>(no));
  if (no > 0) {
    std::vector<double> src(nb * static_cast<size_t>(n) * static_cast<size_t>(no));
    for (int o = 0; o < no; ++o)
      lagrange_source(ortho[static_cast<size_t>(o)], lib::Mat(src.data(), NB, n * no).colsFrom(o * n + 1, n));
    P.particular(no, lib::CMat(src.data(), NB, n * no), lib::Mat(chi.data(), NB, n * no));
  }
  std::vector<double> Oinv;
  if (no > 0) {
    std::vector<double> O(static_cast<size_t>(no * no));
    for (int a = 0; a < no; ++a)
      for (int c = 0; c < no; ++c)
        O[static_cast<size_t>(c * no + a)] =
            ov(ortho[static_cast<size_t>(a)], lib::CMat(chi.data() + static_cast<size_t>(c) * nb * n, NB, n));
    Oinv = inverse(no, O);
  }
  // Adds the Lagrange solutions that make each of the ns solutions in X
  // orthogonal to the occupied orbitals: ψ_j += Σ_o ε_oj·χ_o, ε = −O⁻¹·⟨φ|ψ_j⟩.
  auto orthogonalise = [&](int ns, lib::Mat X) {
    if (no == 0) return;
    std::vector<double> s(static_cast<size_t>(no)), e(static_cast<size_t>(no));
    for (int j = 1; j <= ns; ++j) {
      lib::CMat Xj = lib::CMat(X.data(), NB, n * ns).colsFrom((j - 1) * n + 1, n);
      for (int a = 0; a < no; ++a) s[static_cast<size_t>(a)] = ov(ortho[static_cast<size_t>(a)], Xj);
      for (int a = 0; a < no; ++a) {
        double v = 0.0;
        for (int c = 0; c < no; ++c) v -= Oinv[static_cast<size_t>(c * no + a)] * s[static_cast<size_t>(c)];
        e[static_cast<size_t>(a)] = v;
      }
      for (int o = 0; o < no; ++o) {
        const double* ch = chi.data() + static_cast<size_t>(o) * nb * n;
        for (int p = 1; p <= n; ++p)
          for (int i = 1; i <= NB; ++i)
            X(i, (j - 1) * n + p) +=
                e[static_cast<size_t>(o)] * ch[static_cast<size_t>(p - 1) * nb + static_cast<size_t>(i - 1)];
      }
    }
  };

  // With exchange the solutions solve ψ = Π·(h + G·K·ψ) for each member h of
  // the set: K the exchange operator (with its factor), G the particular
  // solution free of the set at the end, Π the Lagrange projection.  Then
  // ψ − h is a regular particular solution for the source K·ψ (and the
  // Lagrange terms), so each ψ is a regular solution of the full equations,
  // and the set of them keeps the conditioning of the set h.  The linear
  // system (I − Π·G·K)·ψ = Π·h is solved by GMRES in the stored values.
  std::vector<double> psi(hset);
  lib::Mat PSI(psi.data(), NB, n * n);
  orthogonalise(n, PSI);

  Diagnostics d;
  d.k = k;
  const bool exchange = std::any_of(orb.begin(), orb.end(), [](const Orbital& o) { return o.exchange != 0.0; });
  if (exchange) {
    const size_t len = nb * static_cast<size_t>(n);
    std::vector<double> sx(len);
    auto apply = [&](const double* v, double* y) {
      apply_exchange(1, lib::CMat(v, NB, n), lib::Mat(sx.data(), NB, n));
      P.particular(1, lib::CMat(sx.data(), NB, n), lib::Mat(y, NB, n));
      orthogonalise(1, lib::Mat(y, NB, n));
      for (size_t e = 0; e < len; ++e) y[e] = v[e] - y[e];
    };
    d.converged = true;
    std::vector<double> rhs(len);
    for (int j = 1; j <= n; ++j) {
      double* col = psi.data() + static_cast<size_t>(j - 1) * len;
      std::copy(col, col + len, rhs.begin());
      const Krylov kr = gmres(static_cast<int>(len), rhs.data(), col, opt.NIT, opt.EPS, apply);
      d.iterations = std::max(d.iterations, kr.iterations);
      d.change = std::max(d.change, kr.residual);
      d.converged = d.converged && kr.residual < opt.EPS;
    }
  } else {
    d.converged = true;
  }
  std::vector<double> A, B;
  match(PSI, A, B);

  // Eigenchannels.  K = B·A⁻¹ is the K matrix relative to the functions of
  // the ion.  Channels closed at the matching points (still under their
  // barriers) carry no regular (growing) part: combinations T = A⁻¹·a with
  // a = 0 on them.  On the open channels P, K_PP = V·tan τ·Vᵀ; the
  // eigenchannel t has the reg amplitudes a = V_t·cos τ_t and the irr
  // amplitudes b = K_PP·a = V_t·sin τ_t on P, normalised to δ(E − E′) and
  // orthogonal to the other eigenchannels.  K_PP is taken symmetric from
  // its elements K(i,j) with λ_i ≤ λ_j.  The NL eigenchannels of lowest mean
  // λ = Σ_P V_it²·λ_i are kept.  The small irr amplitudes K_QP·a on the
  // closed channels are left out of the normalisation.  Kept slots beyond
  // the open channels are written as zero functions.
  std::vector<double> Ainv = inverse(n, A);
  std::vector<double> K(nn, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double v = 0.0;
      for (int l = 0; l < n; ++l) v += B[static_cast<size_t>(l * n + i)] * Ainv[static_cast<size_t>(j * n + l)];
      K[static_cast<size_t>(j * n + i)] = v;
    }
  std::vector<int> open_ch;
  for (int i = 0; i < n; ++i)
    if (as.open[static_cast<size_t>(i)]) open_ch.push_back(i);
  const int np = static_cast<int>(open_ch.size());
  // Check: K is symmetric for exact solutions; compare its mirror elements
  // among the three lowest open channels (those that carry the dipole).
  double asym = 0.0, kmax = 0.0;
  for (size_t x = 0; x < std::min<size_t>(open_ch.size(), 3); ++x)
    for (size_t y = 0; y < std::min<size_t>(open_ch.size(), 3); ++y) {
      const size_t i = static_cast<size_t>(open_ch[x]), j = static_cast<size_t>(open_ch[y]);
      const size_t nz = static_cast<size_t>(n);
      kmax = std::max(kmax, std::fabs(K[j * nz + i]));
      asym = std::max(asym, std::fabs(K[j * nz + i] - K[i * nz + j]));
    }
  d.k_asymmetry = asym / std::max(kmax, 1e-300);
  d.open = np;
  const size_t npp = static_cast<size_t>(np);
  std::vector<double> Kp(npp * npp), tv(npp), V(npp * npp);
  for (int x = 0; x < np; ++x)
    for (int y = 0; y < np; ++y) {
      const size_t i = static_cast<size_t>(open_ch[static_cast<size_t>(x)]),
                   j = static_cast<size_t>(open_ch[static_cast<size_t>(y)]);
      // K(i,j) with i the channel of lower λ: the irr amplitude that a reg
      // amplitude in the higher channel leaves in the lower one.  The mirror
      // element carries the tunnelling of the higher channel through its
      // barrier and is the less accurate of the two.
      Kp[static_cast<size_t>(y * np + x)] = K[std::max(i, j) * static_cast<size_t>(n) + std::min(i, j)];
    }
  if (np > 0) {
    std::vector<double> work = Kp;  // the eigen-solver overwrites its matrix
    symmetric_eigen(np, lib::Mat(work.data(), np, np), Vec(tv.data(), np), lib::Mat(V.data(), np, np));
  }
  // Amplitudes of the eigenchannels, column t: a = V·cos τ (reg) and
  // b = V·sin τ (irr) on P, orthonormal with V; each with its mean λ.
  std::vector<double> a(static_cast<size_t>(n) * npp, 0.0), bb(static_cast<size_t>(n) * npp, 0.0), tau(npp), mean(npp);
  for (int t = 0; t < np; ++t) {
    tau[static_cast<size_t>(t)] = std::atan(tv[static_cast<size_t>(t)]);
    const double ct = std::cos(tau[static_cast<size_t>(t)]), st = std::sin(tau[static_cast<size_t>(t)]);
    double m = 0.0;
    for (int x = 0; x < np; ++x) {
      const double v = V[static_cast<size_t>(t * np + x)];
      const int i = open_ch[static_cast<size_t>(x)];
      a[static_cast<size_t>(t * n + i)] = v * ct;
      bb[static_cast<size_t>(t * n + i)] = v * st;
      m += v * v * as.lam[static_cast<size_t>(i)];
    }
    mean[static_cast<size_t>(t)] = m;
  }
  // The NL eigenchannels of lowest mean λ are kept.
  std::vector<int> order(npp);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return mean[static_cast<size_t>(x)] < mean[static_cast<size_t>(y)]; });
  const int nk = std::min(NL, np);

  const size_t nl = static_cast<size_t>(NL);
  b.k = k;
  b.E = E;
  b.NL = NL;
  b.NX = n;
  b.X.assign(nb * nl * static_cast<size_t>(n), 0.0);
  b.AC.assign(static_cast<size_t>(n) * nl, 0.0);
  b.AS = b.AC;
  b.lam.assign(nl, 0.0);
  b.phase = b.lam;
  lib::Mat X = b.x(NB);
  double maxov = 0.0;
  for (int s = 1; s <= nk; ++s) {
    const int t = order[static_cast<size_t>(s - 1)];
    // T = A⁻¹·a: the combination of the computed solutions.
    std::vector<double> T(static_cast<size_t>(n), 0.0);
    for (int j = 0; j < n; ++j) {
      double v = 0.0;
      for (int i = 0; i < n; ++i) v += Ainv[static_cast<size_t>(i * n + j)] * a[static_cast<size_t>(t * n + i)];
      T[static_cast<size_t>(j)] = v;
    }
    for (int j = 1; j <= n; ++j)
      for (int p = 1; p <= n; ++p) {
        const double f = T[static_cast<size_t>(j - 1)];
        if (f == 0.0) continue;
        for (int i = 1; i <= NB; ++i) X(i, (s - 1) * n + p) += f * PSI(i, (j - 1) * n + p);
      }
    // Kept channel i far out: a_i·sin(θ + δ_i) + b_i·cos(θ + δ_i).
    for (int p = 1; p <= n; ++p) {
      double as_ = 0.0, ac_ = 0.0;
      for (int i = 1; i <= n; ++i) {
        const double ai = a[static_cast<size_t>(t * n + i - 1)], bi = bb[static_cast<size_t>(t * n + i - 1)];
        const double dl = as.delta[static_cast<size_t>(i - 1)];
        as_ += U(p, i) * (ai * std::cos(dl) - bi * std::sin(dl));
        ac_ += U(p, i) * (ai * std::sin(dl) + bi * std::cos(dl));
      }
      b.AS[static_cast<size_t>((s - 1) * n + p - 1)] = as_;
      b.AC[static_cast<size_t>((s - 1) * n + p - 1)] = ac_;
    }
    b.lam[static_cast<size_t>(s - 1)] = mean[static_cast<size_t>(t)];
    b.phase[static_cast<size_t>(s - 1)] = tau[static_cast<size_t>(t)];
    for (const auto& xo : ortho) maxov = std::max(maxov, std::fabs(ov(xo, X.colsFrom((s - 1) * n + 1, n))));
  }
  d.max_overlap = maxov;
  double vmax = 0.0;
  for (int s = 1; s <= nk; ++s)
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) vmax = std::max(vmax, std::fabs(X(i, (s - 1) * n + p) * g.scale(i)));
  d.max_value = vmax / (energy_amplitude(mol.RZ) / std::sqrt(std::sqrt(c2)));
  diag.push_back(d);
}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               const ExchangeOptions& opt)
    : p_(std::make_unique<Impl>(g, gs, mol, NSI, w, opt)) {}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               int NIT, double EPS)
    : StaticExchange(g, gs, mol, NSI, w, ExchangeOptions{NIT, EPS, true, true}) {}

StaticExchange::~StaticExchange() = default;

void StaticExchange::block(double k, int NL, Block& b) { p_->block(k, NL, b); }

double StaticExchange::Zion() const { return p_->Zion; }

const std::vector<StaticExchange::Diagnostics>& StaticExchange::diagnostics() const { return p_->diag; }

void StaticExchange::report(io::Unit& L) const {
  const Impl& m = *p_;
  L.write_record("");
  L.write_record(" Static exchange");
  io::fwrite(L,
             io::Format("(' electrons of the ground state',F6.1,';  of the ion seen by its direct field at the "
                        "last point',F10.5)"),
             m.electrons, m.electrons_seen);
  io::fwrite(L, io::Format("(' asymptotic problem: charge x RZ =',F10.5,',  dipole term ZM =',F10.5)"), m.ZPion,
             m.ZMion);
  io::fwrite(L, io::Format("(' occupied orbitals of the final symmetry (orthogonality):',I3)"),
             static_cast<int>(m.ortho.size()));
  L.write_record("        k     steps    residual    K asymmetry  max overlap   open channels  largest value");
  for (const auto& d : m.diag) {
    io::fwrite(L, io::Format("(F10.5,I8,A2,3E13.3,I8,E15.3,A2)"), d.k, d.iterations, d.converged ? "  " : " *",
               d.change, d.k_asymmetry, d.max_overlap, d.open, d.max_value, d.grown() ? " !" : "  ");
  }
  if (std::any_of(m.diag.begin(), m.diag.end(), [](const Diagnostics& d) { return !d.converged; })) {
    L.write_record(" * the exchange equations did not reach the residual EPS within NIT GMRES steps");
  }
  if (std::any_of(m.diag.begin(), m.diag.end(), [](const Diagnostics& d) { return d.grown(); })) {
    L.write_record(
        " ! solutions dominated by waves grown under their centrifugal barriers: use fewer partial waves (NX)");
  }
  L.write_record(
      " (largest value: of a kept solution, in units of the amplitude of an energy-normalised wave far out)");
}

}  // namespace chan

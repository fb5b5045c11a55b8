#include "chan/static_exchange.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <numeric>

#include "chan/coupled.hpp"
#include "chan/exchange_operator.hpp"
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
  std::unique_ptr<ExchangeOperator> xop;
  std::vector<Diagnostics> diag;
  std::vector<Bound> bounds;
  int lanczos_steps = 0;
  // GMRES accuracy of the bound-state problems, and the most Lanczos steps.
  static constexpr double kBoundEps = 1e-10;
  // K asymmetry above which a block is made again with the set's last
  // orthonormal point kShiftRows points further in.
  static constexpr double kAsymmetryRetry = 1e-4;
  static constexpr int kShiftRows = 7;
  static constexpr int kLanczos = 120;
  static constexpr int kSpare = 3;

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
    build_exchange();
  }

  // The exchange operator of the orbitals with a non-zero weight.
  void build_exchange() {
    std::vector<ExchangeOrbital> xo;
    for (const auto& o : orb)
      if (o.exchange != 0.0) xo.push_back({o.desc, gs.waves(o.shell), 0.5 * mol.RZ * mol.RZ * o.exchange / o.norm});
    xop = std::make_unique<ExchangeOperator>(g, w, std::move(xo), C1, F());
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

  // The radial problem of the ion's field for separation constant lam at c².
  Radial ion_radial(double lam, double c2) const {
    Radial rp;
    rp.m = w.M;
    rp.lam = lam;
    rp.ZP = ZPion;
    rp.c2 = c2;
    rp.RZ = mol.RZ;
    return rp;
  }

  double ov(const std::vector<double>& xo, lib::CMat X) const {
    return overlap(g, mol.RZ, w, lib::CMat(xo.data(), NB, n), w, X);
  }

  // Everything the solutions at one energy share: the propagator, the
  // regular set without exchange, the Lagrange solutions and the inverse of
  // their overlaps with the occupied orbitals.
  struct AtEnergy {
    double E = 0.0;
    std::unique_ptr<Propagator> P;
    std::vector<double> hset, chi, Oinv;
    mutable ExchangeOperator::Work xw;  // scratch of the exchange operator at this energy
  };
  // `last`: the point where the set is orthonormal and the particular
  // solutions free of it (0: the last point of the grid).
  void prepare(double E, AtEnergy& a, int last = 0) const;
  // Adds the Lagrange solutions that make each of the ns solutions in X
  // orthogonal to the occupied orbitals: ψ_j += Σ_o ε_oj·χ_o, ε = −O⁻¹·⟨φ|ψ_j⟩.
  void orthogonalise(const AtEnergy& a, int ns, lib::Mat X) const;
  bool has_exchange() const;
  // x ← the solution of (I − Π·G·K)·y = x by GMRES to the relative residual tol.
  void solve_exchange(const AtEnergy& a, double* x, double tol, Diagnostics& d) const;
  // The n regular solutions of the full equations into psi (NB, n·n), with
  // the GMRES steps and residual in d.
  void regular_solutions(const AtEnergy& a, std::vector<double>& psi, Diagnostics& d, double tol) const;
  // The regular particular solution of the full equations for the source
  // (NB, n, Numerov form), free of the regular set at the end.
  void particular_solution(const AtEnergy& a, const std::vector<double>& source, std::vector<double>& p, Diagnostics& d,
                           double tol);
  // The block at momentum k and what it found; touches nothing else, so
  // that blocks of different energies can be made at the same time.
  Diagnostics block(double k, int NL, Block& b) const;
  struct Frame;
  // The frame at E; `local`: the regular solutions without exchange and
  // Lagrange terms (the direct field of the ion only).
  void bound_frame(double E, Frame& f, bool local = false);
  // Rayleigh-quotient iteration from (E, x), `fixed` plain inverse
  // iterations first, the states in `found` (count of them, each len
  // words) projected out; x and E the state on success.
  bool polish(double& E, std::vector<double>& x, int fixed, const std::vector<double>& states, int found, double Elo,
              Frame& f);
  void channel_pair(const Frame& f, lib::CMat X, int i, double& ya, double& yb) const;
  std::vector<double> growing(const Frame& f, lib::CMat X) const;
  std::vector<double> response(Frame& f, const std::vector<double>& x);
  int bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec E);
  void tail_integrals(Frame& f) const;
  std::vector<double> tail_amplitudes(const Frame& f, lib::CMat X) const;
  double full_overlap(Frame& f, const double* x, const double* y) const;
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

// Determinant of a square matrix (column-major, copied) by its LU factors.
double determinant(int n, std::vector<double> a) {
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  double d = 1.0;
  for (int k = 0; k < n; ++k) {
    d *= a[static_cast<size_t>(k * n + k)];
    if (piv[static_cast<size_t>(k)] != k) d = -d;
  }
  return d;
}

// Solution x of A·x = b for a square matrix A (column-major, copied).
std::vector<double> solve(int n, std::vector<double> a, std::vector<double> b) {
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  lu_solve(n, a.data(), piv.data(), b.data());
  return b;
}

}  // namespace

// The regular solutions at an energy below threshold, and the decaying
// solutions g_i of the ion's field in the asymptotic channels i (angular
// vectors U_i at this energy) at two points a < b near the end of the grid.
// The growing content of a function y in channel i is the Casoratian
// y_i(a)·g_i(b) − y_i(b)·g_i(a) with the pair (g_i(a), g_i(b)) normalised:
// zero when y follows the decaying solution.  A(i, j) is the growing
// content of regular solution j.
struct StaticExchange::Impl::Frame {
  AtEnergy at;
  int ia = 0;
  std::vector<double> psi;      // (NB, n·n) the regular solutions
  std::vector<double> U, lam;   // channel vectors and separation constants
  std::vector<double> ga, gb;   // decaying solutions at a and b, normalised as a pair
  std::vector<double> gnorm;    // |(g_i(a), g_i(b))| of the solution started with y = 1 far out
  std::vector<double> xfar, A;  // start of each decaying solution; the growing content (n × n)
  std::vector<double> tail;     // (n × n) integrals beyond the grid, filled when first needed
  Diagnostics d;
  double E() const { return at.E; }
};

void StaticExchange::Impl::prepare(double E, AtEnergy& a, int last) const {
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nb = static_cast<size_t>(NB), nn = static_cast<size_t>(n * n);
  a.E = E;
  a.xw = xop->work();
  a.P = std::make_unique<Propagator>(g, w, lib::CArr3(pd.data(), NB, n, n), lib::CMat(tt.data(), n, n), c2);
  a.hset.assign(nb * nn, 0.0);
  a.P->regular_set(lib::Mat(a.hset.data(), NB, n * n), last);
  const int no = static_cast<int>(ortho.size());
  a.chi.assign(nb * static_cast<size_t>(n) * static_cast<size_t>(no), 0.0);
  a.Oinv.clear();
  if (no > 0) {
    std::vector<double> src(nb * static_cast<size_t>(n) * static_cast<size_t>(no));
    for (int o = 0; o < no; ++o)
      lagrange_source(ortho[static_cast<size_t>(o)], lib::Mat(src.data(), NB, n * no).colsFrom(o * n + 1, n));
    a.P->particular(no, lib::CMat(src.data(), NB, n * no), lib::Mat(a.chi.data(), NB, n * no));
    std::vector<double> O(static_cast<size_t>(no * no));
    for (int x = 0; x < no; ++x)
      for (int c = 0; c < no; ++c)
        O[static_cast<size_t>(c * no + x)] =
            ov(ortho[static_cast<size_t>(x)], lib::CMat(a.chi.data() + static_cast<size_t>(c) * nb * n, NB, n));
    a.Oinv = inverse(no, O);
  }
}

void StaticExchange::Impl::orthogonalise(const AtEnergy& a, int ns, lib::Mat X) const {
  const int no = static_cast<int>(ortho.size());
  if (no == 0) return;
  const size_t nb = static_cast<size_t>(NB);
  std::vector<double> s(static_cast<size_t>(no)), e(static_cast<size_t>(no));
  for (int j = 1; j <= ns; ++j) {
    lib::CMat Xj = lib::CMat(X.data(), NB, n * ns).colsFrom((j - 1) * n + 1, n);
    for (int x = 0; x < no; ++x) s[static_cast<size_t>(x)] = ov(ortho[static_cast<size_t>(x)], Xj);
    for (int x = 0; x < no; ++x) {
      double v = 0.0;
      for (int c = 0; c < no; ++c) v -= a.Oinv[static_cast<size_t>(c * no + x)] * s[static_cast<size_t>(c)];
      e[static_cast<size_t>(x)] = v;
    }
    for (int o = 0; o < no; ++o) {
      const double* ch = a.chi.data() + static_cast<size_t>(o) * nb * static_cast<size_t>(n);
      for (int p = 1; p <= n; ++p)
        for (int i = 1; i <= NB; ++i)
          X(i, (j - 1) * n + p) +=
              e[static_cast<size_t>(o)] * ch[static_cast<size_t>(p - 1) * nb + static_cast<size_t>(i - 1)];
    }
  }
}

bool StaticExchange::Impl::has_exchange() const {
  return std::any_of(orb.begin(), orb.end(), [](const Orbital& o) { return o.exchange != 0.0; });
}

void StaticExchange::Impl::solve_exchange(const AtEnergy& a, double* x, double tol, Diagnostics& d) const {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  std::vector<double> sx(len), rhs(x, x + len);
  auto apply = [&](const double* v, double* y) {
    xop->apply(lib::CMat(v, NB, n), lib::Mat(sx.data(), NB, n), a.xw, opt.reference);
    a.P->particular(1, lib::CMat(sx.data(), NB, n), lib::Mat(y, NB, n));
    orthogonalise(a, 1, lib::Mat(y, NB, n));
    for (size_t e = 0; e < len; ++e) y[e] = v[e] - y[e];
  };
  const Krylov kr = gmres(static_cast<int>(len), rhs.data(), x, opt.NIT, tol, apply);
  d.iterations = std::max(d.iterations, kr.iterations);
  d.change = std::max(d.change, kr.residual);
  d.converged = d.converged && kr.residual < tol;
}

// With exchange the solutions solve ψ = Π·(h + G·K·ψ) for each member h of
// the set: K the exchange operator (with its factor), G the particular
// solution free of the set at the end, Π the Lagrange projection.  Then
// ψ − h is a regular particular solution for the source K·ψ (and the
// Lagrange terms), so each ψ is a regular solution of the full equations,
// and the set of them keeps the conditioning of the set h.  The linear
// system (I − Π·G·K)·ψ = Π·h is solved by GMRES in the stored values.
void StaticExchange::Impl::regular_solutions(const AtEnergy& a, std::vector<double>& psi, Diagnostics& d,
                                             double tol) const {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  psi = a.hset;
  orthogonalise(a, n, lib::Mat(psi.data(), NB, n * n));
  d.converged = true;
  if (has_exchange())
    for (int j = 1; j <= n; ++j) solve_exchange(a, psi.data() + static_cast<size_t>(j - 1) * len, tol, d);
}

// The particular solution p = Π·(G·σ + G·K·p) for the source σ (Numerov form).
void StaticExchange::Impl::particular_solution(const AtEnergy& a, const std::vector<double>& source,
                                               std::vector<double>& p, Diagnostics& d, double tol) {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  p.assign(len, 0.0);
  a.P->particular(1, lib::CMat(source.data(), NB, n), lib::Mat(p.data(), NB, n));
  orthogonalise(a, 1, lib::Mat(p.data(), NB, n));
  if (has_exchange()) solve_exchange(a, p.data(), tol, d);
}

StaticExchange::Diagnostics StaticExchange::Impl::block(double k, int NL, Block& b) const {
  const double E = 0.5 * k * k;
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nb = static_cast<size_t>(NB), nn = static_cast<size_t>(n * n);

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
      const Radial rp = ion_radial(as.lam[static_cast<size_t>(i - 1)], c2);
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

  // The open channels P and the closed ones Q at the matching points.
  std::vector<int> open_ch, closed_ch;
  for (int i = 0; i < n; ++i) (as.open[static_cast<size_t>(i)] ? open_ch : closed_ch).push_back(i);
  const int np = static_cast<int>(open_ch.size()), nq = static_cast<int>(closed_ch.size());
  const size_t npp = static_cast<size_t>(np);
  struct OpenSet {
    std::vector<double> N, Apinv, K;  // (n × np), (np × np), (np × np)
    double asym = 0.0;
  };
  auto open_solutions = [&](lib::CMat PSI, const std::vector<double>& A, const std::vector<double>& B) {
    // The open solutions.  In a channel still under its barrier at the
    // matching points (closed, the set Q) a physical solution carries no
    // regular part, which would grow towards the barrier's far side: its pair
    // of values there follows the irregular function's.  That condition is
    // taken as the Casoratian with the normalised pair of the irregular
    // function, c_i = y_i(a)·ĝ_i(b) − y_i(b)·ĝ_i(a), free of the cancellation
    // that a regular amplitude of a channel deep under its barrier suffers
    // (the regular function is exponentially small there, so that amplitude
    // is exponentially sensitive to rounding).  The combinations T of the
    // computed solutions with C_Q·T = 0 span the open solutions: an
    // orthonormal basis N of the null space of C_Q (eigenvectors of C_QᵀC_Q
    // with the np smallest eigenvalues).
    OpenSet o;
    std::vector<double>& N = o.N;
    N.assign(static_cast<size_t>(n) * npp, 0.0);
    if (nq == 0) {
      for (int j = 0; j < n; ++j) N[static_cast<size_t>(j * n + j)] = 1.0;
    } else {
      std::vector<double> Cq(static_cast<size_t>(nq * n));
      for (int x = 0; x < nq; ++x) {
        const int i = closed_ch[static_cast<size_t>(x)];
        const double sa = as.irr[static_cast<size_t>(2 * i)], sb = as.irr[static_cast<size_t>(2 * i + 1)];
        const double h = std::hypot(sa, sb);
        for (int j = 1; j <= n; ++j) {
          double ya = 0.0, yb = 0.0;
          for (int p = 1; p <= n; ++p) {
            ya += U(p, i + 1) * PSI(ia, (j - 1) * n + p) * g.scale(ia);
            yb += U(p, i + 1) * PSI(ib, (j - 1) * n + p) * g.scale(ib);
          }
          Cq[static_cast<size_t>((j - 1) * nq + x)] = (ya * sb - yb * sa) / h;
        }
      }
      std::vector<double> ctc(nn, 0.0), ev(static_cast<size_t>(n)), Z(nn);
      for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
          double v = 0.0;
          for (int r = 0; r < nq; ++r) v += Cq[static_cast<size_t>(x * nq + r)] * Cq[static_cast<size_t>(y * nq + r)];
          ctc[static_cast<size_t>(y * n + x)] = v;
        }
      symmetric_eigen(n, lib::Mat(ctc.data(), n, n), Vec(ev.data(), n), lib::Mat(Z.data(), n, n));
      std::copy(Z.begin(), Z.begin() + static_cast<std::ptrdiff_t>(npp) * n, N.begin());
    }
    // Reg and irr amplitudes of the open solutions ΦN on the open channels,
    // Ap and Bp (np × np), and K_PP = Bp·Ap⁻¹, the K matrix relative to the
    // functions of the ion.
    std::vector<double> Ap(npp * npp, 0.0), Bp(npp * npp, 0.0);
    for (int x = 0; x < np; ++x)
      for (int c = 0; c < np; ++c) {
        const int i = open_ch[static_cast<size_t>(x)];
        double va = 0.0, vb = 0.0;
        for (int j = 0; j < n; ++j) {
          va += A[static_cast<size_t>(j * n + i)] * N[static_cast<size_t>(c * n + j)];
          vb += B[static_cast<size_t>(j * n + i)] * N[static_cast<size_t>(c * n + j)];
        }
        Ap[static_cast<size_t>(c * np + x)] = va;
        Bp[static_cast<size_t>(c * np + x)] = vb;
      }
    o.Apinv = np > 0 ? inverse(np, Ap) : std::vector<double>();
    std::vector<double>& Apinv = o.Apinv;
    o.K.assign(npp * npp, 0.0);
    std::vector<double>& K = o.K;
    for (int x = 0; x < np; ++x)
      for (int y = 0; y < np; ++y) {
        double v = 0.0;
        for (int l = 0; l < np; ++l) v += Bp[static_cast<size_t>(l * np + x)] * Apinv[static_cast<size_t>(y * np + l)];
        K[static_cast<size_t>(y * np + x)] = v;
      }
    // Eigenchannels: K_PP = V·tan τ·Vᵀ; the eigenchannel t has the reg
    // amplitudes V_t·cos τ_t and the irr amplitudes V_t·sin τ_t on P,
    // normalised to δ(E − E′) and orthogonal to the others.  The small irr
    // amplitudes the open solutions leave in the closed channels are left out
    // of the normalisation.  Kept slots beyond the open channels are written
    // as zero functions.
    // Check: K is symmetric for exact solutions; compare its mirror elements
    // among the three lowest open channels (those that carry the dipole).
    double asym = 0.0, kmax = 0.0;
    for (int x = 0; x < std::min(np, 3); ++x)
      for (int y = 0; y < std::min(np, 3); ++y) {
        kmax = std::max(kmax, std::fabs(K[static_cast<size_t>(y * np + x)]));
        asym = std::max(asym, std::fabs(K[static_cast<size_t>(y * np + x)] - K[static_cast<size_t>(x * np + y)]));
      }
    o.asym = asym / std::max(kmax, 1e-300);
    return o;
  };

  std::vector<double> psi;
  Diagnostics d;
  d.k = k;
  lib::CMat PSI(psi.data(), NB, n * n);
  OpenSet os;
  // The solutions of the full equations are those whose values at the point
  // `last` differ from the set's by no component along it; at the isolated
  // energies where a solution of the full equations has no component along
  // the set there, that system is singular and its solutions lose accuracy,
  // which shows in an asymmetric K matrix.  The block is then made again
  // with `last` a few points further in, away from that singularity.
  for (int attempt = 0; attempt < 2; ++attempt) {
    Diagnostics da;
    da.k = k;
    std::vector<double> pa;
    {
      AtEnergy at;
      prepare(E, at, attempt == 0 ? 0 : NB - kShiftRows);
      regular_solutions(at, pa, da, opt.EPS);
    }
    lib::CMat PA(pa.data(), NB, n * n);
    std::vector<double> Aa, Ba;
    match(PA, Aa, Ba);
    OpenSet oa = open_solutions(PA, Aa, Ba);
    da.k_asymmetry = oa.asym;
    if (attempt == 0 || da.k_asymmetry < d.k_asymmetry) {
      psi.swap(pa);
      os = std::move(oa);
      d = da;
      PSI = lib::CMat(psi.data(), NB, n * n);
    }
    if (d.k_asymmetry < kAsymmetryRetry) break;
  }
  const std::vector<double>&K = os.K, &Apinv = os.Apinv, &N = os.N;

  d.open = np;
  std::vector<double> Kp(npp * npp), tv(npp), V(npp * npp);
  // K(i,j) with i the channel of lower λ: the irr amplitude that a reg
  // amplitude in the higher channel leaves in the lower one.  The mirror
  // element carries the tunnelling of the higher channel through its
  // barrier and is the less accurate of the two.
  for (int x = 0; x < np; ++x)
    for (int y = 0; y < np; ++y)
      Kp[static_cast<size_t>(y * np + x)] = K[static_cast<size_t>(std::max(x, y) * np + std::min(x, y))];
  if (np > 0) {
    std::vector<double> work = Kp;  // the eigen-solver overwrites its matrix
    symmetric_eigen(np, lib::Mat(work.data(), np, np), Vec(tv.data(), np), lib::Mat(V.data(), np, np));
  }
  // The open solutions Ψ_i = Σ_t V_it·ψ_t (ψ_t the eigenchannels), one for
  // each open channel i: reg amplitudes C·e_i and irr amplitudes S·e_i with
  // C = V·cos τ·Vᵀ = (1 + K²)^{−1/2} and S = V·sin τ·Vᵀ, an orthonormal,
  // energy-normalised basis of all open solutions that depends smoothly on
  // K (no choice among eigenchannels).  Those of the NL open channels of
  // lowest λ are kept, the dipole reaching mostly these, and rotated among
  // themselves to diagonalise the eigenphase operator arctan K restricted
  // to them: with NL equal to the number of open channels the kept
  // solutions are the eigenchannels themselves.
  const int nk = std::min(NL, np);
  const size_t nkk = static_cast<size_t>(nk);
  std::vector<double> Cm(npp * npp, 0.0), Sm(npp * npp, 0.0), Th(npp * npp, 0.0);
  for (int x = 0; x < np; ++x)
    for (int y = 0; y < np; ++y)
      for (int t = 0; t < np; ++t) {
        const double vv = V[static_cast<size_t>(t * np + x)] * V[static_cast<size_t>(t * np + y)];
        const double tau_t = std::atan(tv[static_cast<size_t>(t)]);
        Cm[static_cast<size_t>(y * np + x)] += vv * std::cos(tau_t);
        Sm[static_cast<size_t>(y * np + x)] += vv * std::sin(tau_t);
        Th[static_cast<size_t>(y * np + x)] += vv * tau_t;
      }
  std::vector<double> G(nkk * nkk), W(nkk * nkk), phi(nkk);
  for (int x = 0; x < nk; ++x)
    for (int y = 0; y < nk; ++y) G[static_cast<size_t>(y * nk + x)] = Th[static_cast<size_t>(y * np + x)];
  if (nk > 0) symmetric_eigen(nk, lib::Mat(G.data(), nk, nk), Vec(phi.data(), nk), lib::Mat(W.data(), nk, nk));
  // Amplitudes of the kept solutions, column t: a (reg) and b (irr) on P,
  // each with its mean λ and its eigenphase within the kept set.
  std::vector<double> a(static_cast<size_t>(n) * nkk, 0.0), bb(static_cast<size_t>(n) * nkk, 0.0), tau(nkk), mean(nkk);
  for (int t = 0; t < nk; ++t) {
    double m = 0.0;
    for (int x = 0; x < np; ++x) {
      double ax = 0.0, bx = 0.0;
      for (int y = 0; y < nk; ++y) {
        ax += Cm[static_cast<size_t>(y * np + x)] * W[static_cast<size_t>(t * nk + y)];
        bx += Sm[static_cast<size_t>(y * np + x)] * W[static_cast<size_t>(t * nk + y)];
      }
      const int i = open_ch[static_cast<size_t>(x)];
      a[static_cast<size_t>(t * n + i)] = ax;
      bb[static_cast<size_t>(t * n + i)] = bx;
      m += (ax * ax + bx * bx) * as.lam[static_cast<size_t>(i)];
    }
    mean[static_cast<size_t>(t)] = m;
    tau[static_cast<size_t>(t)] = phi[static_cast<size_t>(t)];
  }
  std::vector<int> order(nkk);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return mean[static_cast<size_t>(x)] < mean[static_cast<size_t>(y)]; });

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
    // T = N·Ap⁻¹·a: the combination of the computed solutions.
    std::vector<double> T(static_cast<size_t>(n), 0.0), u(npp, 0.0);
    for (int c = 0; c < np; ++c)
      for (int x = 0; x < np; ++x)
        u[static_cast<size_t>(c)] +=
            Apinv[static_cast<size_t>(x * np + c)] * a[static_cast<size_t>(t * n + open_ch[static_cast<size_t>(x)])];
    for (int j = 0; j < n; ++j)
      for (int c = 0; c < np; ++c)
        T[static_cast<size_t>(j)] += N[static_cast<size_t>(c * n + j)] * u[static_cast<size_t>(c)];
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
  return d;
}

void StaticExchange::Impl::bound_frame(double E, Frame& f, bool local) {
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nn = static_cast<size_t>(n * n);
  const double xlast = g.xs[static_cast<size_t>(NB - 1)];
  int ia = NB - 2;
  while (ia > NA + 2 && g.xs[static_cast<size_t>(ia - 1)] > 0.9 * xlast) --ia;
  f.ia = ia;
  const double xa = g.xs[static_cast<size_t>(ia - 1)], xb = xlast;
  f.U.assign(nn, 0.0);
  f.lam.assign(static_cast<size_t>(n), 0.0);
  {
    std::vector<double> a(nn);
    angular_matrix(w.M, w.L0, w.KD, n, ZMion, c2, lib::Mat(a.data(), n, n));
    symmetric_eigen(n, lib::Mat(a.data(), n, n), Vec(f.lam.data(), n), lib::Mat(f.U.data(), n, n));
  }
  f.ga.assign(static_cast<size_t>(n), 0.0);
  f.gb = f.ga;
  f.gnorm = f.ga;
  f.xfar = f.ga;
  for (int i = 0; i < n; ++i) {
    const Radial rp = ion_radial(f.lam[static_cast<size_t>(i)], c2);
    const double xf = decay_point(rp, xb);
    double down[2] = {xb, xa}, gv[2];
    decaying_radial(rp, xf, CVec(down, 2), Vec(gv, 2));
    const double nrm = std::hypot(gv[0], gv[1]);
    f.ga[static_cast<size_t>(i)] = gv[1] / nrm;
    f.gb[static_cast<size_t>(i)] = gv[0] / nrm;
    f.gnorm[static_cast<size_t>(i)] = nrm;
    f.xfar[static_cast<size_t>(i)] = xf;
  }
  f.d = Diagnostics{};
  f.tail.clear();
  prepare(E, f.at);
  if (local)
    f.psi = f.at.hset;
  else
    regular_solutions(f.at, f.psi, f.d, std::min(opt.EPS, kBoundEps));
  f.A.assign(nn, 0.0);
  for (int j = 1; j <= n; ++j) {
    const std::vector<double> c = growing(f, lib::CMat(f.psi.data(), NB, n * n).colsFrom((j - 1) * n + 1, n));
    std::copy(c.begin(), c.end(), f.A.begin() + (j - 1) * n);
  }
}

// The values at the points a and b of the part of X in asymptotic channel i.
void StaticExchange::Impl::channel_pair(const Frame& f, lib::CMat X, int i, double& ya, double& yb) const {
  lib::CMat U(f.U.data(), n, n);
  ya = 0.0;
  yb = 0.0;
  for (int p = 1; p <= n; ++p) {
    ya += U(p, i) * X(f.ia, p) * g.scale(f.ia);
    yb += U(p, i) * X(NB, p) * g.scale(NB);
  }
}

std::vector<double> StaticExchange::Impl::growing(const Frame& f, lib::CMat X) const {
  std::vector<double> c(static_cast<size_t>(n));
  for (int i = 1; i <= n; ++i) {
    double ya = 0.0, yb = 0.0;
    channel_pair(f, X, i, ya, yb);
    c[static_cast<size_t>(i - 1)] = ya * f.gb[static_cast<size_t>(i - 1)] - yb * f.ga[static_cast<size_t>(i - 1)];
  }
  return c;
}

// The integrals beyond the grid of the frame's decaying solutions,
// I(i, j) = (RZ/2)³·[δ_ij·∫ξ²g_i² − ⟨U_i|η²|U_j⟩·∫g_i g_j] from ξ_NB out to
// where they have fallen by e^{−25}, by Simpson's rule in steps of at most
// 0.1 (smooth integrands: exact far beyond the accuracy of the matching).
// Then the part beyond the grid of (RZ/2)³ ∫∫ (ξ² − η²)·ψ·φ for functions
// that follow Σ_i t_i·g_i(ξ)·Σ_p U_pi·Y(L_p) and Σ_i u_i·g_i(ξ)·… there is
// Σ_ij t_i·I(i, j)·u_j.
void StaticExchange::Impl::tail_integrals(Frame& f) const {
  const double xb = g.xs[static_cast<size_t>(NB - 1)];
  double xmax = xb;
  for (double x : f.xfar) xmax = std::max(xmax, x);
  const int N = 2 * std::max(1, static_cast<int>(std::ceil((xmax - xb) / 0.2)));
  const double h = (xmax - xb) / N;
  const size_t np = static_cast<size_t>(N + 1);
  std::vector<double> gv(static_cast<size_t>(n) * np, 0.0);
  for (int i = 0; i < n; ++i) {
    const Radial rp = ion_radial(f.lam[static_cast<size_t>(i)], 0.5 * mol.RZ * mol.RZ * f.E());
    std::vector<double> xs, rs;
    for (int k = N; k >= 0; --k) {
      const double x = xb + k * h;
      if (x < f.xfar[static_cast<size_t>(i)]) xs.push_back(x);
    }
    rs.resize(xs.size());
    decaying_radial(rp, f.xfar[static_cast<size_t>(i)], CVec(xs.data(), static_cast<int>(xs.size())),
                    Vec(rs.data(), static_cast<int>(rs.size())));
    for (size_t e = 0; e < xs.size(); ++e) {
      const size_t k = static_cast<size_t>(std::lround((xs[e] - xb) / h));
      gv[static_cast<size_t>(i) * np + k] = rs[e];
    }
  }
  const double half = 0.5 * mol.RZ;
  f.tail.assign(static_cast<size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double T = 0.0;
      for (int p = 1; p <= n; ++p)
        for (int q = 1; q <= n; ++q)
          T += f.U[static_cast<size_t>(i * n + p - 1)] * f.U[static_cast<size_t>(j * n + q - 1)] *
               eta2(w.L(p), w.L(q), w.M);
      double i0 = 0.0, i2 = 0.0;
      for (size_t k = 0; k < np; ++k) {
        const double wk = (k == 0 || k == np - 1 ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0)) * h / 3.0;
        const double x = xb + static_cast<double>(k) * h;
        const double v = gv[static_cast<size_t>(i) * np + k] * gv[static_cast<size_t>(j) * np + k];
        i0 += wk * v;
        i2 += wk * x * x * v;
      }
      f.tail[static_cast<size_t>(j * n + i)] = half * half * half * ((i == j ? i2 : 0.0) - T * i0);
    }
}

// The amplitudes t_i of the decaying solutions (started with y = 1 far out)
// that continue a function without growing content beyond the grid: least
// squares over the points a and b.
std::vector<double> StaticExchange::Impl::tail_amplitudes(const Frame& f, lib::CMat X) const {
  std::vector<double> t(static_cast<size_t>(n));
  for (int i = 1; i <= n; ++i) {
    double ya = 0.0, yb = 0.0;
    channel_pair(f, X, i, ya, yb);
    const size_t c = static_cast<size_t>(i - 1);
    t[c] = (ya * f.ga[c] + yb * f.gb[c]) / f.gnorm[c];
  }
  return t;
}

// ⟨x|y⟩ over all space: on the grid, and beyond it through the decaying
// solutions of the frame.
double StaticExchange::Impl::full_overlap(Frame& f, const double* x, const double* y) const {
  if (f.tail.empty()) tail_integrals(f);
  const std::vector<double> t = tail_amplitudes(f, lib::CMat(x, NB, n)), u = tail_amplitudes(f, lib::CMat(y, NB, n));
  double v = overlap(g, mol.RZ, w, lib::CMat(x, NB, n), w, lib::CMat(y, NB, n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      v += t[static_cast<size_t>(i)] * f.tail[static_cast<size_t>(j * n + i)] * u[static_cast<size_t>(j)];
  return v;
}

// ψ′ = the regular solution of (H − E)·ψ′ = −(2/RZ²)·x without growing
// content, E that of the frame (a bound-state boundary value problem: the
// equations with the source (ξ² − η²)·x), as p + Σ_j c_j·ψ_j with p the
// particular solution of the full equations, ψ_j their regular solutions
// and A·c = −(growing content of p).
std::vector<double> StaticExchange::Impl::response(Frame& f, const std::vector<double>& x) {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  std::vector<double> src(len), y;
  lagrange_source(x, lib::Mat(src.data(), NB, n));
  particular_solution(f.at, src, y, f.d, std::min(opt.EPS, kBoundEps));
  std::vector<double> c = growing(f, lib::CMat(y.data(), NB, n));
  for (double& v : c) v = -v;
  c = solve(n, f.A, c);
  for (int j = 0; j < n; ++j)
    for (size_t e = 0; e < len; ++e) y[e] += c[static_cast<size_t>(j)] * f.psi[static_cast<size_t>(j) * len + e];
  return y;
}

// Rayleigh-quotient iteration: ψ ← ψ′/|ψ′| with ψ′ the response at E, and
// E_k − E = −(2/RZ²)/⟨ψ|ψ′⟩, exact for ψ the state (the response to a state
// is the state over E − E_k); cubic convergence once ψ is close (linear for
// states reaching far beyond the grid, whose metric on the grid is not that
// of the whole space).
bool StaticExchange::Impl::polish(double& E, std::vector<double>& x, int fixed, const std::vector<double>& states,
                                  int found, double Elo, Frame& f) {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  const double scale = 2.0 / (mol.RZ * mol.RZ);
  auto dot = [&](const double* y, const double* z) { return full_overlap(f, y, z); };
  auto deflate = [&](std::vector<double>& y) {
    for (int k = 0; k < found; ++k) {
      const double* sk = states.data() + len * static_cast<size_t>(k);
      const double c = dot(sk, y.data()) / dot(sk, sk);
      for (size_t e = 0; e < len; ++e) y[e] -= c * sk[e];
    }
  };
  bound_frame(E, f);
  double last = 0.0;
  int growing_steps = 0;
  std::vector<double> hist;
  for (int it = 0; it < 40 + fixed; ++it) {
    // Only the first steps are steered away from the states found: the
    // last ones converge to an eigenstate of the full problem by itself.
    const bool steer = it < fixed + 3;
    if (steer) deflate(x);
    const double nx = std::sqrt(dot(x.data(), x.data()));
    for (double& v : x) v /= nx;
    std::vector<double> y = response(f, x);
    if (steer) deflate(y);
    const double dE = it < fixed ? 0.0 : -scale / dot(x.data(), y.data());
    x.swap(y);
    if (it >= fixed && std::fabs(dE) < 1e-10 * std::fabs(E)) {
      const double nx2 = std::sqrt(dot(x.data(), x.data()));
      for (double& v : x) v /= nx2;
      return true;
    }
    E += dE;
    // For a state reaching beyond the grid the source beyond it is missing
    // from the response, and the energies converge only linearly, with a
    // steady ratio: Aitken's extrapolation on three of them.
    if (dE != 0.0) {
      hist.push_back(E);
      if (hist.size() == 3) {
        const double d1 = hist[2] - hist[1], d0 = hist[1] - hist[0];
        if (d1 != d0 && std::fabs(d1) < std::fabs(d0)) E = hist[2] - d1 * d1 / (d1 - d0);
        hist.clear();
      }
    }
    if (!(E > Elo && E < 0.0)) return false;
    // A start that leads nowhere: the steps keep growing.
    if (dE != 0.0 && last != 0.0) growing_steps = std::fabs(dE) > std::fabs(last) ? growing_steps + 1 : 0;
    if (growing_steps >= 3) return false;
    last = dE;
    if (dE != 0.0) bound_frame(E, f);
  }
  return false;
}

// Bound states are eigenstates of QHQ (Q projecting out the occupied
// orbitals of the symmetry), each made exact by polish().  Starting pairs
// come from two sources: (1) Lanczos, with full re-orthogonalisation, on
// the resolvent T = (H − Elo)⁻¹ (the response times −RZ²/2), symmetric in the
// metric of the overlap, whose largest eigenvalues 1/(E_k − Elo) belong to
// the lowest states; (2) the bound states of the direct field alone, where
// det A of its regular solutions changes sign (on steps of kBoundStep in
// ν = Zion/sqrt(−2E), then bisection), for the diffuse states near
// threshold that reach beyond the grid, where the grid's metric is not that
// of the whole space and the Lanczos values are rough.  Each start that
// leads to a new state counts; the lowest `count` are kept.
int StaticExchange::Impl::bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec Eout) {
  bounds.clear();
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  const double Z = std::max(Zion, 1.0);
  const double scale = 2.0 / (mol.RZ * mol.RZ);
  auto dot = [&](const std::vector<double>& y, const std::vector<double>& z) {
    return overlap(g, mol.RZ, w, lib::CMat(y.data(), NB, n), w, lib::CMat(z.data(), NB, n));
  };
  // A smooth function with a part along any state sought: the sum of
  // e^{−γ(ξ−1)}·(ξ²−1)^{M/2} in every wave for decay constants from that at
  // Elo down to that at Ehi.
  std::vector<double> start(len, 0.0);
  const double g_lo = std::sqrt(-0.5 * mol.RZ * mol.RZ * Elo), g_hi = std::sqrt(-0.5 * mol.RZ * mol.RZ * Ehi);
  for (double gam = g_lo; gam >= 0.999 * g_hi; gam *= 0.5)
    for (int p = 0; p < n; ++p)
      for (int i = 1; i <= NB; ++i) {
        const double xi = g.xs[static_cast<size_t>(i - 1)];
        start[static_cast<size_t>(p) * static_cast<size_t>(NB) + static_cast<size_t>(i - 1)] +=
            std::pow(xi * xi - 1.0, 0.5 * w.M) * std::exp(-gam * (xi - 1.0)) / g.scale(i);
      }

  struct Start {
    double E;
    std::vector<double> x;
    int fixed;
  };
  std::vector<Start> starts;
  // (1) Lanczos.
  {
    Frame base;
    bound_frame(Elo, base);
    auto T = [&](const std::vector<double>& x) {
      std::vector<double> y = response(base, x);
      for (double& v : y) v /= -scale;
      return y;
    };
    std::vector<std::vector<double>> q;
    q.push_back(T(start));
    {
      const double nq = std::sqrt(dot(q[0], q[0]));
      for (double& v : q[0]) v /= nq;
    }
    std::vector<double> alpha, beta, th, S;
    const double theta_hi = 1.0 / (Ehi - Elo);
    int k = 0;
    for (int m = 0; m < kLanczos; ++m) {
      std::vector<double> wv = T(q[static_cast<size_t>(m)]);
      const double a = dot(q[static_cast<size_t>(m)], wv);
      alpha.push_back(a);
      for (int pass = 0; pass < 2; ++pass)
        for (const auto& qj : q) {
          const double c = dot(qj, wv);
          for (size_t e = 0; e < len; ++e) wv[e] -= c * qj[e];
        }
      const double b = std::sqrt(std::max(dot(wv, wv), 0.0));
      k = m + 1;
      std::vector<double> tri(static_cast<size_t>(k * k), 0.0);
      th.assign(static_cast<size_t>(k), 0.0);
      S.assign(tri.size(), 0.0);
      for (int i = 0; i < k; ++i) {
        tri[static_cast<size_t>(i * k + i)] = alpha[static_cast<size_t>(i)];
        if (i + 1 < k) {
          tri[static_cast<size_t>(i * k + i + 1)] = beta[static_cast<size_t>(i)];
          tri[static_cast<size_t>((i + 1) * k + i)] = beta[static_cast<size_t>(i)];
        }
      }
      symmetric_eigen(k, lib::Mat(tri.data(), k, k), Vec(th.data(), k), lib::Mat(S.data(), k, k));
      // Largest θ first; settled when the residual estimate b·|last
      // component| is small beside θ.
      int sought = 0, settled = 0;
      for (int i = k - 1; i >= 0 && sought < count; --i) {
        if (th[static_cast<size_t>(i)] <= theta_hi) break;
        ++sought;
        if (b * std::fabs(S[static_cast<size_t>(i * k + k - 1)]) < 1e-8 * th[static_cast<size_t>(i)]) ++settled;
      }
      if ((sought > 0 && settled == sought && m >= 2 * count) || b < 1e-12 * std::fabs(a)) break;
      beta.push_back(b);
      for (double& v : wv) v /= b;
      q.push_back(std::move(wv));
    }
    lanczos_steps = k;
    for (int i = k - 1, taken = 0; i >= 0 && taken < count + kSpare; --i, ++taken) {
      if (th[static_cast<size_t>(i)] <= theta_hi) break;
      Start st{Elo + 1.0 / th[static_cast<size_t>(i)], std::vector<double>(len, 0.0), 2};
      for (int j = 0; j < k; ++j)
        for (size_t e = 0; e < len; ++e) st.x[e] += S[static_cast<size_t>(i * k + j)] * q[static_cast<size_t>(j)][e];
      starts.push_back(std::move(st));
    }
  }
  // (2) The direct field alone: sign changes of det A.
  {
    auto energy = [&](double nu) { return -0.5 * Z * Z / (nu * nu); };
    const double nu_lo = Z / std::sqrt(-2.0 * Elo), nu_hi = Z / std::sqrt(-2.0 * Ehi);
    Frame left, right, mid;
    auto sign_frame = [&](double E, const Frame* ref, Frame& f) {
      bound_frame(E, f, true);
      if (ref)  // the channel vectors follow those close by
        for (int i = 0; i < n; ++i) {
          double d = 0.0;
          for (int p = 0; p < n; ++p) d += ref->U[static_cast<size_t>(i * n + p)] * f.U[static_cast<size_t>(i * n + p)];
          if (d < 0.0) {
            for (int p = 0; p < n; ++p) f.U[static_cast<size_t>(i * n + p)] *= -1.0;
            for (int j = 0; j < n; ++j) f.A[static_cast<size_t>(j * n + i)] *= -1.0;
          }
        }
      return determinant(n, f.A);
    };
    double fa = sign_frame(energy(nu_lo), nullptr, left);
    int local = 0;
    for (double nu = nu_lo; nu < nu_hi && local < count + kSpare;) {
      const double nu_next = std::min(nu + kBoundStep, nu_hi);
      const double fb = sign_frame(energy(nu_next), &left, right);
      if ((fa < 0.0) != (fb < 0.0)) {
        double ea = left.E(), eb = right.E();
        const bool neg = fa < 0.0;
        while (eb - ea > 1e-4 * std::fabs(eb)) {
          const double ec = 0.5 * (ea + eb);
          if ((sign_frame(ec, &left, mid) < 0.0) == neg)
            ea = ec;
          else
            eb = ec;
        }
        starts.push_back(Start{0.5 * (ea + eb), start, 2});
        ++local;
      }
      std::swap(left, right);
      fa = fb;
      nu = nu_next;
    }
  }
  // Polish every start, lowest first; keep the new states.
  std::sort(starts.begin(), starts.end(), [](const Start& a, const Start& b) { return a.E < b.E; });
  std::vector<double> states;
  int found = 0;
  for (auto& st : starts) {
    // With `count` states in hand, starts above the highest of the lowest
    // `count` lead to higher states.
    if (found >= count) {
      std::vector<double> es;
      for (const auto& bd : bounds) es.push_back(bd.E);
      std::nth_element(es.begin(), es.begin() + (count - 1), es.end());
      if (st.E > es[static_cast<size_t>(count - 1)]) break;
    }
    double E = st.E;
    std::vector<double> x = st.x;
    Frame f;
    if (!polish(E, x, st.fixed, states, found, Elo, f) || E >= Ehi) continue;
    bool again = false;
    for (const auto& bd : bounds) again = again || std::fabs(bd.E - E) < 1e-8 * std::fabs(E);
    if (again) continue;
    states.resize(len * static_cast<size_t>(found + 1));
    lib::Mat Xs(states.data() + len * static_cast<size_t>(found), NB, n);
    lib::CMat Xc(x.data(), NB, n), U(f.U.data(), n, n);
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) Xs(i, p) = Xc(i, p);
    const double grid = overlap(g, mol.RZ, w, Xs, w, Xs);
    const double total = full_overlap(f, Xs.data(), Xs.data());
    double big = 0.0;
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i)
        if (std::fabs(Xs(i, p) * g.scale(i)) > std::fabs(big)) big = Xs(i, p) * g.scale(i);
    const double fac = (big < 0.0 ? -1.0 : 1.0) / std::sqrt(total);
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) Xs(i, p) *= fac;
    Bound bd;
    bd.E = E;
    bd.nu = Z / std::sqrt(-2.0 * E);
    bd.grid_norm = grid / total;
    bounds.push_back(bd);
    ++found;
  }
  // The lowest `count`, lowest first.
  std::vector<int> order(static_cast<size_t>(found));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](int x, int y) { return bounds[static_cast<size_t>(x)].E < bounds[static_cast<size_t>(y)].E; });
  found = std::min(found, count);
  std::vector<Bound> sorted;
  for (int r = 0; r < found; ++r) {
    const int o = order[static_cast<size_t>(r)];
    std::copy(states.begin() + static_cast<std::ptrdiff_t>(len * static_cast<size_t>(o)),
              states.begin() + static_cast<std::ptrdiff_t>(len * static_cast<size_t>(o + 1)),
              X.data() + len * static_cast<size_t>(r));
    sorted.push_back(bounds[static_cast<size_t>(o)]);
    Eout(r + 1) = sorted.back().E;
  }
  bounds = sorted;
  return found;
}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               const ExchangeOptions& opt)
    : p_(std::make_unique<Impl>(g, gs, mol, NSI, w, opt)) {}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               int NIT, double EPS)
    : StaticExchange(g, gs, mol, NSI, w, ExchangeOptions{NIT, EPS, true, true}) {}

StaticExchange::~StaticExchange() = default;

void StaticExchange::block(double k, int NL, Block& b) { p_->diag.push_back(p_->block(k, NL, b)); }

void StaticExchange::blocks(const std::vector<double>& ks, int NL, std::vector<Block>& out) {
  const int nc = static_cast<int>(ks.size());
  out.assign(ks.size(), Block{});
  std::vector<Diagnostics> d(ks.size());
  if (p_->opt.reference) {
    for (int j = 0; j < nc; ++j)
      d[static_cast<size_t>(j)] = p_->block(ks[static_cast<size_t>(j)], NL, out[static_cast<size_t>(j)]);
  } else {
    // Each block is made by one thread from the shared, read-only equations,
    // so it is the same whichever thread makes it and whatever the others do.
    // A stop inside is carried out of the parallel loop; the one of the
    // lowest energy is raised, as a loop in order would raise it.
    std::vector<std::exception_ptr> failed(ks.size());
#pragma omp parallel for schedule(dynamic, 1)
    for (int j = 0; j < nc; ++j) {
      try {
        d[static_cast<size_t>(j)] = p_->block(ks[static_cast<size_t>(j)], NL, out[static_cast<size_t>(j)]);
      } catch (...) {
        failed[static_cast<size_t>(j)] = std::current_exception();
      }
    }
    for (const auto& e : failed)
      if (e) std::rethrow_exception(e);
  }
  p_->diag.insert(p_->diag.end(), d.begin(), d.end());
}

int StaticExchange::bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec E) {
  return p_->bound_states(count, Elo, Ehi, X, E);
}

const std::vector<StaticExchange::Bound>& StaticExchange::bound() const { return p_->bounds; }

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

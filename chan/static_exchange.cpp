// The static-exchange solver: the frozen orbitals of the ground state, the
// coupled equations of the channel with the direct field of the ion and the
// exchange operator, and the listing of what the solver found.
#include "chan/static_exchange.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <numeric>

#include "chan/coupled.hpp"
#include "chan/exchange_operator.hpp"
#include "chan/static_exchange_impl.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/angular_projection.hpp"
#include "lib/lapack.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/one_electron.hpp"

namespace chan {

double ion_charge(const GroundState& gs, const Molecule& mol, int open_shell, int open_electrons) {
  double N = 0.0;
  for (int s = 1; s <= gs.NSH(); ++s) N += s == open_shell ? open_electrons : gs.shell(s, 1).M == 0 ? 2.0 : 4.0;
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

// Legendre functions of the second kind far out: Q0 = atanh(1/ξ),
// Q1 = ξ·Q0 − 1 = Σ_{k≥1} ξ^{−2k}/(2k+1).
double legendre_q0(double xi) { return std::atanh(1.0 / xi); }
double legendre_q1(double xi) {
  const double u = 1.0 / (xi * xi);
  double s = 0.0, t = u;
  for (int k = 1; k < 200 && t > 1e-18 * s; ++k, t *= u) s += t / (2 * k + 1);
  return s;
}

}  // namespace

// The exchange operator of the orbitals with a non-zero weight.
void StaticExchange::Impl::build_exchange() {
  std::vector<ExchangeOrbital> xo;
  for (const auto& o : orb)
    if (o.exchange != 0.0) xo.push_back({o.desc, gs.waves(o.shell), 0.5 * mol.RZ * mol.RZ * o.exchange / o.norm});
  xop = std::make_unique<ExchangeOperator>(g, w, std::move(xo), C1, F());
}

void StaticExchange::Impl::choose_field() {
  if (!opt.field.empty()) {
    if (static_cast<int>(opt.field.size()) != gs.NSH()) {
      io::stop("chanfile: the ion's field names " + std::to_string(opt.field.size()) +
               " shells, the ground state has " + std::to_string(gs.NSH()));
    }
    field = opt.field;
    return;
  }
  for (int s = 1; s <= gs.NSH(); ++s) {
    const int M = gs.shell(s, 1).M;
    const bool emptied = s == NSI && opt.open_electrons == 1;
    ShellField f;
    f.direct = shell_electrons(s, M) - (s == NSI ? 1.0 : 0.0);
    f.exchange = emptied ? 0.0 : s == NSI ? 1.0 : -1.0;  // −K_i + 2K_i for the hole, singlet
    f.partner = emptied || M == 0 ? 0.0 : -1.0;
    field.push_back(f);
  }
}

// Exchange weights per spatial orbital from the field: the orbital +M of
// shell s takes field.exchange, −M field.partner.  The continuum stays
// orthogonal to every occupied orbital of the ground state of its
// symmetry, the ionised one and the open shell included, so that the
// dipole of the many-electron states reduces to the one-electron element
// in both forms and no term of the energy is linear in the continuum.
// The ion's electrons are those of its direct field, so that the charge
// matched beyond the grid is the monopole the direct field has there: the
// neutral's N less the one ionised.
void StaticExchange::Impl::build_orbitals() {
  const int KD = w.KD;
  const bool with_exchange = opt.electrons && opt.exchange;
  double ion_electrons = 0.0;
  for (int s = 1; s <= gs.NSH(); ++s) {
    const Waves ws = gs.shell(s, KD);
    const double nrm = overlap(g, mol.RZ, ws, gs.waves(s), ws, gs.waves(s));
    const ShellField& f = field[static_cast<size_t>(s - 1)];
    for (int sign : {+1, -1}) {
      if (sign < 0 && ws.M == 0) continue;
      FrozenOrbital o;
      o.shell = s;
      o.desc = {sign * ws.M, ws.L0, ws.n};
      o.norm = nrm;
      o.exchange = with_exchange ? (sign > 0 ? f.exchange : f.partner) : 0.0;
      orb.push_back(o);
    }
    if (opt.electrons && same_symmetry(ws, w)) {
      std::vector<double> x(static_cast<size_t>(NB) * static_cast<size_t>(n));
      on_waves(g, ws, gs.waves(s), w, 1.0 / std::sqrt(nrm), lib::Mat(x.data(), NB, n));
      ortho.push_back(std::move(x));
    }
    ion_electrons += f.direct;
  }
  electrons = ion_electrons + 1.0;
  Zion = opt.electrons ? mol.Z1 + mol.Z2 - electrons + 1.0 : mol.Z1 + mol.Z2;
}

void StaticExchange::Impl::size_work() {
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

// One-electron and angular terms (one_electron_equations), then the direct field of the
// ion's electrons: shell s with d_s = field.direct electrons adds
// −(RZ²/2)·(d_s/N_s)·[(ξ² − η²)·V_s]_{pq} to the coupling, V_s the
// potential of its density.
void StaticExchange::Impl::build_equations() {
  const size_t nn = static_cast<size_t>(n * n);
  pd.assign(static_cast<size_t>(NB) * nn, 0.0);
  tt.assign(nn, 0.0);
  lib::Arr3 PD(pd.data(), NB, n, n);
  std::vector<double> w1(static_cast<size_t>(NB));
  const lib::OneElectronSetting one{(mol.Z1 + mol.Z2) * mol.RZ, w.KD == 2 ? 0.0 : (mol.Z2 - mol.Z1) * mol.RZ};
  lib::one_electron_equations(NB, lib::WaveSet{w.M, w.L0, n, w.KD}, one, g.R(),
                              lib::VecView<double, 0>(f99.data(), lib::kFactorials), lib::Mat(w1.data(), NB, 1),
                              lib::Mat(tt.data(), n, n), PD);
  lib::CMat R = g.R();
  double V0 = 0.0, V1 = 0.0;  // monopole and dipole of the direct potential at the last point
  std::vector<double> q(static_cast<size_t>(NB)), q1(static_cast<size_t>(NB));
  for (int s = 1; s <= gs.NSH(); ++s) {
    const Waves ws = gs.shell(s, w.KD);
    double d = field[static_cast<size_t>(s - 1)].direct;  // left in the ion
    if (!opt.electrons) d = 0.0;
    if (d == 0.0) continue;
    const double nrm = orb_norm(s);
    std::array<int, 3> mnz{};
    lib::Mat Z(z.data(), NB, nz);
    const lib::PartialWaves orbital{{ws.M, ws.L0, ws.n, w.KD}, gs.waves(s)};
    lib::pair_multipoles(lib::MultipoleSetting{g.radial(), R2(), F()}, g.series().column(1),
                         lib::PairDensity{orbital, orbital, C1},
                         lib::MultipoleWork{Vec(b4.data(), 4), lib::Mat(wc.data(), NA, NA), lib::Mat(cx.data(), NA, 3),
                                            lib::Mat(wk.data(), NB, 6)},
                         IVec(mnz.data(), 3), Z);
    for (int k = 1; k <= mnz[2]; ++k) {
      const int lam = mnz[1] + (k - 1) * w.KD;
      if (lam == 0) V0 += d / nrm * Z(NB, k) * g.scale(NB);
      if (lam == 1) V1 += d / nrm * Z(NB, k) * g.scale(NB);
    }
    for (int p = 1; p <= n; ++p)
      for (int qq_ = 1; qq_ <= n; ++qq_) {
        lib::angular_projection_onto(NB, lib::PartialWaves{{mnz[0], mnz[1], mnz[2], w.KD}, Z},
                                     lib::ProductProjection{w.L(qq_), w.M, w.L(p), 1.0}, w.M, R.col(2), F(),
                                     Vec(q1.data(), NB), Vec(q.data(), NB));
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
  ZMion =
      w.KD == 2 ? 0.0 : (mol.Z2 - mol.Z1) * mol.RZ + half * (V1 / legendre_q1(xi)) * std::sqrt(3.0 / (4.0 * kPi)) / 3.0;
}

double StaticExchange::Impl::orb_norm(int s) const {
  for (const auto& o : orb)
    if (o.shell == s) return o.norm;
  return 1.0;
}

// Lagrange source of orbital o: col3·[ξ²·X_o − Σ_q TT(q,p)·X_o,q], the
// stored form of (ξ² − η²)·φ_o.
void StaticExchange::Impl::lagrange_source(const std::vector<double>& xo, lib::Mat S) const {
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
Radial StaticExchange::Impl::ion_radial(double lam, double c2) const {
  Radial rp;
  rp.m = w.M;
  rp.lam = lam;
  rp.ZP = ZPion;
  rp.c2 = c2;
  rp.RZ = mol.RZ;
  return rp;
}

double StaticExchange::Impl::ov(const std::vector<double>& xo, lib::CMat X) const {
  return overlap(g, mol.RZ, w, lib::CMat(xo.data(), NB, n), w, X);
}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               const ExchangeOptions& opt)
    : p_(std::make_unique<Impl>(g, gs, mol, NSI, w, opt)) {}

StaticExchange::StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                               int NIT, double EPS)
    : StaticExchange(g, gs, mol, NSI, w, ExchangeOptions{NIT, EPS, true, true, 0}) {}

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
    // Every block's LAPACK calls run on one BLAS thread, on one thread of
    // OpenMP as on several: the energies already fill the cores, BLAS
    // threads inside them would only compete with each other, and the last
    // bits of OpenBLAS's solution of even a 6 × 6 system change with the
    // number of its threads.
    std::vector<std::exception_ptr> failed(ks.size());
    const int blas_threads = lib::set_blas_threads(1);
#pragma omp parallel for schedule(dynamic, 1)
    for (int j = 0; j < nc; ++j) {
      try {
        d[static_cast<size_t>(j)] = p_->block(ks[static_cast<size_t>(j)], NL, out[static_cast<size_t>(j)]);
      } catch (...) {
        failed[static_cast<size_t>(j)] = std::current_exception();
      }
    }
    if (blas_threads > 0) lib::set_blas_threads(blas_threads);
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

#include "chan/exchange_operator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/build.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/radial_solver.hpp"

namespace chan {

namespace {

// Grid points per pass: the partial sums of a stretch stay in the cache
// (or in registers) while every coefficient acts on it.
constexpr int kStretch = 64;
// Coefficients below this are dropped, as angular_projection_onto drops them.
constexpr double kDrop = 1.0e-7;

}  // namespace

// The two kernels below are built twice, for plain x86-64 and for AVX2 (four
// numbers per instruction), the processor choosing at run time.  Only the
// width changes: AVX2 alone brings no fused multiply-add, so every number
// sees the same roundings either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define SUITE_WIDE_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define SUITE_WIDE_KERNEL
#endif

namespace {

// q = Σ_t X(·, t.col)·t.c on the stretch j0 … j0 + nj − 1, term by term in
// order.  angular_projection_onto starts the sum from zero; starting from the first product
// differs only in the sign of a sum that is an exact zero, which no later
// step sees (it is scaled, then added to a non-zero sum or to +0).  Inlined
// into both builds of the kernels that call it.
template <class Terms>
[[gnu::always_inline]] inline void stretch_sum(const Terms& ts, lib::CMat X, int j0, int nj, double* q) {
  if (ts.empty()) {
    for (int e = 0; e < nj; ++e) q[e] = 0.0;
    return;
  }
  const double* x = &X(j0, ts[0].col);
  const double c0 = ts[0].c;
  for (int e = 0; e < nj; ++e) q[e] = x[e] * c0;
  for (size_t t = 1; t < ts.size(); ++t) {
    const double* y = &X(j0, ts[t].col);
    const double c = ts[t].c;
    for (int e = 0; e < nj; ++e) q[e] = q[e] + y[e] * c;
  }
}

}  // namespace

ExchangeOperator::ExchangeOperator(const Grid& g, const Waves& w, std::vector<ExchangeOrbital> orbitals, double C1,
                                   lib::Fac F)
    : g_(g), w_(w), C1_(C1), F_(F), fdesc_{w.M, w.L0, w.n} {
  const int NB = g.NB, KD = w.KD, n = w.n;
  // The multipoles of each product (as pair_multipoles chooses them) and the range of
  // the angular table.
  int lmax = w.L(n), mmax = std::abs(w.M);
  for (const auto& o : orbitals) {
    if (o.f == 0.0) continue;
    Pair pr;
    pr.o = o;
    const int m = w.M - o.desc[0];
    int l0 = std::abs(w.L0 - o.desc[1]);
    if (l0 < std::abs(m)) l0 += 2;
    pr.mnz = {m, l0, (3 * (n + o.desc[2])) / 4};
    pr.column = std::abs(m) + 1;
    if (pr.column > kProjections) {
      io::stop(io::fstring(io::Format("(' CUIF: PROJECTION',I4,' BEYOND THE',I4,' COLUMNS OF THE SERIES TABLES')"),
                           pr.column - 1, kProjections));
    }
    nz_ = std::max(nz_, pr.mnz[2]);
    lmax = std::max({lmax, o.desc[1] + (o.desc[2] - 1) * KD, l0 + (pr.mnz[2] - 1) * KD});
    mmax = std::max({mmax, std::abs(o.desc[0]), std::abs(m)});
    orb_.push_back(std::move(pr));
  }
  const lib::GauntTable t(lmax, mmax, F, lib::Build::photo);

  lib::CMat R = g.R();
  const lib::CVec CB = g.BZ();
  for (Pair& pr : orb_) {
    const int m = pr.mnz[0], l0 = pr.mnz[1], count = pr.mnz[2];
    const int Mo = pr.o.desc[0], L0o = pr.o.desc[1], no = pr.o.desc[2];
    // The coefficient function of each multipole and its far boundary
    // ratio (the decaying solution), as pair_multipoles forms them.
    const double CM = -static_cast<double>(m) * m;
    pr.P.assign(static_cast<size_t>(NB) * count, 0.0);
    pr.B2.assign(static_cast<size_t>(count), 0.0);
    lib::Mat P(pr.P.data(), NB, count);
    for (int k = 1; k <= count; ++k) {
      const int lam = (k - 1) * KD + l0;
      const double CK = -static_cast<double>(lam) * (lam + 1);
      for (int j = 1; j <= NB; ++j) P(j, k) = R(j, 3) * CK + (R(j, 4) * CM + R(j, 5));
      const double A1 = (-CM - 1.0 - (lam + 2.0) * lam) / (4.0 * lam + 6.0);
      const double A2 = (-CM - 1.0 - (lam + 2.0) * (lam + 4.0)) * A1 / (8.0 * lam + 20.0);
      pr.B2[static_cast<size_t>(k - 1)] = -CB(1) * std::pow(CB(2), (lam + 1) / 2.0) *
                                          (1.0 + A1 * CB(3) + A2 * CB(3) * CB(3)) /
                                          (1.0 + A1 * CB(4) + A2 * CB(4) * CB(4));
    }
    // The projections: ψ·conj(φ_o) onto multipole k (angular_projection_onto in pair_multipoles, with
    // the factor (−1)^Mo·C1), and multipoles times φ_o onto the waves of ψ
    // (angular_projection_onto in exchange_potential_waves).
    const double CC = ((Mo & 1) ? -1.0 : 1.0) * C1;
    auto projection = [&](int ncol, int K0I, int MI, int MJ, int M3, int KJ, int K, double C) {
      Projection p;
      for (int i = 1; i <= ncol; ++i) {
        const int L = (i - 1) * KD + K0I;
        const double A = t.gaunt_integral(L, KJ, K, MI, MJ, M3) * C;
        if (std::fabs(A) >= kDrop) p.a.push_back({i, A});
        const double B = -t.gaunt_integral_eta2(L, KJ, K, MI, MJ, M3) * C;
        if (std::fabs(B) >= kDrop) p.b.push_back({i, B});
      }
      return p;
    };
    for (int k = 1; k <= count; ++k)
      for (int i2 = 1; i2 <= no; ++i2)
        pr.in.push_back(projection(n, w.L0, w.M, -Mo, m, (i2 - 1) * KD + L0o, (k - 1) * KD + l0, CC));
    for (int ig = 1; ig <= n; ++ig)
      for (int ic = 1; ic <= no; ++ic)
        pr.out.push_back(projection(count, l0, m, Mo, w.M, (ic - 1) * KD + L0o, (ig - 1) * KD + w.L0, 1.0));
  }
}

ExchangeOperator::Work ExchangeOperator::work() const {
  const size_t nb = static_cast<size_t>(g_.NB), na = static_cast<size_t>(g_.NA);
  const size_t nz = static_cast<size_t>(std::max(nz_, 1));
  Work wk;
  wk.src.assign(nb * nz, 0.0);
  wk.z.assign(nb * nz, 0.0);
  wk.u.assign(nb, 0.0);
  wk.v.assign(nb, 0.0);
  wk.wc.assign(na * na, 0.0);
  wk.cx.assign(na * 3, 0.0);
  wk.wk.assign(nb * 6, 0.0);
  wk.qq.assign(nb * static_cast<size_t>(w_.n), 0.0);
  wk.b4 = {1.0, 0.0, 0.0, 0.0};
  return wk;
}

// The multipoles V_λ of ψ·conj(φ_o) into wk.z: the sources of all λ in one
// pass over the grid, stretch by stretch, then one radial solve each.  On
// every point the sums run as in pair_multipoles and angular_projection_onto: per orbital wave the two
// partial sums over the waves of ψ, combined as Q·ξ² + Q1, then summed
// over the orbital waves.  (A projection without terms adds an exact zero
// there and is skipped.)
SUITE_WIDE_KERNEL void ExchangeOperator::multipoles(const Pair& pr, lib::CMat psi, Work& wk) const {
  const int NB = g_.NB, NA = g_.NA, count = pr.mnz[2], no = pr.o.desc[2];
  lib::CMat R = g_.R(), X2 = pr.o.X;
  lib::Mat S(wk.src.data(), NB, nz_);
  for (int j0 = 1; j0 <= NB; j0 += kStretch) {
    const int nj = std::min(kStretch, NB - j0 + 1);
    const double *xi2 = &R(j0, 2), *c3 = &R(j0, 3), *c6 = &R(j0, 6);
    for (int k = 1; k <= count; ++k) {
      double acc[kStretch] = {}, q[kStretch], q1[kStretch];
      for (int i2 = 1; i2 <= no; ++i2) {
        const Projection& p = pr.in[static_cast<size_t>((k - 1) * no + i2 - 1)];
        if (p.a.empty() && p.b.empty()) continue;
        stretch_sum(p.a, psi, j0, nj, q);
        stretch_sum(p.b, psi, j0, nj, q1);
        const double* x2 = &X2(j0, i2);
        for (int e = 0; e < nj; ++e) acc[e] = acc[e] + x2[e] * (q[e] * xi2[e] + q1[e]);
      }
      double* s = &S(j0, k);
      for (int e = 0; e < nj; ++e) s[e] = c3[e] * acc[e] * c6[e];
    }
  }
  const int c = pr.column;
  lib::Mat Z(wk.z.data(), NB, nz_), CX(wk.cx.data(), NA, 3);
  lib::CMat Pm(pr.P.data(), NB, count);
  const lib::RadialWork work{lib::Mat(wk.wc.data(), NA, NA), CX.col(1),           CX.col(2), CX.col(3),
                             Vec(wk.u.data(), NB),           Vec(wk.v.data(), NB)};
  for (int k = 1; k <= count; ++k) {
    wk.b4 = {1.0, pr.B2[static_cast<size_t>(k - 1)], 0.0, 0.0};
    lib::solve_radial_equation(g_.radial(), g_.series().column(c), work, 1, lib::CVec(wk.b4.data(), 4), Pm.col(k),
                               S.col(k), Z.col(k));
  }
}

// S(·, p) += f_o·col3·col6·[(ξ² − η²)·V·φ_o]_p with the multipoles in wk.z,
// in one pass over the grid; on every point the sums run as in angular_projection_onto and exchange_potential_waves.
SUITE_WIDE_KERNEL void ExchangeOperator::act(const Pair& pr, lib::Mat S, Work& wk) const {
  const int NB = g_.NB, n = w_.n, no = pr.o.desc[2];
  lib::CMat R = g_.R(), Xo = pr.o.X, Z(wk.z.data(), NB, nz_);
  const double f = pr.o.f;
  for (int j0 = 1; j0 <= NB; j0 += kStretch) {
    const int nj = std::min(kStretch, NB - j0 + 1);
    const double *xi2 = &R(j0, 2), *c3 = &R(j0, 3), *c6 = &R(j0, 6);
    for (int ig = 1; ig <= n; ++ig) {
      double acc[kStretch] = {}, q[kStretch], q1[kStretch];
      for (int ic = 1; ic <= no; ++ic) {
        const Projection& p = pr.out[static_cast<size_t>((ig - 1) * no + ic - 1)];
        if (p.a.empty() && p.b.empty()) continue;
        stretch_sum(p.a, Z, j0, nj, q);
        stretch_sum(p.b, Z, j0, nj, q1);
        const double* xo = &Xo(j0, ic);
        for (int e = 0; e < nj; ++e) acc[e] = acc[e] + xo[e] * (q[e] * xi2[e] + q1[e]);
      }
      double* s = &S(j0, ig);
      for (int e = 0; e < nj; ++e) s[e] = s[e] + f * acc[e] * c3[e] * c6[e];
    }
  }
}

// The same through lib::exchange_potential_waves, which forms every coefficient as it goes.
void ExchangeOperator::reference(const Pair& pr, lib::CMat psi, lib::Mat S, Work& wk) const {
  const int NB = g_.NB, NA = g_.NA, n = w_.n;
  lib::CMat R = g_.R();
  lib::Mat QQ(wk.qq.data(), NB, n);
  wk.b4 = {1.0, 0.0, 0.0, 0.0};
  const lib::PartialWaves orbital = lib::described_waves(CIVec(pr.o.desc.data(), 3), w_.KD, pr.o.X);
  const lib::PairDensity rho{lib::described_waves(CIVec(fdesc_.data(), 3), w_.KD, psi), orbital, C1_};
  lib::exchange_potential_waves(lib::MultipoleSetting{g_.radial(), R.colsFrom(2, 7), F_}, g_.series(), rho, orbital,
                                CIVec(fdesc_.data(), 3),
                                lib::MultipoleWork{Vec(wk.b4.data(), 4), lib::Mat(wk.wc.data(), NA, NA),
                                                   lib::Mat(wk.cx.data(), NA, 3), lib::Mat(wk.wk.data(), NB, 6)},
                                QQ, lib::Mat(wk.z.data(), NB, nz_));
  for (int p = 1; p <= n; ++p)
    for (int i = 1; i <= NB; ++i) S(i, p) += pr.o.f * QQ(i, p) * R(i, 3) * R(i, 6);
}

void ExchangeOperator::apply(lib::CMat psi, lib::Mat S, Work& wk, bool ref) const {
  const int NB = g_.NB, n = w_.n;
  for (int j = 1; j <= NB; ++j)
    for (int c = 1; c <= n; ++c) S(j, c) = 0.0;
  for (const Pair& pr : orb_) {
    if (ref) {
      reference(pr, psi, S, wk);
    } else {
      multipoles(pr, psi, wk);
      act(pr, S, wk);
    }
  }
}

}  // namespace chan

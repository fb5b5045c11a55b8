// The continuum block at one energy: the regular solutions of the full
// equations matched at the end of the grid to the regular and irregular
// Coulomb-spheroidal functions of the ion, the open solutions and their K
// matrix, and the energy-normalised eigenchannel solutions kept.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "chan/dense_algebra.hpp"
#include "chan/static_exchange_impl.hpp"

namespace chan {

// The asymptotic channels of the ion at one energy: angular eigenvectors U,
// separation constants, the energy-normalised regular and irregular
// functions at the two matching points a < b, and the phase of each regular
// one; the open channels P and the closed ones Q there.
struct Asymptote {
  int n = 0, ia = 0, ib = 0;
  std::vector<double> U, lam, delta;
  std::vector<double> reg, irr;  // (2, n): at points a and b
  std::vector<int> open;         // 1: the channel oscillates at the matching points
  std::vector<int> open_ch, closed_ch;
};

namespace {

// Coefficients A(i,j), B(i,j) of reg_i and irr_i in solution j.
void match(const Grid& g, const Asymptote& as, lib::CMat X, std::vector<double>& A, std::vector<double>& B) {
  const int n = as.n, ia = as.ia, ib = as.ib;
  const size_t nn = static_cast<size_t>(n * n);
  lib::CMat U(as.U.data(), n, n);
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
}

}  // namespace

struct OpenSet {
  std::vector<double> N, Apinv, K;  // (n × np), (np × np), (np × np)
  double asym = 0.0;
};

namespace {

// An orthonormal basis N (n × np) of the combinations T of the computed
// solutions PSI that carry no regular part in the closed channels (C_Q·T = 0,
// the condition explained in open_solutions): the eigenvectors of C_QᵀC_Q with
// the np smallest eigenvalues, or the identity when no channel is closed.
std::vector<double> open_basis(const Grid& g, const Asymptote& as, lib::CMat PSI) {
  const int n = as.n, ia = as.ia, ib = as.ib;
  const size_t nn = static_cast<size_t>(n * n);
  lib::CMat U(as.U.data(), n, n);
  const std::vector<int>& closed_ch = as.closed_ch;
  const int nq = static_cast<int>(closed_ch.size());
  const size_t npp = as.open_ch.size();
  std::vector<double> N;
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
  return N;
}

// The open solutions of the computed set PSI, with their K matrix.
OpenSet open_solutions(const Grid& g, const Asymptote& as, lib::CMat PSI, const std::vector<double>& A,
                       const std::vector<double>& B, Algebra alg) {
  const int n = as.n;
  const std::vector<int>& open_ch = as.open_ch;
  const int np = static_cast<int>(open_ch.size());
  const size_t npp = static_cast<size_t>(np);
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
  N = open_basis(g, as, PSI);
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
  o.Apinv = np > 0 ? inverse(np, Ap, alg) : std::vector<double>();
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
}

}  // namespace

// Amplitudes of the kept solutions, column t: a (reg) and b (irr) on the
// channels, each with its eigenphase τ within the kept set and its mean λ;
// `order` lists them by increasing mean λ.
struct Kept {
  int nk = 0;
  std::vector<double> a, bb, tau, mean;
  std::vector<int> order;
};

namespace {

// The kept solutions, from the K matrix of the open channels.
Kept eigenchannels(const Asymptote& as, const std::vector<double>& K, int NL) {
  const int n = as.n;
  const std::vector<int>& open_ch = as.open_ch;
  const int np = static_cast<int>(open_ch.size());
  const size_t npp = static_cast<size_t>(np);
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

  Kept kp;
  kp.nk = nk;
  kp.a = std::move(a);
  kp.bb = std::move(bb);
  kp.tau = std::move(tau);
  kp.mean = std::move(mean);
  kp.order = std::move(order);
  return kp;
}

}  // namespace

Asymptote StaticExchange::Impl::asymptote(double c2) const {
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
  as.ia = ia;
  as.ib = ib;
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
  // The open channels P and the closed ones Q at the matching points.
  std::vector<int>&open_ch = as.open_ch, &closed_ch = as.closed_ch;
  for (int i = 0; i < n; ++i) (as.open[static_cast<size_t>(i)] ? open_ch : closed_ch).push_back(i);
  return as;
}

StaticExchange::Diagnostics StaticExchange::Impl::regular_set(double k, const Asymptote& as, std::vector<double>& psi,
                                                              OpenSet& os) const {
  const double E = 0.5 * k * k;
  Diagnostics d;
  d.k = k;
  // The solutions of the full equations are those whose values at the point
  // `last` differ from the set's by no component along it; at the isolated
  // energies where a solution of the full equations has no component along
  // the set there, that system is singular and its solutions lose accuracy,
  // which shows in an asymmetric K matrix.  The block is then made again
  // with `last` a few points further in, away from that singularity.
  // The asymmetry left in the examples (up to 6e-4, H2 kσu near k = 0.35)
  // has another cause, which the second attempt cannot remove: the ion's
  // field at the end of the grid is not yet the separable Coulomb (and
  // dipole) field the solutions are matched to; its quadrupole, O(1/ξ³),
  // still couples the channels there.  The asymmetry falls as ξ_end⁻³
  // (6.0e-4, 7.3e-5, 2.1e-5 for ξ_end = 40, 80, 120 at k = 0.35), while the
  // cross sections stay the same to the four digits listed and the phases
  // to 1e-4·π: K is symmetrised by taking the element of the lower channel
  // (below), and the error left is that of the truncated field.
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
    match(g, as, PA, Aa, Ba);
    OpenSet oa = open_solutions(g, as, PA, Aa, Ba, algebra());
    da.k_asymmetry = oa.asym;
    if (attempt == 0 || da.k_asymmetry < d.k_asymmetry) {
      psi.swap(pa);
      os = std::move(oa);
      d = da;
    }
    if (d.k_asymmetry < kAsymmetryRetry) break;
  }
  return d;
}

double StaticExchange::Impl::kept_solutions(const Asymptote& as, const OpenSet& os, const Kept& kp, lib::CMat PSI,
                                            Block& b) const {
  const std::vector<int>& open_ch = as.open_ch;
  const int np = static_cast<int>(open_ch.size());
  const size_t npp = static_cast<size_t>(np);
  lib::CMat U(as.U.data(), n, n);
  const std::vector<double>&Apinv = os.Apinv, &N = os.N;
  const std::vector<double>&a = kp.a, &bb = kp.bb, &tau = kp.tau, &mean = kp.mean;
  const std::vector<int>& order = kp.order;
  lib::Mat X = b.x(NB);
  double maxov = 0.0;
  for (int s = 1; s <= kp.nk; ++s) {
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
  return maxov;
}

StaticExchange::Diagnostics StaticExchange::Impl::block(double k, int NL, Block& b) const {
  const double E = 0.5 * k * k;
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nb = static_cast<size_t>(NB);
  const Asymptote as = asymptote(c2);
  std::vector<double> psi;
  OpenSet os;
  Diagnostics d = regular_set(k, as, psi, os);
  lib::CMat PSI(psi.data(), NB, n * n);
  d.open = static_cast<int>(as.open_ch.size());
  const Kept kp = eigenchannels(as, os.K, NL);

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
  d.max_overlap = kept_solutions(as, os, kp, PSI, b);
  lib::CMat X = b.x(NB);
  double vmax = 0.0;
  for (int s = 1; s <= kp.nk; ++s)
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) vmax = std::max(vmax, std::fabs(X(i, (s - 1) * n + p) * g.scale(i)));
  d.max_value = vmax / (energy_amplitude(mol.RZ) / std::sqrt(std::sqrt(c2)));
  return d;
}

}  // namespace chan

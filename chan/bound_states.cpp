// Bound states of the static-exchange field below threshold: the regular
// solutions matched to the ion's decaying functions, Rayleigh-quotient
// iteration on the boundary value problem, and the starting guesses from
// Lanczos on the resolvent and from the direct field alone.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "chan/dense_algebra.hpp"
#include "chan/static_exchange_impl.hpp"

namespace chan {

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
  c = solve(n, f.A, c, algebra());
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
  // The previous correction, when E has moved by exactly it since (no
  // extrapolation between): the rate of convergence.
  double previous = 0.0;
  for (int it = 0; it < 40 + fixed; ++it) {
    // Only the first steps are steered away from the states found: the
    // last ones converge to an eigenstate of the full problem by itself.
    const bool steer = it < fixed + 3;
    if (steer) {
      const double before = it == 0 ? dot(x.data(), x.data()) : 0.0;
      deflate(x);
      // A start without inverse iterations must keep most of its vector:
      // one that lay along a state found is rough, like any other.
      if (it == 0 && fixed == 0 && dot(x.data(), x.data()) < 0.25 * before) fixed = 2;
    }
    const double nx = std::sqrt(dot(x.data(), x.data()));
    for (double& v : x) v /= nx;
    std::vector<double> y = response(f, x);
    if (steer) deflate(y);
    const double dE = it < fixed ? 0.0 : -scale / dot(x.data(), y.data());
    x.swap(y);
    // Converged: the correction is below 1e-10 of E, or (the default) it
    // is the last one needed: the steps shrink by a factor r < 0.01 and
    // even at that rate the rest, |dE|·r/(1 − r), is below 1e-10 of E.
    // The second saves the last frame and response, the dearest of the
    // search since the equations are nearly singular at the state.
    const double r = previous != 0.0 ? std::fabs(dE / previous) : 1.0;
    const bool last_step = !opt.reference && r < 0.01 && std::fabs(dE) * r / (1.0 - r) < 1e-10 * std::fabs(E);
    if (it >= fixed && (std::fabs(dE) < 1e-10 * std::fabs(E) || last_step)) {
      if (last_step) E += dE;
      const double nx2 = std::sqrt(dot(x.data(), x.data()));
      for (double& v : x) v /= nx2;
      return true;
    }
    E += dE;
    previous = dE;
    // For a state reaching beyond the grid the source beyond it is missing
    // from the response, and the energies converge only linearly, with a
    // steady ratio: Aitken's extrapolation on three of them.
    if (dE != 0.0) {
      hist.push_back(E);
      if (hist.size() == 3) {
        const double d1 = hist[2] - hist[1], d0 = hist[1] - hist[0];
        if (d1 != d0 && std::fabs(d1) < std::fabs(d0)) {
          E = hist[2] - d1 * d1 / (d1 - d0);
          previous = 0.0;
        }
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
// Starts (1): Lanczos, with full re-orthogonalisation, on the resolvent
// T = (H − Elo)⁻¹ from `start`; the Ritz pairs of the largest θ above
// 1/(Ehi − Elo).
void StaticExchange::Impl::lanczos_starts(int count, double Elo, double Ehi, const std::vector<double>& start,
                                          std::vector<BoundStart>& starts) {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  const double scale = 2.0 / (mol.RZ * mol.RZ);
  auto dot = [&](const std::vector<double>& y, const std::vector<double>& z) {
    return overlap(g, mol.RZ, w, lib::CMat(y.data(), NB, n), w, lib::CMat(z.data(), NB, n));
  };
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
  double b = 0.0;
  // Ritz pair i settled: the residual estimate b·|last component| is small
  // beside θ.
  auto ritz_settled = [&](int i) {
    return b * std::fabs(S[static_cast<size_t>(i * k + k - 1)]) < 1e-8 * th[static_cast<size_t>(i)];
  };
  for (int m = 0; m < kLanczos; ++m) {
    std::vector<double> wv = T(q[static_cast<size_t>(m)]);
    const double a = dot(q[static_cast<size_t>(m)], wv);
    alpha.push_back(a);
    for (int pass = 0; pass < 2; ++pass)
      for (const auto& qj : q) {
        const double c = dot(qj, wv);
        for (size_t e = 0; e < len; ++e) wv[e] -= c * qj[e];
      }
    b = std::sqrt(std::max(dot(wv, wv), 0.0));
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
    // Largest θ first.
    int sought = 0, settled = 0;
    for (int i = k - 1; i >= 0 && sought < count; --i) {
      if (th[static_cast<size_t>(i)] <= theta_hi) break;
      ++sought;
      if (ritz_settled(i)) ++settled;
    }
    if ((sought > 0 && settled == sought && m >= 2 * count) || b < 1e-12 * std::fabs(a)) break;
    beta.push_back(b);
    for (double& v : wv) v /= b;
    q.push_back(std::move(wv));
  }
  lanczos_steps = k;
  for (int i = k - 1, taken = 0; i >= 0 && taken < count + kSpare; --i, ++taken) {
    if (th[static_cast<size_t>(i)] <= theta_hi) break;
    BoundStart st{Elo + 1.0 / th[static_cast<size_t>(i)], std::vector<double>(len, 0.0),
                  ritz_settled(i) && !opt.reference ? 0 : 2};
    for (int j = 0; j < k; ++j)
      for (size_t e = 0; e < len; ++e) st.x[e] += S[static_cast<size_t>(i * k + j)] * q[static_cast<size_t>(j)][e];
    starts.push_back(std::move(st));
  }
}

// Starts (2): the bound states of the direct field alone, where det A of
// its regular solutions changes sign on steps of kBoundStep in ν, then by
// bisection; each with `start` as its function.
void StaticExchange::Impl::direct_field_starts(int count, double Elo, double Ehi, const std::vector<double>& start,
                                               std::vector<BoundStart>& starts) {
  const double Z = std::max(Zion, 1.0);
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
    return determinant(n, f.A, algebra());
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
      starts.push_back(BoundStart{0.5 * (ea + eb), start, 2});
      ++local;
    }
    std::swap(left, right);
    fa = fb;
    nu = nu_next;
  }
}

int StaticExchange::Impl::bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec Eout) {
  bounds.clear();
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  const double Z = std::max(Zion, 1.0);
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

  std::vector<BoundStart> starts;
  lanczos_starts(count, Elo, Ehi, start, starts);
  direct_field_starts(count, Elo, Ehi, start, starts);
  // Polish every start, lowest first; keep the new states.
  std::sort(starts.begin(), starts.end(), [](const BoundStart& a, const BoundStart& b) { return a.E < b.E; });
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

}  // namespace chan

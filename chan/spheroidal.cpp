#include "chan/spheroidal.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "io/stop.hpp"
#include "lib/quadrature.hpp"

namespace chan {

namespace {

// Where the power series at ξ = 1 hands over to Runge–Kutta.
constexpr double kSeriesEnd = 0.25;
// Phase advanced per Runge–Kutta step: the local error is about
// (0.02)⁵/120 ≈ 3e-11 of the amplitude per step.
constexpr double kPhaseStep = 0.02;
// Scale at which a growing solution is scaled down.
constexpr double kBig = 1.0e100;

// 32-point Gauss–Legendre nodes and weights on [−1, 1].
struct GaussRule32 {
  std::array<double, 32> x{}, w{};
  GaussRule32() { lib::gauss_legendre(32, lib::Vec(x.data(), 32), lib::Vec(w.data(), 32)); }
};

const GaussRule32& rule32() {
  static const GaussRule32 r;
  return r;
}

}  // namespace

// ---------------------------------------------------------------- angular part

double eta_up(int l, int m) {
  m = std::abs(m);
  if (l < m) return 0.0;
  const double num = static_cast<double>(l + 1) * (l + 1) - static_cast<double>(m) * m;
  return std::sqrt(num / ((2.0 * l + 1.0) * (2.0 * l + 3.0)));
}

double eta2(int l1, int l2, int m) {
  if (l1 == l2) return eta_up(l1, m) * eta_up(l1, m) + (l1 >= 1 ? eta_up(l1 - 1, m) * eta_up(l1 - 1, m) : 0.0);
  if (std::abs(l1 - l2) == 2) {
    const int lo = std::min(l1, l2);
    return eta_up(lo, m) * eta_up(lo + 1, m);
  }
  return 0.0;
}

void angular_matrix(int M, int L0, int KD, int n, double ZM, double c2, Mat A) {
  for (int p = 1; p <= n; ++p) {
    const int Lp = L0 + (p - 1) * KD;
    for (int q = 1; q <= n; ++q) {
      const int Lq = L0 + (q - 1) * KD;
      double a = c2 * eta2(Lp, Lq, M);
      if (p == q) a += static_cast<double>(Lp) * (Lp + 1);
      if (Lq == Lp + 1) a += ZM * eta_up(Lp, M);
      if (Lp == Lq + 1) a += ZM * eta_up(Lq, M);
      A(p, q) = a;
    }
  }
}

// Cyclic Jacobi: each rotation zeroes A(p,q) exactly and keeps A symmetric;
// sweeps stop when the off-diagonal part is below rounding of the diagonal.
// Kept in place of a library solver on purpose: the matrices are at most
// 20 × 20 (120 for the Lanczos tridiagonal), and the open solutions are the
// eigenvectors of C_QᵀC_Q with the smallest eigenvalues, near zero beside
// the largest; rotations from the identity determine such eigenvectors to
// rounding relative to their own eigenvalue (a tridiagonal reduction first
// does not), and the written solutions keep their signs and roundings.
void symmetric_eigen(int n, Mat A, Vec lam, Mat U) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) U(i, j) = i == j ? 1.0 : 0.0;
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0, diag = 0.0;
    for (int p = 1; p <= n; ++p) {
      diag += A(p, p) * A(p, p);
      for (int q = p + 1; q <= n; ++q) off += A(p, q) * A(p, q);
    }
    if (off <= 1e-32 * diag || off == 0.0) break;
    for (int p = 1; p < n; ++p) {
      for (int q = p + 1; q <= n; ++q) {
        const double apq = A(p, q);
        if (apq == 0.0) continue;
        const double theta = (A(q, q) - A(p, p)) / (2.0 * apq);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (int k = 1; k <= n; ++k) {
          const double akp = A(k, p), akq = A(k, q);
          A(k, p) = c * akp - s * akq;
          A(k, q) = s * akp + c * akq;
        }
        for (int k = 1; k <= n; ++k) {
          const double apk = A(p, k), aqk = A(q, k);
          A(p, k) = c * apk - s * aqk;
          A(q, k) = s * apk + c * aqk;
        }
        for (int k = 1; k <= n; ++k) {
          const double ukp = U(k, p), ukq = U(k, q);
          U(k, p) = c * ukp - s * ukq;
          U(k, q) = s * ukp + c * ukq;
        }
      }
    }
  }
  for (int i = 1; i <= n; ++i) lam(i) = A(i, i);
  // Ascending order (selection sort on the columns).
  for (int i = 1; i <= n; ++i) {
    int best = i;
    for (int j = i + 1; j <= n; ++j)
      if (lam(j) < lam(best)) best = j;
    if (best != i) {
      std::swap(lam(i), lam(best));
      for (int k = 1; k <= n; ++k) std::swap(U(k, i), U(k, best));
    }
    int big = 1;
    for (int k = 2; k <= n; ++k)
      if (std::fabs(U(k, i)) > std::fabs(U(big, i))) big = k;
    if (U(big, i) < 0.0)
      for (int k = 1; k <= n; ++k) U(k, i) = -U(k, i);
  }
}

// ---------------------------------------------------------------- radial part

double Radial::q(double xi) const {
  const double d = xi * xi - 1.0;
  return -static_cast<double>(m) * m / d - lam + ZP * xi + c2 * xi * xi;
}

void Radial::Q3(double xi, double& Q, double& Q1, double& Q2) const {
  const double D = xi * xi - 1.0, D1 = 2.0 * xi;
  const double N = c2 * xi * xi + ZP * xi - lam, N1 = 2.0 * c2 * xi + ZP, N2 = 2.0 * c2;
  const double s = 1.0 - static_cast<double>(m) * m;
  Q = N / D + s / (D * D);
  Q1 = N1 / D - N * D1 / (D * D) - 2.0 * s * D1 / (D * D * D);
  Q2 = N2 / D - 2.0 * N1 * D1 / (D * D) - 2.0 * N / (D * D) + 2.0 * N * D1 * D1 / (D * D * D) -
       2.0 * s * (2.0 / (D * D * D) - 3.0 * D1 * D1 / (D * D * D * D));
}

double Radial::Q(double xi) const {
  double q0, q1, q2;
  Q3(xi, q0, q1, q2);
  return q0;
}

double Radial::c() const { return std::sqrt(c2); }

// Coefficients of f(t), t = ξ − 1: with ξ² − 1 = 2t + t² and the potential
// −λ + ZP(1+t) + c²(1+t)², the coefficient of t^n gives
//   2(n+1)(n+m+1)·a_{n+1} = −[(n+m)(n+m+1) − λ + ZP + c²]·a_n − (ZP + 2c²)·a_{n−1} − c²·a_{n−2}.
void regular_series(const Radial& rp, double t, double& R, double& P) {
  const int m = rp.m;
  double a2 = 0.0, a1 = 0.0, a0 = 1.0;  // a_{n−2}, a_{n−1}, a_n
  double f = 1.0, fp = 0.0, tn = 1.0;   // tn = t^n
  int quiet = 0;
  for (int n = 0; n < 4000; ++n) {
    const double num =
        ((n + m) * (n + m + 1.0) - rp.lam + rp.ZP + rp.c2) * a0 + (rp.ZP + 2.0 * rp.c2) * a1 + rp.c2 * a2;
    const double an1 = -num / (2.0 * (n + 1.0) * (n + m + 1.0));
    const double term = an1 * tn * t;           // a_{n+1} t^{n+1}
    const double dterm = (n + 1.0) * an1 * tn;  // derivative of that term
    f += term;
    fp += dterm;
    tn *= t;
    a2 = a1;
    a1 = a0;
    a0 = an1;
    if (std::fabs(term) <= 1e-17 * std::fabs(f) && std::fabs(dterm) * t <= 1e-17 * (std::fabs(fp) * t + std::fabs(f)))
      ++quiet;
    else
      quiet = 0;
    if (quiet >= 3 && n >= 4) break;
  }
  const double xi = 1.0 + t;
  const double D = t * (2.0 + t);
  const double pre = m == 0 ? 1.0 : std::pow(D, 0.5 * m);
  R = pre * f;
  P = pre * (D * fp + m * xi * f);
}

namespace {

// Derivatives of (R, P, I0, I2).
inline void rhs(const Radial& rp, double xi, const double y[4], double d[4]) {
  const double D = xi * xi - 1.0;
  d[0] = y[1] / D;
  d[1] = -rp.q(xi) * y[0];
  d[2] = y[0] * y[0];
  d[3] = xi * xi * y[0] * y[0];
}

// Step length for about kPhaseStep radian of phase, and no more than a
// tenth of the distance to the singular point ξ = 1 or a twentieth of ξ.
inline double step_length(const Radial& rp, double xi) {
  const double D = xi * xi - 1.0;
  const double kappa = std::sqrt(std::fabs(rp.q(xi)) / D + 1e-30);
  double h = kPhaseStep / kappa;
  h = std::min(h, 0.02 * (xi - 1.0));
  h = std::min(h, 0.02 * xi);
  return h;
}

void rk4(const Radial& rp, double xi, double h, double y[4]) {
  double k1[4], k2[4], k3[4], k4[4], t[4];
  rhs(rp, xi, y, k1);
  for (int i = 0; i < 4; ++i) t[i] = y[i] + 0.5 * h * k1[i];
  rhs(rp, xi + 0.5 * h, t, k2);
  for (int i = 0; i < 4; ++i) t[i] = y[i] + 0.5 * h * k2[i];
  rhs(rp, xi + 0.5 * h, t, k3);
  for (int i = 0; i < 4; ++i) t[i] = y[i] + h * k3[i];
  rhs(rp, xi + h, t, k4);
  for (int i = 0; i < 4; ++i) y[i] += h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
}

// Runge–Kutta from track.xi to `to`, sampling at xs(first …) (ordered in the
// direction of integration).  Samples already taken, Rs(1 … first−1)
// included, are scaled with the solution when it is scaled down.
void path(const Radial& rp, Track& tr, double to, CVec xs, int first, Vec Rs, Vec Ps, bool integrals) {
  const double dir = to >= tr.xi ? 1.0 : -1.0;
  double y[4] = {tr.R, tr.P, tr.I0, tr.I2};
  int next = first;
  const int nxs = xs.size();
  auto rescale = [&](double f) {
    y[0] *= f;
    y[1] *= f;
    y[2] *= f * f;
    y[3] *= f * f;
    for (int i = 1; i < next; ++i) Rs(i) *= f;
    if (Ps.size() > 0)
      for (int i = 1; i < next; ++i) Ps(i) *= f;
  };
  // Samples at the start point.
  while (next <= nxs && std::fabs(xs(next) - tr.xi) <= 1e-14 * std::fabs(tr.xi)) {
    Rs(next) = y[0];
    if (Ps.size() > 0) Ps(next) = y[1];
    ++next;
  }
  double xi = tr.xi;
  while (dir * (to - xi) > 0.0) {
    double target = to;
    if (next <= nxs && dir * (to - xs(next)) > 0.0) target = xs(next);
    double h = step_length(rp, xi);
    double rest = dir * (target - xi);
    if (h >= rest)
      h = rest;
    else if (h > 0.5 * rest)
      h = 0.5 * rest;  // no sliver steps before a sample
    const double r0 = y[0];
    rk4(rp, xi, dir * h, y);
    xi = (h == rest) ? target : xi + dir * h;
    if ((r0 < 0.0 && y[0] > 0.0) || (r0 > 0.0 && y[0] < 0.0)) ++tr.nodes;
    while (next <= nxs && xi == xs(next)) {
      Rs(next) = y[0];
      if (Ps.size() > 0) Ps(next) = y[1];
      ++next;
    }
    if (std::fabs(y[0]) > kBig || std::fabs(y[1]) > kBig * xi * xi) rescale(1.0 / kBig);
  }
  tr.xi = to;
  tr.R = y[0];
  tr.P = y[1];
  if (integrals) {
    tr.I0 = y[2];
    tr.I2 = y[3];
  }
}

}  // namespace

void integrate_path(const Radial& rp, Track& track, double to, CVec xs, Vec Rs, Vec Ps, bool integrals) {
  path(rp, track, to, xs, 1, Rs, Ps, integrals);
}

void integrate_regular(const Radial& rp, CVec xs, Vec Rs, double xend, Track& track, bool integrals) {
  const int n = xs.size();
  const double xs_end = 1.0 + kSeriesEnd;
  int i = 1;
  // Series region: samples, node count, and the integrals by Gauss–Legendre.
  for (; i <= n && xs(i) <= xs_end && xs(i) <= xend; ++i) {
    double R, P;
    regular_series(rp, xs(i) - 1.0, R, P);
    Rs(i) = R;
  }
  const double x0 = std::min(xs_end, xend);
  track = Track{};
  track.xi = x0;
  regular_series(rp, x0 - 1.0, track.R, track.P);
  {
    double prev = 1.0;
    for (int k = 1; k <= 64; ++k) {
      double R, P;
      regular_series(rp, (x0 - 1.0) * k / 64.0, R, P);
      if ((prev < 0.0 && R > 0.0) || (prev > 0.0 && R < 0.0)) ++track.nodes;
      if (R != 0.0) prev = R;
    }
  }
  if (integrals) {
    const auto& g = rule32();
    const double half = 0.5 * (x0 - 1.0);
    for (int k = 0; k < 32; ++k) {
      const double xi = 1.0 + half * (1.0 + g.x[k]);
      double R, P;
      regular_series(rp, xi - 1.0, R, P);
      track.I0 += half * g.w[k] * R * R;
      track.I2 += half * g.w[k] * xi * xi * R * R;
    }
  }
  if (xend > x0) path(rp, track, xend, xs, i, Rs, Vec(), integrals);
}

// ---------------------------------------------------------------- continuum

double milne_w(const Radial& rp, double xi) {
  double Q, Q1, Q2;
  rp.Q3(xi, Q, Q1, Q2);
  return std::sqrt(Q + Q2 / (4.0 * Q) - (5.0 / 16.0) * (Q1 / Q) * (Q1 / Q));
}

namespace {

// w(ξ) − c − ZP/(2cξ), free of cancellation: with q1 = Q − c²,
// w0 − c = q1/(w0 + c) and ξ·q1 − ZP = [ZP − ξ(λ − c²)]/(ξ²−1) + ξ(1−m²)/(ξ²−1)².
double phase_rate_excess(const Radial& rp, double xi) {
  const double c = rp.c();
  const double D = xi * xi - 1.0;
  const double s = 1.0 - static_cast<double>(rp.m) * rp.m;
  const double q1 = (rp.ZP * xi - rp.lam + rp.c2) / D + s / (D * D);
  double Q, Q1, Q2;
  rp.Q3(xi, Q, Q1, Q2);
  const double w0 = std::sqrt(Q);
  const double xq1 = (rp.ZP - xi * (rp.lam - rp.c2)) / D + xi * s / (D * D);
  const double num = 2.0 * c * xq1 - rp.ZP * q1 / (w0 + c);
  const double part = num / (2.0 * c * xi * (w0 + c));
  const double corr = Q2 / (4.0 * Q) - (5.0 / 16.0) * (Q1 / Q) * (Q1 / Q);
  const double w1 = std::sqrt(Q + corr);
  return corr / (w1 + w0) + part;
}

}  // namespace

double milne_phase(const Radial& rp, double xi) {
  const double c = rp.c();
  // ∫_ξ^∞ g dξ′ = ∫_0^{1/ξ} g(1/u)/u² du, smooth in u.
  const auto& g = rule32();
  const double u0 = 1.0 / xi;
  double tail = 0.0;
  for (int k = 0; k < 32; ++k) {
    const double u = 0.5 * u0 * (1.0 + g.x[k]);
    tail += 0.5 * u0 * g.w[k] * phase_rate_excess(rp, 1.0 / u) / (u * u);
  }
  return c * xi + rp.ZP / (2.0 * c) * std::log(2.0 * c * xi) - tail;
}

double far_point(const Radial& rp, double xmin) {
  double xi = std::max(xmin, 4.0);
  const double disc = rp.ZP * rp.ZP + 4.0 * rp.c2 * rp.lam;
  if (disc > 0.0) {
    const double root = (-rp.ZP + std::sqrt(disc)) / (2.0 * rp.c2);
    xi = std::max(xi, 2.0 * root);
  }
  for (int it = 0; it < 400; ++it) {
    double Q, Q1, Q2;
    rp.Q3(xi, Q, Q1, Q2);
    if (Q > 0.0) {
      const double corr = std::fabs(Q2 / (4.0 * Q) - (5.0 / 16.0) * (Q1 / Q) * (Q1 / Q)) / Q;
      const double eps = std::fabs(Q1) / std::pow(Q, 1.5);
      if (corr < 1e-6 && eps < 1e-2) return xi;
    }
    xi *= 1.2;
  }
  io::stop("chanfile: no asymptotic region found for the continuum at c² = " + std::to_string(rp.c2) +
           ", λ = " + std::to_string(rp.lam));
}

double energy_amplitude(double RZ) { return 2.0 / std::sqrt(kPi * RZ); }

namespace {

// Phase-amplitude form at ξ: α = w^{-1/2}, α′, w.
void milne_at(const Radial& rp, double xi, double& alpha, double& dalpha, double& w) {
  w = milne_w(rp, xi);
  const double h = 1e-3 * xi;
  const double dw = (milne_w(rp, xi + h) - milne_w(rp, xi - h)) / (2.0 * h);
  alpha = 1.0 / std::sqrt(w);
  dalpha = -0.5 * dw * alpha / w;
}

}  // namespace

void regular_continuum(const Radial& rp, CVec xs, Vec Rs, double& delta, double& xfar) {
  const double xlast = xs.size() > 0 ? xs(xs.size()) : 2.0;
  xfar = far_point(rp, std::max(xlast, 2.0));
  Track tr;
  integrate_regular(rp, xs, Rs, xfar, tr, false);
  const double s = std::sqrt(xfar * xfar - 1.0);
  const double y = s * tr.R;
  const double yp = (tr.P + xfar * tr.R) / s;
  double alpha, dalpha, w;
  milne_at(rp, xfar, alpha, dalpha, w);
  const double S = y / alpha;
  const double C = alpha * yp - dalpha * y;
  const double N = std::hypot(S, C);
  const double phi = milne_phase(rp, xfar);
  delta = std::remainder(std::atan2(S, C) - phi, 2.0 * kPi);
  const double f = energy_amplitude(rp.RZ) / N;
  for (int i = 1; i <= xs.size(); ++i) Rs(i) *= f;
}

void irregular_continuum(const Radial& rp, double delta, double xfar, CVec xs, Vec Rs, Vec Ps) {
  double alpha, dalpha, w;
  milne_at(rp, xfar, alpha, dalpha, w);
  const double A = energy_amplitude(rp.RZ);
  const double phi = milne_phase(rp, xfar) + delta;
  const double y = A * alpha * std::cos(phi);
  const double yp = A * (dalpha * std::cos(phi) - alpha * w * std::sin(phi));
  const double s = std::sqrt(xfar * xfar - 1.0);
  Track tr;
  tr.xi = xfar;
  tr.R = y / s;
  tr.P = s * yp - xfar * y / s;
  const double to = xs.size() > 0 ? xs(xs.size()) : xfar;
  path(rp, tr, to, xs, 1, Rs, Ps, false);
}

// ---------------------------------------------------------------- bound states

double Symmetry::lambda(double E, int index, Vec s) const {
  std::array<double, kMaxWaves * kMaxWaves> a{}, u{};
  std::array<double, kMaxWaves> l{};
  Mat A(a.data(), n, n), U(u.data(), n, n);
  angular_matrix(M, L0, KD, n, ZM, 0.5 * RZ * RZ * E, A);
  symmetric_eigen(n, A, Vec(l.data(), n), U);
  for (int p = 1; p <= s.size() && p <= n; ++p) s(p) = U(p, index);
  return l[index - 1];
}

namespace {

Radial bound_radial(const Symmetry& sym, double E, int index, Vec s) {
  Radial rp;
  rp.m = std::abs(sym.M);
  rp.lam = sym.lambda(E, index, s);
  rp.ZP = sym.ZP;
  rp.c2 = 0.5 * sym.RZ * sym.RZ * E;
  rp.RZ = sym.RZ;
  return rp;
}

// Outermost classical turning point (1 when there is none) and the decay
// constant γ = sqrt(−c²).
double turning_point(const Radial& rp) {
  const double g2 = -rp.c2;
  const double disc = rp.ZP * rp.ZP - 4.0 * g2 * rp.lam;
  if (disc < 0.0) return 1.0;
  return std::max(1.0, (rp.ZP + std::sqrt(disc)) / (2.0 * g2));
}

// Nodes of the regular solution out to where a bound state has decayed by
// e^{−50} beyond its turning point.
int count_nodes(const Symmetry& sym, double E, int index) {
  Radial rp = bound_radial(sym, E, index, Vec());
  const double xend = std::max(turning_point(rp), 1.5) + 50.0 / std::sqrt(-rp.c2);
  Track tr;
  integrate_regular(rp, CVec(), Vec(), xend, tr, false);
  return tr.nodes;
}

}  // namespace

double decay_point(const Radial& rp, double xmin) {
  return std::max({turning_point(rp), 1.5, xmin}) + 25.0 / std::sqrt(-rp.c2);
}

void decaying_radial(const Radial& rp, double xfar, CVec xs, Vec Rs) {
  const double sf = std::sqrt(xfar * xfar - 1.0);
  const double y = 1.0, yp = -std::sqrt(-rp.Q(xfar)) * y;
  Track in;
  in.xi = xfar;
  in.R = y / sf;
  in.P = sf * yp - xfar * y / sf;
  const double to = xs.size() > 0 ? xs(xs.size()) : xfar;
  path(rp, in, to, xs, 1, Rs, Vec(), false);
}

bool find_bound(const Symmetry& sym, int index, int nodes, double Emax, BoundState& out) {
  const double Z = std::max(sym.ZP / sym.RZ, 0.1);
  double lo = -2.0 * Z * Z - 1.0;
  for (int it = 0; it < 60 && count_nodes(sym, lo, index) > nodes; ++it) lo *= 2.0;
  double hi = Emax;
  if (count_nodes(sym, hi, index) <= nodes) return false;
  // Bisection on the node count: lo has at most `nodes`, hi more.
  for (int it = 0; it < 200 && hi - lo > 1e-13 * std::fabs(hi); ++it) {
    const double mid = 0.5 * (lo + hi);
    if (count_nodes(sym, mid, index) <= nodes)
      lo = mid;
    else
      hi = mid;
  }
  out.E = 0.5 * (lo + hi);
  out.index = index;
  out.nodes = nodes;
  out.lam = sym.lambda(out.E, index, Vec());
  return true;
}

void bound_function(const Symmetry& sym, const BoundState& b, CVec xs, Vec Rs, Vec s) {
  std::array<double, kMaxWaves> sv{};
  Radial rp = bound_radial(sym, b.E, b.index, Vec(sv.data(), sym.n));
  for (int p = 1; p <= s.size() && p <= sym.n; ++p) s(p) = sv[p - 1];
  const double gamma = std::sqrt(-rp.c2);
  const double xm = std::max(turning_point(rp), 1.5);
  const int n = xs.size();
  const double xlast = n > 0 ? xs(n) : xm;
  const double xfar = std::max(xm + 50.0 / gamma, xlast + 1.0);

  int nin = 0;  // points at or below the matching point
  while (nin < n && xs(nin + 1) <= xm) ++nin;
  Track out;
  integrate_regular(rp, xs.sub(1, nin), Rs.sub(1, nin), xm, out, true);

  // Decaying solution from far out, y′ = −sqrt(−Q)·y.
  std::vector<double> xd(static_cast<size_t>(n - nin)), rd(xd.size());
  for (int i = 0; i < n - nin; ++i) xd[static_cast<size_t>(i)] = xs(n - i);
  const double Qf = rp.Q(xfar);
  const double sf = std::sqrt(xfar * xfar - 1.0);
  const double y = 1.0, yp = -std::sqrt(-Qf) * y;
  Track in;
  in.xi = xfar;
  in.R = y / sf;
  in.P = sf * yp - xfar * y / sf;
  const int nd = n - nin;
  path(rp, in, xm, CVec(xd.data(), nd), 1, Vec(rd.data(), nd), Vec(), true);

  const bool by_value = std::fabs(out.R) * (xm * xm - 1.0) >= 1e-3 * std::fabs(out.P);
  const double f = by_value ? out.R / in.R : out.P / in.P;
  const double I0 = out.I0 + f * f * std::fabs(in.I0);
  const double I2 = out.I2 + f * f * std::fabs(in.I2);
  double t = 0.0;
  for (int p = 1; p <= sym.n; ++p)
    for (int q = 1; q <= sym.n; ++q)
      t += sv[p - 1] * sv[q - 1] * eta2(sym.L0 + (p - 1) * sym.KD, sym.L0 + (q - 1) * sym.KD, sym.M);
  const double half = 0.5 * sym.RZ;
  const double norm = half * half * half * (I2 - t * I0);
  const double g = 1.0 / std::sqrt(norm);
  for (int i = 1; i <= nin; ++i) Rs(i) *= g;
  for (int i = 0; i < nd; ++i) Rs(n - i) = rd[static_cast<size_t>(i)] * f * g;
}

}  // namespace chan

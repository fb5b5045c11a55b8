// Vibrational levels, Franck–Condon factors and spectroscopic constants of
// potential curves.
#include "diatom/vibration.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "io/stop.hpp"
#include "lib/lapack.hpp"

namespace diatom {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The grid step is π/(margin·k): margin 1 is the sinc basis' own limit (its
// highest momentum k).  On Morse curves of N2 the held levels agree with
// those of a grid four times finer to 4e-8 hartree at margin 1.0 (5e-4 on
// the widest range, 0.6 … 2.5 re), 2e-10 … 2e-9 at 1.2, 1e-10 at 1.6.
constexpr double kMomentumMargin = 1.6;
// The fewest grid points, for curves that hold no level at all.
constexpr int kFewestPoints = 16;
// Steps of the tunnelling integral across the whole range.
constexpr int kTunnellingSteps = 4000;

std::string num(double x) {
  std::ostringstream s;
  s.precision(4);
  s << x;
  return s.str();
}

// The lowest value of the spline on [a, b], scanned finely (the end values
// included); a coarse-grained minimum suffices for the grid's momentum.
double lowest_value(const CurveSpline& s, double a, double b) {
  double low = std::min(s.value(a), s.value(b));
  for (int i = 1; i < kTunnellingSteps; ++i) low = std::min(low, s.value(a + (b - a) * i / kTunnellingSteps));
  return low;
}

// ∫κ dR, κ = sqrt(2μ(V − E)), from the wall at `wall` towards `other` up to
// the first classical turning point (trapezoids, the last one cut at the
// turning point by linear interpolation of V − E).
double tunnelling_integral(const CurveSpline& s, double mu, double E, double wall, double other) {
  const double step = (other - wall) / kTunnellingSteps;
  double d0 = s.value(wall) - E, sum = 0;
  for (int i = 1; i <= kTunnellingSteps && d0 > 0; ++i) {
    const double d1 = s.value(wall + step * i) - E;
    if (d1 <= 0) return sum + 0.5 * std::abs(step) * d0 / (d0 - d1) * std::sqrt(2 * mu * d0);
    sum += 0.5 * std::abs(step) * (std::sqrt(2 * mu * d0) + std::sqrt(2 * mu * d1));
    d0 = d1;
  }
  return sum;
}

// The kinetic energy −(1/2μ) d²/dR² in the sinc basis of a box with hard
// walls at a distance L apart, n points inside (Colbert–Miller), added to the
// column-major n×n matrix H.
void add_box_kinetic_energy(std::vector<double>& H, int n, double L, double mu) {
  const int N = n + 1;
  const double c = kPi * kPi / (2 * L * L) / (2 * mu);
  auto inv_sin2 = [](double x) { return 1 / (std::sin(x) * std::sin(x)); };
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      double t;
      if (i == j)
        t = (2.0 * N * N + 1) / 3 - inv_sin2(kPi * i / N);
      else
        t = ((i - j) % 2 == 0 ? 1 : -1) * (inv_sin2(kPi * (i - j) / (2 * N)) - inv_sin2(kPi * (i + j) / (2 * N)));
      H[(i - 1) + static_cast<std::size_t>(n) * (j - 1)] += c * t;
    }
}

// Eigenvalues (ascending) and eigenvectors (columns of H) of the symmetric
// n×n matrix H.
std::vector<double> symmetric_eigen(std::vector<double>& H, int n) {
  std::vector<double> w(n);
  int lwork = -1, info = 0;
  double query = 0;
  dsyev_("V", "U", &n, H.data(), &n, w.data(), &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<double> work(lwork);
  dsyev_("V", "U", &n, H.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  if (info != 0) io::stop("diatom: the vibrational eigenproblem failed (dsyev INFO = " + std::to_string(info) + ")");
  return w;
}

}  // namespace

double isotope_mass(int Z) {
  static constexpr double kMass[] = {1.00782503223, 4.00260325413,  7.0160034366,   9.012183065,    11.00930536,
                                     12.0,          14.00307400443, 15.99491461957, 18.99840316273, 19.9924401762,
                                     22.9897692820, 23.985041697,   26.98153853,    27.97692653465, 30.97376199842,
                                     31.9720711744, 34.968852682,   39.9623831237};
  if (Z < 1 || Z > 18) return 0;
  return kMass[Z - 1] * kElectronMassesPerDalton;
}

CurveSpline::CurveSpline(const PotentialCurve& c) : R_(c.R), E_(c.E) {
  const int n = static_cast<int>(R_.size());
  if (n < 4 || E_.size() != R_.size())
    io::stop("diatom: a potential curve needs at least four distances, each with its energy");
  for (int i = 1; i < n; ++i)
    if (!(R_[i] > R_[i - 1])) io::stop("diatom: the distances of a potential curve do not increase");
  // Rows 1 … n−2: continuity of S'; rows 0 and n−1: of S''' at the second
  // and the next-to-last distance.  Dense, as the curves have a few points.
  std::vector<double> A(static_cast<std::size_t>(n) * n, 0.0);
  M_.assign(n, 0.0);
  auto a = [&](int i, int j) -> double& { return A[i + static_cast<std::size_t>(n) * j]; };
  auto h = [&](int i) { return R_[i + 1] - R_[i]; };
  a(0, 0) = h(1), a(0, 1) = -(h(0) + h(1)), a(0, 2) = h(0);
  a(n - 1, n - 3) = h(n - 2), a(n - 1, n - 2) = -(h(n - 3) + h(n - 2)), a(n - 1, n - 1) = h(n - 3);
  for (int i = 1; i < n - 1; ++i) {
    a(i, i - 1) = h(i - 1), a(i, i) = 2 * (h(i - 1) + h(i)), a(i, i + 1) = h(i);
    M_[i] = 6 * ((E_[i + 1] - E_[i]) / h(i) - (E_[i] - E_[i - 1]) / h(i - 1));
  }
  std::vector<int> piv(n);
  int info = 0, one = 1;
  dgetrf_(&n, &n, A.data(), &n, piv.data(), &info);
  if (info == 0) dgetrs_("N", &n, &one, A.data(), &n, piv.data(), M_.data(), &n, &info, 1);
  if (info != 0) io::stop("diatom: the spline of a potential curve has no solution");
}

double CurveSpline::eval(double R, int derivative) const {
  const int k = std::clamp(static_cast<int>(std::upper_bound(R_.begin(), R_.end(), R) - R_.begin()) - 1, 0,
                           static_cast<int>(R_.size()) - 2);
  const double h = R_[k + 1] - R_[k], a = R_[k + 1] - R, b = R - R_[k];
  const double ca = E_[k] / h - M_[k] * h / 6, cb = E_[k + 1] / h - M_[k + 1] * h / 6;
  if (derivative == 0) return (M_[k] * a * a * a + M_[k + 1] * b * b * b) / (6 * h) + ca * a + cb * b;
  if (derivative == 1) return (M_[k + 1] * b * b - M_[k] * a * a) / (2 * h) - ca + cb;
  return (M_[k] * a + M_[k + 1] * b) / h;
}

bool CurveSpline::interior_minimum(double& Rmin, double& Emin) const {
  bool found = false;
  for (std::size_t k = 0; k + 1 < R_.size(); ++k) {
    // S'(R_k + b) = C + B·b + A·b², b in [0, h).
    const double h = R_[k + 1] - R_[k];
    const double A = (M_[k + 1] - M_[k]) / (2 * h), B = M_[k], C = slope(R_[k]);
    std::vector<double> roots;
    if (std::abs(A) * h < 1e-12 * (std::abs(B) + std::abs(C) / h)) {
      if (B != 0) roots.push_back(-C / B);
    } else if (const double disc = B * B - 4 * A * C; disc >= 0) {
      const double q = -0.5 * (B + std::copysign(std::sqrt(disc), B));
      roots.push_back(q / A);
      if (q != 0) roots.push_back(C / q);
    }
    for (double b : roots) {
      const double r = R_[k] + b;
      if (b < 0 || b >= h || r <= R_.front() || curvature(r) <= 0) continue;
      if (!found || value(r) < Emin) Rmin = r, Emin = value(r);
      found = true;
    }
  }
  return found;
}

VibrationGrid vibration_grid(const std::vector<PotentialCurve>& curves, double mu) {
  if (curves.empty()) io::stop("diatom: no potential curve for the vibrational grid");
  VibrationGrid g{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), 0};
  for (const auto& c : curves) {
    if (c.R.empty()) io::stop("diatom: a potential curve without distances");
    g.R0 = std::max(g.R0, c.R.front()), g.R1 = std::min(g.R1, c.R.back());
  }
  if (!(g.R1 > g.R0)) io::stop("diatom: the potential curves share no range of distances");
  double k = 0;
  for (const auto& c : curves) {
    const CurveSpline s(c);
    const double top = std::min(s.value(g.R0), s.value(g.R1));
    k = std::max(k, std::sqrt(2 * mu * std::max(0.0, top - lowest_value(s, g.R0, g.R1))));
  }
  const double points = (g.R1 - g.R0) * kMomentumMargin * k / kPi;
  g.n = std::max(kFewestPoints, static_cast<int>(std::ceil(points)));
  return g;
}

VibrationalStates vibrational_states(const PotentialCurve& c, double mu, const VibrationGrid& g, int max_levels) {
  const CurveSpline s(c);
  if (g.n < 1 || g.R0 < s.front() || g.R1 > s.back())
    io::stop("diatom: the vibrational grid reaches beyond the sampled distances of a curve");
  const int n = g.n;
  const double step = (g.R1 - g.R0) / (n + 1);
  std::vector<double> H(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 1; i <= n; ++i) H[(i - 1) * static_cast<std::size_t>(n + 1)] = s.value(g.R0 + i * step);
  add_box_kinetic_energy(H, n, g.R1 - g.R0, mu);
  const std::vector<double> w = symmetric_eigen(H, n);

  VibrationalStates out;
  out.limit = "all " + std::to_string(n) + " grid levels are held";
  for (int v = 0; v < n; ++v) {
    if (v == max_levels) {
      out.limit = "the most levels asked for, " + std::to_string(max_levels);
      break;
    }
    const double inner = tunnelling_integral(s, mu, w[v], g.R0, g.R1);
    const double outer = tunnelling_integral(s, mu, w[v], g.R1, g.R0);
    if (std::min(inner, outer) < kHeldTunnelling) {
      out.limit = "level v = " + std::to_string(v) + " is not held by the range (tunnelling integral " +
                  num(std::min(inner, outer)) + " to the " + (inner < outer ? "inner" : "outer") +
                  " end, R = " + num(inner < outer ? g.R0 : g.R1) + " bohr; " + num(kHeldTunnelling) + " needed)";
      break;
    }
    std::vector<double> chi(H.begin() + static_cast<std::ptrdiff_t>(v) * n,
                            H.begin() + static_cast<std::ptrdiff_t>(v + 1) * n);
    // The sign: positive on the innermost lobe (the first point past a tenth
    // of the largest amplitude), so that overlaps keep their sign.
    double big = 0;
    for (double x : chi) big = std::max(big, std::abs(x));
    const auto first = std::find_if(chi.begin(), chi.end(), [&](double x) { return std::abs(x) >= 0.1 * big; });
    if (*first < 0)
      for (double& x : chi) x = -x;
    out.E.push_back(w[v]);
    out.chi.push_back(std::move(chi));
  }
  return out;
}

std::vector<double> franck_condon(const VibrationalStates& lower, int v, const VibrationalStates& upper) {
  if (v < 0 || v >= static_cast<int>(lower.chi.size()))
    io::stop("diatom: no level v = " + std::to_string(v) + " for Franck-Condon factors");
  std::vector<double> fc;
  for (const auto& u : upper.chi) {
    if (u.size() != lower.chi[v].size()) io::stop("diatom: Franck-Condon factors of levels on different grids");
    double overlap = 0;
    for (std::size_t i = 0; i < u.size(); ++i) overlap += lower.chi[v][i] * u[i];
    fc.push_back(overlap * overlap);
  }
  return fc;
}

SpectroscopicConstants spectroscopic_constants(const PotentialCurve& c, double mu, const VibrationalStates& s) {
  SpectroscopicConstants k;
  const CurveSpline spline(c);
  k.minimum = spline.interior_minimum(k.re, k.Ee);
  if (!k.minimum) {
    k.re = k.Ee = k.we = k.wexe = k.Be = kNaN;
    k.note = "no minimum inside the sampled distances " + num(spline.front()) + " … " + num(spline.back()) +
             " bohr: no constants";
    return k;
  }
  k.Be = 1 / (2 * mu * k.re * k.re);
  k.levels = std::min<int>(3, static_cast<int>(s.E.size()));
  k.we = k.wexe = kNaN;
  if (k.levels == 3) {
    const double dG1 = s.E[1] - s.E[0], dG2 = s.E[2] - s.E[1];
    k.wexe = (dG1 - dG2) / 2;
    k.we = dG1 + 2 * k.wexe;
    k.note = "we, wexe from the spacings of levels 0, 1, 2";
  } else if (k.levels == 2) {
    // E0 − Ee = ωe/2 − ωexe/4 and ΔG(½) = ωe − 2ωexe.
    const double g0 = s.E[0] - k.Ee, dG1 = s.E[1] - s.E[0];
    k.wexe = 4 * (g0 - dG1 / 2) / 3;
    k.we = dG1 + 2 * k.wexe;
    k.note = "we, wexe from levels 0, 1 and the minimum (two levels held)";
  } else if (k.levels == 1) {
    k.we = 2 * (s.E[0] - k.Ee);
    k.note = "harmonic we = 2(E0 - Ee), no wexe (one level held)";
  } else {
    k.note = "no level held: no we, wexe";
  }
  return k;
}

}  // namespace diatom

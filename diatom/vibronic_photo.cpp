#include "diatom/vibronic_photo.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "io/stop.hpp"

namespace diatom {

namespace {

using photo::Complex;
using photo::PartialWaves;

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// One L or V line: <form> <m> <mu> <L0> <step> <n> and n complex amplitudes.
bool read_waves(std::istringstream& in, PartialWaves& w) {
  int n = 0;
  if (!(in >> w.m >> w.mu >> w.L0 >> w.step >> n) || n < 0 || n > 1000) return false;
  w.F.resize(static_cast<size_t>(n));
  for (Complex& f : w.F) {
    double re = 0, im = 0;
    if (!(in >> re >> im)) return false;
    f = {re, im};
  }
  std::string rest;
  return !(in >> rest);
}

// The waves of `s` at photoelectron energy E: cubic in the momentum
// k = sqrt(2E) through the four nodes about it (two at an end), in which
// the amplitudes vary smoothly; linear in E the ratio of two levels' cross
// sections near a threshold showed the nodes' spacing as a sawtooth.  False
// outside the nodes.
bool waves_at(const ShellWaveNodes& s, double E, WaveNode& out) {
  const std::vector<WaveNode>& n = s.nodes;
  if (n.size() < 2 || E < n.front().E || E > n.back().E) return false;
  const auto hi = std::upper_bound(n.begin(), n.end(), E, [](double e, const WaveNode& x) { return e < x.E; });
  const size_t k = std::min<size_t>(static_cast<size_t>(hi - n.begin()), n.size() - 1) - 1;
  const size_t first = k == 0 ? 0 : std::min(k - 1, n.size() >= 4 ? n.size() - 4 : 0);
  const size_t count = std::min<size_t>(4, n.size());
  const double q = std::sqrt(2 * E);
  std::vector<double> c(count, 1.0);
  for (size_t i = 0; i < count; ++i) {
    const double qi = std::sqrt(2 * n[first + i].E);
    for (size_t j = 0; j < count; ++j) {
      if (j != i) c[i] *= (q - std::sqrt(2 * n[first + j].E)) / (qi - std::sqrt(2 * n[first + j].E));
    }
  }
  out = n[k];
  out.E = E;
  for (int form = 0; form < 2; ++form) {
    std::vector<PartialWaves>& w = form == 0 ? out.L : out.V;
    for (size_t ch = 0; ch < w.size(); ++ch) {
      for (size_t K = 0; K < w[ch].F.size(); ++K) {
        Complex f = 0;
        for (size_t i = 0; i < count; ++i) {
          const std::vector<PartialWaves>& wi = form == 0 ? n[first + i].L : n[first + i].V;
          if (wi.size() != w.size() || wi[ch].F.size() != w[ch].F.size()) return false;
          f += c[i] * wi[ch].F[K];
        }
        w[ch].F[K] = f;
      }
    }
  }
  return true;
}

// a_d such that Σ_i w_i·S(R_i) = Σ_d a_d·y_d over the points R_i of grid g,
// S the spline through (R_d, y_d): the spline is linear in its values.
std::vector<double> spline_weights(const std::vector<double>& R, const VibrationGrid& g, const std::vector<double>& w) {
  std::vector<double> a(R.size(), 0.0);
  const double step = (g.R1 - g.R0) / (g.n + 1);
  for (size_t d = 0; d < R.size(); ++d) {
    PotentialCurve unit{R, std::vector<double>(R.size(), 0.0)};
    unit.E[d] = 1;
    const CurveSpline s(unit);
    for (int i = 0; i < g.n; ++i) a[d] += w[static_cast<size_t>(i)] * s.value(g.R0 + (i + 1) * step);
  }
  return a;
}

photo::Asymmetry asymmetry_of(int mi, const std::vector<PartialWaves>& w, lib::Fac F) {
  return photo::asymmetry(mi, photo::with_mirror_images(mi, w), F);
}

// Σ_K Re(F_K·conj(G_K)) over the waves of two nodes.
double overlap(const std::vector<PartialWaves>& a, const std::vector<PartialWaves>& b) {
  double o = 0;
  for (size_t c = 0; c < a.size() && c < b.size(); ++c) {
    for (size_t K = 0; K < a[c].F.size() && K < b[c].F.size(); ++K) o += std::real(a[c].F[K] * std::conj(b[c].F[K]));
  }
  return o;
}

// The sign of each distance's amplitudes, continuing the one before over
// the photoelectron energies both distances hold.
std::vector<double> continued_signs(const VibronicInput& in, std::vector<std::string>& notes) {
  std::vector<double> sign(in.R.size(), 1.0);
  for (size_t d = 1; d < in.R.size(); ++d) {
    double o = 0;
    WaveNode x;
    for (const WaveNode& n : in.waves[d - 1]->nodes) {
      if (waves_at(*in.waves[d], n.E, x)) o += overlap(x.L, n.L);
    }
    if (o == 0)
      notes.push_back("the amplitudes at RZ = " + std::to_string(in.R[d]) +
                      " share no photoelectron energy with the distance before: their sign is a guess");
    sign[d] = sign[d - 1] * (o < 0 ? -1.0 : 1.0);
  }
  return sign;
}

// κ_L = σ_L/(ω·Σ|F_L|²) and κ_V = σ_V·ω/Σ|F_V|²: the constants that turn the
// waves into the shell's cross sections, the median over every node.
std::pair<double, double> cross_section_constants(const VibronicInput& in, lib::Fac F,
                                                  std::vector<std::string>& notes) {
  std::vector<double> kl, kv;
  for (const ShellWaveNodes* s : in.waves) {
    for (const WaveNode& n : s->nodes) {
      const double nl = asymmetry_of(n.mi, n.L, F).norm, nv = asymmetry_of(n.mi, n.V, F).norm;
      if (nl > 0 && std::isfinite(n.sigmaL)) kl.push_back(n.sigmaL / (nl * n.omega));
      if (nv > 0 && std::isfinite(n.sigmaV)) kv.push_back(n.sigmaV * n.omega / nv);
    }
  }
  // Every node gives the same constants to rounding; a spread says the
  // table does not hold the waves of the cross sections it lists.
  auto median = [&](std::vector<double>& v, const char* form) {
    if (v.empty()) return kNoValue;
    std::sort(v.begin(), v.end());
    const double m = v[v.size() / 2];
    if (v.back() - v.front() > 1e-5 * std::fabs(m)) {
      notes.push_back(std::string("the ") + form + " cross sections of the nodes are not those of their waves to 1e-5 (" +
                      std::to_string(v.front()) + " ... " + std::to_string(v.back()) + "): the median is used");
    }
    return m;
  };
  return {median(kl, "length"), median(kv, "velocity")};
}

// Σ_d c_d·sign_d·F(R_d; ε): the waves summed over the distances with the
// weights c of one level; false when a distance's nodes do not reach ε.
bool summed_waves(const VibronicInput& in, const std::vector<double>& c, const std::vector<double>& sign, double eps,
                  WaveNode& sum) {
  WaveNode x;
  for (size_t d = 0; d < in.R.size(); ++d) {
    if (!waves_at(*in.waves[d], eps, x)) return false;
    const double w = c[d] * sign[d];
    if (d == 0) {
      sum = x;
      for (auto* form : {&sum.L, &sum.V})
        for (PartialWaves& p : *form)
          for (Complex& f : p.F) f *= w;
      continue;
    }
    for (int form = 0; form < 2; ++form) {
      std::vector<PartialWaves>& s = form == 0 ? sum.L : sum.V;
      const std::vector<PartialWaves>& t = form == 0 ? x.L : x.V;
      for (size_t ch = 0; ch < s.size() && ch < t.size(); ++ch)
        for (size_t K = 0; K < s[ch].F.size() && K < t[ch].F.size(); ++K) s[ch].F[K] += w * t[ch].F[K];
    }
  }
  return true;
}

}  // namespace

std::vector<ShellWaveNodes> read_wave_table(const std::string& text, const std::string& name) {
  std::vector<ShellWaveNodes> out;
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    bool ok = false;
    if (kind == "node") {
      std::string method;
      int shell = 0;
      WaveNode n;
      ok = static_cast<bool>(in >> method >> shell >> n.mi >> n.E >> n.omega >> n.sigmaL >> n.sigmaV) &&
           (method == "HF" || method == "RPA");
      if (ok) {
        const bool rpa = method == "RPA";
        if (out.empty() || out.back().shell != shell || out.back().rpa != rpa) out.push_back({shell, rpa, {}});
        ok = out.back().nodes.empty() || n.E > out.back().nodes.back().E;
        out.back().nodes.push_back(n);
      }
    } else if ((kind == "L" || kind == "V") && !out.empty() && !out.back().nodes.empty()) {
      PartialWaves w;
      ok = read_waves(in, w);
      (kind == "L" ? out.back().nodes.back().L : out.back().nodes.back().V).push_back(w);
    }
    if (!ok) io::stop("diatom: '" + name + "', line " + std::to_string(number) + ": not a line of a table of waves");
  }
  return out;
}

VibronicResult vibronic_cross_sections(const VibronicInput& in, lib::Fac F) {
  VibronicResult r;
  const std::vector<double>& chi0 = in.molecule->chi[0];
  std::vector<std::vector<double>> a;
  for (int v = 0; v < in.levels; ++v) {
    std::vector<double> w(chi0.size());
    for (size_t i = 0; i < w.size(); ++i) w[i] = in.ion->chi[static_cast<size_t>(v)][i] * chi0[i];
    a.push_back(spline_weights(in.R, in.grid, w));
  }
  std::vector<double> density(chi0.size());
  for (size_t i = 0; i < chi0.size(); ++i) density[i] = chi0[i] * chi0[i];
  const std::vector<double> b = spline_weights(in.R, in.grid, density);
  const std::vector<double> sign = continued_signs(in, r.notes);
  const auto [kL, kV] = cross_section_constants(in, F, r.notes);
  const double vertical = CurveSpline({in.R, in.koopmans}).value(in.re);
  double mean = 0, total = 0;
  for (int v = 0; v < in.levels; ++v) mean += in.fc[static_cast<size_t>(v)] * in.ion->E[static_cast<size_t>(v)];
  for (int v = 0; v < in.levels; ++v) total += in.fc[static_cast<size_t>(v)];
  mean /= total;
  for (int v = 0; v < in.levels; ++v) r.threshold.push_back(vertical + in.ion->E[static_cast<size_t>(v)] - mean);
  WaveNode x;
  for (double omega : in.omega) {
    VibronicRow row;
    row.omega = omega;
    for (int v = 0; v < in.levels; ++v) {
      const double eps = omega - r.threshold[static_cast<size_t>(v)];
      WaveNode sum;
      const bool ok = eps > 0 && summed_waves(in, a[static_cast<size_t>(v)], sign, eps, sum);
      const photo::Asymmetry l = ok ? asymmetry_of(sum.mi, sum.L, F) : photo::Asymmetry{kNoValue, kNoValue};
      const photo::Asymmetry u = ok ? asymmetry_of(sum.mi, sum.V, F) : photo::Asymmetry{kNoValue, kNoValue};
      row.sigmaL.push_back(kL * omega * l.norm);
      row.sigmaV.push_back(kV / omega * u.norm);
      row.betaL.push_back(l.beta);
      row.betaV.push_back(u.beta);
    }
    // The average over v = 0 at the vertical photoelectron energy.
    row.averageL = row.averageV = 0;
    for (size_t d = 0; d < in.R.size(); ++d) {
      if (!waves_at(*in.waves[d], omega - vertical, x)) {
        row.averageL = row.averageV = kNoValue;
        break;
      }
      row.averageL += b[d] * kL * omega * asymmetry_of(x.mi, x.L, F).norm;
      row.averageV += b[d] * kV / omega * asymmetry_of(x.mi, x.V, F).norm;
    }
    r.rows.push_back(std::move(row));
  }
  return r;
}

}  // namespace diatom

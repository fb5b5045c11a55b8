#include "diatom/result_errors.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace diatom {

double value_at(const std::vector<double>& ev, const std::vector<double>& v, double e) {
  const size_t n = std::min(ev.size(), v.size());
  const auto hi = std::lower_bound(ev.begin(), ev.begin() + static_cast<long>(n), e);
  const size_t i = static_cast<size_t>(hi - ev.begin());
  if (i < n && std::fabs(ev[i] - e) <= 1e-3) return v[i];
  if (i > 0 && std::fabs(ev[i - 1] - e) <= 1e-3) return v[i - 1];
  if (i == 0 || i >= n) return kNotAvailable;
  const double t = (e - ev[i - 1]) / (ev[i] - ev[i - 1]);
  return (1 - t) * v[i - 1] + t * v[i];  // NaN spreads
}

double sigma_error(double rule, double check) {
  if (std::isnan(rule) || std::isnan(check)) return kNotAvailable;
  return kChangeFactor * std::fabs(check - rule) + kListedDigits * std::fabs(rule) + kPrintedDecimals;
}

double beta_error(double rule, double check) {
  if (std::isnan(rule) || std::isnan(check)) return kNotAvailable;
  return kChangeFactor * std::fabs(check - rule) + kBetaDigits;
}

void add_sigma_errors(CrossSections& rule, const CrossSections& check) {
  const size_t nrow = rule.ev.size();
  for (int k = 0; k < 4; ++k) {
    rule.shell_error[k].assign(rule.shell[k].size(), std::vector<double>(nrow, kNotAvailable));
    rule.total_error[k].assign(nrow, kNotAvailable);
    if (rule.total[k].empty() || check.total[k].empty()) continue;
    for (size_t r = 0; r < nrow; ++r) {
      const double e = rule.ev[r];
      for (size_t s = 0; s < rule.shell[k].size() && s < check.shell[k].size(); ++s)
        rule.shell_error[k][s][r] = sigma_error(rule.shell[k][s][r], value_at(check.ev, check.shell[k][s], e));
      rule.total_error[k][r] = sigma_error(rule.total[k][r], value_at(check.ev, check.total[k], e));
    }
  }
}

void add_beta_errors(Asymmetries& rule, const Asymmetries& check) {
  auto errors = [](const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
    std::vector<std::vector<double>> e(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      e[i].assign(a[i].size(), kNotAvailable);
      for (size_t r = 0; r < a[i].size() && i < b.size() && r < b[i].size(); ++r)
        e[i][r] = beta_error(a[i][r], b[i][r]);
    }
    return e;
  };
  for (int k = 0; k < 4; ++k) {
    rule.channel_error[k] = errors(rule.channel[k], check.channel[k]);
    rule.shell_error[k] = errors(rule.shell[k], check.shell[k]);
  }
}

namespace {

std::string fmt(const char* f, double v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

// One quantity the target is checked on: its name, values and errors.
struct Quantity {
  std::string name;
  const std::vector<double>* value;
  const std::vector<double>* error;
  const std::vector<double>* check;  // the check's values on its own nodes (σ), or nullptr
  bool beta;
};

// What a row misses: the largest error over its allowance, and of what.
struct Miss {
  double ratio = 0;
  std::string what;
};

}  // namespace

std::vector<std::string> target_report(const CrossSections& rule, const CrossSections& check,
                                       const std::vector<double>& thresholds, const PhotoTarget& t) {
  std::vector<std::string> out;
  const size_t nrow = rule.ev.size();
  if (!rule.errors() || nrow == 0) return out;
  const int base = rule.rpa ? 2 : 0;
  std::vector<Quantity> q;
  for (int k = base; k < base + 2; ++k) {
    for (size_t s = 0; s < rule.shell_names.size(); ++s) {
      q.push_back({rule.shell_names[s] + " " + kKindNames[k], &rule.shell[k][s], &rule.shell_error[k][s],
                   s < check.shell[k].size() ? &check.shell[k][s] : nullptr, false});
      if (s < rule.shell_beta[k].size() && s < rule.shell_beta_error[k].size())
        q.push_back({rule.shell_names[s] + " beta " + kKindNames[k], &rule.shell_beta[k][s],
                     &rule.shell_beta_error[k][s], nullptr, true});
    }
    q.push_back({std::string("total ") + kKindNames[k], &rule.total[k], &rule.total_error[k],
                 check.total[k].empty() ? nullptr : &check.total[k], false});
  }
  // Rows that miss the target.
  std::vector<Miss> miss(nrow);
  size_t judged = 0, within = 0;
  for (size_t r = 0; r < nrow; ++r) {
    bool any = false;
    for (const Quantity& x : q) {
      const double v = (*x.value)[r], e = (*x.error)[r];
      if (std::isnan(v) || std::isnan(e)) continue;
      // A shell below its threshold (σ exactly 0) has no relative error to judge.
      if (!x.beta && v == 0.0) continue;
      any = true;
      const double allowed = x.beta ? t.beta : t.sigma * std::fabs(v);
      const double ratio = allowed > 0 ? e / allowed : (e > 0 ? INFINITY : 0);
      if (ratio > 1 && ratio > miss[r].ratio) {
        miss[r] = {ratio, x.name + " +- " + (x.beta ? fmt("%.2g", e) : fmt("%.2g", 100 * e / std::fabs(v)) + "%")};
      }
    }
    judged += any ? 1 : 0;
    within += any && miss[r].ratio == 0 ? 1 : 0;
  }
  // Intervals between the rule's nodes where a check node in between lies
  // off the smooth curve through the nearest rule nodes (the cubic through
  // four, three at the ends; the check's values there) by more than the
  // target: a smooth cross section follows it to the fourth power of the
  // step, a resonance or a threshold narrower than the step does not.
  std::vector<std::string> unresolved(nrow);
  auto smooth_at = [&](const std::vector<double>& v, size_t r, double e) {
    const size_t lo = r > 0 ? r - 1 : 0, hi = std::min(nrow - 1, r + 2);
    double sum = 0;
    for (size_t i = lo; i <= hi; ++i) {
      double w = value_at(check.ev, v, rule.ev[i]);
      for (size_t j = lo; j <= hi; ++j)
        if (j != i) w *= (e - rule.ev[j]) / (rule.ev[i] - rule.ev[j]);
      sum += w;
    }
    return sum;
  };
  for (size_t r = 0; r + 1 < nrow; ++r) {
    double worst = 0;
    for (const double e : check.ev) {
      if (!(e > rule.ev[r] + 1e-3 && e < rule.ev[r + 1] - 1e-3)) continue;
      for (const Quantity& x : q) {
        if (!x.check) continue;
        const double c = value_at(check.ev, *x.check, e), curve = smooth_at(*x.check, r, e);
        const double dev = std::fabs(c - curve), allowed = t.sigma * std::max(std::fabs(c), std::fabs(curve));
        if (!(dev > allowed) || dev / allowed <= worst) continue;
        worst = dev / allowed;
        unresolved[r] = x.name + " at " + fmt("%.3f", e) + " eV lies " +
                        fmt("%.2g", 100 * dev / std::max(std::fabs(c), std::fabs(curve))) +
                        "% off the smooth curve through the nodes";
      }
    }
  }
  // A threshold from two steps below a row to one above it (the RPA has no
  // value at a channel's first node, so its first row lies a step or two
  // above the threshold).
  auto near_threshold = [&](size_t r) -> std::string {
    const double step = nrow < 2 ? 0 : r + 1 < nrow ? rule.ev[r + 1] - rule.ev[r] : rule.ev[r] - rule.ev[r - 1];
    const double lo = rule.ev[r] - 2 * step, hi = rule.ev[r] + step;
    for (double th : thresholds)
      if (th >= lo - 1e-3 && th <= hi + 1e-3) return fmt("%.3f", th);
    return "";
  };
  out.push_back("Target: STOL = " + fmt("%g", t.sigma) + " (sigma, relative), BTOL = " + fmt("%g", t.beta) +
                " (beta, absolute), " + (rule.rpa ? "RPA" : "Hartree-Fock") + " length and velocity: " +
                std::to_string(within) + " of " + std::to_string(judged) + " energies within it");
  // Why a row misses: a threshold next to it, structure the step does not
  // resolve in an interval beside it, or else the change itself.
  auto why = [&](size_t r) -> std::string {
    const std::string threshold = near_threshold(r);
    if (!threshold.empty()) return "next to the threshold at " + threshold + " eV";
    const std::string& structure = !unresolved[r].empty() ? unresolved[r] : r > 0 ? unresolved[r - 1] : unresolved[r];
    if (!structure.empty()) return "structure narrower than the step (a resonance): " + structure;
    return "the change with the refined settings (momentum step, top, waves, solutions, bound functions, grid)";
  };
  // The rows that miss, in ranges of one reason.
  for (size_t r = 0; r < nrow;) {
    if (miss[r].ratio == 0) {
      ++r;
      continue;
    }
    const std::string reason = why(r);
    size_t end = r;
    Miss worst = miss[r];
    for (; end < nrow && miss[end].ratio > 0 && why(end) == reason; ++end)
      if (miss[end].ratio > worst.ratio) worst = miss[end];
    out.push_back("  " + fmt("%.3f", rule.ev[r]) + (end - r > 1 ? " .. " + fmt("%.3f", rule.ev[end - 1]) : "") +
                  " eV: missed (largest " + worst.what + "): " + reason);
    r = end;
  }
  // The intervals the step does not resolve, the first ten in full.
  size_t named = 0, more = 0;
  for (size_t r = 0; r + 1 < nrow; ++r) {
    if (unresolved[r].empty()) continue;
    if (named++ >= 10) {
      ++more;
      continue;
    }
    out.push_back("  between " + fmt("%.3f", rule.ev[r]) + " and " + fmt("%.3f", rule.ev[r + 1]) +
                  " eV the step does not resolve the cross section: " + unresolved[r] +
                  " (check/diatom.dat has the check's nodes)");
  }
  if (more > 0) out.push_back("  and " + std::to_string(more) + " more such intervals");
  return out;
}

}  // namespace diatom

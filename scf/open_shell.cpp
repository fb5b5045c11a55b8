#include "scf/open_shell.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "scf/operator_energies.hpp"

namespace scf {

namespace {

// The part of the term's energy that changes when only the pair (k, o) does:
//   E_P = Σ_{I=k,o} q_I (h_I + G_I) − ½ Σ_{I=k,o} q_I G_I^P,
// G_I^P the two-electron energy of φ_I in the field of the pair alone.  The
// energy's coefficients are symmetric, q_I·AHF(J,I) = q_J·AHF(I,J) (and so
// for BHF), so ½ Σ_all q G counts the pair's interaction with the frozen
// shells once through the first sum, and its own terms twice there: the
// second sum takes one of them off.  Formed with the same discrete operator
// as the energy block's direct sum.
double pair_energy(const RunTables& t, const Shells& s, const ShellCoefficients& coef, const Coupling& c,
                   UpdateState& st, const ShellWork& w, int k, int o) {
  const lib::CMat AHF = coef.AHF, BHF = coef.BHF;
  std::vector<double> a(static_cast<size_t>(s.NSH), 0.0), b(a);
  double e = 0.0;
  for (const int I : {k, o}) {
    const double q = c.q[I - 1];
    const ShellEnergies all = shell_energies(t, s, I, AHF.col(I), BHF.col(I), st, w);
    std::fill(a.begin(), a.end(), 0.0);
    std::fill(b.begin(), b.end(), 0.0);
    for (const int J : {k, o}) {
      a[J - 1] = AHF(J, I);
      b[J - 1] = BHF(J, I);
    }
    const ShellEnergies pair = shell_energies(t, s, I, lib::CVec(a.data(), s.NSH), lib::CVec(b.data(), s.NSH), st, w);
    e += q * (all.one + all.two) - 0.5 * q * pair.two;
  }
  return e;
}

// E_P(θ) − E_P(0) of the rotation φ_o → cosθ·φ_o + sinθ·φ_k, φ_k → cosθ·φ_k −
// sinθ·φ_o with every other orbital frozen.  The densities are quadratic in
// (cosθ, sinθ) and the energy at most quadratic in the densities, so E_P is a
// trigonometric polynomial in 2θ of degree 2 (period π: θ + π only changes
// both signs):  E_P = c0 + a1·cos2θ + b1·sin2θ + a2·cos4θ + b2·sin4θ.
struct PairCurve {
  double a1 = 0.0, b1 = 0.0, a2 = 0.0, b2 = 0.0;
  double slope(double th) const {
    return -2.0 * a1 * std::sin(2.0 * th) + 2.0 * b1 * std::cos(2.0 * th) - 4.0 * a2 * std::sin(4.0 * th) +
           4.0 * b2 * std::cos(4.0 * th);
  }
  double value(double th) const {
    return a1 * (std::cos(2.0 * th) - 1.0) + b1 * std::sin(2.0 * th) + a2 * (std::cos(4.0 * th) - 1.0) +
           b2 * std::sin(4.0 * th);
  }
};

void rotate_pair(const lib::Vec& a, const lib::Vec& b, const std::vector<double>& o0, const std::vector<double>& k0,
                 double theta) {
  const double cs = std::cos(theta), sn = std::sin(theta);
  for (int i = 1; i <= a.size(); ++i) {
    const double xo = o0[static_cast<size_t>(i - 1)], xk = k0[static_cast<size_t>(i - 1)];
    a(i) = cs * xo + sn * xk;
    b(i) = cs * xk - sn * xo;
  }
}

// The five coefficients from the energies at θ_j = jπ/5, j = 0 … 4: equally
// spaced in 2θ, the discrete Fourier sums give the harmonics 0, 1, 2 exactly.
PairCurve pair_curve(const RunTables& t, const Shells& s, const ShellCoefficients& coef, const Coupling& c,
                     UpdateState& st, const ShellWork& w, int k, int o) {
  const lib::Vec a = s.waves(o).flat(), b = s.waves(k).flat();
  const std::vector<double> o0(a.data(), a.data() + a.size()), k0(b.data(), b.data() + b.size());
  PairCurve f;
  for (int j = 0; j < 5; ++j) {
    const double phi = 2.0 * M_PI * j / 5.0;
    rotate_pair(a, b, o0, k0, 0.5 * phi);
    const double e = 0.4 * pair_energy(t, s, coef, c, st, w, k, o);
    f.a1 += e * std::cos(phi);
    f.b1 += e * std::sin(phi);
    f.a2 += e * std::cos(2.0 * phi);
    f.b2 += e * std::sin(2.0 * phi);
  }
  std::copy(o0.begin(), o0.end(), a.data());
  std::copy(k0.begin(), k0.end(), b.data());
  return f;
}

// The first minimum met going downhill from θ = 0 (the slope has at least
// two zeros in a period): the scan brackets the slope's change of sign,
// bisection finds it to rounding.
double downhill_minimum(const PairCurve& f) {
  const double g0 = f.slope(0.0);
  if (g0 == 0.0) return 0.0;
  const double dir = g0 > 0.0 ? -1.0 : 1.0;
  constexpr int kSteps = 400;
  const double h = M_PI / kSteps;
  double lo = 0.0;
  for (int i = 1; i <= kSteps; ++i) {
    double hi = dir * i * h;
    if (f.slope(hi) * dir < 0.0) {
      lo = hi;
      continue;
    }
    for (int it = 0; it < 100 && lo != hi; ++it) {
      const double mid = 0.5 * (lo + hi);
      if (mid == lo || mid == hi) break;
      (f.slope(mid) * dir < 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  }
  return 0.0;
}

}  // namespace

std::vector<OpenPair> open_shell_step(const RunTables& t, const Shells& s, const ShellCoefficients& coef,
                                      const Coupling& c, UpdateState& st, const ShellWork& w, bool rotate) {
  const lib::CIMat JOR = coef.JOR;
  std::vector<OpenPair> pairs;
  const int o = c.open.shell;
  if (o == 0 || s.CN(o) == 0.0) return pairs;
  if (st.lagrange.size() != static_cast<size_t>(c.NSH * c.NSH)) st.lagrange.assign(c.NSH * c.NSH, 0.0);
  const double q = c.open.electrons;
  for (int k = 1; k <= s.NSH; ++k) {
    if (k == o || s.CN(k) == 0.0 || s.M(k) != s.M(o) || s.L0(k) != s.L0(o) || s.n(k) != s.n(o)) continue;
    const double Nk = c.q[k - 1];
    std::array<int, 2> left{k, o};
    const OperatorElements open_op = operator_elements(t, s, o, coef, st, w, left);
    left = {o, k};
    const OperatorElements closed_op = operator_elements(t, s, k, coef, st, w, left);
    const std::vector<double>&F = open_op.F, &S = open_op.S, &G = closed_op.F, &T = closed_op.S;
    const double eo = F[1] / S[1], ek = G[1] / T[1];
    // Off-diagonal elements with the overlap left by the Schmidt step taken out.
    const double fo = F[0] - eo * S[0], fk = G[0] - ek * T[0];
    OpenPair p;
    p.closed = k;
    p.gradient = 2.0 * (q * fo - Nk * fk) / std::sqrt(S[1] * T[1]);
    if (st.IROT == 2) {
      // One multiplier λ for the pair in both equations, taken from the
      // equation of the shell that is made orthogonal to the other after its
      // solve (the other's solve is left free to turn the pair).  Say the open
      // shell is: λ = q·⟨φ_k|F_o|φ_o⟩ is the element its equation needs, and
      // where N_k·⟨φ_o|F_c|φ_k⟩ ≠ λ the closed shell's solve turns φ_k by
      // about (λ/N_k − ⟨φ_o|F_c|φ_k⟩)/(⟨φ_o|F_c|φ_o⟩ − ε_k) towards φ_o, which
      // is downhill when ⟨φ_o|F_c|φ_o⟩ > ε_k (for CN's 5σ and 4σ it is,
      // although ε_o < ε_k).  The sweeps then rest only where the Brillouin
      // condition holds.  With each multiplier from its own operator every
      // angle at which both solves return their orbitals is a resting point:
      // two multipliers are one unknown more than the equations fix.
      const double lambda = JOR(k, o) == 1   ? q * fo / std::sqrt(S[1] * T[1])
                            : JOR(o, k) == 1 ? Nk * fk / std::sqrt(S[1] * T[1])
                                             : 0.5 * (q * fo + Nk * fk) / std::sqrt(S[1] * T[1]);
      p.mu_open = lambda / q * std::sqrt(S[1] / T[1]);
      p.mu_closed = lambda / Nk * std::sqrt(T[1] / S[1]);
    } else {
      p.mu_open = fo / T[1];
      p.mu_closed = fk / S[1];
    }
    if (rotate && st.IROT == 1) {
      // The exact minimum of the term's energy along the rotation, the other
      // orbitals frozen: the model curvature below leaves out the two-electron
      // terms and has the wrong sign where the open orbital lies below the
      // closed one.
      const PairCurve f = pair_curve(t, s, coef, c, st, w, k, o);
      p.theta = downhill_minimum(f);
      p.fitted_gradient = f.slope(0.0);
      p.lowered = f.value(p.theta);
      if (p.theta != 0.0) {
        const lib::Vec a = s.waves(o).flat(), b = s.waves(k).flat();
        const std::vector<double> o0(a.data(), a.data() + a.size()), k0(b.data(), b.data() + b.size());
        rotate_pair(a, b, o0, k0, p.theta);
      }
    } else if (const double H = 2.0 * (Nk - q) * (eo - ek); rotate && st.IROT == 0 && H > 0.0) {
      // The model curvature is good near self-consistency; far from it a
      // full step can swap the two shells' roles.
      p.theta = std::clamp(-p.gradient / H, -kMaxRotation, kMaxRotation);
      const lib::Vec a = s.waves(o).flat(), b = s.waves(k).flat();
      const std::vector<double> o0(a.data(), a.data() + a.size()), k0(b.data(), b.data() + b.size());
      rotate_pair(a, b, o0, k0, p.theta);
    }
    pairs.push_back(p);
  }
  // Stored once every pair is measured: the elements of each pair are formed
  // with the multipliers the orbitals were solved with.
  for (const OpenPair& p : pairs) {
    st.lagrange[(o - 1) * c.NSH + (p.closed - 1)] = p.mu_open;
    st.lagrange[(p.closed - 1) * c.NSH + (o - 1)] = p.mu_closed;
  }
  return pairs;
}

}  // namespace scf

#include "scf/open_shell.hpp"

#include <array>
#include <cmath>
#include <algorithm>
#include <span>

#include "scf/energy.hpp"

namespace scf {

std::vector<OpenPair> open_shell_step(const RunTables& t, const Shells& s, lib::CMat AHF, lib::CMat BHF,
                                      const Coupling& c, UpdateState& st, const ShellWork& w, bool rotate) {
  std::vector<OpenPair> pairs;
  const int o = c.open.shell;
  if (o == 0 || s.CN(o) == 0.0) return pairs;
  if (st.lagrange.size() != static_cast<size_t>(c.NSH * c.NSH)) st.lagrange.assign(c.NSH * c.NSH, 0.0);
  const double q = c.open.electrons;
  for (int k = 1; k <= s.NSH; ++k) {
    if (k == o || s.CN(k) == 0.0 || s.M(k) != s.M(o) || s.L0(k) != s.L0(o) || s.n(k) != s.n(o)) continue;
    const double Nk = c.q[k - 1];
    std::array<int, 2> left{k, o};
    std::array<double, 2> F{}, S{}, G{}, T{};
    operator_elements(t, s, o, AHF.col(o), BHF.col(o), st, w, left, F, S);
    left = {o, k};
    operator_elements(t, s, k, AHF.col(k), BHF.col(k), st, w, left, G, T);
    const double eo = F[1] / S[1], ek = G[1] / T[1];
    // Off-diagonal elements with the overlap left by the Schmidt step taken out.
    const double fo = F[0] - eo * S[0], fk = G[0] - ek * T[0];
    OpenPair p;
    p.closed = k;
    p.gradient = 2.0 * (q * fo - Nk * fk) / std::sqrt(S[1] * T[1]);
    p.mu_open = fo / T[1];
    p.mu_closed = fk / S[1];
    const double H = 2.0 * (Nk - q) * (eo - ek);
    if (rotate && H > 0.0) {
      // The model curvature is good near self-consistency; far from it a
      // full step can swap the two shells' roles.
      p.theta = std::clamp(-p.gradient / H, -kMaxRotation, kMaxRotation);
      const double cs = std::cos(p.theta), sn = std::sin(p.theta);
      const lib::Mat XO = s.waves(o), XK = s.waves(k);
      const lib::Vec a = XO.flat(), b = XK.flat();
      for (int i = 1; i <= a.size(); ++i) {
        const double xo = a(i), xk = b(i);
        a(i) = cs * xo + sn * xk;
        b(i) = cs * xk - sn * xo;
      }
    }
    st.lagrange[(o - 1) * c.NSH + (k - 1)] = p.mu_open;
    st.lagrange[(k - 1) * c.NSH + (o - 1)] = p.mu_closed;
    pairs.push_back(p);
  }
  return pairs;
}

}  // namespace scf

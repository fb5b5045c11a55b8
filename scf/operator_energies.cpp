#include "scf/operator_energies.hpp"

#include <cmath>
#include <vector>

#include "lib/one_electron.hpp"
#include "lib/quadrature.hpp"
#include "lib/vector_kernels.hpp"

namespace scf {

namespace {

// Gauss–Legendre rule of eight points on [a, b] (exact for polynomials up
// to degree 15).
void gauss8(double a, double b, double* x, double* w) {
  lib::gauss_legendre(8, lib::Vec(x, 8), lib::Vec(w, 8));
  for (int k = 0; k < 8; ++k) {
    x[k] = 0.5 * (a + b) + 0.5 * (b - a) * x[k];
    w[k] *= 0.5 * (b - a);
  }
}

// The shell equations of one shell, built for its orbital: PD (all terms),
// PX (one-electron terms), TT, the source XN.
struct Equations {
  const RunTables& t;
  int n, M;
  double ER;  // RZ²/2 times the orbital energy
  lib::CMat X, TT, XN;
  lib::CArr3 PD, PX;
  lib::CMat Y;  // the function the rows are weighted with (X for the energies)
  // The solve's source also holds the Lagrange terms μ·φ_J of the shell's
  // multipliers (columns n+1 … 2n of XN when `lagrange`): they are no part of
  // the operator, but of u″ where that is taken from the equations.
  bool lagrange = false;
  // The three parts acting on the orbital at point i, wave p: one-electron
  // (without u″), two-electron (with the source) and the coefficient of ER.
  void parts(int i, int p, double& one, double& two, double& eps) const {
    one = two = 0.0;
    eps = t.R(i, 2) * X(i, p);
    for (int q = 1; q <= n; ++q) {
      one += PX(i, q, p) * X(i, q);
      two += (PD(i, q, p) - PX(i, q, p)) * X(i, q);
      eps -= TT(q, p) * X(i, q);
    }
    two -= XN(i, p);
    eps *= t.R(i, 3);
  }
};

struct Sums {
  double one = 0.0, two = 0.0, eps = 0.0;
};

Sums outer_sums(const Equations& q) {
  // Outer region: Numerov's rows i = NA+2 … NB−1,
  //   u_{i+1} − 2u_i + u_{i−1} + (HB²/12)·Σ_{k=i−1,i,i+1} c_k (W u − S)_k = 0,  c = 1, 10, 1.
  // Split into parts row by row, each part is only O(HB²) accurate (δ²u is
  // u″ + HB²u⁗/12 …).  So u″ is taken as Numerov's compact derivative v:
  //   v_{i−1} + 10 v_i + v_{i+1} = 12 δ²u_i / HB²,
  // O(HB⁴), with v = −(W u − S) at the two end points NA+1 and NB.  Where
  // the rows hold, v + W u − S vanishes at every outer point, and the parts
  // at the points are integrated by Simpson's rule in x.  S at the end
  // points is the whole source the orbital was solved with, the Lagrange
  // terms included: u″ at the junction left without μ·φ_J is wrong there by
  // that term, which the rule weights by HB/3, an error of first order in
  // the step in every element of the operator (and in the multiplier and
  // the Brillouin gradient formed from them).
  const RunTables& t = q.t;
  const int NA = t.NA, NB = t.NB, N1 = NB - NA;  // outer points NA+1 … NB
  std::vector<double> v(N1), diag(N1);
  const double h2 = 12.0 / (t.HB * t.HB);
  const lib::CMat X = q.X;
  Sums r;
  for (int p = 1; p <= q.n; ++p) {
    double a, b, e;
    q.parts(NA + 1, p, a, b, e);
    v[0] = -(a + b + q.ER * e);
    if (q.lagrange) v[0] += q.XN(NA + 1, q.n + p);
    q.parts(NB, p, a, b, e);
    v[N1 - 1] = -(a + b + q.ER * e);
    if (q.lagrange) v[N1 - 1] += q.XN(NB, q.n + p);
    // Thomas' elimination of the tridiagonal system (1, 10, 1) for v_2 … v_{N1−1}.
    for (int k = 1; k < N1 - 1; ++k) {
      const int i = NA + 1 + k;
      double rhs = h2 * (X(i + 1, p) - 2.0 * X(i, p) + X(i - 1, p));
      if (k == 1) rhs -= v[0];
      if (k == N1 - 2) rhs -= v[N1 - 1];
      diag[k] = 10.0 - (k > 1 ? 1.0 / diag[k - 1] : 0.0);
      v[k] = rhs - (k > 1 ? v[k - 1] / diag[k - 1] : 0.0);
    }
    for (int k = N1 - 2; k >= 1; --k) v[k] = (v[k] - (k < N1 - 2 ? v[k + 1] : 0.0)) / diag[k];
    for (int k = 0; k < N1; ++k) {
      const int i = NA + 1 + k;
      const double wt = (k == 0 || k == N1 - 1 ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0)) * t.HB / 3.0;
      q.parts(i, p, a, b, e);
      r.one += wt * q.Y(i, p) * (v[k] + a);
      r.two += wt * q.Y(i, p) * b;
      r.eps += wt * q.Y(i, p) * e;
    }
  }
  return r;
}

Sums inner_sums(const Equations& q) {
  // Inner region: y_p = (ξ²−1)^(M/2)·f_p(ξ−1), f_p of degree NA−1 through the
  // inner values.  The solve makes the powers t⁰ … t^(NA−2) of each part's
  // contribution divided by (ξ²−1)^(M/2) cancel: the operator of u″ by the
  // recurrence coefficients AA, BB, the others through their interpolating
  // polynomials (WW).  Those truncated polynomials times y_p, integrated from
  // 1 to the junction, are the inner share of each part; their sum vanishes
  // for the solution of the equations.
  const RunTables& t = q.t;
  const int NA = t.NA, n = q.n, M = q.M;
  const lib::CMat X = q.X, TT = q.TT;
  const lib::CArr3 PD = q.PD, PX = q.PX;
  const lib::CVec AA = t.AA.col(M + 1), BB = t.BB.col(M + 1), VV = t.VV.col(M + 1);
  std::vector<double> c(NA * n), cy(NA * n), coef(3 * (NA - 1) * n, 0.0);
  auto C = [&](int k, int p) -> double& { return c[(k - 1) + NA * (p - 1)]; };
  auto CY = [&](int k, int p) -> double& { return cy[(k - 1) + NA * (p - 1)]; };
  auto P = [&](int part, int mm, int p) -> double& { return coef[part + 3 * (mm + (NA - 1) * (p - 1))]; };
  for (int p = 1; p <= n; ++p)
    for (int k = 1; k <= NA; ++k) {
      C(k, p) = 0.0;
      CY(k, p) = 0.0;
      for (int i = 1; i <= NA; ++i) {
        C(k, p) += t.WW(i, k) * X(i, p) / VV(i);
        CY(k, p) += t.WW(i, k) * q.Y(i, p) / VV(i);
      }
    }
  for (int p = 1; p <= n; ++p) {
    for (int k = 2; k <= NA; ++k) P(0, k - 2, p) = AA(k - 1) * C(k, p) + BB(k - 1) * C(k - 1, p);
    for (int q = 1; q <= n; ++q)
      for (int l = 1; l <= NA - 1; ++l) {
        double w1 = 0.0, wg = 0.0, we = 0.0;
        for (int i = 1; i <= NA; ++i) {
          w1 += t.WW(i, l) * PX(i, q, p);
          wg += t.WW(i, l) * (PD(i, q, p) - PX(i, q, p));
          we += t.WW(i, l) * t.R(i, 3) * ((p == q ? t.R(i, 2) : 0.0) - TT(q, p));
        }
        for (int k = l + 1; k <= NA; ++k) {
          P(0, k - 2, p) += w1 * C(k - l, q);
          P(1, k - 2, p) += wg * C(k - l, q);
          P(2, k - 2, p) += we * C(k - l, q);
        }
      }
    for (int k = 2; k <= NA; ++k) {
      double sigma = 0.0;
      for (int i = 1; i <= NA; ++i) sigma += t.WW(i, k - 1) * q.XN(i, p) / VV(i);
      P(1, k - 2, p) -= sigma;
    }
  }
  Sums r;
  double gx[8], gw[8];
  gauss8(1.0, t.R(NA + 1, 1), gx, gw);
  for (int g = 0; g < 8; ++g) {
    const double tt = gx[g] - 1.0, weight = gw[g] * std::pow(gx[g] * gx[g] - 1.0, M);
    for (int p = 1; p <= n; ++p) {
      double f = 0.0;
      for (int k = NA; k >= 1; --k) f = f * tt + CY(k, p);
      double v[3] = {0.0, 0.0, 0.0};
      for (int part = 0; part < 3; ++part)
        for (int mm = NA - 2; mm >= 0; --mm) v[part] = v[part] * tt + P(part, mm, p);
      r.one += weight * f * v[0];
      r.two += weight * f * v[1];
      r.eps += weight * f * v[2];
    }
  }
  return r;
}

// The equations of shell ISH in the present field, as the shell solve builds
// them: PD all terms, PX the one-electron terms, TT, the source in XN.
Equations build_equations(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::CVec BC, UpdateState& st,
                          const ShellWork& w) {
  const int n = s.n(ISH), M = s.M(ISH), NB = t.NB;
  const lib::Arr3 PD(w.PD.data(), NB, n, n), PX(w.PX.data(), NB, n, n);
  // The η² matrix as the shell solve builds it (exact elements with
  // EXACT = 1); the identity below holds only with the solve's own operator.
  const lib::Mat TT = st.tt(n);
  lib::fill(NB * n * n, 0.0, PD.flat());
  lib::fill(NB * 2 * n, 0.0, w.XN.colsFrom(1, 2 * n).flat());
  lib::fill(n * n, 0.0, TT.flat());
  one_electron_equations(NB, lib::WaveSet{M, s.L0(ISH), n, t.ISYM}, t.one_electron(), t.R,
                         lib::VecView<double, 0>(st.F.data(), kFactorials), w.WK, TT, PD);
  lib::copy(NB * n * n, PD.flat(), PX.flat());
  st.B = {1.0, 0.0, 0.0, 0.0};
  const lib::Vec B(st.B.data(), 4);
  add_direct_terms(t, s, ISH, AC, st.fac(), B, w, &st.direct);
  add_exchange_terms(t, s, ISH, ExchangeCoefficients{BC, 1.0, st.partner_weights(ISH)}, st.fac(), B, w, &st.pairs);
  Equations q{t, n, M, t.RZ2 * s.E(ISH), s.waves(ISH), TT, w.XN, PD, PX, s.waves(ISH)};
  // The Lagrange terms as the shell update adds them to the source (one
  // multiplier for a pair, IROT = 2; with 0 and 1 the end points keep the
  // exchange source alone, as the results stored with them were formed).
  if (st.IROT == 2 && !st.lagrange.empty()) {
    for (int J = 1; J <= s.NSH; ++J) {
      const double mu = st.lagrange[(ISH - 1) * st.NSH + (J - 1)];
      if (mu == 0.0) continue;
      add_off_diagonal_term(t, t.RZ2 * mu, TT, s.waves(J), w.XN.colsFrom(n + 1, n));
      q.lagrange = true;
    }
  }
  return q;
}

}  // namespace

ShellEnergies shell_energies(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::CVec BC, UpdateState& st,
                             const ShellWork& w) {
  const Equations q = build_equations(t, s, ISH, AC, BC, st, w);
  const Sums o = outer_sums(q), i = inner_sums(q);
  const double one = o.one + i.one, two = o.two + i.two, eps = o.eps + i.eps;
  // one + two + E·RZ2·eps = 0 for the solution of the equations at energy E.
  const double norm = t.RZ2 * eps;
  return ShellEnergies{-one / norm, -two / norm, one + two + s.E(ISH) * norm};
}

OperatorElements operator_elements(const RunTables& t, const Shells& s, int J, const ShellCoefficients& coef,
                                   UpdateState& st, const ShellWork& w, std::span<const int> left) {
  Equations q = build_equations(t, s, J, coef.AHF.col(J), coef.BHF.col(J), st, w);
  OperatorElements out{std::vector<double>(left.size()), std::vector<double>(left.size())};
  for (size_t k = 0; k < left.size(); ++k) {
    q.Y = s.waves(left[k]);
    const Sums o = outer_sums(q), i = inner_sums(q);
    out.F[k] = -(o.one + i.one + o.two + i.two);
    out.S[k] = t.RZ2 * (o.eps + i.eps);
  }
  return out;
}

}  // namespace scf

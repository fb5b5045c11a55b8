#include "scf/fixed_energy.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/outer_elimination.hpp"
#include "scf/overlap.hpp"

namespace scf {

namespace {

// The unknowns c_k^(p) of the inner system, ordered by power (c_2 of all
// waves, c_3, …) with the leading coefficients c_1 last, so that the
// elimination meets the recurrence pivots AA first and the matching
// conditions last.
struct InnerUnknowns {
  int NA, N;
  int operator()(int k, int p) const { return k >= 2 ? (k - 2) * N + p : (NA - 1) * N + p; }
};

// The outer solution at its first point as eliminate_outer_relations leaves
// it in WK:
// u_p(NA+2) = RV_p − Σ_q RM(p,q)·u_q(NA+1).
// With IDIF = 1 the stored block is G = −RM − I, and the relation reads
// u_p(NA+2) − u_p(NA+1) − Σ_q G(p,q) u_q(NA+1) = RV_p.
struct OuterStart {
  lib::CMat WK;
  int NA, N, IDIF;
  double stored(int p, int q) const { return WK(NA + 2, 2 + (q - 1) * N + p); }
  double RV(int p) const { return WK(NA + 2, N * N + 2 + p); }
  // The coefficient of u_q(NA+1) beside the unit one of u_p(NA+1) that the
  // difference form takes apart: RM, or −G.
  double coupling(int p, int q) const { return IDIF == 1 ? -stored(p, q) : stored(p, q); }
  double unit() const { return IDIF == 1 ? -1.0 : 0.0; }
};

// Series coefficients w_l^(pq), l = 1 … NA−1, of the coefficient functions
// W_pq, held in a work vector of NA·N² words.
struct CoefficientSeries {
  lib::Vec w;
  int NA, N;
  double& operator()(int l, int p, int q) const { return w(l + NA * ((p - 1) + N * (q - 1))); }
};

// The inner system A·cf = rhs of the NA·N series coefficients.
struct InnerSystem {
  lib::Mat A;
  lib::Vec rhs;
};

// w_l^(pq) = Σ_i WW(i,l)·W_pq(ξ_i) over the inner points, with
//   W_pq = PD(·,q,p) + ER·col3·(ξ² δ_pq − TT(q,p)):
// the interpolating polynomial of W_pq in powers of ξ − 1.
void coefficient_series(const RunTables& t, int N, double ER, lib::CMat TT, lib::CArr3 PD,
                        const CoefficientSeries& wc) {
  const int NA = t.NA;
  for (int q = 1; q <= N; ++q) {
    for (int p = 1; p <= N; ++p) {
      for (int l = 1; l <= NA - 1; ++l) {
        double sum = 0.0;
        for (int i = 1; i <= NA; ++i) {
          double Wi = PD(i, q, p) - ER * t.R(i, 3) * TT(q, p);
          if (p == q) Wi += ER * t.R(i, 3) * t.R(i, 2);
          sum += t.WW(i, l) * Wi;
        }
        wc(l, p, q) = sum;
      }
    }
  }
}

// The recurrence rows k = 2 … NA of every wave p,
//   AA(k−1)c_k^(p) + BB(k−1)c_{k−1}^(p) + Σ_q Σ_{j<k} w_{k−j}^(pq) c_j^(q) = σ_{k−1}^(p),
// σ the series of S_p/(ξ²−1)^(|M|/2) (VV) at the inner points.
void recurrence_rows(const RunTables& t, const InnerUnknowns& idx, const lib::SeriesColumn& col, lib::CMat S,
                     const CoefficientSeries& wc, const InnerSystem& sys) {
  const int NA = t.NA, N = idx.N;
  const lib::CVec AA = col.AA, BB = col.BB, VV = col.VV;
  const lib::Mat A = sys.A;
  const lib::Vec rhs = sys.rhs;
  for (int k = 2; k <= NA; ++k) {
    for (int p = 1; p <= N; ++p) {
      const int row = idx(k, p);
      A(row, idx(k, p)) += AA(k - 1);
      A(row, idx(k - 1, p)) += BB(k - 1);
      for (int q = 1; q <= N; ++q)
        for (int j = 1; j <= k - 1; ++j) A(row, idx(j, q)) += wc(k - j, p, q);
      double sigma = 0.0;
      for (int i = 1; i <= NA; ++i) sigma += t.WW(i, k - 1) * S(i, p) / VV(i);
      rhs(row) = sigma;
    }
  }
}

// The matching row of every wave p: the series continued to the first two
// outer points (factors G) meets the outer relation there,
//   u_p(NA+2) + Σ_q RM(p,q) u_q(NA+1) = RV_p;
// for IFL ≠ 1 the row of wave NIT normalises its series instead, c_1 = C1.
void matching_rows(const RunTables& t, const InnerUnknowns& idx, const Matching& m, lib::CVec G,
                   const OuterStart& outer, const InnerSystem& sys) {
  const int NA = t.NA, N = idx.N, IFL = m.IFL, NIT = m.NIT;
  const double C1 = m.C1;
  const lib::Mat A = sys.A;
  const lib::Vec rhs = sys.rhs;
  for (int p = 1; p <= N; ++p) {
    const int row = idx(1, p);
    if (IFL != 1 && p == NIT) {
      A(row, row) = 1.0;
      rhs(row) = C1;
      continue;
    }
    for (int k = 1; k <= NA; ++k) {
      A(row, idx(k, p)) += G(2) * t.UU(k, NA + 1);
      if (outer.IDIF == 1) A(row, idx(k, p)) -= G(1) * t.UU(k, NA);
      for (int q = 1; q <= N; ++q) A(row, idx(k, q)) += outer.coupling(p, q) * G(1) * t.UU(k, NA);
    }
    rhs(row) = outer.RV(p);
  }
}

// cf = A⁻¹·rhs, A inverted in place; returns the sign of det A.
// IBLAS = 1: by LAPACK's LU factors with partial pivoting (dgetrf, dgetrs),
// A overwritten by them; the sign of det A that of U's diagonal, times −1
// for each row exchange.  The inversion as written walks the rows of A, a
// column-major matrix of NA·n rows (190 with 38 waves), across memory.
int solve_inner(int NCF, lib::Mat A, lib::CVec rhs, lib::Vec cf, int IBLAS) {
  if (IBLAS == 1) {
    std::vector<int> pivots(static_cast<size_t>(NCF));
    int info = 0;
    const int one = 1;
    dgetrf_(&NCF, &NCF, A.data(), &NCF, pivots.data(), &info);
    if (info > 0) io::stop(io::fstring(io::Format("(' INVM: ZERO PIVOT IN ROW',I5,' OF',I5)"), info, NCF));
    for (int i = 1; i <= NCF; ++i) cf(i) = rhs(i);
    dgetrs_("N", &NCF, &one, A.data(), &NCF, pivots.data(), cf.data(), &NCF, &info, 1);
    int sign = 1;
    for (int k = 1; k <= NCF; ++k) {
      if (A(k, k) < 0.0) sign = -sign;
      if (pivots[static_cast<size_t>(k - 1)] != k) sign = -sign;
    }
    return sign;
  }
  double D = 1.0;
  lib::invert_in_place(NCF, D, A);
  for (int i = 1; i <= NCF; ++i) {
    double sum = 0.0;
    for (int j = 1; j <= NCF; ++j) sum += A(i, j) * rhs(j);
    cf(i) = sum;
  }
  return D < 0.0 ? -1 : 1;
}

// How far wave NIT of the series misses the outer relation at the second
// outer point: u_NIT(NA+2) + Σ_q RM(NIT,q) u_q(NA+1) − RV_NIT.  u1 receives
// u_NIT(NA+1).
double junction_defect(const RunTables& t, const InnerUnknowns& idx, int NIT, lib::CVec G, const OuterStart& outer,
                       lib::CVec cf, double& u1) {
  const int NA = t.NA, N = idx.N;
  auto c = [&](int k, int p) { return cf(idx(k, p)); };
  double u2 = 0.0, coupled = 0.0;
  for (int k = 1; k <= NA; ++k) u2 += c(k, NIT) * t.UU(k, NA + 1);
  u2 *= G(2);
  for (int q = 1; q <= N; ++q) {
    double uq = 0.0;
    for (int k = 1; k <= NA; ++k) uq += c(k, q) * t.UU(k, NA);
    uq *= G(1);
    coupled += outer.coupling(NIT, q) * uq;
    if (q == NIT) u1 = uq;
  }
  // The difference form: u2 − u1 summed term by term of the series.
  if (outer.IDIF == 1) {
    double d = 0.0;
    for (int k = 1; k <= NA; ++k) d += c(k, NIT) * (G(2) * t.UU(k, NA + 1) - G(1) * t.UU(k, NA));
    return d + coupled - outer.RV(NIT);
  }
  return u2 + coupled - outer.RV(NIT);
}

// The waves at the inner points and the first outer one, from the series.
void series_on_grid(const RunTables& t, const InnerUnknowns& idx, lib::CVec VV, lib::CVec G, lib::CVec cf, lib::Mat X) {
  const int NA = t.NA, N = idx.N;
  auto c = [&](int k, int p) { return cf(idx(k, p)); };
  for (int p = 1; p <= N; ++p) {
    for (int i = 1; i <= NA; ++i) {
      double sum = 0.0;
      for (int k = 1; k <= NA; ++k) sum += c(k, p) * t.UU(k, i);
      X(i, p) = VV(i) * sum;
    }
    X(NA + 1, p) = X(NA, p) * G(1) / VV(NA);
  }
}

}  // namespace

// Inner region: X_p = (ξ²−1)^(|M|/2)·Σ_k c_k^(p) (ξ−1)^(k−1); the power-series
// recurrence at (ξ−1)^(k−2), k = 2 … NA,
//   AA(k−1)c_k^(p) + BB(k−1)c_{k−1}^(p) + Σ_q Σ_{j<k} w_{k−j}^(pq) c_j^(q) = σ_{k−1}^(p),
// with w and σ the interpolating-polynomial coefficients (WW) of W_pq and
// S_p/(ξ²−1)^(|M|/2) at the inner points, and per wave the matching row
//   u_p(NA+2) + Σ_q RM(NA+2)(p,q) u_q(NA+1) = RV_p(NA+2),
// the series continued to the first two outer points.  The unknowns are
// ordered by power (c_2 of all waves, c_3, …) with the leading coefficients
// c_1 last, so that the elimination meets the recurrence pivots AA first and
// the matching conditions last.  The truncation of the series (NA terms over
// 1 ≤ ξ ≤ RA) and the Numerov error of the outer region set the accuracy.
FixedEnergySolution solve_at_energy(const RunTables& t, const ShellEquations& eq, const Matching& m, double ER,
                                    const FixedEnergyWork& w, lib::Mat X) {
  const int N = eq.N, IFL = m.IFL, NIT = m.NIT;
  const lib::CMat TT = eq.TT, S = eq.S;
  const lib::CArr3 PD = eq.PD;
  const lib::Vec CX = w.CX, WC = w.WC;
  const lib::Mat WK = w.WK;
  const int NA = t.NA, NB = t.NB, NCF = NA * N, m1 = std::abs(eq.M) + 1;
  const double r = 1.0 / t.H12();
  FixedEnergySolution out;
  // The outer region, eliminated from the last point (u = 0 beyond it).
  // WC is its scratch, and the first N² words of CX (filled only after it)
  // the zero end values.
  lib::fill(N * N, 0.0, CX);
  const int blocks_by_library = t.IBLAS == 1 && N >= kLibraryBlockWaves ? 1 : 0;
  const OuterEquations outer_eq{N, NA, NB, r, ER, TT, t.R.col(2), t.R.col(3), PD, S, t.IDIF, blocks_by_library};
  out.det_sign = eliminate_outer_relations(outer_eq, lib::CMat(CX.data(), N, N), lib::CVec(CX.data(), N), WK, WC);
  const OuterStart outer{WK, NA, N, t.IDIF};

  // The inner system, with its right-hand side, and its solution.
  const lib::SeriesColumn col = t.series().column(m1);
  const lib::CVec VV = col.VV, G = col.GG;
  const InnerUnknowns idx{NA, N};
  const lib::Mat A(CX.data(), NCF, NCF);
  const lib::Vec rhs = WC.sub(1, NCF), cf = WC.sub(NCF + 1, NCF);
  const InnerSystem sys{A, rhs};
  const CoefficientSeries wc{WC.sub(2 * NCF + 1, NA * N * N), NA, N};
  lib::fill(NCF * NCF, 0.0, A.flat());
  coefficient_series(t, N, ER, TT, PD, wc);
  recurrence_rows(t, idx, col, S, wc, sys);
  matching_rows(t, idx, m, G, outer, sys);
  if (solve_inner(NCF, A, rhs, cf, t.IBLAS) < 0) out.det_sign = -out.det_sign;
  for (int k = 1; k <= std::min(NA, 6); ++k) out.series[k - 1] = cf(idx(k, 1));

  double res = 0.0, u1 = 0.0;
  if (IFL != 1) out.DX = res = junction_defect(t, idx, NIT, G, outer, cf, u1);
  if (X.data() == nullptr) return out;
  series_on_grid(t, idx, VV, G, cf, X);
  outer_waves(N, NA, NB, WK, X, t.IDIF);
  if (IFL != 1) {
    // The defect as an energy: the discrete Wronskian u1·res of the inner and
    // outer solutions at the junction equals HB·(E_root − E)·∫u ∂W/∂E u, and
    // ∂W/∂E = (RZ²/2)·col3·(ξ² − η²) makes the integral (RZ²/2)/(RZ/2)³ times
    // the norm of the solution.  So |DX| < EPS places the energy within about
    // EPS of the root, whatever the normalisation of the series.
    const double C = shell_overlap(t.overlap_grid(), TT, X, X, WK.col(N * N + N + 3), WK.col(N * N + N + 4));
    if (C > 0.0) out.DX = u1 * res * t.RZ3 / (t.HB * t.RZ2 * C);
    io::console().line(io::lstring(" Dx = ", out.DX));
  }
  return out;
}

}  // namespace scf

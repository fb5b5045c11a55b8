// One linear radial equation of the prolate spheroidal problem,
//   d/dξ[(ξ² − 1) dy/dξ] − m²/(ξ² − 1)·y + P(ξ)·y = Q(ξ),
// on the two-region grid.  Near ξ = 1 the regular solution is
// y = (ξ² − 1)^(m/2)·f(t), t = ξ − 1, with f a polynomial of degree NA − 1
// whose coefficients follow from a triangular recurrence; beyond the junction
// the grid builder has brought the equation to the Liouville form
// X'' + P·X = Q in the mapped variable, which the Numerov scheme solves with
// a backward elimination sweep.  The two meet at the doubled junction point.
#include "lib/radial_solver.hpp"

#include <cmath>

#include "io/format.hpp"
#include "io/stop.hpp"

namespace lib {

// Inner grid and the power-series tables, once per run.
//   rows 1 … NA of R:  ξ = 1 + (I−1)·HA (1 + 1e-9 at I = 1), ξ², and the
//                      transformation columns 3–7 = 1, 0, 0, 1, 1;
//   U(J,I)    = t_I^(J−1), and in column NA+1 the powers at the second outer point;
//   V(I,j)    = (ξ_I² − 1)^((j−1)/2), the factor (ξ² − 1)^(m/2), m = j − 1;
//   A(I,j)    = 2I(I+m),  B(I,j) = (I−1+m)(I+m): the coefficients with which
//               (ξ²−1)f'' + 2(m+1)ξf' + m(m+1)f takes c_I and c_(I−1) into t^(I−1);
//   G(1:2,j)  = (ξ² − 1)^(m/2)/g at the first two outer points (g = column 6);
//   BZ(1:4)   = g(NB−1)/g(NB), (ξ²−1) at NB−1 over that at NB, and 1/(ξ²−1) at NB and NB−1,
// the ingredients of the far boundary ratio of a decaying solution.
// The outer rows NA+1 … NB must be filled before the call.
void inner_series_tables(int NA, int NB, int M, double RA, double& HA, Mat R, const SeriesTablesOut& t) {
  const Mat A = t.AA, B = t.BB, U = t.UU, V = t.VV, G = t.GG;
  const Vec BZ = t.BZ;
  // A grid with fewer than two inner points, an inner region that does not
  // reach beyond ξ = 1, or fewer than three outer points has no step, a
  // singular power matrix or no room for the far boundary condition.
  if (NA < 2 || !(RA > 1.0) || NB - NA < 3) {
    io::stop(io::fstring(io::Format("(' HAFA0: UNUSABLE GRID NA =',I5,', NB =',I5,', RA =',E14.6)"), NA, NB, RA));
  }
  HA = (RA - 1.0) / (NA - 1);
  for (int I = 1; I <= NA; ++I) {
    R(I, 1) = (I - 1) * HA + 1.0;
    if (I == 1) R(I, 1) = R(I, 1) + 1.0e-9;
    R(I, 2) = std::pow(R(I, 1), 2.0);
    R(I, 3) = 1.0;
    R(I, 4) = 0.0;
    R(I, 5) = 0.0;
    R(I, 6) = 1.0;
    R(I, 7) = 1.0;
  }
  for (int I = 1; I <= NA; ++I) {
    for (int J = 1; J <= NA; ++J) U(J, I) = std::pow(R(I, 1) - 1.0, J - 1.0);
    for (int J = 1; J <= M; ++J) {
      V(I, J) = std::pow(R(I, 2) - 1.0, (J - 1) / 2.0);
      A(I, J) = 2.0 * I * (I + J - 1);
      B(I, J) = (2.0 * I + J - 3) * J + (I - 2.0) * (I - 1);
    }
  }
  for (int J = 1; J <= M; ++J) {
    G(1, J) = std::pow(R(NA + 1, 2) - 1.0, (J - 1) / 2.0) / R(NA + 1, 6);
    G(2, J) = std::pow(R(NA + 2, 2) - 1.0, (J - 1) / 2.0) / R(NA + 2, 6);
  }
  for (int J = 1; J <= NA; ++J) U(J, NA + 1) = std::pow(R(NA + 2, 1) - 1.0, J - 1.0);
  BZ(1) = R(NB - 1, 6) / R(NB, 6);
  BZ(2) = (R(NB - 1, 2) - 1.0) / (R(NB, 2) - 1.0);
  BZ(3) = 1.0 / (R(NB, 2) - 1.0);
  BZ(4) = 1.0 / (R(NB - 1, 2) - 1.0);
}

// Backward elimination for the Numerov equations of X'' + P·X = Q,
//   (P(j−1)+CH)X(j−1) + (10P(j) − 2CH)X(j) + (P(j+1)+CH)X(j+1) = Q(j−1) + 10Q(j) + Q(j+1),
// CH = 12/h² (local error O(h⁶), global O(h⁴)), closed at the far end by
// B(1)X(N) + B(2)X(N−1) + B(3)X(N−2) = B(4).  Returns U, V (j = 2 … N) with
// X(j) = U(j)·X(j−1) + V(j).
//
// IDIF = 1, the difference form: with U(j+1) = 1 + g′ the divisor is
// D = −CH·(1 − e), e = g′ + (P(j+1)·(1 + g′) + 10P(j))/CH, and
//   g(j) = U(j) − 1 = (P(j−1)/CH + e)/(1 − e),
// formed from quantities of order h (e, g) and h² (P/CH) without adding them
// to CH: the written form keeps P only to the last bit of CH, an error of
// ε·CH = 12ε/h² in P per point that grows as the number of points squared.
void numerov_backward_sweep(int N, double CH, CVec B, CVec P, CVec Q, Vec U, Vec V, int IDIF) {
  const double Z = -2.0 * CH;
  // The equation centred at N−1 with X(N−2) eliminated by the boundary condition.
  double D = (P(N - 2) + CH) * B(1) - (P(N) + CH) * B(3);
  U(N) = ((10.0 * P(N - 1) + Z) * B(3) - (P(N - 2) + CH) * B(2)) / D;
  V(N) = ((P(N - 2) + CH) * B(4) - (10.0 * Q(N - 1) + Q(N - 2) + Q(N)) * B(3)) / D;
  if (IDIF == 1) {
    U(N) = U(N) - 1.0;
    for (int j = N - 1; j >= 2; --j) {
      const double g = U(j + 1);
      const double e = g + (P(j + 1) * (1.0 + g) + 10.0 * P(j)) / CH;
      U(j) = (P(j - 1) / CH + e) / (1.0 - e);
      V(j) = -(Q(j + 1) + Q(j - 1) + 10.0 * Q(j) - (P(j + 1) + CH) * V(j + 1)) / (CH * (1.0 - e));
    }
    return;
  }
  for (int j = N - 1; j >= 2; --j) {
    D = (P(j + 1) + CH) * U(j + 1) + 10.0 * P(j) + Z;
    U(j) = -(P(j - 1) + CH) / D;
    V(j) = (Q(j + 1) + Q(j - 1) + 10.0 * Q(j) - (P(j + 1) + CH) * V(j + 1)) / D;
  }
}

// Solves the radial equation for one projection m (the tables GG, AA, BB, VV
// of column m+1) at all NB points, in the stored form (y inside, y/g outside).
//   inner:  y = VV·Σ_J c_J t^(J−1); with p_k, q_k the interpolation
//           coefficients of P and Q/VV, the power t^(I−2) gives
//           AA(I−1)c_I + BB(I−1)c_(I−1) + Σ_(J<I) p_(I−J) c_J = q_(I−1);
//   outer:  Numerov sweep from the far boundary condition B;
//   IPA ≠ 0: c_1 chosen so that the series at the junction and at the next
//            outer point satisfies the sweep relation there (the solution is
//            then continuous and obeys the outer condition);
//   IPA = 0: c_1 = 1, the regular solution with unit leading coefficient.
// The inner coefficients c_2 … c_NA are the Taylor coefficients of the
// solution for the interpolated source, so the inner part is exact when the
// solution is a polynomial of degree < NA; otherwise the left-out remainder,
// about ((RA − 1)/2)^NA (the series about ξ = 1 converges for |ξ − 1| < 2),
// enters through the matching.  The outer part carries the O(h⁴) Numerov error.
void solve_radial_equation(const RadialGrid& grid, const SeriesColumn& s, const RadialWork& w, int IPA, CVec B, CVec P,
                           CVec Q, Vec X) {
  const int NA = grid.NA, NB = grid.NB, IDIF = grid.IDIF;
  const double CH = grid.CH;
  const CVec GG = s.GG, AA = s.AA, BB = s.BB, VV = s.VV;
  const CMat UU = s.UU, WW = s.WW;
  const Mat WC = w.WC;
  const Vec CP = w.CP, CQ = w.CQ, CX = w.CX, U = w.U, V = w.V;
  const int NO = NB - NA;
  // 1. Outer sweep; sweep index k is grid index NA + k.
  numerov_backward_sweep(NO, CH, B, P.sub(NA + 1, NO), Q.sub(NA + 1, NO), U.sub(NA + 1, NO), V.sub(NA + 1, NO), IDIF);

  // 2. Series coefficients of P and of Q/VV from the values at the inner points.
  for (int I = 1; I <= NA; ++I) {
    double sp = 0.0, sq = 0.0;
    for (int J = 1; J <= NA; ++J) {
      sp = sp + WW(J, I) * P(J);
      sq = sq + WW(J, I) * Q(J) / VV(J);
    }
    CP(I) = sp;
    CQ(I) = sq;
  }

  // 3. Triangular system: column I of WC holds the equation of power t^(I−2).
  for (int I = 2; I <= NA; ++I) {
    WC(I, I) = AA(I - 1);
    for (int J = 1; J <= I - 1; ++J) WC(J, I) = CP(I - J);
    WC(I - 1, I) = WC(I - 1, I) + BB(I - 1);
  }

  // 4. Leading coefficient.
  if (IPA == 0) {
    CX(1) = 1.0;
  } else {
    // Matching row GG(2)·Σ UU(J,NA+1)c_J − U(NA+2)·GG(1)·Σ UU(J,NA)c_J = V(NA+2),
    // reduced to c_1 alone by eliminating c_NA … c_2 with the triangular rows.
    // (the difference form: U = 1 + g, the unit part taken apart)
    for (int J = 1; J <= NA; ++J)
      WC(J, 1) = IDIF == 1 ? (GG(2) * UU(J, NA + 1) - GG(1) * UU(J, NA)) - GG(1) * U(NA + 2) * UU(J, NA)
                           : GG(2) * UU(J, NA + 1) - GG(1) * U(NA + 2) * UU(J, NA);
    double QQ = V(NA + 2);
    for (int K = NA; K >= 2; --K) {
      const double QK = WC(K, 1) / WC(K, K);
      QQ = QQ - QK * CQ(K - 1);
      for (int J = 1; J <= K - 1; ++J) WC(J, 1) = WC(J, 1) - WC(J, K) * QK;
    }
    CX(1) = QQ / WC(1, 1);
  }

  // 5. Forward substitution for c_2 … c_NA.
  for (int I = 2; I <= NA; ++I) {
    for (int J = 1; J <= I - 1; ++J) CQ(I - 1) = CQ(I - 1) - WC(J, I) * CX(J);
    CX(I) = CQ(I - 1) / WC(I, I);
  }

  // 6. Inner values, 7. the junction in the outer scaling, 8. the outer recursion.
  for (int I = 1; I <= NA; ++I) {
    double s = 0.0;
    for (int J = 1; J <= NA; ++J) s = s + UU(J, I) * CX(J);
    X(I) = VV(I) * s;
  }
  X(NA + 1) = X(NA) * GG(1) / VV(NA);
  if (IDIF == 1) {
    for (int I = NA + 2; I <= NB; ++I) X(I) = X(I - 1) + (U(I) * X(I - 1) + V(I));
  } else {
    for (int I = NA + 2; I <= NB; ++I) X(I) = U(I) * X(I - 1) + V(I);
  }
}

}  // namespace lib

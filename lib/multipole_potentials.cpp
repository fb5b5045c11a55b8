// Coulomb potentials of orbital products by multipoles.  In prolate
// spheroidal coordinates ∇²V = −4πσ, multiplied by (RZ²/4)(ξ² − η²),
// separates into one radial equation per multipole λ of projection m:
//   d/dξ[(ξ²−1) dV_λ/dξ] − m²/(ξ²−1)·V_λ − λ(λ+1)·V_λ = C1·[(ξ² − η²)σ]_λ,
// C1 = −π·RZ², [·]_λ the component along Y(λ,m) and V = Σ_λ V_λ·Y(λ,m).
// For a density normalised in the volume element (RZ/2)³(ξ² − η²)dξ dΩ, V is
// the potential in hartree per unit charge: beyond the density its monopole
// is V_0 = (2/RZ)·sqrt(4π)·Q_0(ξ), the Y(0,0) component of 1/r.
#include "lib/multipole_potentials.hpp"

#include <cmath>
#include <cstdlib>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/angular_projection.hpp"
#include "lib/radial_solver.hpp"

namespace lib {

// Multipoles V_λ, λ = MNZ(2), MNZ(2)+KD, …, of the potential of f1·conj(f2),
// each from one call of solve_radial_equation matched to the decaying
// solution (ξ²−1)^(−(λ+1)/2)·(1 + A1·u + A2·u²), u = 1/(ξ²−1), at the last two
// points (the expansion of the Legendre function of the second kind, relative
// error O(u³) there).  Z(·,k) receives V_λk in the stored form.  R holds grid
// columns 2 … 6; B(1) comes in set (1.0), B(2 … 4) are set here.
void pair_multipoles(const MultipoleSetting& set, const SeriesColumn& series, const PairDensity& rho,
                     const MultipoleWork& w, IVec MNZ, Mat Z) {
  const int NB = set.grid.NB, KD = rho.f1.KD;
  const PartialWaves &f1 = rho.f1, &f2 = rho.f2;
  const double C1 = rho.C1;
  const CVec CB = series.BZ;
  const CMat R = set.R2;
  const Vec B = w.B;
  const Mat WK = w.WK;
  // 1. Projection m = M1 − M2 of the product; the first multipole is the
  //    lowest λ ≥ |m| of the parity of |L0_1 − L0_2|.
  MNZ(1) = f1.M - f2.M;
  MNZ(2) = std::abs(f1.L0 - f2.L0);
  if (MNZ(2) < std::abs(MNZ(1))) MNZ(2) = MNZ(2) + 2;
  MNZ(3) = (3 * (f1.n + f2.n)) / 4;
  if (MNZ(3) > Z.cols()) {
    io::stop(io::fstring(io::Format("(' CUIN: ',I5,' MULTIPOLES, ROOM FOR',I5)"), MNZ(3), Z.cols()));
  }

  // 2.–3. The m² part of the coefficient function, common to all λ; the
  //       factor (−1)^M2 turns Y(l2,−M2) into conj(Y(l2,M2)).
  const double CM = -static_cast<double>(MNZ(1)) * MNZ(1);
  B(2) = 0.0;
  B(3) = 0.0;
  B(4) = 0.0;
  const double CC = ((f2.M & 1) ? -1.0 : 1.0) * C1;
  for (int j = 1; j <= NB; ++j) WK(j, 5) = R(j, 3) * CM + R(j, 4);
  const RadialWork solve{w.WC, w.CX.col(1), w.CX.col(2), w.CX.col(3), WK.col(3), WK.col(4)};

  for (int k = 1; k <= MNZ(3); ++k) {
    const int lam = (k - 1) * KD + MNZ(2);
    const double CK = -static_cast<double>(lam) * (lam + 1);

    // Source C1·[(ξ² − η²)·X1·conj(X2)]_λ, wave by wave of X2.
    weighted_projection_onto(NB, f1, PartialWaves{{f2.M, f2.L0, f2.n, KD}, f2.X}, -f2.M, lam, CC, MNZ(1), R.col(1),
                             set.F, set.table, WK.col(2));
    // Stored product is σ/g² outside; times column 3 and g gives S·(column 3)/g.
    for (int j = 1; j <= NB; ++j) WK(j, 2) = R(j, 2) * WK(j, 2) * R(j, 5);
    // P = −λ(λ+1)·(column 3) − m²·(column 4) + (column 5).
    for (int j = 1; j <= NB; ++j) WK(j, 1) = R(j, 2) * CK + WK(j, 5);

    // Far boundary: X(NB) = −B(2)·X(NB−1), the ratio of the decaying solution.
    const double A1 = (-CM - 1.0 - (lam + 2.0) * lam) / (4.0 * lam + 6.0);
    const double A2 = (-CM - 1.0 - (lam + 2.0) * (lam + 4.0)) * A1 / (8.0 * lam + 20.0);
    B(2) = -CB(1) * std::pow(CB(2), (lam + 1) / 2.0) * (1.0 + A1 * CB(3) + A2 * CB(3) * CB(3)) /
           (1.0 + A1 * CB(4) + A2 * CB(4) * CB(4));

    solve_radial_equation(set.grid, series, solve, 1, B, WK.col(1), WK.col(2), Z.col(k));
  }
}

// QQ(·,i) = partial wave (MNE(2)+(i−1)KD, MNE(1)) of (ξ² − η²)·V·fe, V the
// potential of f1·conj(f2): the multipoles of pair_multipoles applied to fe
// and projected with angular_projection_onto.  Zero when the projections
// cannot add up (M1 − M2 + Me ≠ MNE(1)).  The series tables are taken at
// column |M1 − M2| + 1, which must be one that inner_series_tables built.
void exchange_potential_waves(const MultipoleSetting& set, const SeriesTables& series, const PairDensity& rho,
                              const PartialWaves& fe, CIVec MNE, const MultipoleWork& w, Mat QQ, Mat Z) {
  const int NB = set.grid.NB, KD = rho.f1.KD;
  const int MD = rho.f1.M - rho.f2.M + fe.M - MNE(1);
  for (int i = 1; i <= MNE(3); ++i)
    for (int j = 1; j <= NB; ++j) QQ(j, i) = 0.0;
  if (MD != 0) return;

  const int MS1 = std::abs(rho.f1.M - rho.f2.M) + 1;
  const SeriesTables& t = series;
  if (MS1 > t.GG.cols() || MS1 > t.AA.cols() || MS1 > t.BB.cols() || MS1 > t.VV.cols()) {
    io::stop(io::fstring(io::Format("(' CUIF: PROJECTION',I4,' BEYOND THE',I4,' COLUMNS OF THE SERIES TABLES')"),
                         MS1 - 1, t.AA.cols()));
  }

  int mnz[3];
  IVec MNZ(mnz, 3);
  pair_multipoles(set, t.column(MS1), rho, w, MNZ, Z);
  const PartialWaves V{{MNZ(1), MNZ(2), MNZ(3), KD}, Z};

  for (int ig = 1; ig <= MNE(3); ++ig)
    weighted_projection_onto(NB, V, PartialWaves{{fe.M, fe.L0, fe.n, KD}, fe.X}, fe.M, (ig - 1) * KD + MNE(2), 1.0,
                             MNE(1), set.R2.col(1), set.F, set.table, QQ.col(ig));
}

}  // namespace lib

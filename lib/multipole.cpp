// Coulomb potentials of orbital products by multipoles.  In prolate
// spheroidal coordinates ∇²V = −4πσ, multiplied by (RZ²/4)(ξ² − η²),
// separates into one radial equation per multipole λ of projection m:
//   d/dξ[(ξ²−1) dV_λ/dξ] − m²/(ξ²−1)·V_λ − λ(λ+1)·V_λ = C1·[(ξ² − η²)σ]_λ,
// C1 = −π·RZ², [·]_λ the component along Y(λ,m) and V = Σ_λ V_λ·Y(λ,m).
// For a density normalised in the volume element (RZ/2)³(ξ² − η²)dξ dΩ, V is
// the potential in hartree per unit charge: beyond the density its monopole
// is V_0 = (2/RZ)·sqrt(4π)·Q_0(ξ), the Y(0,0) component of 1/r.
#include <cmath>
#include <cstdlib>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"

namespace lib {

// Multipoles V_λ, λ = MNZ(2), MNZ(2)+KD, …, of the potential of X1·conj(X2)
// (descriptors MN1, MN2), each from one call of RDEQ matched to the decaying
// solution (ξ²−1)^(−(λ+1)/2)·(1 + A1·u + A2·u²), u = 1/(ξ²−1), at the last two
// points (the expansion of the Legendre function of the second kind, relative
// error O(u³) there).  Z(·,k) receives V_λk in the stored form.  R holds grid
// columns 2 … 6; B(1) comes in set (1.0), B(2 … 4) are set here.
void CUIN(int NA, int NB, int KD, CIVec MN1, CIVec MN2, IVec MNZ, double C1, double CH, CVec CB, Vec B, CVec GG,
          CVec AA, CVec BB, CVec VV, CMat UU, CMat WW, Mat WC, Fac F, CMat R, Mat CX, Mat WK, CMat X1, CMat X2, Mat Z) {
  // 1. Projection m = M1 − M2 of the product; the first multipole is the
  //    lowest λ ≥ |m| of the parity of |L0_1 − L0_2|.
  MNZ(1) = MN1(1) - MN2(1);
  MNZ(2) = std::abs(MN1(2) - MN2(2));
  if (MNZ(2) < std::abs(MNZ(1))) MNZ(2) = MNZ(2) + 2;
  MNZ(3) = (3 * (MN1(3) + MN2(3))) / 4;
  if (MNZ(3) > Z.cols()) {
    io::stop(io::fstring(io::Format("(' CUIN: ',I5,' MULTIPOLES, ROOM FOR',I5)"), MNZ(3), Z.cols()));
  }

  // 2.–3. The m² part of the coefficient function, common to all λ; the
  //       factor (−1)^M2 turns Y(l2,−M2) into conj(Y(l2,M2)).
  const double CM = -static_cast<double>(MNZ(1)) * MNZ(1);
  B(2) = 0.0;
  B(3) = 0.0;
  B(4) = 0.0;
  const double CC = ((MN2(1) & 1) ? -1.0 : 1.0) * C1;
  for (int j = 1; j <= NB; ++j) WK(j, 5) = R(j, 3) * CM + R(j, 4);

  for (int k = 1; k <= MNZ(3); ++k) {
    const int lam = (k - 1) * KD + MNZ(2);
    const double CK = -static_cast<double>(lam) * (lam + 1);

    // Source C1·[(ξ² − η²)·X1·conj(X2)]_λ, wave by wave of X2.
    for (int j = 1; j <= NB; ++j) WK(j, 2) = 0.0;
    for (int i2 = 1; i2 <= MN2(3); ++i2) {
      const int l2 = (i2 - 1) * KD + MN2(2);
      SUMY(NB, KD, MN1, -MN2(1), MNZ(1), l2, lam, CC, R.col(1), F, WK.col(6), X1, WK.col(3));
      for (int j = 1; j <= NB; ++j) WK(j, 2) = WK(j, 2) + X2(j, i2) * WK(j, 3);
    }
    // Stored product is σ/g² outside; times column 3 and g gives S·(column 3)/g.
    for (int j = 1; j <= NB; ++j) WK(j, 2) = R(j, 2) * WK(j, 2) * R(j, 5);
    // P = −λ(λ+1)·(column 3) − m²·(column 4) + (column 5).
    for (int j = 1; j <= NB; ++j) WK(j, 1) = R(j, 2) * CK + WK(j, 5);

    // Far boundary: X(NB) = −B(2)·X(NB−1), the ratio of the decaying solution.
    const double A1 = (-CM - 1.0 - (lam + 2.0) * lam) / (4.0 * lam + 6.0);
    const double A2 = (-CM - 1.0 - (lam + 2.0) * (lam + 4.0)) * A1 / (8.0 * lam + 20.0);
    B(2) = -CB(1) * std::pow(CB(2), (lam + 1) / 2.0) * (1.0 + A1 * CB(3) + A2 * CB(3) * CB(3)) /
           (1.0 + A1 * CB(4) + A2 * CB(4) * CB(4));

    RDEQ(NA, NB, 1, CH, GG, B, AA, BB, VV, UU, WW, WC, CX.col(1), CX.col(2), CX.col(3), WK.col(1), WK.col(2), WK.col(3),
         WK.col(4), Z.col(k));
  }
}

// QQ(·,i) = partial wave (MNE(2)+(i−1)KD, MNE(1)) of (ξ² − η²)·V·XFE, V the
// potential of XF1·conj(XF2): the multipoles of CUIN applied to XFE and
// projected with SUMY.  Zero when the projections cannot add up
// (MF1 − MF2 + MFE ≠ MNE).  The series tables are taken at column
// |MF1(1) − MF2(1)| + 1, which must be one that HAFA0 built.
void CUIF(int NA, int NB, CIVec MF1, CIVec MF2, CIVec MFE, CIVec MNE, int KD, double C1, double CH, CVec BZ, Fac F,
          CMat GG, Vec B, CMat AA, CMat BB, CMat VV, CMat UU, CMat WW, Mat WC, Mat CX, CMat R2, CMat XF1, CMat XF2,
          CMat XFE, Mat QQ, Mat WK, Mat Z) {
  const int MD = MF1(1) - MF2(1) + MFE(1) - MNE(1);
  for (int i = 1; i <= MNE(3); ++i)
    for (int j = 1; j <= NB; ++j) QQ(j, i) = 0.0;
  if (MD != 0) return;

  const int MS1 = std::abs(MF1(1) - MF2(1)) + 1;
  if (MS1 > GG.cols() || MS1 > AA.cols() || MS1 > BB.cols() || MS1 > VV.cols()) {
    io::stop(io::fstring(io::Format("(' CUIF: PROJECTION',I4,' BEYOND THE',I4,' COLUMNS OF THE SERIES TABLES')"),
                         MS1 - 1, AA.cols()));
  }

  int mnz[3];
  IVec MNZ(mnz, 3);
  CUIN(NA, NB, KD, MF1, MF2, MNZ, C1, CH, BZ, B, GG.col(MS1), AA.col(MS1), BB.col(MS1), VV.col(MS1), UU, WW, WC, F, R2,
       CX, WK, XF1, XF2, Z);

  for (int ig = 1; ig <= MNE(3); ++ig) {
    const int lg = (ig - 1) * KD + MNE(2);
    for (int ic = 1; ic <= MFE(3); ++ic) {
      const int lc = (ic - 1) * KD + MFE(2);
      SUMY(NB, KD, MNZ, MFE(1), MNE(1), lc, lg, 1.0, R2.col(1), F, WK.col(6), Z, WK.col(2));
      for (int j = 1; j <= NB; ++j) QQ(j, ig) = QQ(j, ig) + XFE(j, ic) * WK(j, 2);
    }
  }
}

}  // namespace lib

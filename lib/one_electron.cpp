// The one-electron part of the radial equations of a set of partial waves
// of one projection in prolate spheroidal coordinates: kinetic, centrifugal
// and two-centre nuclear terms, and the η² matrix of the volume element.
// The shell equations of tovrel and the continuum equations of chanfile are
// built on it.
#include "lib/one_electron.hpp"

#include "lib/angular_coefficients.hpp"

namespace lib {

// One-electron part of the equation of wave p, times −(RZ²/2)(ξ² − η²):
//   (p y′)′ − M²/(ξ²−1)·y − L_p(L_p+1)·y + ZP·ξ·y − ZM·⟨η⟩ coupling,
// in the column form of the grid: diagonal
//   PD(i,p,p) = ZP·ξ_i·col3 − M²·col4 + col5 − L_p(L_p+1)·col3,
// for unequal charges the dipole coupling −ZM·⟨L_p+1 M|η|L_p M⟩·col3 between
// neighbouring waves, and TT = ⟨L_p M|η²|L_q M⟩ (diagonal and the L ± 2 band).
// Exact: the nuclear attraction of two centres separates exactly in
// prolate spheroidal coordinates.
void one_electron_equations(int NB, const WaveSet& w, const OneElectronSetting& s, CMat R, VecView<double, 0> F, Mat WK,
                            Mat TT, Arr3 PD) {
  const int M = w.M, L0 = w.L0, N = w.n, ISYM = w.KD, NF = F.size(), EXACT = s.EXACT;
  const double ZP = s.ZP, ZM = s.ZM;
  fill_factorials(NF - 1, F);
  const Fac f(F.data(), NF);
  for (int i = 1; i <= NB; ++i) WK(i, 1) = ZP * R(i, 1) * R(i, 3) - M * M * R(i, 4) + R(i, 5);
  const int t = ISYM == 2 ? 1 : 2;
  for (int p = 1; p <= N; ++p) {
    const int L = L0 + (p - 1) * ISYM;
    for (int i = 1; i <= NB; ++i) PD(i, p, p) = WK(i, 1) - L * (L + 1) * R(i, 3);
    if (ISYM == 1 && p < N) {
      const double c = -ZM * eta_next(L, M, f, EXACT);
      for (int i = 1; i <= NB; ++i) {
        PD(i, p + 1, p) += c * R(i, 3);
        PD(i, p, p + 1) += c * R(i, 3);
      }
    }
    TT(p, p) = eta2_diagonal(L, M, f, EXACT);
    if (p + t <= N) {
      TT(p, p + t) = eta2_next(L, M, f, EXACT);
      TT(p + t, p) = TT(p, p + t);
    }
  }
}

}  // namespace lib

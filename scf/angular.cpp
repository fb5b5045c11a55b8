#include "scf/angular.hpp"

#include <algorithm>
#include <cmath>

#include "lib/build.hpp"
#include "lib/gaunt_exact.hpp"
#include "lib/gaunt_table.hpp"
#include "scf/shells.hpp"

namespace scf {

namespace {

// π as the Gaunt coefficients of the library write it (3.14159265359): their
// values times this factor are those with π at full precision.
const double kGauntPi = std::sqrt(3.14159265359 / 3.141592653589793);

// Gaunt coefficient ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ from the table or the library.
double gaunt(const lib::GauntTable* T, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F) {
  return T != nullptr ? T->gaunt_integral(L1, L2, L3, M1, M2, M3)
                      : lib::gaunt_integral(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
}

}  // namespace

void angular_projection_by_rule(const AngularRule& rule, int NB, const lib::PartialWaves& x,
                                const lib::ProductProjection& p, lib::CVec R, lib::Fac F, lib::Vec Q1, lib::Vec Q) {
  const lib::GauntTable* T = rule.table;
  const lib::ExactGauntTable* G = rule.exact;
  if (T == nullptr && rule.EXACT == 0 && G == nullptr) {
    lib::angular_projection(NB, x, p, R, F, Q1, Q, lib::Build::scf);
    return;
  }
  const int NX = x.n, MI = x.M, KD = x.KD, K0I = x.L0, KJ = p.KJ, MJ = p.MJ, K = p.K;
  const double C = p.C;
  const lib::CMat X = x.X;
  const double EPS = 1.0e-8;
  const int M3 = MI + MJ;
  for (int j = 1; j <= NB; ++j) {
    Q(j) = 0.0;
    Q1(j) = 0.0;
  }
  for (int i = 1; i <= NX; ++i) {
    const int L = (i - 1) * KD + K0I;
    const double A = (G != nullptr      ? G->gaunt_integral(L, KJ, K, MI, MJ, M3)
                      : rule.EXACT == 1 ? kGauntPi * gaunt(T, L, KJ, K, MI, MJ, M3, F)
                                        : T->gaunt_integral(L, KJ, K, MI, MJ, M3)) *
                     C;
    if (std::fabs(A) >= EPS)
      for (int j = 1; j <= NB; ++j) Q(j) = Q(j) + X(j, i) * A;
    const double B = -(G != nullptr      ? G->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3)
                       : rule.EXACT == 1 ? eta2_gaunt(rule, L, KJ, K, MI, MJ, M3, F)
                                         : T->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3)) *
                     C;
    if (std::fabs(B) >= EPS)
      for (int j = 1; j <= NB; ++j) Q1(j) = Q1(j) + X(j, i) * B;
  }
  for (int j = 1; j <= NB; ++j) Q(j) = Q(j) * R(j) + Q1(j);
}

// η² couples Y(L3,M3) only to Y(L3,M3) and Y(L3±2,M3), so the integral is
//   ⟨L3|η²|L3⟩·G(L3) + ⟨L3+2|η²|L3⟩·G(L3+2) + ⟨L3|η²|L3−2⟩·G(L3−2),
// G(L) the Gaunt coefficient onto Y(L,M3); the last term only for L3 ≥ 2.
double eta2_gaunt(const AngularRule& rule, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F) {
  const lib::GauntTable* T = rule.table;
  if (rule.EXACT != 1)
    return T != nullptr ? T->gaunt_integral_eta2(L1, L2, L3, M1, M2, M3)
                        : lib::gaunt_integral_eta2(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
  double B = lib::eta2_diagonal(L3, M3, F, 1) * gaunt(T, L1, L2, L3, M1, M2, M3, F) +
             gaunt(T, L1, L2, L3 + 2, M1, M2, M3, F) * lib::eta2_next(L3, M3, F, 1);
  if (L3 >= 2) B = B + gaunt(T, L1, L2, L3 - 2, M1, M2, M3, F) * lib::eta2_next(L3 - 2, M3, F, 1);
  return kGauntPi * B;
}

AngularRange angular_range(const Shells& s, int ISYM) {
  AngularRange r;
  int nmax = 0, lw = 0, l0 = 0;
  for (int J = 1; J <= s.NSH; ++J) {
    nmax = std::max(nmax, s.n(J));
    lw = std::max(lw, s.L0(J) + (s.n(J) - 1) * ISYM);
    l0 = std::max(l0, s.L0(J));
    r.MMAX = std::max(r.MMAX, 2 * s.M(J));
  }
  // Multipole orders: from |L0 − L0′| (+2 when the projections demand it)
  // in n + 2 orders of step ISYM.
  const int lam = l0 + 2 + r.MMAX + (nmax + 1) * ISYM;
  r.LMAX = std::max(lw, lam);
  return r;
}

}  // namespace scf

#include "scf/angular.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

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

bool coefficients_by_rule(const AngularRule& rule) {
  return rule.table != nullptr || rule.EXACT == 1 || rule.exact != nullptr;
}

void projection_coefficients(const AngularRule& rule, const lib::WaveSet& x, const lib::ProductProjection& p,
                             lib::Fac F, std::span<double> a, std::span<double> b) {
  const lib::GauntTable* T = rule.table;
  const lib::ExactGauntTable* G = rule.exact;
  const int MI = x.M, KJ = p.KJ, MJ = p.MJ, K = p.K, M3 = MI + MJ;
  for (int i = 1; i <= x.n; ++i) {
    const int L = (i - 1) * x.KD + x.L0;
    const size_t k = static_cast<size_t>(i - 1);
    a[k] = G != nullptr      ? G->gaunt_integral(L, KJ, K, MI, MJ, M3)
           : rule.EXACT == 1 ? kGauntPi * gaunt(T, L, KJ, K, MI, MJ, M3, F)
                             : T->gaunt_integral(L, KJ, K, MI, MJ, M3);
    b[k] = G != nullptr      ? G->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3)
           : rule.EXACT == 1 ? eta2_gaunt(rule, L, KJ, K, MI, MJ, M3, F)
                             : T->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3);
  }
}

// The points in blocks that stay in the first-level cache, each wave's
// terms of Q and Q1 in one pass over its column: every Q(j) and Q1(j)
// receives the same terms in the same order as wave by wave over all
// points, so the result is the same to the bit.
void project_with_coefficients(int NB, lib::CMat X, std::span<const double> a, std::span<const double> b, double C,
                               lib::CVec R, lib::Vec Q1, lib::Vec Q) {
  const double EPS = 1.0e-8;
  constexpr int kBlock = 512;
  for (int j0 = 1; j0 <= NB; j0 += kBlock) {
    const int m = std::min(kBlock, NB - j0 + 1);
    double* q = &Q(j0);
    double* q1 = &Q1(j0);
    for (int j = 0; j < m; ++j) q[j] = q1[j] = 0.0;
    for (size_t k = 0; k < a.size(); ++k) {
      const double* x = &X(j0, static_cast<int>(k) + 1);
      const double A = a[k] * C, B = -b[k] * C;
      const bool with_a = std::fabs(A) >= EPS, with_b = std::fabs(B) >= EPS;
      if (with_a && with_b) {
        for (int j = 0; j < m; ++j) {
          q[j] = q[j] + x[j] * A;
          q1[j] = q1[j] + x[j] * B;
        }
      } else if (with_a) {
        for (int j = 0; j < m; ++j) q[j] = q[j] + x[j] * A;
      } else if (with_b) {
        for (int j = 0; j < m; ++j) q1[j] = q1[j] + x[j] * B;
      }
    }
    const double* r = &R(j0);
    for (int j = 0; j < m; ++j) q[j] = q[j] * r[j] + q1[j];
  }
}

void angular_projection_by_rule(const AngularRule& rule, int NB, const lib::PartialWaves& x,
                                const lib::ProductProjection& p, lib::CVec R, lib::Fac F, lib::Vec Q1, lib::Vec Q) {
  if (!coefficients_by_rule(rule)) {
    lib::angular_projection(NB, x, p, R, F, Q1, Q, lib::Build::scf);
    return;
  }
  // The coefficients of the waves, on the stack for the usual counts.
  constexpr size_t kOnStack = 128;
  std::array<double, 2 * kOnStack> local{};
  std::vector<double> more;
  const size_t n = static_cast<size_t>(std::max(0, x.n));
  double* ab = local.data();
  if (n > kOnStack) {
    more.resize(2 * n);
    ab = more.data();
  }
  const std::span<double> a(ab, n), b(ab + n, n);
  projection_coefficients(rule, x, p, F, a, b);
  project_with_coefficients(NB, x.X, a, b, p.C, R, Q1, Q);
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

// The Gaunt coefficients by quadrature: equal to the Racah formula where the
// factorial table reaches, and to closed forms far beyond it.
#include "lib/gaunt_exact.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"

namespace {

const double kPi = 3.141592653589793;

TEST(ExactGauntTable, AgreesWithTheRacahFormulaAndWithClosedFormsBeyondTheFactorials) {
  // Racah's sum with 98! (π as the library writes it, rescaled to full
  // precision), every coefficient of a range that the factorials reach.
  std::vector<double> f(lib::kFactorials);
  lib::fill_factorials(lib::kFactorials - 1, lib::VecView<double, 0>(f.data(), lib::kFactorials));
  const lib::Fac F(f.data(), lib::kFactorials);
  const double pi_fix = std::sqrt(3.14159265359 / kPi);
  const lib::ExactGauntTable g(12, 2);
  double worst = 0.0;
  for (int M1 = -2; M1 <= 2; ++M1)
    for (int M2 = -2; M2 <= 2; ++M2)
      for (int L1 = 0; L1 <= 12; ++L1)
        for (int L2 = 0; L2 <= 12; ++L2)
          for (int L3 = 0; L3 <= 12; ++L3) {
            const int M3 = M1 + M2;
            const double a = pi_fix * lib::gaunt_integral(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
            double b =
                lib::eta2_diagonal(L3, M3, F, 1) * lib::gaunt_integral(L1, L2, L3, M1, M2, M3, F, lib::Build::scf) +
                lib::gaunt_integral(L1, L2, L3 + 2, M1, M2, M3, F, lib::Build::scf) * lib::eta2_next(L3, M3, F, 1);
            if (L3 >= 2)
              b += lib::gaunt_integral(L1, L2, L3 - 2, M1, M2, M3, F, lib::Build::scf) *
                   lib::eta2_next(L3 - 2, M3, F, 1);
            worst = std::max({worst, std::fabs(g.gaunt_integral(L1, L2, L3, M1, M2, M3) - a),
                              std::fabs(g.gaunt_integral_eta2(L1, L2, L3, M1, M2, M3) - pi_fix * b)});
          }
  EXPECT_LT(worst, 1e-14);  // the coefficients are of order 0.1–0.3

  // Beyond the table (L up to 80, sums to 243!): Y(0,0) = 1/√(4π), and
  // η·Y(L,M) = a·Y(L+1,M) + …, Y(1,0) = √(3/4π)·η, so
  // G(L,1,L+1; M,0,M) = √(3/4π)·⟨L+1 M|η|L M⟩ and, with L2 = 0, the η²
  // coefficient is ⟨L3|η²|L1⟩/√(4π).
  const lib::ExactGauntTable h(80, 2);
  for (int L : {40, 63, 78})
    for (int M : {0, 1, -2}) {
      EXPECT_NEAR(h.gaunt_integral(L, 0, L, M, 0, M), 1.0 / std::sqrt(4 * kPi), 1e-14) << L << " " << M;
      EXPECT_NEAR(h.gaunt_integral(L, 1, L + 1, M, 0, M), std::sqrt(3 / (4 * kPi)) * lib::eta_next(L, M, F, 1), 1e-14);
      EXPECT_NEAR(h.gaunt_integral_eta2(L, 0, L, M, 0, M), lib::eta2_diagonal(L, M, F, 1) / std::sqrt(4 * kPi), 1e-14);
      EXPECT_NEAR(h.gaunt_integral_eta2(L, 0, L + 2, M, 0, M), lib::eta2_next(L, M, F, 1) / std::sqrt(4 * kPi), 1e-14);
      EXPECT_EQ(h.gaunt_integral(L, 1, L, M, 0, M), 0.0);  // odd L1 + L2 + L3
    }
  // A query outside the table is a fault of the caller: it stops.
  EXPECT_THROW(h.gaunt_integral(81, 0, 81, 0, 0, 0), io::StopRun);
}

}  // namespace

namespace {

// (a b c; 0 0 0) in closed form, J = a + b + c even, g = J/2:
//   (−1)^g·[(J−2a)!(J−2b)!(J−2c)!/(J+1)!]^½ · g!/((g−a)!(g−b)!(g−c)!),
// in long double logarithms: no alternating sum to cancel.
double three_j_zero(int a, int b, int c) {
  auto lf = [](int n) { return std::lgamma(static_cast<long double>(n) + 1.0L); };
  const int J = a + b + c, g = J / 2;
  const long double l =
      0.5L * (lf(J - 2 * a) + lf(J - 2 * b) + lf(J - 2 * c) - lf(J + 1)) + lf(g) - lf(g - a) - lf(g - b) - lf(g - c);
  return static_cast<double>((g % 2 ? -1.0L : 1.0L) * std::exp(l));
}

TEST(ThreeJBeyondTables, BeyondTheDoubleFactorialsAgreesWithClosedFormsAndQuadrature) {
  // The ground state's table, 0! … 98!: beyond it no factorial is read.
  std::vector<double> f(lib::kFactorials);
  lib::fill_factorials(lib::kFactorials - 1, lib::VecView<double, 0>(f.data(), lib::kFactorials));
  const lib::Fac F(f.data(), lib::kFactorials);
  // Sums beyond 80! (beyond 98! for the ground-state build, which keeps its
  // double sum to there), past the largest double factorial (170!) and with
  // prefactors beyond the range of doubles, against the closed form.  M = 0
  // is where Racah's alternating sum cancels most (the double sum is off by
  // 2.6e-4 at (85 60 93; 0 0 0)).
  double worst = 0.0;
  for (int a : {30, 41, 60, 85})
    for (int b : {1, 29, 44, 60})
      for (int c = std::abs(a - b); c <= a + b; c += 2) {
        const double ref = three_j_zero(a, b, c);
        const int LL = a + b + c + 1;
        if (LL > 80) worst = std::max(worst, std::fabs(lib::wigner_3j(a, b, c, 0, 0, 0, F) - ref) / std::fabs(ref));
        if (LL > lib::kFactorials - 1)
          worst =
              std::max(worst, std::fabs(lib::wigner_3j(a, b, c, 0, 0, 0, F, lib::Build::scf) - ref) / std::fabs(ref));
      }
  EXPECT_LT(worst, 1e-13);
  // With projections: the Gaunt coefficients against the quadrature of
  // ExactGauntTable (π rescaled from the library's twelve digits), momenta whose
  // sums run from 81 to 136 as the dipole elements and multipoles of 17–19
  // partial waves need.
  const double pi_fix = std::sqrt(3.14159265359 / kPi);
  const lib::ExactGauntTable g(45, 1);
  double big = 0.0, diff = 0.0;
  for (int M1 = -1; M1 <= 1; ++M1)
    for (int M2 = -1; M2 <= 1; ++M2)
      for (int L1 = 26; L1 <= 45; L1 += 3)
        for (int L2 : {1, 2, 17, 30, 45})
          for (int L3 = std::abs(L1 - L2); L3 <= std::min(45, L1 + L2); ++L3) {
            if (L1 + L2 + L3 + 1 <= 80 || std::abs(M1 + M2) > L3) continue;
            const double e = g.gaunt_integral(L1, L2, L3, M1, M2, M1 + M2);
            big = std::max(big, std::fabs(e));
            diff = std::max(diff, std::fabs(pi_fix * lib::gaunt_integral(L1, L2, L3, M1, M2, M1 + M2, F) - e));
          }
  EXPECT_LT(diff, 1e-13 * big) << big;
}

}  // namespace

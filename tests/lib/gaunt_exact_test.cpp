// The Gaunt coefficients by quadrature: equal to the Racah formula where the
// factorial table reaches, and to closed forms far beyond it.
#include "lib/gaunt_exact.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "io/stop.hpp"
#include "lib/lib.hpp"

namespace {

const double kPi = 3.141592653589793;

TEST(ExactGaunt, AgreesWithTheRacahFormulaAndWithClosedFormsBeyondTheFactorials) {
  // Racah's sum with 98! (π as the library writes it, rescaled to full
  // precision), every coefficient of a range that the factorials reach.
  std::vector<double> f(lib::kFactorials);
  lib::DEFA(lib::kFactorials - 1, lib::VecView<double, 0>(f.data(), lib::kFactorials));
  const lib::Fac F(f.data(), lib::kFactorials);
  const double pi_fix = std::sqrt(3.14159265359 / kPi);
  const lib::ExactGaunt g(12, 2);
  double worst = 0.0;
  for (int M1 = -2; M1 <= 2; ++M1)
    for (int M2 = -2; M2 <= 2; ++M2)
      for (int L1 = 0; L1 <= 12; ++L1)
        for (int L2 = 0; L2 <= 12; ++L2)
          for (int L3 = 0; L3 <= 12; ++L3) {
            const int M3 = M1 + M2;
            const double a = pi_fix * lib::FSGA(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
            double b = lib::eta2_diagonal(L3, M3, F, 1) * lib::FSGA(L1, L2, L3, M1, M2, M3, F, lib::Build::scf) +
                       lib::FSGA(L1, L2, L3 + 2, M1, M2, M3, F, lib::Build::scf) * lib::eta2_next(L3, M3, F, 1);
            if (L3 >= 2)
              b += lib::FSGA(L1, L2, L3 - 2, M1, M2, M3, F, lib::Build::scf) * lib::eta2_next(L3 - 2, M3, F, 1);
            worst = std::max({worst, std::fabs(g.FSGA(L1, L2, L3, M1, M2, M3) - a),
                              std::fabs(g.FSGB(L1, L2, L3, M1, M2, M3) - pi_fix * b)});
          }
  EXPECT_LT(worst, 1e-14);  // the coefficients are of order 0.1–0.3

  // Beyond the table (L up to 80, sums to 243!): Y(0,0) = 1/√(4π), and
  // η·Y(L,M) = a·Y(L+1,M) + …, Y(1,0) = √(3/4π)·η, so
  // G(L,1,L+1; M,0,M) = √(3/4π)·⟨L+1 M|η|L M⟩ and, with L2 = 0, the η²
  // coefficient is ⟨L3|η²|L1⟩/√(4π).
  const lib::ExactGaunt h(80, 2);
  for (int L : {40, 63, 78})
    for (int M : {0, 1, -2}) {
      EXPECT_NEAR(h.FSGA(L, 0, L, M, 0, M), 1.0 / std::sqrt(4 * kPi), 1e-14) << L << " " << M;
      EXPECT_NEAR(h.FSGA(L, 1, L + 1, M, 0, M), std::sqrt(3 / (4 * kPi)) * lib::eta_next(L, M, F, 1), 1e-14);
      EXPECT_NEAR(h.FSGB(L, 0, L, M, 0, M), lib::eta2_diagonal(L, M, F, 1) / std::sqrt(4 * kPi), 1e-14);
      EXPECT_NEAR(h.FSGB(L, 0, L + 2, M, 0, M), lib::eta2_next(L, M, F, 1) / std::sqrt(4 * kPi), 1e-14);
      EXPECT_EQ(h.FSGA(L, 1, L, M, 0, M), 0.0);  // odd L1 + L2 + L3
    }
  // A query outside the table is a fault of the caller: it stops.
  EXPECT_THROW(h.FSGA(81, 0, 81, 0, 0, 0), io::StopRun);
}

}  // namespace

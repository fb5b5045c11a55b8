// The table of angular coefficients returns, bit for bit, what the routines
// return, inside its range and out of it, and defers the stops of the
// routines to the queries that really need them.
#include "lib/gaunt_table.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "io/stop.hpp"

namespace {

using lib::Build;
using lib::Fac;

std::vector<double> factorials(int n) {
  std::vector<double> f(n + 1);
  lib::fill_factorials(n, lib::VecView<double, 0>(f.data(), n + 1));
  return f;
}

// Equal to the last bit, the sign of a zero included.
::testing::AssertionResult same_bits(double table, double call) {
  if (std::bit_cast<std::uint64_t>(table) == std::bit_cast<std::uint64_t>(call)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << table << " from the table, " << call << " from the call";
}

struct Range {
  Build b;
  int facts;  // factorial table 0 … facts
  int lmax, mmax;
};

TEST(GauntTable, EveryEntryIsTheRoutinesValue) {
  // The ground-state build with its 98! table and the photoionisation build
  // with its 80! table; the last range reaches beyond a 40! table (L1 + L2 +
  // L3 + 1 up to 52), so some entries are left to the routine.  Queries one
  // step beyond the range in momentum and projection go to the routine too.
  for (const Range r : {Range{Build::scf, 98, 12, 2}, Range{Build::photo, 80, 14, 3}, Range{Build::photo, 40, 16, 1}}) {
    const std::vector<double> f = factorials(r.facts);
    const Fac F(f.data(), r.facts + 1);
    const lib::GauntTable t(r.lmax, r.mmax, F, r.b);
    const int lq = r.lmax + 1, mq = r.mmax + 1;
    for (int M1 = -mq; M1 <= mq; ++M1)
      for (int M2 = -mq; M2 <= mq; ++M2)
        for (int L1 = 0; L1 <= lq; ++L1)
          for (int L2 = 0; L2 <= lq; ++L2)
            for (int L3 = 0; L3 <= lq; ++L3) {
              if (L1 + L2 + L3 + 3 > r.facts) continue;  // these stop the run; see below
              SCOPED_TRACE(::testing::Message() << "L " << L1 << ' ' << L2 << ' ' << L3 << " M " << M1 << ' ' << M2);
              ASSERT_TRUE(same_bits(t.wigner_3j(L1, L2, L3, M1, M2, -M1 - M2),
                                    lib::wigner_3j(L1, L2, L3, M1, M2, -M1 - M2, F, r.b)));
              ASSERT_TRUE(same_bits(t.gaunt_integral(L1, L2, L3, M1, M2, M1 + M2),
                                    lib::gaunt_integral(L1, L2, L3, M1, M2, M1 + M2, F, r.b)));
              ASSERT_TRUE(same_bits(t.gaunt_integral_eta2(L1, L2, L3, M1, M2, M1 + M2),
                                    lib::gaunt_integral_eta2(L1, L2, L3, M1, M2, M1 + M2, F, r.b)));
              // A third projection that breaks the selection rule: zero, of
              // the routine's sign.
              ASSERT_TRUE(same_bits(t.gaunt_integral(L1, L2, L3, M1, M2, M1 + M2 + 1),
                                    lib::gaunt_integral(L1, L2, L3, M1, M2, M1 + M2 + 1, F, r.b)));
              ASSERT_TRUE(same_bits(t.wigner_3j(L1, L2, L3, M1, M2, 1 - M1 - M2),
                                    lib::wigner_3j(L1, L2, L3, M1, M2, 1 - M1 - M2, F, r.b)));
            }
    for (int M = -mq; M <= mq; ++M)
      for (int L = 0; L <= lq; ++L) {
        SCOPED_TRACE(::testing::Message() << "L " << L << " M " << M);
        ASSERT_TRUE(same_bits(t.eta2_diagonal_from_gaunt(L, M), lib::eta2_diagonal_from_gaunt(L, M, F, r.b)));
        ASSERT_TRUE(same_bits(t.eta_next_from_gaunt(L, M), lib::eta_next_from_gaunt(L, M, F, r.b)));
        ASSERT_TRUE(same_bits(t.eta2_next_from_gaunt(L, M), lib::eta2_next_from_gaunt(L, M, F, r.b)));
      }
  }
}

TEST(GauntTable, StopsOnlyWhereTheRoutineStops) {
  // Momenta whose 3j symbols need more factorials than the table holds: the
  // table builds, its other entries answer, and the query itself stops the
  // run as the routine does.
  const std::vector<double> f = factorials(20);
  const Fac F(f.data(), 21);
  const lib::GauntTable t(10, 1, F);
  EXPECT_TRUE(same_bits(t.gaunt_integral(3, 2, 1, 1, 0, 1), lib::gaunt_integral(3, 2, 1, 1, 0, 1, F)));
  EXPECT_NE(t.gaunt_integral(3, 2, 1, 1, 0, 1), 0.0);
  EXPECT_THROW(t.gaunt_integral(10, 10, 10, 0, 0, 0), io::StopRun);
  EXPECT_THROW(t.wigner_3j(8, 7, 9, 1, -1, 0), io::StopRun);
  // Broken triangles need no factorials at all.
  EXPECT_EQ(t.wigner_3j(10, 0, 1, 0, 0, 0), 0.0);
}

}  // namespace

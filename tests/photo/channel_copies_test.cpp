#include "photo/channel_copies.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

// A channel of 2 energies × 2 solutions of 3 waves and one extra function
// (13 columns of NB = 4 rows) kept from a table of 4 rows and set back into
// one of 6: every word lands where the first read put it, and what lies
// past the words a read sets (rows past NB, columns past the channel, the
// continuum's second values) keeps what it held.
TEST(ChannelCopies, SetBackEveryWordAReadSetAndNothingElse) {
  photo::ChannelFiles ch;
  ch.NC = 2, ch.NL = 2, ch.ND = 1, ch.MN = {0, 1, 3};
  const int NB = 4, columns = 13;
  std::vector<int> LE{1, 7, 13, 14};
  std::vector<double> EE{0.5, 0.8, -0.1}, CN{0, 0, 1.0}, AC(12), AS(12), XE(4 * 14);
  std::iota(AC.begin(), AC.end(), 1.0);
  std::iota(AS.begin(), AS.end(), 100.0);
  std::iota(XE.begin(), XE.end(), 1000.0);
  photo::ChannelCopies copies(3);
  ASSERT_EQ(copies.described(1), nullptr);
  copies.keep(1, ch, {LE.data(), EE.data(), CN.data(), AC.data(), AS.data(), XE.data(), 4, NB});
  ASSERT_NE(copies.described(1), nullptr);
  EXPECT_EQ(copies.described(1)->NCU(), ch.NCU());
  EXPECT_EQ(copies.columns(1), columns);

  std::vector<int> le(5, -1);
  std::vector<double> ee(4, -1), cn(4, -1), ac(14, -1), as(14, -1), xe(6 * 15, -1);
  ASSERT_TRUE(copies.restore(1, {le.data(), ee.data(), cn.data(), ac.data(), as.data(), xe.data(), 6, NB}));
  EXPECT_EQ(std::vector<int>(le.begin(), le.begin() + 4), LE);
  EXPECT_EQ(le[4], -1);
  EXPECT_EQ(std::vector<double>(ee.begin(), ee.begin() + 3), EE);
  EXPECT_EQ(cn[0], -1);
  EXPECT_EQ(cn[2], 1.0);
  EXPECT_EQ(std::vector<double>(ac.begin(), ac.begin() + 12), AC);
  EXPECT_EQ(as[11], AS[11]);
  EXPECT_EQ(ac[12], -1);
  for (int j = 0; j < 15; ++j)
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(xe[static_cast<size_t>(i + 6 * j)], i < NB && j < columns ? XE[static_cast<size_t>(i + 4 * j)] : -1)
          << "row " << i << " column " << j;
}

}  // namespace

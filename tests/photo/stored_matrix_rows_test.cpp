// The RPA matrix rows of the continuum data file: written with 17 digits
// they read back to the same bits, the mirrored block of two channels takes
// the ratio of their multiplicities, and a file without the rows stops the
// run instead of reading the next records as numbers.
#include "photo/stored_matrix_rows.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "io/stop.hpp"
#include "io/unit.hpp"

namespace {

// A matrix of order n with values of every magnitude and sign, none of them
// short in decimal.
std::vector<double> random_matrix(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::vector<double> a(static_cast<size_t>(n) * n);
  for (double& x : a) x = mantissa(rng) * std::pow(10.0, exponent(rng));
  return a;
}

// Both blocks of a pair of channels, and the pair of one channel with
// itself: the rows come back exactly; for two channels the mirrored block
// is the stored one times the factor, for one channel nothing else moves.
TEST(StoredMatrixRows, RowsReadBackToTheBitAndFillTheMirroredBlock) {
  struct Case {
    const char* what;
    photo::PairBlock block;
    int ICH, JCH;
    double mirror;
  };
  const int n = 14;
  const std::vector<Case> cases{{"two channels", {0, 2, 4, 5}, 1, 2, 2.0},
                                {"one channel", {4, 5, 4, 5}, 2, 2, 1.0},
                                {"two channels, halved mirror", {0, 2, 4, 5}, 1, 2, 0.5}};
  for (const Case& c : cases) {
    std::vector<double> a = random_matrix(n, 7);
    const lib::Mat A(a.data(), n, n);
    auto out = io::Unit::to_text("rows");
    photo::write_matrix_rows(*out, A, c.block);

    std::vector<double> b(static_cast<size_t>(n) * n, 0.0);
    const lib::Mat B(b.data(), n, n);
    auto in = io::Unit::from_text("rows", out->text());
    photo::read_matrix_rows(*in, B, c.ICH, c.JCH, c.block, c.mirror);
    const photo::PairBlock& k = c.block;
    int set = 0;
    for (int I = 1; I <= 2 * k.nz2_i; ++I) {
      for (int J = 1; J <= 2 * k.nz2_j; ++J) {
        EXPECT_EQ(B(k.nz0_j + J, k.nz0_i + I), A(k.nz0_j + J, k.nz0_i + I)) << c.what;
        if (c.ICH != c.JCH) {
          EXPECT_EQ(B(k.nz0_i + I, k.nz0_j + J), c.mirror * A(k.nz0_j + J, k.nz0_i + I)) << c.what;
        }
      }
    }
    for (double x : b) set += x != 0.0;
    EXPECT_EQ(set, (c.ICH != c.JCH ? 2 : 1) * 4 * k.nz2_i * k.nz2_j) << c.what;
  }
}

// Five values to a record, a row of 2·NZ2 values starting a new record: a
// row of six values takes two records, the second of one value; rows of
// nine significant digits read as well.
TEST(StoredMatrixRows, RecordsOfFiveAndNineDigitFilesAreRead) {
  std::vector<double> a = random_matrix(7, 3);
  const lib::Mat A(a.data(), 7, 7);
  auto out = io::Unit::to_text("rows");
  photo::write_matrix_rows(*out, A, {0, 1, 0, 3});
  const std::string text = out->text();
  std::vector<size_t> widths;
  for (size_t from = 0, to; from < text.size(); from = to + 1) {
    to = text.find('\n', from);
    widths.push_back(to - from);
  }
  EXPECT_EQ(widths, (std::vector<size_t>{125, 25, 125, 25}));

  const std::string nine = "   0.100000000E+01   0.200000000E+01\n  -0.300000000E-01   0.400000000E+00\n";
  std::vector<double> b(4, 0.0);
  auto in = io::Unit::from_text("rows", nine);
  photo::read_matrix_rows(*in, lib::Mat(b.data(), 2, 2), 1, 1, {0, 1, 0, 1}, 1.0);
  const std::vector<double> want{1.0, 2.0, -0.03, 0.4};
  for (size_t k = 0; k < want.size(); ++k) EXPECT_DOUBLE_EQ(b[k], want[k]);
}

// A pair record, an energy record or the end of the file where a row is
// expected: the run stops naming the channels and how to write the rows.
TEST(StoredMatrixRows, MissingRowsStopTheRunSayingHowToWriteThem) {
  for (const char* text : {"    3    3\n", "               0.12500000E+00\n", ""}) {
    std::vector<double> b(36, 0.0);
    auto in = io::Unit::from_text("data", text);
    try {
      photo::read_matrix_rows(*in, lib::Mat(b.data(), 6, 6), 1, 2, {0, 1, 2, 2}, 1.0);
      ADD_FAILURE() << "read '" << text << "' as matrix rows";
    } catch (const io::StopRun& s) {
      EXPECT_NE(s.message().find("rows of channels 1, 2 are missing"), std::string::npos) << s.message();
      EXPECT_NE(s.message().find("IWM = 1"), std::string::npos) << s.message();
    }
  }
}

}  // namespace

// The orbital file: exact layout, round trip, and blocks that do not fit.
#include "lib/orbital_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "io/stop.hpp"
#include "io/unit.hpp"

namespace {

using lib::CIMat;
using lib::CIVec;
using lib::CMat;
using lib::CVec;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) v.push_back(l);
  return v;
}

struct Block {
  int nb;
  std::vector<int> mln;  // (3, nsh)
  std::vector<int> lk;
  std::vector<double> e, cn, x;
  Block(int nb_, std::vector<int> counts) : nb(nb_) {
    int col = 1;
    for (int n : counts) {
      mln.insert(mln.end(), {0, 0, n});
      lk.push_back(col);
      col += n;
      e.push_back(-0.5 * static_cast<double>(lk.size()));
      cn.push_back(1.0 + 0.125 * static_cast<double>(lk.size()));
    }
    lk.push_back(col);
    x.resize(static_cast<size_t>(nb) * static_cast<size_t>(col - 1));
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.37 * static_cast<double>(i) + 0.1) * std::exp(-0.01 * i);
  }
  int nsh() const { return static_cast<int>(e.size()); }
  int cols() const { return lk.back() - 1; }
  std::string write() const {
    auto u = io::Unit::to_text("orbitals");
    lib::write_orbital_block(nsh(), nb, CIMat(mln.data(), 3, nsh()), CIVec(lk.data(), nsh() + 1), CVec(e.data(), nsh()),
                             CVec(cn.data(), nsh()), CMat(x.data(), nb, cols()), *u);
    return u->text();
  }
};

TEST(OrbitalFile, LayoutOfHeaderShellLinesAndDataLines) {
  Block b(401, {3, 1});
  auto l = lines(b.write());
  EXPECT_EQ(l[0], "    2       401");
  EXPECT_EQ(l[1], "     1    3");
  EXPECT_EQ(l[2], "    -0.500000000E+00     0.112500000E+01");
  // 401 values: 80 full lines and one line with a single value, per wave.
  EXPECT_EQ(l[3].size(), 80u);
  EXPECT_EQ(l[3 + 80].size(), 16u);
  EXPECT_EQ(l[3 + 81].size(), 80u);  // the next wave starts on a new line
  EXPECT_EQ(l.size(), 1u + 2 * 2 + 4 * 81);
}

TEST(OrbitalFile, EmptyBlocksAndLineBreaksAtFiveValues) {
  EXPECT_EQ(lines(Block(5, {}).write()), std::vector<std::string>{"    0         5"});
  auto five = lines(Block(5, {1}).write());
  EXPECT_EQ(five.size(), 4u);  // header, two shell lines, one full data line
  auto six = lines(Block(6, {1}).write());
  ASSERT_EQ(six.size(), 5u);
  EXPECT_EQ(six[4].size(), 16u);
  auto none = lines(Block(5, {0}).write());
  EXPECT_EQ(none.size(), 3u);  // a shell without partial waves has only its shell lines

  // Reading a file with no shells changes nothing.
  std::vector<int> lk{1};
  std::vector<double> e{7.0}, cn{7.0}, x(5, 7.0);
  auto u = io::Unit::from_text("o", "    0         5\n");
  lib::read_orbital_block(5, CIVec(lk.data(), 1), lib::Vec(e.data(), 1), lib::Vec(cn.data(), 1),
                          lib::Mat(x.data(), 5, 1), *u);
  EXPECT_EQ(e[0], 7.0);
  EXPECT_EQ(x, std::vector<double>(5, 7.0));
}

TEST(OrbitalFile, RoundTripKeepsNineDigitsAndTinyTails) {
  Block b(7, {2, 1});
  b.x[3] = 1.234567891e-150;  // written without the letter E
  b.x[4] = -9.87654321e-101;
  b.x[5] = 0.0;
  std::string text = b.write();
  EXPECT_NE(text.find("0.123456789-149"), std::string::npos);
  EXPECT_NE(text.find("-0.987654321-100"), std::string::npos);

  // Nine significant digits: the rounding error is at most half a unit in the
  // ninth digit.  Shell numbers on the shell lines are not used by the reader.
  text.replace(text.find("     1    2"), 11, "    17    2");
  std::vector<double> e(2), cn(2), x(b.x.size(), -1.0);
  auto u = io::Unit::from_text("o", text);
  lib::read_orbital_block(7, CIVec(b.lk.data(), 3), lib::Vec(e.data(), 2), lib::Vec(cn.data(), 2),
                          lib::Mat(x.data(), 7, 3), *u);
  EXPECT_EQ(e, b.e);
  EXPECT_EQ(cn, b.cn);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], b.x[i], 5e-9 * std::fabs(b.x[i])) << i;
  EXPECT_EQ(x[3], 1.23456789e-150);
}

TEST(OrbitalFile, ABlockThatDoesNotFitStopsBeforeWritingPastTheArrays) {
  std::string text = Block(6, {2, 1}).write();
  std::vector<int> lk{1, 3, 4};
  std::vector<double> e(2), cn(2), x(5 * 3, 0.0);
  auto u = io::Unit::from_text("o", text);
  // Six values per function on a five-point grid.
  EXPECT_THROW(lib::read_orbital_block(5, CIVec(lk.data(), 3), lib::Vec(e.data(), 2), lib::Vec(cn.data(), 2),
                                       lib::Mat(x.data(), 5, 3), *u),
               io::StopRun);
  // Two shells where the caller has room for one.
  auto v = io::Unit::from_text("o", text);
  std::vector<double> y(6 * 3);
  EXPECT_THROW(lib::read_orbital_block(6, CIVec(lk.data(), 1), lib::Vec(e.data(), 1), lib::Vec(cn.data(), 1),
                                       lib::Mat(y.data(), 6, 3), *v),
               io::StopRun);
  // Partial waves beyond the caller's columns.
  auto w = io::Unit::from_text("o", text);
  EXPECT_THROW(lib::read_orbital_block(6, CIVec(lk.data(), 3), lib::Vec(e.data(), 2), lib::Vec(cn.data(), 2),
                                       lib::Mat(y.data(), 6, 2), *w),
               io::StopRun);
}

}  // namespace

// The channel file: its records written by the library's writer and read by
// its reader, each against the layout written out field by field here.
#include "lib/channel_file.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/views.hpp"
#include "support/dense.hpp"

namespace {

using ref::Dense;

// One energy block in the channel-file layout, written field by field.
std::string e_field(double v, int w, int d, bool three_digit) {
  char m[64];
  std::snprintf(m, sizeof m, "%.*e", d - 1, std::fabs(v));  // d.ddd e±xx
  const std::string t = m;
  const size_t e = t.find('e');
  const int ex = std::stoi(t.substr(e + 1)) + (v != 0.0);
  std::string digits = t.substr(0, 1) + t.substr(2, e - 2);
  std::string s = (v < 0 ? "-0." : "0.") + digits;
  char x[16];
  if (three_digit) {
    std::snprintf(x, sizeof x, "%c%03d", ex < 0 ? '-' : '+', std::abs(ex));
  } else {
    std::snprintf(x, sizeof x, "E%c%02d", ex < 0 ? '-' : '+', std::abs(ex));
  }
  s += x;
  return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

std::string channel_block(int nl, int nx, int nb, double ec, const std::vector<double>& ac,
                          const std::vector<double>& as, const std::vector<double>& x, bool three_digit) {
  char h[64];
  std::snprintf(h, sizeof h, "%5d     %5d     ", nl, nx);
  std::string s = h + e_field(ec, 16, 9, false) + "\n";
  const auto rows = [&](const double* v, int n, int per, int w, int d) {
    std::string r;
    for (int k = 0; k < n; ++k) {
      r += e_field(v[k], w, d, three_digit);
      if ((k + 1) % per == 0 || k + 1 == n) r += "\n";
    }
    if (n == 0) r += "\n";
    return r;
  };
  for (int jl = 0; jl < nl; ++jl) {
    std::snprintf(h, sizeof h, "%7d\n", jl + 1);
    s += h;
    s += rows(ac.data() + jl * nx, nx, 4, 15, 6);
    s += rows(as.data() + jl * nx, nx, 4, 15, 6);
    for (int k = 0; k < nx; ++k) s += rows(x.data() + (jl * nx + k) * nb, nb, 5, 16, 9);
  }
  return s;
}

TEST(EnergyBlock, ReadsAnEnergyBlockWithEitherExponentForm) {
  const int nl = 2, nx = 5, nb = 7;
  std::vector<double> ac(nl * nx), as(nl * nx), x(nl * nx * nb);
  for (size_t k = 0; k < ac.size(); ++k) {
    ac[k] = 0.125 * (k + 1) * (k % 2 ? -1 : 1);
    as[k] = 1.5e-3 * (k + 2);
  }
  for (size_t k = 0; k < x.size(); ++k) {
    x[k] = (k % 3 ? 1.0 : -1.0) * 0.123456789 * std::pow(10.0, static_cast<int>(k % 5) - 2);
  }
  for (bool three : {false, true}) {
    if (three) x[3] = 0.5e-120, x[8] = -0.25e105;  // exponents of three digits
    const std::string block = channel_block(nl, nx, nb, 0.75, ac, as, x, three);
    auto unit = io::Unit::from_text("chan.dat", block + block, 21);
    for (int rep = 0; rep < 2; ++rep) {
      int NL = 0, NX = nx;
      double EC = 0;
      std::vector<double> AC(20, -9.0), AS(20, -9.0);
      Dense<double> X(nb, 12, -9.0);
      lib::read_energy_block(nb, NL, NX, EC, lib::Vec(AC.data(), 20), lib::Vec(AS.data(), 20), X.view(), *unit);
      EXPECT_EQ(NL, nl);
      EXPECT_EQ(NX, nx);
      EXPECT_DOUBLE_EQ(EC, 0.75);
      for (int k = 0; k < nl * nx; ++k) {
        EXPECT_NEAR(AC[k], ac[k], 1e-6 * std::fabs(ac[k]));
        EXPECT_NEAR(AS[k], as[k], 1e-6 * std::fabs(as[k]));
      }
      EXPECT_EQ(AC[nl * nx], -9.0);
      for (int c = 1; c <= nl * nx; ++c) {
        for (int i = 1; i <= nb; ++i) {
          const double want = x[(c - 1) * nb + i - 1];
          EXPECT_NEAR(X(i, c), want, 1e-9 * std::fabs(want)) << "column " << c << " point " << i;
        }
      }
      EXPECT_EQ(X(1, nl * nx + 1), -9.0);
    }
  }
}

TEST(EnergyBlock, EmptyAmplitudeRecordsAndOverlappingLayoutsAreHandled) {
  // NX = 0: each amplitude read still takes its record, and no columns follow.
  {
    auto unit = io::Unit::from_text("chan.dat", channel_block(1, 0, 3, -0.5, {}, {}, {}, false) + "    7\n", 21);
    int NL = 0, NX = 0;
    double EC = 0;
    std::vector<double> AC(4, 1.0), AS(4, 1.0);
    Dense<double> X(3, 2, 1.0);
    lib::read_energy_block(3, NL, NX, EC, lib::Vec(AC.data(), 4), lib::Vec(AS.data(), 4), X.view(), *unit);
    EXPECT_EQ(NL, 1);
    EXPECT_EQ(NX, 0);
    EXPECT_EQ(AC[0], 1.0);
    std::string next;
    ASSERT_TRUE(unit->next_record(next));
    EXPECT_EQ(next, "    7");
  }
  // Three waves per solution read into tables laid out for two: the second
  // solution would overwrite the first one's amplitudes.
  {
    std::vector<double> a(6, 0.5), xs(18, 0.25);
    auto unit = io::Unit::from_text("chan.dat", channel_block(2, 3, 3, 1.0, a, a, xs, false), 21);
    int NL = 0, NX = 2;
    double EC = 0;
    std::vector<double> AC(10), AS(10);
    Dense<double> X(3, 10);
    EXPECT_THROW(
        lib::read_energy_block(3, NL, NX, EC, lib::Vec(AC.data(), 10), lib::Vec(AS.data(), 10), X.view(), *unit),
        io::StopRun);
  }
}

// The writer's records are the field-by-field layout, and the header and
// the blocks it writes read back through the reader: amplitudes to six
// digits, energies and radial values to nine.
TEST(ChannelFile, WriterGivesTheLayoutAndTheReaderTakesItBack) {
  const int nl = 3, nx = 2, nb = 6;
  std::vector<double> ac(nl * nx), as(nl * nx), x(nl * nx * nb);
  for (size_t k = 0; k < ac.size(); ++k) {
    ac[k] = std::cos(0.7 * static_cast<double>(k)) * (k == 2 ? 1e-7 : 1.0);
    as[k] = std::sin(0.7 * static_cast<double>(k) + 0.2);
  }
  for (size_t k = 0; k < x.size(); ++k) x[k] = std::exp(-0.3 * static_cast<double>(k)) * (k % 4 ? 1.0 : -1.0);
  auto out = io::Unit::to_text("c.chn");
  lib::write_channel_header(*out, lib::ChannelHeader{2, 0.25, 0.125, 2, {1, 1, nx}});
  for (double e : {0.03125, 1.28125}) {
    lib::write_energy_block(*out, nb, nl, nx, e, lib::CVec(ac.data(), nl * nx), lib::CVec(as.data(), nl * nx),
                            lib::CMat(x.data(), nb, nl * nx));
  }
  const std::string text = out->text();
  const std::string blocks =
      channel_block(nl, nx, nb, 0.03125, ac, as, x, false) + channel_block(nl, nx, nb, 1.28125, ac, as, x, false);
  ASSERT_GE(text.size(), blocks.size());
  EXPECT_EQ(text.substr(text.size() - blocks.size()), blocks);
  // Before the blocks: the list-directed record, then NC and the final state.
  const std::string head = text.substr(0, text.size() - blocks.size());
  const size_t first = head.find('\n');
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(head.substr(first + 1), "    2\n   1   1   2\n");

  auto in = io::Unit::from_text("c.chn", text, 21);
  const lib::ChannelHeader h = lib::read_channel_header(*in);
  EXPECT_EQ(h.NSI, 2);
  EXPECT_EQ(h.P0, 0.25);
  EXPECT_EQ(h.DP, 0.125);
  EXPECT_EQ(h.NC, 2);
  EXPECT_EQ(h.MN, (std::array<int, 3>{1, 1, nx}));
  for (double e : {0.03125, 1.28125}) {
    int NL = 0, NX = nx;
    double EC = 0.0;
    std::vector<double> AC(nl * nx), AS(nl * nx);
    Dense<double> X(nb, nl * nx);
    lib::read_energy_block(nb, NL, NX, EC, lib::Vec(AC.data(), nl * nx), lib::Vec(AS.data(), nl * nx), X.view(), *in);
    EXPECT_EQ(NL, nl);
    EXPECT_EQ(NX, nx);
    EXPECT_EQ(EC, e);
    for (int k = 0; k < nl * nx; ++k) {
      EXPECT_NEAR(AC[k], ac[k], 5e-6 * std::fabs(ac[k]));
      EXPECT_NEAR(AS[k], as[k], 5e-6 * std::fabs(as[k]));
    }
    for (int c = 1; c <= nl * nx; ++c)
      for (int i = 1; i <= nb; ++i)
        EXPECT_NEAR(X(i, c), x[(c - 1) * nb + i - 1], 5e-9 * std::fabs(x[(c - 1) * nb + i - 1]));
  }
}

}  // namespace

// Input that does not fit: every reader refuses it with a stop that names
// the file and what is wrong, never with a crash, a hang or a quiet guess;
// output that cannot be written is a stop too.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/namelist.hpp"
#include "io/stop.hpp"

namespace {

struct Control {
  int MI0 = 0;
  std::array<int, 7> MI{};
  std::array<double, 10> RP{};
  double EPS = 0;
  std::string FIL;
  io::Group group() {
    io::Group g("D00");
    g.add("MI0", MI0).add("MI", MI.data(), {7}).add("RP", RP.data(), {10}).add("EPS", EPS).add("FIL", FIL, 15);
    return g;
  }
};

// The message of the stop that reading `text` ends in ("" when it reads).
template <class F>
std::string stop_of(F&& f) {
  try {
    f();
  } catch (const io::StopRun& s) {
    EXPECT_EQ(s.status(), 1);
    return s.message();
  }
  return "";
}

std::string group_stop(const std::string& text) {
  Control c;
  auto u = io::Unit::from_text("Dp_Data.dsc", text);
  return stop_of([&] { c.group().read(*u); });
}

TEST(BadGroupInput, ValuesThatDoNotFitTheirVariableAreRefusedByName) {
  struct Case {
    std::string text, variable, why;
  } cases[] = {
      {"&D00 MI0 = 2147483648 /", "MI0", "between -2147483648 and 2147483647"},
      {"&D00 MI0 = -2147483649 /", "MI0", "between"},
      {"&D00 MI = 2147483648*0 /", "MI", "repeat count"},
      {"&D00 MI = 99999999999999999999*0 /", "MI", "repeat count"},
      {"&D00 MI = 0*5 /", "MI", "repeat count"},
      {"&D00 EPS = 1.0D+999 /", "EPS", "range of double"},
      {"&D00 EPS = -1E400 /", "EPS", "range of double"},
      {"&D00 RP = 1.01, NaN /", "RP", "'NAN' is not a value"},
      {"&D00 RP = 1.01, Inf /", "RP", "finite"},
      {"&D00 EPS = NaN /", "EPS", "not a number"},
      {std::string("&D00 FIL = 'a.lst\0b' /", 22), "FIL", "NUL"},
      {std::string("&D00 \0 /", 8), "", "code 0"},
  };
  for (const auto& k : cases) {
    const std::string m = group_stop(k.text);
    EXPECT_NE(m.find("Dp_Data.dsc"), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find("&D00"), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find(k.variable), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find(k.why), std::string::npos) << k.text << " -> " << m;
  }
  // The largest values that fit are read.
  Control c;
  auto u = io::Unit::from_text("Dp_Data.dsc", "&D00 MI0 = -2147483648, MI = 2*2147483647, EPS = 1.7D308 /");
  c.group().read(*u);
  EXPECT_EQ(c.MI0, -2147483647 - 1);
  EXPECT_EQ(c.MI[1], 2147483647);
  EXPECT_EQ(c.EPS, 1.7e308);
}

TEST(BadListInput, CountsAndValuesThatDoNotFitAreRefused) {
  struct Case {
    const char* text;
    const char* why;
  } cases[] = {
      {"11111111111*1 2 3", "repeat count"}, {"0*1 2 3", "repeat count"},  {"2147483648*'x' 2 3", "repeat count"},
      {"2147483648 2 3", "integer"},         {"1 1E400 3", "finite real"}, {"1 2 nan", "finite real"},
  };
  for (const auto& k : cases) {
    auto u = io::Unit::from_text("chan.dat", k.text);
    int n = 0;
    double a = 0, b = 0;
    const std::string m = stop_of([&] { io::lread(*u, n, a, b); });
    EXPECT_NE(m.find("chan.dat"), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find(k.why), std::string::npos) << k.text << " -> " << m;
  }
  auto u = io::Unit::from_text("names", std::string("'a\0b'", 5));
  std::string s;
  EXPECT_NE(stop_of([&] { io::lread(*u, s); }).find("NUL"), std::string::npos);
}

TEST(FormatEngine, FormatsThatCouldLoopOrOverflowAreRefusedWhenParsed) {
  for (const char* f : {"(0E15.9)", "(0(I5))", "(E15.0)", "(D9.0)", "(I0)", "(F0.1)", "(A0)", "(I5.6)",
                        "(99999999999I5)", "(I99999999999)", "((((((((((((((((((I5))))))))))))))))))", "(I5"}) {
    EXPECT_THROW(io::Format{f}, std::invalid_argument) << f;
  }
  // Nested counts that would write a record without end stop the run.
  io::Format huge("(9999(9999(9999(' '))))");
  EXPECT_THROW(huge.write({}), io::StopRun);
  io::Format skips("(9999(9999(9999X)),I5)");
  auto u = io::Unit::from_text("x", "1\n");
  int n = 0;
  EXPECT_THROW(io::fread(*u, skips, n), io::StopRun);
}

TEST(FormatEngine, EveryWrittenFieldReadsBackOrIsAsterisks) {
  struct Case {
    double v;
    int w, d;
    char kind;
    const char* text;
  } cases[] = {
      {0.3, 1, 0, 'F', "*"},  // "0." would lose its digit
      {-0.3, 2, 0, 'F', "**"},
      {0.04, 2, 1, 'F', ".0"},
      {5.0, 2, 0, 'F', "5."},
      {1e200, 5, 1, 'E', "*****"},
      {1e200, 6, 1, 'E', ".1+201"},
      {1e200, 7, 1, 'E', "0.1+201"},
      {1.0, 20, 9999, 'F', "********************"},  // long conversions stay in bounds
      {1.0, 20, 9999, 'E', "********************"},
  };
  for (const auto& k : cases) {
    const std::string s = k.kind == 'F' ? io::edit_F(k.v, k.w, k.d) : io::edit_E(k.v, k.w, k.d);
    EXPECT_EQ(s, k.text) << k.v << " " << k.kind << k.w << "." << k.d;
    double back = 0;
    if (s[0] != '*') {
      EXPECT_TRUE(io::parse_real_field(s, 0, back)) << s;
    }
  }
  double v = 0;
  EXPECT_FALSE(io::parse_real_field("0.1E+400", 0, v));  // beyond double precision
  EXPECT_FALSE(io::parse_real_field("-9.9+99999", 0, v));
  // Every field reads as the correctly rounded value of its digits: blanks
  // anywhere, implied decimals, D exponents, subnormals and underflow, and a
  // field longer than the reading buffer.
  const std::string many = "0." + std::string(150, '3') + "D+01";
  const struct {
    const char* field;
    int d;
    double want;
  } exact[] = {{" 1 2 3 ", 2, 1.23},      {".5", 0, 0.5},
               {"-5.", 0, -5.0},          {"+0.12345678901234567D-02", 0, 0.12345678901234567e-2},
               {"0.1E-310", 0, 0.1e-310}, {"1.0-999", 0, 0.0},
               {"7+3", 1, 700.0}},
    exact_many{many.c_str(), 0, std::strtod(("0." + std::string(150, '3') + "e1").c_str(), nullptr)};
  for (const auto& k : exact) {
    EXPECT_TRUE(io::parse_real_field(k.field, k.d, v)) << k.field;
    EXPECT_EQ(v, k.want) << k.field;
  }
  EXPECT_TRUE(io::parse_real_field(exact_many.field, 0, v));
  EXPECT_EQ(v, exact_many.want);
}

TEST(FormatEngine, OwnDataFilesRefuseTruncatedAndBlankFields) {
  const io::Format f("(5E16.9)");
  struct Case {
    const char* text;
    const char* why;
  } cases[] = {
      {" 0.123456789E+00-0.529039", "truncated"},
      {" 0.123456789E+00                ", "blank field"},
      {" 0.123456789E+00", "truncated"},
  };
  for (const auto& k : cases) {
    auto u = io::Unit::from_text("orbitals.dat", k.text);
    u->require_whole_fields();
    std::array<double, 2> x{};
    const std::string m = stop_of([&] { io::fread(*u, f, x); });
    EXPECT_NE(m.find("orbitals.dat"), std::string::npos) << m;
    EXPECT_NE(m.find(k.why), std::string::npos) << k.text << " -> " << m;
    // Hand-written input keeps the blank padding of formatted records.
    auto lax = io::Unit::from_text("input.dat", k.text);
    EXPECT_NO_THROW(io::fread(*lax, f, x)) << k.text;
  }
}

TEST(OutputUnits, AFullDiskIsAStopNamingTheFile) {
  std::ifstream probe("/dev/full");
  if (!probe) GTEST_SKIP() << "no /dev/full";
  auto out = std::make_unique<std::ofstream>("/dev/full");
  io::Unit u(10, "n2.lst", io::Unit::Mode::write, nullptr, std::move(out));
  // The stream buffers: the loss shows at the latest when the unit is closed.
  const std::string m = stop_of([&] {
    u.write_record(" HARTREE-FOCK");
    u.close();
  });
  EXPECT_NE(m.find("'n2.lst' (unit 10)"), std::string::npos) << m;
  EXPECT_NE(m.find("No space left on device"), std::string::npos) << m;
}

TEST(ProgramStop, AnyExceptionEndsAsAStopWithMessage) {
  struct Case {
    std::function<void()> body;
    const char* said;
  } cases[] = {
      {[] { throw std::length_error("vector"); }, "vector"},
      {[] { throw std::bad_alloc(); }, "memory"},
      {[] { throw 42; }, "unexpected"},
      {[] { io::Format f("(0E15.9)"); }, "zero repeat count"},
  };
  for (const auto& k : cases) {
    std::ostringstream out;
    std::istringstream in;
    int status = 0;
    {
      io::ConsoleRedirect r(&in, &out);
      status = io::run_program(k.body);
    }
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.str().find(k.said), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(std::string(io::kStopLine) + "\n"), std::string::npos) << out.str();
  }
}

}  // namespace

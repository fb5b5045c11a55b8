// Named-group records as people write them, and as the programs write them
// back.
#include "io/namelist.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/list_directed.hpp"
#include "io/stop.hpp"

namespace {

// A group shaped like the ground-state control group.
struct Control {
  double Z1 = 0, RZ = 0, EPS = 0;
  int NSH = 0;
  std::array<int, 48> MLN{};
  std::array<double, 256> AHF{};
  std::array<std::string, 10> FIR{};
  std::string FIL;
  io::Group group() {
    io::Group g("D00");
    g.add("Z1", Z1).add("RZ", RZ).add("NSH", NSH).add("MLN", MLN.data(), {3, 16});
    g.add("AHF", AHF.data(), {16, 16}).add("EPS", EPS).add("FIL", FIL, 15).add("FIR", FIR.data(), 12, {10});
    return g;
  }
};

std::string stop_message(Control& c, const std::string& text) {
  auto u = io::Unit::from_text("Dp_Data.dsc", text);
  try {
    c.group().read(*u);
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.status(), 0);
    return s.message();
  }
  return "";
}

TEST(NamedGroupInput, AcceptsTheUsualSyntaxOfControlFiles) {
  Control c;
  c.RZ = 9.0;  // not named below: keeps its value
  auto u = io::Unit::from_text("Dp_Data.dsc",
                               "&D00I MI0=0 /\n"
                               " &d00  z1 = 7.0D0, nsh=2,  ! a comment, with = signs\n"
                               "   MLN(1,2)=1, mln(2:3,1)=4*5\n"  // too many for the section? no: see below
                               "   AHF = 3*2.0, , 1.5d-1\n"
                               "   EPS=1.0D-6 FIL='n2.lst' FIR(2)=\"x'y.dat\"\n"
                               " &END\n"
                               "after\n");
  std::string message;
  try {
    c.group().read(*u);
  } catch (const io::StopRun& s) {
    message = s.message();
  }
  // mln(2:3,1) has two elements: four values are too many, and the message
  // names file, group and variable.
  EXPECT_NE(message.find("Dp_Data.dsc"), std::string::npos) << message;
  EXPECT_NE(message.find("&D00"), std::string::npos) << message;
  EXPECT_NE(message.find("MLN"), std::string::npos) << message;

  Control d;
  d.RZ = 9.0;
  d.AHF[3] = -4.0;
  auto v = io::Unit::from_text("Dp_Data.dsc",
                               "&D00I MI0=0 /\n"
                               " &d00  z1 = 7.0D0, nsh=2,  ! a comment, with = signs\n"
                               "   MLN(1,2)=1, mln(2:3,1)=2*5\n"
                               "   AHF = 3*2.0, , 1.5d-1\n"
                               "   EPS=1.0D-6 FIL='n2.lst' FIR(2)=\"x'y.dat\"\n"
                               " &END\n"
                               "after\n");
  d.group().read(*v);
  EXPECT_EQ(d.Z1, 7.0);
  EXPECT_EQ(d.RZ, 9.0);
  EXPECT_EQ(d.NSH, 2);
  EXPECT_EQ(d.MLN[3], 1);
  EXPECT_EQ(d.MLN[1], 5);
  EXPECT_EQ(d.MLN[2], 5);
  EXPECT_EQ(d.AHF[0], 2.0);
  EXPECT_EQ(d.AHF[2], 2.0);
  EXPECT_EQ(d.AHF[3], -4.0);  // null value between the commas
  EXPECT_EQ(d.AHF[4], 0.15);
  EXPECT_EQ(d.EPS, 1.0e-6);
  EXPECT_EQ(d.FIL, "n2.lst");
  EXPECT_EQ(d.FIR[1], "x'y.dat");
  // The unit stands after the terminator's record.
  std::string next;
  ASSERT_TRUE(v->next_record(next));
  EXPECT_EQ(next, "after");
}

TEST(NamedGroupInput, BadInputStopsNamingFileGroupAndVariable) {
  struct Case {
    const char* text;
    const char* variable;
    const char* why;
  } cases[] = {
      {"&D00 ZZ=1.0 /", "ZZ", "no variable"},
      {"&D00 NSH=1.5 /", "NSH", "not an integer"},
      {"&D00 Z1='a' /", "Z1", "not a real"},
      {"&D00 MLN(4,1)=1 /", "MLN", "out of range"},
      {"&D00 MLN(1,17)=1 /", "MLN", "out of range"},
      {"&D00 MLN(1)=1 /", "MLN", "indices"},
      {"&D00 FIL='a_name_longer_than_15' /", "FIL", "longer than 15"},
      {"&D00 FIL=n2.lst /", "FIL", "quoted"},
      {"&D00 NSH=1\n", "", "end of file"},
      {"&OTHER NSH=1 /\n", "", "not found"},
  };
  for (const auto& k : cases) {
    Control c;
    std::string m = stop_message(c, k.text);
    EXPECT_NE(m.find("Dp_Data.dsc"), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find("D00"), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find(k.variable), std::string::npos) << k.text << " -> " << m;
    EXPECT_NE(m.find(k.why), std::string::npos) << k.text << " -> " << m;
  }
}

// By default the last value given to a variable wins and text lengths count
// bytes (every program's reading); a group may take one value per element,
// naming both records of a second one, and count UTF-8 characters.
TEST(NamedGroupInput, StricterRulesTakeOneValueAnElementAndCountCharacters) {
  double tol = 0;
  std::array<double, 3> rz{};
  std::string tit;
  auto read = [&](const std::string& text, io::ReadRules rules) {
    io::Group g("MOL");
    g.add("TOL", tol).add("RZ", rz.data(), {3}).add("TIT", tit, 5).rules(rules);
    auto u = io::Unit::from_text("c.mol", text);
    g.read(*u);
    return g.named();
  };
  EXPECT_EQ(read("&MOL TOL = 1e-6,\n TOL = 1e-7 /", {}).size(), 1u);
  EXPECT_EQ(tol, 1e-7);
  const io::ReadRules strict{true, true};
  try {
    read("&MOL TOL = 1e-6,\n RZ = 1.0\n TOL = 1e-7 /", strict);
    ADD_FAILURE() << "a second TOL was taken";
  } catch (const io::StopRun& s) {
    EXPECT_NE(
        s.message().find("c.mol', record 3, group &MOL, variable TOL: TOL is given twice, in record 1 and again in "
                         "record 3"),
        std::string::npos)
        << s.message();
  }
  // Distinct elements are not a repeat; the same element is, however addressed.
  EXPECT_EQ(read("&MOL RZ = 1.0, 2.0, RZ(3) = 3.0 /", strict), (std::vector<std::string>{"RZ"}));
  EXPECT_THROW(read("&MOL RZ = 1.0, 2.0, RZ(2) = 3.0 /", strict), io::StopRun);
  // Five characters of ten bytes: too long as bytes, taken as characters.
  EXPECT_THROW(read("&MOL TIT = '\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9' /", {}), io::StopRun);
  read("&MOL TIT = '\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9' /", strict);
  EXPECT_EQ(tit.size(), 10u);
  EXPECT_THROW(read("&MOL TIT = 'abcdef' /", strict), io::StopRun);
}

Control sample() {
  Control c;
  c.Z1 = 7.0;
  c.RZ = 2.068;
  c.EPS = 1.0e-7 / 3.0;
  c.NSH = 5;
  for (int i = 0; i < 48; ++i) c.MLN[i] = (i * 7) % 5;
  for (int i = 0; i < 25; ++i) c.AHF[i] = (i % 3 == 0) ? 2.0 : 1.0 / (i + 1);
  c.AHF[200] = -1.25e-300;
  c.FIL = "n2 'main'.lst";
  c.FIR[0] = "n2.res";
  return c;
}

TEST(NamedGroupInput, SquareMatrixIndicesFollowTheOrderOfTheMatrixNotTheStorage) {
  int nsh = 0;
  std::array<double, 256> a{};
  auto group = [&] {
    io::Group g("D00");
    g.add("NSH", nsh).add_square("AHF", a.data(), 256, nsh);
    return g;
  };
  auto u = io::Unit::from_text("f", "&D00 NSH=3, AHF(2,1)=5.0, AHF(1:3,3)=3*7.0, AHF(10)=1.0 /");
  group().read(*u);
  EXPECT_EQ(a[1], 5.0);  // row 2 of column 1 of the 3 × 3 matrix
  EXPECT_EQ(a[6], 7.0);
  EXPECT_EQ(a[8], 7.0);
  EXPECT_EQ(a[9], 1.0);
  // Before the order is known, two indices cannot be placed.
  nsh = 0;
  auto v = io::Unit::from_text("f", "&D00 AHF(1,2)=1.0 NSH=2 /");
  try {
    group().read(*v);
    FAIL();
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("give NSH first"), std::string::npos) << s.message();
  }
  auto w = io::Unit::from_text("f", "&D00 NSH=2 AHF(3,1)=1.0 /");
  EXPECT_THROW(group().read(*w), io::StopRun);
}

TEST(NamedGroupOutput, WrittenGroupReadsBackToTheSameValues) {
  Control c = sample();
  auto out = io::Unit::to_text("n2.res");
  c.group().write(*out);
  Control d;
  auto in = io::Unit::from_text("n2.res", out->text());
  d.group().read(*in);
  EXPECT_EQ(d.Z1, c.Z1);
  EXPECT_EQ(d.RZ, c.RZ);
  EXPECT_EQ(d.EPS, c.EPS);
  EXPECT_EQ(d.NSH, c.NSH);
  EXPECT_EQ(d.MLN, c.MLN);
  EXPECT_EQ(d.AHF, c.AHF);
  EXPECT_EQ(d.FIL, c.FIL);
  EXPECT_EQ(d.FIR, c.FIR);
  // Runs of equal values are written with repeat counts.
  EXPECT_NE(out->text().find("*0.0"), std::string::npos);
  EXPECT_EQ(out->text().substr(0, 5), "&D00\n");
}

// A standard Fortran namelist read must accept what the group writer
// produces.  Runs only where a Fortran compiler is installed.
TEST(NamedGroupOutput, AFortranNamelistReadAcceptsTheWrittenGroup) {
  if (std::system("gfortran --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no Fortran compiler";
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("nml_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Control c = sample();
  {
    io::Units units;
    auto& u = units.open_new(11, (dir / "group.nml").string());
    c.group().write(u);
  }
  std::ofstream(dir / "read.f90") << "program r\n"
                                     "  double precision :: z1, rz, eps, ahf(16,16)\n"
                                     "  integer :: nsh, mln(3,16)\n"
                                     "  character(len=15) :: fil\n"
                                     "  character(len=12) :: fir(10)\n"
                                     "  namelist /d00/ z1, rz, nsh, mln, ahf, eps, fil, fir\n"
                                     "  open(1, file='group.nml', status='old')\n"
                                     "  read(1, nml=d00)\n"
                                     "  write(*,'(3ES25.17,I3,I3,I3,ES25.17,1X,A,A)') z1, rz, eps, nsh, mln(1,2),"
                                     " mln(3,16), ahf(1,2), trim(fil), '|'//trim(fir(1))//'|'\n"
                                     "end program\n";
  std::string cmd = "cd " + dir.string() + " && gfortran -o r read.f90 && ./r > out.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream res(dir / "out.txt");
  std::string line;
  std::getline(res, line);
  EXPECT_NE(line.find("7.00000000000000000E+00"), std::string::npos) << line;
  EXPECT_NE(line.find("2.06800000000000006E+00"), std::string::npos) << line;
  EXPECT_NE(line.find("n2 'main'.lst|n2.res|"), std::string::npos) << line;
  fs::remove_all(dir);
}

TEST(ListDirected, RepeatCountsNullValuesSlashAndSeveralRecords) {
  auto in = io::Unit::from_text("chan", "3, 0.5 ,1.0D-1\n2*7 ,, 9\n 4 8\n 4 5 / 6\n'a b' x\n");
  int n = 0;
  double p = 0, d = 0;
  io::lread(*in, n, p, d);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(p, 0.5);
  EXPECT_EQ(d, 0.1);
  std::array<int, 5> v{-1, -1, -1, -1, -1};
  io::lread(*in, v);
  EXPECT_EQ(v, (std::array<int, 5>{7, 7, -1, 9, 4}));
  int a = -1, b = -1, c = -1;
  io::lread(*in, a, b, c);  // the slash ends the record: c keeps its value
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 5);
  EXPECT_EQ(c, -1);
  std::string s, t;
  io::lread(*in, s, t);
  EXPECT_EQ(s, "a b");
  EXPECT_EQ(t, "x");
  EXPECT_THROW(io::lread(*in, n), io::StopRun);  // end of file
  auto bad = io::Unit::from_text("chan", "1.5\n");
  EXPECT_THROW(io::lread(*bad, n), io::StopRun);
}

TEST(ListDirected, OutputReadsBackExactly) {
  std::string text = io::lstring(" E =", -1.1026342144949, 42, 1.0e-300);
  auto in = io::Unit::from_text("x", text.substr(text.find('=') + 1));
  double e = 0, tiny = 0;
  int n = 0;
  io::lread(*in, e, n, tiny);
  EXPECT_EQ(e, -1.1026342144949);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(tiny, 1.0e-300);
}

}  // namespace

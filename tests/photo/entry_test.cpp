// Entry of the photoionisation programs: groups, files, partition.
#include "photo/entry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "io/stop.hpp"
#include "lib/orbital_file.hpp"
#include "support/programs.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

// Runs the entry in a scratch folder with the given files; the driver callback
// sees what the entry prepared.
class EntryRun {
 public:
  explicit EntryRun(const std::string& tag) : dir_(tag), old_(fs::current_path()) { fs::current_path(dir_.path()); }
  ~EntryRun() { fs::current_path(old_); }
  const ScratchDir& dir() const { return dir_; }
  void run(long nuv, const photo::Driver& driver, const photo::Variant& v = photo::kXsect) {
    io::Units units;
    units.open_old(3, "File.D40");
    lib::Workspace V(nuv);
    auto r = std::make_unique<photo::PhotoRun>();
    photo::run_photoionisation(nuv, V, units, v, *r, driver);
  }

 private:
  ScratchDir dir_;
  fs::path old_;
};

// A ground-state file: group S00 (with the variables this program does not
// use set as well) and an orbital block of two shells on NB = 16 points.
std::string ground_state(const std::string& extra = "") {
  std::string s =
      "&S00 Z1=1.0, Z2=1.0, RZ=1.4, NSH=2, MLN=0,0,2, 1,1,3, AHF=2.0,1.0, BHF=3*0.5, NA=5, NB=16,\n"
      " RP=2.0,30.0, EPS=1.0D-8, MI=8*1, JOR(1,2)=1, FD='anything'" +
      extra + " /\n";
  std::vector<int> mln{0, 0, 2, 1, 1, 3}, lk{1, 3, 6};
  std::vector<double> e{-0.6, -0.2}, cn{1.0, 2.0}, x(16 * 5);
  for (size_t i = 0; i < x.size(); ++i) x[i] = 0.01 * static_cast<double>(i);
  auto u = io::Unit::to_text("gs");
  lib::write_orbital_block(2, 16, lib::CIMat(mln.data(), 3, 2), lib::CIVec(lk.data(), 3), lib::CVec(e.data(), 2),
                           lib::CVec(cn.data(), 2), lib::CMat(x.data(), 16, 5), *u);
  return s + u->text();
}

const char* kControl =
    "&S40 NCH=1, FIR='a.dat','b.dat', FIL='run.lst', FIG='gs.dat', FIC='c1.dat',\n"
    " IRP=%IRP%, NEM=2, NUR=%NUR% /\n";

std::string control(int irp, int nur) {
  std::string s = kControl;
  s.replace(s.find("%IRP%"), 5, std::to_string(irp));
  s.replace(s.find("%NUR%"), 5, std::to_string(nur));
  return s;
}

TEST(PhotoEntry, ReadsBothGroupsTheOrbitalsAndThePartition) {
  EntryRun e("photo_entry");
  e.dir().write("File.D40", control(0, 20));
  e.dir().write("gs.dat", ground_state());
  bool called = false;
  e.run(photo::kNUV, [&](photo::PhotoRun& r, io::Units& units) {
    called = true;
    EXPECT_EQ(r.NSG, 2);
    EXPECT_EQ(r.NKS, 6);  // LG(NSG+1)
    EXPECT_EQ(r.NX, 3);   // partial waves of the last shell
    EXPECT_EQ(r.mng()(2, 2), 1);
    EXPECT_EQ(r.LG[2], 6);
    EXPECT_EQ(r.EG[1], -0.2);
    EXPECT_EQ(r.CG[1], 2.0);
    EXPECT_DOUBLE_EQ(r.XG(16, 5), 0.01 * 79);  // last value of the last wave
    EXPECT_EQ(r.s00.FD, "anything");
    EXPECT_EQ(r.s40.EXACT, 0);  // the truncated constants unless asked
    EXPECT_EQ(r.s40.IDER, 0);   // the one-sided difference of stored inputs unless asked
    EXPECT_EQ(r.s40.IPV, 0);    // the RPA's continua from their first nodes unless asked
    // KN1 = NEM·NX·NB = 96 < KN2 = 400: slices 4 and 5 have KN2 words.
    EXPECT_EQ(r.K[4] - r.K[3], 400);
    EXPECT_EQ(r.K[12] - r.K[11], 45 * 16);
    EXPECT_EQ(r.WK.cols(), 45);
    EXPECT_EQ(r.U.rows(), 20);
    EXPECT_DOUBLE_EQ(r.FC[80], std::tgamma(81.0));
    EXPECT_FALSE(units.is_open(12));
    EXPECT_FALSE(units.is_open(20));
    EXPECT_TRUE(units.is_open(10));
  });
  EXPECT_TRUE(called);
  EXPECT_TRUE(e.dir().exists("run.lst"));
  EXPECT_TRUE(e.dir().exists("a.dat"));
}

TEST(PhotoEntry, FirAndFilAreSharedBetweenTheGroups) {
  EntryRun e("photo_shared");
  e.dir().write("File.D40", control(2, 20));
  e.dir().write("gs.dat", ground_state(", FIR='x.dat','c.dat', FIL='y.lst'"));
  e.dir().write("c.dat", "");
  e.run(photo::kNUV, [&](photo::PhotoRun& r, io::Units& units) {
    EXPECT_EQ(units(11).name(), "a.dat");  // opened before S00 was read
    EXPECT_EQ(units(12).name(), "c.dat");  // opened after: the value of S00
    EXPECT_EQ(io::trim_right(r.s40.FIL), "y.lst");
  });
  EXPECT_FALSE(e.dir().exists("x.dat"));
  EXPECT_FALSE(e.dir().exists("y.lst"));
}

// A demand up to the workspace passed in uses it; beyond it the run gets a
// workspace of its own as long as the demand stays within NUVM, and above
// NUVM it stops with " GIVE ME MEMORY".
TEST(PhotoEntry, WorkspaceBeyondItsSizeGrowsUpToTheLimitNUVM) {
  auto K = photo::partition(16, 6, 3, 2, 20, 45);
  const long demand = K[12];
  struct Case {
    long nuv;
    std::string limit;
    bool runs;
  } cases[] = {
      {demand, "", true},
      {demand - 1, "", true},
      {demand - 1, ", NUVM=" + std::to_string(demand), true},
      {demand - 1, ", NUVM=" + std::to_string(demand - 1), false},
  };
  for (const Case& c : cases) {
    EntryRun e("photo_memory");
    std::string text = control(0, 20);
    text.insert(text.rfind('/'), c.limit + " ");
    e.dir().write("File.D40", text);
    e.dir().write("gs.dat", ground_state());
    bool called = false;
    try {
      e.run(c.nuv, [&](photo::PhotoRun& r, io::Units&) {
        called = true;
        r.U(20, 20) = 1.0;  // the slices lie in storage that is there
        r.WK(16, r.WK.cols()) = 1.0;
      });
      EXPECT_TRUE(c.runs) << c.limit;
    } catch (const io::StopRun& s) {
      EXPECT_FALSE(c.runs) << c.limit;
      EXPECT_EQ(s.message(), " GIVE ME MEMORY");
      EXPECT_NE(s.status(), 0);
    }
    EXPECT_EQ(called, c.runs) << c.limit;
  }
}

TEST(PhotoEntry, InputTheProgramsCannotHoldStopsNamingTheVariable) {
  struct Case {
    std::string control, ground, variable;
  } cases[] = {
      {control(0, 20), ground_state(", NA=3"), "variable NA"},
      {"&S40 NCH=100, FIL='run.lst', FIR='a.dat', FIG='gs.dat' /", ground_state(), "variable NCH"},
      {control(1, -2), ground_state(), "variable NUR"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', ILIN=4 /", ground_state(), "variable ILIN"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', IWM=-1 /", ground_state(), "variable IWM"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', NUVM=0 /", ground_state(), "variable NUVM"},
      {control(0, 20), ground_state(", NB=17"), "variable NB"},
      {control(0, 20), ground_state(", UNKNOWN=1"), "variable UNKNOWN"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', EXACT=2 /", ground_state(), "variable EXACT"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', NMF=2, EMF=1.0 /", ground_state(), "variable EMF(2)"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', NMF=1, EMF=1.0, NAF=3, AMF(3)=190 /", ground_state(),
       "variable AMF(3)"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', IDER=2 /", ground_state(), "variable IDER"},
      {"&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', IPV=-1 /", ground_state(), "variable IPV"},
  };
  for (const auto& c : cases) {
    EntryRun e("photo_bad");
    e.dir().write("File.D40", c.control);
    e.dir().write("gs.dat", c.ground);
    try {
      e.run(photo::kNUV, [](photo::PhotoRun&, io::Units&) {});
      ADD_FAILURE() << c.variable;
    } catch (const io::StopRun& s) {
      EXPECT_NE(s.message().find(c.variable), std::string::npos) << s.message();
    }
  }
  // xsect_a writes no matrix rows.
  EntryRun f("photo_a_iwm");
  f.dir().write("File.D40", "&S40 NCH=1, FIL='run.lst', FIR='a.dat', FIG='gs.dat', IWM=1 /");
  f.dir().write("gs.dat", ground_state());
  try {
    f.run(
        photo::kNUV, [](photo::PhotoRun&, io::Units&) {}, photo::kXsectA);
    ADD_FAILURE() << "xsect_a accepted IWM = 1";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("variable IWM"), std::string::npos) << s.message();
  }
}

}  // namespace

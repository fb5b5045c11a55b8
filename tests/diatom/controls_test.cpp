// The control files diatom writes for chanfile and xsect, read back through
// the programs' own groups: every value diatom sets arrives, and every
// variable it does not name keeps the program's default.
#include <gtest/gtest.h>

#include <limits>

#include "chan/program.hpp"
#include "diatom/channels.hpp"
#include "diatom/molecule.hpp"
#include "diatom/photo_controls.hpp"
#include "photo/entry.hpp"
#include "support/programs.hpp"

namespace {

using testsupport::ScratchDir;

diatom::MOL group(const std::string& text) {
  ScratchDir dir("diatom_controls_mol");
  dir.write("x.mol", text);
  return diatom::read_mol((dir.path() / "x.mol").string());
}

// NO's open 2π¹ ionised with two bound functions: OPEN, FID and ND named;
// one electron (H2+) and no bound functions: none of them.
TEST(ControlFiles, ChanfileReadsBackWhatDiatomWrites) {
  ScratchDir dir("diatom_controls_chn");
  const diatom::MOL no = group(
      "&MOL Z1 = 7, Z2 = 8, RZ = 2.175, SHELLS = '1s 2s 3s 4s 5s 1p 2p1', STATE = '2Pi', ION = '2p', EMIN = 12,\n"
      " EMAX = 30, IPOT = 1, ND = 2, NL = 5 /\n");
  const diatom::Molecule m = diatom::describe_molecule(no, "x.mol");
  diatom::Channel c = diatom::dipole_channels(m, "x.mol")[2];
  c.NC = 41, c.P0 = 0.123457, c.DP = 0.05;
  diatom::write_chanfile_control(dir.path().string(), m, no, c, "../mol.gs");
  const std::string text = dir.read("File.CHN");
  chan::CHN got;
  got.group().read(*io::Unit::from_text("File.CHN", text));
  EXPECT_EQ(io::trim_right(got.TIT), "diatom: 2p -> k delta, static exchange");
  EXPECT_EQ(io::trim_right(got.FIG), "../mol.gs");
  EXPECT_EQ(io::trim_right(got.FIC), "c03.chn");
  EXPECT_EQ(io::trim_right(got.FID), "c03.fid");
  EXPECT_EQ(io::trim_right(got.FIL), "c03.lst");
  EXPECT_EQ(got.NSI, 7);
  EXPECT_EQ(got.M, 2);
  EXPECT_EQ(got.NL, 5);
  EXPECT_EQ(got.NC, 41);
  EXPECT_EQ(got.P0, 0.123457);
  EXPECT_EQ(got.DP, 0.05);
  EXPECT_EQ(got.IPOT, 1);
  EXPECT_EQ(got.ND, 2);
  EXPECT_EQ(got.OPEN, (std::array<int, 2>{7, 1}));
  EXPECT_EQ(got.IDER, 1);
  const chan::CHN defaults;
  EXPECT_EQ(got.L0, defaults.L0);
  EXPECT_EQ(got.NX, defaults.NX);
  EXPECT_EQ(got.EMX, defaults.EMX);
  EXPECT_EQ(got.NIT, defaults.NIT);
  EXPECT_EQ(got.EPS, defaults.EPS);
  EXPECT_EQ(got.EXACT, defaults.EXACT);

  const diatom::MOL h2p =
      group("&MOL Z1 = 1, Z2 = 1, RZ = 2, Q = 1, SHELLS = '1sg', ION = '1sg', EMIN = 31, EMAX = 60 /\n");
  const diatom::Molecule one = diatom::describe_molecule(h2p, "x.mol");
  ScratchDir plain("diatom_controls_chn_plain");
  diatom::write_chanfile_control(plain.path().string(), one, h2p, diatom::dipole_channels(one, "x.mol")[0], "g");
  const std::string bare = plain.read("File.CHN");
  for (const char* name : {" FID =", " ND =", " OPEN ="}) {
    EXPECT_EQ(bare.find(name), std::string::npos) << name << " in\n" << bare;
  }
}

// The RPA is solved up to three nodes past the first node at or above the
// results' end, in the channel reaching highest; a grid that ends sooner
// stops at its last node, and a channel without an end solves every node.
TEST(ControlFiles, RpaSolvedThreeNodesPastTheResults) {
  diatom::Channel a;
  a.NC = 20, a.P0 = 0.5, a.DP = 0.1, a.threshold = 0.5, a.results_end = 40.0;  // node 10 first at or above
  diatom::Channel b = a;
  b.NC = 11;  // ends two nodes past it
  auto omega = [](double k) { return k * k / 2 + 0.5; };
  EXPECT_DOUBLE_EQ(diatom::rpa_results_top({a}), omega(0.5 + 12 * 0.1));
  EXPECT_DOUBLE_EQ(diatom::rpa_results_top({b}), omega(0.5 + 10 * 0.1));
  b.threshold = 0.9;  // node 7 first at or above the end
  EXPECT_DOUBLE_EQ(diatom::rpa_results_top({b}), omega(0.5 + 9 * 0.1) + 0.4);
  EXPECT_DOUBLE_EQ(diatom::rpa_results_top({a, b}), omega(0.5 + 12 * 0.1));
  a.results_end = std::numeric_limits<double>::infinity();
  EXPECT_EQ(diatom::rpa_results_top({a, b}), 0.0);
}

// Two channels with bound functions, the RPA and molecular-frame
// distributions; then one channel with none of them.
TEST(ControlFiles, XsectReadsBackWhatDiatomWrites) {
  ScratchDir dir("diatom_controls_d40");
  diatom::XsectControl c;
  c.channels.resize(2);
  c.channels[0].tag = "c01", c.channels[1].tag = "c02";
  c.sizes.NEM = 73, c.sizes.NUR = 284;
  c.ND = 2, c.rpa = true;
  c.FIG = "mol.gs", c.FIL = "xsect.lst", c.FIR = "xsect.dat";
  c.mfpad.ev = {20.0, 41.5};
  c.mfpad.angles = {0.0, 90.0, 45.0};
  diatom::write_xsect_control(dir.path().string(), c);
  photo::S40 got;
  got.group(photo::kXsect).read(*io::Unit::from_text("File.D40", dir.read("File.D40")));
  EXPECT_EQ(got.NCH, 2);
  EXPECT_EQ(io::trim_right(got.FIG), "mol.gs");
  EXPECT_EQ(io::trim_right(got.FIL), "xsect.lst");
  EXPECT_EQ(io::trim_right(got.FIR[0]), "xsect.dat");
  EXPECT_EQ(io::trim_right(got.FIC[1]), "c02/c02.chn");
  EXPECT_EQ(io::trim_right(got.FID[1]), "c02/c02.fid");
  EXPECT_EQ(got.ID[0], 2);
  EXPECT_EQ(got.ID[1], 2);
  EXPECT_EQ(got.IRP, 1);
  EXPECT_EQ(got.NEM, 73);
  EXPECT_EQ(got.NUR, 284);
  EXPECT_EQ(got.IDER, 1);
  EXPECT_EQ(got.IPV, 1);
  EXPECT_EQ(got.ILIN, 3);
  EXPECT_EQ(got.IOV, 1);
  EXPECT_EQ(got.NMF, 2);
  EXPECT_EQ(got.EMF[1], 41.5 / diatom::kHartreeEV);
  EXPECT_EQ(got.NAF, 3);
  EXPECT_EQ(got.AMF[2], 45.0);
  const photo::S40 defaults;
  EXPECT_EQ(got.EXACT, defaults.EXACT);
  EXPECT_EQ(got.NUVM, defaults.NUVM);

  c.channels.resize(1);
  c.ND = 0, c.rpa = false, c.mfpad = {};
  ScratchDir plain("diatom_controls_d40_plain");
  diatom::write_xsect_control(plain.path().string(), c);
  const std::string bare = plain.read("File.D40");
  for (const char* name : {" FID =", " ID =", " IPV =", " ILIN =", " IOV =", " NMF =", " EMF =", " AMF ="}) {
    EXPECT_EQ(bare.find(name), std::string::npos) << name << " in\n" << bare;
  }
  photo::S40 none;
  none.group(photo::kXsect).read(*io::Unit::from_text("File.D40", bare));
  EXPECT_EQ(none.IRP, 0);
  EXPECT_EQ(none.IPV, 0);
  EXPECT_EQ(none.NMF, 0);

  // A workspace beyond xsect's default (the check's finer grids) is named,
  // with room for more RPA energies at once as the memory allows.
  c.sizes.words = 3 * long{photo::kNUVM}, c.sizes.thread_words = 1000;
  ScratchDir big("diatom_controls_d40_big");
  diatom::write_xsect_control(big.path().string(), c);
  photo::S40 large;
  large.group(photo::kXsect).read(*io::Unit::from_text("File.D40", big.read("File.D40")));
  EXPECT_GE(large.NUVM, c.sizes.words);
}

}  // namespace

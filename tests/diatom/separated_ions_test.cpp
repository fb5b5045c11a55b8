// The start from the separated ions: which ion holds which shell, and the
// start file that puts their orbitals side by side.
#include "diatom/separated_ions.hpp"

#include <gtest/gtest.h>

#include "diatom/accuracy.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/unit.hpp"
#include "lib/orbital_file.hpp"
#include "support/programs.hpp"

namespace {

diatom::Molecule molecule(double Z1, double Z2, double RZ, const std::string& shells) {
  diatom::MOL m;
  m.Z1 = Z1, m.Z2 = Z2, m.RZ[0] = RZ, m.SHELLS = shells;
  return diatom::describe_molecule(m, "x.mol");
}

// AlF and NaCl are Al⁺F⁻ and Na⁺Cl⁻ by the correlation diagram: the 7σ of
// AlF is Al's 3s, its 2σ the F 1s.  The first row (CO), a bare proton
// (HCl: H's 1s lies above every occupied level), an ion that binds no
// valence shell (MgO: O²⁻) and equal nuclei keep the start from no orbitals.
TEST(SeparatedIons, TheCorrelationDiagramSplitsTheShellsIntoTwoIons) {
  const diatom::Molecule alf = molecule(13, 9, 3.126, "1s 2s 3s 4s 1p 5s 6s 2p 7s");
  const auto ions = diatom::separated_ions(alf);
  ASSERT_TRUE(ions);
  EXPECT_EQ(diatom::ion_label(*ions, 0), "Al+ (1s 2s 1p 3s 4s) on nucleus 1");
  EXPECT_EQ(diatom::ion_label(*ions, 1), "F- (1s 2s 1p 3s) on nucleus 2");
  auto source = [&](const std::string& name) {
    const size_t i = static_cast<size_t>(alf.find_shell(name));
    const diatom::Molecule& ion = ions->ion[static_cast<size_t>(ions->atom[i])];
    return std::to_string(ions->atom[i]) + ":" + ion.shells[static_cast<size_t>(ions->shell[i])].name;
  };
  EXPECT_EQ(source("7s"), "0:4s");
  EXPECT_EQ(source("2s"), "1:1s");
  EXPECT_EQ(source("4s"), "0:3s");
  EXPECT_EQ(source("2p"), "1:1p");

  const auto nacl = diatom::separated_ions(molecule(11, 17, 4.46, ""));
  ASSERT_TRUE(nacl);
  EXPECT_EQ(nacl->charge(0), 1.0);
  EXPECT_EQ(nacl->charge(1), -1.0);

  EXPECT_FALSE(diatom::separated_ions(molecule(6, 8, 2.132, "")));
  EXPECT_FALSE(diatom::separated_ions(molecule(1, 17, 2.4, "")));
  EXPECT_FALSE(diatom::separated_ions(molecule(12, 8, 3.3, "")));
  EXPECT_FALSE(diatom::separated_ions(molecule(17, 17, 3.76, "")));
}

// Each shell of the start is the wave set of its ion's shell; the ion on
// nucleus 2, solved on focus 1, is turned over (η → −η): its odd waves
// change sign, its even ones not.
TEST(SeparatedIons, TheStartPutsEachIonsShellsOnItsOwnNucleus) {
  testsupport::ScratchDir dir("diatom_ions");
  const diatom::Molecule alf = molecule(13, 9, 3.126, "");
  const diatom::SeparatedIons ions = *diatom::separated_ions(alf);
  diatom::Accuracy a;
  a.n = 3, a.NB = 10, a.RP1 = 1.01, a.RP2 = 9.6, a.EPS = 1e-4;
  std::array<std::string, 2> files;
  for (int k = 0; k < 2; ++k) {
    // Value of wave w at point r of ion shell J: 1000·k + 100·J + 10·w + r.
    const scf::ControlGroup g = diatom::make_d00(ions.ion[static_cast<size_t>(k)], 3.126, a, "x", "y");
    std::vector<double> x(static_cast<size_t>(a.NB * a.n * g.NSH));
    std::vector<int> LK;
    for (int J = 1; J <= g.NSH; ++J) {
      LK.push_back((J - 1) * a.n + 1);
      for (int w = 0; w < a.n; ++w)
        for (int r = 0; r < a.NB; ++r)
          x[static_cast<size_t>(((J - 1) * a.n + w) * a.NB + r)] = 1000 * k + 100 * J + 10 * w + r;
    }
    const std::vector<double> E(static_cast<size_t>(g.NSH), -1.0), CN(static_cast<size_t>(g.NSH), 1.0);
    files[static_cast<size_t>(k)] = (dir.path() / ("ion" + std::to_string(k) + ".res")).string();
    io::Units units;
    io::Unit& u = units.open_new(20, files[static_cast<size_t>(k)]);
    scf::ControlGroup h = g;
    h.group(true).write(u);
    lib::write_orbital_block(g.NSH, a.NB, lib::CIMat(g.MLN.data(), 3, scf::kMaxShells), lib::CIVec(LK.data(), g.NSH),
                             lib::CVec(E.data(), g.NSH), lib::CVec(CN.data(), g.NSH),
                             lib::CMat(x.data(), a.NB, a.n * g.NSH), u);
    units.close(20);
  }
  const scf::ControlGroup d = diatom::make_d00(alf, 3.126, a, "x", "y");
  const std::string start = (dir.path() / "ions.res").string();
  diatom::write_ions_start(ions, d, files, start);

  io::Units units;
  io::Unit& u = units.open_old(21, start);
  scf::ControlGroup back;
  back.group().read(u);
  EXPECT_EQ(back.NSH, d.NSH);
  std::vector<double> x(static_cast<size_t>(a.NB * a.n * d.NSH)), E(static_cast<size_t>(d.NSH)), CN(E);
  std::vector<int> LK, NW(static_cast<size_t>(d.NSH), a.n);
  for (int I = 1; I <= d.NSH; ++I) LK.push_back((I - 1) * a.n + 1);
  lib::read_orbital_block(a.NB, lib::CIVec(LK.data(), d.NSH), lib::Vec(E.data(), d.NSH), lib::Vec(CN.data(), d.NSH),
                          lib::Mat(x.data(), a.NB, a.n * d.NSH), u, lib::CIVec(NW.data(), d.NSH));
  for (int I = 1; I <= d.NSH; ++I) {
    const int k = ions.atom[static_cast<size_t>(I - 1)], J = ions.shell[static_cast<size_t>(I - 1)] + 1;
    for (int w = 0; w < a.n; ++w) {
      const double sign = k == 1 && w % 2 == 1 ? -1.0 : 1.0;
      for (int r = 0; r < a.NB; r += 9)
        EXPECT_EQ(x[static_cast<size_t>(((I - 1) * a.n + w) * a.NB + r)], sign * (1000 * k + 100 * J + 10 * w + r))
            << "shell " << I << " wave " << w;
    }
  }
}

}  // namespace

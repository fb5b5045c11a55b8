// The stages of a run and what a step's files say about it.
#include "diatom/plan.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "diatom/accuracy.hpp"
#include "diatom/photon_range.hpp"
#include "diatom/step_controls.hpp"
#include "diatom/step_record.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/stop.hpp"
#include "support/programs.hpp"

namespace {

using diatom::Plan;
using diatom::Step;
using diatom::StepState;

Plan plan_of(const std::string& group, const std::string& run = "run") {
  testsupport::ScratchDir dir("diatom_plan");
  dir.write("x.mol", group);
  const std::string file = (dir.path() / "x.mol").string();
  const diatom::MOL mol = diatom::read_mol(file);
  return diatom::make_plan(mol, diatom::describe_molecule(mol, file), run, file, "");
}

std::vector<std::string> names(const std::vector<Step>& steps) {
  std::vector<std::string> n;
  for (const Step& s : steps) n.push_back(s.name());
  return n;
}

// A step depends only on steps of its own distance in earlier stages.
TEST(RunPlan, StagesOfACurveAndOfOneDistanceWithItsCheck) {
  const Plan p = plan_of("&MOL Z1 = 1, Z2 = 1, RZ = 1.9, 2.1, SHELLS = '1sg', ION = '1sg', EMIN = 20, EMAX = 40 /\n");
  ASSERT_EQ(p.stage[0].size(), 2u);
  EXPECT_EQ(names(p.stage[0][1]), (std::vector<std::string>{"r02/tovrel", "r02/gsfile"}));
  ASSERT_EQ(p.stage[1].size(), 4u);
  EXPECT_EQ(names(p.stage[1][2]), std::vector<std::string>{"r02/c01/chanfile"});
  EXPECT_EQ(names(p.inputs(p.stage[1][2][0])), std::vector<std::string>{"r02/gsfile"});
  ASSERT_EQ(p.stage[2].size(), 2u);
  EXPECT_EQ(names(p.inputs(p.stage[2][1][0])),
            (std::vector<std::string>{"r02/gsfile", "r02/c01/chanfile", "r02/c02/chanfile"}));

  const Plan one = plan_of("&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', CHECK = 1 /\n");
  ASSERT_EQ(one.stage[0].size(), 2u);
  EXPECT_EQ(names(one.stage[0][0]), std::vector<std::string>{"tovrel"});
  EXPECT_EQ(names(one.stage[0][1]), (std::vector<std::string>{"tovrel", "check/tovrel"}));
  EXPECT_TRUE(one.stage[1].empty() && one.stage[2].empty());
  EXPECT_EQ(names(one.inputs(one.stage[0][1][1])), std::vector<std::string>{"tovrel"});

  // With a photoionisation the check reruns it from its own ground state,
  // every setting refined: half the step, two more solutions, with the RPA
  // two more bound functions and a top kCheckTopRise above the rule's.
  const Plan photo = plan_of(
      "&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', ION = '1sg', EMIN = 20, EMAX = 40, RPA = 1, NL = 3,"
      " CHECK = 1 /\n");
  EXPECT_EQ(names(photo.stage[0][1]), (std::vector<std::string>{"tovrel", "check/tovrel", "check/gsfile"}));
  ASSERT_EQ(photo.stage[1].size(), 4u);
  EXPECT_EQ(names(photo.inputs(photo.stage[1][3][0])), std::vector<std::string>{"check/gsfile"});
  ASSERT_EQ(photo.stage[2].size(), 2u);
  EXPECT_EQ(names(photo.inputs(photo.stage[2][1][0])),
            (std::vector<std::string>{"check/gsfile", "check/c01/chanfile", "check/c02/chanfile"}));
  EXPECT_EQ(photo.check_mol.DK, photo.mol.DK / 2);
  EXPECT_EQ(photo.check_mol.NL, 5);
  // Two more bound functions, and a check grid that reaches them (H2's
  // σu and πu: ν = 1 + 4, 3.75·ν² bohr where the rule's ends at 1 + 2).
  EXPECT_EQ(photo.check_mol.ND, photo.mol.ND + 2);
  EXPECT_NEAR(photo.accuracy.RP2 * 1.4 / 2, 33.75, 0.01);
  EXPECT_NEAR(photo.check_accuracy.RP2 * 1.4 / 2, 93.75, 0.01);
  EXPECT_EQ(photo.check_mol.ETOP, photo.mol.ETOP + diatom::kCheckTopRise);
  // A count of momenta: twice less one, every rule node a check node; the
  // top stays where the count puts it.
  const Plan count = plan_of(
      "&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', ION = '1sg', EMIN = 20, EMAX = 40, RPA = 1, NK = 21,"
      " CHECK = 1 /\n");
  EXPECT_EQ(count.check_mol.NK, 41);
  EXPECT_EQ(count.check_mol.ETOP, 0);
}

// The RPA's continua run kTopMargin past the results unless ETOP or NK is
// given; that top stays within what the radial grid carries (H2 to 400 eV:
// the grid carries 537 eV above the deepest threshold, so no refusal).  The
// RPA gets diatom's bound functions unless ND is given.
TEST(RunPlan, TheRpaContinuaRunPastTheResultsWithinTheGrid) {
  const std::string h2 = "&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg', ION = '1sg', EMIN = 16, ";
  EXPECT_EQ(plan_of(h2 + "EMAX = 60, RPA = 1 /\n").mol.ETOP, 60 + diatom::kTopMargin);
  EXPECT_EQ(plan_of(h2 + "EMAX = 60, RPA = 1, ETOP = 100 /\n").mol.ETOP, 100);
  EXPECT_EQ(plan_of(h2 + "EMAX = 60, RPA = 1, NK = 21 /\n").mol.ETOP, 0);
  EXPECT_EQ(plan_of(h2 + "EMAX = 60 /\n").mol.ETOP, 0);
  // The RPA's bound functions: diatom's two unless ND is given.
  EXPECT_EQ(plan_of(h2 + "EMAX = 60, RPA = 1 /\n").mol.ND, diatom::kRpaBoundFunctions);
  EXPECT_EQ(plan_of(h2 + "EMAX = 60, RPA = 1, ND = 0 /\n").mol.ND, 0);
  EXPECT_EQ(plan_of(h2 + "EMAX = 60 /\n").mol.ND, 0);
  // The grid's end for the RPA: 3.75·ν² bohr, ν = 1 + ND for H2's kσu, kπu
  // (N2's kδg: 2 + ND, 60 bohr), unless RB is given; its outer step stays.
  auto end = [](const Plan& p) { return p.accuracy.RP2 * 1.4 / 2; };
  const Plan rule = plan_of(h2 + "EMAX = 60, RPA = 1 /\n"), hf = plan_of(h2 + "EMAX = 60 /\n");
  EXPECT_NEAR(end(rule), 3.75 * 9, 0.01);
  EXPECT_NEAR(end(plan_of(h2 + "EMAX = 60, RPA = 1, RB = 20 /\n")), 20, 0.01);
  EXPECT_NEAR(end(hf), diatom::outer_end(1e-6), 0.01);
  EXPECT_GT(rule.accuracy.NB, hf.accuracy.NB);
  EXPECT_NE(rule.accuracy.why.find("the outer end 33.75 bohr for the RPA's bound functions"), std::string::npos)
      << rule.accuracy.why;
  const Plan n2 = plan_of("&MOL Z1 = 7, Z2 = 7, RZ = 2.068, SHELLS = '1sg 1su 2sg 2su 3sg 1pu', ION = '1pu', "
                          "EMIN = 20, EMAX = 60, RPA = 1 /\n");
  EXPECT_NEAR(n2.accuracy.RP2 * 2.068 / 2, 60, 0.02);
  const Plan far = plan_of(h2 + "EMAX = 400, RPA = 1 /\n");
  const double carried = diatom::carried_momentum(far.accuracy, 1.4), I = 0.6;
  const diatom::MomentumGrid g = diatom::momentum_grid(far.mol, {I, "1sg"}, carried, "x.mol");
  const double top = g.P0 + (g.NC - 1) * g.DP;
  EXPECT_LE(top, carried);
  EXPECT_GE(I + top * top / 2, 400 / diatom::kHartreeEV);
  // Past what the grid carries at EMAX itself, the refusal names EMAX.
  try {
    plan_of(h2 + "EMAX = 600, RPA = 1 /\n");
    ADD_FAILURE() << "EMAX = 600 eV was accepted";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("variable EMAX: EMAX = 600 eV reaches"), std::string::npos) << s.message();
  }
}

// A fine grid (N2 at TOL = 1e-8: 8886 points) starts from a run on the
// grid of TOL = 1e-6 (1046 points), which itself starts from one on the
// grid of 1e-4 (400 points), and the check from the rule's result; both
// jobs name the runs they read first, and each run reads the one before on
// its own grid (MI0 = 2).  START = 0, or a grid with less than 1.5 times
// the points (N2 at 5e-7: 1262), starts cold.
TEST(RunPlan, AFineGridStartsFromTheCoarseGridsInBothJobs) {
  testsupport::ScratchDir dir("diatom_warm");
  const std::string n2 = "&MOL Z1 = 7, Z2 = 7, RZ = 2.068, SHELLS = '1sg 1su 2sg 2su 3sg 1pu', ";
  const Plan p = plan_of(n2 + "TOL = 1e-8, CHECK = 1 /\n", (dir.path() / "run").string());
  ASSERT_TRUE(p.warm && p.cold);
  EXPECT_LT(p.cold_accuracy.NB, p.warm_accuracy.NB);
  EXPECT_LT(p.warm_accuracy.NB, p.accuracy.NB);
  ASSERT_EQ(p.stage[0].size(), 2u);
  EXPECT_EQ(names(p.stage[0][0]), (std::vector<std::string>{"cold/tovrel", "warm/tovrel", "tovrel"}));
  EXPECT_EQ(names(p.stage[0][1]), (std::vector<std::string>{"cold/tovrel", "warm/tovrel", "tovrel", "check/tovrel"}));
  EXPECT_EQ(names(p.inputs(p.stage[0][1][3])), std::vector<std::string>{"tovrel"});
  EXPECT_EQ(names(p.inputs(p.stage[0][0][2])), std::vector<std::string>{"warm/tovrel"});
  EXPECT_EQ(names(p.inputs(p.stage[0][0][1])), std::vector<std::string>{"cold/tovrel"});
  EXPECT_TRUE(p.inputs(p.stage[0][0][0]).empty());
  EXPECT_EQ(p.waves(0).size(), 4u);
  for (const Step& s : p.stage[0][1]) {
    std::filesystem::create_directories(p.path(s.folder));
    diatom::write_ground_controls(p, s);
  }
  const std::string check = dir.read("run/check/Dp_Data.dsc"), warm = dir.read("run/warm/Dp_Data.dsc");
  EXPECT_NE(check.find("MI0 = 2,\n FI0 = '../mol.res'"), std::string::npos) << check;
  EXPECT_NE(dir.read("run/Dp_Data.dsc").find("MI0 = 2,\n FI0 = 'warm/mol.res'"), std::string::npos);
  EXPECT_NE(warm.find("MI0 = 2,\n FI0 = '../cold/mol.res'"), std::string::npos) << warm;
  EXPECT_NE(dir.read("run/cold/Dp_Data.dsc").find("MI0 = 0,"), std::string::npos);

  EXPECT_FALSE(plan_of(n2 + "TOL = 1e-8, START = 0 /\n").warm);
  EXPECT_FALSE(plan_of(n2 + "TOL = 5e-7 /\n").warm);
  EXPECT_TRUE(plan_of(n2 + "TOL = 2e-7 /\n").warm);
}

// CO's check grid at TOL = 1e-9 on the written map's 58,848 points (27
// waves on 138,556) needs more words than tovrel's default allows; its
// group is given them (NUVM), the rule's grid keeps the default.
TEST(RunPlan, AGridPastTheProgramsDefaultMemoryIsGivenWhatItNeeds) {
  testsupport::ScratchDir dir("diatom_nuvm");
  const Plan p = plan_of(
      "&MOL Z1 = 8, Z2 = 6, RZ = 2.132, SHELLS = '1s 2s 3s 4s 1p 5s', TOL = 1e-9, NB = 58848,"
      " CHECK = 1 /\n",
      (dir.path() / "run").string());
  ASSERT_EQ(p.stage[0].size(), 2u);
  const scf::ControlGroup rule = diatom::make_d00(p.molecule, p.molecule.RZ[0], p.accuracy, "mol.lst", "mol.res");
  const scf::ControlGroup check =
      diatom::make_d00(p.molecule, p.molecule.RZ[0], p.check_accuracy, "mol.lst", "mol.res");
  EXPECT_EQ(rule.NUVM, scf::kNUVM);
  EXPECT_GE(check.NUVM, scf::words_needed(check));
  EXPECT_GT(check.NUVM, scf::kNUVM);
  EXPECT_LT(check.NUVM, scf::words_needed(check) + 1'000'000);
}

// CN X²Σ⁺ (open 5σ¹ below the closed 4σ) starts from its closed-shell
// neighbour CO (the heavier nucleus one charge up, 5σ filled) on the grid of
// the run that reads it: the coarsest grid's at TOL = 1e-7, the rule's at
// 1e-6.  The open σ shell among closed ones gets IROT = 2; NO's open π shell
// and a σ shell with no closed shell of its symmetry keep the model step.
TEST(RunPlan, AnOpenSigmaShellAmongClosedOnesStartsFromItsClosedNeighbour) {
  testsupport::ScratchDir dir("diatom_near");
  const std::string cn = "&MOL Z1 = 7, Z2 = 6, RZ = 2.214, SHELLS = '1s 2s 3s 4s 1p 5s1', STATE = '2S+', ";
  const Plan p = plan_of(cn + "TOL = 1e-7, CHECK = 1 /\n", (dir.path() / "run").string());
  ASSERT_TRUE(p.warm && p.cold && p.neighbour);
  EXPECT_EQ(p.neighbour->Z1, 8.0);
  EXPECT_EQ(p.neighbour->Z2, 6.0);
  EXPECT_EQ(names(p.stage[0][0]), (std::vector<std::string>{"near/tovrel", "cold/tovrel", "warm/tovrel", "tovrel"}));
  EXPECT_EQ(names(p.stage[0][1]),
            (std::vector<std::string>{"near/tovrel", "cold/tovrel", "warm/tovrel", "tovrel", "check/tovrel"}));
  EXPECT_TRUE(p.inputs(p.stage[0][0][0]).empty());
  EXPECT_EQ(names(p.inputs(p.stage[0][0][1])), std::vector<std::string>{"near/tovrel"});
  EXPECT_EQ(names(p.inputs(p.stage[0][0][3])), std::vector<std::string>{"warm/tovrel"});
  for (const char* f : {"near", "cold"}) std::filesystem::create_directories(p.path(f));
  diatom::write_ground_controls(p, p.stage[0][0][0]);
  diatom::write_ground_controls(p, p.stage[0][0][1]);
  const std::string near = dir.read("run/near/Dp_Data.dsc"), cold = dir.read("run/cold/Dp_Data.dsc");
  EXPECT_NE(near.find("Z1 = 8.0"), std::string::npos) << near;
  EXPECT_NE(near.find("OPEN = 2*0"), std::string::npos) << near;
  EXPECT_NE(cold.find("MI0 = 1,\n FI0 = '../near/mol.res'"), std::string::npos) << cold;
  EXPECT_NE(cold.find("IROT = 2"), std::string::npos) << cold;
  EXPECT_NE(cold.find("NB = " + std::to_string(p.cold_accuracy.NB)), std::string::npos);
  EXPECT_NE(near.find("NB = " + std::to_string(p.cold_accuracy.NB)), std::string::npos);

  testsupport::ScratchDir one("diatom_near_one");
  // Without the coarse grid the check starts from the rule's result: the
  // neighbour's orbitals, of other charges, are not carried to other grids.
  const Plan q = plan_of(cn + "TOL = 1e-6, CHECK = 1 /\n", (one.path() / "run").string());
  ASSERT_FALSE(q.warm);
  EXPECT_EQ(names(q.stage[0][0]), (std::vector<std::string>{"near/tovrel", "tovrel"}));
  EXPECT_EQ(names(q.stage[0][1]), (std::vector<std::string>{"near/tovrel", "tovrel", "check/tovrel"}));
  EXPECT_EQ(names(q.inputs(q.stage[0][1][2])), std::vector<std::string>{"tovrel"});
  std::filesystem::create_directories(q.path("check"));
  diatom::write_ground_controls(q, q.stage[0][1][2]);
  EXPECT_NE(one.read("run/check/Dp_Data.dsc").find("MI0 = 2,\n FI0 = '../mol.res'"), std::string::npos);
  std::filesystem::create_directories(q.path(""));
  diatom::write_ground_controls(q, q.stage[0][0][1]);
  EXPECT_NE(one.read("run/Dp_Data.dsc").find("MI0 = 1,\n FI0 = 'near/mol.res'"), std::string::npos);

  const Plan no = plan_of("&MOL Z1 = 7, Z2 = 8, RZ = 2.175, SHELLS = '1s 2s 3s 4s 1p 5s 2p1', STATE = '2Pi' /\n",
                          (one.path() / "no").string());
  EXPECT_FALSE(no.neighbour);
  std::filesystem::create_directories(no.path(""));
  diatom::write_ground_controls(no, no.stage[0][0][0]);
  EXPECT_NE(one.read("no/Dp_Data.dsc").find("IROT = 0,"), std::string::npos);
  // N2+ 3σg¹ shares its symmetry with closed shells on equal nuclei: the
  // multiplier, no neighbour.
  const Plan n2 =
      plan_of("&MOL Z1 = 7, Z2 = 7, RZ = 2.1, Q = 1, SHELLS = '1sg 1su 2sg 2su 1pu 3sg1', STATE = '2Sg+' /\n",
              (one.path() / "n2").string());
  EXPECT_FALSE(n2.neighbour);
  std::filesystem::create_directories(n2.path(""));
  diatom::write_ground_controls(n2, n2.stage[0][0][0]);
  EXPECT_NE(one.read("n2/Dp_Data.dsc").find("IROT = 2"), std::string::npos);
}

// AlF starts from Al⁺ and F⁻, each run alone first in both jobs (side by
// side when run here); the
// molecule reads their orbitals side by side on the same grid (MI0 = 1),
// the check the rule's result; START = 0 starts from no orbitals.
TEST(RunPlan, ASecondRowMoleculeStartsFromItsSeparatedIons) {
  testsupport::ScratchDir dir("diatom_ions_plan");
  const std::string alf = "&MOL Z1 = 13, Z2 = 9, RZ = 3.126, TOL = 1e-3, CHECK = 1";
  const Plan p = plan_of(alf + " /\n", (dir.path() / "run").string());
  ASSERT_TRUE(p.ions && !p.warm);
  EXPECT_EQ(names(p.stage[0][0]), (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel", "tovrel"}));
  EXPECT_EQ(names(p.stage[0][1]), (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel", "tovrel", "check/tovrel"}));
  EXPECT_EQ(names(p.inputs(p.stage[0][0][2])), (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel"}));
  EXPECT_EQ(names(p.inputs(p.stage[0][1][3])), std::vector<std::string>{"tovrel"});
  // Run here, the two ions side by side, then the molecule, then its check.
  const std::vector<std::vector<Step>> w = p.waves(0);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(names(w[0]), (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel"}));
  EXPECT_EQ(names(w[2]), std::vector<std::string>{"check/tovrel"});
  for (const Step& s : p.stage[0][1]) {
    std::filesystem::create_directories(p.path(s.folder));
    diatom::write_ground_controls(p, s);
  }
  const std::string ion = dir.read("run/atom2/Dp_Data.dsc"), mol = dir.read("run/Dp_Data.dsc");
  EXPECT_NE(ion.find("Z1 = 9.0,\n Z2 = 0.0"), std::string::npos) << ion;
  EXPECT_NE(mol.find("MI0 = 1,\n FI0 = 'ions.res'"), std::string::npos) << mol;
  EXPECT_NE(mol.find("IBLAS = 1"), std::string::npos) << "the dense algebra by BLAS and LAPACK";
  EXPECT_NE(dir.read("run/check/Dp_Data.dsc").find("MI0 = 2,\n FI0 = '../mol.res'"), std::string::npos);
  EXPECT_FALSE(plan_of(alf + ", START = 0 /\n").ions);

  // Below TOL = 1e-4 the ions run on the grid of 1e-4, whose run in
  // "cold" they start and whose orbitals start the rule's grid.
  const Plan fine = plan_of("&MOL Z1 = 13, Z2 = 9, RZ = 3.126, TOL = 1e-5 /\n");
  ASSERT_TRUE(fine.ions && fine.cold && !fine.warm);
  EXPECT_EQ(names(fine.stage[0][0]),
            (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel", "cold/tovrel", "tovrel"}));
  EXPECT_EQ(names(fine.inputs(fine.stage[0][0][3])), std::vector<std::string>{"cold/tovrel"});
  EXPECT_EQ(names(fine.inputs(fine.stage[0][0][2])), (std::vector<std::string>{"atom1/tovrel", "atom2/tovrel"}));
}

// Finished only when the record of this very step says exit 0 and every
// file it names is there, as large as it was; a running step only while
// its lock is held.
TEST(StepRecord, FinishedOnlyWhenTheRecordAndEveryFileAgree) {
  testsupport::ScratchDir dir("diatom_record");
  const Plan p = plan_of("&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg' /\n", dir.path().string());
  const Step s = p.stage[0][0][0];
  dir.write("mol.res", "12345\n");
  dir.write("tovrel.out", "ok\n");
  const std::string files = "seconds 1.0\nfile mol.res 6\nfile tovrel.out 3\n";
  struct Case {
    std::string record, lock;
    StepState::Kind kind;
    std::string why;
  } cases[] = {
      {"diatom step tovrel\nresult exit 0\n" + files, "", StepState::finished, ""},
      {"diatom step tovrel\nresult exit 0\nseconds 1.0\nfile mol.res 7\n", "", StepState::failed,
       "mol.res has changed"},
      {"diatom step tovrel\nresult exit 0\nfile mol.lst 1\n", "", StepState::failed, "mol.lst is missing"},
      {"diatom step tovrel\nresult exit 2\n" + files, "", StepState::failed, "exit status 2 (see tovrel.out)"},
      {"diatom step tovrel\nresult signal 9\n" + files, "", StepState::failed, "killed by signal 9"},
      {"diatom step tovrel\nresult refused bad EMAX\n", "", StepState::failed, "refused: bad EMAX"},
      {"diatom step tovrel\n", "", StepState::not_run, "not run"},
      {"diatom step check/tovrel\nresult exit 0\n" + files, "", StepState::not_run, "not run"},
      {"", "elsewhere 77 2024-01-01 10:00:00\n", StepState::running, "running on elsewhere (diatom process 77"},
      {"diatom step tovrel\nresult exit 0\n" + files, "elsewhere 77 x\n", StepState::running, "running on elsewhere"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir.path() / "tovrel.status");
    std::filesystem::remove(dir.path() / "tovrel.running");
    if (!c.record.empty()) dir.write("tovrel.status", c.record);
    if (!c.lock.empty()) dir.write("tovrel.running", c.lock);
    const StepState st = diatom::inspect_step(p, s);
    EXPECT_EQ(st.kind, c.kind) << c.record << c.lock;
    EXPECT_EQ(st.why.rfind(c.why, 0), 0u) << st.why;
  }
}

// A step's lock: held by a live diatom elsewhere, it is left alone; left by
// a process of this machine that has ended, it is taken over.  The record
// written after the program ended makes the step finished and gives the lock
// back; clearing the step removes its files and its record, nothing else.
TEST(StepRecord, TheLockTheRecordAndClearingAStep) {
  testsupport::ScratchDir dir("diatom_lock");
  const Plan p = plan_of("&MOL Z1 = 1, Z2 = 1, RZ = 1.4, SHELLS = '1sg' /\n", dir.path().string());
  const Step s = p.stage[0][0][0];
  std::string held;
  // A lock left empty (a diatom stopped between creating and writing it)
  // is held while it may be being written, and taken over after that.
  dir.write("tovrel.running", "");
  EXPECT_EQ(diatom::inspect_step(p, s).kind, StepState::running);
  EXPECT_FALSE(diatom::take_step_lock(p, s, held));
  std::filesystem::last_write_time(dir.path() / "tovrel.running",
                                   std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
  EXPECT_EQ(diatom::inspect_step(p, s).why.rfind("interrupted (its lock was left empty", 0), 0u);
  ASSERT_TRUE(diatom::take_step_lock(p, s, held));
  dir.write("tovrel.running", "elsewhere 77 2024-01-01 10:00:00\n");
  EXPECT_FALSE(diatom::take_step_lock(p, s, held));
  EXPECT_EQ(held.rfind("running on elsewhere (diatom process 77", 0), 0u) << held;
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  dir.write("tovrel.running", std::string(host) + " 999999999 2024-01-01 10:00:00\n");
  ASSERT_TRUE(diatom::take_step_lock(p, s, held));
  EXPECT_EQ(diatom::inspect_step(p, s).kind, StepState::not_run);

  for (const char* f : {"mol.lst", "mol.res", "tovrel.out", "keep.txt"}) dir.write(f, "x\n");
  diatom::write_step_record(p, s, "exit 0", 12.34);
  EXPECT_FALSE(dir.exists("tovrel.running"));
  EXPECT_EQ(dir.read("tovrel.status"),
            "diatom step tovrel\nresult exit 0\nseconds 12.3\nfile mol.lst 2\nfile mol.res 2\nfile tovrel.out 2\n");
  EXPECT_EQ(diatom::inspect_step(p, s).kind, StepState::finished);

  diatom::clear_step(p, s);
  for (const char* f : {"mol.lst", "mol.res", "tovrel.out", "tovrel.status"}) EXPECT_FALSE(dir.exists(f)) << f;
  EXPECT_TRUE(dir.exists("keep.txt"));
}

}  // namespace

// VIB = 1 with ION and no photon range: the ion of each ionised shell after
// the molecule at every distance, started from its orbitals on the same grid;
// no channel or cross section.  One distance becomes the chosen curve.
TEST(RunPlan, AVibrationalCurveRunsEachIonAfterTheMoleculeAtEveryDistance) {
  const Plan p = plan_of(
      "&MOL Z1 = 7, Z2 = 7, RZ = 2.068, SHELLS = '1sg 1su 2sg 2su 1pu 3sg', ION = '3sg 1pu', VIB = 1 /\n");
  ASSERT_EQ(p.distances.size(), 15u);
  EXPECT_NEAR(p.molecule.RZ.front(), 0.75 * 2.068, 1e-12);
  EXPECT_TRUE(p.stage[1].empty() && p.stage[2].empty());
  EXPECT_EQ(names(p.stage[0][14]), (std::vector<std::string>{"r15/tovrel", "r15/ion_3sg/tovrel", "r15/ion_1pu/tovrel"}));
  EXPECT_EQ(names(p.inputs(p.stage[0][14][2])), std::vector<std::string>{"r15/tovrel"});
  testsupport::ScratchDir dir("diatom_plan_vib");
  Plan q = p;
  q.run = dir.path().string();
  const Step& ion = p.stage[0][0][2];
  std::filesystem::create_directories(q.path(ion.folder));
  diatom::write_ground_controls(q, ion);
  const std::string d00 = dir.read(ion.folder + "/" + diatom::kTovrelControl);
  EXPECT_NE(d00.find("../mol.res"), std::string::npos) << d00;
  EXPECT_NE(d00.find("2Pu"), std::string::npos) << d00;
}

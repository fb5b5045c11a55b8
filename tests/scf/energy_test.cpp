// The total-energy block of tovrel: the energy from the orbital energies
// against the direct sum of one- and two-electron terms, published
// Hartree–Fock totals of H2 and of atoms placed on a focus, the virial
// theorem of an atom, and the occupations read from the coefficients.
#include "scf/energy.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/unit.hpp"
#include "lib/views.hpp"
#include "scf/one_electron_energy.hpp"
#include "scf/operator_energies.hpp"
#include "scf/shell_solve.hpp"
#include "support/programs.hpp"
#include "system_for_tests.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

// The value after "LABEL =" at the start of a console line; NaN when absent.
double block_value(const std::string& out, const std::string& label) {
  const size_t at = out.find("\n" + label + " =");
  if (at == std::string::npos) return std::nan("");
  return std::stod(out.substr(at + label.size() + 3));
}
double direct_sum(const std::string& out) {
  const std::string key = "DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS";
  const size_t at = out.find(key);
  return at == std::string::npos ? std::nan("") : std::stod(out.substr(at + key.size()));
}

std::string control(const std::string& body) {
  return "&D00I MI0 = 0 /\n&D00\n" + body + ", FIL = 'a.lst', FIR = 'a.res'\n /\n";
}

// The last 2000 characters of a console, for a failure's message.
std::string tail_of(const std::string& out) { return out.substr(out.size() > 2000 ? out.size() - 2000 : 0); }

// tovrel on the group `body` from no orbitals in a scratch folder `name`:
// its exit status and console.
struct TovrelRun {
  int status;
  std::string output;
};
TovrelRun run_tovrel(const char* name, const std::string& body) {
  ScratchDir dir(name);
  dir.write("Velor.prt", "&VELOR PRT = 'energy', 'block', 'test' /\n");
  dir.write("Dp_Data.dsc", control(body));
  const auto r = run_program_in(dir.path(), "tovrel");
  return {r.status, r.output};
}

struct Case {
  const char* name;
  std::string body;
  double total;      // published Hartree–Fock total
  double tol;        // of the total
  double identity;   // largest gap of the two sums (the self-consistency error)
  double repulsion;  // Z1·Z2/RZ
  bool atom;         // virial ratio 2
};

// Runs a case and checks the block: the two sums agree, the total and the
// nuclear repulsion, and for an atom the virial ratio.
void check(const Case& c) {
  ScratchDir dir(c.name);
  dir.write("Velor.prt", "&VELOR PRT = 'energy', 'block', 'test' /\n");
  dir.write("Dp_Data.dsc", control(c.body));
  const auto r = run_program_in(dir.path(), "tovrel");
  EXPECT_EQ(r.status, 0) << c.name << tail_of(r.output);
  const std::string& out = r.output;
  const double el = block_value(out, "ELECTRONIC ENERGY"), total = block_value(out, "TOTAL ENERGY");
  EXPECT_NEAR(el, direct_sum(out), c.identity) << c.name << ": ½Σq(ε+h) against Σq·h + ½Σq·G";
  EXPECT_NEAR(total, c.total, c.tol) << c.name;
  EXPECT_DOUBLE_EQ(block_value(out, "NUCLEAR REPULSION"), c.repulsion) << c.name;
  EXPECT_NEAR(total, el + c.repulsion, 1e-12 * std::fabs(total)) << c.name;
  const double T = block_value(out, "KINETIC ENERGY"), ratio = block_value(out, "VIRIAL RATIO");
  EXPECT_NEAR(ratio, -(total - T) / T, 1e-12) << c.name;
  if (c.atom) {
    EXPECT_NEAR(ratio, 2.0, 1e-8) << c.name << ": virial theorem of an atom";
  }
  // The block ends the console before the stop line, and stands in the listing.
  const size_t stop = out.rfind("Stop - Program terminated.");
  EXPECT_NE(out.rfind("VIRIAL RATIO =", stop), std::string::npos);
  EXPECT_NE(dir.read("a.lst").find("\nTOTAL ENERGY ="), std::string::npos);
  // EXACT = 1 is named in the group the result file echoes (read back by a restart).
  EXPECT_NE(dir.read("a.res").find(" EXACT = 1,"), std::string::npos);
}

std::string ne_shells(int n) {
  const std::string w = std::to_string(n);
  return " NSH = 4, MLN = 0,0," + w + ", 0,0," + w + ", 0,0," + w + ", 1,1," + w +
         ",\n"
         " AHF = 2.0,2.0,2.0,-4.0, 2.0,2.0,2.0,-4.0, 2.0,2.0,2.0,-4.0, 2.0,2.0,2.0,-4.0,\n"
         " BHF = 1.0,1.0,1.0,-2.0, 1.0,1.0,1.0,-2.0, 1.0,1.0,1.0,-2.0, 1.0,1.0,1.0,-1.0,\n"
         " MI = 0,1,0,1,0,0,0, JOR = 0,0,0,0, 1,0,0,0, 1,1,0,0, 0,0,0,0";
}

// EXACT = 1: with the program's multipole constant the electron repulsion
// would be 8.4e-7 too weak (relative) and every total some 1e-6 to 1e-4 too
// low; the written η, η² constants move Ne by 3e-8, N2 by 1.5e-7.  The grids
// are chosen for the limits (measured: H2 2.8e-8, He 3.2e-9, Be 1.6e-9, Ne
// 7e-9 from the published totals).  Ne falls as HB⁴ (4.3e-8 below at
// NB = 3000); Be needs eight partial waves (six leave 2.3e-8; ten agree with
// eight to 2e-11); Ne's 1s, off the expansion centre, nine (eleven agree to
// 1e-11).  Both sums use the operator of the shell solve, so they agree to
// the self-consistency error (measured 1.5e-12 to 1.6e-9 at EPS = 1e-10),
// and the virial ratio is 2 within 3e-9.
TEST(TotalEnergy, SlowClosedShellsReachThePublishedHartreeFockTotals) {
  const Case cases[] = {
      {"H2",
       " Z1 = 1.0, Z2 = 1.0, RZ = 1.4, NSH = 1, MLN = 0,0,8, AHF = 2.0, BHF = 1.0,\n"
       " NA = 5, NB = 1606, RP = 1.01, 40.0, EPS = 1.0D-10, MI = 0,1,0,0,0,0,0, EXACT = 1",
       -1.1336296, 1e-7, 1e-9, 1.0 / 1.4, false},
      {"He",
       " Z1 = 2.0, Z2 = 0.0, RZ = 0.4, NSH = 1, MLN = 0,0,6, AHF = 2.0, BHF = 1.0,\n"
       " NA = 5, NB = 2000, RP = 1.01, 200.0, EPS = 1.0D-10, MI = 0,1,0,0,0,0,0, EXACT = 1",
       -2.8616799956, 1e-7, 1e-10, 0.0, true},
      {"Be",
       " Z1 = 4.0, Z2 = 0.0, RZ = 0.4, NSH = 2, MLN = 0,0,8, 0,0,8, AHF = 4*2.0, BHF = 4*1.0,\n"
       " NA = 5, NB = 3000, RP = 1.01, 200.0, EPS = 1.0D-10, MI = 0,1,0,1,0,0,0, JOR = 0,0,1,0, EXACT = 1",
       -14.5730231683, 1e-7, 1e-9, 0.0, true},
      // The 2s solve kept orthogonal to the 1s inside it reaches the same atom.
      {"Be, IPROJ = 1",
       " Z1 = 4.0, Z2 = 0.0, RZ = 0.4, NSH = 2, MLN = 0,0,8, 0,0,8, AHF = 4*2.0, BHF = 4*1.0, IPROJ = 1,\n"
       " NA = 5, NB = 3000, RP = 1.01, 200.0, EPS = 1.0D-10, MI = 0,1,0,1,0,0,0, JOR = 0,0,1,0, EXACT = 1",
       -14.5730231683, 1e-7, 1e-9, 0.0, true},
      {"Ne",
       " Z1 = 10.0, Z2 = 0.0, RZ = 0.2,\n" + ne_shells(9) +
           ",\n NA = 5, NB = 4500, RP = 1.01, 250.0, EPS = 1.0D-10, EXACT = 1",
       -128.5470981, 1e-7, 1e-8, 0.0, true},
  };
  for (const Case& c : cases) check(c);
}

// N2 at R = 2.068 with EXACT = 1 on a grid chosen for the limit: the inner
// region's power series is cut at RP(1) = 1.0025 (its truncation left 1e-6 at
// 1.005; closer to 1 the outer Numerov sweep starts where ξ² − 1 is small and
// needs more points: at NB = 1600 the total is 2.6e-5, 6.4e-6, 1.1e-6,
// 1.4e-6, 1.9e-5 above the limit for RP(1) = 1.01 … 1.00125), NB = 3200
// (−9.9e-7, −1.6e-7 from 1600 to 2400 to 3200: HB⁴).  The limits with their
// full digits (the reference table rounds them to six decimals); measured:
// orbital energies within 1.7e-8, total 3.1e-8; the kinetic energy, first
// order in the orbitals' error (it is not variational), 1.3e-7.
// Slow: one run of about 20 s in an optimised build.
TEST(TotalEnergy, SlowN2WithExactConstantsReachesTheHartreeFockLimit) {
  const std::string body =
      " Z1 = 7.0, Z2 = 7.0, RZ = 2.068, NSH = 6,\n"
      " MLN = 0,0,10, 0,1,10, 0,0,10, 0,1,10, 0,0,10, 1,1,10,\n"
      " AHF = 5*2.0,-4.0, 5*2.0,-4.0, 5*2.0,-4.0, 5*2.0,-4.0, 5*2.0,-4.0, 5*2.0,-4.0,\n"
      " BHF = 5*1.0,-2.0, 5*1.0,-2.0, 5*1.0,-2.0, 5*1.0,-2.0, 5*1.0,-2.0, 5*1.0,-1.0,\n"
      " JOR = 0,0,0,0,0,0, 0,0,0,0,0,0, 1,0,0,0,0,0, 0,1,0,0,0,0, 1,0,1,0,0,0, 0,0,0,0,0,0,\n"
      " MI = 0,1,0,1,0,0,0, NA = 5, NB = 3200, RP = 1.0025, 25.0, EPS = 1.0D-9, EXACT = 1";
  const TovrelRun r = run_tovrel("n2-exact", body);
  ASSERT_EQ(r.status, 0) << tail_of(r.output);
  const double limit[] = {-15.681866952516, -15.678251644066, -1.473422499664,
                          -0.778076815708,  -0.634793134633,  -0.615625066778};
  for (int i = 1; i <= 6; ++i)
    EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(" + std::to_string(i) + ")"), limit[i - 1], 2e-7) << i;
  EXPECT_NEAR(block_value(r.output, "TOTAL ENERGY"), -108.993825635576, 1e-7);
  EXPECT_NEAR(block_value(r.output, "KINETIC ENERGY"), 108.790835678157, 2e-7);
  EXPECT_NEAR(block_value(r.output, "VIRIAL RATIO"), 2.001865873684, 3e-9);
  // The closed-shell identity: both sums of the energy with the operator of
  // the shell solve agree to 5.1e-10 here (the grid's error is 1e-7).  The
  // gap does not shrink with EPS (before the rotation of the σ orbitals
  // between sweeps: 7.5e-10, 5.6e-10, 4.8e-10 at 1e-9, 1e-10, 1e-11): the
  // 1σg, 1σu and 2σu shells keep an ε − h − G of 1e-10 to 3e-10 in the
  // outer region's sums.
  EXPECT_NEAR(block_value(r.output, "ELECTRONIC ENERGY"), direct_sum(r.output), 1e-9);
}

// AlF at R = 3.126 from no orbitals, shells in the order 1σ (Al 1s), 2σ
// (F 1s), 3σ, 4σ, 1π, 5σ, 6σ, 2π, 7σ (Al's 3s lone pair).  Its sweeps below a
// hartree start with the 7σ orbital far from an eigenfunction of its
// operator (eigenvalue −0.25 or +0.2 at a solve energy of −0.4); rotated and
// extrapolated there, or damped by 0.7, the shell fell to a diffuse solution
// at −0.140 and the run ended at −340.977, 0.3 above Al + F (−341.286) and
// 0.51 above the ground state.  Solved as written and made orthogonal after
// each solve, the 7σ then came to rest at −0.3250 on a mixture with the 5σ:
// its energy and ⟨φ|F|φ⟩ differed by 6.9e-3, the F 1s lay 0.013 too deep
// and the total 0.030 above the limit.  Kept orthogonal inside its solve
// (IPROJ = 1) every shell solves its equation.  The reference is Gaussian
// Hartree–Fock with cc-pCV5Z (psi4 1.3.2): 1σ −58.495384, 2σ −26.245211,
// 7σ −0.336918, total −341.488014 (cc-pCVQZ −341.485576; both extrapolate
// to −341.4884 … −341.4886), within 2e-4 of the suite's own converged runs
// (−341.48838).  16 partial waves on 400 points leave the total 0.015
// above −341.4884 (most of it the inner region's cut at RP(1) = 1.0097),
// 7σ 3e-5 and the F 1s 5e-5 (measured).
TEST(TotalEnergy, SlowAlFFromNoOrbitalsReachesItsGroundState) {
  const std::string body =
      " Z1 = 13.0, Z2 = 9.0, RZ = 3.126, NSH = 9,\n"
      " MLN = 2*0,16, 2*0,16, 2*0,16, 2*0,16, 2*1,16, 2*0,16, 2*0,16, 2*1,16, 2*0,16,\n"
      " AHF = 4*2.0, -4.0, 2*2.0, -4.0, 5*2.0, -4.0, 2*2.0, -4.0, 5*2.0, -4.0, 2*2.0,\n"
      "       -4.0, 5*2.0, -4.0, 2*2.0, -4.0, 5*2.0, -4.0, 2*2.0, -4.0, 5*2.0, -4.0,\n"
      "       2*2.0, -4.0, 5*2.0, -4.0, 2*2.0, -4.0, 5*2.0, -4.0, 2*2.0, -4.0, 5*2.0,\n"
      "       -4.0, 2*2.0, -4.0, 2.0,\n"
      " BHF = 4*1.0, -2.0, 2*1.0, -2.0, 5*1.0, -2.0, 2*1.0, -2.0, 5*1.0, -2.0, 2*1.0,\n"
      "       -2.0, 5*1.0, -2.0, 2*1.0, -2.0, 5*1.0, -1.0, 2*1.0, -1.0, 5*1.0, -2.0,\n"
      "       2*1.0, -2.0, 5*1.0, -2.0, 2*1.0, -2.0, 5*1.0, -1.0, 2*1.0, -1.0, 5*1.0,\n"
      "       -2.0, 2*1.0, -2.0, 1.0,\n"
      " JOR = 9*0, 1, 8*0, 2*1, 7*0, 3*1, 15*0, 4*1, 5*0, 4*1, 0, 1, 7*0, 1, 4*0, 4*1, 0, 2*1,\n"
      " NA = 5, NB = 400, RP = 1.0097, 9.6, EPS = 1.0E-04, MI = 0,1,0,1,0,0,0, EXACT = 1, IDIF = 1, IGRID = 1,\n"
      " IPROJ = 1";
  const TovrelRun r = run_tovrel("alf", body);
  ASSERT_EQ(r.status, 0) << tail_of(r.output);
  EXPECT_NEAR(block_value(r.output, "ELECTRONIC ENERGY"), direct_sum(r.output), 1e-4) << "ε = ⟨φ|F|φ⟩";
  EXPECT_NEAR(block_value(r.output, "TOTAL ENERGY"), -341.4884, 0.02);
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(9)"), -0.336918, 1e-3);
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(2)"), -26.245211, 1e-3) << "F 1s";
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(1)"), -58.495384, 0.02) << "Al 1s";
}

// Argon on a focus (R = 3) from no orbitals with a tight stop (EPS = 1e-6):
// its 2s (shell 2) is placed on its state to 1e-7 relative, where the
// first wave's matching defect, −3e-7, is above the stop of 1e-7 and
// positive on both sides 1% away; the defect rule searched 2000 trials and
// the run stopped.  Placed to rounding after 30 trials, the defect is zero
// and the run ends on the Hartree–Fock atom: total −526.817512803 and
// 3s −1.277353, 3p −0.591016 (numerical HF, Bunge et al., Phys. Rev. A 46,
// 3691 (1992)); 24 partial waves on 400 points hold the total to 6.5e-5 and
// the valence energies to 4e-5 (measured).  The blocks of the elimination
// by BLAS and LAPACK (IBLAS = 1), as diatom writes them from 20 waves.
TEST(TotalEnergy, SlowArgonOnAFocusFindsItsShellsUnderATightStop) {
  const std::string body =
      " Z1 = 18.0, Z2 = 0.0, RZ = 3.0, NSH = 7,\n"
      " MLN = 2*0,24, 2*0,24, 2*1,24, 2*0,24, 2*0,24, 2*1,24, 2*0,24,\n"
      " AHF = 2*2.0, -4.0, 2*2.0, -4.0, 3*2.0, -4.0, 2*2.0, -4.0, 3*2.0, -4.0, 2*2.0,\n"
      "       -4.0, 3*2.0, -4.0, 2*2.0, -4.0, 3*2.0, -4.0, 2*2.0, -4.0, 3*2.0, -4.0,\n"
      "       2*2.0, -4.0, 3*2.0, -4.0, 2*2.0, -4.0, 2.0,\n"
      " BHF = 2*1.0, -2.0, 2*1.0, -2.0, 3*1.0, -2.0, 2*1.0, -2.0, 3*1.0, -1.0, 2*1.0,\n"
      "       -1.0, 3*1.0, -2.0, 2*1.0, -2.0, 3*1.0, -2.0, 2*1.0, -2.0, 3*1.0, -1.0,\n"
      "       2*1.0, -1.0, 3*1.0, -2.0, 2*1.0, -2.0, 1.0,\n"
      " JOR = 7*0, 1, 13*0, 2*1, 5*0, 2*1, 0, 1, 5*0, 1, 4*0, 2*1, 0, 2*1,\n"
      " NA = 5, NB = 400, RP = 1.00273, 14.736, EPS = 1.0E-06, MI = 0,1,0,1,0,0,0, EXACT = 1, IDIF = 1, IGRID = 1,\n"
      " IBLAS = 1";
  const TovrelRun r = run_tovrel("argon", body);
  ASSERT_EQ(r.status, 0) << tail_of(r.output);
  EXPECT_NEAR(block_value(r.output, "TOTAL ENERGY"), -526.817512803, 2e-4);
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(5)"), -1.277353, 1e-4) << "3s";
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(6)"), -0.591016, 1e-4) << "3p, π";
  EXPECT_NEAR(block_value(r.output, "ORBITAL ENERGY(7)"), -0.591016, 1e-4) << "3p, σ";
}

// One electron in the field of two protons (H2+ at R = 2, no two-electron
// terms): h from the discrete operator is the energy at which the solve
// found the orbital, to rounding, for states of three symmetries; it is
// not a restatement of that energy: a slightly deformed orbital gives
// another value, and the kinetic energy and attraction from the
// derivatives of the waves agree with it to the grid's accuracy.
TEST(ShellEnergies, OneElectronEnergyOfTheDiscreteOperatorIsTheEigenvalueOfTheSolve) {
  struct State {
    const char* name;
    int M, L0;
    double E;  // exact
  } states[] = {
      {"1sigma_g", 0, 0, -1.1026342144949}, {"1sigma_u", 0, 1, -0.6675343922024}, {"1pi_u", 1, 1, -0.4287718198959}};
  for (const State& c : states) {
    scftest::System sys(1.0, 1.0, 2.0, {{c.M, c.L0, 8}}, 5, 1606, 1.01, 60.0);
    scftest::one_electron_equations(sys, 1);
    io::ConsoleRedirect quiet(nullptr, &sys.trace);
    auto listing = io::Unit::to_text("listing");
    scf::Shells s = sys.shells();
    double EI = 0.0;
    scf::solve_shell(sys.t, s, scf::ShellSolve{1, 2, 1, 1e-12}, EI, sys.st, sys.search, sys.work(8), *listing);
    s.E(1) = EI;
    const std::vector<double> none{0.0};
    const lib::CVec AC(none.data(), 1), BC(none.data(), 1);
    const scf::ShellEnergies d = scf::shell_energies(sys.t, s, 1, AC, BC, sys.st, sys.work(8));
    EXPECT_NEAR(d.one, EI, 1e-11 * std::fabs(EI)) << c.name;  // the solve's tolerance 1e-12
    EXPECT_EQ(d.two, 0.0) << c.name;
    EXPECT_NEAR(d.one, c.E, 1e-7) << c.name;
    const scf::ShellWork w = sys.work(8);
    const scf::OneElectron h =
        scf::shell_one_electron(sys.t, s, 1, sys.st.fac(), sys.st.tt(8), w.WK.col(1), w.WK.col(2));
    EXPECT_NEAR(h.kinetic + h.nuclear, c.E, 1e-7) << c.name;
    // A bump of 1e-3 in the outer region: no longer a solution.
    const lib::Mat X = s.waves(1);
    for (int p = 1; p <= 8; ++p)
      for (int i = sys.NA + 1; i <= sys.NB; ++i) X(i, p) *= 1.0 + 1e-3 * std::exp(-std::pow(sys.xi(i) - 2.0, 2));
    const scf::ShellEnergies bent = scf::shell_energies(sys.t, s, 1, AC, BC, sys.st, sys.work(8));
    EXPECT_GT(std::fabs(bent.one - EI), 1e-9) << c.name;
    EXPECT_GT(std::fabs(bent.residual), 0.0) << c.name;
  }
}

// The operator between two orbitals of one symmetry: the 1σg and 2σg states
// of H2+ (R = 2) are eigenfunctions of one operator, so with the weights of
// the discrete equations ⟨φ_I|F|φ_J⟩ = ε_J·⟨φ_I|φ_J⟩ holds for every pair:
// the diagonal gives each state's energy, the cross elements vanish with the
// overlap of the two states (weighting the rows with the wrong function would
// put ε_J·⟨φ_J|φ_J⟩ there instead).  The sweeps rotate orbitals of one
// symmetry to the eigenvectors of this matrix.
TEST(OperatorElements, TwoStatesOfOneOperatorGiveItsEigenvaluesAndNoCoupling) {
  scftest::System sys(1.0, 1.0, 2.0, {{0, 0, 8}, {0, 0, 8}}, 5, 1606, 1.01, 60.0);
  io::ConsoleRedirect quiet(nullptr, &sys.trace);
  auto listing = io::Unit::to_text("listing");
  scf::Shells s = sys.shells();
  for (int I = 1; I <= 2; ++I) {
    scftest::one_electron_equations(sys, I);
    double EI = 0.0;
    scf::solve_shell(sys.t, s, scf::ShellSolve{I, 2, 1, 1e-12}, EI, sys.st, sys.search, sys.work(8), *listing);
    s.E(I) = EI;
    s.CN(I) = 1.0;
  }
  EXPECT_NEAR(s.E(1), -1.1026342144949, 1e-7);
  EXPECT_NEAR(s.E(2), -0.3608648753, 1e-7);
  const std::vector<double> none(4, 0.0);
  const scf::ShellCoefficients no_field{lib::CMat(none.data(), 2, 2), lib::CMat(none.data(), 2, 2), lib::CIMat()};
  const int left[] = {1, 2};
  double F[2][2], S[2][2];  // [J][I]: ⟨φ_I|F|φ_J⟩, ⟨φ_I|φ_J⟩
  for (int J = 1; J <= 2; ++J) {
    const scf::OperatorElements e = scf::operator_elements(sys.t, s, J, no_field, sys.st, sys.work(8), left);
    for (int I = 0; I < 2; ++I) F[J - 1][I] = e.F[I], S[J - 1][I] = e.S[I];
  }
  for (int J = 1; J <= 2; ++J) EXPECT_NEAR(F[J - 1][J - 1] / S[J - 1][J - 1], s.E(J), 1e-10) << J;
  const double scale = std::fabs(F[0][0]);
  // Measured 2e-11 to 6e-11 of the diagonal.
  EXPECT_LT(std::fabs(F[1][0]), 1e-9 * scale);
  EXPECT_LT(std::fabs(F[0][1]), 1e-9 * scale);
  EXPECT_LT(std::fabs(S[1][0]), 1e-9 * S[0][0]);
}

// The shells' occupations as the block assumes them.
TEST(TotalEnergy, OccupationsFollowFromTheCoefficients) {
  struct Case {
    const char* name;
    std::vector<int> MLN;
    std::vector<double> AHF, BHF;
    std::vector<double> q;
    bool closed;
  } cases[] = {
      {"H2", {0, 0, 4}, {2.0}, {1.0}, {2.0}, true},
      {"H2+: no field, one electron", {0, 0, 4}, {0.0}, {0.0}, {1.0}, false},
      {"sigma and pi", {0, 0, 4, 1, 1, 4}, {2.0, -4.0, 2.0, -4.0}, {1.0, -2.0, 1.0, -1.0}, {2.0, 4.0}, true},
      {"pi exchange as sigma", {0, 0, 4, 1, 1, 4}, {2.0, -4.0, 2.0, -4.0}, {1.0, -2.0, 1.0, -2.0}, {2.0, 4.0}, false},
      {"averaged open shell", {0, 0, 4, 0, 1, 4}, {2.0, 0.5, 2.0, 0.0}, {1.0, 0.5, 1.0, 0.0}, {2.0, 0.5}, false},
  };
  for (Case& c : cases) {
    const int NSH = static_cast<int>(c.q.size());
    std::vector<int> LK(NSH + 1, 1);
    scf::Shells s{NSH,       lib::CIMat(c.MLN.data(), 3, NSH), lib::CIVec(LK.data(), NSH + 1), lib::Mat(), lib::Vec(),
                  lib::Vec()};
    const scf::Occupations o =
        scf::occupations(s, lib::CMat(c.AHF.data(), NSH, NSH), lib::CMat(c.BHF.data(), NSH, NSH));
    EXPECT_EQ(o.q, c.q) << c.name;
    EXPECT_EQ(o.closed, c.closed) << c.name;
  }
}

}  // namespace

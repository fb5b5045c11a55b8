// The shell update: the coupled radial equations of one shell solved for its
// orbital energy and partial waves.
//
// At a trial energy the equations are linear: a power series in ξ − 1 in the
// inner region, a matrix Numerov recurrence in the outer region, joined at
// ξ = RA (DESY0, CPYP0, INVE: scf/fixed_energy.hpp).  The energy is then adjusted (DESYG) until
// either the matching defect of the first wave vanishes (defect rule, EITD)
// or the solution of the inhomogeneous equations has the norm the shell had
// before (norm rule).
#pragma once

#include <array>
#include <span>
#include <vector>

#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/fixed_energy.hpp"

namespace io {
class Unit;
}

namespace scf {

// Energy bracket of the solver: E1 with test value T1, E2 with T2, the norm
// of the solution at E1 and the last orientation test of the norm rule.  The
// energies, the norm and the orientation are kept from call to call, T1 and
// T2 are cleared at every call.
struct EnergyBracket {
  double E1 = 0.0, E2 = 0.0, T1 = 0.0, T2 = 0.0;
  double Cprev = 0.0;
  double Q = 0.0;
};

// The defect rule's switch: IT = 0 until the rule is first used in the run;
// H the relative energy step, 0.01 at the start of every solve.
struct DefectStep {
  int IT = 0;
  double H = 0.01;
};

// Exchange pass of the shell update: FAC scales the exchange terms (1 when
// they are built); JHF ≠ 0 asks for the exchange to be rebuilt.
struct ExchangePass {
  double FAC = 1.0;
  int JHF = 0;
};

// Everything the shell update keeps between calls, owned by the driver.
struct UpdateState {
  static constexpr int kSavedWords = 50000;  // NB·n of the solver's copy of a shell
  int ISRCH = 0;                             // 0 superlinear energy steps, 1 the fixed steps and bisection
  long trials = 0;                           // solves at a trial energy in the run (shell solves and state searches)
  EnergyBracket bracket;
  DefectStep defect;
  ExchangePass exchange;
  std::array<double, 400> TT{};         // η² matrix of the shell last updated, n × n
  std::array<double, kFactorials> F{};  // factorials 0! … 98!
  std::array<double, 4> B{};            // boundary vector of the multipole solver
  std::vector<double> saved = std::vector<double>(kSavedWords);
  // Sign of the determinant of each shell's equations below all its states
  // (0: not yet known).  No eigenvalue crosses that energy as the field of
  // the other shells changes, so the superlinear search keeps it from sweep
  // to sweep instead of solving there at every parity test.
  std::array<int, 16> floor_sign{};
  // Shells whose last norm-rule solve stayed on the branch it started on
  // (superlinear search only): the new orbital close to the old one and the
  // energy moved little.  Their next solve is trusted to its branch and
  // checked by its overlap with the orbital it starts from instead of by
  // the count of poles below the energy.
  std::array<bool, 16> settled{};
  lib::Mat tt(int n) { return lib::Mat(TT.data(), n, n); }
  lib::Fac fac() const { return lib::Fac(F.data(), kFactorials); }
};

// Whether the norm-rule solution of a shell that had an orbital lies on the
// branch of its own state, judged by the orbitals rather than by the count
// of poles below its energy (with the exchange source the orbital energy
// need not lie between the poles of its rank).  `kept` is the normalised
// overlap of the new orbital with the one the solve started from, `others`
// its normalised overlaps with the present orbitals of the other shells of
// its symmetry, `in_order` whether its energy keeps the order in which the
// shells of its symmetry are listed.  A solution on the branch of another
// shell's state resembles that shell's orbital (and would be destroyed by the
// orthogonalisation to it); one that has left the state it started from
// keeps little of its previous orbital.
bool on_own_branch(double kept, std::span<const double> others, bool in_order);
inline constexpr double kKeptOnBranch = 0.7;   // |⟨new|old⟩| at least (half the weight kept)
inline constexpr double kOtherOnBranch = 0.5;  // |⟨new|other shell⟩| at most (a quarter of the weight)

// Largest number of energy trials of one solve; a solve that needs more
// stops the run (it is caught between a pole and a root, or the energy runs
// away).
inline constexpr int kMaxTrials = 2000;

// Energy step by the defect: a relative step −H until the defect changes
// sign, then bisection of the bracket.
void EITD(int& IT, double& H, double& T1, double& T2, double DX, double& E1, double& E2, double& EI);

// The solver's view of the shell being updated.
struct ShellSolve {
  int ISH = 0;
  int MODE = 0;  // 0 norm rule, 2 defect rule, 1 operator's dialogue
  int NIT = 1;   // the wave whose series is normalised by the defect rule
  double EPS = 0.0;
};

// Energy of the bound state number `rank` (1 = lowest) of the homogeneous
// equations of shell ISH: the determinant of the discretised equations
// changes sign at every eigenvalue; its signs are counted upwards from below
// the united-atom ground state −(Z1+Z2)²/2, and the rank-th change is
// bisected to rounding.
double locate_state(const RunTables& t, const Shells& s, int ISH, int rank, UpdateState& st, const ShellWork& w);

// Solves the equations of shell solve.ISH (PD, st.TT, source: columns n+1 … 2n
// of XN) for its energy EI and waves (written into X), by the rule of solve.MODE.
// The listing receives the norm rule's orientation notes.
void DESYG(const RunTables& t, const Shells& s, const ShellSolve& solve, double& EI, UpdateState& st,
           const ShellWork& w, io::Unit& listing);

// Replaces the waves, the energy and the norm of shell ISH by the solution of
// its Hartree–Fock equations in the field of all shells (AC, BC: columns ISH
// of AHF and BHF; JOR the orthogonality table).
void DHFSI0(const RunTables& t, const Shells& s, int ISH, int MODE, double EPS, lib::CVec AC, lib::CVec BC,
            lib::CIMat JOR, UpdateState& st, const ShellWork& w, io::Unit& listing);

}  // namespace scf

// The shell update: the coupled radial equations of one shell solved for its
// orbital energy and partial waves.
//
// At a trial energy the equations are linear (scf/fixed_energy.hpp).  The
// energy is then adjusted (DESYG) until either the matching defect of the
// first wave vanishes (defect rule) or the solution of the inhomogeneous
// equations has the norm the shell had before (norm rule); the steps, the
// stop and the judgement of the solution are the energy search's
// (scf/search.hpp), the states of the shell are counted by the determinant
// (scf/states.hpp).
#pragma once

#include <array>
#include <vector>

#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/search.hpp"

namespace io {
class Unit;
}

namespace scf {

struct Coupling;

// Exchange pass of the shell update: FAC scales the exchange terms (1 when
// they are built); JHF ≠ 0 asks for the exchange to be rebuilt.
struct ExchangePass {
  double FAC = 1.0;
  int JHF = 0;
};

// Everything the shell update keeps between calls, owned by the driver.
struct UpdateState {
  long trials = 0;  // solves at a trial energy in the run (shell solves and state searches)
  EnergyBracket bracket;
  DefectStep defect;
  ExchangePass exchange;
  std::vector<double> TT;               // η² matrix of the shell last updated, n × n
  std::array<double, kFactorials> F{};  // factorials 0! … 98!
  std::array<double, 4> B{};            // boundary vector of the multipole solver
  std::vector<double> saved;            // the solver's copy of a shell, grown to NB·n words as shells ask
  std::vector<double> spare;            // work arrays of a second solve at a trial energy (the state walk)
  double* spare_for(long words) {
    if (static_cast<long>(spare.size()) < words) spare.resize(static_cast<std::size_t>(words));
    return spare.data();
  }
  std::vector<double> pairs;            // multipoles of the exchange pair densities of one update
  std::vector<double> projection;       // IROT = 2: sources φ_J and solutions of the open shell's projected solve
  DensityMultipoles direct;             // multipoles of each shell's density, reused while its orbital stays
  double* saved_for(long words) {
    if (static_cast<long>(saved.size()) < words) saved.resize(static_cast<std::size_t>(words));
    return saved.data();
  }
  // A run with an open shell: partner-exchange weights PW(J,I) and the
  // off-diagonal Lagrange multipliers μ(J,I) (hartree) of φ_J in the
  // equation of shell I, NSH × NSH by columns; empty for closed shells.
  int NSH = 0;
  std::vector<double> partner, lagrange;
  const Coupling* open = nullptr;  // the term's coupling
  // Rotation of the open shell against the closed ones: 0 model-curvature
  // step, 1 exact minimum, 2 no turn and one multiplier q·⟨φ_k|F_o|φ_o⟩ in
  // both equations.
  int IROT = 0;
  const double* partner_weights(int I) const { return partner.empty() ? nullptr : partner.data() + (I - 1) * NSH; }
  // The driver sizes TT for its largest shell before the first sweep, so
  // that views taken of it stay valid.
  lib::Mat tt(int n) {
    if (TT.size() < static_cast<std::size_t>(n) * n) TT.resize(static_cast<std::size_t>(n) * n);
    return lib::Mat(TT.data(), n, n);
  }
  lib::Fac fac() const { return lib::Fac(F.data(), kFactorials); }
};

// Largest number of energy trials of one solve; a solve that needs more
// stops the run (it is caught between a pole and a root, or the energy runs
// away).
inline constexpr int kMaxTrials = 2000;

// The solver's view of the shell being updated.
struct ShellSolve {
  int ISH = 0;
  int MODE = 0;  // 0 norm rule, 2 defect rule, 1 operator's dialogue
  int NIT = 1;   // the wave whose series is normalised by the defect rule
  double EPS = 0.0;
};

// Solves the equations of shell solve.ISH (PD, st.TT, source: columns n+1 … 2n
// of XN) for its energy EI and waves (written into X), by the rule of
// solve.MODE and the energy search `search`.  The listing receives the norm
// rule's orientation notes.
void DESYG(const RunTables& t, const Shells& s, const ShellSolve& solve, double& EI, UpdateState& st,
           EnergySearch& search, const ShellWork& w, io::Unit& listing);

// Replaces the waves, the energy and the norm of shell ISH by the solution of
// its Hartree–Fock equations in the field of all shells (AC, BC: columns ISH
// of AHF and BHF; JOR the orthogonality table).
void DHFSI0(const RunTables& t, const Shells& s, int ISH, int MODE, double EPS, lib::CVec AC, lib::CVec BC,
            lib::CIMat JOR, UpdateState& st, EnergySearch& search, const ShellWork& w, io::Unit& listing);

}  // namespace scf

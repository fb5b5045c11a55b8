// What the shell update keeps from one call to the next: the energy
// bracket and the defect rule's step, the exchange pass, the η² matrix and
// the factorials, the stores of the field, and an open shell's multipliers.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "lib/views.hpp"
#include "scf/angular.hpp"
#include "scf/energy_search.hpp"
#include "scf/equations.hpp"

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
  std::vector<double> pairs;       // multipoles of the exchange pair densities of one update
  std::vector<double> projection;  // IROT = 2: sources φ_J and solutions of the open shell's projected solve
  DensityMultipoles direct;        // multipoles of each shell's density, reused while its orbital stays
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
  // Closed shells (IPROJ = 1): each solve kept orthogonal to the other
  // shells of its symmetry inside it, once the last sweep moved the
  // energies by less than a hartree (`settling`): from AlF's start of
  // separated ions the projected solve of its 2π in the first sweep found
  // no energy in 2000 trials.
  int IPROJ = 0;
  bool settling = false;
  const double* partner_weights(int I) const { return partner.empty() ? nullptr : partner.data() + (I - 1) * NSH; }
  // The driver sizes TT for its largest shell before the first sweep, so
  // that views taken of it stay valid.
  lib::Mat tt(int n) {
    if (TT.size() < static_cast<std::size_t>(n) * n) TT.resize(static_cast<std::size_t>(n) * n);
    return lib::Mat(TT.data(), n, n);
  }
  lib::Fac fac() const { return lib::Fac(F.data(), kFactorials); }
};

}  // namespace scf

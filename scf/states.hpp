// The bound states of one shell's homogeneous equations, counted by the
// sign of the determinant of the discretised problem: the determinant is a
// polynomial in the energy (no poles) and changes sign at every eigenvalue.
// Below the ground state of the united atom, −(Z1+Z2)²/2, no one-electron
// state of the two centres can lie; the sign there is the reference.
#pragma once

#include <array>

#include "lib/views.hpp"
#include "scf/fixed_energy.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/work_slices.hpp"

namespace scf {

struct UpdateState;
class EnergySearch;

class StateCounter {
 public:
  // The equations of shell ISH as the shell update has built them (PD, the
  // η² matrix of st, the source columns of XN, which the count ignores).
  StateCounter(const RunTables& t, const Shells& s, int ISH, UpdateState& st, EnergySearch& search, const ShellWork& w);

  // 5 % below the united atom's ground state (1 for hydrogen-like charges).
  double floor() const;
  // Sign of the determinant at E: one solve of the homogeneous equations.
  int sign_at(double E) const;
  // Signs of the determinant at E1 and E2, the two solves on two threads.
  std::array<int, 2> signs_at(double E1, double E2) const;
  // Whether an odd number of eigenvalues lies below E.
  bool odd_below(double E);
  // Eigenvalue number `rank`: the signs are followed upwards in steps of 5 %
  // and the rank-th change is bisected until the search holds the state
  // placed, at the latest to rounding (`exact`: a shell without a source in
  // its final field, whose state is its energy).
  double locate(int rank, bool exact = false);

 private:
  void set_reference(int sign);
  // The equations of the shell; the count reads only the sign of their
  // determinant, which the source does not change.
  ShellEquations equations() const { return {s_.M(ISH_), n_, TT_, PD_, S_}; }
  const RunTables& t_;
  const Shells& s_;
  int ISH_, n_;
  lib::CMat TT_;
  lib::CArr3 PD_;
  lib::CMat S_;
  const ShellWork& w_;
  UpdateState& st_;
  EnergySearch& search_;
  int ref_ = 0;  // sign below all states (0: not yet known)
};

// Rank of shell ISH in its symmetry: 1 + the number of earlier shells of the
// same M and L0 (the shells of one symmetry are listed by increasing energy).
int rank_in_symmetry(const Shells& s, int ISH);

// Energy of the bound state number `rank` (1 = lowest) of the homogeneous
// equations of shell ISH: the determinant of the discretised equations
// changes sign at every eigenvalue; its signs are counted upwards from below
// the united-atom ground state −(Z1+Z2)²/2, and the rank-th change is
// bisected as the search places a state.
double locate_state(const RunTables& t, const Shells& s, int ISH, int rank, UpdateState& st, EnergySearch& search,
                    const ShellWork& w);

}  // namespace scf

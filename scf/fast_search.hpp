// The fast energy search (ISRCH = 0): secant and Illinois steps on the
// written rule's direction, states handed over once bracketed, solutions
// judged by their orbitals, damped and extrapolated sweeps.
#pragma once

#include <array>
#include <vector>

#include "scf/diis.hpp"
#include "scf/energy_search.hpp"
#include "scf/superlinear_search.hpp"

namespace scf {

// The fast search (ISRCH = 0).  Its state: the steps of the present pass,
// and per shell the determinant sign below all its states (no eigenvalue
// crosses that energy as the field of the other shells changes, so it is
// kept from sweep to sweep instead of solved for at every parity test) and
// whether its last norm-rule solve stayed on its branch; between sweeps the
// start of the sweep and the DIIS history.
class FastSearch final : public EnergySearch {
 public:
  double stop_at(double EPS) const override;
  void restart() override { step_ = SuperlinearSearch(); }
  double defect_step(int k, double E, double DX, EnergyBracket& b, DefectStep& d) override;
  double norm_step(int k, double E, double T, double C, double CN, EnergyBracket& b) override;
  bool state_placed(double lo, double hi, bool exact) const override;
  int floor_sign(int ISH) const override { return floor_sign_[ISH - 1]; }
  void keep_floor_sign(int ISH, int sign) override { floor_sign_[ISH - 1] = sign; }
  BranchJudgement judgement(int ISH, bool norm_with_orbital) const override;
  void note_settled(int ISH, bool settled) override { settled_[ISH - 1] = settled; }
  void sweep_starts(const Shells& s) override;
  void sweep_ended(int sweep, double dE, const SweepContext& c) override;

 private:
  SuperlinearSearch step_;
  std::array<int, 16> floor_sign_{};
  std::array<bool, 16> settled_{};
  std::vector<double> x_in_;  // orbitals the present sweep started from
  SweepDiis diis_;
  bool extrapolated_ = false;  // the last sweep started from an extrapolation
  double dE_prev_ = 0.0;       // change of the energies in the sweep before
  // Damping of the rough sweeps (x_in + β·(x_out − x_in)): β = kDamping
  // until they have overshot once.  CO: 21 sweeps (27 with plain sweeps
  // before DIIS, which started at 0.5; factors 0.6–0.8 and starts 1–2
  // hartree give 21–24); N2 unchanged at 13.
  static constexpr double kDamping = 0.7;
  double damping_ = kDamping;
};

}  // namespace scf

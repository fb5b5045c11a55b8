#include "scf/sweeps.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/answers.hpp"
#include "scf/energy.hpp"
#include "scf/open_shell.hpp"
#include "scf/overlap.hpp"
#include "scf/update.hpp"

namespace scf {

namespace {

void console_table(const char* label, lib::CVec v) {
  io::console().line(label);
  io::console().line(io::fstring(io::Format("(5E15.7)"), v));
}

// The iteration: the sweeps, the update of a shell within a sweep, and what
// happens to the open shell and the orbitals between two sweeps.
class SweepIteration {
 public:
  SweepIteration(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st, EnergySearch& search,
                 const UpdateSlices& w, io::Unit& listing)
      : t_(t),
        s_(s),
        run_(run),
        st_(st),
        search_(search),
        w_(w),
        listing_(listing),
        con_(io::console()),
        between_{t, s, run, st, w, occupations(s, run.coef.AHF, run.coef.BHF).closed && run.MI(2) == 1} {
    for (int I = 1; I <= s.NSH; ++I) EOLD_[I - 1] = s.E(I);
  }
  void first_multipliers();
  int sweeps(int max_sweeps);

 private:
  double change() const;
  void one_sweep();
  void update(int IS, int ISH);
  void orthogonalise(int ISH);
  void rotate_open_shell(double dE);
  void between_sweeps(int sweep, double dE);
  ShellWork open_work() const { return w_.of(s_.n(st_.open->open.shell), t_.NB); }

  const RunTables& t_;
  const Shells& s_;
  const RunSettings& run_;
  UpdateState& st_;
  EnergySearch& search_;
  const UpdateSlices& w_;
  io::Unit& listing_;
  io::Console& con_;
  std::array<double, 16> EOLD_{};
  // What the search may do to the orbitals between two sweeps.
  const SweepContext between_;
};

// The sum of the changes of the orbital energies since the last sweep.
double SweepIteration::change() const {
  double d = 0.0;
  for (int I = 1; I <= s_.NSH; ++I) d += std::fabs(EOLD_[I - 1] - s_.E(I));
  return d;
}

// IROT = 2 restarted with every orbital: the first sweep takes the pair's
// multiplier from the orbitals read (without it the closed shell's solve
// turns the pair away: CN restarted from its own result moved 5σ by 0.01).
void SweepIteration::first_multipliers() {
  if (st_.open != nullptr && st_.IROT == 2 && run_.MI(2) == 1) {
    bool all = true;
    for (int I = 1; I <= s_.NSH; ++I) all = all && s_.CN(I) != 0.0 && s_.E(I) != 0.0;
    if (all) open_shell_step(t_, s_, run_.coef, *st_.open, st_, open_work(), false);
  }
}

// The update of shell ISH, the IS-th of the sweep: the solve, the Schmidt
// orthogonalisation to the shells of JOR (MI(4) = 1), the check of its norm
// and its normalisation (MI(2) = 1).
void SweepIteration::update(int IS, int ISH) {
  const int NPW = s_.n(ISH), NB = t_.NB;
  int MODE = run_.MI(3);
  if (run_.MI(5) == 0 && IS == 1) MODE = 2;
  const ShellWork sw = w_.of(NPW, NB);
  update_shell(t_, s_, ShellSolve{ISH, MODE, 1, run_.EPS}, run_.coef, st_, search_, sw, listing_);
  if (run_.MI(4) == 1) orthogonalise(ISH);
  if (!(s_.CN(ISH) > 0.0) || !std::isfinite(s_.CN(ISH))) {
    io::stop(io::fstring(io::Format("(' SHELL',I3,' HAS NO NORM AFTER ITS UPDATE: CN =',E12.4)"), ISH, s_.CN(ISH)));
  }
  if (run_.MI(2) == 1) {
    const double c = 1.0 / std::sqrt(s_.CN(ISH));
    s_.CN(ISH) = 1.0;
    lib::scale(NB * NPW, c, s_.waves(ISH).flat());
  }
}

// Schmidt orthogonalisation of shell ISH to every shell J with JOR(J,ISH) = 1.
void SweepIteration::orthogonalise(int ISH) {
  const int NPW = s_.n(ISH), NB = t_.NB;
  const lib::Mat XI = s_.waves(ISH);
  const lib::CMat TT = st_.tt(NPW);
  auto ov = [&](lib::CMat X1, lib::CMat X2) {
    return shell_overlap(t_.overlap_grid(), TT, X1, X2, w_.WK.col(5), w_.WK.col(6));
  };
  for (int J = 1; J <= s_.NSH; ++J) {
    // A shell without an orbital yet has nothing to be orthogonal to.
    if (J == ISH || run_.coef.JOR(J, ISH) != 1 || s_.CN(J) == 0.0) continue;
    const lib::Mat XJ = s_.X.colsFrom(s_.LK(J), NPW);
    const double O = ov(XI, XJ);
    con_.line(io::lstring(" overlap, CN(ISH), CN(J) =", O, s_.CN(ISH), s_.CN(J)));
    for (int p = 1; p <= NPW; ++p) lib::add_scaled(NB, -O / s_.CN(J), XJ.col(p), XI.col(p));
    const double O2 = ov(XI, XJ);
    s_.CN(ISH) = ov(XI, XI);
    con_.line(io::lstring(" after orthogonalisation:", O2, s_.CN(ISH)));
  }
}

// One sweep over the shells (in the dialogue, MI(3) = 1, the operator names
// each; a shell number of 0 or less ends the sweep).
void SweepIteration::one_sweep() {
  const int NSH = s_.NSH;
  for (int IS = 1; IS <= NSH; ++IS) {
    console_table("cn = ", s_.CN.sub(1, NSH));
    console_table(" E = ", s_.E.sub(1, NSH));
    int ISH = IS;
    if (run_.MI(3) == 1) {
      con_.line(io::lstring(" I = ", IS));
      ISH = ask_integer("  IS = ? ");
      if (ISH > NSH) io::stop(io::fstring(io::Format("(' IS =',I5,': THERE ARE ONLY',I3,' SHELLS')"), ISH, NSH));
    }
    if (ISH <= 0) break;
    update(IS, ISH);
    con_.line(" Mi(3) -?");
  }
}

// The rotation of the open shell against the closed shells of its
// symmetry.  While the sweeps still move the energies by a hartree (the
// damped start) it waits: the orbitals are not yet those of their shells.
void SweepIteration::rotate_open_shell(double dE) {
  const int o = st_.open->open.shell;
  for (const OpenPair& p : open_shell_step(t_, s_, run_.coef, *st_.open, st_, open_work(), dE < 1.0)) {
    con_.line(io::lstring(" open shell", o, " and shell", p.closed, ": dE/dtheta", p.gradient, " rotated by", p.theta));
    if (st_.IROT == 1 && dE < 1.0)
      con_.line(io::lstring("   fitted dE/dtheta", p.fitted_gradient, " energy lowered by", -p.lowered));
  }
}

// Between two sweeps: the open shell's rotation and multipliers, and what
// the search does to the orbitals.
void SweepIteration::between_sweeps(int sweep, double dE) {
  const bool open = st_.open != nullptr && run_.MI(2) == 1;
  st_.settling = dE < 1.0;
  // With IROT = 1 the rotation is part of the sweep it follows, and the
  // extrapolation between sweeps combines turned orbitals.  (CN from CO's
  // orbitals with the turn after the extrapolation ran away after a dozen
  // sweeps; with it before, the sweeps come to a standstill in which the
  // solves undo each turn.)
  if (open && st_.IROT == 1) rotate_open_shell(dE);
  search_.sweep_ended(sweep, dE, between_);
  if (open) {
    // (IROT = 2 turns nothing: its multipliers turn the pair in the solves;
    // the gradient is printed.)
    if (st_.IROT != 1) rotate_open_shell(dE);
    // The multipliers from the orbitals the next sweep starts from: those
    // of the orbitals before the rotation would make it undo the rotation.
    open_shell_step(t_, s_, run_.coef, *st_.open, st_, open_work(), false);
    // Multipliers of orbitals that are not yet their shells' would push
    // the next sweep anywhere: none during the damped start.
    if (dE >= 1.0) std::fill(st_.lagrange.begin(), st_.lagrange.end(), 0.0);
  }
}

int SweepIteration::sweeps(int max_sweeps) {
  const int NSH = s_.NSH;
  for (int sweep = 1;; ++sweep) {
    search_.sweep_starts(s_);
    if (sweep > max_sweeps) {
      io::stop(io::fstring(io::Format("(' NO SELF-CONSISTENCY AFTER',I5,' SWEEPS: THE ENERGIES STILL MOVE BY',"
                                      "E12.4,' (EPS =',E10.2,')')"),
                           max_sweeps, change(), run_.EPS));
    }
    one_sweep();
    console_table("cn = ", s_.CN.sub(1, NSH));
    console_table(" E = ", s_.E.sub(1, NSH));
    const double dE = change();
    con_.line(io::lstring(" sweep", sweep, " change of the energies", dE));
    if (dE < run_.EPS) {
      con_.line(io::lstring(" self-consistent after", sweep, " sweeps"));
      return sweep;
    }
    for (int I = 1; I <= NSH; ++I) EOLD_[I - 1] = s_.E(I);
    between_sweeps(sweep, dE);
  }
}

}  // namespace

int iterate_shells(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st, EnergySearch& search,
                   const UpdateSlices& w, io::Unit& listing, int max_sweeps) {
  SweepIteration it(t, s, run, st, search, w, listing);
  it.first_multipliers();
  return it.sweeps(max_sweeps);
}

}  // namespace scf

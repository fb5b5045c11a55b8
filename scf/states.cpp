#include "scf/states.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "scf/energy_search.hpp"
#include "scf/fixed_energy.hpp"
#include "scf/update_state.hpp"

namespace scf {

StateCounter::StateCounter(const RunTables& t, const Shells& s, int ISH, UpdateState& st, EnergySearch& search,
                           const ShellWork& w)
    : t_(t),
      s_(s),
      ISH_(ISH),
      n_(s.n(ISH)),
      TT_(st.tt(n_)),
      PD_(w.PD.data(), t.NB, n_, n_),
      S_(w.XN.colsFrom(n_ + 1, n_)),
      w_(w),
      st_(st),
      search_(search),
      ref_(search.floor_sign(ISH)) {}

double StateCounter::floor() const { return -0.525 * std::max(1.0, t_.ZS * t_.ZS); }

int StateCounter::sign_at(double E) const {
  ++st_.trials;
  return solve_at_energy(t_, equations(), Matching{}, t_.RZ2 * E, FixedEnergyWork{w_.CX, w_.WC, w_.WK}, lib::Mat())
      .det_sign;
}

// The signs at E1 and E2 at once: the second solve on a thread of its own,
// with its own copy of the work arrays (its sign is the one a solve on the
// shell's own arrays gives: the solve reads only the equations).  One thread
// solves them in turn.
std::array<int, 2> StateCounter::signs_at(double E1, double E2) const {
  const int NA = t_.NA, NB = t_.NB, NCF = NA * n_;
  const long wk = static_cast<long>(NB) * w_.WK.cols(), cx = static_cast<long>(NCF) * NCF, wc = w_.WC.size();
  double* spare = st_.spare_for(wk + cx + wc);
  const lib::Mat WK2(spare, NB, w_.WK.cols());
  const lib::Vec CX2(spare + wk, static_cast<int>(cx)), WC2(spare + wk + cx, static_cast<int>(wc));
  std::array<int, 2> sign{};
  std::array<std::exception_ptr, 2> failed{};
  const double ER[2] = {t_.RZ2 * E1, t_.RZ2 * E2};
#pragma omp parallel for schedule(static, 1) num_threads(2)
  for (int k = 0; k < 2; ++k) {
    try {
      const FixedEnergyWork work = k == 0 ? FixedEnergyWork{w_.CX, w_.WC, w_.WK} : FixedEnergyWork{CX2, WC2, WK2};
      sign[k] = solve_at_energy(t_, equations(), Matching{}, ER[k], work, lib::Mat()).det_sign;
    } catch (...) {
      failed[k] = std::current_exception();
    }
  }
  for (const std::exception_ptr& f : failed)
    if (f) std::rethrow_exception(f);
  return sign;
}

bool StateCounter::odd_below(double E) {
  if (ref_ == 0) set_reference(sign_at(floor()));
  return sign_at(E) != ref_;
}

// The walk upwards in steps of 5 % reads the signs one energy after the
// other; they are taken two at a time (the energies of the walk are fixed
// in advance) when OpenMP offers two threads, and a sign beyond the state
// sought is not counted as a trial, so the walk, its result and the trial
// count are those of one sign at a time.
double StateCounter::locate(int rank, bool exact) {
  const double Etop = -1.0e-3;
  double E = floor();
  int s0 = sign_at(E), count = 0;
  set_reference(s0);
  const bool two_threads = omp_get_max_threads() > 1;
  auto no_state = [&] {
    io::stop(io::fstring(io::Format("(' SHELL',I3,': NO BOUND STATE NUMBER',I3,' OF M =',I2,', L0 =',I3,"
                                    "' BELOW',E10.2)"),
                         ISH_, rank, s_.M(ISH_), s_.L0(ISH_), Etop));
  };
  auto bisect = [&](double lo, double hi) {
    for (int k = 0; k < 200; ++k) {
      const double mid = 0.5 * (lo + hi);
      if (mid == lo || mid == hi) break;
      if (search_.state_placed(lo, hi, exact)) break;
      if (sign_at(mid) == s0)
        lo = mid;
      else
        hi = mid;
    }
    return 0.5 * (lo + hi);
  };
  for (;;) {
    const double E1 = 0.95 * E, E2 = 0.95 * E1;
    if (E1 > Etop) no_state();
    std::array<int, 2> sign{};
    const bool pair = E2 <= Etop && two_threads;
    if (pair) {
      sign = signs_at(E1, E2);
      st_.trials += 1;  // the first; the second is counted when it is read
    } else {
      sign[0] = sign_at(E1);
    }
    if (sign[0] != s0 && ++count == rank) return bisect(E, E1);
    s0 = sign[0];
    E = E1;
    if (!pair) continue;
    ++st_.trials;
    if (sign[1] != s0 && ++count == rank) return bisect(E, E2);
    s0 = sign[1];
    E = E2;
  }
}

void StateCounter::set_reference(int sign) {
  ref_ = sign;
  search_.keep_floor_sign(ISH_, sign);
}

int rank_in_symmetry(const Shells& s, int ISH) {
  int rank = 1;
  for (int J = 1; J < ISH; ++J)
    if (s.M(J) == s.M(ISH) && s.L0(J) == s.L0(ISH)) ++rank;
  return rank;
}

double locate_state(const RunTables& t, const Shells& s, int ISH, int rank, UpdateState& st, EnergySearch& search,
                    const ShellWork& w) {
  return StateCounter(t, s, ISH, st, search, w).locate(rank);
}

}  // namespace scf

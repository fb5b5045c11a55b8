#include "scf/states.hpp"

#include <algorithm>
#include <cmath>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "scf/fixed_energy.hpp"
#include "scf/search.hpp"
#include "scf/update.hpp"

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
  return DESY0(t_, 1, n_, s_.M(ISH_), 1, 1.0, t_.RZ2 * E, TT_, PD_, S_, w_.CX, w_.WC, w_.WK, lib::Mat()).det_sign;
}

bool StateCounter::odd_below(double E) {
  if (ref_ == 0) set_reference(sign_at(floor()));
  return sign_at(E) != ref_;
}

double StateCounter::locate(int rank, bool exact) {
  const double Etop = -1.0e-3;
  double E = floor();
  int s0 = sign_at(E), count = 0;
  set_reference(s0);
  for (;;) {
    const double En = 0.95 * E;
    if (En > Etop) {
      io::stop(io::fstring(io::Format("(' SHELL',I3,': NO BOUND STATE NUMBER',I3,' OF M =',I2,', L0 =',I3,"
                                      "' BELOW',E10.2)"),
                           ISH_, rank, s_.M(ISH_), s_.L0(ISH_), Etop));
    }
    const int s1 = sign_at(En);
    if (s1 != s0 && ++count == rank) {
      double lo = E, hi = En;
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
    }
    s0 = s1;
    E = En;
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

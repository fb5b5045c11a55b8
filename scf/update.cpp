#include "scf/update.hpp"

#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/one_electron.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/answers.hpp"

namespace scf {

namespace {

// The one-electron and direct terms of the equations of shell ISH into PD,
// kept in PX for the exchange passes; the source columns of XN cleared.
void one_electron_and_direct_terms(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, UpdateState& st,
                                   const ShellWork& w) {
  io::Console& con = io::console();
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NB = t.NB;
  const lib::Vec B(st.B.data(), 4);
  B(1) = 1.0;
  con.line(io::lstring(t.HB, t.HA, t.H12()));
  const lib::Arr3 PD(w.PD.data(), NB, n, n), PX(w.PX.data(), NB, n, n);
  const lib::Mat TT = st.tt(n);
  lib::fill(NB * n * n, 0.0, PD.flat());
  lib::fill(NB * 2 * n, 0.0, w.XN.colsFrom(1, 2 * n).flat());
  lib::fill(n * n, 0.0, TT.flat());
  one_electron_equations(NB, lib::WaveSet{M, L0, n, t.ISYM}, t.one_electron(), t.R,
                         lib::VecView<double, 0>(st.F.data(), kFactorials), w.WK, TT, PD);
  con.line(" mmm=");
  add_direct_terms(t, s, ISH, AC, st.fac(), B, w, &st.direct);
  lib::copy(NB * n * n, PD.flat(), PX.flat());
}

// The solve of one exchange pass: the source of the exchange with the other
// shells, the off-diagonal term of the partner JOFF (the last shell JOR
// keeps ISH orthogonal to, multiplier OFF = 0) and an open shell's Lagrange
// terms, the solve and the new norm.  An interactive update (MODE 1) may
// retry with another partner and multiplier from the operator.
void solve_with_partner(const RunTables& t, const Shells& s, const ShellSolve& solve, lib::CIMat JOR, UpdateState& st,
                        EnergySearch& search, const ShellWork& w, io::Unit& listing) {
  io::Console& con = io::console();
  const int ISH = solve.ISH, n = s.n(ISH), NB = t.NB;
  const lib::Mat TT = st.tt(n);
  double OFF = 0.0;
  int JOFF = 0;
  for (int J = 1; J <= s.NSH; ++J)
    if (JOR(J, ISH) == 1) JOFF = J;
  for (;;) {
    lib::copy(NB * n, w.XN.colsFrom(1, n).flat(), w.XN.colsFrom(n + 1, n).flat());
    if (JOFF != 0) add_off_diagonal_term(t, OFF, TT, s.waves(JOFF), w.XN.colsFrom(n + 1, n));
    // Open shell: the Lagrange terms μ·φ_J that keep it and the closed
    // shells of its symmetry orthogonal (their operators differ).
    for (int J = 1; J <= s.NSH && !st.lagrange.empty(); ++J) {
      const double mu = st.lagrange[(ISH - 1) * st.NSH + (J - 1)];
      if (mu != 0.0) add_off_diagonal_term(t, t.RZ2 * mu, TT, s.waves(J), w.XN.colsFrom(n + 1, n));
    }
    con.line(io::lstring(" EPS =", solve.EPS));
    solve_shell(t, s, solve, s.E(ISH), st, search, w, listing);
    s.CN(ISH) = overlap_in_work(t, w, n, TT, s.waves(ISH), s.waves(ISH));
    con.line(io::lstring(" Iss=", JOFF, JOFF != 0 ? s.LK(JOFF) : 0));
    if (JOFF != 0) {
      con.line(io::lstring(" overlap with shell", JOFF, overlap_in_work(t, w, n, TT, s.waves(ISH), s.waves(JOFF))));
    }
    // The operator may retry with another partner and multiplier; only an
    // interactive update asks (a batch run must not wait for an answer).
    if (JOFF == 0 || solve.MODE != 1) {
      con.line(" OFFDN = ");
      return;
    }
    if (ask_integer(" OFFDN = ") != 1) return;
    const std::vector<double> v = ask_reals(" JOFF, OFF = ", 2);
    JOFF = static_cast<int>(v[0]);
    OFF = v[1];
    if (JOFF != v[0] || JOFF < 0 || JOFF > s.NSH || (JOFF != 0 && !s.same_symmetry(ISH, JOFF))) {
      io::stop(io::fstring(io::Format("(' JOFF =',E12.4,': THE PARTNER MUST BE A SHELL OF THE SAME M, L0 AND N, "
                                      "OR 0')"),
                           v[0]));
    }
  }
}

}  // namespace

// One update of shell ISH: equations (one_electron_equations, direct terms),
// exchange pass, partner step with the optional off-diagonal Lagrange term,
// solve (solve_shell) and the new norm.
void update_shell(const RunTables& t, const Shells& s, const ShellSolve& solve, const ShellCoefficients& coef,
                  UpdateState& st, EnergySearch& search, const ShellWork& w, io::Unit& listing) {
  io::Console& con = io::console();
  const int ISH = solve.ISH, n = s.n(ISH), NB = t.NB;
  one_electron_and_direct_terms(t, s, ISH, coef.AHF.col(ISH), st, w);
  const lib::Vec B(st.B.data(), 4);
  const lib::Arr3 PD(w.PD.data(), NB, n, n), PX(w.PX.data(), NB, n, n);
  ExchangePass& x = st.exchange;
  x.FAC = 1.0;

  for (;;) {
    if (x.JHF != 0) {
      lib::copy(NB * n * n, PX.flat(), PD.flat());
      lib::fill(NB * n, 0.0, w.XN.colsFrom(1, n).flat());
    }
    con.line(io::lstring(" JHF =", x.JHF));
    add_exchange_terms(t, s, ISH, ExchangeCoefficients{coef.BHF.col(ISH), x.FAC, st.partner_weights(ISH)}, st.fac(), B,
                       w, &st.pairs);
    con.line(io::fstring(io::Format("('ISH=',2I3)"), ISH));
    solve_with_partner(t, s, solve, coef.JOR, st, search, w, listing);
    x.JHF = 0;
    if (solve.MODE == 1)
      x.JHF = ask_integer("  JHF=?");
    else
      con.line("  JHF=?");
    if (x.JHF == 1) continue;
    if (x.JHF == 0) {
      con.line(io::lstring(" E(", ISH, ")=", s.E(ISH)));
      return;
    }
    x.JHF = x.JHF + 1;
    con.line(io::fstring(io::Format("('    HF  ',I3)"), x.JHF));
    return;
  }
}

}  // namespace scf

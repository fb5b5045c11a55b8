#include "scf/update.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/listdir.hpp"
#include "io/stop.hpp"
#include "lib/lib.hpp"
#include "scf/answers.hpp"
#include "scf/fixed_energy.hpp"
#include "scf/grid.hpp"
#include "scf/search.hpp"

namespace scf {

// Relative steps EI → (1 − H)·EI while the defect keeps its sign (the step
// turns round when |DX| grows), then bisection of the bracket [E1, E2] in
// which DX changes sign: linear convergence, one bit per trial.
void EITD(int& IT, double& H, double& T1, double& T2, double DX, double& E1, double& E2, double& EI) {
  if (IT == 0) {
    IT = 1;
    E1 = EI;
    T1 = DX;
    T2 = DX;
    io::console().line(io::lstring(" IT, H =", IT, H));
    return;
  }
  const double P = T1 * DX;
  if (P > 0.0 && std::fabs(DX) > std::fabs(T1)) H = -H;
  if (P < 0.0) {
    E2 = E1;
    T2 = T1;
    E1 = EI;
    T1 = DX;
    EI = (E2 + E1) / 2.0;
  } else if (T2 * DX < 0.0) {
    E1 = EI;
    T1 = DX;
    EI = (E2 + E1) / 2.0;
  } else {
    E1 = EI;
    T1 = DX;
    T2 = DX;
    EI = (1.0 - H) * E1;
    io::console().line(io::lstring(" IT, -H =", IT, -H));
  }
}

namespace {

// Two work columns for the overlaps, beyond the recurrence matrices of CPYP0.
lib::Vec work_column(const ShellWork& w, int n, int k) { return w.WK.col(n * n + n + 2 + k); }

double overlap(const RunTables& t, const ShellWork& w, int n, lib::CMat TT, lib::CMat X1, lib::CMat X2) {
  return FOVI(n, n, t.NA, t.NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), work_column(w, n, 1),
              work_column(w, n, 2), X1, X2);
}

bool same_symmetry(const Shells& s, int I, int J) { return s.M(I) == s.M(J) && s.L0(I) == s.L0(J) && s.n(I) == s.n(J); }

// Leading series coefficient c_1 of wave NIT of the shell's present orbital,
// from its inner values: c_1 = Σ_i WW(i,1)·X(i)/(ξ_i²−1)^(|M|/2).
double leading_coefficient(const RunTables& t, lib::CMat X, int M, int NIT) {
  const lib::CVec VV = t.VV.col(std::abs(M) + 1);
  double c1 = 0.0;
  for (int i = 1; i <= t.NA; ++i) c1 += t.WW(i, 1) * X(i, NIT) / VV(i);
  return c1;
}

}  // namespace

bool on_own_branch(double kept, std::span<const double> others, bool in_order) {
  if (!in_order || !(kept >= kKeptOnBranch)) return false;
  return std::all_of(others.begin(), others.end(), [](double o) { return std::fabs(o) <= kOtherOnBranch; });
}

namespace {

// The eigenvalues of the homogeneous equations of one shell, counted by the
// sign of the determinant of the discretised problem: the determinant is a
// polynomial in the energy (no poles) and changes sign at every eigenvalue.
// Below the ground state of the united atom, −(Z1+Z2)²/2, no one-electron
// state of the two centres can lie; the sign there is the reference.
class StateCounter {
 public:
  StateCounter(const RunTables& t, const Shells& s, int ISH, UpdateState& st, const ShellWork& w)
      : t_(t),
        s_(s),
        ISH_(ISH),
        n_(s.n(ISH)),
        TT_(st.tt(n_)),
        PD_(w.PD.data(), t.NB, n_, n_),
        S_(w.XN.colsFrom(n_ + 1, n_)),
        w_(w),
        st_(st) {
    if (st.ISRCH == 0) ref_ = st.floor_sign[ISH - 1];
  }

  double floor() const { return -0.525 * std::max(1.0, t_.ZS * t_.ZS); }
  int sign_at(double E) const {
    ++st_.trials;
    return DESY0(t_, 1, n_, s_.M(ISH_), 1, 1.0, t_.RZ2 * E, TT_, PD_, S_, w_.CX, w_.WC, w_.WK, lib::Mat()).det_sign;
  }
  // Whether an odd number of eigenvalues lies below E.
  bool odd_below(double E) {
    if (ref_ == 0) set_reference(sign_at(floor()));
    return sign_at(E) != ref_;
  }
  // Eigenvalue number `rank`: the signs are followed upwards in steps of 5 %
  // and the rank-th change is bisected, to rounding by the written rules
  // (ISRCH = 1), otherwise to kPlaced relative: the shell solve takes over
  // from there.  A shell without a source in its final field (`exact`) is
  // bisected to rounding by both searches: its state is the eigenvalue
  // itself, and the matching defect of a state of high momentum varies too
  // slowly beside its root (hydrogen 3d about the midpoint: the defect falls
  // below 1e-10 some 1.5e-9 from the eigenvalue) to place it within EPS.
  double locate(int rank, bool exact = false) {
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
          if (st_.ISRCH == 0 && !exact && hi - lo < kPlaced * std::fabs(mid)) break;
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

 private:
  // Relative width at which the superlinear search hands a bracketed state
  // to the shell solve.  A wider bracket (1e-5) saves a few trials, but the
  // defect rule of a one-electron shell then settles beside its root
  // (hydrogen 2p on a focus 5e-4 off).
  static constexpr double kPlaced = 1.0e-7;
  void set_reference(int sign) {
    ref_ = sign;
    if (st_.ISRCH == 0) st_.floor_sign[ISH_ - 1] = sign;
  }
  const RunTables& t_;
  const Shells& s_;
  int ISH_, n_;
  lib::CMat TT_;
  lib::CArr3 PD_;
  lib::CMat S_;
  const ShellWork& w_;
  UpdateState& st_;
  int ref_ = 0;
};

// Rank of shell ISH in its symmetry: 1 + the number of earlier shells of the
// same M and L0 (the shells of one symmetry are listed by increasing energy).
int rank_in_symmetry(const Shells& s, int ISH) {
  int rank = 1;
  for (int J = 1; J < ISH; ++J)
    if (s.M(J) == s.M(ISH) && s.L0(J) == s.L0(ISH)) ++rank;
  return rank;
}

// Σ_p ∫ X_p·S_p over the grid (Simpson on each region; the stored forms
// make the outer integrand u_p·S_p in dx).  Negative when the exchange with
// the other shells binds the orbital more than the local field alone.
double orbital_times_source(const RunTables& t, lib::CMat X, lib::CMat S, lib::Vec work) {
  lib::VEQC(t.NB, 0.0, work);
  for (int p = 1; p <= X.cols(); ++p) lib::VSM3(t.NB, X.col(p), S.col(p), work);
  return lib::FINS(t.NA, t.HA, work.sub(1, t.NA), lib::Build::scf) +
         lib::FINS(t.NB - t.NA, t.HB, work.sub(t.NA + 1, t.NB - t.NA), lib::Build::scf);
}

}  // namespace

double locate_state(const RunTables& t, const Shells& s, int ISH, int rank, UpdateState& st, const ShellWork& w) {
  return StateCounter(t, s, ISH, st, w).locate(rank);
}

// Energy rules.  Defect rule (MODE 2): the energy at which the first wave,
// its series normalised, joins the outer solution (an eigenvalue when the
// equations are homogeneous).  Norm rule (MODE 0): the energy at which the
// solution of the inhomogeneous equations has the norm CN(ISH) the shell had;
// the exchange source is linear in the old orbital, so at self-consistency
// both give the Hartree–Fock energy.  Both rules have a solution beside every
// eigenvalue ("pole") of the homogeneous equations; the shell's own is the
// one beside the pole of its rank in its symmetry.  So a shell without an
// orbital (CN = 0, or a zero energy that no relative step can move) is first
// placed on the state of its rank, a start or a result on the branch of
// another state is moved beside the shell's own pole, and a shell whose
// equations have no source (the norm-rule solution would vanish) takes the
// defect rule.
void DESYG(const RunTables& t, const Shells& s, const ShellSolve& solve, double& EI, UpdateState& st,
           const ShellWork& w, io::Unit& listing) {
  io::Console& con = io::console();
  const int ISH = solve.ISH, n = s.n(ISH), M = s.M(ISH), NB = t.NB;
  const lib::CMat TT = st.tt(n);
  const lib::CArr3 PD(w.PD.data(), NB, n, n);
  const lib::CMat S = w.XN.colsFrom(n + 1, n);
  const lib::Mat X = s.waves(ISH);

  con.line(io::lstring(" EPS =", solve.EPS));
  con.line(io::fstring(io::Format("(' NLI=',5I3)"), s.LK(ISH), ISH, s.LK(1)));
  st.B = {1.0, 0.0, 0.0, 0.0};
  const lib::Mat saved(st.saved.data(), NB, n);
  lib::VEVR(NB * n, X.flat(), saved.flat());
  EnergyBracket& b = st.bracket;
  b.T1 = 0.0;
  b.T2 = 0.0;
  st.defect.H = 0.01;
  con.line(io::lstring(" itr =", solve.MODE));

  int k = 0;
  int mode = (solve.MODE == 0 || solve.MODE == 2) ? solve.MODE : 1;
  int IFL = mode == 0 ? 1 : 0;
  double C1 = 1.0;
  int trials = 0;
  // The superlinear search closes in on its root within a trial or two of
  // the written rules' stopping point, so it stops at a tenth of EPS: its
  // energies then lie within EPS of the written rules' (the stop at EPS left
  // the N2 core shells 6e-8 from the self-consistent values, the written
  // rules 4e-8 on the other side).
  const double tol = st.ISRCH == 0 ? 0.1 * solve.EPS : solve.EPS;

  // One solve at EI with the trace of step 5; returns the defect.
  auto solve_at = [&](double& C) {
    ++st.trials;
    if (++trials > kMaxTrials) {
      io::stop(io::fstring(io::Format("(' SHELL',I3,': NO ENERGY FOUND IN',I5,' TRIALS; LAST E =',E16.8)"), ISH,
                           kMaxTrials, EI));
    }
    con.line(io::lstring(" itr,ipa =", mode, IFL));
    const FixedEnergySolution sol = DESY0(t, IFL, n, M, solve.NIT, C1, t.RZ2 * EI, TT, PD, S, w.CX, w.WC, w.WK, X);
    if (mode == 2 && std::fabs(sol.DX) < tol) return sol;
    ++k;
    C = overlap(t, w, n, TT, X, X);
    con.line(io::lstring(" E =", EI));
    con.line(" CX =");
    con.line(io::fstring(io::Format("(5E13.4)"), lib::CVec(sol.series.data(), std::min(t.NA, 6))));
    con.line(io::fstring(io::Format("(' Norm_new = ',E15.7)"), C));
    con.line(io::fstring(io::Format("(' I(Xnew*X)= ',E15.7)"), overlap(t, w, n, TT, X, saved)));
    for (int J = 1; J <= s.NSH; ++J) {
      if (J == ISH || !same_symmetry(s, ISH, J) || s.CN(J) == 0.0) continue;
      con.line(io::fstring(io::Format("(' I_ov ',I3,'-',I3,E15.6)"), ISH, J, overlap(t, w, n, TT, X, s.waves(J))));
    }
    return sol;
  };

  if (mode == 1) {
    // The operator's dialogue: IPA chooses the matching of all waves (≠ 0) or
    // the normalised first wave (0); then energies until ICX ends it.
    IFL = ask_integer(" IPA= ") != 0 ? 1 : 0;
    con.line(" ITR = ");
    for (;;) {
      con.line(io::lstring(" last value of the first wave:", X(NB, 1)));
      EI = ask_real(" EE =");
      double C = 0.0;
      solve_at(C);
      if (ask_integer("  ICX= ") != 1) return;
    }
  }

  StateCounter counter(t, s, ISH, st, w);
  const int rank = rank_in_symmetry(s, ISH);
  const bool source = std::any_of(S.flat().begin(), S.flat().end(), [](double v) { return v != 0.0; });
  // A state without a source is its eigenvalue, placed to rounding, once
  // its field is final; while other shells still have no orbital (the
  // first sweep of a many-shell run) the field is provisional and the next
  // sweep moves the energy by far more than the shell solve's bracket.
  bool field_complete = true;
  for (int J = 1; J <= s.NSH; ++J)
    if (J != ISH && s.CN(J) == 0.0) field_complete = false;
  const bool exact_state = !source && field_complete;
  // Side of the pole on which the solution lies: below it when the exchange
  // with the other shells binds (then the norm grows towards the pole, Q < 0).
  double Qexpected = -1.0;
  // Number of eigenvalues below the solution, modulo 2.
  auto rank_parity_ok = [&](double E) {
    const int below = source && Qexpected > 0.0 ? rank : rank - 1;
    return counter.odd_below(E) == (below % 2 == 1);
  };
  auto relocate = [&](const char* why) {
    const double E0 = counter.locate(rank, exact_state);
    EI = source ? E0 * (1.0 - 1.0e-3 * Qexpected) : E0;
    con.line(io::lstring(" shell", ISH, why, " state", rank, " of its symmetry lies at", E0));
  };

  bool relocated = false;
  const double Estart = EI;
  // A shell settled on its branch: with the exchange source the poles below
  // the orbital energy need not number rank − 1 (the source can bind the
  // orbital below several of them), so near self-consistency the branch is
  // judged by the orbital itself.
  const bool trusted = st.ISRCH == 0 && mode == 0 && source && s.CN(ISH) != 0.0 && EI != 0.0 && st.settled[ISH - 1];
  // Under the superlinear search a norm-rule solve of a shell with an
  // orbital is first tried from where it stands and its solution judged by
  // the orbitals (on_own_branch); the count of poles decides only when that
  // judgement fails.  Sent back to the pole of its rank at every sweep, the
  // 4σ and 5σ of CO fell on the branches of 3σ and 4σ and the energies swung
  // by 2 hartree a sweep.
  const bool by_orbital = st.ISRCH == 0 && mode == 0 && source && s.CN(ISH) != 0.0 && EI != 0.0;
  if (s.CN(ISH) == 0.0 || EI == 0.0) {
    EI = counter.locate(rank, exact_state);
    relocated = true;
    con.line(io::lstring(" shell", ISH, " has no orbital yet: state", rank, " of its symmetry at E =", EI));
    mode = 2;
  } else {
    if (mode == 0 && !source) {
      con.line(" no source term: the energy follows the matching defect");
      mode = 2;
    }
    if (source) {
      Qexpected = orbital_times_source(t, X, S, w.WK.col(n * n + n + 3)) < 0.0 ? -1.0 : 1.0;
      // A start between the wrong pair of poles belongs to another state.
      if (!by_orbital && !rank_parity_ok(EI)) {
        relocate(": its energy lies on the branch of another state;");
        relocated = true;
      }
    }
  }
  IFL = mode == 0 ? 1 : 0;
  if (mode == 2 && source && s.CN(ISH) != 0.0) {
    // The source scales with the old orbital: normalise the new series like it.
    const double c1 = leading_coefficient(t, X, M, solve.NIT);
    if (c1 != 0.0 && std::isfinite(c1)) C1 = c1;
  }

  // The automatic rules; returns when the test value is below EPS.
  // The superlinear search (ISRCH = 0) starts afresh with every pass; it
  // takes over from the written step from the second trial on (the first
  // trial's orientation of the norm is provisional).
  SuperlinearSearch search;
  const bool fast = st.ISRCH == 0;
  auto steer = [&](double Eold, double T) {
    if (fast && k >= 2) EI = search.next(Eold, T, EI);
  };
  auto iterate = [&] {
    search = SuperlinearSearch();
    k = 0;
    b.T1 = 0.0;
    b.T2 = 0.0;
    st.defect.H = 0.01;
    for (;;) {
      double C = 0.0;
      const FixedEnergySolution sol = solve_at(C);
      const double Eold = EI;
      if (mode == 2) {
        if (std::fabs(sol.DX) < tol) return;
        EITD(st.defect.IT, st.defect.H, b.T1, b.T2, sol.DX, b.E1, b.E2, EI);
        steer(Eold, sol.DX);
        if (EI == Eold && k > 1) {
          // The bracket has shrunk to adjacent numbers: a root is accepted,
          // a pole (the defect passing through infinity) is not.
          if (std::fabs(sol.DX) < 1.0e-6) return;
          io::stop(io::fstring(io::Format("(' SHELL',I3,': THE DEFECT CHANGES SIGN THROUGH A POLE AT E =',E16.8)"), ISH,
                               EI));
        }
        continue;
      }
      if (std::fabs(EI) >= 1000.0) ask_integer("  ICX= ");
      // Norm rule.
      const double CN = s.CN(ISH);
      double T = (C - CN) / CN;
      if (k <= 2) {
        // The orientation of the norm: at the first trial from the side of
        // the pole on which the solution lies (the previous trial belonged
        // to another shell), at the second from the two trials of this solve.
        b.Q = k == 1 ? Qexpected : -(C - b.Cprev) * (EI - b.E1);
        if (k == 2 && (b.Q > 0.0) != (Qexpected > 0.0) && !relocated && !trusted) {
          // Moving away from the pole: the walk follows the branch of a
          // neighbouring state.  Restart beside the shell's own pole.
          relocate(": its norm falls towards its pole;");
          relocated = true;
          search = SuperlinearSearch();
          k = 0;
          b.T1 = 0.0;
          b.T2 = 0.0;
          continue;
        }
        if (b.Q > 0.0) io::lwrite(listing, " Cn_Is,CN(ISH) =", C, CN, T);
      }
      if (b.Q > 0.0) T = -T;
      con.line(io::lstring(C - CN, CN, (C - CN) / CN));
      if (std::fabs(T) < tol) return;
      if (k > 1 && T * b.T1 < 0.0) {
        b.E2 = b.E1;
        b.T2 = b.T1;
        b.E1 = EI;
        b.T1 = T;
        EI = (b.E2 + b.E1) / 2.0;
      } else if (k > 1 && T * b.T2 < 0.0) {
        b.E1 = EI;
        b.T1 = T;
        EI = (b.E2 + b.E1) / 2.0;
      } else {
        b.E1 = EI;
        b.Cprev = C;
        if (k >= 2) {
          b.T1 = T;
          b.T2 = T;
        }
        EI = EI * (1.0 + 0.002 * (T > 0.0 ? 1.0 : -1.0));
        con.line(" SUMX = ");
      }
      // Near the pole the norm grows as 1/(E − E_pole)²: the secant follows
      // 1 − sqrt(CN/C), linear there, with the sign of T.
      steer(Eold, std::copysign(std::fabs(1.0 - std::sqrt(CN / C)), T));
      if (EI == Eold) {
        // The bracket cannot be halved further: the norm is as close as the
        // arithmetic allows.
        if (std::fabs(T) < 1.0e-6) return;
        io::stop(io::fstring(io::Format("(' SHELL',I3,': THE NORM CANNOT BE MATCHED NEAR E =',E16.8)"), ISH, EI));
      }
    }
  };

  iterate();
  // Overlap of the new orbital with the one the solve started from, both
  // normalised (states of one symmetry are orthogonal: a jump to another
  // state shows as a small overlap; the solution beyond the pole, on the
  // other side of it, as a change of sign).
  auto kept = [&] {
    const double a = overlap(t, w, n, TT, X, X), c = overlap(t, w, n, TT, saved, saved);
    return a > 0.0 && c > 0.0 ? overlap(t, w, n, TT, X, saved) / std::sqrt(a * c) : 0.0;
  };
  // The normalised overlaps with the other shells of the symmetry and the
  // order of the energies, for on_own_branch.
  auto own_branch = [&] {
    std::array<double, 16> o{};
    int m = 0;
    bool in_order = true;
    const double a = overlap(t, w, n, TT, X, X);
    if (!(a > 0.0)) return false;
    for (int J = 1; J <= s.NSH; ++J) {
      if (J == ISH || !same_symmetry(s, ISH, J) || s.CN(J) == 0.0) continue;
      const lib::CMat XJ = s.waves(J);
      o[m++] = overlap(t, w, n, TT, X, XJ) / std::sqrt(a * overlap(t, w, n, TT, XJ, XJ));
      if (J < ISH ? EI <= s.E(J) : EI >= s.E(J)) in_order = false;
    }
    return on_own_branch(kept(), std::span<const double>(o.data(), m), in_order);
  };
  if (trusted) {
    if (kept() < 0.9) {
      relocate(": its orbital left the state it started on;");
      relocated = true;
      iterate();
    }
  } else {
    // The result must lie between the poles of the shell's rank; otherwise it
    // belongs to another state: once more from beside the shell's own pole.
    // (Just below a root of the homogeneous equations lie rank − 1 eigenvalues.)
    const double probe = source ? EI : EI - (1.0e-6 * std::fabs(EI) + 10.0 * solve.EPS);
    if (!relocated && !(by_orbital && own_branch()) && !rank_parity_ok(probe)) {
      relocate(": the solution belongs to another state;");
      relocated = true;
      iterate();
    }
  }
  if (st.ISRCH == 0) {
    st.settled[ISH - 1] =
        mode == 0 && source && s.CN(ISH) != 0.0 && std::fabs(EI - Estart) < 0.02 * std::fabs(Estart) && kept() > 0.99;
  }
}

// One update of shell ISH: equations (MASH, direct terms), exchange pass,
// partner step with the optional off-diagonal Lagrange term, solve (DESYG)
// and the new norm.
void DHFSI0(const RunTables& t, const Shells& s, int ISH, int MODE, double EPS, lib::CVec AC, lib::CVec BC,
            lib::CIMat JOR, UpdateState& st, const ShellWork& w, io::Unit& listing) {
  io::Console& con = io::console();
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NB = t.NB;
  const lib::Vec B(st.B.data(), 4);
  B(1) = 1.0;
  con.line(io::lstring(t.HB, t.HA, t.H12()));
  const lib::Arr3 PD(w.PD.data(), NB, n, n), PX(w.PX.data(), NB, n, n);
  const lib::Mat TT = st.tt(n);
  lib::VEQC(NB * n * n, 0.0, PD.flat());
  lib::VEQC(NB * 2 * n, 0.0, w.XN.colsFrom(1, 2 * n).flat());
  lib::VEQC(n * n, 0.0, TT.flat());
  MASH(NB, M, L0, n, t.ISYM, kFactorials, t.ZP, t.ZM, w.WK, t.R, lib::VecView<double, 0>(st.F.data(), kFactorials), TT,
       PD, t.EXACT);
  con.line(" mmm=");
  add_direct_terms(t, s, ISH, AC, st.fac(), B, w);
  lib::VEVR(NB * n * n, PD.flat(), PX.flat());
  ExchangePass& x = st.exchange;
  x.FAC = 1.0;

  for (;;) {
    if (x.JHF != 0) {
      lib::VEVR(NB * n * n, PX.flat(), PD.flat());
      lib::VEQC(NB * n, 0.0, w.XN.colsFrom(1, n).flat());
    }
    con.line(io::lstring(" JHF =", x.JHF));
    add_exchange_terms(t, s, ISH, BC, x.FAC, st.fac(), B, w);
    con.line(io::fstring(io::Format("('ISH=',2I3)"), ISH));

    double OFF = 0.0;
    int JOFF = 0;
    for (int J = 1; J <= s.NSH; ++J)
      if (JOR(J, ISH) == 1) JOFF = J;
    for (;;) {
      lib::VEVR(NB * n, w.XN.colsFrom(1, n).flat(), w.XN.colsFrom(n + 1, n).flat());
      if (JOFF != 0) OFFDI(n, NB, OFF, TT, t.R.col(2), t.R.col(3), s.waves(JOFF), w.XN.colsFrom(n + 1, n));
      con.line(io::lstring(" EPS =", EPS));
      DESYG(t, s, ShellSolve{ISH, MODE, 1, EPS}, s.E(ISH), st, w, listing);
      s.CN(ISH) = overlap(t, w, n, TT, s.waves(ISH), s.waves(ISH));
      con.line(io::lstring(" Iss=", JOFF, JOFF != 0 ? s.LK(JOFF) : 0));
      if (JOFF != 0) {
        con.line(io::lstring(" overlap with shell", JOFF, overlap(t, w, n, TT, s.waves(ISH), s.waves(JOFF))));
      }
      // The operator may retry with another partner and multiplier; only an
      // interactive update asks (a batch run must not wait for an answer).
      if (JOFF == 0 || MODE != 1) {
        con.line(" OFFDN = ");
        break;
      }
      if (ask_integer(" OFFDN = ") != 1) break;
      const std::vector<double> v = ask_reals(" JOFF, OFF = ", 2);
      JOFF = static_cast<int>(v[0]);
      OFF = v[1];
      if (JOFF != v[0] || JOFF < 0 || JOFF > s.NSH || (JOFF != 0 && !same_symmetry(s, ISH, JOFF))) {
        io::stop(io::fstring(io::Format("(' JOFF =',E12.4,': THE PARTNER MUST BE A SHELL OF THE SAME M, L0 AND N, "
                                        "OR 0')"),
                             v[0]));
      }
    }
    x.JHF = 0;
    if (MODE == 1)
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

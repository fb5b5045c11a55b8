// The state of the static-exchange solver shared by its parts: the
// equations of the channel (static_exchange.cpp), their solution at one
// energy (exchange_equations.cpp), the matching to the ion's asymptotic
// functions (asymptotic_matching.cpp) and the bound states (bound_states.cpp).
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "chan/coupled.hpp"
#include "chan/dense_algebra.hpp"
#include "chan/exchange_operator.hpp"
#include "chan/static_exchange.hpp"
#include "lib/angular_coefficients.hpp"

namespace chan {

struct Asymptote;  // the ion's asymptotic channels at one energy (asymptotic_matching.cpp)
struct OpenSet;    // the open solutions of a computed set and their K matrix (asymptotic_matching.cpp)
struct Kept;       // the amplitudes of the kept eigenchannels (asymptotic_matching.cpp)

// A spatial orbital of the ground state: a shell's radial columns with
// projection +M or −M, its norm on the grid and its weight in the exchange
// operator.
struct FrozenOrbital {
  int shell = 0;
  std::array<int, 3> desc{};  // (M, L0, n), M signed
  double norm = 1.0;
  double exchange = 0.0;
};

struct StaticExchange::Impl {
  const Grid& g;
  const GroundState& gs;
  Molecule mol;
  int NSI;
  Waves w;
  ExchangeOptions opt;
  int n = 0, NB = 0, NA = 0;
  std::array<int, 3> fdesc{};
  std::vector<ShellField> field;  // the ion's field per shell: opt.field, or the closed-shell one
  std::vector<FrozenOrbital> orb;
  std::vector<std::vector<double>> ortho;  // occupied orbitals of the final symmetry on its waves, normalised
  std::vector<double> pd, tt;              // (NB,n,n) one-electron and direct part, (n,n) η² matrix
  std::array<double, 81> fc{};             // 0! … 80!; 3j symbols past 80! read no table (wigner_3j)
  std::array<double, lib::kFactorials> f99{};
  double C1 = 0.0;
  double Zion = 0.0, ZPion = 0.0, ZMion = 0.0, electrons_seen = 0.0, electrons = 0.0;
  // Work of the multipole routines.
  std::vector<double> wc, cx, wk, z, qq, b4;
  int nz = 0;
  std::unique_ptr<ExchangeOperator> xop;
  std::vector<Diagnostics> diag;
  std::vector<Bound> bounds;
  int lanczos_steps = 0;
  // GMRES accuracy of the bound-state problems, and the most Lanczos steps.
  static constexpr double kBoundEps = 1e-10;
  // K asymmetry above which a block is made again with the set's last
  // orthonormal point kShiftRows points further in.
  static constexpr double kAsymmetryRetry = 1e-4;
  static constexpr int kShiftRows = 7;
  static constexpr int kLanczos = 120;
  static constexpr int kSpare = 3;

  Impl(const Grid& g_, const GroundState& gs_, const Molecule& mol_, int NSI_, const Waves& w_,
       const ExchangeOptions& o)
      : g(g_), gs(gs_), mol(mol_), NSI(NSI_), w(w_), opt(o) {
    n = w.n;
    NB = g.NB;
    NA = g.NA;
    fdesc = {w.M, w.L0, w.n};
    lib::fill_factorials(80, lib::VecView<double, 0>(fc.data(), 81));
    C1 = -kPi * mol.RZ * mol.RZ;
    choose_field();
    build_orbitals();
    size_work();
    build_equations();
    build_exchange();
  }

  // The exchange operator of the orbitals with a non-zero weight.
  void build_exchange();

  // LAPACK, or the written elimination on the reference path.
  Algebra algebra() const { return opt.reference ? Algebra::written : Algebra::library; }
  lib::Fac F() const { return lib::Fac(fc.data(), 81); }
  lib::CMat R2() const { return g.R().colsFrom(2, 7); }

  // The field of opt.field, or without it the closed-shell one: every
  // shell's electrons, one fewer in the ionised shell, exchange −1 on each
  // orbital but +1 on the hole's orbital +M (singlet coupling); an ionised
  // open shell of one electron left empty (no direct field, no exchange).
  void choose_field();

  void build_orbitals();

  void size_work();

  // One-electron and angular terms (one_electron_equations), then the direct field of the
  // ion's electrons: shell s with d_s = field.direct electrons adds
  // −(RZ²/2)·(d_s/N_s)·[(ξ² − η²)·V_s]_{pq} to the coupling, V_s the
  // potential of its density.
  void build_equations();

  double orb_norm(int s) const;

  // Electrons of shell s (projection M) in the ground state: 2 or 4, or
  // those of the ionised open shell.
  double shell_electrons(int s, int M) const {
    return s == NSI && opt.open_electrons > 0 ? opt.open_electrons : M == 0 ? 2.0 : 4.0;
  }

  // Lagrange source of orbital o: col3·[ξ²·X_o − Σ_q TT(q,p)·X_o,q], the
  // stored form of (ξ² − η²)·φ_o.
  void lagrange_source(const std::vector<double>& xo, lib::Mat S) const;

  // The radial problem of the ion's field for separation constant lam at c².
  Radial ion_radial(double lam, double c2) const;

  double ov(const std::vector<double>& xo, lib::CMat X) const;

  // Everything the solutions at one energy share: the propagator, the
  // regular set without exchange, the Lagrange solutions and the inverse of
  // their overlaps with the occupied orbitals.
  struct AtEnergy {
    double E = 0.0;
    std::unique_ptr<Propagator> P;
    std::vector<double> hset, chi, Oinv;
    mutable ExchangeOperator::Work xw;  // scratch of the exchange operator at this energy
  };
  // `last`: the point where the set is orthonormal and the particular
  // solutions free of it (0: the last point of the grid).
  void prepare(double E, AtEnergy& a, int last = 0) const;
  // Adds the Lagrange solutions that make each of the ns solutions in X
  // orthogonal to the occupied orbitals: ψ_j += Σ_o ε_oj·χ_o, ε = −O⁻¹·⟨φ|ψ_j⟩.
  void orthogonalise(const AtEnergy& a, int ns, lib::Mat X) const;
  bool has_exchange() const;
  // x ← the solution of (I − Π·G·K)·y = x by GMRES to the relative residual tol.
  void solve_exchange(const AtEnergy& a, double* x, double tol, Diagnostics& d) const;
  // The n regular solutions of the full equations into psi (NB, n·n), with
  // the GMRES steps and residual in d.
  void regular_solutions(const AtEnergy& a, std::vector<double>& psi, Diagnostics& d, double tol) const;
  // The regular particular solution of the full equations for the source
  // (NB, n, Numerov form), free of the regular set at the end.
  void particular_solution(const AtEnergy& a, const std::vector<double>& source, std::vector<double>& p, Diagnostics& d,
                           double tol);
  // The asymptotic channels at c² = (RZ²/2)·E and the matching points.
  Asymptote asymptote(double c2) const;
  // The block at momentum k and what it found; touches nothing else, so
  // that blocks of different energies can be made at the same time.
  Diagnostics block(double k, int NL, Block& b) const;
  // The regular solutions of the full equations at momentum k into psi
  // (NB, n·n) and their open set: made a second time with the set's last
  // orthonormal point further in when the K matrix of the first comes out
  // asymmetric, the better of the two kept.
  Diagnostics regular_set(double k, const Asymptote& as, std::vector<double>& psi, OpenSet& os) const;
  // The kept eigenchannels as combinations of the computed solutions PSI,
  // with their far amplitudes, eigenphases and means, into b (sized by the
  // caller); returns the largest overlap of a kept function with an
  // occupied orbital of the final symmetry.
  double kept_solutions(const Asymptote& as, const OpenSet& os, const Kept& kp, lib::CMat PSI, Block& b) const;
  struct Frame;
  // The frame at E; `local`: the regular solutions without exchange and
  // Lagrange terms (the direct field of the ion only).
  void bound_frame(double E, Frame& f, bool local = false);
  // Rayleigh-quotient iteration from (E, x), `fixed` plain inverse
  // iterations first, the states in `found` (count of them, each len
  // words) projected out; x and E the state on success.
  bool polish(double& E, std::vector<double>& x, int fixed, const std::vector<double>& states, int found, double Elo,
              Frame& f);
  void channel_pair(const Frame& f, lib::CMat X, int i, double& ya, double& yb) const;
  std::vector<double> growing(const Frame& f, lib::CMat X) const;
  std::vector<double> response(Frame& f, const std::vector<double>& x);
  // A starting pair (E, x) of the bound-state search; `fixed` plain inverse
  // iterations before the Rayleigh quotient is used (none for a settled
  // Ritz pair, whose vector is already that of its state).
  struct BoundStart {
    double E;
    std::vector<double> x;
    int fixed;
  };
  void lanczos_starts(int count, double Elo, double Ehi, const std::vector<double>& start,
                      std::vector<BoundStart>& starts);
  void direct_field_starts(int count, double Elo, double Ehi, const std::vector<double>& start,
                           std::vector<BoundStart>& starts);
  int bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec E);
  void tail_integrals(Frame& f) const;
  std::vector<double> tail_amplitudes(const Frame& f, lib::CMat X) const;
  double full_overlap(Frame& f, const double* x, const double* y) const;
};

}  // namespace chan

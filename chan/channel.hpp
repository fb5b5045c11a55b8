// Continuum functions of one ionisation channel on the radial grid of the
// photoionisation programs, and the files that carry them.
//
// A channel is an ionised shell of the ground state and a final state of
// projection M with NX partial waves L0, L0+KD, ….  At each momentum k of the
// channel's grid the program keeps NL real standing-wave solutions, regular
// at ξ = 1, normalised to δ(E − E′) in hartree and in eigenchannel form (the
// K-matrix relative to the Coulomb functions of the ion is diagonal).  Far
// out, partial wave K of solution JL behaves as
//   sqrt(ξ²−1)·X_K(ξ) → (2/sqrt(π·RZ·c))·[AS(K,JL)·sin θ + AC(K,JL)·cos θ],
//   θ = c·ξ + (Zion·RZ/(2c))·ln(2cξ),  c = k·RZ/2,
// that is X_K → sqrt(2/(πk))·(1/r)·[AS·sin(kr + (Zion/k)·ln 2kr) + AC·cos(…)]
// with r = (RZ/2)·ξ; Σ_K (AS² + AC²) = 1 for every solution.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "chan/spheroidal.hpp"
#include "io/unit.hpp"
#include "lib/ground_state.hpp"
#include "lib/partial_waves.hpp"
#include "lib/radial_solver.hpp"
#include "lib/views.hpp"

namespace chan {

using lib::CIVec;
using lib::IVec;

// Inner grid points of the photoionisation programs, and the projections
// their series tables cover (0 … 4).
inline constexpr int kNA = lib::kNA;
inline constexpr int kProjections = 5;

// The grid of the photoionisation programs: length_form_grid and velocity_form_grid from NA, NB and
// RP, then inner_series_tables on the length-form table (rows 1 … NA rewritten, first
// point 1 + 1e-9), the series tables for projections 0 … 4 and WW, the
// inverse of the inner power matrix.
struct Grid {
  int NA = 0, NB = 0;
  double HA = 0.0, HB = 0.0, CH = 0.0;
  std::array<double, 10> RP{};
  std::vector<double> r, rv, aa, bb, uu, vv, g, bz, ww;
  std::vector<double> xs;  // ξ of every point, made non-decreasing at the junction

  lib::CMat R() const { return lib::CMat(r.data(), NB, 8); }
  lib::CMat RV() const { return lib::CMat(rv.data(), NB, 8); }
  lib::CMat AA() const { return lib::CMat(aa.data(), NA, kProjections); }
  lib::CMat BB() const { return lib::CMat(bb.data(), NA, kProjections); }
  lib::CMat UU() const { return lib::CMat(uu.data(), NA, NA + 1); }
  lib::CMat VV() const { return lib::CMat(vv.data(), NA, kProjections); }
  lib::CMat G() const { return lib::CMat(g.data(), 2, kProjections); }
  lib::CVec BZ() const { return lib::CVec(bz.data(), 5); }
  lib::CMat WW() const { return lib::CMat(ww.data(), NA, NA); }
  CVec xi() const { return CVec(xs.data(), NB); }
  // The grid and its series tables as the library routines take them.
  lib::RadialGrid radial() const { return {NA, NB, HA, HB, CH, 0}; }
  lib::SeriesTables series() const { return {G(), AA(), BB(), VV(), UU(), WW(), BZ()}; }
  // Scale g of point i: stored value = physical value / g (1 at inner points).
  double scale(int i) const { return r[static_cast<size_t>(5 * NB + i - 1)]; }
};
Grid make_grid(int NA, int NB, const std::array<double, 10>& RP);

// The partial waves of one function: projection M and momenta L0 + (p−1)·KD.
using Waves = lib::WaveSet;

// The ground-state file: group S00 and the orbitals.
struct GroundState {
  lib::GroundStateGroup s00;
  std::string FIL;
  std::array<std::string, 10> FIR{};
  std::vector<int> LK;           // NSH + 1 start columns
  std::vector<double> E, CN, X;  // energies, norms, X(NB, NKS)
  int NSH() const { return s00.NSH; }
  int NB() const { return s00.NB; }
  Waves shell(int s, int KD) const;
  lib::CMat waves(int s) const;
};
// Reads group S00 and the orbital block from `u` and checks them.
void read_ground_state(io::Unit& u, GroundState& gs);

// Momentum step of the partial waves: 2 for equal charges (within 0.001, the
// rule of the photoionisation programs), 1 otherwise.
int momentum_step(double Z1, double Z2);

// One energy block of a channel file.
struct Block {
  double k = 0.0, E = 0.0;
  int NL = 0, NX = 0;
  std::vector<double> X;       // (NB, NL·NX), stored form
  std::vector<double> AC, AS;  // (NX, NL)
  std::vector<double> lam;     // mean asymptotic separation constant of each solution
  std::vector<double> phase;   // phase of each solution relative to θ (bare) or eigenphase τ
  lib::Mat x(int NB) { return lib::Mat(X.data(), NB, NL * NX); }
  lib::CMat x(int NB) const { return lib::CMat(X.data(), NB, NL * NX); }
};

// The molecule: charges and distance.
struct Molecule {
  double Z1 = 0.0, Z2 = 0.0, RZ = 0.0;
};

// ---------------------------------------------------------------- bare nuclei (bare_nuclei.cpp)
// The exact continuum of the two centres at momentum k.  The
// NL separated solutions of lowest λ, each R_i(ξ)·Σ_p U(p,i)·Y(L_p, M),
// normalised to δ(E − E′); AS = U·cos δ_i, AC = U·sin δ_i.
void bare_block(const Grid& grid, const Molecule& mol, const Waves& w, double k, int NL, Block& b);

// Bound states of the bare nuclei in the symmetry `w` below `Emax`, lowest
// first: `count` states, each with its radial nodes and angular index.
std::vector<BoundState> bare_bound_states(const Molecule& mol, const Waves& w, int count, double Emax);
// The partial waves of a bound state of the bare nuclei in stored form,
// normalised to 1, into X(NB, n).
void bare_bound_waves(const Grid& grid, const Molecule& mol, const Waves& w, const BoundState& b, lib::Mat X);

// Whether the waves `s` have the symmetry of `w`: the same M and, with
// KD = 2, the same parity of L.
bool same_symmetry(const Waves& s, const Waves& w);
// The ND lowest bound states of the bare nuclei in the symmetry `w` below
// Emax that are not occupied in the ground state (a state overlapping an
// occupied orbital of its symmetry by more than half is taken as that
// orbital), normalised, into X(NB, ND·n); their energies into E.
void bare_extra_functions(const Grid& grid, const GroundState& gs, const Molecule& mol, const Waves& w, int ND,
                          double Emax, lib::Mat X, Vec E);

// Overlap (RZ/2)³ ∫∫ (ξ² − η²)·X1·X2 dξ dΩ of two functions of equal M given
// by their partial waves in stored form, with the two-region Simpson rule
// of the photoionisation programs; waves of equal L are paired, and η²
// couples L with L ± 2.
double overlap(const Grid& grid, double RZ, const Waves& w1, lib::CMat X1, const Waves& w2, lib::CMat X2);

}  // namespace chan

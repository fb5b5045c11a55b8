// Continuum functions in the static-exchange field of the ion.
//
// The ground state is a closed shell: a σ shell (M = 0) holds two electrons
// in one spatial orbital, a shell with M > 0 four in the two orbitals ±M.
// One electron leaves the orbital +M of the ionised shell i and the
// photoelectron, singlet-coupled to the hole, moves in
//   V = Σ_{j≠i} (2J_j − K_j) + J_i + K_i = Σ_j (2J_j − K_j) − J_i + 2K_i,
// the sums over spatial orbitals with the orbitals frozen.
//
// Or the ground state has one open shell holding a single electron, and
// that shell is ionised: the ion is closed-shell and the photoelectron
// moves in the field of its closed shells alone, V = Σ_{j≠i} (2J_j − K_j)
// (the determinant of the ion's closed shells and the photoelectron: a
// doublet, no coupling to choose).  The ion's orbitals are the neutral's
// restricted open-shell orbitals, frozen.
//
// Or, for any hole beside or in one open shell, the field of one
// arrangement of an ionic term (chan/ion_coupling.hpp), shell by shell:
//   V = Σ_s [n_s·J_s + x_{s,+M}·K_{s,+M} + x_{s,−M}·K_{s,−M}],
// n_s the electrons of shell s in the ion and x its orbitals' exchange
// coefficients; the two fields above are its closed-shell and one-electron
// cases.  The direct part
// is local and enters the coupled radial equations beside the one-electron
// terms (one_electron_equations, as in the shell equations of the ground state); the exchange
// part is applied to a function through the multipole potentials of orbital
// products (exchange_potential_waves).  Lagrange terms keep the solutions orthogonal to the
// occupied orbitals of their symmetry.
//
// At each energy the regular solutions without exchange are propagated as
// one set kept well-conditioned by re-orthonormalisation (Propagator), so
// that partial waves deep under their centrifugal barriers cannot swamp the
// others.  Each member h of that set is turned into a solution of the full
// equations, ψ = Π·(h + G·K·ψ), G the particular solution free of the set at
// the end of the grid, Π the Lagrange projection; the linear system is
// solved by GMRES.  Beyond the grid the field is the Coulomb field of the
// ion, charge Zion = Z1 + Z2 − N + 1, N − 1 = Σ_s n_s the electrons of its
// direct field (with their dipole for unequal nuclei): above threshold each solution is matched there to the
// regular and irregular functions of that separated problem, below it to
// the decaying ones (bound states).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "chan/channel.hpp"
#include "chan/ion_coupling.hpp"
#include "io/unit.hpp"

namespace chan {

// Zion = Z1 + Z2 − N + 1, N the electrons of the ground state: every shell
// full, except shell `open_shell` (when > 0) with `open_electrons`.
double ion_charge(const GroundState& gs, const Molecule& mol, int open_shell = 0, int open_electrons = 0);

struct ExchangeOptions {
  int NIT = 60;           // most GMRES steps for each solution of the set
  double EPS = 1e-7;      // relative residual of the exchange equations at which GMRES stops
  bool electrons = true;  // false: bare nuclei through the same solver (a check of the solver)
  bool exchange = true;   // false: the direct field of the ion only
  // 1: the ionised shell is the open shell of the ground state with its one
  // electron, and the ion is its closed shells; 0: every shell closed.
  int open_electrons = 0;
  // The ion's field of one arrangement of an ionic term, one entry per shell
  // of the ground state in its order (Arrangement::field); it replaces the
  // field above, open_electrons included.  Empty: the field above.
  std::vector<ShellField> field{};
  // true: the written path, for comparison: the exchange terms through
  // lib::exchange_potential_waves (every angular coefficient formed where it is used), the
  // energies one after the other, the LU factorisations of the matching
  // and Lagrange systems by the written elimination instead of LAPACK, and
  // the bound-state search with inverse iterations from every start and a
  // last step at each state that confirms it.
  bool reference = false;
};

class StaticExchange {
 public:
  StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w,
                 const ExchangeOptions& opt);
  StaticExchange(const Grid& g, const GroundState& gs, const Molecule& mol, int NSI, const Waves& w, int NIT,
                 double EPS);
  ~StaticExchange();
  StaticExchange(const StaticExchange&) = delete;
  StaticExchange& operator=(const StaticExchange&) = delete;

  // The NL eigenchannel solutions at momentum k.
  void block(double k, int NL, Block& b);
  // The blocks of all momenta ks, in parallel over the energies (each
  // block exactly as block() makes it; the diagnostics in the order of ks).
  void blocks(const std::vector<double>& ks, int NL, std::vector<Block>& out);
  // The lowest `count` bound states of the final symmetry in the same field
  // with energies in (Elo, Ehi), Ehi < 0, lowest first: eigenstates of the
  // static-exchange Hamiltonian in the space orthogonal to the occupied
  // orbitals of their symmetry, regular at ξ = 1 and matched at the end of
  // the grid to the decaying solutions of the ion's field, normalised to 1
  // over all space (the part beyond the grid from those decaying
  // solutions), into X(NB, count·n) (stored form) and E(count).  Returns
  // how many were found.  Each energy is exact to rounding (Rayleigh-
  // quotient iteration on the boundary value problem); the starting
  // guesses come from Lanczos on the resolvent and from the states of the
  // direct field alone, so a state far from both could be missed.
  int bound_states(int count, double Elo, double Ehi, lib::Mat X, Vec E);
  // Steps in ν = Zion/sqrt(−2E) of the search for the states of the direct field.
  static constexpr double kBoundStep = 0.02;
  // Of each bound state found: energy, ν and norm on the grid.  (The
  // exchange equations of the last steps are nearly singular by design, the
  // state itself being their near-null solution: its accuracy is that of
  // the energy's convergence, to 1e−10.)
  struct Bound {
    double E = 0.0, nu = 0.0, grid_norm = 0.0;
  };
  const std::vector<Bound>& bound() const;
  // Convergence and checks of every energy, for the listing.
  void report(io::Unit& L) const;

  double Zion() const;
  // What the last block found: GMRES steps, the asymmetry of its K matrix,
  // and the largest overlap of a kept solution with an occupied orbital.
  struct Diagnostics {
    double k = 0.0;
    int iterations = 0;      // most GMRES steps of one solution
    bool converged = false;  // every solution reached EPS within NIT steps
    double change = 0.0;     // largest relative residual
    double k_asymmetry = 0.0;
    double max_overlap = 0.0;
    int open = 0;  // asymptotic channels open at the end of the grid
    // Largest physical value of a kept solution relative to the amplitude
    // A·c^{−1/2} of an energy-normalised wave far out.  Values far above one
    // mean that the solutions are differences of waves grown under their
    // centrifugal barriers, beyond the precision of the propagation.
    double max_value = 0.0;
    bool grown() const { return max_value >= kGrownValue; }
  };
  // Above this largest value (energy-normalised waves stay of order one,
  // a few times that near a strongly attracting nucleus) a block is refused.
  static constexpr double kGrownValue = 50.0;
  const std::vector<Diagnostics>& diagnostics() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> p_;
};

}  // namespace chan

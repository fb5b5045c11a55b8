// The exchange operator of the frozen orbitals applied to a continuum
// function: the multipole potentials of each orbital product and their
// action, with the angular coefficients from a table built once and the
// multipoles of one function pair formed in one pass over the grid.
//
// For a function ψ (partial waves `w`, stored form) it returns, in the
// Numerov form of the coupled equations,
//   S(·, p) = Σ_o f_o·col3·col6·[(ξ² − η²)·φ_o·V(φ_o*·ψ)]_p,
// V(ρ) the potential of the density ρ from its multipoles, exactly as
// lib::exchange_potential_waves computes it orbital by orbital (the same operations on every
// grid point in the same order, so the result agrees to the last bit), and
// the reference path calls lib::exchange_potential_waves itself.
#pragma once

#include <array>
#include <vector>

#include "chan/channel.hpp"
#include "lib/gaunt_table.hpp"

namespace chan {

// One orbital in the exchange operator: its partial waves (M signed), its
// radial columns and its factor f_o.
struct ExchangeOrbital {
  std::array<int, 3> desc{};  // (M, L0, n)
  lib::CMat X;
  double f = 0.0;
};

class ExchangeOperator {
 public:
  // Work of one caller (one thread): the sources, multipoles and the
  // multipole routines' scratch.
  struct Work {
    std::vector<double> src, z, u, v, wc, cx, wk, qq, b4;
  };

  // C1 = −π·RZ², F the factorial table 0! … 80!.
  ExchangeOperator(const Grid& g, const Waves& w, std::vector<ExchangeOrbital> orbitals, double C1, lib::Fac F);

  // S = the exchange source of psi (NB, n), overwritten.  `reference`:
  // through lib::exchange_potential_waves, orbital by orbital.
  void apply(lib::CMat psi, lib::Mat S, Work& work, bool reference = false) const;
  Work work() const;
  bool empty() const { return orb_.empty(); }

 private:
  // A term c·X(·, col) of a projection.
  struct Term {
    int col;
    double c;
  };
  // The terms of one projection Q = R·Σ A·X + Σ B·X (coefficients below 1e-7
  // dropped, as the projection routine does).
  struct Projection {
    std::vector<Term> a, b;
  };
  struct Pair {
    ExchangeOrbital o;
    std::array<int, 3> mnz{};     // multipoles: projection, first λ, count
    int column = 0;               // column of the series tables, |m| + 1
    std::vector<double> P;        // (NB, count) coefficient function of each multipole
    std::vector<double> B2;       // far boundary ratio of each multipole
    std::vector<Projection> in;   // (count × n_o): ψ onto multipole k with orbital wave i2
    std::vector<Projection> out;  // (n × n_o): multipoles onto wave p with orbital wave ic
  };
  void multipoles(const Pair& pr, lib::CMat psi, Work& wk) const;
  void act(const Pair& pr, lib::Mat S, Work& wk) const;
  void reference(const Pair& pr, lib::CMat psi, lib::Mat S, Work& wk) const;

  const Grid& g_;
  Waves w_;
  double C1_;
  lib::Fac F_;
  std::array<int, 3> fdesc_{};
  int nz_ = 0;
  std::vector<Pair> orb_;
};

}  // namespace chan

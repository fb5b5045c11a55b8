// The coupled radial equations of one shell in the field of all shells.
//
// The Hartree–Fock equation of a shell with projection M, multiplied by
// −(RZ²/2)(ξ² − η²) and projected on Y(L_p, M), becomes for its partial waves
// X_p (stored form u_p in the outer region)
//   u_p″ + Σ_q [PD(·,q,p) + ER·col3·(ξ² δ_pq − TT(q,p))] u_q = S_p,   ER = (RZ²/2)·E,
// with the one-electron and angular terms (one_electron_equations), the direct potentials of all
// shells and the self-exchange in PD, and the exchange with the other shells
// (and an optional off-diagonal Lagrange term, add_off_diagonal_term) in the source S.
#pragma once

#include <array>
#include <vector>

#include "lib/one_electron.hpp"
#include "lib/views.hpp"
#include "scf/angular.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/work_slices.hpp"

namespace scf {

// The one-electron and angular part of the equations is a library routine,
// shared with the continuum equations of chanfile (lib/one_electron.hpp).
using lib::one_electron_equations;

// The coefficients of the shell equations: AHF and BHF (NSH × NSH; column I
// holds the direct and exchange coefficients of the equation of shell I)
// and the orthogonality table JOR (JOR(J,I) = 1: shell I is kept orthogonal
// to shell J).
struct ShellCoefficients {
  lib::CMat AHF, BHF;
  lib::CIMat JOR;
};

// Y(·,p) += −OFF·(ξ² − η²)·XJ projected on wave p, in the stored form:
//   Y(i,p) += OFF·col3(i)·[Σ_q TT(q,p)·XJ(i,q) − ξ_i²·XJ(i,p)],
// for the Y.cols() waves of Y on the grid's NB points.
// Legacy name: OFFDI.
void add_off_diagonal_term(const RunTables& t, double OFF, lib::CMat TT, lib::CMat XJ, lib::Mat Y);

// The multipoles of each shell's density |φ_J|², kept from one build of the
// equations to the next: a shell's density changes only when its orbital
// does (once or twice a sweep), while every shell update and every
// operator element between sweeps asks for the field of all shells.  Each
// entry holds the orbital it was computed from, bit for bit; an orbital that
// differs in any bit (a trial solve, an orthogonalisation, a normalisation,
// an extrapolation) is computed afresh, so the field is the one computed
// without the store to the last bit.  Missing entries are computed on the
// threads OpenMP offers, each on its own scratch: the results do not depend
// on the number of threads.
class DensityMultipoles {
 public:
  struct Entry {
    std::vector<double> x;   // the orbital (NB·n_J words) the multipoles belong to
    std::vector<double> v;   // multipoles V_λ, (NB, K)
    std::vector<double> wk;  // scratch of the multipole solver: (NB,6), (NA,NA), (NA,3)
    int K = 0;
    double B1 = 0.0;  // far boundary weight the solver was given
  };
  std::array<Entry, 16> shells;
  long computed = 0, reused = 0;  // multipole sets computed and taken from the store
};

// Direct terms: for every shell J with |AC(J)| ≥ 0.001 and |CN(J)| ≥ 10⁻⁶,
// the potential of its density enters PD with weight −(RZ²/2)·AC(J)/CN(J).
// With `store` the multipoles of the densities are taken from it where the
// orbital has not changed (the same numbers as without it).
void add_direct_terms(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::Fac F, lib::Vec B,
                      const ShellWork& w, DensityMultipoles* store = nullptr);

// The exchange coefficients of the equation of one shell: BC(J) of every
// shell J (column ISH of BHF), the factor FAC of the exchange terms, and
// PW(J), when given, the weight of the exchange with the partner orbital −M_J
// (1 without: closed shells; an open shell's terms set other weights).
struct ExchangeCoefficients {
  lib::CVec BC;
  double FAC = 1.0;
  const double* PW = nullptr;
};

// Exchange terms: for every shell J with |BC(J)| ≥ 0.001 and |CN(J)| ≥ 10⁻⁶,
// the potential of the pair density of ISH and J applied to J; the shell's
// own exchange enters PD, the other shells' the source columns 1 … n of XN.
// With `store` (words grown as needed) the multipole solves of all pair
// densities run first, on the threads OpenMP offers, each into its own
// words, and the terms are then added in the same order: the same numbers.
void add_exchange_terms(const RunTables& t, const Shells& s, int ISH, const ExchangeCoefficients& x, lib::Fac F,
                        lib::Vec B, const ShellWork& w, std::vector<double>* store = nullptr);

}  // namespace scf

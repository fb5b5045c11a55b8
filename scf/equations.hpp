// The coupled radial equations of one shell in the field of all shells.
//
// The Hartree–Fock equation of a shell with projection M, multiplied by
// −(RZ²/2)(ξ² − η²) and projected on Y(L_p, M), becomes for its partial waves
// X_p (stored form u_p in the outer region)
//   u_p″ + Σ_q [PD(·,q,p) + ER·col3·(ξ² δ_pq − TT(q,p))] u_q = S_p,   ER = (RZ²/2)·E,
// with the one-electron and angular terms (one_electron_equations), the direct potentials of all
// shells and the self-exchange in PD, and the exchange with the other shells
// (and an optional off-diagonal Lagrange term, OFFDI) in the source S.
#pragma once

#include <array>
#include <vector>

#include "lib/angular_coefficients.hpp"
#include "lib/one_electron.hpp"
#include "lib/radial_solver.hpp"

namespace lib {
class ExactGauntTable;
class GauntTable;
}  // namespace lib

namespace scf {

// The one-electron and angular part of the equations
// (one_electron_equations), the η and η² elements and the size of the
// factorial table are library routines, shared with the continuum equations
// of chanfile (lib/one_electron.hpp, lib/angular_coefficients.hpp).
using lib::eta2_diagonal;
using lib::eta2_next;
using lib::eta_next;
using lib::kFactorials;
using lib::one_electron_equations;

// Everything about the grid that is fixed once the driver has built it.
struct RunTables {
  int NA = 0, NB = 0;
  int ISYM = 1;           // momentum step: 2 for equal charges, 1 otherwise
  double HA = 0, HB = 0;  // inner step in ξ, outer step in x
  double RZ2 = 0;         // RZ²/2
  double RZ3 = 0;         // (RZ/2)³
  double ZP = 0;          // (Z1 + Z2)·RZ
  double ZM = 0;          // (Z2 − Z1)·RZ
  double ZS = 0;          // Z1 + Z2
  lib::CMat R;            // grid table (NB,7)
  lib::CMat AA, BB, VV;   // inner recurrence and prefactor tables (NA,MM), column |m|+1
  lib::CMat UU;           // powers (ξ_i − 1)^(k−1), (NA,NA+1)
  lib::CMat WW;           // inverse of the inner power matrix (NA,NA)
  lib::CMat G;            // inner–outer matching factors (2,MM)
  lib::CVec BZ;           // far boundary vector of the multipole equations (5)
  int EXACT = 0;          // 1: 2π in the multipole scale and exact η, η² elements
  int IDIF = 0;           // 1: the outer recurrence of the shells in its difference form
  // Angular coefficients of the run, tabulated once (values equal to the
  // calls); none: every projection calls the routines.
  const lib::GauntTable* angular = nullptr;
  // With EXACT = 1 and momenta beyond the factorial table: the Gaunt and η²
  // coefficients from quadrature, in place of the table and the routines.
  const lib::ExactGauntTable* exact = nullptr;
  double H12() const { return 12.0 / (HB * HB); }
  // The grid, the series tables and the one-electron setting as the library
  // routines take them.
  lib::RadialGrid grid() const { return {NA, NB, HA, HB, H12(), IDIF}; }
  lib::SeriesTables series() const { return {G, AA, BB, VV, UU, WW, BZ}; }
  lib::OneElectronSetting one_electron() const { return {ZP, ZM, EXACT}; }
};

// The shells: descriptors (M, L0, n) as columns of MLN, start columns LK of
// their partial waves in X, energies and norms.
struct Shells {
  int NSH = 0;
  lib::CIMat MLN;  // (3,NSH)
  lib::CIVec LK;   // NSH+1
  lib::Mat X;      // (NB,NKS)
  lib::Vec E, CN;  // NSH or more
  int M(int J) const { return MLN(1, J); }
  int L0(int J) const { return MLN(2, J); }
  int n(int J) const { return MLN(3, J); }
  lib::Mat waves(int J) const { return X.colsFrom(LK(J), n(J)); }
};

// The multipole scale −π·RZ² of the Poisson source.  By default π is the
// literal 6.28318/2 that the potentials have always been formed with (it
// weakens the electron repulsion by 8.4e-7 relative); EXACT = 1 takes 2π.
inline double multipole_scale(double RZ2, int EXACT = 0) { return RZ2 * (EXACT == 1 ? -6.283185307179586 : -6.28318); }

// ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ.  EXACT = 0: the table's value (the
// library's without a table); EXACT = 1: the same sum of Gaunt coefficients
// with the exact η² elements and π at full precision.
double eta2_gaunt(const lib::GauntTable* T, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F, int EXACT);

// Multipole potentials Z(·,k), k = 1 … KD, of orders λ = IZ + (k−1)·ISYM and
// projection M1 − M2 of the pair density X1·Y(L1…,M1) × X2·Y(L2…,−M2)
// (X1 with N1 waves from L1, X2 with N2 waves from L2), each the solution of
// its radial Poisson equation with source factor CZ.  R2 is the grid table
// from column 2 on; G, AA, BB, VV the inner columns of the projection; B the
// boundary vector of the radial solver; CX (NA,NA) and WC (NA,3) inner work;
// WK (NB,6) work; EXACT as for eta2_diagonal; IDIF = 1 sweeps the outer
// region in the difference form.
void ZIJK(int NA, int NB, int N1, int N2, int KD, int M1, int M2, int L1, int L2, int IZ, int ISYM, double CZ,
          double H12, lib::CVec BZ, lib::CMat R2, lib::Fac F, lib::CMat X1, lib::CMat X2, lib::CVec G, lib::Vec B,
          lib::CVec AA, lib::CVec BB, lib::CVec VV, lib::CMat UU, lib::CMat WW, lib::Mat CX, lib::Mat WC, lib::Mat WK,
          lib::Mat Z, const lib::GauntTable* angular = nullptr, int EXACT = 0,
          const lib::ExactGauntTable* exact = nullptr, int IDIF = 0);

// Largest momentum and projection the angular coefficients of the shell
// equations of these shells ask for (partial waves, multipole orders and
// their projections), the range of the run's table.
struct AngularRange {
  int LMAX = 0, MMAX = 0;
};
AngularRange angular_range(const Shells& s, int ISYM);

// Y(·,p) += −OFF·(ξ² − η²)·XJ projected on wave p, in the stored form:
//   Y(i,p) += OFF·col3(i)·[Σ_q TT(q,p)·XJ(i,q) − ξ_i²·XJ(i,p)].
void OFFDI(int N, int NB, double OFF, lib::CMat TT, lib::CVec R2, lib::CVec R3, lib::CMat XJ, lib::Mat Y);

// Work slices of one shell update.
struct ShellWork {
  lib::Arr3 PD, PX;  // (NB,n,n)
  lib::Mat WK;       // (NB, n²+n+6 or more)
  lib::Mat XN;       // (NB,2n)
  lib::Mat XE;       // (NB, n+2 or more)
  lib::Vec CX;       // inner systems: (NA·n)² words, or (NA,NA) for the multipole solver
  lib::Vec WC;       // inner work vectors: right-hand sides and series coefficients
};

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

// Exchange terms: for every shell J with |BC(J)| ≥ 0.001 and |CN(J)| ≥ 10⁻⁶,
// the potential of the pair density of ISH and J applied to J; the shell's
// own exchange enters PD, the other shells' the source columns 1 … n of XN.
// PW(J), when given, weighs the exchange with the partner orbital −M_J
// (1 without: closed shells; an open shell's terms set other weights).
// With `store` (words grown as needed) the multipole solves of all pair
// densities run first, on the threads OpenMP offers, each into its own
// words, and the terms are then added in the same order: the same numbers.
void add_exchange_terms(const RunTables& t, const Shells& s, int ISH, lib::CVec BC, double FAC, lib::Fac F, lib::Vec B,
                        const ShellWork& w, const double* PW = nullptr, std::vector<double>* store = nullptr);

}  // namespace scf

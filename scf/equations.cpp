#include "scf/equations.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <span>

#include "lib/angular_coefficients.hpp"
#include "lib/angular_projection.hpp"
#include "lib/build.hpp"
#include "lib/gaunt_exact.hpp"
#include "lib/gaunt_table.hpp"
#include "lib/radial_solver.hpp"
#include "lib/vector_kernels.hpp"

namespace scf {

namespace {
// (−1)^n.
double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

// π as the Gaunt coefficients of the library write it (3.14159265359): their
// values times this factor are those with π at full precision.
const double kGauntPi = std::sqrt(3.14159265359 / 3.141592653589793);

// Gaunt coefficient ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ from the table or the library.
double gaunt(const lib::GauntTable* T, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F) {
  return T != nullptr ? T->gaunt_integral(L1, L2, L3, M1, M2, M3)
                      : lib::gaunt_integral(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
}

// angular_projection of the ground-state build, its Gaunt and η² coefficients read from
// the run's table when there is one: the same operations in the same order,
// so the result is the routine's to the last bit.  EXACT = 1 takes π and the
// η² elements at full precision (eta2_gaunt), or, with momenta beyond the
// factorial table, the coefficients of the exact table G.
void suma(const lib::GauntTable* T, int NB, int NX, int MI, int MJ, int KD, int K0I, int KJ, int K, double C,
          lib::CVec R, lib::CMat X, lib::Fac F, lib::Vec Q1, lib::Vec Q, int EXACT, const lib::ExactGauntTable* G) {
  if (T == nullptr && EXACT == 0 && G == nullptr) {
    lib::angular_projection(NB, lib::PartialWaves{{MI, K0I, NX, KD}, X}, lib::ProductProjection{KJ, MJ, K, C}, R, F, Q1,
                            Q, lib::Build::scf);
    return;
  }
  const double EPS = 1.0e-8;
  const int M3 = MI + MJ;
  for (int j = 1; j <= NB; ++j) {
    Q(j) = 0.0;
    Q1(j) = 0.0;
  }
  for (int i = 1; i <= NX; ++i) {
    const int L = (i - 1) * KD + K0I;
    const double A = (G != nullptr ? G->gaunt_integral(L, KJ, K, MI, MJ, M3)
                      : EXACT == 1 ? kGauntPi * gaunt(T, L, KJ, K, MI, MJ, M3, F)
                                   : T->gaunt_integral(L, KJ, K, MI, MJ, M3)) *
                     C;
    if (std::fabs(A) >= EPS)
      for (int j = 1; j <= NB; ++j) Q(j) = Q(j) + X(j, i) * A;
    const double B = -(G != nullptr ? G->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3)
                       : EXACT == 1 ? eta2_gaunt(T, L, KJ, K, MI, MJ, M3, F, 1)
                                    : T->gaunt_integral_eta2(L, KJ, K, MI, MJ, M3)) *
                     C;
    if (std::fabs(B) >= EPS)
      for (int j = 1; j <= NB; ++j) Q1(j) = Q1(j) + X(j, i) * B;
  }
  for (int j = 1; j <= NB; ++j) Q(j) = Q(j) * R(j) + Q1(j);
}
}  // namespace

// η² couples Y(L3,M3) only to Y(L3,M3) and Y(L3±2,M3), so the integral is
//   ⟨L3|η²|L3⟩·G(L3) + ⟨L3+2|η²|L3⟩·G(L3+2) + ⟨L3|η²|L3−2⟩·G(L3−2),
// G(L) the Gaunt coefficient onto Y(L,M3); the last term only for L3 ≥ 2.
double eta2_gaunt(const lib::GauntTable* T, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F, int EXACT) {
  if (EXACT != 1)
    return T != nullptr ? T->gaunt_integral_eta2(L1, L2, L3, M1, M2, M3)
                        : lib::gaunt_integral_eta2(L1, L2, L3, M1, M2, M3, F, lib::Build::scf);
  double B = lib::eta2_diagonal(L3, M3, F, 1) * gaunt(T, L1, L2, L3, M1, M2, M3, F) +
             gaunt(T, L1, L2, L3 + 2, M1, M2, M3, F) * lib::eta2_next(L3, M3, F, 1);
  if (L3 >= 2) B = B + gaunt(T, L1, L2, L3 - 2, M1, M2, M3, F) * lib::eta2_next(L3 - 2, M3, F, 1);
  return kGauntPi * B;
}

AngularRange angular_range(const Shells& s, int ISYM) {
  AngularRange r;
  int nmax = 0, lw = 0, l0 = 0;
  for (int J = 1; J <= s.NSH; ++J) {
    nmax = std::max(nmax, s.n(J));
    lw = std::max(lw, s.L0(J) + (s.n(J) - 1) * ISYM);
    l0 = std::max(l0, s.L0(J));
    r.MMAX = std::max(r.MMAX, 2 * s.M(J));
  }
  // Multipole orders: from |L0 − L0′| (+2 when the projections demand it)
  // in n + 2 orders of step ISYM.
  const int lam = l0 + 2 + r.MMAX + (nmax + 1) * ISYM;
  r.LMAX = std::max(lw, lam);
  return r;
}

// Multipole λ of the potential of the pair density ρ = X1·X2 (angular parts
// as described at the declaration) from the radial Poisson equation
//   d/dξ[(ξ²−1) dV/dξ] − ΔM²/(ξ²−1)·V − λ(λ+1)·V = CZ·[(ξ² − η²)·ρ]_λ,
// solved by solve_radial_equation: a power series in the inner region matched to a Numerov
// sweep (error O(HB⁴)) in the outer region.  Beyond the last point the
// potential decays as ξ^−(λ+1)(1 + a1/ξ² + a2/ξ⁴); that ratio between the
// last two points closes the sweep.
void ZIJK(int NA, int NB, int N1, int N2, int KD, int M1, int M2, int L1, int L2, int IZ, int ISYM, double CZ,
          double H12, lib::CVec BZ, lib::CMat R2, lib::Fac F, lib::CMat X1, lib::CMat X2, lib::CVec G, lib::Vec B,
          lib::CVec AA, lib::CVec BB, lib::CVec VV, lib::CMat UU, lib::CMat WW, lib::Mat CX, lib::Mat WC, lib::Mat WK,
          lib::Mat Z, const lib::GauntTable* angular, int EXACT, const lib::ExactGauntTable* exact, int IDIF) {
  const int DM = M2 - M1;
  B(2) = 0.0;
  B(3) = 0.0;
  B(4) = 0.0;
  for (int i = 1; i <= NB; ++i) WK(i, 5) = -DM * DM * R2(i, 3) + R2(i, 4);
  // The solver reads the sizes, CH and the form of the sweep of the grid.
  const lib::RadialGrid grid{NA, NB, 0.0, 0.0, H12, IDIF};
  const lib::SeriesColumn series{G, AA, BB, VV, UU, WW, BZ};
  const lib::RadialWork work{CX, WC.col(1), WC.col(2), WC.col(3), WK.col(1), WK.col(3)};
  for (int k = 1; k <= KD; ++k) {
    const int lam = IZ + (k - 1) * ISYM;
    // Source: Σ_q X2_q · [CZ·(ξ² − η²)·X1·Y(L_q,−M2)]_λ, in the stored form.
    lib::fill(NB, 0.0, WK.col(2));
    for (int q = 1; q <= N2; ++q) {
      const int Lq = L2 + (q - 1) * ISYM;
      suma(angular, NB, N1, M1, -M2, ISYM, L1, Lq, lam, CZ, R2.col(1), X1, F, WK.col(6), WK.col(3), EXACT, exact);
      lib::add_product(NB, X2.col(q), WK.col(3), WK.col(2));
    }
    for (int i = 1; i <= NB; ++i) {
      WK(i, 2) = WK(i, 2) * R2(i, 5) * R2(i, 2);
      WK(i, 4) = -lam * (lam + 1) * R2(i, 2) + WK(i, 5);
    }
    // Ratio of the decaying solution at the last two points.
    const double a1 = (DM * DM - lam * (lam + 2) - 1.0) / (4.0 * lam + 6.0);
    const double a2 = a1 * (DM * DM - (lam + 2.0) * (lam + 4.0) - 1.0) / (8.0 * lam + 20.0);
    auto S = [&](double y) { return 1.0 + a1 * y + a2 * y * y; };
    B(2) = -BZ(1) * std::pow(BZ(2), (lam + 1) / 2.0) * S(BZ(3)) / S(BZ(4));
    lib::solve_radial_equation(grid, series, work, 1, B, WK.col(4), WK.col(2), Z.col(k));
  }
}

// −OFF·(ξ² − η²)·X_J projected on wave p: the η² integrals are the matrix TT,
// exact; the term is formed point by point in the stored form (column 3).
void OFFDI(int N, int NB, double OFF, lib::CMat TT, lib::CVec R2, lib::CVec R3, lib::CMat XJ, lib::Mat Y) {
  for (int p = 1; p <= N; ++p) {
    for (int q = 1; q <= N; ++q) {
      for (int i = 1; i <= NB; ++i) {
        Y(i, p) += OFF * TT(q, p) * XJ(i, q) * R3(i);
        if (q == p) Y(i, p) -= OFF * XJ(i, q) * R2(i) * R3(i);
      }
    }
  }
}

namespace {

// PD(·,q,p) += col3·col6·W, the stored form of a potential term acting on wave q.
void add_to_coupling(const RunTables& t, lib::CVec W, lib::Arr3 PD, int q, int p) {
  for (int i = 1; i <= t.NB; ++i) PD(i, q, p) += t.R(i, 3) * t.R(i, 6) * W(i);
}

// The multipole solver's inner work: an NA × NA matrix and three columns.
lib::Mat inner_matrix(const RunTables& t, const ShellWork& w) { return lib::Mat(w.CX.data(), t.NA, t.NA); }
lib::Mat inner_columns(const RunTables& t, const ShellWork& w) { return lib::Mat(w.WC.data(), t.NA, 3); }

// Number of multipole orders for the densities of shells with n1 and n2
// waves: two more than the larger count.
int multipole_count(int n1, int n2) { return std::max(n1, n2) + 2; }

}  // namespace

namespace {

// Multipoles V_λ, λ = 0, s, 2s … (K orders), of the density |φ_J|² into Z.
void density_multipoles(const RunTables& t, const Shells& s, int J, int K, lib::Fac F, lib::Vec B, lib::Mat CX,
                        lib::Mat WC, lib::Mat WK, lib::Mat Z) {
  const int nJ = s.n(J);
  const lib::CMat XJ = s.waves(J);
  ZIJK(t.NA, t.NB, nJ, nJ, K, s.M(J), s.M(J), s.L0(J), s.L0(J), 0, t.ISYM, multipole_scale(t.RZ2, t.EXACT), t.H12(),
       t.BZ, t.R.colsFrom(2, 6), F, XJ, XJ, t.G.col(1), B, t.AA.col(1), t.BB.col(1), t.VV.col(1), t.UU, t.WW, CX, WC,
       WK, Z, t.angular, t.EXACT, t.exact, t.IDIF);
}

bool same_bits(const std::vector<double>& kept, lib::CMat X) {
  const std::size_t words = static_cast<std::size_t>(X.rows()) * static_cast<std::size_t>(X.cols());
  return kept.size() == words && std::memcmp(kept.data(), X.data(), words * sizeof(double)) == 0;
}

// Brings the store's multipoles (K orders) of the shells in `need` up to
// date: an entry whose orbital is not the present one bit for bit is
// computed afresh, the entries in parallel, each on its own scratch.
void refresh(DensityMultipoles& store, const RunTables& t, const Shells& s, std::span<const int> need, int K,
             lib::Fac F, double B1) {
  const int NA = t.NA, NB = t.NB;
  std::array<int, 16> miss{};
  int m = 0;
  for (const int J : need) {
    const DensityMultipoles::Entry& e = store.shells[J - 1];
    if (e.K >= K && e.B1 == B1 && same_bits(e.x, s.waves(J))) {
      ++store.reused;
      continue;
    }
    miss[m++] = J;
  }
  for (int k = 0; k < m; ++k) {
    DensityMultipoles::Entry& e = store.shells[miss[k] - 1];
    const lib::CVec x = s.waves(miss[k]).flat();
    e.x.assign(x.data(), x.data() + x.size());
    e.v.assign(static_cast<std::size_t>(NB) * K, 0.0);
    e.wk.assign(static_cast<std::size_t>(6 * NB + NA * NA + 3 * NA), 0.0);
    e.K = 0;
  }
  // io::stop throws: an exception must not leave a parallel region, so each
  // entry keeps its own and the first is thrown after the loop.
  std::array<std::exception_ptr, 16> failed{};
#pragma omp parallel for schedule(dynamic, 1) if (m > 1)
  for (int k = 0; k < m; ++k) {
    DensityMultipoles::Entry& e = store.shells[miss[k] - 1];
    std::array<double, 4> b{B1, 0.0, 0.0, 0.0};
    double* wk = e.wk.data();
    try {
      density_multipoles(t, s, miss[k], K, F, lib::Vec(b.data(), 4), lib::Mat(wk + 6 * NB, NA, NA),
                         lib::Mat(wk + 6 * NB + NA * NA, NA, 3), lib::Mat(wk, NB, 6), lib::Mat(e.v.data(), NB, K));
    } catch (...) {
      failed[k] = std::current_exception();
    }
  }
  for (int k = 0; k < m; ++k) {
    DensityMultipoles::Entry& e = store.shells[miss[k] - 1];
    if (failed[k]) {
      e.x.clear();
      std::rethrow_exception(failed[k]);
    }
    e.K = K;
    e.B1 = B1;
  }
  store.computed += m;
}

}  // namespace

// Coulomb field of the shells: for each J the multipoles V_λ, λ = 0, s, 2s …,
// of |φ_J|² and their action on the waves of ISH,
//   PD(·,q,p) += col3·col6·c·[(ξ² − η²)·V·Y(L_q,M)]_p,   c = −(RZ²/2)·AC(J)/CN(J).
// The multipole series is cut after n + 2 orders; the angular integrals are exact.
void add_direct_terms(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::Fac F, lib::Vec B,
                      const ShellWork& w, DensityMultipoles* store) {
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH);
  std::array<int, 16> need{};
  int m = 0, nmax = n;
  for (int J = 1; J <= s.NSH; ++J) {
    if (std::fabs(AC(J)) < 0.001 || std::fabs(s.CN(J)) < 1.0e-6) continue;
    need[m++] = J;
    nmax = std::max(nmax, s.n(J));
  }
  // The store keeps the orders the shell with the most waves asks for, so
  // that every shell finds what it needs.
  if (store != nullptr) refresh(*store, t, s, std::span<const int>(need.data(), m), nmax + 2, F, B(1));
  for (int k = 0; k < m; ++k) {
    const int J = need[k];
    const double c = -t.RZ2 * AC(J) / s.CN(J);
    const int K = multipole_count(n, s.n(J));
    lib::CMat V = w.XE;
    if (store != nullptr) {
      const DensityMultipoles::Entry& e = store->shells[J - 1];
      V = lib::CMat(e.v.data(), t.NB, e.K);
    } else {
      density_multipoles(t, s, J, K, F, B, inner_matrix(t, w), inner_columns(t, w), w.WK, w.XE);
    }
    for (int p = 1; p <= n; ++p) {
      const int Lp = L0 + (p - 1) * t.ISYM;
      for (int q = 1; q <= n; ++q) {
        const int Lq = L0 + (q - 1) * t.ISYM;
        suma(t.angular, t.NB, K, 0, M, t.ISYM, 0, Lq, Lp, c, t.R.col(2), V, F, w.WK.col(6), w.WK.col(2), t.EXACT,
             t.exact);
        add_to_coupling(t, w.WK.col(2), w.PD, q, p);
      }
    }
  }
}

// Exchange with each shell J: the potential V of the pair density
// φ_J*·φ_ISH applied to φ_J.  For M, M_J > 0 both orbitals ±M_J of shell J
// contribute: the component of projection M + M_J (the partner −M_J, weight
// (RZ²/2)·PW(J)/CN(J), PW = 1 for closed shells) and that of projection
// M − M_J (weight (RZ²/2)·BC(J)·FAC/CN(J)).
// The self-exchange acts on the shell's own waves and enters PD; the exchange
// with other shells is a known function, the source −(…)·X_J in XN.
void add_exchange_terms(const RunTables& t, const Shells& s, int ISH, lib::CVec BC, double FAC, lib::Fac F, lib::Vec B,
                        const ShellWork& w, const double* PW, std::vector<double>* store) {
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NA = t.NA, NB = t.NB;
  const double CZ = multipole_scale(t.RZ2, t.EXACT);
  const lib::CMat R2 = t.R.colsFrom(2, 6);
  const lib::CMat XI = s.waves(ISH);
  // The pair densities of the update, in the order their terms are added:
  // shell by shell, the partner's (projection M + M_J) before the other.
  struct Pair {
    int J, K, M2, lam0, col;  // the multipole solver's arguments
    double CZ;
    int MX, MY;  // the projection of the potential and of Y(L_q, ·)
    double c;    // the factor of the term
  };
  std::array<Pair, 32> pairs{};
  int np = 0;
  for (int J = 1; J <= s.NSH; ++J) {
    if (std::fabs(BC(J)) < 0.001 || std::fabs(s.CN(J)) < 1.0e-6) continue;
    const int MJ = s.M(J), L0J = s.L0(J), K = multipole_count(n, s.n(J));
    const int DL = std::abs(L0 - L0J), DMJ = std::abs(M - MJ);
    int lb = DL;
    if (DMJ > DL) lb = DL + 2;
    // The partner pair density has projection M + M_J: its multipoles start
    // at the first order of the parity of DL that reaches it (φ shells,
    // M = M_J = 3, need three steps of 2).
    int la = DL;
    while (la < M + MJ) la += 2;
    const double pw = PW != nullptr ? PW[J - 1] : 1.0;
    // Partner orbital −M_J: pair density of projection M + M_J; the
    // potential has projection M + M_J, and Y(L_q, −M_J) brings it back to M.
    if (MJ > 0 && M > 0 && pw != 0.0)
      pairs[np++] = Pair{J, K, -MJ, la, M + MJ + 1, parity(MJ) * CZ, M + MJ, -MJ, t.RZ2 * pw / s.CN(J)};
    // Pair density of projection M − M_J.
    pairs[np++] = Pair{J, K, MJ, lb, DMJ + 1, CZ, MJ != 0 ? -DMJ : DMJ, MJ, t.RZ2 * BC(J) * FAC / s.CN(J)};
  }

  auto solve = [&](const Pair& a, lib::Vec b, lib::Mat CX, lib::Mat WC, lib::Mat WK, lib::Mat Z) {
    const int J = a.J;
    ZIJK(NA, NB, n, s.n(J), a.K, M, a.M2, L0, s.L0(J), a.lam0, t.ISYM, a.CZ, t.H12(), t.BZ, R2, F, XI, s.waves(J),
         t.G.col(a.col), b, t.AA.col(a.col), t.BB.col(a.col), t.VV.col(a.col), t.UU, t.WW, CX, WC, WK, Z, t.angular,
         t.EXACT, t.exact, t.IDIF);
  };
  // The potential V (orders from lam0) times Y(L_q, MY), projected on wave p
  // with factor c, applied to X_J: the self-exchange enters PD, the
  // exchange with another shell the source XN.
  auto project = [&](const Pair& a, lib::CMat V) {
    const int J = a.J, nJ = s.n(J), L0J = s.L0(J);
    const lib::CMat XJ = s.waves(J);
    for (int p = 1; p <= n; ++p) {
      const int Lp = L0 + (p - 1) * t.ISYM;
      for (int q = 1; q <= nJ; ++q) {
        const int Lq = L0J + (q - 1) * t.ISYM;
        suma(t.angular, NB, a.K, a.MX, a.MY, t.ISYM, a.lam0, Lq, Lp, a.c, t.R.col(2), V, F, w.WK.col(6), w.WK.col(2),
             t.EXACT, t.exact);
        if (J == ISH) {
          add_to_coupling(t, w.WK.col(2), w.PD, q, p);
        } else {
          for (int i = 1; i <= NB; ++i) w.XN(i, p) -= XJ(i, q) * t.R(i, 3) * w.WK(i, 2) * t.R(i, 6);
        }
      }
    }
  };

  if (store == nullptr || np < 2) {
    for (int k = 0; k < np; ++k) {
      solve(pairs[k], B, inner_matrix(t, w), inner_columns(t, w), w.WK, w.XE);
      project(pairs[k], w.XE);
    }
    return;
  }
  // The multipole solves of all pairs first, in parallel, each into its own
  // words of the store (potential (NB,K), then the solver's scratch (NB,6),
  // (NA,NA), (NA,3)); then the terms in their order.
  std::array<std::size_t, 33> at{};
  for (int k = 0; k < np; ++k)
    at[k + 1] = at[k] + static_cast<std::size_t>(NB) * (pairs[k].K + 6) + static_cast<std::size_t>(NA) * (NA + 3);
  if (store->size() < at[np]) store->resize(at[np]);
  double* base = store->data();
  std::array<std::exception_ptr, 32> failed{};
#pragma omp parallel for schedule(dynamic, 1)
  for (int k = 0; k < np; ++k) {
    double* v = base + at[k];
    const int K = pairs[k].K;
    std::array<double, 4> b{B(1), 0.0, 0.0, 0.0};
    try {
      solve(pairs[k], lib::Vec(b.data(), 4), lib::Mat(v + NB * (K + 6), NA, NA),
            lib::Mat(v + NB * (K + 6) + NA * NA, NA, 3), lib::Mat(v + NB * K, NB, 6), lib::Mat(v, NB, K));
    } catch (...) {
      failed[k] = std::current_exception();
    }
  }
  for (int k = 0; k < np; ++k)
    if (failed[k]) std::rethrow_exception(failed[k]);
  for (int k = 0; k < np; ++k) project(pairs[k], lib::CMat(base + at[k], NB, pairs[k].K));
}

}  // namespace scf

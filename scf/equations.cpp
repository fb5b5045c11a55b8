#include "scf/equations.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <span>
#include <utility>
#include <vector>

#include "lib/lapack.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/pair_potentials.hpp"

namespace scf {

namespace {
// (−1)^n.
double parity(int n) { return (n & 1) ? -1.0 : 1.0; }
}  // namespace

// −OFF·(ξ² − η²)·X_J projected on wave p: the η² integrals are the matrix TT,
// exact; the term is formed point by point in the stored form (column 3).
void add_off_diagonal_term(const RunTables& t, double OFF, lib::CMat TT, lib::CMat XJ, lib::Mat Y) {
  const int N = Y.cols(), NB = t.NB;
  const lib::CVec R2 = t.R.col(2), R3 = t.R.col(3);
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

// The multipole solver's work in the update's slices: the boundary vector B,
// an NA × NA matrix, three columns of NA and the work columns WK.
lib::MultipoleWork multipole_work(const RunTables& t, lib::Vec B, const ShellWork& w) {
  return lib::MultipoleWork{B, lib::Mat(w.CX.data(), t.NA, t.NA), lib::Mat(w.WC.data(), t.NA, 3), w.WK};
}

// The same work in words of its own: WK (NB,6), then (NA,NA), then (NA,3).
lib::MultipoleWork multipole_work(const RunTables& t, lib::Vec B, double* words) {
  const int NA = t.NA, NB = t.NB;
  return lib::MultipoleWork{B, lib::Mat(words + 6 * NB, NA, NA), lib::Mat(words + 6 * NB + NA * NA, NA, 3),
                            lib::Mat(words, NB, 6)};
}

// Number of multipole orders for the densities of shells with n1 and n2
// waves: two more than the larger count.
int multipole_count(int n1, int n2) { return std::max(n1, n2) + 2; }

// The partial waves of shell J as the multipole solver reads them.
lib::PartialWaves shell_waves(const RunTables& t, const Shells& s, int J) {
  return lib::PartialWaves{{s.M(J), s.L0(J), s.n(J), t.ISYM}, s.waves(J)};
}

// Multipoles V_λ, λ = 0, s, 2s … (K orders), of the density |φ_J|² into Z.
void density_multipoles(const RunTables& t, const Shells& s, int J, int K, lib::Fac F, const lib::MultipoleWork& w,
                        lib::Mat Z) {
  const lib::PartialWaves f = shell_waves(t, s, J);
  pair_potentials(t.multipole_setting(F), t.series().column(1), t.rule(),
                  lib::PairDensity{f, f, multipole_scale(t.RZ2, t.EXACT)}, MultipoleOrders{0, K}, w, Z, t.IBLAS);
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
    try {
      density_multipoles(t, s, miss[k], K, F, multipole_work(t, lib::Vec(b.data(), 4), e.wk.data()),
                         lib::Mat(e.v.data(), NB, K));
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

namespace {

// The direct terms by the library's algebra (IBLAS = 1): the field is linear
// in the multipoles, so those of every shell J, weighted by its c, are
// summed first, V = Σ_J c_J·V_J, and projected once; the projections of all
// waves q onto wave p are one product V·[a | −b] (NB × K by K × 2n,
// dgemm), whose columns give PD(·,q,p) += col3·col6·(ξ²·V·a_q − V·b_q).  A
// coefficient below 1e-8 is dropped, as the written projection drops its
// terms (there for each J with its factor).  The same terms to rounding,
// once where the written path projects each J's multipoles alone.
void add_direct_terms_by_library(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::Fac F,
                                 std::span<const int> need, const DensityMultipoles& store, const ShellWork& w) {
  if (need.empty()) return;
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NB = t.NB;
  int K = 0;
  for (int J : need) K = std::max(K, multipole_count(n, s.n(J)));
  std::vector<double> V(static_cast<size_t>(NB) * static_cast<size_t>(K), 0.0);
  for (int J : need) {
    const DensityMultipoles::Entry& e = store.shells[static_cast<size_t>(J - 1)];
    const double c = -t.RZ2 * AC(J) / s.CN(J);
    const size_t words = static_cast<size_t>(NB) * static_cast<size_t>(multipole_count(n, s.n(J)));
    for (size_t k = 0; k < words; ++k) V[k] += c * e.v[k];
  }
  const double EPS = 1.0e-8;
  std::vector<double> coef(static_cast<size_t>(K) * 2 * static_cast<size_t>(n)), ab(2 * static_cast<size_t>(K));
  std::vector<double> Q(static_cast<size_t>(NB) * 2 * static_cast<size_t>(n));
  const std::span<double> a(ab.data(), static_cast<size_t>(K)), b(ab.data() + K, static_cast<size_t>(K));
  const int n2 = 2 * n;
  const double one = 1.0, zero = 0.0;
  for (int p = 1; p <= n; ++p) {
    const int Lp = L0 + (p - 1) * t.ISYM;
    for (int q = 1; q <= n; ++q) {
      projection_coefficients(t.rule(), lib::WaveSet{0, 0, K, t.ISYM},
                              lib::ProductProjection{L0 + (q - 1) * t.ISYM, M, Lp, 1.0}, F, a, b);
      double* ca = coef.data() + static_cast<size_t>(q - 1) * K;
      double* cb = coef.data() + static_cast<size_t>(n + q - 1) * K;
      for (int i = 0; i < K; ++i) {
        ca[i] = std::fabs(a[static_cast<size_t>(i)]) >= EPS ? a[static_cast<size_t>(i)] : 0.0;
        cb[i] = std::fabs(b[static_cast<size_t>(i)]) >= EPS ? -b[static_cast<size_t>(i)] : 0.0;
      }
    }
    dgemm_("N", "N", &NB, &n2, &K, &one, V.data(), &NB, coef.data(), &K, &zero, Q.data(), &NB, 1, 1);
    for (int q = 1; q <= n; ++q) {
      const double* qa = Q.data() + static_cast<size_t>(q - 1) * NB;
      const double* qb = Q.data() + static_cast<size_t>(n + q - 1) * NB;
      for (int i = 1; i <= NB; ++i) w.PD(i, q, p) += t.R(i, 3) * t.R(i, 6) * (qa[i - 1] * t.R(i, 2) + qb[i - 1]);
    }
  }
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
  if (store != nullptr && coefficients_by_rule(t.rule()) && t.IBLAS == 1) {
    add_direct_terms_by_library(t, s, ISH, AC, F, std::span<const int>(need.data(), m), *store, w);
    return;
  }
  if (store != nullptr && coefficients_by_rule(t.rule())) {
    // The angular coefficients of a wave pair depend on the waves of ISH and
    // the multipole order alone, not on J: taken once per pair for the most
    // orders any J asks, and the terms of every J added in turn as below
    // (each element of PD receives them in the same order).
    int Kmax = 0;
    for (int k = 0; k < m; ++k) Kmax = std::max(Kmax, multipole_count(n, s.n(need[k])));
    std::vector<double> ab(2 * static_cast<size_t>(Kmax));
    const std::span<double> a(ab.data(), static_cast<size_t>(Kmax)), b(ab.data() + Kmax, static_cast<size_t>(Kmax));
    for (int p = 1; p <= n; ++p) {
      const int Lp = L0 + (p - 1) * t.ISYM;
      for (int q = 1; q <= n; ++q) {
        const int Lq = L0 + (q - 1) * t.ISYM;
        projection_coefficients(t.rule(), lib::WaveSet{0, 0, Kmax, t.ISYM}, lib::ProductProjection{Lq, M, Lp, 1.0}, F,
                                a, b);
        for (int k = 0; k < m; ++k) {
          const int J = need[k];
          const DensityMultipoles::Entry& e = store->shells[J - 1];
          const size_t K = static_cast<size_t>(multipole_count(n, s.n(J)));
          project_with_coefficients(t.NB, lib::CMat(e.v.data(), t.NB, e.K), a.first(K), b.first(K),
                                    -t.RZ2 * AC(J) / s.CN(J), t.R.col(2), w.WK.col(6), w.WK.col(2));
          add_to_coupling(t, w.WK.col(2), w.PD, q, p);
        }
      }
    }
    return;
  }
  for (int k = 0; k < m; ++k) {
    const int J = need[k];
    const double c = -t.RZ2 * AC(J) / s.CN(J);
    const int K = multipole_count(n, s.n(J));
    lib::CMat V = w.XE;
    if (store != nullptr) {
      const DensityMultipoles::Entry& e = store->shells[J - 1];
      V = lib::CMat(e.v.data(), t.NB, e.K);
    } else {
      density_multipoles(t, s, J, K, F, multipole_work(t, B, w), w.XE);
    }
    for (int p = 1; p <= n; ++p) {
      const int Lp = L0 + (p - 1) * t.ISYM;
      for (int q = 1; q <= n; ++q) {
        const int Lq = L0 + (q - 1) * t.ISYM;
        angular_projection_by_rule(t.rule(), t.NB, lib::PartialWaves{{0, 0, K, t.ISYM}, V},
                                   lib::ProductProjection{Lq, M, Lp, c}, t.R.col(2), F, w.WK.col(6), w.WK.col(2));
        add_to_coupling(t, w.WK.col(2), w.PD, q, p);
      }
    }
  }
}

namespace {

// One pair density of an exchange term: the multipole solver's arguments
// (shell J, K orders from lam0, the projection M2 of J's factor, the column
// `col` of the inner tables, the source factor CZ), the projection MX of
// the potential, that MY of Y(L_q, ·) it is multiplied with, and the factor
// c of the term.
struct ExchangePair {
  int J, K, M2, lam0, col;
  double CZ;
  int MX, MY;
  double c;
};

// The pair densities of the update of ISH, in the order their terms are
// added: shell by shell, the partner's (projection M + M_J) before the
// other.  Returns their number.
int exchange_pairs(const RunTables& t, const Shells& s, int ISH, const ExchangeCoefficients& x,
                   std::array<ExchangePair, 32>& pairs) {
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH);
  const double CZ = multipole_scale(t.RZ2, t.EXACT);
  int np = 0;
  for (int J = 1; J <= s.NSH; ++J) {
    if (std::fabs(x.BC(J)) < 0.001 || std::fabs(s.CN(J)) < 1.0e-6) continue;
    const int MJ = s.M(J), L0J = s.L0(J), K = multipole_count(n, s.n(J));
    const int DL = std::abs(L0 - L0J), DMJ = std::abs(M - MJ);
    int lb = DL;
    if (DMJ > DL) lb = DL + 2;
    // The partner pair density has projection M + M_J: its multipoles start
    // at the first order of the parity of DL that reaches it (φ shells,
    // M = M_J = 3, need three steps of 2).
    int la = DL;
    while (la < M + MJ) la += 2;
    const double pw = x.PW != nullptr ? x.PW[J - 1] : 1.0;
    // Partner orbital −M_J: pair density of projection M + M_J; the
    // potential has projection M + M_J, and Y(L_q, −M_J) brings it back to M.
    if (MJ > 0 && M > 0 && pw != 0.0)
      pairs[np++] = ExchangePair{J, K, -MJ, la, M + MJ + 1, parity(MJ) * CZ, M + MJ, -MJ, t.RZ2 * pw / s.CN(J)};
    // Pair density of projection M − M_J.
    pairs[np++] = ExchangePair{J, K, MJ, lb, DMJ + 1, CZ, MJ != 0 ? -DMJ : DMJ, MJ, t.RZ2 * x.BC(J) * x.FAC / s.CN(J)};
  }
  return np;
}

// The exchange terms of the update of shell ISH: the multipole solve of a
// pair density, and the potential's term added to the equations.
struct ExchangeUpdate {
  const RunTables& t;
  const Shells& s;
  int ISH;
  lib::Fac F;
  const ShellWork& w;

  // The potential of the pair density φ_ISH·φ_J of `a` into Z.
  void solve(const ExchangePair& a, const lib::MultipoleWork& mw, lib::Mat Z) const {
    const lib::PairDensity rho{shell_waves(t, s, ISH),
                               lib::PartialWaves{{a.M2, s.L0(a.J), s.n(a.J), t.ISYM}, s.waves(a.J)}, a.CZ};
    pair_potentials(t.multipole_setting(F), t.series().column(a.col), t.rule(), rho, MultipoleOrders{a.lam0, a.K}, mw,
                    Z, t.IBLAS);
  }

  // The potential V (orders from lam0) times Y(L_q, MY), projected on wave p
  // with factor c, applied to X_J: the self-exchange enters PD, the
  // exchange with another shell the source XN.  `coef`, when given, holds
  // the angular coefficients of every (p, q) (PairCoefficients).
  void project(const ExchangePair& a, lib::CMat V, const double* coef = nullptr) const {
    const int n = s.n(ISH), L0 = s.L0(ISH), NB = t.NB;
    const int J = a.J, nJ = s.n(J), L0J = s.L0(J);
    const lib::CMat XJ = s.waves(J);
    const size_t K = static_cast<size_t>(a.K);
    for (int p = 1; p <= n; ++p) {
      const int Lp = L0 + (p - 1) * t.ISYM;
      for (int q = 1; q <= nJ; ++q) {
        const int Lq = L0J + (q - 1) * t.ISYM;
        if (coef != nullptr) {
          const double* ab = coef + 2 * K * static_cast<size_t>((p - 1) * nJ + q - 1);
          project_with_coefficients(NB, V, std::span<const double>(ab, K), std::span<const double>(ab + K, K), a.c,
                                    t.R.col(2), w.WK.col(6), w.WK.col(2));
        } else {
          angular_projection_by_rule(t.rule(), NB, lib::PartialWaves{{a.MX, a.lam0, a.K, t.ISYM}, V},
                                     lib::ProductProjection{Lq, a.MY, Lp, a.c}, t.R.col(2), F, w.WK.col(6),
                                     w.WK.col(2));
        }
        if (J == ISH) {
          add_to_coupling(t, w.WK.col(2), w.PD, q, p);
        } else {
          for (int i = 1; i <= NB; ++i) w.XN(i, p) -= XJ(i, q) * t.R(i, 3) * w.WK(i, 2) * t.R(i, 6);
        }
      }
    }
  }

  // The same terms by the library's algebra (IBLAS = 1): the projections of
  // every wave q of J onto wave p as one product V·[c·a | −c·b] (NB × K by
  // K × 2n_J, dgemm), each coefficient dropped where the written
  // projection drops its term (|c·a| < 1e-8).  `coef` as for project.
  void project_by_library(const ExchangePair& a, lib::CMat V, const double* coef) const {
    const int n = s.n(ISH), NB = t.NB, K = a.K;
    const int J = a.J, nJ = s.n(J), cols = 2 * nJ;
    const lib::CMat XJ = s.waves(J);
    const double EPS = 1.0e-8, one = 1.0, zero = 0.0;
    const size_t k = static_cast<size_t>(K);
    std::vector<double> c(k * static_cast<size_t>(cols)), Q(static_cast<size_t>(NB) * static_cast<size_t>(cols));
    for (int p = 1; p <= n; ++p) {
      for (int q = 1; q <= nJ; ++q) {
        const double* ab = coef + 2 * k * static_cast<size_t>((p - 1) * nJ + q - 1);
        double *ca = c.data() + static_cast<size_t>(q - 1) * k, *cb = c.data() + static_cast<size_t>(nJ + q - 1) * k;
        for (size_t i = 0; i < k; ++i) {
          const double A = ab[i] * a.c, B = -ab[k + i] * a.c;
          ca[i] = std::fabs(A) >= EPS ? A : 0.0;
          cb[i] = std::fabs(B) >= EPS ? B : 0.0;
        }
      }
      dgemm_("N", "N", &NB, &cols, &K, &one, V.data(), &NB, c.data(), &K, &zero, Q.data(), &NB, 1, 1);
      for (int q = 1; q <= nJ; ++q) {
        const double* qa = Q.data() + static_cast<size_t>(q - 1) * NB;
        const double* qb = Q.data() + static_cast<size_t>(nJ + q - 1) * NB;
        if (J == ISH) {
          for (int i = 1; i <= NB; ++i) w.PD(i, q, p) += t.R(i, 3) * t.R(i, 6) * (qa[i - 1] * t.R(i, 2) + qb[i - 1]);
        } else {
          for (int i = 1; i <= NB; ++i)
            w.XN(i, p) -= XJ(i, q) * t.R(i, 3) * (qa[i - 1] * t.R(i, 2) + qb[i - 1]) * t.R(i, 6);
        }
      }
    }
  }
};

// The angular coefficients of the exchange pairs of an update: they depend on
// the pair's orders and projections and on the waves of ISH and of J, not
// on J itself (every σ shell J of a σ update shares one set), so each set
// is taken once.  Set k holds, for every (p, q), a(1 … K) then b(1 … K).
class PairCoefficients {
 public:
  const double* of(const ExchangeUpdate& u, const ExchangePair& a) {
    const int n = u.s.n(u.ISH), L0 = u.s.L0(u.ISH), nJ = u.s.n(a.J), L0J = u.s.L0(a.J);
    const std::array<int, 6> key{a.MX, a.lam0, a.K, a.MY, L0J, nJ};
    for (size_t k = 0; k < keys_.size(); ++k)
      if (keys_[k] == key) return sets_[k].data();
    const size_t K = static_cast<size_t>(a.K);
    std::vector<double> set(2 * K * static_cast<size_t>(n) * static_cast<size_t>(nJ));
    for (int p = 1; p <= n; ++p)
      for (int q = 1; q <= nJ; ++q) {
        double* ab = set.data() + 2 * K * static_cast<size_t>((p - 1) * nJ + q - 1);
        projection_coefficients(u.t.rule(), lib::WaveSet{a.MX, a.lam0, a.K, u.t.ISYM},
                                lib::ProductProjection{L0J + (q - 1) * u.t.ISYM, a.MY, L0 + (p - 1) * u.t.ISYM, 1.0},
                                u.F, std::span<double>(ab, K), std::span<double>(ab + K, K));
      }
    keys_.push_back(key);
    sets_.push_back(std::move(set));
    return sets_.back().data();
  }

 private:
  std::vector<std::array<int, 6>> keys_;
  std::vector<std::vector<double>> sets_;
};

// The multipole solves of all pairs, in parallel, each into its own words of
// the store: potential (NB,K), then the solver's scratch (NB,6), (NA,NA),
// (NA,3).  at(k) receives the first word of pair k.
void solve_pairs_in_parallel(const ExchangeUpdate& u, std::span<const ExchangePair> pairs, double B1,
                             std::vector<double>& store, std::array<std::size_t, 33>& at) {
  const int NA = u.t.NA, NB = u.t.NB, np = static_cast<int>(pairs.size());
  for (int k = 0; k < np; ++k)
    at[k + 1] = at[k] + static_cast<std::size_t>(NB) * (pairs[k].K + 6) + static_cast<std::size_t>(NA) * (NA + 3);
  if (store.size() < at[np]) store.resize(at[np]);
  double* base = store.data();
  std::array<std::exception_ptr, 32> failed{};
#pragma omp parallel for schedule(dynamic, 1)
  for (int k = 0; k < np; ++k) {
    double* v = base + at[k];
    const int K = pairs[k].K;
    std::array<double, 4> b{B1, 0.0, 0.0, 0.0};
    try {
      u.solve(pairs[k], multipole_work(u.t, lib::Vec(b.data(), 4), v + NB * K), lib::Mat(v, NB, K));
    } catch (...) {
      failed[k] = std::current_exception();
    }
  }
  for (int k = 0; k < np; ++k)
    if (failed[k]) std::rethrow_exception(failed[k]);
}

}  // namespace

// Exchange with each shell J: the potential V of the pair density
// φ_J*·φ_ISH applied to φ_J.  For M, M_J > 0 both orbitals ±M_J of shell J
// contribute: the component of projection M + M_J (the partner −M_J, weight
// (RZ²/2)·PW(J)/CN(J), PW = 1 for closed shells) and that of projection
// M − M_J (weight (RZ²/2)·BC(J)·FAC/CN(J)).
// The self-exchange acts on the shell's own waves and enters PD; the exchange
// with other shells is a known function, the source −(…)·X_J in XN.
void add_exchange_terms(const RunTables& t, const Shells& s, int ISH, const ExchangeCoefficients& x, lib::Fac F,
                        lib::Vec B, const ShellWork& w, std::vector<double>* store) {
  std::array<ExchangePair, 32> pairs{};
  const int np = exchange_pairs(t, s, ISH, x, pairs);
  const ExchangeUpdate u{t, s, ISH, F, w};
  if (store == nullptr || np < 2) {
    for (int k = 0; k < np; ++k) {
      u.solve(pairs[k], multipole_work(t, B, w), w.XE);
      u.project(pairs[k], w.XE);
    }
    return;
  }
  // The multipole solves of all pairs first; then the terms in their order.
  std::array<std::size_t, 33> at{};
  solve_pairs_in_parallel(u, std::span<const ExchangePair>(pairs.data(), np), B(1), *store, at);
  PairCoefficients coef;
  const bool by_rule = coefficients_by_rule(t.rule());
  for (int k = 0; k < np; ++k) {
    const lib::CMat V(store->data() + at[k], t.NB, pairs[k].K);
    if (by_rule && t.IBLAS == 1)
      u.project_by_library(pairs[k], V, coef.of(u, pairs[k]));
    else
      u.project(pairs[k], V, by_rule ? coef.of(u, pairs[k]) : nullptr);
  }
}

}  // namespace scf

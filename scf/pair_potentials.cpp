#include "scf/pair_potentials.hpp"

#include <cmath>
#include <vector>

#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"

namespace scf {

namespace {

// The source of order λ by the library's algebra: the projections of f1
// onto Y(λ) with every Y(L_q, −M2) of f2 as one product X1·[CZ·a | −CZ·b]
// (NB × n1 by n1 × 2n2, dgemm), a coefficient dropped where the written
// projection drops its term (|CZ·a| < 1e-8), then Σ_q f2_q·(ξ²·P_a + P_b)
// in the order of q into `source`.  `coef` and `P` are its work.
void source_by_library(int NB, const AngularRule& rule, const lib::PairDensity& rho, int lam, lib::CVec R, lib::Fac F,
                       std::vector<double>& coef, std::vector<double>& P, lib::Vec source) {
  const int n1 = rho.f1.n, n2 = rho.f2.n, cols = 2 * n2, ld = rho.f1.X.rows();
  const double CZ = rho.C1, EPS = 1.0e-8, one = 1.0, zero = 0.0;
  const size_t m = static_cast<size_t>(n1);
  coef.resize(m * static_cast<size_t>(cols));
  P.resize(static_cast<size_t>(NB) * static_cast<size_t>(cols));
  for (int q = 1; q <= n2; ++q) {
    double *a = coef.data() + static_cast<size_t>(q - 1) * m, *b = coef.data() + static_cast<size_t>(n2 + q - 1) * m;
    projection_coefficients(rule, rho.f1, lib::ProductProjection{rho.f2.L0 + (q - 1) * rho.f1.KD, -rho.f2.M, lam, 1.0},
                            F, std::span<double>(a, m), std::span<double>(b, m));
    for (size_t i = 0; i < m; ++i) {
      const double A = a[i] * CZ, B = -b[i] * CZ;
      a[i] = std::fabs(A) >= EPS ? A : 0.0;
      b[i] = std::fabs(B) >= EPS ? B : 0.0;
    }
  }
  dgemm_("N", "N", &NB, &cols, &n1, &one, rho.f1.X.data(), &ld, coef.data(), &n1, &zero, P.data(), &NB, 1, 1);
  for (int j = 1; j <= NB; ++j) source(j) = 0.0;
  for (int q = 1; q <= n2; ++q) {
    const double* pa = P.data() + static_cast<size_t>(q - 1) * NB;
    const double* pb = P.data() + static_cast<size_t>(n2 + q - 1) * NB;
    for (int j = 1; j <= NB; ++j) source(j) += rho.f2.X(j, q) * (pa[j - 1] * R(j) + pb[j - 1]);
  }
}

}  // namespace

// Multipole λ of the potential of the pair density ρ = f1·f2 (angular parts
// as described at the declaration) from the radial Poisson equation
//   d/dξ[(ξ²−1) dV/dξ] − ΔM²/(ξ²−1)·V − λ(λ+1)·V = CZ·[(ξ² − η²)·ρ]_λ,
// solved by solve_radial_equation: a power series in the inner region matched to a Numerov
// sweep (error O(HB⁴)) in the outer region.  Beyond the last point the
// potential decays as ξ^−(λ+1)(1 + a1/ξ² + a2/ξ⁴); that ratio between the
// last two points closes the sweep.
void pair_potentials(const lib::MultipoleSetting& set, const lib::SeriesColumn& series, const AngularRule& rule,
                     const lib::PairDensity& rho, const MultipoleOrders& orders, const lib::MultipoleWork& w,
                     lib::Mat Z, int IBLAS) {
  const int NB = set.grid.NB, ISYM = rho.f1.KD;
  const double CZ = rho.C1;
  const lib::CMat R2 = set.R2;
  const lib::CVec BZ = series.BZ;
  const lib::Vec B = w.B;
  const lib::Mat WK = w.WK;
  const int DM = rho.f2.M - rho.f1.M;
  B(2) = 0.0;
  B(3) = 0.0;
  B(4) = 0.0;
  for (int i = 1; i <= NB; ++i) WK(i, 5) = -DM * DM * R2(i, 3) + R2(i, 4);
  // The solver reads the sizes, CH and the form of the sweep of the grid.
  const lib::RadialWork work{w.WC, w.CX.col(1), w.CX.col(2), w.CX.col(3), WK.col(1), WK.col(3)};
  const bool by_library = IBLAS == 1 && coefficients_by_rule(rule);
  std::vector<double> coef, P;
  for (int k = 1; k <= orders.count; ++k) {
    const int lam = orders.first + (k - 1) * ISYM;
    // Source: Σ_q f2_q · [CZ·(ξ² − η²)·f1·Y(L_q,−M2)]_λ, in the stored form.
    if (by_library) {
      source_by_library(NB, rule, rho, lam, R2.col(1), set.F, coef, P, WK.col(2));
    } else {
      lib::fill(NB, 0.0, WK.col(2));
      for (int q = 1; q <= rho.f2.n; ++q) {
        const int Lq = rho.f2.L0 + (q - 1) * ISYM;
        angular_projection_by_rule(rule, NB, rho.f1, lib::ProductProjection{Lq, -rho.f2.M, lam, CZ}, R2.col(1), set.F,
                                   WK.col(6), WK.col(3));
        lib::add_product(NB, rho.f2.X.col(q), WK.col(3), WK.col(2));
      }
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
    lib::solve_radial_equation(set.grid, series, work, 1, B, WK.col(4), WK.col(2), Z.col(k));
  }
}

}  // namespace scf

#include "scf/pair_potentials.hpp"

#include <cmath>

#include "lib/vector_kernels.hpp"

namespace scf {

// Multipole λ of the potential of the pair density ρ = f1·f2 (angular parts
// as described at the declaration) from the radial Poisson equation
//   d/dξ[(ξ²−1) dV/dξ] − ΔM²/(ξ²−1)·V − λ(λ+1)·V = CZ·[(ξ² − η²)·ρ]_λ,
// solved by solve_radial_equation: a power series in the inner region matched to a Numerov
// sweep (error O(HB⁴)) in the outer region.  Beyond the last point the
// potential decays as ξ^−(λ+1)(1 + a1/ξ² + a2/ξ⁴); that ratio between the
// last two points closes the sweep.
void pair_potentials(const lib::MultipoleSetting& set, const lib::SeriesColumn& series, const AngularRule& rule,
                     const lib::PairDensity& rho, const MultipoleOrders& orders, const lib::MultipoleWork& w,
                     lib::Mat Z) {
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
  for (int k = 1; k <= orders.count; ++k) {
    const int lam = orders.first + (k - 1) * ISYM;
    // Source: Σ_q f2_q · [CZ·(ξ² − η²)·f1·Y(L_q,−M2)]_λ, in the stored form.
    lib::fill(NB, 0.0, WK.col(2));
    for (int q = 1; q <= rho.f2.n; ++q) {
      const int Lq = rho.f2.L0 + (q - 1) * ISYM;
      angular_projection_by_rule(rule, NB, rho.f1, lib::ProductProjection{Lq, -rho.f2.M, lam, CZ}, R2.col(1), set.F,
                                 WK.col(6), WK.col(3));
      lib::add_product(NB, rho.f2.X.col(q), WK.col(3), WK.col(2));
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

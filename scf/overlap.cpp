#include "scf/overlap.hpp"

#include "lib/build.hpp"
#include "lib/quadrature.hpp"
#include "lib/vector_kernels.hpp"

namespace scf {

// S(ξ) = Σ_p X1_p(ξ)·[ξ² X2_p(ξ) − Σ_q T(q,p) X2_q(ξ)] times the weight of
// column 7, integrated by Simpson's rule separately over the inner points
// (step HA in ξ) and the outer points (step HB in x), times (RZ/2)³.  The η
// integrals are exact (they sit in T); the error is that of Simpson's rule on
// each region, O(HA⁴) and O(HB⁴).  Entries of T below 10⁻⁶ are skipped.
double shell_overlap(const OverlapGrid& g, lib::CMat T, lib::CMat X1, lib::CMat X2, lib::Vec S, lib::Vec Y) {
  const int N1 = X1.cols(), N2 = X2.cols(), NA = g.grid.NA, NB = g.grid.NB;
  const double HA = g.grid.HA, HB = g.grid.HB;
  const lib::CVec R2 = g.R2, R7 = g.R7;
  lib::fill(NB, 0.0, S);
  for (int p = 1; p <= N1; ++p) {
    lib::fill(NB, 0.0, Y);
    for (int q = 1; q <= N2; ++q) {
      if (T(q, p) >= 1.0e-6) lib::add_scaled(NB, -T(q, p), X2.col(q), Y);
      if (q == p) lib::add_product(NB, R2, X2.col(q), Y);
    }
    lib::add_product(NB, X1.col(p), Y, S);
  }
  lib::multiply_elementwise(NB, R7, S);
  return g.RZ3 * (lib::simpson_rule(NB - NA, HB, S.sub(NA + 1, NB - NA), lib::Build::scf) +
                  lib::simpson_rule(NA, HA, S.sub(1, NA), lib::Build::scf));
}

}  // namespace scf

// The stabilised propagation of the coupled radial equations: the
// re-orthonormalised set must still be the span of the plain forward
// solutions at every point (the carried-back transformations), orthonormal
// in its last two values, and the particular solutions must differ from the
// plain ones by a regular homogeneous solution only, free of the set at the
// end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "chan/coupled.hpp"
#include "fixtures.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/one_electron.hpp"

namespace {

using namespace chantest;

// One-electron terms of the bare nuclei for the waves w (one_electron_equations), as the
// static-exchange solver builds them before adding the electrons.
struct Equations {
  std::vector<double> pd, tt;
};
Equations bare_equations(const Grid& g, const Molecule& mol, const Waves& w) {
  Equations e;
  const int NB = g.NB, n = w.n;
  e.pd.assign(static_cast<size_t>(NB) * static_cast<size_t>(n * n), 0.0);
  e.tt.assign(static_cast<size_t>(n * n), 0.0);
  std::vector<double> wk(static_cast<size_t>(NB)), f(lib::kFactorials);
  lib::one_electron_equations(NB, lib::WaveSet{w.M, w.L0, n, w.KD}, lib::OneElectronSetting{(mol.Z1 + mol.Z2) * mol.RZ},
                              g.R(), lib::VecView<double, 0>(f.data(), lib::kFactorials), lib::Mat(wk.data(), NB, 1),
                              lib::Mat(e.tt.data(), n, n), lib::Arr3(e.pd.data(), NB, n, n));
  return e;
}

// Solves the n × n system A·x = b (column-major A, copied) for each of the
// m columns of B, by the LU factors of the module.
std::vector<double> solve_square(int n, std::vector<double> a, std::vector<double> b, int m) {
  std::vector<int> piv(static_cast<size_t>(n));
  lu_factor(n, a.data(), piv.data());
  for (int c = 0; c < m; ++c) lu_solve(n, a.data(), piv.data(), b.data() + c * n);
  return b;
}

// Largest |U(i, ·) − V(i, ·)·T| over all rows, for sets of ns solutions of n
// waves (T: ns_V × ns_U).
double largest_difference(int NB, int n, int nsu, lib::CMat U, int nsv, lib::CMat V, const std::vector<double>& T) {
  double big = 0.0;
  for (int i = 1; i <= NB; ++i)
    for (int j = 1; j <= nsu; ++j)
      for (int p = 1; p <= n; ++p) {
        double v = 0.0;
        for (int l = 1; l <= nsv; ++l) v += V(i, (l - 1) * n + p) * T[static_cast<size_t>((j - 1) * nsv + l - 1)];
        big = std::max(big, std::fabs(U(i, (j - 1) * n + p) - v));
      }
  return big;
}

// H2+-like nuclei, four waves up to L = 7 at k = 0.5: the highest wave grows
// by orders of magnitude under its barrier, enough for several
// re-orthonormalisations, while the plain forward solutions are still
// accurate enough to compare with.  The point where the set is made
// orthonormal last is the end of the grid, or one a few points before it.
TEST(StablePropagation, RegularSetSpansThePlainSolutionsAndIsOrthonormalAtItsLastPoint) {
  const Target t = make_target(1.0, 1.0, 2.0, 4, 300, 1.5, 40.0);
  const Waves w{0, 1, 4, 2};
  const int NB = t.grid.NB, n = w.n;
  const Equations e = bare_equations(t.grid, t.mol, w);
  const double k = 0.5, ER = 0.5 * t.mol.RZ * t.mol.RZ * 0.5 * k * k;
  Propagator P(t.grid, w, lib::CArr3(e.pd.data(), NB, n, n), lib::CMat(e.tt.data(), n, n), ER);
  for (const int last : {NB, NB - 7}) {
    std::vector<double> h(static_cast<size_t>(NB * n * n)), u(h.size()), id(static_cast<size_t>(n * n), 0.0);
    for (int p = 0; p < n; ++p) id[static_cast<size_t>(p * n + p)] = 1.0;
    P.regular_set(lib::Mat(h.data(), NB, n * n), last);
    P.solve(n, lib::CMat(id.data(), n, n), nullptr, lib::Mat(u.data(), NB, n * n));
    lib::CMat H(h.data(), NB, n * n), U(u.data(), NB, n * n);

    double grown = 0.0;
    for (int j = 1; j <= n * n; ++j) grown = std::max(grown, std::fabs(U(NB, j)));
    EXPECT_GT(grown, 1e4 * Propagator::kRegrow) << "the case must need re-orthonormalisation";

    // The values of the set at last − 1 and last are orthonormal.
    for (int a = 1; a <= n; ++a)
      for (int b = 1; b <= n; ++b) {
        double s = 0.0;
        for (int p = 1; p <= n; ++p)
          s += H(last - 1, (a - 1) * n + p) * H(last - 1, (b - 1) * n + p) +
               H(last, (a - 1) * n + p) * H(last, (b - 1) * n + p);
        EXPECT_NEAR(s, a == b ? 1.0 : 0.0, 1e-13) << "last = " << last;
      }
    // H = U·T at every point, T fixed by the last point.
    std::vector<double> ue(static_cast<size_t>(n * n)), he(ue.size());
    for (int j = 1; j <= n; ++j)
      for (int p = 1; p <= n; ++p) {
        ue[static_cast<size_t>((j - 1) * n + p - 1)] = U(NB, (j - 1) * n + p);
        he[static_cast<size_t>((j - 1) * n + p - 1)] = H(NB, (j - 1) * n + p);
      }
    const std::vector<double> T = solve_square(n, ue, he, n);
    double hmax = 0.0;
    for (int i = 1; i <= NB; ++i)
      for (int j = 1; j <= n * n; ++j) hmax = std::max(hmax, std::fabs(H(i, j)));
    EXPECT_LT(largest_difference(NB, n, n, H, n, U, T), 1e-7 * hmax);

    // A source in the inner region (each wave its own smooth bump): the
    // particular solution differs from the plain one (zero leading
    // coefficients) by U·c, and its values at last − 1 and last are
    // orthogonal to those of the set.
    std::vector<double> s(static_cast<size_t>(NB * n)), ps(s.size()), pu(s.size());
    for (int p = 1; p <= n; ++p)
      for (int i = 1; i <= NB; ++i) {
        const double xi = t.grid.xs[static_cast<size_t>(i - 1)];
        s[static_cast<size_t>((p - 1) * NB + i - 1)] = std::exp(-(xi - 1.0 - 0.5 * p) * (xi - 1.0 - 0.5 * p));
      }
    const lib::CMat S(s.data(), NB, n);
    P.particular(1, S, lib::Mat(ps.data(), NB, n));
    std::vector<double> zero(static_cast<size_t>(n), 0.0);
    P.solve(1, lib::CMat(zero.data(), n, 1), &S, lib::Mat(pu.data(), NB, n));
    std::vector<double> d(s.size()), de(static_cast<size_t>(n));
    for (size_t e2 = 0; e2 < d.size(); ++e2) d[e2] = ps[e2] - pu[e2];
    for (int p = 1; p <= n; ++p) de[static_cast<size_t>(p - 1)] = d[static_cast<size_t>((p - 1) * NB + NB - 1)];
    const std::vector<double> c = solve_square(n, ue, de, 1);
    double pmax = 0.0;
    for (double v : ps) pmax = std::max(pmax, std::fabs(v));
    EXPECT_LT(largest_difference(NB, n, 1, lib::CMat(d.data(), NB, n), n, U, c), 1e-7 * pmax);
    for (int a = 1; a <= n; ++a) {
      double v = 0.0, size = 0.0;
      for (int p = 1; p <= n; ++p) {
        const double p1 = ps[static_cast<size_t>((p - 1) * NB + last - 2)],
                     p2 = ps[static_cast<size_t>((p - 1) * NB + last - 1)];
        v += H(last - 1, (a - 1) * n + p) * p1 + H(last, (a - 1) * n + p) * p2;
        size += p1 * p1 + p2 * p2;
      }
      EXPECT_LT(std::fabs(v), 1e-12 * std::sqrt(size) + 1e-300) << "last = " << last;
    }
  }
}

}  // namespace

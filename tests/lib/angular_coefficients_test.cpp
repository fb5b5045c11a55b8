// Angular coefficients against closed forms, orthogonality sums and direct
// quadrature of products of spherical harmonics.
#include "lib/angular_coefficients.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "io/stop.hpp"
#include "lib/build.hpp"
#include "reference_math.hpp"

namespace {

using lib::Build;
using lib::Fac;

// Factorial tables of the two programs: up to 80! and up to 98!.
struct Tables {
  std::vector<double> photo = std::vector<double>(81), scf = std::vector<double>(99);
  Tables() {
    lib::fill_factorials(80, lib::VecView<double, 0>(photo.data(), 81));
    lib::fill_factorials(98, lib::VecView<double, 0>(scf.data(), 99));
  }
  Fac F(Build b) const { return b == Build::photo ? Fac(photo.data(), 81) : Fac(scf.data(), 99); }
};
const Tables& tables() {
  static const Tables t;
  return t;
}

TEST(Factorials, TableAndNegativeArguments) {
  double f[3] = {-1, -1, -1};
  lib::fill_factorials(0, lib::VecView<double, 0>(f, 3));
  EXPECT_EQ(f[0], 1.0);
  EXPECT_EQ(f[1], -1.0);  // only F(0) is set

  const Fac F = tables().F(Build::scf);
  EXPECT_EQ(lib::factorial_or_zero(0, F), 1.0);
  EXPECT_EQ(lib::factorial_or_zero(-1, F), 0.0);
  EXPECT_EQ(lib::factorial_or_zero(20, F), 2432902008176640000.0);  // exact in a double
  EXPECT_NEAR(lib::factorial_or_zero(98, F) / static_cast<double>(ref::fact(98)), 1.0, 1e-13);
  EXPECT_THROW(lib::factorial_or_zero(99, F), io::StopRun);
}

TEST(ThreeJ, SpecialValues) {
  for (Build b : {Build::photo, Build::scf}) {
    const Fac F = tables().F(b);
    EXPECT_NEAR(lib::wigner_3j(1, 1, 0, 0, 0, 0, F, b), -1.0 / std::sqrt(3.0), 1e-15);
    EXPECT_NEAR(lib::wigner_3j(1, 1, 2, 0, 0, 0, F, b), std::sqrt(2.0 / 15.0), 1e-15);
    for (int L = 0; L <= 30; ++L)
      EXPECT_NEAR(lib::wigner_3j(L, 0, L, 0, 0, 0, F, b), (L % 2 ? -1.0 : 1.0) / std::sqrt(2.0 * L + 1.0), 1e-14) << L;
    EXPECT_EQ(lib::wigner_3j(1, 1, 3, 0, 0, 0, F, b), 0.0);   // triangle broken
    EXPECT_EQ(lib::wigner_3j(1, 1, 1, 2, -2, 0, F, b), 0.0);  // |M1| > L1
  }
  // M1 + M2 + M3 ≠ 0 (and broken triangles) give zero without touching the
  // table: an empty table would stop the run at the first read.
  const Fac none(nullptr, 0);
  EXPECT_EQ(lib::wigner_3j(1, 1, 1, 1, 1, 1, none), 0.0);
  EXPECT_EQ(lib::wigner_3j(40, 0, 0, 0, 0, 0, none), 0.0);
}

TEST(ThreeJ, AgreesWithClosedFormsForAllMomentaUpTo26) {
  // The Racah sum alternates in sign; its terms grow with the momenta, so the
  // rounding left in the result grows too: about 1e-15 up to 12, about 1e-13
  // near the end of the 81-entry table.
  for (Build b : {Build::photo, Build::scf}) {
    const Fac F = tables().F(b);
    double worst_low = 0, worst_high = 0;
    for (int l1 = 0; l1 <= 26; ++l1)
      for (int l2 = 0; l2 <= 26; ++l2)
        for (int l3 = 0; l3 <= 26; ++l3) {
          const double e = std::fabs(lib::wigner_3j(l1, l2, l3, 0, 0, 0, F, b) - ref::threej_000(l1, l2, l3));
          double& worst = std::max({l1, l2, l3}) <= 12 ? worst_low : worst_high;
          worst = std::max(worst, e);
        }
    EXPECT_LT(worst_low, 2e-15);
    EXPECT_LT(worst_high, 2e-13);
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.3e", worst_high);
    RecordProperty("worst_000_up_to_26", figure);

    double worst = 0;
    for (int j1 = 0; j1 <= 12; ++j1)
      for (int j2 = 0; j2 <= 12; ++j2)
        for (int m1 = -j1; m1 <= j1; ++m1)
          for (int m2 = -j2; m2 <= j2; ++m2) {
            const double want = ref::threej_stretched(j1, j2, m1, m2);
            const double got = lib::wigner_3j(j1, j2, j1 + j2, m1, m2, -m1 - m2, F, b);
            worst = std::max(worst, std::fabs(got - want));
          }
    EXPECT_LT(worst, 2e-15);
  }
}

TEST(ThreeJ, OrthogonalityOverAllMomentaUpTo12) {
  // Σ_{l3} (2l3+1)(l1 l2 l3; m1 m2 m3)² = 1 for every l1, l2, m1, m2, and
  // Σ_{m1,m2} (l1 l2 l3; m1 m2 m3)(l1 l2 l3'; m1 m2 m3) = δ(l3,l3')/(2l3+1).
  for (Build b : {Build::photo, Build::scf}) {
    const Fac F = tables().F(b);
    double worst1 = 0, worst2 = 0;
    for (int l1 = 0; l1 <= 12; ++l1)
      for (int l2 = 0; l2 <= 12; ++l2) {
        for (int m1 = -l1; m1 <= l1; ++m1)
          for (int m2 = -l2; m2 <= l2; ++m2) {
            double s = 0;
            for (int l3 = std::abs(l1 - l2); l3 <= l1 + l2; ++l3) {
              const double w = lib::wigner_3j(l1, l2, l3, m1, m2, -m1 - m2, F, b);
              s += (2 * l3 + 1) * w * w;
            }
            worst1 = std::max(worst1, std::fabs(s - 1.0));
          }
        for (int l3 = std::abs(l1 - l2); l3 <= l1 + l2; ++l3)
          for (int l3p = std::abs(l1 - l2); l3p <= l1 + l2; ++l3p)
            for (int m3 = -std::min(l3, l3p); m3 <= std::min(l3, l3p); ++m3) {
              double s = 0;
              for (int m1 = -l1; m1 <= l1; ++m1) {
                const int m2 = -m1 - m3;
                if (std::abs(m2) > l2) continue;
                s += lib::wigner_3j(l1, l2, l3, m1, m2, m3, F, b) * lib::wigner_3j(l1, l2, l3p, m1, m2, m3, F, b);
              }
              worst2 = std::max(worst2, std::fabs(s - (l3 == l3p ? 1.0 / (2 * l3 + 1) : 0.0)));
            }
      }
    EXPECT_LT(worst1, 1e-13);
    EXPECT_LT(worst2, 1e-13);
  }
}

TEST(ThreeJ, ShortTablesAndOverflowingPrefactorsStopTheRun) {
  const Fac photo = tables().F(Build::photo);
  // L1+L2+L3+1 = 80 is the last index of the 81-entry table ...
  EXPECT_NEAR(lib::wigner_3j(26, 26, 27, 0, 0, 0, photo), 0.0, 2e-13);
  EXPECT_NEAR(lib::wigner_3j(26, 26, 26, 0, 0, 0, photo), ref::threej_000(26, 26, 26), 2e-13);
  // ... one more is summed without the table ...
  EXPECT_NEAR(lib::wigner_3j(26, 26, 28, 0, 0, 0, photo), ref::threej_000(26, 26, 28), 2e-13);
  // ... but within 80! a table that ends early stops the run.
  try {
    lib::wigner_3j(20, 20, 20, 0, 0, 0, Fac(photo.data(), 61));
    FAIL() << "no stop";
  } catch (const io::StopRun& s) {
    EXPECT_EQ(s.message(), " FACTORIAL TABLE ENDS AT   60, N! NEEDED FOR N =   61");
  }
  // The photoionisation order overflows the Racah prefactor at (39 39 1;
  // 39 −39 0); the ground-state order divides by 80! first and stays finite.
  EXPECT_THROW(lib::wigner_3j(39, 39, 1, 39, -39, 0, photo, Build::photo), io::StopRun);
  // (j j 1; m −m 0) = (−1)^(j−m)·m/sqrt(j(j+1)(2j+1)).
  const double j = 39;
  EXPECT_NEAR(lib::wigner_3j(39, 39, 1, 39, -39, 0, tables().F(Build::scf), Build::scf),
              j / std::sqrt(j * (j + 1) * (2 * j + 1)), 1e-13);
}

TEST(Gaunt, MonopoleAndProjectionRule) {
  const Fac F = tables().F(Build::photo);
  const double pi12 = 3.14159265359;
  for (int L = 0; L <= 20; ++L)
    for (int M = -L; M <= L; ++M)
      EXPECT_NEAR(lib::gaunt_integral(L, 0, L, M, 0, M, F), 1.0 / std::sqrt(4 * pi12), 1e-14);
  EXPECT_EQ(lib::gaunt_integral(2, 1, 3, 1, 1, 1, F), 0.0);
  EXPECT_EQ(lib::gaunt_integral(2, 2, 2, -1, 0, 1, F), 0.0);
}

TEST(Gaunt, EtaMatrixElementsAgreeWithClosedFormsToTheWrittenConstants) {
  for (Build b : {Build::photo, Build::scf}) {
    const Fac F = tables().F(b);
    EXPECT_NEAR(lib::eta2_diagonal_from_gaunt(0, 0, F, b), 1.0 / 3.0, 1e-9);
    EXPECT_NEAR(lib::eta2_diagonal_from_gaunt(1, 0, F, b), 3.0 / 5.0, 1e-9);
    EXPECT_NEAR(lib::eta2_diagonal_from_gaunt(1, 1, F, b), 1.0 / 5.0, 1e-9);
    EXPECT_NEAR(lib::eta2_next_from_gaunt(0, 0, F, b), 2.0 / (3.0 * std::sqrt(5.0)), 1e-9);
    EXPECT_NEAR(lib::eta_next_from_gaunt(0, 0, F, b), 1.0 / std::sqrt(3.0), 1e-9);
    for (int L = 0; L <= 20; ++L)
      for (int M = -L; M <= L; ++M) {
        EXPECT_NEAR(lib::eta2_diagonal_from_gaunt(L, M, F, b), ref::eta2_diag(L, M), 1e-9) << L << " " << M;
        EXPECT_NEAR(lib::eta_next_from_gaunt(L, M, F, b), ref::eta_up1(L, M), 1e-9) << L << " " << M;
        EXPECT_NEAR(lib::eta2_next_from_gaunt(L, M, F, b), ref::eta2_up2(L, M), 1e-9) << L << " " << M;
      }
  }
}

struct Triple {
  int L1, L2, L3, M1, M2, M3;
};

// Index sets for the quadrature comparisons: every small L3 (where only the
// L3 and L3+2 terms of the η² expansion exist), negative projections, pairs
// that fail the projection rule, and momenta up to 12.
std::vector<Triple> index_sets() {
  std::vector<Triple> v = {
      {0, 0, 0, 0, 0, 0},    {1, 1, 0, 1, -1, 0},    {1, 0, 1, 0, 0, 0},    {1, 0, 1, 1, 0, 1},
      {2, 1, 1, -1, 1, 0},   {0, 2, 0, 0, 0, 0},     {0, 2, 2, 0, 2, 2},    {3, 2, 1, 1, -1, 0},
      {2, 2, 2, 1, 1, 2},    {2, 2, 4, -2, 1, -1},   {3, 3, 0, 2, -2, 0},   {3, 1, 2, -2, 1, -1},
      {4, 2, 2, 0, 0, 0},    {4, 4, 6, 3, -1, 2},    {5, 3, 4, -3, 2, -1},  {5, 5, 1, 5, -4, 1},
      {6, 2, 8, 4, 1, 5},    {6, 6, 6, -2, 2, 0},    {7, 3, 5, 2, 2, 4},    {8, 4, 2, -3, 3, 0},
      {8, 8, 12, 4, 4, 8},   {9, 1, 10, 9, 1, 10},   {10, 3, 9, 2, -3, -1}, {11, 5, 12, -6, 5, -1},
      {12, 12, 2, 3, -2, 1}, {12, 6, 12, 12, -6, 6}, {2, 1, 3, 1, 1, 1},    {3, 2, 3, 0, 1, 0},
      {4, 4, 2, 2, 2, 3},    {12, 0, 12, 7, 0, 7},
  };
  return v;
}

TEST(Gaunt, PlainAndEtaSquaredIntegralsAgreeWithDirectQuadrature) {
  for (Build b : {Build::photo, Build::scf}) {
    const Fac F = tables().F(b);
    for (const Triple& t : index_sets()) {
      const double plain = ref::angular_integral(t.L1, t.M1, t.L2, t.M2, t.L3, t.M3, 0);
      const double eta2 = ref::angular_integral(t.L1, t.M1, t.L2, t.M2, t.L3, t.M3, 2);
      // π as the 12-digit literal shifts the Gaunt values by about 1e-13.
      EXPECT_NEAR(lib::gaunt_integral(t.L1, t.L2, t.L3, t.M1, t.M2, t.M3, F, b), plain, 1e-12)
          << t.L1 << t.L2 << t.L3 << " " << t.M1 << t.M2 << t.M3;
      EXPECT_NEAR(lib::gaunt_integral_eta2(t.L1, t.L2, t.L3, t.M1, t.M2, t.M3, F, b), eta2, 1e-9)
          << t.L1 << t.L2 << t.L3 << " " << t.M1 << t.M2 << t.M3;
    }
  }
}

}  // namespace

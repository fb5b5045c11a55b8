// The outer region at a fixed energy: the block solve of the Numerov
// relations, their elimination in the written and the difference form, and
// the scalar limit against the library's sweep.
#include "scf/outer_elimination.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "io/stop.hpp"
#include "lib/radial_solver.hpp"
#include "system_for_tests.hpp"

namespace {

using scftest::System;

// The block solve against a slow, plain reference: A·x = V and A·Y = C (C
// N × N, as the solve carries it) are checked by their residuals with the
// original A, and det A against the cofactor expansion.  A zero pivot stops the run with its row.
TEST(GaussJordanSolve, SolvesTheBlockWithItsCarriedColumnsAndGivesItsDeterminant) {
  const std::array<double, 9> A0{-2.1, 0.3, 0.05, 0.2, -1.9, 0.1, -0.04, 0.25, -2.2};  // by columns
  const std::array<double, 3> V0{1.0, -0.5, 0.25};
  const std::array<double, 9> C0{0.3, 0.1, -0.2, 0.0, 1.0, 0.7, 1.0, 0.0, 0.0};
  std::array<double, 9> a = A0;
  std::array<double, 3> v = V0;
  std::array<double, 9> c = C0;
  const double det =
      scf::gauss_jordan_solve(3, lib::Vec(v.data(), 3), lib::Mat(a.data(), 3, 3), lib::Mat(c.data(), 3, 3));
  auto A = [&](int i, int j) { return A0[(j - 1) * 3 + (i - 1)]; };
  const double cofactor = A(1, 1) * (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2)) -
                          A(1, 2) * (A(2, 1) * A(3, 3) - A(2, 3) * A(3, 1)) +
                          A(1, 3) * (A(2, 1) * A(3, 2) - A(2, 2) * A(3, 1));
  EXPECT_NEAR(det, cofactor, 1e-14 * std::fabs(cofactor));
  for (int i = 1; i <= 3; ++i) {
    double r = -V0[i - 1];
    for (int j = 1; j <= 3; ++j) r += A(i, j) * v[j - 1];
    EXPECT_NEAR(r, 0.0, 1e-14) << "row " << i;
    for (int k = 0; k < 3; ++k) {
      double rc = -C0[k * 3 + i - 1];
      for (int j = 1; j <= 3; ++j) rc += A(i, j) * c[k * 3 + j - 1];
      EXPECT_NEAR(rc, 0.0, 1e-14) << "row " << i << ", column " << k + 1;
    }
  }
  std::array<double, 4> z{0.0, 1.0, 1.0, 0.0}, cz{};
  std::array<double, 2> w{1.0, 1.0};
  try {
    scf::gauss_jordan_solve(2, lib::Vec(w.data(), 2), lib::Mat(z.data(), 2, 2), lib::Mat(cz.data(), 2, 2));
    ADD_FAILURE() << "a zero pivot was divided by";
  } catch (const io::StopRun& s) {
    EXPECT_NE(s.message().find("ZERO PIVOT IN ROW  1"), std::string::npos) << s.message();
  }
}

// With one wave, TT = 0 and ER = 0 the block recurrence is the scalar Numerov
// relation with weights 1, 10, 1: its elimination must agree with the
// library's sweep numerov_backward_sweep (u_i = V(i) + U(i)·u_{i−1}, u(NB) = 0).
TEST(OuterElimination, OneWaveReducesToTheScalarNumerovSweep) {
  System sys(1.0, 1.0, 2.0, {{0, 0, 1}}, 5, 206, 1.1, 20.0);
  const int NA = sys.NA, NB = sys.NB, N0 = NB - NA;
  const lib::CMat R = sys.grid();
  std::vector<double> pd(NB, 0.0), s(NB, 0.0), U(N0), V(N0), zero(1, 0.0);
  for (int i = NA + 1; i <= NB; ++i) {
    pd[i - 1] = -2.0 * std::exp(-R(i, 1)) - 0.05;
    s[i - 1] = std::sin(R(i, 1)) * std::exp(-0.2 * R(i, 1));
  }
  const std::array<double, 4> Bc{1.0, 0.0, 0.0, 0.0};
  lib::numerov_backward_sweep(N0, sys.t.H12(), lib::CVec(Bc.data(), 4), lib::CVec(pd.data() + NA, N0),
                              lib::CVec(s.data() + NA, N0), lib::Vec(U.data(), N0), lib::Vec(V.data(), N0));
  std::vector<double> wk(static_cast<size_t>(NB) * 7, 0.0);
  const lib::Mat WK(wk.data(), NB, 7);
  std::vector<double> scratch(static_cast<size_t>(scf::outer_elimination_words(1)));
  scf::OuterEquations eq;
  eq.N = 1, eq.NA = NA, eq.NB = NB, eq.r = 1.0 / sys.t.H12(), eq.ER = 0.0;
  eq.TT = lib::CMat(zero.data(), 1, 1), eq.R2 = R.col(2), eq.R3 = R.col(3);
  eq.PD = lib::CArr3(pd.data(), NB, 1, 1), eq.S = lib::CMat(s.data(), NB, 1);
  scf::eliminate_outer_relations(eq, lib::CMat(zero.data(), 1, 1), lib::CVec(zero.data(), 1), WK,
                                 lib::Vec(scratch.data(), static_cast<int>(scratch.size())));
  for (int i = NA + 2; i < NB; ++i) {
    EXPECT_NEAR(WK(i, 3), -U[i - NA - 1], 1e-13 * std::fabs(U[i - NA - 1])) << i;
    EXPECT_NEAR(WK(i, 4), V[i - NA - 1], 1e-12 * (std::fabs(V[i - NA - 1]) + 1e-3)) << i;
  }
}

// The relations and the determinant's sign of the outer elimination of N
// coupled waves at a trial energy, in form IDIF, the blocks by the written
// algebra (IBLAS = 0) or the library's.
struct Relations {
  std::vector<double> wk;
  int sign = 0;
  int NA = 0, NB = 0;
};
Relations eliminate(int N, int IDIF, int IBLAS) {
  System sys(1.0, 1.0, 2.0, {{0, 0, N}}, 5, 406, 1.05, 30.0);
  const int NA = sys.NA, NB = sys.NB, n2 = N * N;
  const lib::CMat R = sys.grid();
  std::vector<double> pd(static_cast<size_t>(NB) * n2, 0.0), s(static_cast<size_t>(NB) * N, 0.0), tt(n2, 0.0);
  const lib::Arr3 PD(pd.data(), NB, N, N);
  for (int i = NA + 1; i <= NB; ++i)
    for (int p = 1; p <= N; ++p) {
      s[(p - 1) * NB + i - 1] = std::exp(-0.3 * p * R(i, 1));
      for (int q = 1; q <= N; ++q) PD(i, q, p) = (p == q ? -2.0 : 0.1 / (p + q)) * std::exp(-R(i, 1)) - 0.01 * p;
    }
  for (int p = 1; p <= N; ++p) tt[(p - 1) * N + p - 1] = 0.3;
  tt[1] = tt[N] = 0.2;
  const std::vector<double> zero(n2, 0.0);
  Relations out;
  out.NA = NA, out.NB = NB;
  out.wk.assign(static_cast<size_t>(NB) * (n2 + N + 4), 0.0);
  std::vector<double> scratch(static_cast<size_t>(scf::outer_elimination_words(N)));
  scf::OuterEquations eq;
  eq.N = N, eq.NA = NA, eq.NB = NB, eq.r = 1.0 / sys.t.H12(), eq.ER = -0.6 * sys.t.RZ2;
  eq.TT = lib::CMat(tt.data(), N, N), eq.R2 = R.col(2), eq.R3 = R.col(3);
  eq.PD = PD, eq.S = lib::CMat(s.data(), NB, N), eq.IDIF = IDIF, eq.IBLAS = IBLAS;
  out.sign = scf::eliminate_outer_relations(eq, lib::CMat(zero.data(), N, N), lib::CVec(zero.data(), N),
                                            lib::Mat(out.wk.data(), NB, n2 + N + 4),
                                            lib::Vec(scratch.data(), static_cast<int>(scratch.size())));
  return out;
}

// The largest difference of the relations of a and b, each block against
// its largest entry at that point; `unit` compares RM with G = −RM − I.
double worst_difference(const Relations& a, const Relations& b, int N, bool unit) {
  const int n2 = N * N;
  const lib::CMat W0(a.wk.data(), a.NB, n2 + N + 4), W1(b.wk.data(), b.NB, n2 + N + 4);
  double worst = 0.0;
  for (int i = a.NA + 2; i <= a.NB; ++i) {
    double size = 0.0, diff = 0.0, vsize = 0.0, vdiff = 0.0;
    for (int p = 1; p <= N; ++p) {
      for (int q = 1; q <= N; ++q) {
        const int col = 2 + (q - 1) * N + p;
        const double x = unit ? -W0(i, col) - (p == q ? 1.0 : 0.0) : W0(i, col);
        size = std::max(size, std::fabs(x));
        diff = std::max(diff, std::fabs(x - W1(i, col)));
      }
      vsize = std::max(vsize, std::fabs(W0(i, n2 + 2 + p)));
      vdiff = std::max(vdiff, std::fabs(W0(i, n2 + 2 + p) - W1(i, n2 + 2 + p)));
    }
    worst = std::max({worst, diff / size, vdiff / (vsize + 1e-3)});
  }
  return worst;
}

// The difference form (IDIF = 1) keeps G = −RM − I in place of RM: on three
// coupled waves at a trial energy its relations are those of the written
// form to rounding, point by point, with the same sign of the determinant.
TEST(OuterElimination, DifferenceFormHoldsTheRelationsOfTheWrittenForm) {
  const int N = 3;
  const Relations written = eliminate(N, 0, 0), difference = eliminate(N, 1, 0);
  EXPECT_EQ(written.sign, difference.sign);
  EXPECT_LT(worst_difference(written, difference, N, true), 1e-10);
  // Not an empty comparison: the relations couple the waves and carry the source.
  const lib::CMat W0(written.wk.data(), written.NB, N * N + N + 4);
  EXPECT_GT(std::fabs(W0(written.NA + 2, 2 + N + 1)), 1e-6);
  EXPECT_GT(std::fabs(W0(written.NA + 2, N * N + 3)), 1e-6);
}

// The blocks by BLAS and LAPACK (IBLAS = 1) give the relations of the
// written algebra to rounding in both forms, on 24 coupled waves, with the
// same sign of the determinant.
TEST(OuterElimination, LibraryAlgebraHoldsTheRelationsOfTheWrittenOne) {
  const int N = 24;
  for (int IDIF : {0, 1}) {
    const Relations written = eliminate(N, IDIF, 0), library = eliminate(N, IDIF, 1);
    EXPECT_EQ(written.sign, library.sign) << "IDIF = " << IDIF;
    EXPECT_LT(worst_difference(written, library, N, false), 1e-12) << "IDIF = " << IDIF;
  }
}

}  // namespace

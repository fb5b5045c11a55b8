// The real-arithmetic solver of the complex RPA system: pivoting rules of
// the LU decomposition, the substitution, and the complex inverse checked
// against a plain complex Gaussian elimination.
#include "photo/kernels/linear_solver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "reference.hpp"

namespace {

using photo::LuRowScales;
using ref::cplx;
using ref::Dense;

TEST(LuDecomposition, EqualScaledCandidatesTheLaterRowBecomesThePivot) {
  // Row scales 1/2 and 1/3 make both candidates of column 1 weigh exactly 1.
  Dense<double> A(2, 2);
  A(1, 1) = 2.0, A(1, 2) = 1.0, A(2, 1) = 3.0, A(2, 2) = -3.0;
  std::vector<int> indx(2);
  double D = 0.0;
  LuRowScales T;
  photo::lu_decompose(A.view(), 2, 2, lib::IVec(indx.data(), 2), D, T);
  EXPECT_EQ(indx[0], 2);
  EXPECT_EQ(indx[1], 2);
  EXPECT_EQ(D, -1.0);
  // P·A = L·U with row 2 on top: L(2,1) = 2/3, U(2,2) = 1 − (2/3)(−3) = 3.
  EXPECT_DOUBLE_EQ(A(1, 1), 3.0);
  EXPECT_DOUBLE_EQ(A(1, 2), -3.0);
  EXPECT_DOUBLE_EQ(A(2, 1), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(A(2, 2), 3.0);
}

TEST(LuDecomposition, ZeroPivotWithoutZeroRowBecomesTinyAndSilent) {
  Dense<double> A(2, 2, 1.0);  // rank one, no zero row
  std::vector<int> indx(2);
  double D = 0.0;
  LuRowScales T;
  std::istringstream in("");
  std::ostringstream out;
  {
    io::ConsoleRedirect redirect(&in, &out);
    photo::lu_decompose(A.view(), 2, 2, lib::IVec(indx.data(), 2), D, T);
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(A(2, 2), 1.0e-40);
  EXPECT_EQ(indx[0], 2);
  EXPECT_EQ(D, -1.0);
  // Back substitution stays finite.
  std::vector<double> b{1.0, 1.0};
  photo::lu_substitute(A.cview(), 2, 2, lib::CIVec(indx.data(), 2), lib::Vec(b.data(), 2));
  EXPECT_TRUE(std::isfinite(b[0]) && std::isfinite(b[1]));
}

TEST(LuDecomposition, ZeroRowPausesForOneConsoleLineThenCompletes) {
  for (const char* input : {"go on\nnext answer\n", ""}) {
    Dense<double> A(3, 3);
    A(1, 1) = 4.0, A(1, 2) = 1.0, A(1, 3) = 2.0;
    A(3, 1) = 1.0, A(3, 2) = 5.0, A(3, 3) = 1.0;  // row 2 is zero
    std::vector<int> indx(3, -7);
    double D = 0.0;
    LuRowScales T;
    std::istringstream in(input);
    std::ostringstream out;
    {
      io::ConsoleRedirect redirect(&in, &out);
      photo::lu_decompose(A.view(), 3, 3, lib::IVec(indx.data(), 3), D, T);
    }
    EXPECT_EQ(out.str(), "SINGULAR MATRIX IN LUDE\n") << "input '" << input << "'";
    for (int j = 1; j <= 3; ++j) EXPECT_TRUE(indx[j - 1] >= j && indx[j - 1] <= 3);
    std::string rest;
    std::getline(in, rest);
    if (std::string(input).empty()) {
      EXPECT_TRUE(in.eof());
    } else {
      EXPECT_EQ(rest, "next answer") << "the pause reads exactly one line";
    }
  }
}

TEST(LuSubstitution, LeadingZerosOfTheRightHandSideAreSkippedWithoutChangingTheResult) {
  std::mt19937 rng(5);
  const int n = 6;
  Dense<double> A = ref::dominant_matrix(n, rng);
  const Dense<double> A0 = A;
  std::vector<int> indx(n);
  double D = 0.0;
  LuRowScales T;
  photo::lu_decompose(A.view(), n, n, lib::IVec(indx.data(), n), D, T);
  for (int zeros : {0, 1, 3, 5}) {
    std::vector<double> b(n, 0.0);
    std::uniform_real_distribution<double> u(0.5, 1.5);
    // Zeros in the first places of the permuted right-hand side.
    std::vector<double> pb(n);
    for (int i = zeros; i < n; ++i) pb[i] = u(rng);
    b = pb;
    for (int j = n; j >= 1; --j) std::swap(b[j - 1], b[indx[j - 1] - 1]);  // undo the permutation
    std::vector<double> x = b;
    photo::lu_substitute(A.cview(), n, n, lib::CIVec(indx.data(), n), lib::Vec(x.data(), n));
    // Full forward pass over every entry, then the same back substitution.
    std::vector<double> y = pb;
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j < i; ++j) y[i - 1] -= A(i, j) * y[j - 1];
    }
    for (int i = n; i >= 1; --i) {
      for (int j = i + 1; j <= n; ++j) y[i - 1] -= A(i, j) * y[j - 1];
      y[i - 1] /= A(i, i);
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(x[i], y[i]) << "zeros = " << zeros;
    for (int i = 1; i <= n; ++i) {
      double r = -b[i - 1];
      for (int j = 1; j <= n; ++j) r += A0(i, j) * x[j - 1];
      EXPECT_NEAR(r, 0.0, 1e-14) << "zeros = " << zeros;
    }
  }
}

TEST(LuInverse, IdentityGivesIdentityWithoutInterchanges) {
  const int n = 5;
  Dense<double> A(n, n), Y(n, n, 3.0);
  for (int i = 1; i <= n; ++i) A(i, i) = 1.0;
  std::vector<int> ind(n);
  double D = 0.0;
  LuRowScales T;
  photo::lu_inverse(n, lib::IVec(ind.data(), n), D, A.view(), Y.view(), T);
  EXPECT_EQ(D, 1.0);
  for (int j = 1; j <= n; ++j) {
    EXPECT_EQ(ind[j - 1], j);
    for (int i = 1; i <= n; ++i) EXPECT_EQ(Y(i, j), i == j ? 1.0 : 0.0);
  }
}

// The inverse is formed block-wise for speed; every column must come out as
// the substitution itself computes it from the same factors, to the last bit.
TEST(LuInverse, ColumnsAreExactlyTheSubstitutionsOfLube) {
  std::mt19937 rng(17);
  for (int n : {1, 15, 16, 17, 53}) {
    Dense<double> A = ref::random_matrix(n, n, rng), Y(n, n);
    if (n > 2) A(2, 1) = 0.0, A(n, n) = 0.0;
    std::vector<int> ind(n);
    double D = 0.0;
    LuRowScales T;
    photo::lu_inverse(n, lib::IVec(ind.data(), n), D, A.view(), Y.view(), T);
    for (int j = 1; j <= n; ++j) {
      std::vector<double> e(n, 0.0);
      e[j - 1] = 1.0;
      photo::lu_substitute(A.cview(), n, n, lib::CIVec(ind.data(), n), lib::Vec(e.data(), n));
      for (int i = 1; i <= n; ++i) EXPECT_EQ(Y(i, j), e[i - 1]) << "N = " << n << ", column " << j;
    }
  }
}

// Work arrays of one complex inverse.
struct InvabCase {
  int n, nb;
  Dense<double> A, B, B1, B2, R, S;
  std::vector<double> W;
  std::vector<int> IB, IND;
  InvabCase(int n_, int nb_)
      : n(n_), nb(nb_), A(n, n), B(nb, n), B1(nb, n), B2(nb, n), R(n, n), S(n, n), W(n), IB(nb), IND(n) {}
  void run(LuRowScales& T) {
    photo::ComplexInverseWork w{lib::IVec(IND.data(), n), B1.view(), B2.view(), lib::Vec(W.data(), n)};
    photo::complex_inverse(photo::ComplexSystem{n, nb, lib::CIVec(IB.data(), nb), A.view(), B.cview()}, w, T, R.view(),
                           S.view());
  }
};

// R = A⁻¹ and S = 0 when the coupling block vanishes or is empty.
TEST(ComplexInverse, WithoutCouplingRowsOrWithZeroCouplingTheInverseIsReal) {
  std::mt19937 rng(21);
  const int n = 12;
  const Dense<double> A0 = ref::dominant_matrix(n, rng);
  Dense<double> Ainv = A0, Y(n, n);
  std::vector<int> ind(n);
  double D = 0.0;
  auto T = std::make_unique<LuRowScales>();
  photo::lu_inverse(n, lib::IVec(ind.data(), n), D, Ainv.view(), Y.view(), *T);
  for (int nb : {0, 3}) {
    InvabCase c(n, nb);
    c.A = A0;
    c.IB = std::vector<int>{5, 5, 12};  // B = 0: any rows, repeated or not
    c.IB.resize(nb);
    c.run(*T);
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        EXPECT_NEAR(c.R(i, j), Y(i, j), 1e-15) << "NB = " << nb;
        EXPECT_EQ(c.S(i, j), 0.0) << "NB = " << nb;
      }
    }
  }
}

// (A + iE·B)·(R − iS) = I, and R − iS equals the inverse found by complex
// Gaussian elimination, for random well-conditioned systems.
TEST(ComplexInverse, MatchesComplexGaussianEliminationUpToOrder300) {
  std::mt19937 rng(1234);
  auto T = std::make_unique<LuRowScales>();
  for (int n : {10, 37, 120, 300}) {
    const int nb = std::max(1, n / 10);
    InvabCase c(n, nb);
    c.A = ref::dominant_matrix(n, rng, 2.0);
    // Coupling rows: the entries of B are small beside the diagonal of A.
    c.B = ref::random_matrix(nb, n, rng, 1.0 / n);
    std::vector<int> rows(n);
    for (int i = 0; i < n; ++i) rows[i] = i + 1;
    std::shuffle(rows.begin(), rows.end(), rng);
    for (int j = 0; j < nb; ++j) c.IB[j] = rows[j];

    Dense<cplx> M(n, n);
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) M(i, j) = c.A(i, j);
    }
    for (int J = 1; J <= nb; ++J) {
      for (int j = 1; j <= n; ++j) M(c.IB[J - 1], j) += cplx(0.0, c.B(J, j));
    }
    const Dense<cplx> Minv = ref::complex_inverse(M);
    c.run(*T);

    double resid = 0.0, diff = 0.0;
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        cplx s = 0.0;
        for (int k = 1; k <= n; ++k) s += M(i, k) * cplx(c.R(k, j), -c.S(k, j));
        resid = std::max(resid, std::abs(s - cplx(i == j ? 1.0 : 0.0)));
        diff = std::max(diff, std::abs(Minv(i, j) - cplx(c.R(i, j), -c.S(i, j))));
      }
    }
    EXPECT_LT(resid, 1e-10) << "N = " << n;
    EXPECT_LT(diff, 1e-10) << "N = " << n;
  }
}

TEST(ComplexInverse, CapacityAndCouplingRowsAreCheckedBeforeAnyWrite) {
  LuRowScales T;
  double D = 0.0;
  // Order beyond the 1500 rows of the row-scale table.
  photo::ComplexInverseWork none;
  EXPECT_THROW(photo::complex_inverse(photo::ComplexSystem{1501, 0, {}, {}, {}}, none, T, {}, {}), io::StopRun);
  Dense<double> big(1501, 1501);
  std::vector<int> indx(1501);
  EXPECT_THROW(photo::lu_decompose(big.view(), 1501, 1501, lib::IVec(indx.data(), 1501), D, T), io::StopRun);
  // A coupling row outside 1 … N would add into a row that does not exist.
  InvabCase c(4, 1);
  for (int i = 1; i <= 4; ++i) c.A(i, i) = 1.0;
  c.IB[0] = 5;
  const Dense<double> A0 = c.A;
  EXPECT_THROW(c.run(T), io::StopRun);
  EXPECT_EQ(c.A.a, A0.a);
}

}  // namespace

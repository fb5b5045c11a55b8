// Vector kernels on slices of a larger array, and the in-place Gauss–Jordan
// inverse against exact inverses and determinants.
#include "lib/vector_kernels.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "io/stop.hpp"

namespace {

using lib::CVec;
using lib::Mat;
using lib::Vec;

TEST(VectorKernels, ActOnExactlyTheirStretchOfTheWorkspace) {
  // A 3-word stretch in the middle of 7 words: the guards must not move.
  std::vector<double> w = {-9, 1, 2, 3, -9, 4, 5};
  Vec v(w.data() + 1, 3);
  const CVec other(w.data() + 4, 3);  // (−9, 4, 5)

  lib::scale(3, 2.0, v);
  EXPECT_EQ(w, (std::vector<double>{-9, 2, 4, 6, -9, 4, 5}));
  lib::add_scaled(3, 0.5, other, v);  // v += ½·(−9, 4, 5)
  EXPECT_EQ(w, (std::vector<double>{-9, -2.5, 6, 8.5, -9, 4, 5}));
  lib::multiply_elementwise(3, other, v);  // v ·= (−9, 4, 5)
  EXPECT_EQ(w, (std::vector<double>{-9, 22.5, 24, 42.5, -9, 4, 5}));
  lib::add_product(3, other, other, v);  // v += (81, 16, 25)
  EXPECT_EQ(w, (std::vector<double>{-9, 103.5, 40, 67.5, -9, 4, 5}));
  lib::copy(3, other, v);
  EXPECT_EQ(w, (std::vector<double>{-9, -9, 4, 5, -9, 4, 5}));
  lib::fill(3, 7.0, v);
  EXPECT_EQ(w, (std::vector<double>{-9, 7, 7, 7, -9, 4, 5}));

  // Zero-length calls leave everything as it is.
  lib::fill(0, 1.0, v);
  lib::copy(0, other, v);
  EXPECT_EQ(w, (std::vector<double>{-9, 7, 7, 7, -9, 4, 5}));

  const double a[] = {1, 2, 3}, b[] = {4, 5, 6};
  EXPECT_EQ(lib::dot(3, CVec(a, 3), CVec(b, 3)), 32.0);
  EXPECT_EQ(lib::dot(0, CVec(a, 3), CVec(b, 3)), 0.0);
}

TEST(InvertInPlace, SmallMatricesGiveTheirExactInverseAndDeterminant) {
  std::vector<double> a = {2, 1, 1, 1};  // rows (2, 1) and (1, 1)
  double D = 0;
  lib::invert_in_place(2, D, Mat(a.data(), 2, 2));
  EXPECT_EQ(a, (std::vector<double>{1, -1, -1, 2}));
  EXPECT_EQ(D, 1.0);

  std::vector<double> d = {2, 0, 0, 0, -4, 0, 0, 0, 0.5};
  lib::invert_in_place(3, D, Mat(d.data(), 3, 3));
  EXPECT_EQ(d, (std::vector<double>{0.5, 0, 0, 0, -0.25, 0, 0, 0, 2}));
  EXPECT_EQ(D, -4.0);

  D = 0;
  lib::invert_in_place(0, D, Mat(nullptr, 0, 0));
  EXPECT_EQ(D, 1.0);
}

TEST(InvertInPlace, InnerPowerMatrixIsInvertedToRoundingWithTheVandermondeDeterminant) {
  // U(J,I) = t_I^(J−1) at the inner points of a grid with step 0.25.
  const int n = 5;
  const double t[n] = {1e-9, 0.25, 0.5, 0.75, 1.0};
  std::vector<double> u(n * n), a;
  for (int I = 0; I < n; ++I)
    for (int J = 0; J < n; ++J) u[I * n + J] = std::pow(t[I], J);
  a = u;
  double D = 0;
  lib::invert_in_place(n, D, Mat(a.data(), n, n));

  double det = 1;  // Π_{i<j} (t_j − t_i)
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) det *= t[j] - t[i];
  EXPECT_NEAR(D, det, 1e-13 * std::fabs(det));

  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += u[k * n + i] * a[j * n + k];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
}

TEST(InvertInPlace, ZeroPivotStopsInsteadOfFillingTheMatrixWithInfinities) {
  // Non-singular, but its leading 1×1 minor is zero: elimination without
  // pivoting cannot proceed.
  std::vector<double> a = {0, 1, 1, 0};
  double D = 0;
  try {
    lib::invert_in_place(2, D, Mat(a.data(), 2, 2));
    FAIL() << "no stop";
  } catch (const io::StopRun& s) {
    EXPECT_EQ(s.message(), " INVM: ZERO PIVOT IN ROW    1 OF    2");
  }
}

}  // namespace

// Angular coupling coefficients of complex spherical harmonics (Condon–Shortley
// phase) in the angle η = cos θ of the prolate spheroidal coordinates: the
// Wigner 3j symbol for integer momenta, the Gaunt integral of three harmonics,
// the same integral with the extra factor η² that the volume element
// (ξ² − η²) brings in, and the η, η² elements between harmonics of one
// projection.  Everything rests on one factorial table F(0:N).
#include "lib/angular_coefficients.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/build.hpp"

namespace lib {

namespace {

// π to the twelve digits with which the coefficients have always been formed.
constexpr double kPi = 3.14159265359;

// sqrt(4π)/3, (2/3)·sqrt(4π/5) and sqrt(4π/3) to the digits used since the
// start: η² = 1/3 + (2/3)·P2(η) and η = P1(η) written with Y(2,0), Y(0,0) and
// Y(1,0).  The rounding of the written digits shows at about 1e-9.
constexpr double kEta2Monopole = 1.1816359;
constexpr double kEta2Quadrupole = 1.056887279;
constexpr double kEtaDipole = 2.046653415;

// (−1)^n for any integer n.
double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

[[noreturn]] void table_too_short(int N, int top) {
  io::stop(io::fstring(io::Format("(' FACTORIAL TABLE ENDS AT',I5,', N! NEEDED FOR N =',I5)"), top, N));
}

// The 3j symbol beyond the written factorial tables.  Racah's sum
// alternates, and for momenta of some tens its terms exceed the symbol by
// up to 1e15 (M = 0, sums of 80 to 250), more than a double or a long
// double keeps.  So: the first term from log-gamma in long double (a common
// factor, its rounding is not amplified), the ratios of the following terms
//   t(k+1)/t(k) = −(A−k)(D−k)(E−k)/((k+1)(B+k+1)(C+k+1))
// exact in integers, and the sum of the ratios in 113-bit binary128
// arithmetic.  No table and no overflow.  Triangle and projection rules are
// checked by the caller.
#if defined(__SIZEOF_FLOAT128__)
using Wide = __float128;
#else
using Wide = long double;  // binary128 itself where the platform has no __float128 (AArch64)
#endif
static_assert(std::numeric_limits<Wide>::digits >= 113 || !std::numeric_limits<Wide>::is_specialized,
              "the wide Racah sum needs a 113-bit significand");

double racah_wide(int L1, int L2, int L3, int M1, int M2, int M3) {
  auto lf = [](int n) { return std::lgamma(static_cast<long double>(n) + 1.0L); };
  const int A = L1 + L2 - L3, B = L3 - L2 + M1, C = L3 - L1 - M2, D = L1 - M1, E = L2 + M2;
  int kmin = 0;
  if (-B > kmin) kmin = -B;
  if (-C > kmin) kmin = -C;
  int kmax = A;
  if (D < kmax) kmax = D;
  if (E < kmax) kmax = E;
  const long double logC = 0.5L * (lf(A) + lf(L1 - L2 + L3) + lf(-L1 + L2 + L3) + lf(L1 + M1) + lf(L1 - M1) +
                                   lf(L2 + M2) + lf(L2 - M2) + lf(L3 + M3) + lf(L3 - M3) - lf(L1 + L2 + L3 + 1));
  const int k = kmin;
  const long double first = std::exp(logC - (lf(k) + lf(A - k) + lf(B + k) + lf(C + k) + lf(D - k) + lf(E - k)));
  Wide r = 1, sum = 1;
  for (int k = kmin; k < kmax; ++k) {
    r = -r * (static_cast<Wide>(static_cast<long>(A - k) * (D - k) * (E - k)) /
              static_cast<Wide>(static_cast<long>(k + 1) * (B + k + 1) * (C + k + 1)));
    sum += r;
  }
  const double sign = parity(kmin + L1 - L2 - M3);
  return sign * static_cast<double>(first * static_cast<long double>(sum));
}

// The ends of the factorial tables the two builds have always been used
// with (the photoionisation programs 0! … 80!, the ground state 0! … 98!):
// up to them the double-precision sum, whose values stored results hold.
int written_end(Build b) { return b == Build::photo ? 80 : kFactorials - 1; }

}  // namespace

// F(n) = n! for n = 0 … N, by F(n) = n·F(n−1); exact up to 22!, then correctly
// rounded products.
void fill_factorials(int N, VecView<double, 0> F) {
  F(0) = 1.0;
  for (int I = 1; I <= N; ++I) F(I) = F(I - 1) * I;
}

// N! from the table, and 0 for a negative N: the zero makes every impossible
// term of the Racah sum vanish.  An N beyond the end of the table stops the
// run; reading on past the table would give an arbitrary number.
double factorial_or_zero(int N, Fac F) {
  if (N < 0) return 0.0;
  if (N > F.size() - 1) table_too_short(N, F.size() - 1);
  return F(N);
}

// Wigner 3j symbol (L1 L2 L3; M1 M2 M3) by the Racah formula
//   Δ = [(L1+L2−L3)!(L1−L2+L3)!(−L1+L2+L3)! Π (Li+Mi)!(Li−Mi)! / (L1+L2+L3+1)!]^½
//   3j = Δ · Σ_k (−1)^(k+L1−L2−M3) /
//        [k!(L1+L2−L3−k)!(L3−L2+M1+k)!(L3−L1−M2+k)!(L1−M1−k)!(L2+M2−k)!]
// summed over the k for which every factorial argument is non-negative.
// Exact to rounding while the products stay below the largest double; the
// two builds form the prefactor and the terms in two different orders
// (the ground-state build divides by (L1+L2+L3+1)! first, which keeps the
// prefactor finite to larger momenta).  The symbol is zero, without touching
// the table, when M1+M2+M3 ≠ 0, when the triangle rule fails or when some
// |Mi| > Li.  Beyond the written tables (L1+L2+L3+1 > 80, > 98 for the
// ground-state build) the sum is taken in wider arithmetic (racah_wide)
// without the table: the double sum would lose up to 1e-4 of the symbol.
double wigner_3j(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b) {
  if (M1 + M2 + M3 != 0) return 0.0;
  // With a broken triangle or |Mi| > Li one factorial of the prefactor has a
  // negative argument and no term of the sum survives: the formula gives +0.
  if (L1 + L2 - L3 < 0 || L1 - L2 + L3 < 0 || -L1 + L2 + L3 < 0) return 0.0;
  if (std::abs(M1) > L1 || std::abs(M2) > L2 || std::abs(M3) > L3) return 0.0;

  const int LL = L1 + L2 + L3 + 1;
  if (LL > written_end(b)) return racah_wide(L1, L2, L3, M1, M2, M3);
  if (LL > F.size() - 1) table_too_short(LL, F.size() - 1);
  auto f = [F](int n) { return factorial_or_zero(n, F); };

  double C;
  if (b == Build::photo) {
    double P = f(L1 + L2 - L3) * f(L1 - L2 + L3) * f(-L1 + L2 + L3) * f(L1 + M1) * f(L1 - M1) * f(L2 + M2) *
               f(L2 - M2) * f(L3 + M3) * f(L3 - M3);
    C = std::sqrt(P / f(LL));
  } else {
    double P = f(L1 + L2 - L3) / f(LL) * f(L1 - L2 + L3) * f(-L1 + L2 + L3) * f(L1 + M1) * f(L1 - M1) * f(L2 + M2) *
               f(L2 - M2) * f(L3 + M3) * f(L3 - M3);
    C = std::sqrt(P);
  }
  if (!std::isfinite(C)) {
    io::stop(io::fstring(io::Format("(' 3J SYMBOL OVERFLOWS FOR L =',3I4,', M =',3I4)"), L1, L2, L3, M1, M2, M3));
  }

  // Terms with a negative factorial argument are zero; the others are taken
  // in increasing k, as in the full sum over k = 0 … L1+L2+L3.
  int kmin = 0;
  if (L2 - L3 - M1 > kmin) kmin = L2 - L3 - M1;
  if (L1 - L3 + M2 > kmin) kmin = L1 - L3 + M2;
  int kmax = L1 + L2 - L3;
  if (L1 - M1 < kmax) kmax = L1 - M1;
  if (L2 + M2 < kmax) kmax = L2 + M2;

  double SUM = 0.0;
  for (int k = kmin; k <= kmax; ++k) {
    double D = f(L1 + L2 - L3 - k) * f(L3 - L2 + M1 + k) * f(L3 - L1 - M2 + k) * f(L1 - M1 - k) * f(L2 + M2 - k);
    double s = parity(k + L1 - L2 - M3);
    if (b == Build::photo)
      SUM = SUM + (s / D) / f(k);
    else
      SUM = SUM + s / (D * f(k));
  }
  return C * SUM;
}

// Gaunt integral ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ
//   = (−1)^M3 · [(2L1+1)(2L2+1)(2L3+1)/(4π)]^½ · (L1 L2 L3; 0 0 0)(L1 L2 L3; M1 M2 −M3);
// zero unless M1 + M2 = M3.  Accurate to rounding (π as the 12-digit literal).
double gaunt_integral(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b) {
  const int n = (2 * L1 + 1) * (2 * L2 + 1) * (2 * L3 + 1);
  return parity(M3) * std::sqrt(n / 4.0 / kPi) * wigner_3j(L1, L2, L3, 0, 0, 0, F, b) *
         wigner_3j(L1, L2, L3, M1, M2, -M3, F, b);
}

// ⟨L M|η²|L M⟩ from η² = 1/3 + (2/3)·P2(η):  = (2L(L+1) − 2M² − 1)/((2L−1)(2L+3)).
double eta2_diagonal_from_gaunt(int L, int M, Fac F, Build b) {
  return kEta2Monopole * gaunt_integral(L, 0, L, M, 0, M, F, b) +
         kEta2Quadrupole * gaunt_integral(L, 2, L, M, 0, M, F, b);
}

// ⟨L+1 M|η|L M⟩ = [((L+1)² − M²)/((2L+1)(2L+3))]^½.
double eta_next_from_gaunt(int L, int M, Fac F, Build b) {
  return kEtaDipole * gaunt_integral(L, 1, L + 1, M, 0, M, F, b);
}

// ⟨L+2 M|η²|L M⟩ = [((L+1)² − M²)((L+2)² − M²)/((2L+1)(2L+3)²(2L+5))]^½.
double eta2_next_from_gaunt(int L, int M, Fac F, Build b) {
  return kEta2Quadrupole * gaunt_integral(L, 2, L + 2, M, 0, M, F, b);
}

// ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ.  η² is symmetric and couples
// Y(L3,M3) only to Y(L3,M3) and Y(L3±2,M3), so
//   = ⟨L3|η²|L3⟩·G(L3) + ⟨L3+2|η²|L3⟩·G(L3+2) + ⟨L3|η²|L3−2⟩·G(L3−2)
// with G(L) the Gaunt integral onto Y(L,M3); the last term only for L3 ≥ 2.
double gaunt_integral_eta2(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b) {
  double B = eta2_diagonal_from_gaunt(L3, M3, F, b) * gaunt_integral(L1, L2, L3, M1, M2, M3, F, b) +
             gaunt_integral(L1, L2, L3 + 2, M1, M2, M3, F, b) * eta2_next_from_gaunt(L3, M3, F, b);
  if (L3 >= 2) B = B + gaunt_integral(L1, L2, L3 - 2, M1, M2, M3, F, b) * eta2_next_from_gaunt(L3 - 2, M3, F, b);
  return B;
}

// The η, η² elements with EXACT = 1 in closed form, beside the library's
// written values (EXACT = 0, the ground-state build of eta2_diagonal_from_gaunt–eta2_next_from_gaunt).
double eta2_diagonal(int L, int M, Fac F, int EXACT) {
  if (EXACT != 1) return eta2_diagonal_from_gaunt(L, M, F, Build::scf);
  if (std::abs(M) > L) return 0.0;
  return (2.0 * L * (L + 1) - 2.0 * M * M - 1.0) / ((2.0 * L - 1.0) * (2.0 * L + 3.0));
}

double eta2_next(int L, int M, Fac F, int EXACT) {
  if (EXACT != 1) return eta2_next_from_gaunt(L, M, F, Build::scf);
  if (std::abs(M) > L) return 0.0;
  const double a = (L + 1.0) * (L + 1.0) - M * M, b = (L + 2.0) * (L + 2.0) - M * M, c = 2.0 * L + 3.0;
  return std::sqrt(a * b / ((2.0 * L + 1.0) * c * c * (2.0 * L + 5.0)));
}

double eta_next(int L, int M, Fac F, int EXACT) {
  if (EXACT != 1) return eta_next_from_gaunt(L, M, F, Build::scf);
  if (std::abs(M) > L) return 0.0;
  return std::sqrt(((L + 1.0) * (L + 1.0) - M * M) / ((2.0 * L + 1.0) * (2.0 * L + 3.0)));
}

}  // namespace lib

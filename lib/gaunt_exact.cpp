// The exact Gaunt table: the normalised associated Legendre functions at the
// nodes of one Gauss–Legendre rule, and every coefficient as one weighted
// sum of their products.
#include "lib/gaunt_exact.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/gaunt_exact.hpp"
#include "lib/quadrature.hpp"

namespace lib {

namespace {

// P̄(L, M)(x_k) for L = 0 … LTOP and M = 0 … MTOP at the nodes x_k, as
// P(k + nq·(L + (LTOP+1)·M)); zero for L < M.  Recurrences:
//   P̄(M,M)   = (−1)^M·√[(2M+1)/2 · Π_{k≤M} (2k−1)/(2k)]·(1 − x²)^(M/2),
//   P̄(M+1,M) = √(2M+3)·x·P̄(M,M),
//   P̄(L,M)   = a(L)·[x·P̄(L−1,M) − P̄(L−2,M)/a(L−1)],  a(L) = √[(4L²−1)/(L²−M²)].
std::vector<double> legendre_at(const std::vector<double>& x, int LTOP, int MTOP) {
  const std::size_t nq = x.size(), nl = LTOP + 1;
  std::vector<double> P(nq * nl * (MTOP + 1), 0.0);
  auto at = [&](int L, int M) { return P.data() + nq * (L + nl * M); };
  for (int M = 0; M <= MTOP && M <= LTOP; ++M) {
    double c = (2.0 * M + 1.0) / 2.0;
    for (int k = 1; k <= M; ++k) c *= (2.0 * k - 1.0) / (2.0 * k);
    const double head = ((M & 1) ? -1.0 : 1.0) * std::sqrt(c);
    for (std::size_t k = 0; k < nq; ++k) at(M, M)[k] = head * std::pow(1.0 - x[k] * x[k], 0.5 * M);
    if (M + 1 > LTOP) continue;
    for (std::size_t k = 0; k < nq; ++k) at(M + 1, M)[k] = std::sqrt(2.0 * M + 3.0) * x[k] * at(M, M)[k];
    double aprev = std::sqrt((4.0 * (M + 1) * (M + 1) - 1.0) / ((M + 1.0) * (M + 1) - 1.0 * M * M));
    for (int L = M + 2; L <= LTOP; ++L) {
      const double a = std::sqrt((4.0 * L * L - 1.0) / (1.0 * L * L - 1.0 * M * M));
      const double *p1 = at(L - 1, M), *p2 = at(L - 2, M);
      double* p = at(L, M);
      for (std::size_t k = 0; k < nq; ++k) p[k] = a * (x[k] * p1[k] - p2[k] / aprev);
      aprev = a;
    }
  }
  return P;
}

}  // namespace

ExactGauntTable::ExactGauntTable(int LMAX, int MMAX) : lmax_(LMAX < 0 ? 0 : LMAX), mmax_(MMAX < 0 ? 0 : MMAX) {
  const int l3top = lmax_ + 2, mtop = 2 * mmax_;
  const std::size_t nl = lmax_ + 1, nm = 2 * mmax_ + 1;
  fsga_.assign(nl * nl * (nl + 2) * nm * nm, 0.0);
  fsgb_.assign(fsga_.size(), 0.0);

  // One rule for all: degree up to 2·LMAX + LMAX + 2.
  const int nq = (3 * l3top) / 2 + 2;
  std::vector<double> x(nq), w(nq);
  gauss_legendre(nq, Vec(x.data(), nq), Vec(w.data(), nq));
  const std::vector<double> P = legendre_at(x, l3top, mtop);
  const std::size_t nlp = l3top + 1;
  // P̄(L, M) for either sign of M, times the weights for the third factor.
  std::vector<double> v1(nq), v12(nq);
  auto leg = [&](int L, int M, std::size_t k) {
    const double p = P[k + nq * (L + nlp * std::abs(M))];
    return (M < 0 && (M & 1)) ? -p : p;
  };
  const double scale = 1.0 / std::sqrt(2.0 * 3.141592653589793);

  for (int M2 = -mmax_; M2 <= mmax_; ++M2)
    for (int M1 = -mmax_; M1 <= mmax_; ++M1) {
      const int M3 = M1 + M2;
      for (int L1 = std::abs(M1); L1 <= lmax_; ++L1) {
        for (int k = 0; k < nq; ++k) v1[k] = w[k] * leg(L1, M1, k);
        for (int L2 = std::abs(M2); L2 <= lmax_; ++L2) {
          for (int k = 0; k < nq; ++k) v12[k] = v1[k] * leg(L2, M2, k);
          // Nonzero only within the triangle and for an even L1 + L2 + L3.
          const int lo = std::max(std::abs(L1 - L2), std::abs(M3));
          for (int L3 = lo; L3 <= L1 + L2 && L3 <= l3top; ++L3) {
            if ((L1 + L2 + L3) & 1) continue;
            double s = 0.0;
            for (int k = 0; k < nq; ++k) s += v12[k] * leg(L3, M3, k);
            fsga_[index(L1, L2, L3, M1, M2)] = scale * s;
          }
        }
      }
    }

  // η² couples Y(L3,M3) to Y(L3,M3) and Y(L3 ± 2,M3):
  //   ⟨L3|η²|L3⟩·G(L3) + ⟨L3+2|η²|L3⟩·G(L3+2) + ⟨L3|η²|L3−2⟩·G(L3−2).
  std::vector<double> unused(1);
  const Fac F(unused.data(), 1);  // the closed forms read no factorials
  for (int M2 = -mmax_; M2 <= mmax_; ++M2)
    for (int M1 = -mmax_; M1 <= mmax_; ++M1) {
      const int M3 = M1 + M2;
      for (int L3 = 0; L3 <= lmax_; ++L3) {
        const double d = eta2_diagonal(L3, M3, F, 1), up = eta2_next(L3, M3, F, 1);
        const double down = L3 >= 2 ? eta2_next(L3 - 2, M3, F, 1) : 0.0;
        for (int L2 = 0; L2 <= lmax_; ++L2)
          for (int L1 = 0; L1 <= lmax_; ++L1) {
            double B = d * fsga_[index(L1, L2, L3, M1, M2)] + up * fsga_[index(L1, L2, L3 + 2, M1, M2)];
            if (L3 >= 2) B += down * fsga_[index(L1, L2, L3 - 2, M1, M2)];
            fsgb_[index(L1, L2, L3, M1, M2)] = B;
          }
      }
    }
}

std::size_t ExactGauntTable::checked(int L1, int L2, int L3, int M1, int M2, int l3top) const {
  if (L1 < 0 || L1 > lmax_ || L2 < 0 || L2 > lmax_ || L3 < 0 || L3 > l3top || std::abs(M1) > mmax_ ||
      std::abs(M2) > mmax_) {
    io::stop("angular coefficient (L = " + std::to_string(L1) + ", " + std::to_string(L2) + ", " + std::to_string(L3) +
             "; M = " + std::to_string(M1) + ", " + std::to_string(M2) + ") outside the table (L ≤ " +
             std::to_string(lmax_) + ", |M| ≤ " + std::to_string(mmax_) + ")");
  }
  return index(L1, L2, L3, M1, M2);
}

}  // namespace lib

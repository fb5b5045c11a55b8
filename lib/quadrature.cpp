// Radial quadrature on one equally spaced stretch of the grid (Simpson's
// rule), and the Gauss–Legendre rule in η.
#include "lib/quadrature.hpp"

#include <cmath>

#include "io/format.hpp"
#include "io/stop.hpp"
#include "lib/build.hpp"

namespace lib {

void gauss_legendre(int N, Vec X, Vec W) {
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < (N + 1) / 2; ++i) {
    double z = std::cos(pi * (i + 0.75) / (N + 0.5));
    double dp = 1.0;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1.0, p1 = z;
      for (int k = 2; k <= N; ++k) {
        const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = N * (z * p1 - p0) / (z * z - 1.0);
      const double dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-16) break;
    }
    X(i + 1) = -z;
    X(N - i) = z;
    W(i + 1) = W(N - i) = 2.0 / ((1.0 - z * z) * dp * dp);
  }
}

// Composite Simpson rule on N equally spaced points (N odd, N ≥ 3):
//   ∫ ≈ H/3 · (F(1) + 4F(2) + 2F(3) + 4F(4) + … + 4F(N−1) + F(N)),
// exact for cubics, error O(H⁴) for smooth integrands.  Any other N stops the
// run with the point count.
double simpson_rule(int N, double H, CVec F, Build b) {
  const int N1 = N - 1;
  if (N1 % 2 != 0 || N < 3) {
    const char* text = b == Build::photo ? "(' FINS N = ',I5)" : "(' Fins N = ',I5)";
    io::stop(io::fstring(io::Format(text), N));
  }
  double S1 = 0.0;  // F(3) + F(5) + … + F(N−2)
  double S2 = 0.0;  // F(4) + F(6) + … + F(N−1)
  for (int i = 1; i <= (N1 - 1) / 2; ++i) {
    S1 = S1 + F(2 * i + 1);
    S2 = S2 + F(2 * i + 2);
  }
  const double sum = 4.0 * (F(2) + S2) + 2.0 * S1 + F(1) + F(N);
  if (b == Build::photo) return H * sum / 3.0;
  return H * sum * (1.0 / 3.0);
}

}  // namespace lib

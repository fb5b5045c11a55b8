#include "photo/beta.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "lib/angular_coefficients.hpp"

namespace photo {

// A solution whose amplitudes are all zero stands for a channel still
// closed at that energy (chanfile fills the block up to NL with such empty
// solutions, their radial functions and dipole elements zero): it carries no
// flux and is left out.
double flux_deviation(int NL, int NX, lib::CMat AS, lib::CMat AC) {
  auto empty = [&](int j) {
    for (int K = 1; K <= NX; ++K) {
      if (AS(K, j) != 0.0 || AC(K, j) != 0.0) return false;
    }
    return true;
  };
  double worst = 0.0;
  for (int i = 1; i <= NL; ++i) {
    if (empty(i)) continue;
    for (int j = i; j <= NL; ++j) {
      if (empty(j)) continue;
      double S = 0.0, W = 0.0;
      for (int K = 1; K <= NX; ++K) {
        S += AS(K, i) * AS(K, j) + AC(K, i) * AC(K, j);
        W += AS(K, i) * AC(K, j) - AC(K, i) * AS(K, j);
      }
      worst = std::max({worst, std::fabs(S - (i == j ? 1.0 : 0.0)), std::fabs(W)});
    }
  }
  return worst;
}

void outgoing_amplitudes(int NL, int NX, lib::CMat AS, lib::CMat AC, const Complex* D, Complex* F) {
  for (int K = 1; K <= NX; ++K) {
    Complex sum = 0.0;
    for (int j = 1; j <= NL; ++j) sum += D[j - 1] * Complex(AS(K, j), AC(K, j));
    F[K - 1] = sum;
  }
}

std::vector<PartialWaves> with_mirror_images(int mi, const std::vector<PartialWaves>& waves) {
  std::vector<PartialWaves> all = waves;
  if (mi != 0) return all;
  for (const PartialWaves& w : waves) {
    if (w.m != 0) all.push_back(mirror_image(w));
  }
  return all;
}

PartialWaves mirror_image(const PartialWaves& w) {
  PartialWaves image = w;
  image.m = -w.m;
  image.mu = -w.mu;
  const double sign = ((w.m + w.mu) % 2 == 0) ? 1.0 : -1.0;
  for (Complex& f : image.F) f *= sign;
  return image;
}

// The double sum over partial waves a = (L, m, μ) and b = (L', m', μ') of the
// rank-2 coupling of the dipole components with the photoelectron's waves.
Asymmetry asymmetry(int mi, const std::vector<PartialWaves>& waves, lib::Fac F) {
  Asymmetry out;
  double S2 = 0.0;
  for (const PartialWaves& a : waves) {
    for (const Complex& f : a.F) out.norm += std::norm(f);
    for (const PartialWaves& b : waves) {
      const double dipole = lib::wigner_3j(1, 1, 2, -a.mu, b.mu, a.mu - b.mu, F);
      if (dipole == 0.0) continue;
      for (size_t ka = 0; ka < a.F.size(); ++ka) {
        const int L = a.L0 + static_cast<int>(ka) * a.step;
        for (size_t kb = 0; kb < b.F.size(); ++kb) {
          const int Lp = b.L0 + static_cast<int>(kb) * b.step;
          if (std::abs(L - Lp) > 2 || (L + Lp) % 2 != 0) continue;
          const double c = std::sqrt((2.0 * L + 1.0) * (2.0 * Lp + 1.0)) * lib::wigner_3j(L, Lp, 2, 0, 0, 0, F) *
                           dipole * lib::wigner_3j(L, Lp, 2, a.m, -b.m, b.mu - a.mu, F);
          if (c != 0.0) S2 += c * std::real(a.F[ka] * std::conj(b.F[kb]));
        }
      }
    }
  }
  const double sign = (mi % 2 == 0) ? 1.0 : -1.0;
  out.beta = out.norm > 0.0 ? std::sqrt(30.0) * sign * S2 / out.norm : std::numeric_limits<double>::quiet_NaN();
  return out;
}

}  // namespace photo

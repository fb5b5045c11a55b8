#include "scf/sizes.hpp"

#include <algorithm>

#include "scf/entry.hpp"
#include "scf/outer_elimination.hpp"

namespace scf {

std::array<long, 8> partition(int NB, int NKS, int KMA) {
  const long nb = NB, kma = KMA;
  std::array<long, 8> K{};
  K[0] = 1;
  K[1] = K[0] + 7 * nb;
  K[2] = K[1] + NKS * nb;
  K[3] = K[2] + kma * kma * nb;
  K[4] = K[3] + kma * kma * nb;
  K[5] = K[4] + ((kma + 2) * kma + 6) * nb;
  K[6] = K[5] + 2 * kma * nb;
  K[7] = K[6] + std::max(2 * kma, kma + 2) * nb;
  return K;
}

long words_needed(const ControlGroup& d) {
  long nks = 0, kma = 1, inner = 0;
  for (int i = 1; i <= d.NSH; ++i) {
    const long n = d.n(i), nan = static_cast<long>(d.NA) * n;
    nks += n;
    kma = std::max(kma, n);
    inner = std::max(inner, nan * nan + 2 * nan + nan * n + 7 * n * n);
  }
  const long per_point = partition(1, static_cast<int>(nks), static_cast<int>(kma))[7] - 1;
  return std::max(inner, static_cast<long>(d.NB) * per_point);
}

long inner_system_words(int NA, int n) {
  const long nan = static_cast<long>(NA) * n;
  return std::max(nan * nan, static_cast<long>(NA) * NA);
}

long inner_work_words(int NA, int n) {
  // The fixed-energy solve: the inner system's right-hand side and solution
  // (NA·n each) and the series of its coefficient functions (NA·n²), and
  // before them the outer elimination's scratch; the multipole solver: NA × 3.
  const long nan = static_cast<long>(NA) * n;
  return std::max({2 * nan + nan * n, outer_elimination_words(n), 3L * NA});
}

}  // namespace scf

#include "photo/sizes.hpp"

#include <algorithm>

namespace photo {

long table_words(long groups, int waves, long functions, int NUR, int NB, int shell_waves) {
  const long g = groups + 2, nur = NUR;
  const long f = std::max({static_cast<long>(kBaseSizes.functions), g, nur});
  const long d = std::max({static_cast<long>(kBaseSizes.functions), 2 * functions, nur});
  const long z = std::max(static_cast<long>(kBaseSizes.scratch),
                          static_cast<long>(NB) * ((3 * 2 * std::max(waves, shell_waves)) / 4));
  const long amplitudes = 2 * g * kMaxSolutions * waves;
  // The asymmetry parameters keep the amplitudes of every continuum
  // function and its dipole elements, HF and RPA: 2·waves + 8 words each.
  const long beta = functions * (2L * waves + 8);
  return amplitudes + 4 * g + 2 * kMaxSolutions * f + f + 2 * d + z + beta;
}

}  // namespace photo

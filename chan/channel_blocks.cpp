#include "chan/channel_blocks.hpp"

#include <exception>

namespace chan {

std::vector<Block> channel_blocks(const Grid& g, const Molecule& mol, const Waves& w, StaticExchange* se, int NC,
                                  double P0, double DP, int NL) {
  std::vector<double> ks(static_cast<size_t>(NC));
  for (int j = 1; j <= NC; ++j) ks[static_cast<size_t>(j - 1)] = P0 + (j - 1) * DP;
  std::vector<Block> blocks(ks.size());
  if (se) {
    se->blocks(ks, NL, blocks);
    return blocks;
  }
  // A stop inside is carried out of the parallel loop; the one of the
  // lowest energy is raised, as a loop in order would raise it.
  std::vector<std::exception_ptr> failed(ks.size());
#pragma omp parallel for schedule(dynamic, 1)
  for (int j = 0; j < NC; ++j) {
    try {
      bare_block(g, mol, w, ks[static_cast<size_t>(j)], NL, blocks[static_cast<size_t>(j)]);
    } catch (...) {
      failed[static_cast<size_t>(j)] = std::current_exception();
    }
  }
  for (const auto& e : failed)
    if (e) std::rethrow_exception(e);
  return blocks;
}

}  // namespace chan

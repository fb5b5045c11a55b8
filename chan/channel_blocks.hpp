// The energy blocks of one channel, computed before any is written.
#pragma once

#include <vector>

#include "chan/channel.hpp"
#include "chan/static_exchange.hpp"

namespace chan {

// The NC blocks at the momenta k_j = P0 + (j − 1)·DP: the exact continuum
// of the bare nuclei (se null) or the static-exchange solutions, the
// energies shared among the threads.  Each block is made by one thread (the
// LAPACK calls of static exchange on one BLAS thread), so it is the same to
// the bit whatever the number of threads.
std::vector<Block> channel_blocks(const Grid& g, const Molecule& mol, const Waves& w, StaticExchange* se, int NC,
                                  double P0, double DP, int NL);

}  // namespace chan

#include "scf/energy_search.hpp"

#include <algorithm>
#include <cmath>

#include "scf/fast_search.hpp"
#include "scf/written_rules.hpp"

namespace scf {

std::unique_ptr<EnergySearch> energy_search(int ISRCH) {
  if (ISRCH == 1) return std::make_unique<WrittenRules>();
  return std::make_unique<FastSearch>();
}

bool on_own_branch(double kept, std::span<const double> others, bool in_order) {
  if (!in_order || !(kept >= kKeptOnBranch)) return false;
  return std::all_of(others.begin(), others.end(), [](double o) { return std::fabs(o) <= kOtherOnBranch; });
}

}  // namespace scf

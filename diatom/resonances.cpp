#include "diatom/resonances.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace diatom {

std::vector<BoundFunction> listed_bound_functions(const std::string& listing) {
  std::vector<BoundFunction> out;
  const size_t at = listing.find("Bound functions of the final symmetry");
  if (at == std::string::npos) return out;
  std::istringstream in(listing.substr(at));
  std::string line;
  std::getline(in, line);  // the title
  std::getline(in, line);  // the column heads
  // Rows: d, E, Om (hartree), Om (eV), norm on the grid, f(L), f(V), nu.
  while (std::getline(in, line)) {
    std::istringstream row(line);
    BoundFunction b;
    double energy = 0.0, om = 0.0;
    if (!(row >> b.d >> energy >> om >> b.ev)) break;
    out.push_back(b);
  }
  return out;
}

std::vector<Resonance> closed_channel_resonances(const Molecule& m, const std::vector<Channel>& channels,
                                                 const std::vector<std::vector<BoundFunction>>& bound, double emin,
                                                 double emax) {
  std::vector<Resonance> out;
  if (channels.empty()) return out;
  double first_open = channels.front().threshold;
  std::vector<double> nodes;
  for (const Channel& c : channels) {
    first_open = std::min(first_open, c.threshold);
    for (int j = 1; j <= c.NC; ++j) {
      const double k = c.P0 + (j - 1) * c.DP;
      nodes.push_back((c.threshold + k * k / 2) * kHartreeEV);
    }
  }
  std::sort(nodes.begin(), nodes.end());
  first_open *= kHartreeEV;
  for (size_t c = 0; c < channels.size() && c < bound.size(); ++c) {
    for (const BoundFunction& b : bound[c]) {
      if (!(b.ev > first_open && b.ev >= emin && b.ev <= emax)) continue;
      const auto next = std::lower_bound(nodes.begin(), nodes.end(), b.ev);
      const double above = next == nodes.end() ? b.ev : *next;
      const double below = next == nodes.begin() ? b.ev : *(next - 1);
      out.push_back({b.ev, below, above, channels[c].label(m), b.d});
    }
  }
  std::sort(out.begin(), out.end(), [](const Resonance& a, const Resonance& b) { return a.ev < b.ev; });
  return out;
}

}  // namespace diatom

// The closed-channel resonances of an RPA run: each bound function of a
// channel's final symmetry (a Rydberg-like state of the static-exchange
// field below the shell's threshold) is coupled by the RPA to the channels
// open at its photon energy and puts a resonance there.  Its width is set by
// that coupling and is often far below the momentum step, so the nodes near
// it sample its profile; the listing names each one in the range of results.
#pragma once

#include <string>
#include <vector>

#include "diatom/channels.hpp"

namespace diatom {

// One bound function of a channel: its number and photon energy (eV,
// the state's energy less the ionised orbital's), from chanfile's listing.
struct BoundFunction {
  int d = 0;
  double ev = 0.0;
};

// The bound functions of chanfile's listing text (its table "Bound functions
// of the final symmetry"); none when the listing has no such table.
std::vector<BoundFunction> listed_bound_functions(const std::string& listing);

// A resonance in the range of results: where, from which channel, and the
// photon energies (eV) of the nodes of the results on either side of it.
struct Resonance {
  double ev = 0.0, below = 0.0, above = 0.0;
  std::string channel;
  int d = 0;
};

// The bound functions of `bound[c]` (channel c of `channels`) whose photon
// energies lie above the lowest threshold and within emin … emax (eV), in
// order of energy, each between the two nearest nodes of any channel.
std::vector<Resonance> closed_channel_resonances(const Molecule& m, const std::vector<Channel>& channels,
                                                 const std::vector<std::vector<BoundFunction>>& bound, double emin,
                                                 double emax);

}  // namespace diatom

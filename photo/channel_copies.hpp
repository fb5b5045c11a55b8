// Binary copies of the channels as read.  xsect reads a channel once as the
// first channel of its pairs and once as the second of each pair with an
// earlier channel; parsing the formatted text of a large channel file took
// seconds each time.  The first read leaves a binary copy of every word it
// set in a scratch file of the run folder (unlinked at once, so that no
// name is left behind), and the later reads set the same words from it.
#pragma once

#include <cstdio>
#include <vector>

#include "photo/channel_input.hpp"

namespace photo {

// The words a channel's read sets: NE + 1 group starts, NE energies, the
// ND second values of the extra functions (after the NC continuum
// energies), the amplitudes (the continuum groups' columns) and the NB rows
// of every column of the function table.
struct ChannelWords {
  int* LE;
  double* EE;
  double* CN;
  double* AC;
  double* AS;
  double* XE;
  long ld;  // rows of the function table
  int NB;
};

class ChannelCopies {
 public:
  explicit ChannelCopies(int channels)
      : files_(static_cast<size_t>(channels), nullptr), ch_(files_.size()), columns_(files_.size(), 0) {}
  ChannelCopies(const ChannelCopies&) = delete;
  ChannelCopies& operator=(const ChannelCopies&) = delete;
  ~ChannelCopies();
  // The description of channel c (from 0) when it has a copy.
  const ChannelFiles* described(size_t c) const { return files_[c] ? &ch_[c] : nullptr; }
  // The columns of the function table the copy of channel c sets.
  long columns(size_t c) const { return columns_[c]; }
  // Keeps a copy of channel c as just read; where the scratch file cannot
  // be made or written, keeps none (the channel is parsed again).
  void keep(size_t c, const ChannelFiles& ch, const ChannelWords& w);
  // Sets the words of channel c from its copy; false (and the copy
  // dropped) when it cannot be read back.
  bool restore(size_t c, const ChannelWords& w);

 private:
  void drop(size_t c);
  std::vector<std::FILE*> files_;
  std::vector<ChannelFiles> ch_;
  std::vector<long> columns_;
};

}  // namespace photo

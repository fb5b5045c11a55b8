#include "photo/channel_copies.hpp"

#include <stdlib.h>
#include <unistd.h>

namespace photo {

namespace {

// Every piece of a channel's words in the order the copy holds them,
// through `move(pointer, bytes)`.
template <class Move>
bool each_piece(const ChannelFiles& ch, const ChannelWords& w, Move move) {
  const size_t NE = static_cast<size_t>(ch.NE()), NC = static_cast<size_t>(ch.NC);
  if (!move(w.LE, (NE + 1) * sizeof(int))) return false;
  if (!move(w.EE, NE * sizeof(double))) return false;
  if (!move(w.CN + NC, (NE - NC) * sizeof(double))) return false;
  const size_t amplitudes = static_cast<size_t>(w.LE[NC] - w.LE[0]);
  if (!move(w.AC + (w.LE[0] - 1), amplitudes * sizeof(double))) return false;
  if (!move(w.AS + (w.LE[0] - 1), amplitudes * sizeof(double))) return false;
  const size_t columns = static_cast<size_t>(w.LE[NE] - 1), rows = static_cast<size_t>(w.NB);
  for (size_t j = 0; j < columns; ++j)
    if (!move(w.XE + j * static_cast<size_t>(w.ld), rows * sizeof(double))) return false;
  return true;
}

}  // namespace

ChannelCopies::~ChannelCopies() {
  for (std::FILE* f : files_)
    if (f) std::fclose(f);
}

void ChannelCopies::drop(size_t c) {
  if (files_[c]) std::fclose(files_[c]);
  files_[c] = nullptr;
}

void ChannelCopies::keep(size_t c, const ChannelFiles& ch, const ChannelWords& w) {
  drop(c);
  char name[] = "xsect.copy.XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return;
  unlink(name);
  std::FILE* f = fdopen(fd, "w+b");
  if (!f) {
    close(fd);
    return;
  }
  files_[c] = f;
  ch_[c] = ch;
  columns_[c] = w.LE[ch.NE()] - 1;
  const bool written =
      each_piece(ch, w, [f](const void* p, size_t bytes) { return std::fwrite(p, 1, bytes, f) == bytes; });
  if (!written || std::fflush(f) != 0) drop(c);
}

bool ChannelCopies::restore(size_t c, const ChannelWords& w) {
  std::FILE* f = files_[c];
  if (!f) return false;
  std::rewind(f);
  const bool read = each_piece(ch_[c], w, [f](void* p, size_t bytes) { return std::fread(p, 1, bytes, f) == bytes; });
  if (!read) drop(c);
  return read;
}

}  // namespace photo

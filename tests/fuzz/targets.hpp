// Fuzz targets: one function per reader, taking arbitrary bytes as the
// content of a file.  Each returns 0; a reader that refuses its input stops
// the run (io::StopRun) and that is a correct outcome.  Any other exception,
// a crash, a hang or a sanitizer report is a fault.  The same functions run
// under libFuzzer (tests/fuzz/libfuzzer) and in the replay test over the
// stored corpus, which needs no fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Groups D00I and D00 of a control file; a group that reads is written and
// read back, and the second writing must equal the first.
int group(const uint8_t* data, size_t size);
// List-directed records into integers, reals and a string.
int list_directed(const uint8_t* data, size_t size);
// An orbital block, once as it stands and once against a describing group.
int orbital_block(const uint8_t* data, size_t size);
// A channel file: its list-directed head, the counts record and energy blocks.
int channel_file(const uint8_t* data, size_t size);
// The format engine: the first line is an edit-descriptor format, the rest
// the records it reads; what it reads is written again with the same format.
int format_engine(const uint8_t* data, size_t size);

}  // namespace fuzz

// Whole text files of a run folder: read in one piece, and replaced in one
// piece, so that a reader never sees half of a file diatom writes.
#pragma once

#include <string>

namespace diatom {

// Reads a whole file; stops naming it when it cannot be read.
std::string read_text_file(const std::string& file);

// Writes `text` to `path` through a temporary file renamed over it.
void replace_file(const std::string& path, const std::string& text);

}  // namespace diatom

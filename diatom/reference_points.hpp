// The reference points of a diatom run (REF): measured or exact cross
// sections, and measured asymmetry parameters, drawn beside the results.
// The file is read strictly before anything runs, so that no junk point is
// drawn and no value falls off the plot unseen.
#pragma once

#include <string>

namespace diatom {

// What a file of reference points holds.
struct ReferencePoints {
  int points = 0;     // lines with values
  bool beta = false;  // some line gives β (a third column)
};

// Reads the reference points `path`: every line is blank, a comment (its
// first non-blank character '#' or '!'), or two or three numbers — the
// photon energy (eV, > 0), the cross section (Mb, ≥ 0, or '-' where only β
// is given) and the asymmetry parameter β (−1 … 2) — as finite decimal
// numbers.  Anything else, or a file without points, stops the run naming
// `where` (the control file, group and variable) and the line.
ReferencePoints read_reference_points(const std::string& path, const std::string& where);

}  // namespace diatom

// Drivers of the photoionisation programs.
#pragma once

#include "io/unit.hpp"
#include "photo/entry.hpp"

namespace photo {

// Driver of xsect: header, Hartree–Fock cross sections of every channel, the
// RPA matrix of all channel pairs (or its stored rows), RPA cross sections.
void RPHF0(PhotoRun& run, io::Units& units);

// Driver of xsect_a: as RPHF0, with its own assembly of the RPA matrix.
void RPHF0A(PhotoRun& run, io::Units& units);

}  // namespace photo

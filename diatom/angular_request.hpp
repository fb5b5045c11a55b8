// The angular quantities group MOL asks for: the photon energies and
// polarisations of the molecular-frame distributions (MFPAD), and the
// continuum solutions a channel keeps so that β and the distributions see
// every partial wave the dipole reaches.
#pragma once

#include <string>

#include "diatom/molecule.hpp"

namespace diatom {

// MFPAD = 'E1 E2 … / A1 A2 …': photon energies (eV, within EMIN … EMAX),
// then after '/' polarisation angles (degrees from the axis, 0 … 180) beside
// 0 and 90, which are always given.  Empty: none.  Stops naming `where`
// and the value for anything else, and for more energies or angles than
// xsect takes.
MfpadRequest parse_mfpad(const MOL& mol, const std::string& where);

// Continuum solutions kept per energy: NL when given; otherwise every one a
// channel file can hold (min(waves, 7), with `waves` the partial waves of the
// channels) when β or molecular-frame distributions are asked for, since
// a truncated set cuts the partial waves the dipole reaches; 4 otherwise.
int solutions_kept(const MOL& mol, const Molecule& m, int waves);

}  // namespace diatom

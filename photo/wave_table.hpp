// The outgoing partial-wave amplitudes of every ionised shell at every
// momentum node, Hartree–Fock and RPA, length and velocity form, with the
// shell's cross sections: the amplitudes a sum over the nuclear motion needs
// (vibrationally resolved cross sections and asymmetry parameters are
// coherent sums of them over the bond length).
#pragma once

#include <string>

#include "io/unit.hpp"
#include "photo/beta_table.hpp"

namespace photo {

// The file name of the table: the listing's name with ".waves" added.
std::string wave_table_name(const std::string& listing);

// One block per method, shell and node, after comment lines:
//   node <method HF|RPA> <shell> <m_i> <E> <omega> <sigmaL> <sigmaV>
//   L <m> <mu> <L0> <step> <n> <re F_1> <im F_1> … <re F_n> <im F_n>
//   V …                                   (one L and one V line per channel)
// E the photoelectron's energy and omega the photon's (hartree), σ the
// shell's (Mb, as the listing counts it); F_K the amplitude of
// Y(L0 + (K−1)·step, m) of the dipole component mu, Coulomb phase included.
// A node whose waves are not available (no RPA amplitudes, no shared photon
// energy, a block not orthonormal) is left out.
void write_wave_table(io::Unit& u, const BetaTable& t, bool rpa);

}  // namespace photo

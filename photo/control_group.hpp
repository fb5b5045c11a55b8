// The control group S40 of the photoionisation programs ("File.D40"): its
// variables and defaults, its layout as the programs read it and as a front
// end writes it, and the check of what the programs' tables can hold.
#pragma once

#include <array>
#include <string>

#include "io/namelist.hpp"
#include "photo/sizes.hpp"

namespace photo {

// What distinguishes the two builds of the program.
struct Variant {
  const char* program;  // "xsect" or "xsect_a"
  int name_length;      // characters of the FIC and FID names
  int wk_columns;       // columns of the scratch slice WK
};
inline constexpr Variant kXsect{"xsect", 12, 45};
inline constexpr Variant kXsectA{"xsect_a", 15, 20};

// Group S40 of the control file "File.D40".  FIR and FIL are shared with
// group S00 of the ground-state file (lib/ground_state.hpp).
struct S40 {
  int NCH = 0;
  std::array<std::string, 10> FIR{};
  std::string FIL, FIG;
  std::array<std::string, kMaxChannels> FID{}, FIC{};
  int IRP = 0;
  std::array<int, kMaxChannels> IC{}, ID{};
  int NEM = 0, NUR = 0, MIE = 0;
  std::array<double, kMaxChannels> ECH{};
  // IST(c): the ionic state of channel c.  Channels of one state interfere
  // in its β; 0 (all of them, the default) groups the channels by their
  // ionised shell.  A hole in a closed shell of an open-shell molecule
  // leaves several ionic terms, each with its own continua, which must not
  // enter one β.
  std::array<int, kMaxChannels> IST{};
  // IMR(c): how channel c enters its state's β (with IST): 0 as it stands,
  // 1 as its mirror image only, −1 not at all.  A σ hole beside an open
  // shell of Λ > 0 meets each term in two arrangements, mirror images of
  // each other: one initial component's waves are the first arrangement's
  // and the mirror image of the second's m > 0 channel.
  std::array<int, kMaxChannels> IMR{};
  int EXACT = 0;  // 1: 2π and the exact dipole constant instead of the truncated ones
  // IDER: the velocity form's derivative of a bound orbital of odd M at
  // ξ = 1, 1 through X/sqrt(ξ² − 1) (second order), 0 the one-sided
  // difference of X (first order, the results of stored inputs; diatom
  // writes 1).
  int IDER = 0;
  // IPV: the RPA's energy integral over a channel's continuum, 1 from its
  // threshold (the segment below the first momentum node included), 0 from
  // the first node (the results of stored inputs; diatom writes 1).
  int IPV = 0;
  // ILIN: the RPA solve, 0 from one real LU factorisation (LAPACK), 1 the
  // complex inverse of the written linear solver, 2 every energy from one
  // Hessenberg reduction of the RPA pencil, 3 the same of the folded pencil
  // of half the order (2 where the matrix lacks the forward–backward
  // structure).  IWM = 1: an IRP = 1 run
  // writes the RPA matrix rows of each channel pair to FIR(1).
  int ILIN = 0, IWM = 0;
  // EMR: the highest photon energy (hartree) at which the RPA equations are
  // solved and listed; the continua above it still enter their energy
  // integrals.  0, the default, solves them at every node.
  double EMR = 0.0;
  // IOV: the overlaps of the interaction functions with the functions of
  // the second channel of a pair, 0 one at a time (the written order of
  // sums), 1 all of a pair as matrix products (BLAS; xsect only).
  int IOV = 0;
  // IRD: a channel read again for a later pair comes, 1 (the default), from
  // the binary copy its first read left in a scratch file, or 0 from its
  // formatted files each time; the same words either way.
  int IRD = 1;
  // NUVM: the most double words the run may use; more stops the run with
  // " GIVE ME MEMORY".
  int NUVM = kNUVM;
  // Molecular-frame angular distributions (FIL.mfpad): at NMF photon
  // energies EMF (hartree) and NAF polarisation angles AMF (degrees from the
  // axis); NMF = 0, the default, writes none.
  int NMF = 0, NAF = 2;
  // NWV = 1: the outgoing partial-wave amplitudes of every ionised shell at
  // every momentum node (FIL.waves), for sums over the nuclear motion; 0,
  // the default, writes none.
  int NWV = 0;
  std::array<double, kMaxMfpadEnergies> EMF{};
  std::array<double, kMaxMfpadAngles> AMF{0.0, 90.0};
  io::Group group(const Variant& v);
  // The group as a front end writes it (diatom's File.D40): NCH, FIL, FIG,
  // FIR(1), FIC(1:NCH), FID(1:NCH), ID(1:NCH), IRP, NEM, NUR, MIE, IDER, IPV,
  // ILIN, EMR, IOV, IRD, NMF, EMF(1:NMF), NAF, AMF(1:NAF), NWV, NUVM in that order; FID
  // and ID named only when a channel has extra functions, IPV, ILIN, EMR, IOV
  // only when they are not 0, IRD only when it is not 1, the angular distributions only when NMF > 0, NWV
  // only when it is 1 and NUVM only when it is not its default.  The other variables are not
  // named and keep their defaults when the file is read.
  io::Group written_group(const Variant& v);
};

// Input that the fixed tables of the programs cannot hold stops the run
// before anything is computed, naming the file, group and variable.
void check_control_group(const S40& s, const Variant& v, const std::string& file);

}  // namespace photo

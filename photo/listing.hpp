// The records the driver writes: the listing (unit 10) with the molecule,
// the ground-state shells and the Hartree–Fock tables of every channel, and
// the continuum data file (unit 11) with the energies, amplitudes and dipole
// elements of every function, which a stored run reads back.  The writers of
// the listing's head and tables are steps of the driver (listing.cpp).
#pragma once

#include "io/format.hpp"

namespace photo {

// The parsed format of an edit-descriptor text, parsed once per run.
const io::Format& record_format(const char* text);

// Listing: the molecule and the number of ground-state shells; a row of the
// shell table; the number of channels; the head of the Hartree–Fock part.
inline constexpr const char* kMoleculeHead =
    "(20X,' DIATOMIC MOLECULE',/,15X,'  PHOTOIONISATION PARAMETERS',/,/,' Nuclei Charges:       Z1 =',F6.3,/,23X,"
    "'Z2 =',F6.3,/,/,' Internuclei Distance: RZ  =',F7.4,/,/,60('='),/,' Ground state HF results:',/,/,"
    "' Number of the shells: NSG =',I3,/,/,5X,'N shell    M    L0   N OF P.W.',4X,'HF Energies',/)";
inline constexpr const char* kShellRow = "(4X,I4,3X,3(I6),6X,E15.7)";
inline constexpr const char* kChannelCount = "(60('='),/,' Number of channels included -',I3)";
inline constexpr const char* kHartreeFockHead = "(60('='),/,/,' Hartree-Fock results:')";
// Listing: a channel's head, its threshold (theoretical or experimental),
// the heads of its length- and velocity-form tables (the momenta L of the
// columns, then the total), and a row of a table.
inline constexpr const char* kChannelHead =
    "(/,60('-'),/,' Channel ',I2,':  Ionised shell -',I2,';',/,13X,' Final m =',I2,';')";
inline constexpr const char* kTheoreticalThreshold = "(13X,' Theoretical  threshold: E =',E15.7)";
inline constexpr const char* kExperimentalThreshold = "(13X,' Experimental threshold: E =',E15.7)";
inline constexpr const char* kLengthTableHead =
    "(/,30(' -'),/,' R-form:',/,15X,' Partial c.s. for L =',10X,/,4X,'  E',5(9X,I3,$))";
inline constexpr const char* kVelocityTableHead =
    "(/,30(' -'),/,' V-form:',/,15X,' Partial c.s. for L =',10X,/,4X,'  E',5(9X,I3,$))";
inline constexpr const char* kTotalColumnHead = "(7X,' Total C.S.')";
inline constexpr const char* kTableRow = "(6E12.4)";
// Listing: the head of the RPA part.
inline constexpr const char* kRpaHead = "(/,60('='),/,/,' RPA results:')";
// Continuum data file: the energy of a function group, the amplitudes of a
// solution, and its dipole components with its partial cross section.
inline constexpr const char* kEnergyRecord = "(15X,E15.8)";
inline constexpr const char* kAmplitudeRecord = "(4E15.6)";
inline constexpr const char* kDipoleRecord = "(5X,3E14.6,7X,E15.6)";

}  // namespace photo

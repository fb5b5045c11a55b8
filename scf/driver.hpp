// The self-consistent driver of the ground-state program.
#pragma once

#include <array>
#include <string>

#include "io/unit.hpp"
#include "lib/views.hpp"

namespace scf {

// Builds the grid and the inner-region tables, prints the listing head on
// `listing`, iterates shell by shell to self-consistency and appends the
// converged orbitals to `result`.  The arguments are those the entry routine
// prepared: sizes, shell table MLN(3,NSH), start columns LK(NSH+1), the
// orthogonality table JOR(NSH,NSH), run switches MI(7), charges, distance,
// tolerance, grid parameters RP(10), coupling matrices AHF and BHF (NSH,NSH),
// inner-region tables AA, BB, VV (NA,MM), UU (NA,NA+1), WW (NA,NA), energies
// and norms E, CN (16), inner work arrays WC, CX, title lines PRT, and the
// workspace slices R (NB,7), X (NB,NKS), PD and PX (KMA²·NB words each),
// WK (NB,(KMA+2)·KMA+6), XN (NB,2·KMA) and XE (NB, max(2·KMA, KMA+2)).
void DMS_00_1(int NSH, int NA, int NB, int MM, int IOS, lib::CIMat MLN, lib::CIVec LK, lib::CIMat JOR, lib::IVec MI,
              double Z1, double Z2, double RZ, double EPS, double FCC, lib::CVec RP, lib::CMat AHF, lib::CMat BHF,
              lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Vec E, lib::Vec CN, lib::Vec WC,
              lib::Vec CX, const std::array<std::string, 30>& PRT, lib::Mat R, lib::Mat X, lib::Vec PD, lib::Vec PX,
              lib::Mat WK, lib::Mat XN, lib::Mat XE, io::Unit& listing, io::Unit& result);

}  // namespace scf

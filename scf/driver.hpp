// The self-consistent driver of the ground-state program.
#pragma once

#include <array>
#include <string>

#include "io/unit.hpp"
#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/terms.hpp"
#include "scf/update.hpp"

namespace scf {

// Largest number of sweeps of the self-consistent iteration.  The shipped
// examples need a few dozen; a run that has not converged after this many
// stops with a message and a non-zero exit status instead of sweeping on.
inline constexpr int kMaxSweeps = 500;

// The grid and the inner-region tables of a run: the outer rows of R and HB
// (COTR0, when MI(1) = 0), the inner rows and the series tables AA, BB, UU,
// VV, G (NA,MM) and BZ (inner_series_tables), WW = the inverse of the inner power matrix,
// and the constants of the charges and the distance.
// IGRID as for COTR0.
RunTables set_up_grid(int NA, int NB, int MM, lib::CVec RP, int MI1, double Z1, double Z2, double RZ, lib::Mat R,
                      lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Mat G, lib::Vec BZ,
                      int IGRID = 0);

// The workspace slices of the shell updates (slices 3 to 7 and the inner
// work arrays), cut to the partial-wave count of one shell by `of`.
struct UpdateSlices {
  lib::Vec PD, PX;
  lib::Mat WK, XN, XE;
  lib::Vec CX, WC;
  ShellWork of(int n, int NB) const {
    return ShellWork{lib::Arr3(PD.data(), NB, n, n), lib::Arr3(PX.data(), NB, n, n), WK, XN, XE, CX, WC};
  }
};

// Sweeps over the shells until the orbital energies move by less than EPS
// in sum (a shell updated earlier in a sweep enters the later ones with its
// new orbital); returns the number of sweeps.  More than max_sweeps stop the
// run.  MI are the run switches, AHF, BHF and JOR the NSH × NSH tables;
// `search` finds the shell energies and acts between sweeps.
int iterate_shells(const RunTables& t, const Shells& s, lib::CIMat JOR, lib::CIVec MI, double EPS, lib::CMat AHF,
                   lib::CMat BHF, UpdateState& st, EnergySearch& search, const UpdateSlices& w, io::Unit& listing,
                   int max_sweeps = kMaxSweeps);

// Switches of a run beyond the original group: EXACT = 1 forms the multipole
// scale with 2π; ISRCH = 1 searches the shell energies by the fixed steps and
// bisection of the original rules (0: superlinear steps).
struct RunOptions {
  int EXACT = 0;
  int ISRCH = 0;
  bool exact_angular = false;  // EXACT = 1, momenta beyond the factorial table: Gaunt coefficients by quadrature
  const Coupling* coupling = nullptr;  // one open shell: its term's coupling
  int IDIF = 0;                        // 1: the outer recurrence of the shells in its difference form
  int IGRID = 0;                       // 1: the outer points formed without cancellation (COTR0)
  // 1: the open shell rotated to the minimum of the term's energy (0: model-curvature step;
  // 2: no turn, one multiplier from the open shell's operator)
  int IROT = 0;
  bool regridded = false;  // the starting orbitals were carried from another grid: their norms are retaken on this one
};

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
              lib::Mat WK, lib::Mat XN, lib::Mat XE, io::Unit& listing, io::Unit& result,
              const RunOptions& options = {});

}  // namespace scf

// The estimated error of every cross section and β of a diatom run with
// CHECK = 1, from the self-check's rerun of the photoionisation with every
// setting refined (the check grid's ground state and partial waves, half
// the momentum step, with the RPA a higher top and one more bound
// function, more solutions kept), and the energy ranges where the target
// accuracy (STOL for σ, relative; BTOL for β, absolute) is missed, with
// the reason.
#pragma once

#include <string>
#include <vector>

#include "diatom/asymmetry.hpp"
#include "diatom/cross_sections.hpp"

namespace diatom {

// The change Δ from the rule's settings to the check's measures the rule's
// error.  The RPA's energy integrals err as the square of the momentum step
// at least, so halving it leaves a quarter: for the step alone the rule's
// error would be Δ·4/3.  The bound functions converge more slowly: H2's RPA
// with diatom's settings at DK = 0.1 (no bound function; the check one)
// lay up to 1.5 times the check's change from a run with a quarter of the
// step, three bound functions and a top 200 eV higher, so the change is
// taken twice (the true error then lay within the estimate at 139 of 140
// values, σ and β, HF and RPA, length and velocity, 16–60 eV).
inline constexpr double kChangeFactor = 2.0;
// xsect lists each channel's cross section to four digits: half a unit of
// the last, relative; and diatom.dat prints five decimals (Mb).
inline constexpr double kListedDigits = 5.0e-4;
inline constexpr double kPrintedDecimals = 5.0e-6;
// β comes from xsect's table of six decimals and is printed with five.
inline constexpr double kBetaDigits = 1.0e-5;

// The value of the curve v over photon energies ev (eV, ascending) at e:
// the node within 1e-3 eV, else linear between its neighbours; NaN outside
// the curve or next to a value that is not available.
double value_at(const std::vector<double>& ev, const std::vector<double>& v, double e);

// The estimated error of a cross section `rule` (Mb) whose check gives
// `check`, and of a β; NaN when either is not available.
double sigma_error(double rule, double check);
double beta_error(double rule, double check);

// The estimated error of every cross section of `rule` from the check's
// cross sections (their own photon energies, the same channels):
// rule.shell_error and rule.total_error.
void add_sigma_errors(CrossSections& rule, const CrossSections& check);

// The estimated error of every β of `rule` from the check's β on the same
// photon energies (asymmetries of the check's table at rule.ev).
void add_beta_errors(Asymmetries& rule, const Asymmetries& check);

// The targets of the photoionisation: σ relative, β absolute.
struct PhotoTarget {
  double sigma = 0.01, beta = 0.02;
};

// The listing's account of the target: the rows whose estimated errors lie
// within it, every range of rows where they do not and why (next to a
// threshold of `thresholds`, eV, from two steps below the row to one above; a cross section that varies faster than
// the rule's step between its nodes, seen at the check's nodes between
// them; or the change with the refined settings), and every interval
// between two nodes of the rule where the check's node in between lies
// off the straight line by more than the target (structure the rule's
// table does not resolve).  The form compared is the RPA's with the RPA,
// else Hartree–Fock's; length and velocity both.
std::vector<std::string> target_report(const CrossSections& rule, const CrossSections& check,
                                       const std::vector<double>& thresholds, const PhotoTarget& t);

}  // namespace diatom

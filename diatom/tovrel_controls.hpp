// The control files of the ground-state program for a diatom run: group D00
// of the molecule at one distance on the grid of the accuracy rule (the
// closed-shell coefficients, or those of the open shell's term), and the
// files Dp_Data.dsc and Velor.prt.
#pragma once

#include <string>
#include <vector>

#include "diatom/accuracy.hpp"
#include "diatom/molecule.hpp"
#include "scf/entry.hpp"

namespace diatom {

// tovrel's control files (the names it reads), and the listing, result and
// ground-state file names a diatom run gives every ground state.
inline constexpr const char* kTovrelControl = "Dp_Data.dsc";
inline constexpr const char* kTovrelTitles = "Velor.prt";
inline constexpr const char* kGroundListing = "mol.lst";
inline constexpr const char* kGroundResult = "mol.res";
inline constexpr const char* kGroundFile = "mol.gs";  // gsfile's, read by chanfile and xsect

// Group D00 of tovrel for the molecule at distance RZ: MLN, AHF, BHF, JOR
// and MI by the closed-shell rules, the grid of `a`, listing FIL and result
// FIR; EXACT = 1 (the exact constants); IBLAS = 1 (the dense algebra by
// BLAS and LAPACK); IPROJ = 1 for closed shells on two
// nuclei with a charge of kSecondRowZ or more: AlF's 7σ solved as written
// settles on a mixture with its 5σ 0.015 hartree above the limit.  The
// first-row molecules and an atom on a focus (Ar's energies lie within
// their estimates) keep the solve as written, which costs a third to a
// half less.  Stops, naming the variable, when
// the ground-state program's storage cannot take it.
scf::ControlGroup make_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL,
                           const std::string& FIR);

// Writes Dp_Data.dsc (groups D00I and D00) and Velor.prt (the three title
// lines) into `folder`; neither may exist.  `restart`, when not empty, is the
// result file whose orbitals start the iteration: on the same grid (MI0 = 1)
// or, with `other_grid`, on its own grid, carried to that of `d` (MI0 = 2).
void write_tovrel_controls(const std::string& folder, const scf::ControlGroup& d,
                           const std::vector<std::string>& titles, const std::string& restart = "",
                           bool other_grid = false);

}  // namespace diatom

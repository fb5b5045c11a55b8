// The equations of one shell at a fixed trial energy.  At a given energy
// they are linear: a power series in ξ − 1 in the inner region, a matrix
// Numerov recurrence in the outer region (scf/outer_elimination.hpp),
// joined at ξ = RA (solve_at_energy).  The shell update searches the energy
// at which the solution has the property its rule asks for.
#pragma once

#include <array>

#include "lib/views.hpp"
#include "scf/run_tables.hpp"

namespace scf {

// The equations of a shell as the solve at a fixed energy reads them:
// projection M, N waves, the η² matrix TT (N,N), the coupling PD (NB,N,N)
// and the source S (NB,N).
struct ShellEquations {
  int M = 0, N = 0;
  lib::CMat TT;
  lib::CArr3 PD;
  lib::CMat S;
};

// How the inner solution is joined to the outer one: IFL = 1 every wave is
// matched at ξ = RA; IFL = 0 the matching row of wave NIT is replaced by the
// normalisation c_1 = C1 of its series.
struct Matching {
  int IFL = 1;
  int NIT = 1;
  double C1 = 1.0;
};

// The work of a solve: CX holds the inner system (NA·N)², WC its right-hand
// side and series coefficients, and first the outer elimination's scratch
// (inner_work_words in scf/sizes.hpp); WK the outer relations and two work
// columns (NB, N²+N+4 or more).
struct FixedEnergyWork {
  lib::Vec CX, WC;
  lib::Mat WK;
};

// Result of a solve at a fixed energy.
struct FixedEnergySolution {
  double DX = 0.0;                 // relative matching defect of wave NIT (IFL = 0)
  int det_sign = 0;                // sign of the determinant of the whole linear system
  std::array<double, 6> series{};  // leading series coefficients of the first wave
};

// Solves the equations eq at the energy term ER = (RZ²/2)·E, joined as m
// asks.  Writes the solution into X (NB,N) unless X is empty.
// Legacy name: DESY0.
FixedEnergySolution solve_at_energy(const RunTables& t, const ShellEquations& eq, const Matching& m, double ER,
                                    const FixedEnergyWork& w, lib::Mat X);

}  // namespace scf

// The equations of one shell at a fixed trial energy.  At a given energy
// they are linear: a power series in ξ − 1 in the inner region, a matrix
// Numerov recurrence in the outer region (CPYP0, whose blocks INVE
// eliminates), joined at ξ = RA (DESY0).  The shell update searches the
// energy at which the solution has the property its rule asks for.
#pragma once

#include <array>

#include "lib/views.hpp"
#include "scf/equations.hpp"

namespace scf {

// Gauss–Jordan solve without pivoting of the N × N block A with the vector V
// and the block C carried along: V ← A⁻¹V, C ← A⁻¹C, A destroyed.  Returns
// det A, the product of the pivots.
double INVE(int N, lib::Vec V, lib::Mat A, lib::Mat C);

// Backward block elimination of the outer Numerov relations of a shell with
// N waves at the energy term ER, r = HB²/12.  RM(i) (columns 3 … N²+2 of WK)
// and RV(i) (columns N²+3 … N²+N+2) give u_i = RV(i) − RM(i)·u_{i−1} for
// i = NA+2 … NB, with RM(NB) = CM and RV(NB) = CV.  Returns the sign of the
// product of the determinants of the eliminated blocks.  `scratch` holds
// the blocks of one point and the gathered coefficients of a run of points,
// at least cpyp0_words(N) words.
// IDIF = 1: the difference form, WK holding G = −RM − I in place of RM
// (u_i = RV(i) + (I + G(i))·u_{i−1}), formed so that G keeps its relative
// precision; the same relations up to rounding.
int CPYP0(int N, int NA, int NB, double r, double ER, lib::CMat TT, lib::CVec R2, lib::CVec R3, lib::CArr3 PD,
          lib::CMat S, lib::CMat CM, lib::CVec CV, lib::Mat WK, lib::Vec scratch, int IDIF = 0);

// Words of CPYP0's scratch for N waves: seven N × N blocks, two vectors,
// and the gathered W and written relations of at least one point each.
long cpyp0_words(int N);

// The waves at the outer points NA+2 … NB of a shell with N waves, from
// the relations CPYP0 left in WK, u_i = RV(i) − RM(i)·u_{i−1}, and the
// waves at NA+1 in X (NB,N).
// IDIF = 1: the relations of the difference form, each step added to the
// previous value.
void outer_waves(int N, int NA, int NB, lib::CMat WK, lib::Mat X, int IDIF = 0);

// Result of a solve at a fixed energy.
struct FixedEnergySolution {
  double DX = 0.0;                 // relative matching defect of wave NIT (IFL = 0)
  int det_sign = 0;                // sign of the determinant of the whole linear system
  std::array<double, 6> series{};  // leading series coefficients of the first wave
};

// Solves the equations of a shell (projection M, N waves) at the energy term
// ER = (RZ²/2)·E.  IFL = 1: every wave is matched at ξ = RA; IFL = 0: the
// matching row of wave NIT is replaced by the normalisation c_1 = C1 of its
// series.  Writes the solution into X (NB,N) unless X is empty.  CX holds the
// inner system (NA·N)², WC its right-hand side and series coefficients, and
// first the outer elimination's scratch (inner_work_words in entry.hpp).
FixedEnergySolution DESY0(const RunTables& t, int IFL, int N, int M, int NIT, double C1, double ER, lib::CMat TT,
                          lib::CArr3 PD, lib::CMat S, lib::Vec CX, lib::Vec WC, lib::Mat WK, lib::Mat X);

}  // namespace scf

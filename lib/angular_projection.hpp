// The angular projection of a partial-wave function multiplied by one
// spherical harmonic and by the volume factor (ξ² − η²) of prolate
// spheroidal coordinates.
#pragma once

#include "lib/build.hpp"
#include "lib/partial_waves.hpp"
#include "lib/views.hpp"

namespace lib {

class GauntTable;

// The harmonic C·Y(KJ, MJ) that multiplies the function, and the momentum K
// of the harmonic it is projected onto.
struct ProductProjection {
  int KJ = 0, MJ = 0, K = 0;
  double C = 1.0;
};

// Q = C·∫ (R − η²)·X·Y(KJ,MJ)·conj(Y(K,M+MJ)) dΩ for X = Σ_i X(·,i)·Y(L_i, M),
// the waves x, R = ξ² on the NB points; Q1 receives the η² part.
// Coefficients below 1e-6 (photoionisation build) or 1e-8 (ground state)
// are dropped.
// Legacy name: SUMA.
void angular_projection(int NB, const PartialWaves& x, const ProductProjection& p, CVec R, Fac F, Vec Q1, Vec Q,
                        Build b = Build::photo);
// The same projection onto Y(K, M3), M3 as passed (the result vanishes
// unless M + MJ = M3); coefficients below 1e-7 are dropped, WK receives the
// η² part.  With `table` (of the photoionisation build) the coefficients are
// read from it, the same values bit for bit.
// Legacy name: SUMY.
void angular_projection_onto(int NB, const PartialWaves& x, const ProductProjection& p, int M3, CVec R, Fac F, Vec WK,
                             Vec Q, const GauntTable* table = nullptr);

// S = Σ_p y_p·Q_p over the waves y_p of y, Q_p the projection onto
// Y(K, M3) of x times C·Y(KJ_p, MJ), KJ_p = y.L0 + (p−1)·y.KD, as
// angular_projection_onto forms it (its threshold, its coefficients): the
// source of a multipole, or a wave of a potential applied to a function.
// On every point the sums run as in a loop of angular_projection_onto over
// p, adding y_p·Q_p to S from zero, so the result is that loop's to the
// bit; the columns of x are read stretch by stretch of the grid, once for
// all p.
void weighted_projection_onto(int NB, const PartialWaves& x, const PartialWaves& y, int MJ, int K, double C, int M3,
                              CVec R, Fac F, const GauntTable* table, Vec S);

}  // namespace lib

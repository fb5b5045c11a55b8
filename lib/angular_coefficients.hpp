// Angular coupling coefficients of complex spherical harmonics in the angle
// η = cos θ of the prolate spheroidal coordinates: factorials, the Wigner 3j
// symbol, the Gaunt integral of three harmonics and the same integral with
// the factor η² of the volume element, and the η, η² elements between
// harmonics of one projection.
#pragma once

#include "lib/build.hpp"
#include "lib/views.hpp"

namespace lib {

// Size of the factorial table of the shell equations (tovrel's shells and
// chanfile's continuum): 0! … 98!.
inline constexpr int kFactorials = 99;

// F(n) = n!, n = 0 … N.
// Legacy name: DEFA.
void fill_factorials(int N, VecView<double, 0> F);
// F(N), or 0 for N < 0; an N beyond the end of the table stops the run.
// Legacy name: FVE0.
double factorial_or_zero(int N, Fac F);
// Wigner 3j symbol (L1 L2 L3; M1 M2 M3).  Zero without reading F when the
// projections do not add to zero, the triangle rule fails or some |Mi| > Li;
// otherwise F must hold (L1+L2+L3+1)!, and a prefactor beyond the range of
// doubles stops the run.  Beyond L1+L2+L3+1 = 80 (98 for the ground-state
// build) F is not read: the sum is taken in 113-bit arithmetic, to rounding
// for any momenta.
// Legacy name: F3JS.
double wigner_3j(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
// ∫ Y(L1,M1)·Y(L2,M2)·conj(Y(L3,M3)) dΩ
// Legacy name: FSGA.
double gaunt_integral(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
// ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ
// Legacy name: FSGB.
double gaunt_integral_eta2(int L1, int L2, int L3, int M1, int M2, int M3, Fac F, Build b = Build::photo);
// ⟨L M|η²|L M⟩ from Gaunt integrals and the written constants.
// Legacy name: FSG0.
double eta2_diagonal_from_gaunt(int L, int M, Fac F, Build b = Build::photo);
// ⟨L+1 M|η|L M⟩ from a Gaunt integral and the written constant.
// Legacy name: FSG1.
double eta_next_from_gaunt(int L, int M, Fac F, Build b = Build::photo);
// ⟨L+2 M|η²|L M⟩ from a Gaunt integral and the written constant.
// Legacy name: FSG2.
double eta2_next_from_gaunt(int L, int M, Fac F, Build b = Build::photo);
// Matrix elements of η and η² between normalised spherical harmonics of one
// projection M: ⟨L M|η²|L M⟩, ⟨L+2 M|η²|L M⟩ and ⟨L+1 M|η|L M⟩.  EXACT = 0
// gives the library's values (the *_from_gaunt routines of the ground-state
// build), which write √(4π)/3, (2/3)√(4π/5) and √(4π/3) to seven to ten
// digits (relative errors up to 5e-10, enough to move the N2 total by
// 1.5e-7); EXACT = 1 their closed forms
//   (2L(L+1) − 2M² − 1)/((2L−1)(2L+3)),
//   √[((L+1)² − M²)((L+2)² − M²)/((2L+1)(2L+3)²(2L+5))],
//   √[((L+1)² − M²)/((2L+1)(2L+3))],
// zero when |M| > L as the library gives them.
double eta2_diagonal(int L, int M, Fac F, int EXACT);
double eta2_next(int L, int M, Fac F, int EXACT);
double eta_next(int L, int M, Fac F, int EXACT);

}  // namespace lib

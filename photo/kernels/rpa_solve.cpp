// The RPA amplitudes of one energy, two ways, from the row-vector system
//   D·(A + iE·B) = d,   A(k,l) = δ(k,l) + C(k)·CLB(k,l),   B(J,l) = π·CB(J)·CLB(IB(J),l),
// E placing row J of B into row IB(J); π is the literal 3.14159265359.
//
// Through the complex inverse: D = d·(R − iS) from complex_inverse.
// Accuracy is that of the two real LU inversions of order N0.
//
// From one real LU factorisation (LAPACK): the imaginary part has only NB
// rows (three per open continuum function), so in the transposed system
//   (Aᵀ + i·Bᵀ·Eᵀ)·Dᵀ = d
// it is a rank-NB update of the real matrix Aᵀ, and the Sherman–Morrison–
// Woodbury identity gives
//   Dᵀ = y − Z·g,  y = A⁻ᵀ·d,  Z = A⁻ᵀ·Bᵀ,  (Z(IB,·) − i·1)·g = y(IB):
// one real LU of order N0, NB + 2 real solves and one complex system of
// order NB, in place of the two real inversions of order N0 (and their
// products) of the complex inverse.  Rounding: that of the LU solves, the
// same order as the inverse.
#include "photo/kernels/rpa_solve.hpp"

#include <algorithm>
#include <complex>

#include "lib/checks.hpp"
#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"
#include "lib/views.hpp"

namespace photo {

using lib::detail::fail;

void RpaFactorWork::size_for(int N0, int NB) {
  const size_t n = static_cast<size_t>(std::max(N0, 1));
  const size_t nb = static_cast<size_t>(std::max(NB, 0));
  A.assign(n * n, 0.0);
  Z.assign(n * (nb + 2), 0.0);
  ipiv.assign(n, 0);
  G.assign(std::max<size_t>(nb * nb, 1), 0.0);
  g.assign(std::max<size_t>(2 * nb, 1), 0.0);
  ipivG.assign(std::max<size_t>(nb, 1), 0);
  rows = N0;
  onshell = NB;
}

namespace {

// The solve through the inverse refuses a system whose arrays or amplitude
// vectors do not hold what it says, and on-shell rows outside its variables.
void check_inverse_system(const RpaSystem& s, const RpaInverseWork& w, const RpaAmplitudes& D) {
  const int N0 = s.N0, NB = s.NB, NL = s.NL, JS = s.JS;
  if (N0 < 0 || NB < 0 || NL < 0 || JS < 0 || JS + NL > N0) {
    fail("RPAS0: amplitudes JS + 1 .. JS + NL = ", JS + 1, " .. ", JS + NL, " outside the system of order ", N0);
  }
  if (s.C.size() < N0 || s.CB.size() < NB || s.DHR.size() < N0 || s.DHV.size() < N0 || s.CLB.rows() != N0 ||
      s.CLB.cols() < N0 || w.A.rows() != N0 || w.A.cols() < N0) {
    fail("RPAS0: arrays do not hold a system of order ", N0, " with ", NB, " on-shell rows");
  }
  if (D.DRR.size() < NL || D.DRI.size() < NL || D.DVR.size() < NL || D.DVI.size() < NL) {
    fail("RPAS0: amplitude vectors hold fewer than NL = ", NL, " entries");
  }
  if (s.IB.size() < NB) fail("RPAS0: fewer than NB = ", NB, " on-shell rows");
  for (int J = 1; J <= NB; ++J) {
    if (s.IB(J) < 1 || s.IB(J) > N0) fail("RPAS0: on-shell row IB(", J, ") = ", s.IB(J), " outside 1 .. ", N0);
  }
}

// The same for the factored solve, and work sized for a smaller system.
void check_factored_system(const RpaSystem& s, const RpaFactorWork& W, const RpaAmplitudes& D) {
  const int N0 = s.N0, NB = s.NB, NL = s.NL, JS = s.JS;
  if (N0 < 1 || NB < 0 || NL < 0 || JS < 0 || JS + NL > N0) {
    fail("RPASF: amplitudes JS + 1 .. JS + NL = ", JS + 1, " .. ", JS + NL, " outside the system of order ", N0);
  }
  if (s.C.size() < N0 || s.CB.size() < NB || s.IB.size() < NB || s.DHR.size() < N0 || s.DHV.size() < N0 ||
      s.CLB.rows() != N0 || s.CLB.cols() < N0) {
    fail("RPASF: arrays do not hold a system of order ", N0, " with ", NB, " on-shell rows");
  }
  if (D.DRR.size() < NL || D.DRI.size() < NL || D.DVR.size() < NL || D.DVI.size() < NL) {
    fail("RPASF: amplitude vectors hold fewer than NL = ", NL, " entries");
  }
  if (W.rows < N0 || W.onshell < NB) {
    fail("RPASF: the work of the factored solve is sized for order ", W.rows, " and ", W.onshell,
         " on-shell rows, not ", N0, " and ", NB);
  }
  for (int J = 1; J <= NB; ++J) {
    if (s.IB(J) < 1 || s.IB(J) > N0) fail("RPASF: on-shell row IB(", J, ") = ", s.IB(J), " outside 1 .. ", N0);
  }
}

}  // namespace

void rpa_amplitudes_by_inverse(const RpaSystem& s, const RpaInverseWork& w, LuRowScales& T, const RpaAmplitudes& D) {
  check_inverse_system(s, w, D);
  const int N0 = s.N0, NB = s.NB;
  const Mat A = w.A, B = w.B;
  lib::fill(N0 * N0, 0.0, A.flat());
  const double pi = 3.14159265359;
  for (int I = 1; I <= N0; ++I) add_elementwise_product(N0, s.C, s.CLB.col(I), A.col(I));
  for (int J = 1; J <= NB; ++J) {
    for (int I = 1; I <= N0; ++I) B(J, I) = s.CLB(s.IB(J), I) * s.CB(J) * pi;
  }
  for (int k = 1; k <= N0; ++k) A(k, k) += 1.0;

  ComplexInverseWork inverse{w.IND, w.B1, w.B2, w.W, 1.0};
  complex_inverse(ComplexSystem{N0, NB, s.IB, A, B}, inverse, T, w.R, w.S);

  for (int J = 1; J <= s.NL; ++J) {
    const int K = s.JS + J;
    D.DRR(J) = lib::dot(N0, s.DHR, w.R.col(K));
    D.DRI(J) = -lib::dot(N0, s.DHR, w.S.col(K));
    D.DVR(J) = lib::dot(N0, s.DHV, w.R.col(K));
    D.DVI(J) = -lib::dot(N0, s.DHV, w.S.col(K));
  }
}

int rpa_amplitudes_factored(const RpaSystem& s, RpaFactorWork& W, const RpaAmplitudes& D, RpaSolution* all) {
  check_factored_system(s, W, D);
  const int N0 = s.N0, NB = s.NB;
  const CIVec IB = s.IB;
  const CMat CLB = s.CLB;

  Mat A(W.A.data(), N0, N0);
  for (int l = 1; l <= N0; ++l) {
    for (int k = 1; k <= N0; ++k) A(k, l) = s.C(k) * CLB(k, l);
    A(l, l) += 1.0;
  }
  // Right-hand sides: the columns of Bᵀ, then d for the length and the
  // velocity form.
  Mat Z(W.Z.data(), N0, NB + 2);
  const double pi = 3.14159265359;
  for (int J = 1; J <= NB; ++J) {
    const double f = s.CB(J) * pi;
    for (int l = 1; l <= N0; ++l) Z(l, J) = CLB(IB(J), l) * f;
  }
  for (int l = 1; l <= N0; ++l) {
    Z(l, NB + 1) = s.DHR(l);
    Z(l, NB + 2) = s.DHV(l);
  }

  int info = 0;
  dgetrf_(&N0, &N0, A.data(), &N0, W.ipiv.data(), &info);
  if (info > 0) return info;
  const int nrhs = NB + 2;
  dgetrs_("T", &N0, &nrhs, A.data(), &N0, W.ipiv.data(), Z.data(), &N0, &info, 1);

  using cplx = std::complex<double>;
  const lib::MatView<cplx> G(W.G.data(), std::max(NB, 1), std::max(NB, 1));
  const lib::MatView<cplx> g(W.g.data(), std::max(NB, 1), 2);
  if (NB > 0) {
    for (int Jp = 1; Jp <= NB; ++Jp) {
      for (int J = 1; J <= NB; ++J) G(J, Jp) = Z(IB(J), Jp);
      G(Jp, Jp) -= cplx(0.0, 1.0);
    }
    for (int r = 1; r <= 2; ++r) {
      for (int J = 1; J <= NB; ++J) g(J, r) = Z(IB(J), NB + r);
    }
    zgetrf_(&NB, &NB, G.data(), &NB, W.ipivG.data(), &info);
    if (info > 0) return N0 + info;
    const int two = 2;
    zgetrs_("N", &NB, &two, G.data(), &NB, W.ipivG.data(), g.data(), &NB, &info, 1);
  }

  auto component = [&](int K, cplx& dr, cplx& dv) {
    dr = Z(K, NB + 1), dv = Z(K, NB + 2);
    for (int Jp = 1; Jp <= NB; ++Jp) {
      dr -= Z(K, Jp) * g(Jp, 1);
      dv -= Z(K, Jp) * g(Jp, 2);
    }
  };
  if (all) {
    all->length.resize(static_cast<size_t>(N0));
    all->velocity.resize(static_cast<size_t>(N0));
    for (int K = 1; K <= N0; ++K)
      component(K, all->length[static_cast<size_t>(K - 1)], all->velocity[static_cast<size_t>(K - 1)]);
    all->N0 = N0, all->NB = NB, all->valid = true;
    rpa_amplitudes_from(*all, s.JS, s.NL, D);
    return 0;
  }
  for (int J = 1; J <= s.NL; ++J) {
    cplx dr, dv;
    component(s.JS + J, dr, dv);
    // The imaginary parts as −(d·S) of the complex inverse R − iS, so that
    // a vanishing one is −0 in both solves (and prints alike).
    D.DRR(J) = dr.real();
    D.DRI(J) = -(0.0 - dr.imag());
    D.DVR(J) = dv.real();
    D.DVI(J) = -(0.0 - dv.imag());
  }
  return 0;
}

void rpa_amplitudes_from(const RpaSolution& all, int JS, int NL, const RpaAmplitudes& D) {
  if (!all.valid || JS < 0 || JS + NL > all.N0 || D.DRR.size() < NL || D.DRI.size() < NL || D.DVR.size() < NL ||
      D.DVI.size() < NL) {
    fail("RPASF: amplitudes JS + 1 .. JS + NL = ", JS + 1, " .. ", JS + NL, " outside the stored solution of order ",
         all.N0);
  }
  for (int J = 1; J <= NL; ++J) {
    const size_t k = static_cast<size_t>(JS + J - 1);
    D.DRR(J) = all.length[k].real();
    D.DRI(J) = -(0.0 - all.length[k].imag());
    D.DVR(J) = all.velocity[k].real();
    D.DVI(J) = -(0.0 - all.velocity[k].imag());
  }
}

}  // namespace photo

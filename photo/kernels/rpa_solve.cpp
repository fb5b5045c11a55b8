// The RPA amplitudes from one real LU factorisation (LAPACK).
//
// The amplitudes are the components JS+1 … JS+NL of the row vector D with
//   D·(A + iE·B) = d,   A(k,l) = δ(k,l) + C(k)·CLB(k,l),
// E·B adding i·B(J,·) to row IB(J).  The imaginary part has only NB rows
// (three per open continuum function), so in the transposed system
//   (Aᵀ + i·Bᵀ·Eᵀ)·Dᵀ = d
// it is a rank-NB update of the real matrix Aᵀ, and the Sherman–Morrison–
// Woodbury identity gives
//   Dᵀ = y − Z·g,  y = A⁻ᵀ·d,  Z = A⁻ᵀ·Bᵀ,  (Z(IB,·) − i·1)·g = y(IB):
// one real LU of order N0, NB + 2 real solves and one complex system of
// order NB, in place of the two real inversions of order N0 (and their
// products) of the complex inverse.  Rounding: that of the LU solves, the
// same order as the inverse.
#include <complex>

#include "lib/checks.hpp"
#include "lib/lapack.hpp"
#include "lib/views.hpp"
#include "photo/kernels/kernels.hpp"

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

int RPASF(int N0, int NB, int NL, int JS, CIVec IB, CVec C, CMat CLB, CVec CB, CVec DHR, CVec DHV, Vec DRR, Vec DRI,
          Vec DVR, Vec DVI, RpaFactorWork& W) {
  if (N0 < 1 || NB < 0 || NL < 0 || JS < 0 || JS + NL > N0) {
    fail("RPASF: amplitudes JS + 1 .. JS + NL = ", JS + 1, " .. ", JS + NL, " outside the system of order ", N0);
  }
  if (C.size() < N0 || CB.size() < NB || IB.size() < NB || DHR.size() < N0 || DHV.size() < N0 || CLB.rows() != N0 ||
      CLB.cols() < N0) {
    fail("RPASF: arrays do not hold a system of order ", N0, " with ", NB, " on-shell rows");
  }
  if (DRR.size() < NL || DRI.size() < NL || DVR.size() < NL || DVI.size() < NL) {
    fail("RPASF: amplitude vectors hold fewer than NL = ", NL, " entries");
  }
  if (W.rows < N0 || W.onshell < NB) {
    fail("RPASF: the work of the factored solve is sized for order ", W.rows, " and ", W.onshell,
         " on-shell rows, not ", N0, " and ", NB);
  }
  for (int J = 1; J <= NB; ++J) {
    if (IB(J) < 1 || IB(J) > N0) fail("RPASF: on-shell row IB(", J, ") = ", IB(J), " outside 1 .. ", N0);
  }

  Mat A(W.A.data(), N0, N0);
  for (int l = 1; l <= N0; ++l) {
    for (int k = 1; k <= N0; ++k) A(k, l) = C(k) * CLB(k, l);
    A(l, l) += 1.0;
  }
  // Right-hand sides: the columns of Bᵀ, then d for the length and the
  // velocity form.
  Mat Z(W.Z.data(), N0, NB + 2);
  const double pi = 3.14159265359;
  for (int J = 1; J <= NB; ++J) {
    const double f = CB(J) * pi;
    for (int l = 1; l <= N0; ++l) Z(l, J) = CLB(IB(J), l) * f;
  }
  for (int l = 1; l <= N0; ++l) {
    Z(l, NB + 1) = DHR(l);
    Z(l, NB + 2) = DHV(l);
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

  for (int J = 1; J <= NL; ++J) {
    const int K = JS + J;
    cplx dr = Z(K, NB + 1), dv = Z(K, NB + 2);
    for (int Jp = 1; Jp <= NB; ++Jp) {
      dr -= Z(K, Jp) * g(Jp, 1);
      dv -= Z(K, Jp) * g(Jp, 2);
    }
    // The imaginary parts as −(d·S) of the complex inverse R − iS, so that
    // a vanishing one is −0 in both solves (and prints alike).
    DRR(J) = dr.real();
    DRI(J) = -(0.0 - dr.imag());
    DVR(J) = dv.real();
    DVI(J) = -(0.0 - dv.imag());
  }
  return 0;
}

}  // namespace photo

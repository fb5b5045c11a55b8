#include "scf/energy.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "lib/lib.hpp"
#include "scf/grid.hpp"

namespace scf {

namespace {

double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

// Simpson's rule over each region: inner points in ξ, outer points in x.
double integrate(const RunTables& t, lib::Vec f) {
  return lib::FINS(t.NA, t.HA, f.sub(1, t.NA), lib::Build::scf) +
         lib::FINS(t.NB - t.NA, t.HB, f.sub(t.NA + 1, t.NB - t.NA), lib::Build::scf);
}

// dy/dx at point j of f(1 … N) on a uniform grid of step h: five-point
// differences, central inside and one-sided at the two ends (error O(h⁴)).
double derivative(const double* f, int N, int j, double h) {
  const double d = 12.0 * h;
  if (j == 1) return (-25.0 * f[0] + 48.0 * f[1] - 36.0 * f[2] + 16.0 * f[3] - 3.0 * f[4]) / d;
  if (j == 2) return (-3.0 * f[0] - 10.0 * f[1] + 18.0 * f[2] - 6.0 * f[3] + f[4]) / d;
  if (j == N) return (25.0 * f[N - 1] - 48.0 * f[N - 2] + 36.0 * f[N - 3] - 16.0 * f[N - 4] + 3.0 * f[N - 5]) / d;
  if (j == N - 1) return (3.0 * f[N - 1] + 10.0 * f[N - 2] - 18.0 * f[N - 3] + 6.0 * f[N - 4] - f[N - 5]) / d;
  return (f[j - 3] - 8.0 * f[j - 2] + 8.0 * f[j] - f[j + 1]) / d;
}

}  // namespace

OneElectron shell_one_electron(const RunTables& t, const Shells& s, int ISH, lib::Fac F, lib::CMat TT, lib::Vec work1,
                               lib::Vec work2) {
  const int n = s.n(ISH), M = s.M(ISH), L0 = s.L0(ISH), NA = t.NA, NB = t.NB;
  const lib::CMat X = s.waves(ISH);
  const lib::CVec VV = t.VV.col(M + 1);
  lib::Vec kin = work1, nuc = work2;
  lib::VEQC(NB, 0.0, kin);
  lib::VEQC(NB, 0.0, nuc);
  std::vector<double> y(NB - NA);
  for (int p = 1; p <= n; ++p) {
    const int L = L0 + (p - 1) * t.ISYM;
    const double LL = L * (L + 1.0);
    // Inner region: y = (ξ²−1)^(M/2)·P(ξ − 1), P the interpolating series.
    std::vector<double> c(NA, 0.0);
    for (int k = 1; k <= NA; ++k)
      for (int i = 1; i <= NA; ++i) c[k - 1] += t.WW(i, k) * X(i, p) / VV(i);
    for (int i = 1; i <= NA; ++i) {
      const double xi = t.R(i, 1), tt = xi - 1.0, pp = t.R(i, 2) - 1.0;
      double P = 0.0, dP = 0.0;
      for (int k = NA; k >= 1; --k) P = P * tt + c[k - 1];
      for (int k = NA; k >= 2; --k) dP = dP * tt + (k - 1) * c[k - 1];
      double kp;
      if (M == 0) {
        kp = pp * dP * dP + LL * P * P;
      } else {
        const double a = M * xi * P + pp * dP;
        kp = std::pow(pp, M - 1) * (a * a + M * M * P * P) + LL * std::pow(pp, M) * P * P;
      }
      kin(i) += kp;
      nuc(i) += t.ZP * xi * X(i, p) * X(i, p);
    }
    // Outer region: y = g·u; the integrand in ξ carries 1/x′ as an integrand in x.
    for (int i = NA + 1; i <= NB; ++i) y[i - NA - 1] = t.R(i, 6) * X(i, p);
    for (int i = NA + 1; i <= NB; ++i) {
      const double xi = t.R(i, 1), pp = t.R(i, 2) - 1.0, d = xi - 0.9, x1 = 1.0 + 10.0 / (d * d);
      const double dy = derivative(y.data(), NB - NA, i - NA, t.HB), yy = y[i - NA - 1];
      kin(i) += (pp * x1 * x1 * dy * dy + (M * M / pp + LL) * yy * yy) / x1;
      nuc(i) += t.ZP * xi * X(i, p) * X(i, p) * t.R(i, 3);
    }
    if (t.ISYM == 1 && p < n) {
      const double c2 = -2.0 * t.ZM * eta_next(L, M, F, t.EXACT);
      for (int i = 1; i <= NB; ++i) nuc(i) += c2 * X(i, p) * X(i, p + 1) * t.R(i, 3);
    }
  }
  const double quarter = std::sqrt(2.0 * t.RZ2) / 4.0;  // RZ/4
  OneElectron e;
  e.kinetic = quarter * integrate(t, kin);
  e.nuclear = -quarter * integrate(t, nuc);
  const double N = FOVI(n, n, NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), work1, work2, X, X);
  e.kinetic /= N;
  e.nuclear /= N;
  return e;
}

double shell_two_electron(const RunTables& t, const Shells& s, int ISH, lib::CVec AC, lib::CVec BC, UpdateState& st,
                          const ShellWork& w) {
  const int n = s.n(ISH), NB = t.NB;
  const lib::Arr3 PD(w.PD.data(), NB, n, n), PX(w.PX.data(), NB, n, n);
  const lib::Mat TT = st.tt(n);
  lib::VEQC(NB * n * n, 0.0, PD.flat());
  lib::VEQC(NB * 2 * n, 0.0, w.XN.colsFrom(1, 2 * n).flat());
  lib::VEQC(n * n, 0.0, TT.flat());
  MASH(NB, s.M(ISH), s.L0(ISH), n, t.ISYM, kFactorials, t.ZP, t.ZM, w.WK, t.R,
       lib::VecView<double, 0>(st.F.data(), kFactorials), TT, PD, t.EXACT);
  lib::VEVR(NB * n * n, PD.flat(), PX.flat());
  st.B = {1.0, 0.0, 0.0, 0.0};
  const lib::Vec B(st.B.data(), 4);
  add_direct_terms(t, s, ISH, AC, st.fac(), B, w);
  add_exchange_terms(t, s, ISH, BC, 1.0, st.fac(), B, w);
  // ∫ y·Z dξ of a term Z in the stored form is ∫ u·Z_stored over the grid
  // (the stored form carries col3/g, the outer measure g²/x′).
  const lib::CMat X = s.waves(ISH);
  const lib::Vec f = w.WK.col(1);
  lib::VEQC(NB, 0.0, f);
  for (int p = 1; p <= n; ++p) {
    for (int i = 1; i <= NB; ++i) {
      double v = -w.XN(i, p);
      for (int q = 1; q <= n; ++q) v += (PD(i, q, p) - PX(i, q, p)) * X(i, q);
      f(i) += X(i, p) * v;
    }
  }
  const double quarter = std::sqrt(2.0 * t.RZ2) / 4.0;
  const double N = FOVI(n, n, t.NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), w.WK.col(2), w.WK.col(3), X, X);
  return -quarter * integrate(t, f) / N;
}

Occupations occupations(const Shells& s, lib::CMat AHF, lib::CMat BHF) {
  const int NSH = s.NSH;
  Occupations o;
  o.q.assign(NSH, 0.0);
  for (int J = 1; J <= NSH; ++J) {
    const int K = J == 1 && NSH > 1 ? 2 : 1;
    bool any = false;
    for (int I = 1; I <= NSH; ++I) any = any || AHF(J, I) != 0.0 || BHF(J, I) != 0.0;
    o.q[J - 1] = any ? parity(s.M(J)) * AHF(J, K) : 1.0;
  }
  for (int J = 1; J <= NSH; ++J) {
    const int MJ = s.M(J);
    const double q = MJ == 0 ? 2.0 : 4.0;
    if (o.q[J - 1] != q) o.closed = false;
    for (int I = 1; I <= NSH; ++I) {
      const double b = MJ == 0 ? 1.0 : parity(MJ) * (s.M(I) == 0 ? 2.0 : 1.0);
      if (parity(MJ) * AHF(J, I) != q || BHF(J, I) != b) o.closed = false;
    }
  }
  return o;
}

TotalEnergy total_energy(const RunTables& t, const Shells& s, double Z1, double Z2, double RZ, lib::CMat AHF,
                         lib::CMat BHF, UpdateState& st, const ShellWork& w) {
  TotalEnergy e;
  e.occ = occupations(s, AHF, BHF);
  double T = 0.0;
  for (int I = 1; I <= s.NSH; ++I) {
    // Each shell's slices are cut to its own partial-wave count.
    const ShellWork wi{lib::Arr3(w.PD.data(), t.NB, s.n(I), s.n(I)),
                       lib::Arr3(w.PX.data(), t.NB, s.n(I), s.n(I)),
                       w.WK,
                       w.XN,
                       w.XE,
                       w.CX,
                       w.WC};
    const double G = shell_two_electron(t, s, I, AHF.col(I), BHF.col(I), st, wi);
    const int n = s.n(I);
    const OneElectron h =
        shell_one_electron(t, s, I, st.fac(), st.tt(n), w.WK.col(n * n + n + 3), w.WK.col(n * n + n + 4));
    const double q = e.occ.q[I - 1];
    e.orbital.push_back(s.E(I));
    e.one.push_back(h.kinetic + h.nuclear);
    e.kinetic.push_back(h.kinetic);
    e.two.push_back(G);
    e.electronic += 0.5 * q * (s.E(I) + h.kinetic + h.nuclear);
    e.direct += q * (h.kinetic + h.nuclear) + 0.5 * q * G;
    T += q * h.kinetic;
  }
  e.repulsion = Z1 * Z2 / RZ;
  e.total = e.electronic + e.repulsion;
  e.kinetic_sum = T;
  e.virial = T != 0.0 ? -(e.total - T) / T : 0.0;
  return e;
}

std::vector<std::string> energy_lines(const TotalEnergy& e) {
  std::vector<std::string> L;
  char buf[160];
  auto add = [&](const std::string& label, double v) {
    std::snprintf(buf, sizeof buf, "%s = %23.15E", label.c_str(), v);
    L.emplace_back(buf);
  };
  for (size_t I = 0; I < e.orbital.size(); ++I) add("ORBITAL ENERGY(" + std::to_string(I + 1) + ")", e.orbital[I]);
  add("ELECTRONIC ENERGY", e.electronic);
  add("NUCLEAR REPULSION", e.repulsion);
  add("TOTAL ENERGY", e.total);
  add("KINETIC ENERGY", e.kinetic_sum);
  add("VIRIAL RATIO", e.virial);
  std::snprintf(buf, sizeof buf, " ELECTRONIC ENERGY AS THE DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS %23.15E",
                e.direct);
  L.emplace_back(buf);
  if (!e.occ.closed) {
    std::string s = " NOT CLOSED SHELLS: THE ENERGY ASSUMES THE OCCUPATIONS";
    for (double q : e.occ.q) {
      std::snprintf(buf, sizeof buf, " %.6g", q);
      s += buf;
    }
    L.push_back(s);
  }
  return L;
}

}  // namespace scf

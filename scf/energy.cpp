#include "scf/energy.hpp"

#include <cstdio>
#include <string>

#include "scf/one_electron_energy.hpp"
#include "scf/operator_energies.hpp"

namespace scf {

namespace {

double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

}  // namespace

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

TotalEnergy total_energy(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st,
                         const ShellWork& w) {
  const lib::CMat AHF = run.coef.AHF, BHF = run.coef.BHF;
  TotalEnergy e;
  e.occ = occupations(s, AHF, BHF);
  // An open shell's term names the electrons (its own coefficients are not
  // its occupation when it is the only shell).
  if (st.open != nullptr) e.occ.q = st.open->q;
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
    const ShellEnergies d = shell_energies(t, s, I, AHF.col(I), BHF.col(I), st, wi);
    const int n = s.n(I);
    const OneElectron h =
        shell_one_electron(t, s, I, st.fac(), st.tt(n), w.WK.col(n * n + n + 3), w.WK.col(n * n + n + 4));
    const double q = e.occ.q[I - 1];
    e.orbital.push_back(s.E(I));
    e.one.push_back(d.one);
    e.kinetic.push_back(h.kinetic);
    e.two.push_back(d.two);
    e.electronic += 0.5 * q * (s.E(I) + d.one);
    e.direct += q * d.one + 0.5 * q * d.two;
    T += q * h.kinetic;
  }
  e.repulsion = run.Z1 * run.Z2 / run.RZ;
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
  if (!e.open_lines.empty()) {
    L.insert(L.end(), e.open_lines.begin(), e.open_lines.end());
  } else if (!e.occ.closed) {
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

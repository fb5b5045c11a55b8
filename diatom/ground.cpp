#include "diatom/ground.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "diatom/open_shell.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"

namespace diatom {

namespace {

// Odd count ≥ 3 of outer points: NB − NA odd with NA = 5, so NB even.
int even_points(double nb) {
  int v = static_cast<int>(std::ceil(nb));
  if (v % 2 == 1) ++v;
  return std::max(v, 10);
}

std::string fixed(double v, int d) {
  std::ostringstream o;
  o.setf(std::ios::fixed);
  o.precision(d);
  o << v;
  return o.str();
}

scf::D00 build_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL, const std::string& FIR);

}  // namespace

// Rules from convergence runs of tovrel on H2 (R = 1.4), LiH (R = 3.015) and
// N2 (R = 2.068), each quantity varied about the hand-made examples (README,
// "From a molecule", gives the figures):
//  - partial waves: equal nuclei (step 2): N2 1σg is off by 1.6e-3 with 5
//    waves, 4e-5 with 6, < 1e-9 with 8; H2 is converged to 1e-9 with 4.
//    Unequal nuclei (step 1, both parities): LiH 1σ is off by 2.3e-4 with 8,
//    2.9e-6 with 10, 2e-8 with 12.  So n = 6 + ⌈log10(4e-5/TOL)/2.3⌉ and
//    n = 10 + ⌈log10(2.9e-6/TOL)⌉, each with one wave to spare for heavier
//    atoms (8 and 12 at TOL = 1e-6: the N2 and LiH examples), at most 18;
//  - points: halving NB (outer step h in x = ξ − 10/(ξ − 0.9) doubled) moves
//    N2's energies by 2.4e-7 at h = 0.15 and H2's by 8e-9 at h = 0.32:
//    Numerov's error C·(h·Zmax)⁴ with C ≤ 7.6e-7, so h = (TOL/(3C))^¼/Zmax,
//    at most 0.3; a continuum needs some ten points per wavelength out to
//    k ≈ 3/bohr as well, h·RZ/2 ≤ 0.1 bohr;
//  - inner region: the truncated power series errs as (RP(1) − 1)^4: N2's
//    1σg moves by 5.7e-6 from RP(1) = 1.01 to 1.005 and by 3e-7 from 1.005
//    to 1.0025.  RP(1) − 1 = 0.07/(Zmax·RZ)·(TOL/1e-6)^¼, at most 0.01
//    (1.0048 for N2, 1.01 for H2 at 1e-6);
//  - outer end: r = RP(2)·RZ/2 = 2·ln(1/TOL) bohr (28 bohr at 1e-6): H2 is
//    the same to 1e-9 at 20 and 28 bohr;
//  - EPS = TOL/10: the summed change of the energies over one sweep.
Accuracy choose_accuracy(const Molecule& m, double RZ, double TOL, int npw, int nb, bool continuum) {
  Accuracy a;
  auto up = [](double v) { return std::max(0, static_cast<int>(std::ceil(v - 1e-9))); };
  const int n = m.equal_nuclei ? 6 + up(std::log10(4.0e-5 / TOL) / 2.3) + 1 : 10 + up(std::log10(2.9e-6 / TOL)) + 1;
  a.n = std::min(n, 18);
  const double zmax = std::max(m.Z1, m.Z2);
  a.RP1 = 1.0 + std::min(0.01, 0.07 / (zmax * RZ) * std::pow(TOL / 1.0e-6, 0.25));
  a.RP1 = std::round(a.RP1 * 10000.0) / 10000.0;
  const double rb = std::max(15.0, 2.0 * std::log(1.0 / TOL));
  a.RP2 = std::round(2.0 * rb / RZ * 100.0) / 100.0;
  auto x = [](double xi) { return xi - 10.0 / (xi - 0.9); };
  double hb = std::min(0.3, std::pow(TOL / (3 * 7.6e-7), 0.25) / zmax);
  if (continuum) hb = std::min(hb, 0.2 / RZ);
  a.NB = std::max(400, even_points(5 + (x(a.RP2) - x(a.RP1)) / hb + 1));
  a.EPS = TOL / 10.0;
  bool capped = false;
  std::ostringstream why;
  why << "TOL = " << TOL << " hartree: " << a.n << " partial waves per shell ("
      << (m.equal_nuclei ? "equal" : "unequal") << " nuclei), NB = " << a.NB << " points, RP = " << fixed(a.RP1, 4)
      << ", " << fixed(a.RP2, 2) << " (outer end " << fixed(a.RP2 * RZ / 2, 1) << " bohr), EPS = " << a.EPS;
  if (npw > 0) a.n = npw, why << "; NPW = " << npw << " given";
  if (nb > 0) a.NB = nb, why << "; NB = " << nb << " given";
  // The angular coefficients read factorials up to 98!: fewer partial waves
  // where the shells' momenta would need more.
  for (;;) {
    try {
      scf::check_momenta(build_d00(m, RZ, a, "x", "x"), "");
      break;
    } catch (const io::StopRun&) {
      if (a.n <= 1) throw;
      --a.n;
      capped = true;
    }
  }
  if (capped) why << "; " << a.n << " partial waves: the most the angular coefficients' factorial table (98!) allows";
  // NB·n words per shell in the solver's copy of a shell.
  if (static_cast<long>(a.NB) * a.n > scf::kSavedShell) {
    a.NB = (scf::kSavedShell / a.n) & ~1;
    why << "; NB = " << a.NB << ": NB·n is at most " << scf::kSavedShell << " words, TOL may not be reached";
  }
  a.why = why.str();
  return a;
}

Accuracy refined(const Accuracy& a, const Molecule& m) {
  Accuracy r = a;
  r.n = std::min(a.n + (m.equal_nuclei ? 2 : 4), 18);
  r.NB = even_points(a.NB * 1.5);
  while (static_cast<long>(r.NB) * r.n > scf::kSavedShell) r.NB -= 2;
  r.RP2 = a.RP2 * 1.2;
  r.EPS = a.EPS / 10;
  std::ostringstream why;
  why << r.n << " partial waves, NB = " << r.NB << ", RP(2) = " << fixed(r.RP2, 2) << ", EPS = " << r.EPS;
  r.why = why.str();
  return r;
}

namespace {

scf::D00 build_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL, const std::string& FIR) {
  scf::D00 d;
  d.Z1 = m.Z1;
  d.Z2 = m.Z2;
  d.RZ = RZ;
  const int NSH = static_cast<int>(m.shells.size());
  d.NSH = NSH;
  bool marks = false;
  for (int I = 1; I <= NSH; ++I) {
    const Shell& si = m.shells[I - 1];
    d.MLN[3 * (I - 1)] = si.M;
    d.MLN[3 * (I - 1) + 1] = si.L0;
    d.MLN[3 * (I - 1) + 2] = a.n;
    for (int J = 1; J <= NSH; ++J) {
      const Shell& sj = m.shells[J - 1];
      const int k = (I - 1) * NSH + (J - 1);  // (J, I): row J of column I
      const double sign = (sj.M % 2 == 0) ? 1.0 : -1.0;
      if (!m.one_electron()) {
        // Direct: the electrons of shell J, times (−1)^M_J of the density
        // built from Y(L,M)·Y(L′,−M).
        d.AHF[k] = sign * sj.electrons();
        // Exchange: one σ orbital; both orbitals ±M_J of a shell J with
        // M_J > 0 exchange with a σ shell; between two such shells the
        // partner of opposite M is added by the program.
        d.BHF[k] = sj.M == 0 ? 1.0 : sign * (si.M == 0 ? 2.0 : 1.0);
      }
      // Schmidt step against every lower shell of the same symmetry.
      if (J < I && sj.same_symmetry(si)) d.JOR[k] = 1, marks = true;
    }
  }
  d.NA = 5;
  d.NB = a.NB;
  d.RP[0] = a.RP1;
  d.RP[1] = a.RP2;
  d.EPS = a.EPS;
  d.MI = {0, 1, 0, marks ? 1 : 0, 0, 0, 0};
  d.FIL = FIL;
  d.FIR = FIR;
  return d;
}

}  // namespace

scf::D00 make_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL, const std::string& FIR) {
  scf::D00 d = build_d00(m, RZ, a, FIL, FIR);
  if (m.open >= 0) open_shell_d00(m, d);
  const std::string where = "group &D00 made by diatom";
  scf::check_limits(d, where);
  scf::check_momenta(d, where);
  return d;
}

void write_tovrel_controls(const std::string& folder, const scf::D00& d, const std::vector<std::string>& titles,
                           const std::string& restart) {
  io::Units units;
  {
    io::Unit& u = units.open_new(9, folder + "/Velor.prt");
    scf::Velor v;
    for (size_t i = 0; i < titles.size() && i < 3; ++i) v.PRT[i] = titles[i].substr(0, 65);
    io::Group g("VELOR");
    g.add("PRT", v.PRT.data(), 65, {3});
    g.write(u);
    units.close(9);
  }
  io::Unit& u = units.open_new(3, folder + "/Dp_Data.dsc");
  scf::D00I d00i;
  d00i.MI0 = restart.empty() ? 0 : 1;
  d00i.FI0 = restart;
  d00i.group().write(u);
  scf::D00 copy = d;
  copy.group().write(u);
  units.close(3);
}

}  // namespace diatom

#include "diatom/tovrel_controls.hpp"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "diatom/open_shell.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "scf/input_checks.hpp"
#include "scf/sizes.hpp"

namespace diatom {

namespace {

scf::ControlGroup build_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL,
                            const std::string& FIR) {
  scf::ControlGroup d;
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
      if (!m.one_electron() && !sj.empty) {
        // Direct: the electrons of shell J, times (−1)^M_J of the density
        // built from Y(L,M)·Y(L′,−M).
        d.AHF[k] = sign * sj.electrons();
        // Exchange: one σ orbital; both orbitals ±M_J of a shell J with
        // M_J > 0 exchange with a σ shell; between two such shells the
        // partner of opposite M is added by the program.  An empty shell J
        // adds no term to any equation.
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
  // The exact multipole scale and η, η² elements: the program's written
  // constants leave every many-electron energy some 1e-6 from the limit.
  d.EXACT = 1;
  // The outer recurrence in its difference form: the written one loses the
  // coefficients' low bits against the unit diagonal, an error that grows as
  // NB² and stops N2 near 1e-8.
  d.IDIF = 1;
  // The outer points formed without cancellation: the written root displaces
  // each point by about 1e-11 in x, which the matching at the junction sees
  // as a relative error of 1e-11/HB in its step, and N2's orbital energies
  // jumped by up to 1e-8 between neighbouring grids.  Without a continuum
  // the map graded towards the axis (IGRID = 2, choose_accuracy), which the
  // continuum programs do not read.
  d.IGRID = a.IGRID;
  // The dense algebra by BLAS and LAPACK: the same results to rounding
  // (argon on a focus, 24 waves: orbital energies within 5e-14 relative).
  // The projections of the potentials and the inner system by the library
  // take N2's run at TOL = 1e-8 (9 waves) from 6.8 to 5.4 s, the shipped
  // N2, CO, LiH and H2 2 to 20 % less; tovrel keeps the elimination's
  // blocks as written below 20 waves, where they are quicker.  Argon at 24
  // to 38 waves takes 36 to 39 % less.
  d.IBLAS = 1;
  d.FIL = FIL;
  d.FIR = FIR;
  return d;
}

// A title line within the `bytes` tovrel's title variables hold, cut
// before a whole UTF-8 character (a title of 65 characters with letters
// outside ASCII takes more bytes; the listing keeps valid text).
std::string title_bytes(const std::string& t, size_t bytes) {
  if (t.size() <= bytes) return t;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(t[end]) & 0xC0) == 0x80) --end;
  return t.substr(0, end);
}

}  // namespace

scf::ControlGroup make_d00(const Molecule& m, double RZ, const Accuracy& a, const std::string& FIL,
                           const std::string& FIR) {
  scf::ControlGroup d = build_d00(m, RZ, a, FIL, FIR);
  if (m.open >= 0) open_shell_d00(m, d);
  if (m.open < 0 && m.Z1 > 0.0 && m.Z2 > 0.0 && std::max(m.Z1, m.Z2) >= kSecondRowZ) d.IPROJ = 1;
  const std::string where = "group &D00 made by diatom";
  // A grid past the program's default memory gets its own NUVM (in whole
  // millions of words), up to half of this machine's memory.
  const long need = scf::words_needed(d);
  if (need > scf::kNUVM) {
    const long allowed = run_words_allowed();
    if (need > allowed) {
      std::ostringstream why;
      why << where << ": " << d.NB << " points and " << d.n(1) << " partial waves a shell take " << need << " words ("
          << std::setprecision(3) << need * 8.0 / 1.0e9 << " GB), more than half of this machine's memory (" << allowed
          << " words); give a larger TOL, or CHECK = 0 where it is the check grid that asks for them";
      io::stop(why.str());
    }
    d.NUVM = static_cast<int>(std::min<long>(allowed, (need + 999'999) / 1'000'000 * 1'000'000));
  }
  scf::check_limits(d, where);
  scf::check_momenta(d, where);
  return d;
}

void write_tovrel_controls(const std::string& folder, const scf::ControlGroup& d,
                           const std::vector<std::string>& titles, const std::string& restart, bool other_grid) {
  io::Units units;
  {
    io::Unit& u = units.open_new(9, folder + "/" + kTovrelTitles);
    scf::TitleGroup v;
    for (size_t i = 0; i < titles.size() && i < 3; ++i) v.PRT[i] = title_bytes(titles[i], 65);
    v.written_group().write(u);
    units.close(9);
  }
  io::Unit& u = units.open_new(3, folder + "/" + kTovrelControl);
  scf::RestartGroup d00i;
  d00i.MI0 = restart.empty() ? 0 : other_grid ? 2 : 1;
  d00i.FI0 = restart;
  d00i.group().write(u);
  scf::ControlGroup copy = d;
  copy.group(false, true).write(u);
  units.close(3);
}

}  // namespace diatom

#include "scf/driver.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/build.hpp"
#include "lib/gaunt_exact.hpp"
#include "lib/gaunt_table.hpp"
#include "lib/one_electron.hpp"
#include "lib/orbital_file.hpp"
#include "lib/radial_solver.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/answers.hpp"
#include "scf/energy.hpp"
#include "scf/equations.hpp"
#include "scf/grid.hpp"
#include "scf/open_shell.hpp"
#include "scf/search.hpp"
#include "scf/update.hpp"

namespace scf {

namespace {

// A title line as the 65-character variable holds it: blank-padded on the right.
std::string title(const std::string& t) {
  std::string s = t.substr(0, 65);
  s.resize(65, ' ');
  return s;
}

void write_header(io::Unit& u, const std::array<std::string, 30>& PRT, int NSH, lib::CIMat MLN, double Z1, double Z2,
                  double RZ, lib::CMat AHF, lib::CMat BHF, int NA, int NB, lib::CVec RP, double EPS) {
  io::fwrite(u,
             io::Format("(3(A65,/),' NUCLEI CHARGES:       Z1 =',F6.3,/,23X,'Z2 =',F6.3,/,/,"
                        "' INTERNUCLEI DISTANCE: RZ  =',F7.4,/,' NUMBER OF THE SHELLS: NSH =',I3,/,/,"
                        "' IDENTIFICATION OF THE SHELLS :',/,/,5X,'N SHELL    M    L0   N OF P.W.',/)"),
             title(PRT[0]), title(PRT[1]), title(PRT[2]), Z1, Z2, RZ, NSH);
  for (int I = 1; I <= NSH; ++I) io::fwrite(u, io::Format("(4X,I4,3X,3(I6))"), I, MLN(1, I), MLN(2, I), MLN(3, I));
  io::fwrite(u, io::Format("(/,' HARTREE-FOCK COEFFICIENTS:')"));
  for (int I = 1; I <= NSH; ++I)
    io::fwrite(u, io::Format("(/,' A(',I2,', *)',3E15.5,/,2(10X,3E15.5,/))"), I, AHF.col(I));
  for (int I = 1; I <= NSH; ++I)
    io::fwrite(u, io::Format("(/,' B(',I2,', *)',3E15.5,/,2(10X,3E15.5,/))"), I, BHF.col(I));
  io::fwrite(u,
             io::Format("(/,/,' INTEGRATION UP TO',10X,'RB =',F7.2,/,' NO. INTEGRATION POINTS     NB =',I5,/,/,"
                        "' ANALITICAL APPROXIMATION :',/,' UP TO',20X,'  RA =',F9.3,/,"
                        "' WITH NUMBER OF POINTS      NA =',I5,/,'   ACCURACY   ',10X,'    EPS=',E10.2,/,"
                        "60('='),/,7X,' R E S U L T S :',/,/,3X,'N SHELL',10X,'ENEGIES')"),
             RP(2) * RZ / 2.0, NB, RP(1), NA, EPS);
}

void console_table(const char* label, lib::CVec v) {
  io::console().line(label);
  io::console().line(io::fstring(io::Format("(5E15.7)"), v));
}

}  // namespace

namespace {

// Orbitals carried from another grid keep their norms CN only to the
// accuracy of the interpolation and of the other grid's quadrature: each
// shell is scaled to its norm CN on this grid, with the η² matrix of its
// partial waves (one_electron_equations) in the overlap.
void renormalise_carried(const RunTables& t, const Shells& s, UpdateState& st, const UpdateSlices& w) {
  for (int I = 1; I <= s.NSH; ++I) {
    if (s.CN(I) == 0.0) continue;
    const int n = s.n(I), NB = t.NB;
    const ShellWork sw = w.of(n, NB);
    const lib::Arr3 PD(sw.PD.data(), NB, n, n);
    const lib::Mat TT = st.tt(n);
    lib::fill(n * n, 0.0, TT.flat());
    lib::one_electron_equations(NB, lib::WaveSet{s.M(I), s.L0(I), n, t.ISYM}, t.one_electron(), t.R,
                                lib::VecView<double, 0>(st.F.data(), kFactorials), sw.WK, TT, PD);
    const lib::Mat XI = s.waves(I);
    const double O =
        FOVI(n, n, t.NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), w.WK.col(5), w.WK.col(6), XI, XI);
    if (!(O > 0.0) || !std::isfinite(O)) {
      io::stop(io::fstring(io::Format("(' SHELL',I3,' OF THE RESTART HAS NO NORM ON THIS GRID: ',E12.4)"), I, O));
    }
    lib::scale(NB * n, std::sqrt(s.CN(I) / O), XI.flat());
  }
}

}  // namespace

RunTables set_up_grid(int NA, int NB, int MM, lib::CVec RP, int MI1, double Z1, double Z2, double RZ, lib::Mat R,
                      lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Mat G, lib::Vec BZ,
                      int IGRID) {
  RunTables t;
  if (MI1 == 0) COTR0(NA + 1, NB, t.HB, RP, R, IGRID);
  lib::inner_series_tables(NA, NB, MM, RP(1), t.HA, R, lib::SeriesTablesOut{G, AA, BB, VV, UU, BZ});
  if (MI1 >= 3) BZ(1) = BZ(2) = BZ(3) = 0.0;
  lib::copy(NA * NA, UU.flat(), WW.flat());
  double D = 0.0;
  lib::invert_in_place(NA, D, WW);
  t.NA = NA;
  t.NB = NB;
  t.ISYM = (std::fabs(Z1 - Z2) <= 1.0e-5 && std::fabs((Z2 - Z1) * RZ) <= 1.0e-5) ? 2 : 1;
  t.ZP = (Z1 + Z2) * RZ;
  t.ZM = (Z2 - Z1) * RZ;
  t.ZS = Z1 + Z2;
  t.RZ2 = RZ * RZ / 2.0;
  t.RZ3 = RZ * RZ * RZ / 8.0;
  t.R = R;
  t.AA = AA;
  t.BB = BB;
  t.VV = VV;
  t.UU = UU;
  t.WW = WW;
  t.G = G;
  t.BZ = BZ;
  return t;
}

int iterate_shells(const RunTables& t, const Shells& s, lib::CIMat JOR, lib::CIVec MI, double EPS, lib::CMat AHF,
                   lib::CMat BHF, UpdateState& st, EnergySearch& search, const UpdateSlices& w, io::Unit& listing,
                   int max_sweeps) {
  io::Console& con = io::console();
  const int NSH = s.NSH, NB = t.NB;
  std::array<double, 16> EOLD{};
  for (int I = 1; I <= NSH; ++I) EOLD[I - 1] = s.E(I);
  auto change = [&] {
    double d = 0.0;
    for (int I = 1; I <= NSH; ++I) d += std::fabs(EOLD[I - 1] - s.E(I));
    return d;
  };
  // What the search may do to the orbitals between two sweeps.
  const SweepContext between{t, s, MI, AHF, BHF, st, w, occupations(s, AHF, BHF).closed && MI(2) == 1};
  // IROT = 2 restarted with every orbital: the first sweep takes the pair's
  // multiplier from the orbitals read (without it the closed shell's solve
  // turns the pair away: CN restarted from its own result moved 5σ by 0.01).
  if (st.open != nullptr && st.IROT == 2 && MI(2) == 1) {
    bool all = true;
    for (int I = 1; I <= NSH; ++I) all = all && s.CN(I) != 0.0 && s.E(I) != 0.0;
    const int o = st.open->open.shell;
    if (all) open_shell_step(t, s, AHF, BHF, *st.open, JOR, st, w.of(s.n(o), NB), false);
  }
  for (int sweep = 1;; ++sweep) {
    search.sweep_starts(s);
    if (sweep > max_sweeps) {
      io::stop(io::fstring(io::Format("(' NO SELF-CONSISTENCY AFTER',I5,' SWEEPS: THE ENERGIES STILL MOVE BY',"
                                      "E12.4,' (EPS =',E10.2,')')"),
                           max_sweeps, change(), EPS));
    }
    for (int IS = 1; IS <= NSH; ++IS) {
      console_table("cn = ", s.CN.sub(1, NSH));
      console_table(" E = ", s.E.sub(1, NSH));
      int ISH = IS;
      if (MI(3) == 1) {
        con.line(io::lstring(" I = ", IS));
        ISH = ask_integer("  IS = ? ");
        if (ISH > NSH) io::stop(io::fstring(io::Format("(' IS =',I5,': THERE ARE ONLY',I3,' SHELLS')"), ISH, NSH));
      }
      if (ISH <= 0) break;
      const int NPW = s.n(ISH);
      int MODE = MI(3);
      if (MI(5) == 0 && IS == 1) MODE = 2;
      const ShellWork sw = w.of(NPW, NB);
      DHFSI0(t, s, ISH, MODE, EPS, AHF.col(ISH), BHF.col(ISH), JOR, st, search, sw, listing);

      const lib::Mat XI = s.waves(ISH);
      const lib::CMat TT = st.tt(NPW);
      auto ov = [&](lib::CMat X1, lib::CMat X2) {
        return FOVI(NPW, NPW, t.NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), w.WK.col(5), w.WK.col(6), X1,
                    X2);
      };
      if (MI(4) == 1) {
        for (int J = 1; J <= NSH; ++J) {
          // A shell without an orbital yet has nothing to be orthogonal to.
          if (J == ISH || JOR(J, ISH) != 1 || s.CN(J) == 0.0) continue;
          const lib::Mat XJ = s.X.colsFrom(s.LK(J), NPW);
          const double O = ov(XI, XJ);
          con.line(io::lstring(" overlap, CN(ISH), CN(J) =", O, s.CN(ISH), s.CN(J)));
          for (int p = 1; p <= NPW; ++p) lib::add_scaled(NB, -O / s.CN(J), XJ.col(p), XI.col(p));
          const double O2 = ov(XI, XJ);
          s.CN(ISH) = ov(XI, XI);
          con.line(io::lstring(" after orthogonalisation:", O2, s.CN(ISH)));
        }
      }
      if (!(s.CN(ISH) > 0.0) || !std::isfinite(s.CN(ISH))) {
        io::stop(io::fstring(io::Format("(' SHELL',I3,' HAS NO NORM AFTER ITS UPDATE: CN =',E12.4)"), ISH, s.CN(ISH)));
      }
      if (MI(2) == 1) {
        const double c = 1.0 / std::sqrt(s.CN(ISH));
        s.CN(ISH) = 1.0;
        lib::scale(NB * NPW, c, XI.flat());
      }
      con.line(" Mi(3) -?");
    }
    console_table("cn = ", s.CN.sub(1, NSH));
    console_table(" E = ", s.E.sub(1, NSH));
    const double dE = change();
    con.line(io::lstring(" sweep", sweep, " change of the energies", dE));
    if (dE < EPS) {
      con.line(io::lstring(" self-consistent after", sweep, " sweeps"));
      return sweep;
    }
    for (int I = 1; I <= NSH; ++I) EOLD[I - 1] = s.E(I);
    const bool open = st.open != nullptr && MI(2) == 1;
    const int o = open ? st.open->open.shell : 0;
    // The rotation of the open shell against the closed shells of its
    // symmetry.  While the sweeps still move the energies by a hartree (the
    // damped start) it waits: the orbitals are not yet those of their shells.
    auto rotate_open_shell = [&] {
      for (const OpenPair& p : open_shell_step(t, s, AHF, BHF, *st.open, JOR, st, w.of(s.n(o), NB), dE < 1.0)) {
        con.line(
            io::lstring(" open shell", o, " and shell", p.closed, ": dE/dtheta", p.gradient, " rotated by", p.theta));
        if (st.IROT == 1 && dE < 1.0)
          con.line(io::lstring("   fitted dE/dtheta", p.fitted_gradient, " energy lowered by", -p.lowered));
      }
    };
    // With IROT = 1 the rotation is part of the sweep it follows, and the
    // extrapolation between sweeps combines turned orbitals.  (CN from CO's
    // orbitals with the turn after the extrapolation ran away after a dozen
    // sweeps; with it before, the sweeps come to a standstill in which the
    // solves undo each turn.)
    if (open && st.IROT == 1) rotate_open_shell();
    search.sweep_ended(sweep, dE, between);
    if (open) {
      // (IROT = 2 turns nothing: its multipliers turn the pair in the solves;
      // the gradient is printed.)
      if (st.IROT != 1) rotate_open_shell();
      // The multipliers from the orbitals the next sweep starts from: those
      // of the orbitals before the rotation would make it undo the rotation.
      open_shell_step(t, s, AHF, BHF, *st.open, JOR, st, w.of(s.n(o), NB), false);
      // Multipliers of orbitals that are not yet their shells' would push
      // the next sweep anywhere: none during the damped start.
      if (dE >= 1.0) std::fill(st.lagrange.begin(), st.lagrange.end(), 0.0);
    }
  }
}

// The self-consistent iteration: each sweep solves every shell once in the
// field of the present orbitals of all shells; the sweeps end when the
// orbital energies move by less than EPS in sum.  The accuracy is that of
// the grid (Numerov on the outer region, the series on the inner one) and of
// the partial-wave and multipole cut-offs.
void DMS_00_1(int NSH, int NA, int NB, int MM, int /*IOS*/, lib::CIMat MLN, lib::CIVec LK, lib::CIMat JOR, lib::IVec MI,
              double Z1, double Z2, double RZ, double EPS, double /*FCC*/, lib::CVec RP, lib::CMat AHF, lib::CMat BHF,
              lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Vec E, lib::Vec CN, lib::Vec WC,
              lib::Vec CX, const std::array<std::string, 30>& PRT, lib::Mat R, lib::Mat X, lib::Vec PD, lib::Vec PX,
              lib::Mat WK, lib::Mat XN, lib::Mat XE, io::Unit& listing, io::Unit& result, const RunOptions& options) {
  std::array<double, 2 * 16> G{};
  std::array<double, 5> BZ{};
  RunTables t = set_up_grid(NA, NB, MM, RP, MI(1), Z1, Z2, RZ, R, AA, BB, UU, VV, WW, lib::Mat(G.data(), 2, MM),
                            lib::Vec(BZ.data(), 5), options.IGRID);
  t.EXACT = options.EXACT;
  t.IDIF = options.IDIF;
  write_header(listing, PRT, NSH, MLN, Z1, Z2, RZ, AHF, BHF, NA, NB, RP, EPS);
  // The first shell starts from −(Z1+Z2)^1.5/2 unless it was read with an
  // orbital (a restart keeps the energy of its file).
  if (CN(1) == 0.0) E(1) = -0.5 * std::pow(Z1 + Z2, 1.5);

  const Shells s{NSH, MLN, LK, X, E, CN};
  UpdateState st;
  int KMA = 1;
  for (int I = 1; I <= NSH; ++I) KMA = std::max(KMA, s.n(I));
  st.tt(KMA);
  if (options.coupling != nullptr) {
    st.NSH = NSH;
    st.partner = options.coupling->PW;
    st.open = options.coupling;
    st.IROT = options.IROT;
  }
  const std::unique_ptr<EnergySearch> search = energy_search(options.ISRCH);
  // The angular coefficients of all sweeps, tabulated once.
  lib::fill_factorials(kFactorials - 1, lib::VecView<double, 0>(st.F.data(), kFactorials));
  const AngularRange range = angular_range(s, t.ISYM);
  std::optional<lib::GauntTable> angular;
  std::optional<lib::ExactGauntTable> exact;
  if (options.exact_angular) {
    exact.emplace(range.LMAX, range.MMAX);
    t.exact = &*exact;
  } else {
    angular.emplace(range.LMAX, range.MMAX, st.fac(), lib::Build::scf);
    t.angular = &*angular;
  }
  const UpdateSlices slices{PD, PX, WK, XN, XE, CX, WC};
  if (options.regridded) renormalise_carried(t, s, st, slices);
  iterate_shells(t, s, JOR, MI, EPS, AHF, BHF, st, *search, slices, listing);
  io::console().line(io::lstring(" energy trials in the run", st.trials));

  for (int I = 1; I <= NSH; ++I) io::fwrite(listing, io::Format("(4X,I3,7X,E16.8)"), I, E(I));
  lib::write_orbital_block(NSH, NB, MLN, LK, E, CN, X, result);

  // The energy block, after the results table and as the last console lines.
  TotalEnergy energy = total_energy(t, s, Z1, Z2, RZ, AHF, BHF, st, slices.of(1, NB));
  if (st.open != nullptr) {
    const OpenShell& o = st.open->open;
    char buf[160];
    std::snprintf(buf, sizeof buf, " OPEN SHELL %d WITH %d ELECTRONS, TERM %s: THE ENERGY OF THE TERM", o.shell,
                  o.electrons, o.term.c_str());
    energy.open_lines.emplace_back(buf);
    for (const OpenPair& p : open_shell_step(t, s, AHF, BHF, *st.open, JOR, st, slices.of(s.n(o.shell), NB), false)) {
      std::snprintf(buf, sizeof buf, " BRILLOUIN GRADIENT OF SHELLS %d AND %d = %10.2E", o.shell, p.closed, p.gradient);
      energy.open_lines.emplace_back(buf);
    }
  }
  const std::vector<std::string> lines = energy_lines(energy);
  listing.write_record("");
  for (const std::string& l : lines) listing.write_record(l);
  for (const std::string& l : lines) io::console().line(l);
}

}  // namespace scf

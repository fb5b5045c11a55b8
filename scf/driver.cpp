#include "scf/driver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
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
#include "lib/vector_kernels.hpp"
#include "scf/angular.hpp"
#include "scf/energy.hpp"
#include "scf/energy_search.hpp"
#include "scf/open_shell.hpp"
#include "scf/overlap.hpp"
#include "scf/sweeps.hpp"
#include "scf/update_state.hpp"

namespace scf {

namespace {

// A title line as the 65-character variable holds it: blank-padded on the right.
std::string title(const std::string& t) {
  std::string s = t.substr(0, 65);
  s.resize(65, ' ');
  return s;
}

// The head of the listing: the title lines, the molecule, the shells, the
// coefficients of their equations and the grid.
void write_header(io::Unit& u, const std::array<std::string, 30>& PRT, const Shells& s, const RunSettings& run) {
  const int NSH = s.NSH;
  const lib::CIMat MLN = s.MLN;
  const lib::CMat AHF = run.coef.AHF, BHF = run.coef.BHF;
  io::fwrite(u,
             io::Format("(3(A65,/),' NUCLEI CHARGES:       Z1 =',F6.3,/,23X,'Z2 =',F6.3,/,/,"
                        "' INTERNUCLEI DISTANCE: RZ  =',F7.4,/,' NUMBER OF THE SHELLS: NSH =',I3,/,/,"
                        "' IDENTIFICATION OF THE SHELLS :',/,/,5X,'N SHELL    M    L0   N OF P.W.',/)"),
             title(PRT[0]), title(PRT[1]), title(PRT[2]), run.Z1, run.Z2, run.RZ, NSH);
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
             run.RP(2) * run.RZ / 2.0, run.NB, run.RP(1), run.NA, run.EPS);
}

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
    const double O = shell_overlap(t.overlap_grid(), TT, XI, XI, w.WK.col(5), w.WK.col(6));
    if (!(O > 0.0) || !std::isfinite(O)) {
      io::stop(io::fstring(io::Format("(' SHELL',I3,' OF THE RESTART HAS NO NORM ON THIS GRID: ',E12.4)"), I, O));
    }
    lib::scale(NB * n, std::sqrt(s.CN(I) / O), XI.flat());
  }
}

// The update state of a run: the η² matrix sized for the largest shell
// (views taken of it stay valid), an open shell's coupling.
void prepare_state(const Shells& s, const RunOptions& options, UpdateState& st) {
  int KMA = 1;
  for (int I = 1; I <= s.NSH; ++I) KMA = std::max(KMA, s.n(I));
  st.tt(KMA);
  st.IPROJ = options.IPROJ;
  if (options.coupling != nullptr) {
    st.NSH = s.NSH;
    st.partner = options.coupling->PW;
    st.open = options.coupling;
    st.IROT = options.IROT;
  }
}

// The angular coefficients of all sweeps, tabulated once: the factorials
// into st, then the run's table (or, with options.exact_angular, the
// coefficients by quadrature) attached to t.
struct AngularTables {
  std::optional<lib::GauntTable> angular;
  std::optional<lib::ExactGauntTable> exact;
  void attach(RunTables& t, const Shells& s, UpdateState& st, const RunOptions& options) {
    lib::fill_factorials(kFactorials - 1, lib::VecView<double, 0>(st.F.data(), kFactorials));
    const AngularRange range = angular_range(s, t.ISYM);
    if (options.exact_angular) {
      exact.emplace(range.LMAX, range.MMAX);
      t.exact = &*exact;
    } else {
      angular.emplace(range.LMAX, range.MMAX, st.fac(), lib::Build::scf);
      t.angular = &*angular;
    }
  }
};

// The energy block, after the results table and as the last console lines;
// with an open shell the lines naming its term and the Brillouin gradients.
void write_energy_block(const RunTables& t, const Shells& s, const RunSettings& run, UpdateState& st,
                        const UpdateSlices& slices, io::Unit& listing) {
  TotalEnergy energy = total_energy(t, s, run, st, slices.of(1, t.NB));
  if (st.open != nullptr) {
    const OpenShell& o = st.open->open;
    char buf[160];
    std::snprintf(buf, sizeof buf, " OPEN SHELL %d WITH %d ELECTRONS, TERM %s: THE ENERGY OF THE TERM", o.shell,
                  o.electrons, o.term.c_str());
    energy.open_lines.emplace_back(buf);
    for (const OpenPair& p : open_shell_step(t, s, run.coef, *st.open, st, slices.of(s.n(o.shell), t.NB), false)) {
      std::snprintf(buf, sizeof buf, " BRILLOUIN GRADIENT OF SHELLS %d AND %d = %10.2E", o.shell, p.closed, p.gradient);
      energy.open_lines.emplace_back(buf);
    }
  }
  const std::vector<std::string> lines = energy_lines(energy);
  listing.write_record("");
  for (const std::string& l : lines) listing.write_record(l);
  for (const std::string& l : lines) io::console().line(l);
}

}  // namespace

// The self-consistent iteration: each sweep solves every shell once in the
// field of the present orbitals of all shells; the sweeps end when the
// orbital energies move by less than EPS in sum.  The accuracy is that of
// the grid (Numerov on the outer region, the series on the inner one) and of
// the partial-wave and multipole cut-offs.
void self_consistent_run(const RunSettings& run, const RunOptions& options, const Shells& s, const GridStorage& tables,
                         const UpdateSlices& w, const std::array<std::string, 30>& PRT, io::Unit& listing,
                         io::Unit& result) {
  RunTables t = set_up_grid(GridSetting{run.NA, run.NB, run.MM, run.RP, run.MI(1), options.IGRID}, run.Z1, run.Z2,
                            run.RZ, tables);
  t.EXACT = options.EXACT;
  t.IDIF = options.IDIF;
  t.IBLAS = options.IBLAS;
  write_header(listing, PRT, s, run);
  // The first shell starts from −(Z1+Z2)^1.5/2 unless it was read with an
  // orbital (a restart keeps the energy of its file).
  if (s.CN(1) == 0.0) s.E(1) = -0.5 * std::pow(run.Z1 + run.Z2, 1.5);

  UpdateState st;
  prepare_state(s, options, st);
  const std::unique_ptr<EnergySearch> search = energy_search(options.ISRCH);
  AngularTables angular;
  angular.attach(t, s, st, options);
  if (options.regridded) renormalise_carried(t, s, st, w);
  iterate_shells(t, s, run, st, *search, w, listing);
  io::console().line(io::lstring(" energy trials in the run", st.trials));

  for (int I = 1; I <= s.NSH; ++I) io::fwrite(listing, io::Format("(4X,I3,7X,E16.8)"), I, s.E(I));
  lib::write_orbital_block(s.NSH, run.NB, s.MLN, s.LK, s.E, s.CN, s.X, result);
  write_energy_block(t, s, run, st, w, listing);
}

}  // namespace scf

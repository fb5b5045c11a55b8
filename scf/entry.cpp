#include "scf/entry.hpp"

#include <algorithm>
#include <memory>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/lapack.hpp"
#include "scf/driver.hpp"
#include "scf/input_checks.hpp"
#include "scf/restart.hpp"
#include "scf/run_settings.hpp"

namespace scf {

OpenShell open_shell(const ControlGroup& d) { return OpenShell{d.OPEN[0], d.OPEN[1], io::trim_right(d.TERM)}; }

namespace {

// The title lines of "Velor.prt".
TitleGroup read_titles(io::Units& units) {
  TitleGroup velor;
  io::Unit& u9 = units.open_old(9, "Velor.prt");
  velor.group().read(u9);
  units.close(9);
  return velor;
}

// The restart switch of the control file.
RestartGroup read_restart_switch(io::Unit& u3) {
  RestartGroup d00i;
  d00i.group().read(u3);
  if (d00i.MI0 < 0 || d00i.MI0 > 2) {
    io::stop("file '" + u3.name() +
             "', group &D00I, variable MI0: 0 (no restart), 1 (restart from FI0) or 2 (from "
             "FI0 on another grid), not " +
             std::to_string(d00i.MI0));
  }
  return d00i;
}

// The group of the restart file (unit 9, MI0 ≠ 0), then the control file's
// own values over it, both checked.
void read_control_groups(const RestartGroup& d00i, io::Units& units, ControlGroup& d, ControlGroup& restart) {
  io::Unit& u3 = units(3);
  if (d00i.MI0 != 0) {
    d.group().read(units.open_old(9, io::trim_right(d00i.FI0)));
    restart = d;
  }
  d.group().read(u3);
  check_limits(d, u3.name());
  if (d00i.MI0 == 1) check_restart_grid(restart, d, units(9).name());
  if (d00i.MI0 == 2) {
    check_limits(restart, units(9).name());
    check_restart_molecule(restart, d, units(9).name());
  }
}

// The shell bookkeeping: start columns LK of the shells' waves, MM columns
// of the inner tables, KMA waves of the largest shell, NKS columns of X.
struct ShellLayout {
  std::array<int, kMaxShells + 1> LK{};
  int MM = 1, KMA = 1, NKS = 0;
};

ShellLayout shell_layout(const ControlGroup& d) {
  ShellLayout l;
  l.LK[0] = 1;
  for (int I = 1; I <= d.NSH; ++I) {
    l.MM = std::max(l.MM, d.M(I));
    l.KMA = std::max(l.KMA, d.n(I));
    io::console().line(io::lstring(" I, MLN =", I, l.KMA, d.M(I), d.L0(I), d.n(I)));
    l.LK[I] = l.LK[I - 1] + d.n(I);
  }
  l.MM = 2 * l.MM + 1;
  l.NKS = l.LK[d.NSH] - 1;
  return l;
}

// The workspace of the partition K: V when its NUV words suffice, else one
// of its own (held by `larger`) up to NUVM words.
lib::Workspace& workspace_for(long NUV, lib::Workspace& V, const std::array<long, 8>& K, int KMA, int NUVM,
                              std::unique_ptr<lib::Workspace>& larger) {
  io::console().line(io::lstring(K[7], NUV, KMA));
  io::console().line(io::lstring(" KMA, K =", KMA, K));
  if (NUV < K[7]) {
    if (K[7] > NUVM) {
      io::console().line("workspace of " + std::to_string(K[7]) + " words needed, at most " + std::to_string(NUVM));
      io::stop(" GIVE ME MEMORY");
    }
    larger = std::make_unique<lib::Workspace>(K[7]);
  }
  return larger ? *larger : V;
}

// The arrays of a run outside the workspace: energies and norms, the inner
// tables, the matching factors and boundary vector, the inner work arrays.
struct RunArrays {
  std::array<double, 16> E{}, CN{};
  std::vector<double> AA, BB, UU, VV, WW, G, BZ, WC, CX;
  RunArrays(int NA, int KMA)
      : AA(kInnerTable),
        BB(kInnerTable),
        UU(kInnerTable),
        VV(kInnerTable),
        WW(8550),
        G(2 * 16),
        BZ(5),
        WC(static_cast<std::size_t>(inner_work_words(NA, KMA))),
        CX(static_cast<std::size_t>(inner_system_words(NA, KMA))) {}
  // The tables' storage; R is the first slice of the workspace.
  GridStorage storage(lib::Mat R, int NA, int MM) {
    return GridStorage{R,
                       lib::Mat(AA.data(), NA, MM),
                       lib::Mat(BB.data(), NA, MM),
                       lib::Mat(UU.data(), NA, NA + 1),
                       lib::Mat(VV.data(), NA, MM),
                       lib::Mat(WW.data(), NA, NA),
                       lib::Mat(G.data(), 2, MM),
                       lib::Vec(BZ.data(), 5)};
  }
};

// The workspace slices 3 to 7 of the partition K and the inner work arrays.
UpdateSlices update_slices(lib::Workspace& W, const std::array<long, 8>& K, int NB, int KMA, RunArrays& a) {
  const int xe_cols = static_cast<int>((K[7] - K[6]) / NB);
  return UpdateSlices{W.slice(K[2], K[3] - K[2]),
                      W.slice(K[3], K[4] - K[3]),
                      W.matrix(K[4], NB, static_cast<int>((K[5] - K[4]) / NB)),
                      W.matrix(K[5], NB, 2 * KMA),
                      W.matrix(K[6], NB, xe_cols),
                      lib::Vec(a.CX.data(), static_cast<int>(a.CX.size())),
                      lib::Vec(a.WC.data(), static_cast<int>(a.WC.size()))};
}

// The run as the control group gives it.
RunSettings run_settings(const ControlGroup& d, int MM) {
  const int NSH = d.NSH;
  return RunSettings{d.Z1,
                     d.Z2,
                     d.RZ,
                     d.NA,
                     d.NB,
                     MM,
                     lib::CVec(d.RP.data(), 10),
                     d.EPS,
                     lib::CIVec(d.MI.data(), 7),
                     ShellCoefficients{lib::CMat(d.AHF.data(), NSH, NSH), lib::CMat(d.BHF.data(), NSH, NSH),
                                       lib::CIMat(d.JOR.data(), NSH, NSH)}};
}

}  // namespace

void run_tovrel(long NUV, lib::Workspace& V, io::Units& units) {
  const TitleGroup velor = read_titles(units);
  io::Unit& u3 = units(3);
  const RestartGroup d00i = read_restart_switch(u3);
  ControlGroup d;
  ControlGroup restart;
  read_control_groups(d00i, units, d, restart);
  // An open shell: the coefficients are those of its term.
  Coupling coupling;
  if (d.OPEN[0] != 0) {
    coupling = couple(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, open_shell(d));
    std::copy(coupling.AHF.begin(), coupling.AHF.end(), d.AHF.begin());
    std::copy(coupling.BHF.begin(), coupling.BHF.end(), d.BHF.begin());
  }
  const ShellLayout layout = shell_layout(d);
  const int NSH = d.NSH, NA = d.NA, NB = d.NB, KMA = layout.KMA;

  // The partition of the workspace; its first slice holds the grid table,
  // whose ends RA and RB are the grid parameters.
  const std::array<long, 8> K = partition(NB, layout.NKS, KMA);
  std::unique_ptr<lib::Workspace> larger;
  lib::Workspace& W = workspace_for(NUV, V, K, KMA, d.NUVM, larger);
  W(NA) = d.RP[0];
  W(NB) = d.RP[1];
  check_momenta(d, u3.name());
  RunArrays a(NA, KMA);
  const Shells s{NSH,
                 lib::CIMat(d.MLN.data(), 3, NSH),
                 lib::CIVec(layout.LK.data(), NSH + 1),
                 W.matrix(K[1], NB, layout.NKS),
                 lib::Vec(a.E.data(), 16),
                 lib::Vec(a.CN.data(), 16)};

  // Starting orbitals of a restart, on this grid or carried to it.
  const lib::CIVec LK(layout.LK.data(), NSH);
  if (d00i.MI0 == 1) start_from_same_grid(d, LK, s.E.sub(1, NSH), s.CN.sub(1, NSH), s.X, units(9));
  if (d00i.MI0 == 2) start_from_other_grid(restart, d, LK, s.E.sub(1, NSH), s.CN.sub(1, NSH), s.X, units(9));
  // Whether starting orbitals were read.
  d.MI[4] = d00i.MI0 == 0 ? 0 : 1;

  // Listing and result files, created once every input has been checked;
  // the result file starts with the group.
  io::Units::require_new({{10, io::trim_right(d.FIL)}, {11, io::trim_right(d.FIR)}});
  io::Unit& listing = units.open_new(10, io::trim_right(d.FIL));
  io::Unit& result = units.open_new(11, io::trim_right(d.FIR));
  d.group(true).write(result);

  const RunOptions options{d.EXACT,
                           d.ISRCH,
                           d.EXACT == 1 && factorials_needed(d) > kFactorialTop,
                           d.OPEN[0] != 0 ? &coupling : nullptr,
                           d.IDIF,
                           d.IGRID,
                           d.IROT,
                           d.IPROJ,
                           d.IBLAS,
                           d00i.MI0 == 2};
  // The blocks of the elimination are small (n × n, n the waves): on more
  // than one BLAS thread their products and factors wait on one another
  // longer than they work, and the two energies of a state walk already
  // take a thread each.
  if (d.IBLAS == 1) lib::set_blas_threads(1);
  self_consistent_run(run_settings(d, layout.MM), options, s, a.storage(W.matrix(K[0], NB, 7), NA, layout.MM),
                      update_slices(W, K, NB, KMA, a), velor.PRT, listing, result);
}

}  // namespace scf

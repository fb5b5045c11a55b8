#include "scf/entry.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/orbital_file.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/driver.hpp"
#include "scf/fixed_energy.hpp"
#include "scf/regrid.hpp"

namespace scf {

std::array<long, 8> partition(int NB, int NKS, int KMA) {
  const long nb = NB, kma = KMA;
  std::array<long, 8> K{};
  K[0] = 1;
  K[1] = K[0] + 7 * nb;
  K[2] = K[1] + NKS * nb;
  K[3] = K[2] + kma * kma * nb;
  K[4] = K[3] + kma * kma * nb;
  K[5] = K[4] + ((kma + 2) * kma + 6) * nb;
  K[6] = K[5] + 2 * kma * nb;
  K[7] = K[6] + std::max(2 * kma, kma + 2) * nb;
  return K;
}

long words_needed(const D00& d) {
  long nks = 0, kma = 1, inner = 0;
  for (int i = 1; i <= d.NSH; ++i) {
    const long n = d.n(i), nan = static_cast<long>(d.NA) * n;
    nks += n;
    kma = std::max(kma, n);
    inner = std::max(inner, nan * nan + 2 * nan + nan * n + 7 * n * n);
  }
  const long per_point = partition(1, static_cast<int>(nks), static_cast<int>(kma))[7] - 1;
  return std::max(inner, static_cast<long>(d.NB) * per_point);
}

long inner_system_words(int NA, int n) {
  const long nan = static_cast<long>(NA) * n;
  return std::max(nan * nan, static_cast<long>(NA) * NA);
}

long inner_work_words(int NA, int n) {
  // The fixed-energy solve: the inner system's right-hand side and solution
  // (NA·n each) and the series of its coefficient functions (NA·n²), and
  // before them the outer elimination's scratch; the multipole solver: NA × 3.
  const long nan = static_cast<long>(NA) * n;
  return std::max({2 * nan + nan * n, cpyp0_words(n), 3L * NA});
}

void check_limits(const D00& d, const std::string& file) {
  auto fail = [&](const std::string& var, const std::string& why) {
    io::stop("file '" + file + "', group &D00, variable " + var + ": " + why);
  };
  if (d.NSH < 1 || d.NSH > kMaxShells) {
    fail("NSH", std::to_string(d.NSH) + " shells; the program takes 1 to " + std::to_string(kMaxShells));
  }
  if (d.NA < 3 || d.NA % 2 == 0) {
    fail("NA", "the inner region needs an odd number of points, at least 3, for Simpson's rule (NA = " +
                   std::to_string(d.NA) + ")");
  }
  // Products and differences of counts in 64 bits: a count near the range
  // of int must be refused, not wrap round into an accepted one.
  const long long NA = d.NA, NB = d.NB;
  if (NA * (NA + 1) > kInnerTable) {
    fail("NA", "NA·(NA+1) = " + std::to_string(NA * (NA + 1)) + " exceeds the inner-region tables (" +
                   std::to_string(kInnerTable) + " values)");
  }
  if (NB - NA < 3 || (NB - NA) % 2 == 0) {
    fail("NB", "the outer region NB − NA needs an odd number of points, at least 3, for Simpson's rule (NB = " +
                   std::to_string(d.NB) + ", NA = " + std::to_string(d.NA) + ")");
  }
  if (d.NUVM < 1) fail("NUVM", "the most words the run may use must be positive");
  int mmax = 0;
  for (int i = 1; i <= d.NSH; ++i) {
    std::string s = "MLN(·," + std::to_string(i) + ")";
    if (d.M(i) < 0) fail(s, "the projection M must not be negative");
    if (d.L0(i) < d.M(i)) fail(s, "the first momentum L0 is below the projection M");
    if (d.n(i) < 1) fail(s, std::to_string(d.n(i)) + " partial waves; a shell takes at least 1");
    // The counts of the largest shell's work arrays, in 64 bits.
    const long long n = d.n(i), nan = NA * n;
    if (nan * nan + 2 * nan + nan * n + 7 * n * n > d.NUVM) {
      fail(s, std::to_string(n) + " partial waves: the inner system of the shell, (NA·n)² = " +
                  std::to_string(nan * nan) + " words, and its work arrays pass the " + std::to_string(d.NUVM) +
                  " words a run may use (NUVM); give fewer partial waves, or raise NUVM");
    }
    mmax = std::max(mmax, d.M(i));
  }
  // The workspace (its slices take so many words per point) grows past NUV
  // as the input asks, up to NUVM words.
  long long nks = 0, kma = 1;
  for (int i = 1; i <= d.NSH; ++i) nks += d.n(i), kma = std::max<long long>(kma, d.n(i));
  const long long per_point = partition(1, static_cast<int>(nks), static_cast<int>(kma))[7] - 1;
  if (NB > 0 && NB > d.NUVM / per_point) {
    fail("NB", std::to_string(NB) + " points take " + std::to_string(per_point) + " words each, more than the " +
                   std::to_string(d.NUVM) + " words a run may use (NUVM); give fewer points, or raise NUVM");
  }
  int MM = 2 * std::max(1, mmax) + 1;
  if (NA * MM > kInnerTable) {
    fail("NA", "NA·MM = " + std::to_string(NA * MM) + " exceeds the inner-region tables (" +
                   std::to_string(kInnerTable) + " values) for projections up to " + std::to_string(mmax));
  }
  if (!(d.RP[0] > 1.0) || !(d.RP[1] > d.RP[0])) {
    fail("RP", "the grid needs 1 < RP(1) < RP(2)");
  }
  if (!(d.EPS > 0.0)) fail("EPS", "the tolerance must be positive");
  if (d.MI[0] != 0) fail("MI", "MI(1) must be 0: the outer grid is built only then");
  if (d.EXACT != 0 && d.EXACT != 1) fail("EXACT", "0 (the program's constants) or 1 (exact constants)");
  if (d.ISRCH != 0 && d.ISRCH != 1) fail("ISRCH", "0 (superlinear energy search) or 1 (fixed steps and bisection)");
  if (d.IDIF != 0 && d.IDIF != 1) fail("IDIF", "0 (the outer recurrence as written) or 1 (its difference form)");
  if (d.IGRID != 0 && d.IGRID != 1) fail("IGRID", "0 (the outer points as written) or 1 (formed without cancellation)");
  if (d.IROT < 0 || d.IROT > 2) {
    fail("IROT",
         "0 (open-shell rotation by the model curvature), 1 (to the minimum of the term's energy) or 2 (one "
         "multiplier from the open shell's operator)");
  }
  // The switches that select something: a value outside their meaning would
  // silently select something else.
  if (d.MI[1] != 0 && d.MI[1] != 1) fail("MI(2)", "0 or 1 (normalise every updated shell)");
  if (d.MI[2] < 0 || d.MI[2] > 2) fail("MI(3)", "0, 1 (shell choice on the console) or 2 (the update mode)");
  if (d.MI[3] != 0 && d.MI[3] != 1) fail("MI(4)", "0 or 1 (Schmidt-orthogonalise against the shells of JOR)");
  if (!(std::fabs(d.RZ) > 0.0)) fail("RZ", "the internuclear distance must not be zero");
  // The orthogonalisation and the off-diagonal term combine the partial waves
  // of two shells one by one: only shells of one symmetry can be paired.
  for (int I = 1; I <= d.NSH; ++I) {
    for (int J = 1; J <= d.NSH; ++J) {
      const int jor = d.JOR[(I - 1) * d.NSH + (J - 1)];
      if (jor != 0 && jor != 1) {
        fail("JOR(" + std::to_string(J) + "," + std::to_string(I) + ")", "0 or 1 (" + std::to_string(jor) + ")");
      }
      if (J == I || jor != 1) continue;
      if (d.M(I) != d.M(J) || d.L0(I) != d.L0(J) || d.n(I) != d.n(J)) {
        fail("JOR(" + std::to_string(J) + "," + std::to_string(I) + ")",
             "pairs shells of different M, L0 or number of partial waves");
      }
    }
  }
  const std::string open = check_open_shell(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, open_shell(d));
  if (!open.empty()) io::stop("file '" + file + "', group &D00, variables " + open);
  // The rotation between the open shell and the closed shells of its
  // symmetry works on normalised orbitals.
  if (d.OPEN[0] != 0 && d.MI[1] != 1) fail("MI(2)", "an open shell (OPEN) needs MI(2) = 1 (normalised shells)");
}

OpenShell open_shell(const D00& d) { return OpenShell{d.OPEN[0], d.OPEN[1], io::trim_right(d.TERM)}; }

int factorials_needed(const D00& d, int* shell_i, int* shell_j) {
  // The angular coefficients of the shell equations read factorials up to
  // (L1 + L2 + L3 + 1)!, L3 including the η² step of 2.  The largest sum
  // comes from the highest multipole order of a pair of shells (two more
  // orders than partial waves) with the highest partial waves of both.
  int most = 0;
  const bool equal = std::fabs(d.Z1 - d.Z2) <= 1.0e-5 && std::fabs((d.Z2 - d.Z1) * d.RZ) <= 1.0e-5;
  const int s = equal ? 2 : 1;
  auto top = [&](int I) { return d.L0(I) + (d.n(I) - 1) * s; };
  for (int I = 1; I <= d.NSH; ++I) {
    for (int J = 1; J <= d.NSH; ++J) {
      const double a = d.AHF[(I - 1) * d.NSH + (J - 1)], b = d.BHF[(I - 1) * d.NSH + (J - 1)];
      const int orders = std::max(d.n(I), d.n(J)) + 2;
      int need = 0;
      if (std::fabs(a) >= 0.001) {
        const int lam = (orders - 1) * s;
        need = std::max(need, lam + 2 * std::max(top(I), top(J)) + 3);
      }
      if (std::fabs(b) >= 0.001) {
        // First multipole order of the two exchange components.
        const int DL = std::abs(d.L0(I) - d.L0(J)), Mp = d.M(I) + d.M(J);
        int start = std::abs(d.M(I) - d.M(J)) > DL ? DL + 2 : DL;
        if (d.M(I) > 0 && d.M(J) > 0) {
          int la = Mp > DL ? DL + 2 : DL;
          if (la < Mp) la += 2;
          start = std::max(start, la);
        }
        const int lam = start + (orders - 1) * s;
        need = std::max(need, lam + top(I) + top(J) + 3);
      }
      if (need > most) {
        most = need;
        if (shell_i != nullptr) *shell_i = I, *shell_j = J;
      }
    }
  }
  return most;
}

void check_momenta(const D00& d, const std::string& file) {
  // EXACT = 1 takes the coefficients beyond the table from quadrature.
  if (d.EXACT == 1) return;
  int I = 0, J = 0;
  const int need = factorials_needed(d, &I, &J);
  if (need > kFactorialTop) {
    io::stop("file '" + file + "', group &D00, variable MLN(·," + std::to_string(I) + "): with shell " +
             std::to_string(J) + " the angular coefficients need " + std::to_string(need) +
             "!, beyond the factorial table (98!); use fewer partial waves, or EXACT = 1");
  }
}

void check_restart_grid(const D00& restart, const D00& d, const std::string& file) {
  // The orbital block carries no grid: orbitals tabulated on another grid
  // would be read as values at the wrong points.
  if (restart.NA != d.NA || restart.NB != d.NB || restart.RP[0] != d.RP[0] || restart.RP[1] != d.RP[1]) {
    io::stop("file '" + file + "': the restart orbitals lie on the grid NA = " + std::to_string(restart.NA) +
             ", NB = " + std::to_string(restart.NB) + ", RP =" + io::lstring(restart.RP[0], restart.RP[1]) +
             "; the control file asks for NA = " + std::to_string(d.NA) + ", NB = " + std::to_string(d.NB) +
             ", RP =" + io::lstring(d.RP[0], d.RP[1]));
  }
}

void check_restart_molecule(const D00& restart, const D00& d, const std::string& file) {
  // Orbitals carried to another grid start the run only for the same
  // molecule and shells: each shell's waves are matched by position, the
  // momenta L0, L0 + s, … of the same M.
  auto fail = [&](const std::string& var, const std::string& was, const std::string& is) {
    io::stop("file '" + file + "', group &D00, variable " + var + ": the restart orbitals are of " + var + " = " + was +
             ", the control file asks for " + is +
             "; a restart on another grid (MI0 = 2) needs the same molecule and shells");
  };
  if (restart.Z1 != d.Z1) fail("Z1", io::lstring(restart.Z1), io::lstring(d.Z1));
  if (restart.Z2 != d.Z2) fail("Z2", io::lstring(restart.Z2), io::lstring(d.Z2));
  if (restart.RZ != d.RZ) fail("RZ", io::lstring(restart.RZ), io::lstring(d.RZ));
  if (restart.NSH != d.NSH) fail("NSH", std::to_string(restart.NSH), std::to_string(d.NSH));
  for (int I = 1; I <= d.NSH; ++I) {
    const std::string v = "MLN(·," + std::to_string(I) + ")";
    if (restart.M(I) != d.M(I)) fail(v, "M = " + std::to_string(restart.M(I)), "M = " + std::to_string(d.M(I)));
    if (restart.L0(I) != d.L0(I)) fail(v, "L0 = " + std::to_string(restart.L0(I)), "L0 = " + std::to_string(d.L0(I)));
  }
}

void start_from_other_grid(const D00& restart, const D00& d, lib::CIVec LK, lib::Vec E, lib::Vec CN, lib::Mat X,
                           io::Unit& file) {
  const int NSH = d.NSH;
  std::array<int, kMaxShells + 1> LK1{};
  std::array<int, kMaxShells> NW{};
  LK1[0] = 1;
  for (int I = 1; I <= NSH; ++I) {
    NW[static_cast<size_t>(I - 1)] = restart.n(I);
    LK1[static_cast<size_t>(I)] = LK1[static_cast<size_t>(I - 1)] + restart.n(I);
  }
  const int NB1 = restart.NB;
  std::vector<double> words(static_cast<std::size_t>(NB1) * static_cast<std::size_t>(LK1[NSH] - 1));
  lib::Mat X1(words.data(), NB1, LK1[NSH] - 1);
  lib::read_orbital_block(NB1, lib::CIVec(LK1.data(), NSH), E, CN, X1, file, lib::CIVec(NW.data(), NSH));
  const GridPoints from = grid_points(restart.NA, restart.NB, restart.RP[0], restart.RP[1], restart.IGRID);
  const GridPoints to = grid_points(d.NA, d.NB, d.RP[0], d.RP[1], d.IGRID);
  for (int I = 1; I <= NSH; ++I) {
    for (int k = 1; k <= d.n(I); ++k) {
      lib::Vec col = X.col(LK(I) + k - 1);
      if (k <= restart.n(I)) {
        REGRID(d.M(I), from, X1.col(LK1[static_cast<size_t>(I - 1)] + k - 1), to, col);
      } else {
        lib::fill(d.NB, 0.0, col);
      }
    }
  }
}

void DHS_00(long NUV, lib::Workspace& V, io::Units& units) {
  // 1. Title lines.
  Velor velor;
  {
    io::Unit& u9 = units.open_old(9, "Velor.prt");
    velor.group().read(u9);
    units.close(9);
  }
  io::Unit& u3 = units(3);
  // 2. Restart switch.
  D00I d00i;
  d00i.group().read(u3);
  if (d00i.MI0 < 0 || d00i.MI0 > 2) {
    io::stop("file '" + u3.name() +
             "', group &D00I, variable MI0: 0 (no restart), 1 (restart from FI0) or 2 (from "
             "FI0 on another grid), not " +
             std::to_string(d00i.MI0));
  }
  // 3. The group of the restart file, then 4. the control file's own values.
  D00 d;
  D00 restart;
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
  // An open shell: the coefficients are those of its term.
  Coupling coupling;
  if (d.OPEN[0] != 0) {
    coupling = couple(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, open_shell(d));
    std::copy(coupling.AHF.begin(), coupling.AHF.end(), d.AHF.begin());
    std::copy(coupling.BHF.begin(), coupling.BHF.end(), d.BHF.begin());
  }

  // 6. Shell bookkeeping.
  const int NSH = d.NSH;
  int MM = 1, KMA = 1;
  std::array<int, kMaxShells + 1> LK{};
  LK[0] = 1;
  for (int I = 1; I <= NSH; ++I) {
    MM = std::max(MM, d.M(I));
    KMA = std::max(KMA, d.n(I));
    io::console().line(io::lstring(" I, MLN =", I, KMA, d.M(I), d.L0(I), d.n(I)));
    LK[I] = LK[I - 1] + d.n(I);
  }
  MM = 2 * MM + 1;

  // 7. The ends of the two grid regions.
  const int NA = d.NA, NB = d.NB;
  const int NKS = LK[NSH] - 1;

  // 8-10. Partition and its check.  A demand above NUV gets a workspace of
  // its own, up to NUVM words.
  std::array<long, 8> K = partition(NB, NKS, KMA);
  io::console().line(io::lstring(K[7], NUV, KMA));
  io::console().line(io::lstring(" KMA, K =", KMA, K));
  std::unique_ptr<lib::Workspace> larger;
  if (NUV < K[7]) {
    if (K[7] > d.NUVM) {
      io::console().line("workspace of " + std::to_string(K[7]) + " words needed, at most " + std::to_string(d.NUVM));
      io::stop(" GIVE ME MEMORY");
    }
    larger = std::make_unique<lib::Workspace>(K[7]);
  }
  lib::Workspace& W = larger ? *larger : V;
  W(NA) = d.RP[0];
  W(NB) = d.RP[1];
  check_momenta(d, u3.name());

  // Inner-region tables and work arrays of the radial solvers.
  std::array<double, 16> E{}, CN{};
  std::vector<double> AA(kInnerTable), BB(kInnerTable), UU(kInnerTable), VV(kInnerTable);
  std::vector<double> WW(8550), WC(static_cast<std::size_t>(inner_work_words(NA, KMA))),
      CX(static_cast<std::size_t>(inner_system_words(NA, KMA)));
  lib::Mat X = W.matrix(K[1], NB, NKS);

  // 11. Starting orbitals of a restart.
  if (d00i.MI0 == 1) {
    std::array<int, kMaxShells> NW{};
    for (int I = 1; I <= NSH; ++I) NW[static_cast<size_t>(I - 1)] = d.n(I);
    lib::read_orbital_block(NB, lib::CIVec(LK.data(), NSH), lib::Vec(E.data(), NSH), lib::Vec(CN.data(), NSH), X,
                            units(9), lib::CIVec(NW.data(), NSH));
  }
  // Starting orbitals of a restart on another grid: carried to this grid.
  if (d00i.MI0 == 2) {
    start_from_other_grid(restart, d, lib::CIVec(LK.data(), NSH), lib::Vec(E.data(), NSH), lib::Vec(CN.data(), NSH), X,
                          units(9));
  }
  // 12. Whether starting orbitals were read.
  d.MI[4] = d00i.MI0 == 0 ? 0 : 1;

  // 5. Listing and result files, created once every input has been
  // checked; the result file starts with the group.
  io::Units::require_new({{10, io::trim_right(d.FIL)}, {11, io::trim_right(d.FIR)}});
  io::Unit& listing = units.open_new(10, io::trim_right(d.FIL));
  io::Unit& result = units.open_new(11, io::trim_right(d.FIR));
  d.group(true).write(result);

  // 13. The self-consistent driver.
  const int xe_cols = static_cast<int>((K[7] - K[6]) / NB);
  DMS_00_1(NSH, NA, NB, MM, d.IOS, lib::CIMat(d.MLN.data(), 3, NSH), lib::CIVec(LK.data(), NSH + 1),
           lib::CIMat(d.JOR.data(), NSH, NSH), lib::IVec(d.MI.data(), 7), d.Z1, d.Z2, d.RZ, d.EPS, d.FCC,
           lib::CVec(d.RP.data(), 10), lib::CMat(d.AHF.data(), NSH, NSH), lib::CMat(d.BHF.data(), NSH, NSH),
           lib::Mat(AA.data(), NA, MM), lib::Mat(BB.data(), NA, MM), lib::Mat(UU.data(), NA, NA + 1),
           lib::Mat(VV.data(), NA, MM), lib::Mat(WW.data(), NA, NA), lib::Vec(E.data(), 16), lib::Vec(CN.data(), 16),
           lib::Vec(WC.data(), static_cast<int>(WC.size())), lib::Vec(CX.data(), static_cast<int>(CX.size())),
           velor.PRT, W.matrix(K[0], NB, 7), X, W.slice(K[2], K[3] - K[2]), W.slice(K[3], K[4] - K[3]),
           W.matrix(K[4], NB, static_cast<int>((K[5] - K[4]) / NB)), W.matrix(K[5], NB, 2 * KMA),
           W.matrix(K[6], NB, xe_cols), listing, result,
           RunOptions{d.EXACT, d.ISRCH, d.EXACT == 1 && factorials_needed(d) > kFactorialTop,
                      d.OPEN[0] != 0 ? &coupling : nullptr, d.IDIF, d.IGRID, d.IROT, d00i.MI0 == 2});
}

}  // namespace scf

#include "scf/input_checks.hpp"

#include <algorithm>
#include <cmath>

#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "scf/sizes.hpp"
#include "scf/terms.hpp"

namespace scf {

namespace {

// Stops naming the file, group &D00 and the variable.
struct Fail {
  const std::string& file;
  [[noreturn]] void operator()(const std::string& var, const std::string& why) const {
    io::stop("file '" + file + "', group &D00, variable " + var + ": " + why);
  }
};

// The counts: shells, grid points, partial waves, and the words their
// arrays and the workspace take against NUVM.  Products and differences of
// counts in 64 bits: a count near the range of int must be refused, not
// wrap round into an accepted one.
void check_counts(const ControlGroup& d, const Fail& fail) {
  if (d.NSH < 1 || d.NSH > kMaxShells) {
    fail("NSH", std::to_string(d.NSH) + " shells; the program takes 1 to " + std::to_string(kMaxShells));
  }
  if (d.NA < 3 || d.NA % 2 == 0) {
    fail("NA", "the inner region needs an odd number of points, at least 3, for Simpson's rule (NA = " +
                   std::to_string(d.NA) + ")");
  }
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
}

// Each shell's descriptor and the inner system of its partial waves; the
// workspace for NB points; the inner tables for the largest projection.
void check_shells(const ControlGroup& d, const Fail& fail) {
  const long long NA = d.NA, NB = d.NB;
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
}

// The grid, the tolerance, and the switches that select something: a value
// outside their meaning would silently select something else.
void check_switches(const ControlGroup& d, const Fail& fail) {
  if (!(d.RP[0] > 1.0) || !(d.RP[1] > d.RP[0])) {
    fail("RP", "the grid needs 1 < RP(1) < RP(2)");
  }
  if (!(d.EPS > 0.0)) fail("EPS", "the tolerance must be positive");
  if (d.MI[0] != 0) fail("MI", "MI(1) must be 0: the outer grid is built only then");
  if (d.EXACT != 0 && d.EXACT != 1) fail("EXACT", "0 (the program's constants) or 1 (exact constants)");
  if (d.ISRCH != 0 && d.ISRCH != 1) fail("ISRCH", "0 (superlinear energy search) or 1 (fixed steps and bisection)");
  if (d.IDIF != 0 && d.IDIF != 1) fail("IDIF", "0 (the outer recurrence as written) or 1 (its difference form)");
  if (d.IGRID < 0 || d.IGRID > 2)
    fail("IGRID", "0 (the outer points as written), 1 (formed without cancellation) or 2 (graded towards the axis)");
  if (d.IROT < 0 || d.IROT > 2) {
    fail("IROT",
         "0 (open-shell rotation by the model curvature), 1 (to the minimum of the term's energy) or 2 (one "
         "multiplier from the open shell's operator)");
  }
  if (d.IPROJ != 0 && d.IPROJ != 1) {
    fail("IPROJ", "0 (closed shells kept orthogonal after their solves) or 1 (inside them, the projected solve)");
  }
  if (d.IBLAS != 0 && d.IBLAS != 1) {
    fail("IBLAS", "0 (the dense algebra of the shell equations as written) or 1 (by BLAS and LAPACK)");
  }
  if (d.MI[1] != 0 && d.MI[1] != 1) fail("MI(2)", "0 or 1 (normalise every updated shell)");
  if (d.MI[2] < 0 || d.MI[2] > 2) fail("MI(3)", "0, 1 (shell choice on the console) or 2 (the update mode)");
  if (d.MI[3] != 0 && d.MI[3] != 1) fail("MI(4)", "0 or 1 (Schmidt-orthogonalise against the shells of JOR)");
  if (!(std::fabs(d.RZ) > 0.0)) fail("RZ", "the internuclear distance must not be zero");
}

// The orthogonalisation and the off-diagonal term combine the partial waves
// of two shells one by one: only shells of one symmetry can be paired.
void check_orthogonality_table(const ControlGroup& d, const Fail& fail) {
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
}

}  // namespace

void check_limits(const ControlGroup& d, const std::string& file) {
  const Fail fail{file};
  check_counts(d, fail);
  check_shells(d, fail);
  check_switches(d, fail);
  check_orthogonality_table(d, fail);
  const std::string open = check_open_shell(lib::CIMat(d.MLN.data(), 3, d.NSH), d.NSH, open_shell(d));
  if (!open.empty()) io::stop("file '" + file + "', group &D00, variables " + open);
  // The rotation between the open shell and the closed shells of its
  // symmetry works on normalised orbitals.
  if (d.OPEN[0] != 0 && d.MI[1] != 1) fail("MI(2)", "an open shell (OPEN) needs MI(2) = 1 (normalised shells)");
}

int factorials_needed(const ControlGroup& d, int* shell_i, int* shell_j) {
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

void check_momenta(const ControlGroup& d, const std::string& file) {
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

void check_restart_grid(const ControlGroup& restart, const ControlGroup& d, const std::string& file) {
  // The orbital block carries no grid: orbitals tabulated on another grid
  // would be read as values at the wrong points.
  if (restart.NA != d.NA || restart.NB != d.NB || restart.RP[0] != d.RP[0] || restart.RP[1] != d.RP[1]) {
    io::stop("file '" + file + "': the restart orbitals lie on the grid NA = " + std::to_string(restart.NA) +
             ", NB = " + std::to_string(restart.NB) + ", RP =" + io::lstring(restart.RP[0], restart.RP[1]) +
             "; the control file asks for NA = " + std::to_string(d.NA) + ", NB = " + std::to_string(d.NB) +
             ", RP =" + io::lstring(d.RP[0], d.RP[1]));
  }
  // The graded map (IGRID = 2) puts the same NB points elsewhere.
  if ((restart.IGRID == 2) != (d.IGRID == 2)) {
    io::stop("file '" + file + "': the restart orbitals lie on the outer points of IGRID = " +
             std::to_string(restart.IGRID) + "; the control file asks for IGRID = " + std::to_string(d.IGRID) +
             " (carry them to its points with MI0 = 2)");
  }
}

void check_restart_molecule(const ControlGroup& restart, const ControlGroup& d, const std::string& file) {
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

}  // namespace scf

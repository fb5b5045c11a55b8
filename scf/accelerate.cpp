#include "scf/accelerate.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/energy_search.hpp"
#include "scf/operator_energies.hpp"
#include "scf/overlap.hpp"
#include "scf/run_settings.hpp"
#include "scf/terms.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scf {

// The orbitals of all shells as one vector (the driver's X, column by column).
std::vector<double> all_orbitals(const Shells& s) {
  const lib::CVec x = s.X.flat();
  return std::vector<double>(x.begin(), x.end());
}

namespace {

// The η² matrix ⟨L_p M|η²|L_q M⟩ of a shell, as the equations use it.
void eta2_matrix(const RunTables& t, const Shells& s, int J, lib::Fac F, lib::Mat TT) {
  const int n = s.n(J), M = s.M(J), step = t.ISYM == 2 ? 1 : 2;
  lib::fill(n * n, 0.0, TT.flat());
  for (int p = 1; p <= n; ++p) {
    const int L = s.L0(J) + (p - 1) * t.ISYM;
    TT(p, p) = eta2_diagonal(L, M, F, t.EXACT);
    if (p + step <= n) TT(p, p + step) = TT(p + step, p) = eta2_next(L, M, F, t.EXACT);
  }
}

// Turns back every shell whose orbital changed sign in the sweep that
// started from x_in (the sign of an orbital is free; the extrapolation and
// the damping combine orbitals of one sign).
void align_signs(const RunTables& t, const Shells& s, const std::vector<double>& x_in) {
  for (int J = 1; J <= s.NSH; ++J) {
    const lib::Mat XJ = s.waves(J);
    const long first = static_cast<long>(s.LK(J) - 1) * t.NB, len = static_cast<long>(s.n(J)) * t.NB;
    double ov = 0.0;
    for (long i = 0; i < len; ++i) ov += XJ.flat()(static_cast<int>(i) + 1) * x_in[first + i];
    if (ov < 0.0) lib::scale(static_cast<int>(len), -1.0, XJ.flat());
  }
}

// Each shell's norm stored again after its orbital was replaced, and the
// orbital normalised to 1 under MI(2) = 1.
void renormalise(const RunTables& t, const Shells& s, lib::CIVec MI, UpdateState& st, const UpdateSlices& w) {
  int nmax = 1;
  for (int J = 1; J <= s.NSH; ++J) nmax = std::max(nmax, s.n(J));
  std::vector<double> tt(static_cast<std::size_t>(nmax) * nmax);
  for (int J = 1; J <= s.NSH; ++J) {
    const int n = s.n(J);
    const lib::Mat TT(tt.data(), n, n), XJ = s.waves(J);
    eta2_matrix(t, s, J, st.fac(), TT);
    const double C = shell_overlap(t.overlap_grid(), TT, XJ, XJ, w.WK.col(1), w.WK.col(2));
    s.CN(J) = C;
    if (MI(2) == 1 && C > 0.0) {
      lib::scale(t.NB * n, 1.0 / std::sqrt(C), XJ.flat());
      s.CN(J) = 1.0;
    }
  }
}

}  // namespace

// Sweep acceleration between two sweeps: records the sweep that started from
// x_in and, unless the last extrapolation made the energies move ten times
// more than the sweep before it, replaces the orbitals by the DIIS extrapolation, each
// shell renormalised (to 1 under MI(2) = 1) and its norm stored.  A shell
// whose sign flipped in the sweep is turned back first.  Returns whether the
// orbitals were replaced.
bool accelerate_sweep(const SweepContext& c, const std::vector<double>& x_in, bool misbehaved, SweepDiis& diis) {
  const RunTables& t = c.t;
  const Shells& s = c.s;
  if (misbehaved) {
    diis.reset();
    io::console().line(" extrapolation dropped: the energies moved ten times more than before");
    return false;
  }
  align_signs(t, s, x_in);
  std::vector<double> next;
  if (!diis.extrapolate(x_in, all_orbitals(s), next)) return false;
  const lib::Vec X = s.X.flat();
  for (int i = 1; i <= X.size(); ++i) X(i) = next[i - 1];
  renormalise(t, s, c.run.MI, c.st, c.w);
  io::console().line(io::lstring(" orbitals extrapolated from", diis.size(), " sweeps"));
  return true;
}

// Rotation of the orbitals of each symmetry among themselves to the
// eigenvectors of their operator in the space they span.  The energy of
// closed shells does not change when orbitals of one symmetry mix, so the
// sweeps fix that mixing only through the small off-diagonal elements
// ⟨φ_I|F|φ_J⟩: near self-consistency nine tenths of a valence shell's change
// in a sweep lies in the span of the other shells of its symmetry (CO: 4σ,
// 5σ), and it decays slowly.  At self-consistency the orbitals are
// eigenfunctions of F, so the rotation leaves that point where it is.  The
// operators of closed shells are one operator; with other coefficients the
// shells see different ones and nothing is rotated, except that with one
// open shell (OPEN) the closed shells are rotated among themselves.  Shells of a symmetry
// are listed by increasing energy, so the eigenvectors go to them in that
// order; each shell gets its eigenvalue as the start of its next search.
bool canonicalise(const SweepContext& c) {
  const RunTables& t = c.t;
  const Shells& s = c.s;
  const UpdateSlices& w = c.w;
  std::array<bool, 16> done{};
  // With one open shell the closed shells still share one operator: they
  // are rotated among themselves, the open shell is left to its own step.
  const int open = c.st.open != nullptr ? c.st.open->open.shell : 0;
  if (open != 0) done[open - 1] = true;
  for (int J0 = 1; J0 <= s.NSH; ++J0) {
    if (done[J0 - 1] || s.CN(J0) == 0.0) continue;
    std::array<int, 16> g{};
    int k = 0;
    for (int J = J0; J <= s.NSH; ++J)
      if (!done[J - 1] && s.M(J) == s.M(J0) && s.L0(J) == s.L0(J0) && s.n(J) == s.n(J0) && s.CN(J) != 0.0) {
        done[J - 1] = true;
        g[k++] = J;
      }
    if (k < 2) continue;
    const int n = s.n(J0), NB = t.NB;
    const ShellWork sw = w.of(n, NB);
    std::array<double, 256> A{}, B{}, lam{};
    for (int b = 0; b < k; ++b) {
      const OperatorElements e = operator_elements(t, s, g[b], c.run.coef, c.st, sw, std::span<const int>(g.data(), k));
      for (int a = 0; a < k; ++a) {
        A[a + 16 * b] = e.F[a];
        B[a + 16 * b] = e.S[a];
      }
    }
    for (int a = 0; a < k; ++a)
      for (int b = a + 1; b < k; ++b) {
        A[a + 16 * b] = A[b + 16 * a] = 0.5 * (A[a + 16 * b] + A[b + 16 * a]);
        B[a + 16 * b] = B[b + 16 * a] = 0.5 * (B[a + 16 * b] + B[b + 16 * a]);
      }
    const int one = 1, lda = 16, lwork = 256;
    std::array<double, 256> work{};
    int info = 0;
    // On one BLAS thread: the threaded library takes its sums in another
    // order, and the rotation must not depend on the number of threads.
    const int blas_threads = lib::set_blas_threads(1);
    dsygv_(&one, "V", "U", &k, A.data(), &lda, B.data(), &lda, lam.data(), work.data(), &lwork, &info, 1, 1);
    if (blas_threads > 0) lib::set_blas_threads(blas_threads);
    if (info != 0) continue;
    // (With an open shell the closed shells' energies carry the multipliers
    // of the coupling and need not be the eigenvalues: not judged.)
    for (int b = 0; b < k && c.closed; ++b) {
      if (std::fabs(lam[b] - s.E(g[b])) > kRoughSweep * std::fabs(s.E(g[b]))) {
        io::console().line(
            io::lstring(" orbitals not rotated: shell", g[b], " has eigenvalue", lam[b], " at energy", s.E(g[b])));
        return false;
      }
    }
    // New orbital of the b-th shell: Σ_a U(a,b) φ_a.
    const long len = static_cast<long>(n) * NB;
    std::vector<double> old(static_cast<size_t>(k * len));
    for (int a = 0; a < k; ++a) {
      const lib::CVec x = s.waves(g[a]).flat();
      for (long i = 0; i < len; ++i) old[a * len + i] = x(static_cast<int>(i) + 1);
    }
    for (int b = 0; b < k; ++b) {
      const lib::Vec x = s.waves(g[b]).flat();
      for (long i = 0; i < len; ++i) {
        double v = 0.0;
        for (int a = 0; a < k; ++a) v += A[a + 16 * b] * old[a * len + i];
        x(static_cast<int>(i) + 1) = v;
      }
      s.E(g[b]) = lam[b];
    }
    // Normalised at once: the next symmetry's operator is built from them.
    renormalise(t, s, c.run.MI, c.st, w);
    io::console().line(io::lstring(" orbitals of M =", s.M(J0), ", L0 =", s.L0(J0), " rotated among", k, " shells"));
  }
  return true;
}

// Damped sweep of the rough start: the next start is x_in + β·(x_out − x_in),
// each shell renormalised.  While the energies still move by hartrees, the
// full step of a heteronuclear molecule overshoots: charge swings between
// the centres from sweep to sweep (CO: the O 1s and C 1s energies by 0.5
// hartree a sweep, 5σ between the branch of 4σ and its own).
void damp_sweep(const SweepContext& c, const std::vector<double>& x_in, double beta) {
  const Shells& s = c.s;
  align_signs(c.t, s, x_in);
  const lib::Vec X = s.X.flat();
  for (int i = 1; i <= X.size(); ++i) X(i) = x_in[i - 1] + beta * (X(i) - x_in[i - 1]);
  renormalise(c.t, s, c.run.MI, c.st, c.w);
  io::console().line(io::lstring(" orbitals damped by", beta));
}

}  // namespace scf

// Time of one RPA solve per photoelectron energy, both ways, on the same
// system: the written path (the complex inverse (A + iE·B)⁻¹ = R − iS
// from two real inversions, then the amplitudes as rows of it) and the
// factored solve (one real LU from LAPACK, NB + 2 solves and the
// complex system of the on-shell rows), at N0 = 500, 1000, 1500 and 2500,
// with the largest relative difference of the amplitudes and the ratio of
// the times.  The factored solve also runs two energies at once on two
// threads (one BLAS thread each, as xsect does); its time per energy is the
// last column.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "lib/lapack.hpp"
#include "photo/kernels/linear_solver.hpp"
#include "photo/kernels/rpa_solve.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Three on-shell rows per continuum function of the open channels.
constexpr int kOnShell = 30;
constexpr int kNL = 5;

// One RPA system with a weak random interaction, the weights and on-shell
// rows of one energy, and the Hartree–Fock amplitudes.
struct System {
  int n;
  std::vector<double> CLB, C, CB, DHR, DHV;
  std::vector<int> IB;
  System(int order, std::mt19937& rng) : n(order) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    CLB.resize(static_cast<size_t>(n) * n);
    for (auto& x : CLB) x = u(rng) / n;
    C.resize(n), CB.resize(kOnShell), DHR.resize(n), DHV.resize(n), IB.resize(kOnShell);
    for (auto& x : C) x = u(rng);
    for (auto& x : CB) x = u(rng);
    for (auto& x : DHR) x = u(rng);
    for (auto& x : DHV) x = u(rng);
    for (int j = 0; j < kOnShell; ++j) IB[j] = 1 + (j * 37) % n;
  }
};

struct Amplitudes {
  std::vector<double> v = std::vector<double>(4 * kNL);
  lib::Vec part(int k) { return lib::Vec(v.data() + k * kNL, kNL); }
  photo::RpaAmplitudes views() { return {part(0), part(1), part(2), part(3)}; }
};

// The system of one energy, the amplitudes wanted at N0/4.
photo::RpaSystem rpa_system(const System& s) {
  const int n = s.n;
  return {n,
          kOnShell,
          kNL,
          n / 4,
          lib::CIVec(s.IB.data(), kOnShell),
          lib::CVec(s.C.data(), n),
          lib::CMat(s.CLB.data(), n, n),
          lib::CVec(s.CB.data(), kOnShell),
          lib::CVec(s.DHR.data(), n),
          lib::CVec(s.DHV.data(), n)};
}

double time_written(const System& s, Amplitudes& a, photo::LuRowScales& T) {
  const int n = s.n, nb = kOnShell;
  std::vector<double> A(static_cast<size_t>(n) * n), R(A.size()), S(A.size());
  std::vector<double> B(static_cast<size_t>(nb) * n), B1(B.size()), B2(B.size()), W(n);
  std::vector<int> IND(n);
  const auto t0 = Clock::now();
  photo::rpa_amplitudes_by_inverse(
      rpa_system(s),
      photo::RpaInverseWork{lib::IVec(IND.data(), n), lib::Mat(A.data(), n, n), lib::Mat(B.data(), nb, n),
                            lib::Mat(R.data(), n, n), lib::Mat(S.data(), n, n), lib::Vec(W.data(), n),
                            lib::Mat(B1.data(), nb, n), lib::Mat(B2.data(), nb, n)},
      T, a.views());
  return seconds_since(t0);
}

void solve_factored(const System& s, Amplitudes& a, photo::RpaFactorWork& W) {
  photo::rpa_amplitudes_factored(rpa_system(s), W, a.views());
}

}  // namespace

int main() {
  std::mt19937 rng(2024);
  lib::set_blas_threads(1);
  std::printf(" RPA solve per energy, %d on-shell rows; written: complex inverse (ILIN = 1),\n", kOnShell);
  std::printf(" factored: one real LU + on-shell system (ILIN = 0), one thread and two energies on two threads\n");
  std::printf("   N0    written (s)   factored (s)   ratio   max rel diff   two threads (s/energy)   ratio\n");
  for (int n : {500, 1000, 1500, 2500}) {
    const System s(n, rng);
    photo::LuRowScales T;
    T.VV.assign(static_cast<size_t>(n), 0.0);
    Amplitudes ref, fast;
    const double tw = time_written(s, ref, T);
    std::vector<photo::RpaFactorWork> W(2);
    for (auto& w : W) w.size_for(n, kOnShell);
    auto t0 = Clock::now();
    solve_factored(s, fast, W[0]);
    const double tf = seconds_since(t0);
    double big = 0, diff = 0;
    for (size_t k = 0; k < ref.v.size(); ++k) {
      big = std::max(big, std::fabs(ref.v[k]));
      diff = std::max(diff, std::fabs(ref.v[k] - fast.v[k]));
    }
    Amplitudes a2[2];
    t0 = Clock::now();
#pragma omp parallel for num_threads(2) schedule(static, 1)
    for (int e = 0; e < 2; ++e) solve_factored(s, a2[e], W[static_cast<size_t>(omp_get_thread_num())]);
    const double t2 = seconds_since(t0) / 2.0;
    std::printf(" %5d   %10.3f   %11.4f   %6.1f   %11.1e   %18.4f   %10.1f\n", n, tw, tf, tw / tf, diff / big, t2,
                tw / t2);
    std::fflush(stdout);
  }
  return 0;
}

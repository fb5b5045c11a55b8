// Time of the RPA pencil's reduction, whole (xsect ILIN = 2) and folded over
// the forward–backward pairs (ILIN = 3), and of one energy's solve by each,
// on the same system of order N0 = 2000, 4000 and 6000: a channel of
// N0/2 functions (Simpson weights over a momentum grid, forward and
// backward) with a weak random interaction of the RPA's structure, solved at
// a photon energy on a node (three pole rows, three on-shell rows).  Prints
// the times, their ratios and the largest difference of the amplitudes
// relative to their size.  The reduction is what grows as N0³: the whole
// pencil's Hessenberg reduction spends most of it in memory-bound
// matrix–vector products, which the fold's half order cuts eightfold.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <vector>

#include "lib/lapack.hpp"
#include "photo/kernels/rpa_pencil.hpp"
#include "photo/kernels/rpa_solve.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

constexpr int kNL = 1;

struct System {
  int n = 0, half = 0;
  double om = 0.0;
  std::vector<double> U, C, CB, DHR, DHV, Lambda, W;
  std::vector<int> IB;
};

// One channel of `half` momentum nodes p = 0.1 + 0.01·j above a threshold of
// 0.6 hartree; the photon energy lies on node half/2 (shifted by 1e-6).
System make_system(int n, std::mt19937& rng) {
  System s;
  s.n = n, s.half = n / 2;
  const double dp = 0.01, eg = -0.6;
  s.Lambda.assign(n, 0.0), s.W.assign(n, 0.0), s.C.assign(n, 0.0);
  for (int j = 1; j <= s.half; ++j) {
    const double p = 0.1 + dp * (j - 1);
    const double w = (j == 1 || j == s.half) ? dp / 3 : (j % 2 == 0 ? 4 * dp / 3 : 2 * dp / 3);
    s.Lambda[j - 1] = p * p / 2 - eg, s.W[j - 1] = w * p;
    s.Lambda[s.half + j - 1] = -s.Lambda[j - 1], s.W[s.half + j - 1] = -s.W[j - 1];
  }
  const int node = s.half / 2;
  const double k = 0.1 + dp * (node - 1) + 1e-6;
  s.om = k * k / 2 - eg;
  // Weights: the pencil away from the three pole nodes, whose rows depart.
  for (int i = 0; i < n; ++i) s.C[i] = s.W[i] / (s.Lambda[i] - s.om);
  for (int j : {node - 1, node, node + 1}) s.C[j - 1] = 0.5 * s.W[j - 1];
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  s.U.assign(static_cast<size_t>(n) * n, 0.0);
  auto at = [&](int r, int c) -> double& { return s.U[static_cast<size_t>(r) + static_cast<size_t>(c) * n]; };
  for (int i = 0; i < s.half; ++i) {
    for (int j = i; j < s.half; ++j) {
      const double a = 0.2 * u(rng), b = 0.2 * u(rng);
      at(i, j) = at(j, i) = at(s.half + i, s.half + j) = at(s.half + j, s.half + i) = a;
      at(i, s.half + j) = at(s.half + j, i) = at(s.half + i, j) = at(j, s.half + i) = b;
    }
  }
  s.IB = {node - 1, node, node + 1};
  s.CB = {0.3, 0.4, 0.3};
  s.DHR.resize(n), s.DHV.resize(n);
  for (auto& x : s.DHR) x = u(rng);
  for (auto& x : s.DHV) x = u(rng);
  return s;
}

struct Solved {
  double reduce = 0.0, energy = 0.0, residual = 0.0;
  std::vector<std::complex<double>> length;
};

Solved solve(const System& s, bool fold) {
  photo::RpaPencil p;
  p.n = s.n;
  p.Lambda = s.Lambda, p.W = s.W, p.fold = fold;
  for (int j = 0; j < s.half; ++j) p.forward.push_back(j), p.backward.push_back(s.half + j);
  const lib::CMat U(s.U.data(), s.n, s.n);
  Solved out;
  auto t0 = Clock::now();
  p.reduce(U, lib::CVec(s.DHR.data(), s.n), lib::CVec(s.DHV.data(), s.n));
  out.reduce = seconds_since(t0);
  photo::RpaPencilWork w;
  w.size_for(s.n, 3, 6);
  std::vector<double> a(4 * kNL);
  const photo::RpaAmplitudes D{lib::Vec(a.data(), kNL), lib::Vec(a.data() + kNL, kNL), lib::Vec(a.data() + 2 * kNL, kNL),
                               lib::Vec(a.data() + 3 * kNL, kNL)};
  const photo::RpaSystem sys{s.n,
                             3,
                             kNL,
                             s.half / 2,
                             lib::CIVec(s.IB.data(), 3),
                             lib::CVec(s.C.data(), s.n),
                             U,
                             lib::CVec(s.CB.data(), 3),
                             lib::CVec(s.DHR.data(), s.n),
                             lib::CVec(s.DHV.data(), s.n)};
  photo::RpaSolution all;
  t0 = Clock::now();
  photo::rpa_amplitudes_pencil(sys, s.om, p, w, D, all);
  out.energy = seconds_since(t0);
  out.residual = w.residual;
  out.length = all.length;
  return out;
}

}  // namespace

int main() {
  std::mt19937 rng(2026);
  std::printf(" RPA pencil: reduction and one energy, whole (ILIN = 2) and folded (ILIN = 3), on the BLAS's threads\n");
  std::printf("   N0   reduce whole (s)   folded (s)   ratio   energy whole (s)   folded (s)   max rel diff   residuals\n");
  for (int n : {2000, 4000, 6000}) {
    const System s = make_system(n, rng);
    const Solved whole = solve(s, false), folded = solve(s, true);
    double big = 0.0, diff = 0.0;
    for (size_t i = 0; i < whole.length.size(); ++i) {
      big = std::max(big, std::abs(whole.length[i]));
      diff = std::max(diff, std::abs(whole.length[i] - folded.length[i]));
    }
    std::printf(" %5d   %14.2f   %10.2f   %5.1f   %16.3f   %10.3f   %12.1e   %.1e %.1e\n", n, whole.reduce,
                folded.reduce, whole.reduce / folded.reduce, whole.energy, folded.energy, diff / big, whole.residual,
                folded.residual);
    std::fflush(stdout);
  }
  return 0;
}

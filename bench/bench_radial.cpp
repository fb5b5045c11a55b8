// Timings of the radial solver and of the multipole potentials on realistic
// two-region grids (five inner points, a few hundred outer points uniform in
// x = ξ − 10/(ξ − 0.9)).  Prints the time per solve_radial_equation solve and per exchange_potential_waves call.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "lib/angular_coefficients.hpp"
#include "lib/multipole_potentials.hpp"
#include "support/solver_grid.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Repeats `body` until at least 0.3 s have passed; returns seconds per call.
template <class F>
double time_per_call(F&& body) {
  int n = 1;
  for (;;) {
    const auto t0 = Clock::now();
    for (int k = 0; k < n; ++k) body();
    const double t = seconds_since(t0);
    if (t > 0.3) return t / n;
    n *= 2;
  }
}

double bench_rdeq(const testgrid::Grid& G, double& checksum) {
  const int NB = G.NB, lam = 2, m = 1;
  std::vector<double> P(NB), Q(NB);
  for (int i = 1; i <= NB; ++i) {
    const double xi = G.xi(i);
    P[i - 1] = G.P(i, lam, m);
    Q[i - 1] = G.Q(i, -std::sqrt(xi * xi - 1) * std::exp(-2 * xi) * (xi * xi - 0.2));
  }
  testgrid::SolveWork w(G.NA, NB);
  const double B[] = {1.0, -0.98, 0.0, 0.0};
  const double t = time_per_call([&] {
    testgrid::solve(G, m, 1, B, P, Q, w);
    checksum += w.x[NB / 2];
  });
  return t;
}

// A continuum-like function (n2 waves) against a bound orbital (n1 waves):
// the exchange-type interaction of the photoionisation RPA matrix.
double bench_cuif(const testgrid::Grid& G, int n1, int n2, double& checksum) {
  const int NA = G.NA, NB = G.NB, KD = 2;
  std::vector<double> xb(NB * n1), xc(NB * n2);
  for (int k = 0; k < n1; ++k)
    for (int i = 1; i <= NB; ++i) xb[k * NB + i - 1] = std::exp(-1.2 * G.xi(i)) / (1 + k) / G.scale(i);
  for (int k = 0; k < n2; ++k)
    for (int i = 1; i <= NB; ++i) xc[k * NB + i - 1] = std::sin(0.8 * G.xi(i) + k) / G.scale(i);
  std::vector<double> fac(81);
  lib::fill_factorials(80, lib::VecView<double, 0>(fac.data(), 81));
  const int mf1[] = {1, 1, n2}, mf2[] = {0, 0, n1}, mfe[] = {0, 0, n1}, mne[] = {1, 1, n2};
  const int nz = (3 * (n1 + n2)) / 4;
  std::vector<double> qq(NB * n2), wk(NB * 6), z(NB * nz), wc(NA * NA), cx(NA * 3), b = {1.0, 0, 0, 0};
  const double C1 = 1.4 * 1.4 / 2 * -6.28318;
  return time_per_call([&] {
    const lib::PartialWaves bound = lib::described_waves(lib::CIVec(mf2, 3), KD, lib::CMat(xb.data(), NB, n1));
    lib::exchange_potential_waves(
        lib::MultipoleSetting{G.radial(), G.R().colsFrom(2, 5), lib::Fac(fac.data(), 81)}, G.series(),
        lib::PairDensity{lib::described_waves(lib::CIVec(mf1, 3), KD, lib::CMat(xc.data(), NB, n2)), bound, C1},
        lib::described_waves(lib::CIVec(mfe, 3), KD, lib::CMat(xb.data(), NB, n1)), lib::CIVec(mne, 3),
        lib::MultipoleWork{lib::Vec(b.data(), 4), lib::Mat(wc.data(), NA, NA), lib::Mat(cx.data(), NA, 3),
                           lib::Mat(wk.data(), NB, 6)},
        lib::Mat(qq.data(), NB, n2), lib::Mat(z.data(), NB, nz));
    checksum += qq[NB / 2];
  });
}

}  // namespace

int main() {
  double checksum = 0;
  std::printf("solve_radial_equation: one radial equation (lambda = 2, m = 1), NA = 5, outer grid to xi = 40\n");
  std::printf("%8s %14s %14s\n", "NB", "us/solve", "ns/point");
  for (int NB : {5 + 201, 5 + 401, 5 + 801}) {
    const testgrid::Grid G = testgrid::make_grid(5, NB, 1.1, 40.0);
    const double t = bench_rdeq(G, checksum);
    std::printf("%8d %14.2f %14.2f\n", NB, t * 1e6, t * 1e9 / NB);
  }

  std::printf(
      "\nexchange_potential_waves: potential of a continuum wave times a bound orbital applied to the orbital (KD = "
      "2)\n");
  std::printf("%8s %6s %6s %12s %14s\n", "NB", "n1", "n2", "multipoles", "ms/call");
  for (int NB : {5 + 401}) {
    const testgrid::Grid G = testgrid::make_grid(5, NB, 1.1, 40.0);
    for (auto [n1, n2] : {std::pair{2, 4}, {4, 8}, {6, 12}}) {
      const double t = bench_cuif(G, n1, n2, checksum);
      std::printf("%8d %6d %6d %12d %14.3f\n", NB, n1, n2, (3 * (n1 + n2)) / 4, t * 1e3);
    }
  }
  std::printf("\n(checksum %g)\n", checksum);
  return 0;
}

// Time of the dense RPA kernels: one complex inverse (A + iE·B)⁻¹ = R − iS
// by INVAB at orders 500, 1000 and 1500, and one full RPAS0 step (assembly
// of the system from weights and interaction, inverse, projection of the
// Hartree–Fock amplitudes) at order 1000.  Each energy of an RPA run costs
// one such step, so the figures give the cost per photoelectron energy.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "photo/kernels/kernels.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A random matrix dominated by its diagonal (well conditioned), as the RPA
// matrix 1 + C·CLB is for a weak interaction.
void fill_dominant(std::vector<double>& a, int n, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (auto& x : a) x = u(rng) / n;
  for (int i = 0; i < n; ++i) a[static_cast<size_t>(i) * n + i] += 2.0;
}

// The on-shell rows: three per continuum function of the open channels.
constexpr int kOnShell = 30;

double time_invab(int n, std::mt19937& rng, photo::LudeTable& T) {
  const int nb = kOnShell;
  std::vector<double> A(static_cast<size_t>(n) * n), R(A.size()), S(A.size());
  std::vector<double> B(static_cast<size_t>(nb) * n), B1(B.size()), B2(B.size()), W(n);
  std::vector<int> IB(nb), IND(n);
  fill_dominant(A, n, rng);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (auto& x : B) x = 0.1 * u(rng) / n;
  for (int j = 0; j < nb; ++j) IB[j] = 1 + (j * 37) % n;
  double D = 0.0;
  const auto t0 = Clock::now();
  photo::INVAB(n, nb, lib::CIVec(IB.data(), nb), lib::IVec(IND.data(), n), D, lib::Mat(A.data(), n, n),
               lib::CMat(B.data(), nb, n), lib::Mat(B1.data(), nb, n), lib::Mat(B2.data(), nb, n),
               lib::Vec(W.data(), n), lib::Mat(R.data(), n, n), lib::Mat(S.data(), n, n), T);
  return seconds_since(t0);
}

double time_rpas0(int n, std::mt19937& rng, photo::LudeTable& T) {
  const int nb = kOnShell, nl = 5, js = n / 4;
  std::vector<double> CLB(static_cast<size_t>(n) * n), A(CLB.size()), R(CLB.size()), S(CLB.size());
  std::vector<double> B(static_cast<size_t>(nb) * n), B1(B.size()), B2(B.size());
  std::vector<double> C(n), CB(nb), W(n), DHR(n), DHV(n), DRR(nl), DRI(nl), DVR(nl), DVI(nl);
  std::vector<int> IB(nb), IND(n);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (auto& x : CLB) x = u(rng) / n;
  for (auto& x : C) x = u(rng);
  for (auto& x : CB) x = u(rng);
  for (auto& x : DHR) x = u(rng);
  for (auto& x : DHV) x = u(rng);
  for (int j = 0; j < nb; ++j) IB[j] = 1 + (j * 37) % n;
  const auto t0 = Clock::now();
  photo::RPAS0(n, nb, nl, js, lib::CIVec(IB.data(), nb), lib::IVec(IND.data(), n), lib::CVec(C.data(), n),
               lib::CMat(CLB.data(), n, n), lib::CVec(CB.data(), nb), lib::Mat(A.data(), n, n),
               lib::Mat(B.data(), nb, n), lib::Mat(R.data(), n, n), lib::Mat(S.data(), n, n), lib::Vec(W.data(), n),
               lib::Mat(B1.data(), nb, n), lib::Mat(B2.data(), nb, n), lib::CVec(DHR.data(), n),
               lib::CVec(DHV.data(), n), lib::Vec(DRR.data(), nl), lib::Vec(DRI.data(), nl), lib::Vec(DVR.data(), nl),
               lib::Vec(DVI.data(), nl), T);
  return seconds_since(t0);
}

}  // namespace

int main() {
  std::mt19937 rng(2024);
  auto T = std::make_unique<photo::LudeTable>();
  std::printf(" RPA kernels, %d on-shell rows\n", kOnShell);
  for (int n : {500, 1000, 1500}) {
    std::printf(" INVAB   N0 = %4d   %8.3f s\n", n, time_invab(n, rng, *T));
    std::fflush(stdout);
  }
  std::printf(" RPAS0   N0 = %4d   %8.3f s\n", 1000, time_rpas0(1000, rng, *T));
  return 0;
}

// RPA equations: the energy-denominator weights against principal-value
// integrals in closed form, the RPA solution against an independent complex
// solve of the row-vector system, and the loop over channels and energies.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "photo/kernels/rpa_equations.hpp"
#include "photo/kernels/rpa_solve.hpp"
#include "photo/kernels/rpa_weights.hpp"
#include "reference.hpp"

namespace {

using ref::cplx;
using ref::Dense;

// ---------------------------------------------------------------- energy-denominator weights

// Weights of one channel with their work arrays.
struct Weights {
  int NL, NP, ND, JP, offset;
  int IPV = 0;  // the integral from the first node, as the oracles below take it
  std::vector<int> IB;
  std::vector<double> CB, C, V1, w;  // w: forward half, then backward half
  Weights(int nl, int np, int nd, int jp, int off)
      : NL(nl),
        NP(np),
        ND(nd),
        JP(jp),
        offset(off),
        IB(3 * nl, off),
        CB(3 * nl, -5.0),
        C(2 * (nl * np + nd), 3.0),
        V1(nl * np),
        w(2 * (nl * np + nd), 9.0) {}
  int NF() const { return NL * NP + ND; }
  void run(double OM, double EG, const std::vector<double>& ED, const std::vector<double>& P, double DP) {
    lib::Vec W(w.data(), 2 * NF());
    photo::energy_denominator_weights(
        photo::ChannelNodes{NL, NP, ND, lib::CVec(P.data(), NP), DP, lib::CVec(ED.data(), ND)},
        photo::PoleSetting{OM, EG, JP, IPV},
        photo::ChannelWeights{W, W.from(NF() + 1), lib::IVec(IB.data(), 3 * NL), lib::Vec(CB.data(), 3 * NL),
                              lib::Vec(C.data(), C.size()), lib::Vec(V1.data(), V1.size())});
  }
  double forward(int il, int j) const { return w[(j - 1) * NL + il - 1]; }
  double backward(int il, int j) const { return w[NF() + (j - 1) * NL + il - 1]; }
};

std::vector<double> momentum_grid(double p0, double dp, int np) {
  std::vector<double> P(np);
  for (int j = 1; j <= np; ++j) P[j - 1] = dp * (j - 1) + p0;
  return P;
}

// The node whose energy p²/2 lies nearest to k0²/2; the lower one on a tie.
int nearest_node(const std::vector<double>& P, double k0) {
  int jp = 1;
  for (int j = 2; j <= static_cast<int>(P.size()); ++j) {
    if (std::fabs(P[j - 1] * P[j - 1] - k0 * k0) < std::fabs(P[jp - 1] * P[jp - 1] - k0 * k0)) jp = j;
  }
  return jp;
}

// PV ∫_a^b g(p)·2p/(p² − k0²) dp for g = c0 + c1·p + c2·p², from
// 2p/(p² − k0²) = 1/(p − k0) + 1/(p + k0) and g(p) = g(x) + (p − x)·(c1 + c2·(p + x)).
double pv_closed_form(const double c[3], double k0, double a, double b) {
  const auto g = [&](double p) { return c[0] + c[1] * p + c[2] * p * p; };
  const auto smooth = [&](double x) { return c[1] * (b - a) + c[2] * ((b * b - a * a) / 2 + x * (b - a)); };
  return smooth(k0) + g(k0) * std::log(std::fabs((b - k0) / (a - k0))) + smooth(-k0) +
         g(-k0) * std::log((b + k0) / (a + k0));
}

// Σ_j S(j)·g(p_j) is PV ∫ g(p)·2p/(p² − k0²) dp: Simpson's rule for the
// smooth part (O(DP⁴)) and the exact principal value of the pole term, whose
// residue g(k0) is interpolated quadratically from three nodes (O(DP³)).
// The error is below 10·DP³ for this g (|h‴|/6 of h = 2p·g/(p + k0) on the
// grid), and halving DP shrinks it about eightfold.
TEST(EnergyDenominatorWeights, ForwardWeightsGiveThePrincipalValueIntegral) {
  const double c[3] = {1.0, 0.7, -0.4};
  const double a = 0.3, b = 1.3, EG = -0.45;
  const auto g = [&](double p) { return c[0] + c[1] * p + c[2] * p * p; };
  struct Where {
    const char* name;
    std::function<double(const std::vector<double>&, double)> k0;  // from the grid and DP
  };
  const std::vector<Where> cases{
      {"interior node", [](const std::vector<double>& P, double) { return P[P.size() / 2 - 1] + 1.0e-6; }},
      {"first node", [](const std::vector<double>& P, double dp) { return P[0] + 0.05 * dp + 1.0e-6; }},
      {"last node", [](const std::vector<double>& P, double dp) { return P.back() - 0.05 * dp + 1.0e-6; }},
      {"between nodes", [](const std::vector<double>& P, double dp) { return P[P.size() / 3] + 0.5 * dp; }}};
  for (const Where& where : cases) {
    double previous = 0.0;
    for (int np : {41, 81, 161}) {
      const double dp = (b - a) / (np - 1);
      const std::vector<double> P = momentum_grid(a, dp, np);
      const double k0 = where.k0(P, dp);
      const double OM = k0 * k0 / 2 - EG;
      Weights w(1, np, 0, nearest_node(P, k0), 0);
      w.run(OM, EG, {}, P, dp);
      double sum = 0.0;
      for (int j = 1; j <= np; ++j) sum += w.forward(1, j) * g(P[j - 1]);
      const double err = std::fabs(sum - pv_closed_form(c, k0, a, b));
      EXPECT_LT(err, 10 * dp * dp * dp) << where.name << ", NP = " << np;
      if (previous > 0) {
        EXPECT_GT(previous / err, 6.5) << where.name << ", NP = " << np;
      }
      previous = err;
    }
  }
}

// Σ_n CB(n)·g(P(Jn)) interpolates g(p)·2p/(p + k0) at k0 quadratically: it
// is g(k0) exactly when that product is a quadratic, and IB names the three
// nodes around the pole, moved inwards at the ends of the grid.
TEST(EnergyDenominatorWeights, ResidueRowsReproduceTheResidueAtTheShell) {
  const int np = 11, nl = 2, off = 40;
  const double dp = 0.1, EG = -0.3;
  const std::vector<double> P = momentum_grid(0.2, dp, np);
  struct Case {
    double k0;
    int J1, J2, J0;
  };
  const std::vector<Case> cases{{P[5] + 0.02, 5, 7, 6}, {P[0] + 0.01, 1, 2, 3}, {P[10] - 0.01, 10, 11, 9}};
  for (const Case& cs : cases) {
    const double k0 = cs.k0;
    const auto q = [](double p) { return 0.5 - 1.5 * p + 2.0 * p * p; };
    const auto g = [&](double p) { return (p + k0) * q(p) / (2 * p); };
    Weights w(nl, np, 0, nearest_node(P, k0), off);
    w.run(k0 * k0 / 2 - EG, EG, {}, P, dp);
    const int J[3] = {cs.J1, cs.J2, cs.J0};
    for (int il = 1; il <= nl; ++il) {
      double s = 0.0;
      for (int n = 0; n < 3; ++n) {
        s += w.CB[n * nl + il - 1] * g(P[J[n] - 1]);
        EXPECT_EQ(w.IB[n * nl + il - 1], off + (J[n] - 1) * nl + il);
      }
      EXPECT_NEAR(s, q(k0), 1e-12) << "k0 = " << k0;
    }
    for (double x : w.C) EXPECT_EQ(x, 0.0);
  }
}

// Backward weights carry no pole: Simpson's rule for ∫ g·p/(p²/2 + ω − ε) dp.
// A closed channel keeps plain Simpson forward weights and leaves its
// on-shell rows alone; discrete functions get the bare denominators.
TEST(EnergyDenominatorWeights, ClosedChannelBackwardWeightsAndDiscreteFunctions) {
  const int nl = 2, np = 9, nd = 3;
  const double dp = 0.125, EG = -0.6, OM = 2.0;  // far above the grid: closed
  const std::vector<double> P = momentum_grid(0.25, dp, np);
  const std::vector<double> ED{-0.3, -0.2, -0.15};
  Weights w(nl, np, nd, 0, 7);
  w.run(OM, EG, ED, P, dp);
  const double h = dp / 3;
  for (int j = 1; j <= np; ++j) {
    const double simpson = (j == 1 || j == np) ? h : (j % 2 == 0 ? 4 * h : 2 * h);
    const double p = P[j - 1];
    for (int il = 1; il <= nl; ++il) {
      EXPECT_DOUBLE_EQ(w.forward(il, j), -simpson * p / (OM - p * p / 2 + EG));
      EXPECT_DOUBLE_EQ(w.backward(il, j), simpson * p / (OM + p * p / 2 - EG));
    }
  }
  for (int d = 1; d <= nd; ++d) {
    const int k = nl * np + d;
    EXPECT_DOUBLE_EQ(w.w[k - 1], -1.0 / (OM - ED[d - 1] + EG));
    EXPECT_DOUBLE_EQ(w.w[w.NF() + k - 1], 1.0 / (OM + ED[d - 1] - EG));
  }
  for (int x : w.IB) EXPECT_EQ(x, 7);
  for (double x : w.CB) EXPECT_EQ(x, -5.0);
  for (double x : w.C) EXPECT_EQ(x, 0.0);
  // ∫ (1 + p²)·2p/(p² + 2A) dp = (b² − a²) + (1 − 2A)·ln((b² + 2A)/(a² + 2A)), A = ω − ε.
  const double A = OM - EG, a = P.front(), b = P.back();
  double sum = 0.0;
  for (int j = 1; j <= np; ++j) sum += w.backward(1, j) * (1 + P[j - 1] * P[j - 1]);
  // Simpson's error bound (b − a)·DP⁴/180·max|f⁗|, with |f⁗| < 5 here.
  EXPECT_NEAR(sum, (b * b - a * a) + (1 - 2 * A) * std::log((b * b + 2 * A) / (a * a + 2 * A)),
              (b - a) * std::pow(dp, 4) / 180 * 5);
}

// IPV = 1 takes each continuum from its threshold p = 0: for g = 1 the
// forward weights give PV ∫ 2p/(p² − k0²) dp from 0 to the last node b,
// ln|(b² − k0²)/k0²| open (also with the shell below the first node,
// k0 < P(1)) and ln((b² + κ²)/κ²) closed, and the backward weights
// ln((b²/2 + A)/A), A = ω − ε.  Inside and closed the error is the pole
// interpolation's, O(DP³); next to the first node G = 2p/(p + k0) varies on
// the scale k0 ≈ DP and the error is a few 1e-4 (2e-2 below it, where the
// residue is extrapolated).  IPV = 0 misses the segment below P(1): an error
// (0.58, 2.4, 6.7e-3, 0.12 for the four cases) that does not fall with DP.
TEST(EnergyDenominatorWeights, FromThresholdWeightsIntegrateFromZeroMomentum) {
  const double EG = -0.45, b = 1.3;
  struct Case {
    const char* name;
    double k0sq;  // k0² (< 0: closed, κ² = −k0²)
    bool smooth;  // error O(DP³)
  };
  const std::vector<Case> cases{{"below the first node", 0.03 * 0.03, false},
                                {"at the first node", 0.0525 * 0.0525, false},
                                {"inside", 0.61 * 0.61, true},
                                {"closed", -0.02, true}};
  for (const Case& cs : cases) {
    double previous = 0.0;
    for (int np : {41, 81, 161}) {
      const double dp = (b - 0.05) / (np - 1);
      const std::vector<double> P = momentum_grid(0.05, dp, np);
      const double OM = cs.k0sq / 2 - EG, A = OM - EG;
      const double want = std::log(std::fabs((b * b - cs.k0sq) / cs.k0sq));
      double err[2] = {0.0, 0.0};
      for (int ipv : {0, 1}) {
        Weights w(1, np, 0, cs.k0sq > 0 ? nearest_node(P, std::sqrt(cs.k0sq)) : 0, 0);
        w.IPV = ipv;
        w.run(OM, EG, {}, P, dp);
        double forward = 0.0, backward = 0.0;
        for (int j = 1; j <= np; ++j) {
          forward += w.forward(1, j);
          backward += w.backward(1, j);
        }
        err[ipv] = std::fabs(forward - want);
        if (ipv == 1) {
          EXPECT_NEAR(backward, std::log((b * b / 2 + A) / A), 1e-6) << cs.name << ", NP = " << np;
        }
      }
      EXPECT_GT(err[0], 5e-3) << cs.name << ", NP = " << np;
      EXPECT_LT(err[1], 0.1 * err[0]) << cs.name << ", NP = " << np;
      if (cs.smooth) {
        EXPECT_LT(err[1], 20 * dp * dp * dp) << cs.name << ", NP = " << np;
        if (previous > 0) {
          EXPECT_GT(previous / err[1], 4.0) << cs.name << ", NP = " << np;
        }
      }
      previous = err[1];
    }
  }
}

TEST(EnergyDenominatorWeights, APoleNeedsThreeNodes) {
  Weights w(1, 2, 0, 1, 0);
  EXPECT_THROW(w.run(1.0, -0.5, {}, {0.5, 0.6}, 0.1), io::StopRun);
}

// ---------------------------------------------------------------- solve through the complex inverse

// D(l) + Σ_k D(k)·C(k)·CLB(k,l) + iπ·Σ_J D(IB(J))·CB(J)·CLB(IB(J),l) = d(l),
// solved directly in complex arithmetic: Mᵀ·D = d.
std::vector<cplx> row_vector_solve(int n, const std::vector<double>& C, const Dense<double>& CLB,
                                   const std::vector<int>& IB, const std::vector<double>& CB,
                                   const std::vector<double>& d) {
  Dense<cplx> Mt(n, n), rhs(n, 1);
  for (int k = 1; k <= n; ++k) {
    for (int l = 1; l <= n; ++l) Mt(l, k) = (k == l ? 1.0 : 0.0) + C[k - 1] * CLB(k, l);
  }
  for (size_t J = 0; J < IB.size(); ++J) {
    for (int l = 1; l <= n; ++l) Mt(l, IB[J]) += cplx(0.0, ref::kPi * CB[J] * CLB(IB[J], l));
  }
  for (int l = 1; l <= n; ++l) rhs(l, 1) = d[l - 1];
  const Dense<cplx> D = ref::complex_solve(Mt, rhs);
  return D.a;
}

TEST(RpaInverseSolve, AmplitudesSolveTheRowVectorSystem) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 30, nb = 6, nl = 3, js = 11;
  Dense<double> CLB = ref::random_matrix(n, n, rng, 0.3);
  std::vector<double> C(n), CB(nb), DHR(n), DHV(n), W(n), DRR(nl), DRI(nl), DVR(nl), DVI(nl);
  for (auto& x : C) x = u(rng);
  for (auto& x : CB) x = u(rng);
  for (auto& x : DHR) x = u(rng);
  for (auto& x : DHV) x = u(rng);
  const std::vector<int> IB{3, 12, 13, 14, 29, 7};
  std::vector<int> IND(n);
  Dense<double> A(n, n), R(n, n), S(n, n), B(nb, n), B1(nb, n), B2(nb, n);
  auto T = std::make_unique<photo::LuRowScales>();
  photo::rpa_amplitudes_by_inverse(
      photo::RpaSystem{n, nb, nl, js, lib::CIVec(IB.data(), nb), lib::CVec(C.data(), n), CLB.cview(),
                       lib::CVec(CB.data(), nb), lib::CVec(DHR.data(), n), lib::CVec(DHV.data(), n)},
      photo::RpaInverseWork{lib::IVec(IND.data(), n), A.view(), B.view(), R.view(), S.view(), lib::Vec(W.data(), n),
                            B1.view(), B2.view()},
      *T,
      photo::RpaAmplitudes{lib::Vec(DRR.data(), nl), lib::Vec(DRI.data(), nl), lib::Vec(DVR.data(), nl),
                           lib::Vec(DVI.data(), nl)});
  const std::vector<cplx> dl = row_vector_solve(n, C, CLB, IB, CB, DHR);
  const std::vector<cplx> dv = row_vector_solve(n, C, CLB, IB, CB, DHV);
  for (int j = 1; j <= nl; ++j) {
    EXPECT_NEAR(DRR[j - 1], dl[js + j - 1].real(), 1e-10);
    EXPECT_NEAR(DRI[j - 1], dl[js + j - 1].imag(), 1e-10);
    EXPECT_NEAR(DVR[j - 1], dv[js + j - 1].real(), 1e-10);
    EXPECT_NEAR(DVI[j - 1], dv[js + j - 1].imag(), 1e-10);
  }
}

// ---------------------------------------------------------------- all channels and energies

// Two channels: channel 1 (two continuum functions, five nodes, one
// discrete function) and channel 2 (one function, seven nodes).  Channel 2
// is closed at the lowest energy of channel 1, and channel 1 is closed at
// the highest energies of channel 2.
struct RpaRun {
  int NCH = 2, NCM = 70, N0 = 0, rows = 0, ILIN = 0, threads = 1;
  int IPV = 1;        // each continuum from its threshold, as diatom asks
  bool share = true;  // channels on one grid share their solves
  std::vector<int> NZ0, NZ2, NL{2, 1}, NP{5, 7}, ND{1, 0};
  std::vector<double> P0{0.3, 0.2}, DP{0.1, 0.1}, EG{-0.6, -0.7};
  Dense<double> ED{5, 2}, P{70, 2}, CLB, A, R, S;
  std::vector<double> C, W, DHR, DHV, B, B1, B2, DRR = std::vector<double>(10), DRI = DRR, DVR = DRR, DVI = DRR;
  std::unique_ptr<photo::RpaTables> T = std::make_unique<photo::RpaTables>();
  std::unique_ptr<io::Unit> list = io::Unit::to_text("list", 10), data = io::Unit::to_text("data", 11);
  std::string console;

  void size() {
    NZ0.assign(NCH, 0);
    NZ2.assign(NCH, 0);
    rows = 0;
    for (int c = 0; c < NCH; ++c) {
      NZ2[c] = NL[c] * NP[c] + ND[c];
      if (c + 1 < NCH) NZ0[c + 1] = NZ0[c] + 2 * NZ2[c];
      rows += 3 * NL[c];
    }
    N0 = NZ0[NCH - 1] + 2 * NZ2[NCH - 1];
    CLB = Dense<double>(N0, N0), A = CLB, R = CLB, S = CLB;
    C.assign(N0, 0.0), W.assign(N0, 0.0);
    B.assign(rows * N0, 0.0), B1 = B, B2 = B;
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    DHR.resize(N0), DHV.resize(N0);
    for (auto& x : DHR) x = u(rng);
    for (auto& x : DHV) x = u(rng);
    ED(1, 1) = -0.2;
  }
  void run() {
    std::istringstream in;
    std::ostringstream out;
    io::ConsoleRedirect redirect(&in, &out);
    T->ILIN = ILIN;
    T->IPV = IPV;
    T->share = share;
    T->size_for(N0, NCH, 14, rows, 7, 2, threads);
    const photo::RpaChannels channels{NCH,
                                      NCM,
                                      lib::CIVec(NZ0.data(), NCH),
                                      lib::CIVec(NZ2.data(), NCH),
                                      lib::CIVec(NL.data(), NCH),
                                      lib::CIVec(NP.data(), NCH),
                                      lib::CIVec(ND.data(), NCH),
                                      lib::CVec(P0.data(), NCH),
                                      lib::CVec(DP.data(), NCH),
                                      lib::CVec(EG.data(), NCH),
                                      ED.cview(),
                                      P.view()};
    const photo::RpaWork work{lib::Vec(C.data(), N0),
                              A.view(),
                              R.view(),
                              S.view(),
                              lib::Vec(B.data(), B.size()),
                              lib::Vec(B1.data(), B1.size()),
                              lib::Vec(B2.data(), B2.size()),
                              lib::Vec(W.data(), N0)};
    photo::rpa_cross_sections(photo::RpaMatrix{N0, CLB.cview(), lib::CVec(DHR.data(), N0), lib::CVec(DHV.data(), N0)},
                              channels, work,
                              photo::RpaAmplitudes{lib::Vec(DRR.data(), 10), lib::Vec(DRI.data(), 10),
                                                   lib::Vec(DVR.data(), 10), lib::Vec(DVI.data(), 10)},
                              *T, *list, *data);
    console = out.str();
  }
  // A symmetric interaction CLB, uniform in (−a, a) from generator seed `seed`.
  void random_interaction(unsigned seed, double a) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-a, a);
    for (int k = 1; k <= N0; ++k) {
      for (int l = k; l <= N0; ++l) CLB(k, l) = CLB(l, k) = u(rng);
    }
  }
  // The same with the structure of the RPA's elements: forward with forward
  // as backward with backward, forward with backward as backward with
  // forward (each function's forward variable NZ0 + j, backward NZ0 + NZ2 + j).
  void paired_interaction(unsigned seed, double a) {
    random_interaction(seed, a);
    std::vector<std::pair<int, int>> pairs;
    for (int c = 0; c < NCH; ++c) {
      for (int j = 1; j <= NZ2[c]; ++j) pairs.emplace_back(NZ0[c] + j, NZ0[c] + NZ2[c] + j);
    }
    for (const auto& [fi, bi] : pairs) {
      for (const auto& [fj, bj] : pairs) CLB(bi, bj) = CLB(fi, fj), CLB(bi, fj) = CLB(fi, bj);
    }
  }
  // Photoelectron momentum at node ip of channel c: moved 0.05·DP inwards at
  // the ends (0.05 in single precision) and up by 1.0e-6.
  double momentum(int c, int ip) const {
    double k = DP[c - 1] * (ip - 1) + P0[c - 1] + 1.0e-6;
    if (ip == NP[c - 1]) k -= static_cast<double>(0.05f) * DP[c - 1];
    if (ip == 1) k += static_cast<double>(0.05f) * DP[c - 1];
    return k;
  }
};

// Half a unit in the last of the d significant digits of an Ew.d field.
double printed(double v, int d) {
  if (v == 0.0) return 0.0;
  return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(v))) + 1 - d);
}

std::vector<std::vector<double>> numeric_lines(const std::string& text) {
  std::vector<std::vector<double>> lines;
  std::istringstream s(text);
  std::string line;
  while (std::getline(s, line)) {
    std::istringstream l(line);
    std::vector<double> v;
    double x;
    while (l >> x) v.push_back(x);
    if (!v.empty() && l.eof()) lines.push_back(v);
  }
  return lines;
}

// Without interaction the RPA amplitudes are the Hartree–Fock ones at the
// node of the energy: DR = DHR(JS + J), no imaginary part, and
// σL = 5.378·ω·Σ DHR², σV = (5.378/ω)·Σ DHV².
TEST(RpaCrossSections, WithoutInteractionTheHartreeFockAmplitudesComeBack) {
  RpaRun run;
  run.size();
  run.run();
  const auto records = numeric_lines(run.data->text());
  const auto results = numeric_lines(run.list->text());
  size_t rec = 0, res = 0;
  for (int c = 1; c <= run.NCH; ++c) {
    for (int ip = 1; ip <= run.NP[c - 1]; ++ip) {
      const double k = run.momentum(c, ip), E = k * k / 2, om = E - run.EG[c - 1];
      const int js = (ip - 1) * run.NL[c - 1] + run.NZ0[c - 1];
      ASSERT_LT(rec, records.size());
      EXPECT_NEAR(records[rec++][0], E, printed(E, 8));
      double sl = 0, sv = 0;
      for (int j = 1; j <= run.NL[c - 1]; ++j) {
        const double dr = run.DHR[js + j - 1], dv = run.DHV[js + j - 1];
        const auto& r1 = records[rec++];
        const auto& r2 = records[rec++];
        ASSERT_EQ(r1.size(), 2u);
        EXPECT_NEAR(r1[0], dr, printed(dr, 6));
        EXPECT_EQ(r1[1], 0.0);
        EXPECT_NEAR(r2[0], dv, printed(dv, 6));
        EXPECT_EQ(r2[1], 0.0);
        sl += dr * dr, sv += dv * dv;
      }
      ASSERT_LT(res, results.size());
      const auto& line = results[res++];
      ASSERT_EQ(line.size(), 4u);
      EXPECT_NEAR(line[0], E, printed(E, 3));
      EXPECT_NEAR(line[1], om, printed(om, 4));
      EXPECT_NEAR(line[2], 5.378 * om * sl, printed(5.378 * om * sl, 4));
      EXPECT_NEAR(line[3], 5.378 / om * sv, printed(5.378 / om * sv, 4));
    }
  }
  EXPECT_EQ(rec, records.size());
  EXPECT_EQ(res, results.size());
  // The last energy: channel 2 at its last node, channel 1 closed.
  for (int j = 1; j <= run.NL[1]; ++j) {
    EXPECT_EQ(run.DRR[j - 1], run.DHR[run.NZ0[1] + 6 + j - 1]);
    EXPECT_EQ(run.DRI[j - 1], 0.0);
  }
  EXPECT_EQ(run.T->NB, 3);
  EXPECT_EQ(run.T->IB[0], run.NZ0[1] + 6);
  EXPECT_EQ(run.T->IB[1], run.NZ0[1] + 7);
  EXPECT_EQ(run.T->IB[2], run.NZ0[1] + 5);
  for (double x : run.C) EXPECT_EQ(x, 0.0);
  // Listing: banner and column header of each channel.
  const std::string banner = "\n" + std::string(60, '-') + "\n Channel  1:\n";
  EXPECT_EQ(run.list->text().substr(0, banner.size()), banner);
  const std::string header = "    E, a.u.      Om, a.u.          C.S.(L)        C.S.(V)";
  EXPECT_NE(run.list->text().find(" -" + std::string() + "\n" + header + "\n"), std::string::npos);
  EXPECT_EQ(run.console.substr(0, header.size() + 1), header + "\n");
}

// With a small symmetric interaction the amplitudes of the last energy solve
// the complex row-vector system built from the weights and on-shell rows of
// that energy; the closed channel 1 has plain Simpson weights there.
TEST(RpaCrossSections, WithInteractionTheAmplitudesSolveTheRowVectorSystem) {
  RpaRun run;
  run.size();
  run.random_interaction(4, 0.05);
  run.run();
  const photo::RpaTables& T = *run.T;
  const std::vector<double> C(T.weight.begin(), T.weight.begin() + run.N0);
  const std::vector<int> IB(T.IB.begin(), T.IB.begin() + T.NB);
  const std::vector<double> CB(T.CB.begin(), T.CB.begin() + T.NB);
  const std::vector<cplx> dl = row_vector_solve(run.N0, C, run.CLB, IB, CB, run.DHR);
  const std::vector<cplx> dv = row_vector_solve(run.N0, C, run.CLB, IB, CB, run.DHV);
  const int js = run.NZ0[1] + 6;
  EXPECT_NE(run.DRI[0], 0.0);
  EXPECT_NEAR(run.DRR[0], dl[js].real(), 1e-10);
  EXPECT_NEAR(run.DRI[0], dl[js].imag(), 1e-10);
  EXPECT_NEAR(run.DVR[0], dv[js].real(), 1e-10);
  EXPECT_NEAR(run.DVI[0], dv[js].imag(), 1e-10);
  // Channel 1 is closed at this energy: Simpson weights without pole rows,
  // and on the first node the segment from p = 0 to it (IPV = 1).
  const double k = run.momentum(2, 7), om = k * k / 2 - run.EG[1], h = run.DP[0] / 3;
  const double p1 = run.P(1, 1), kappa2 = -2 * (om + run.EG[0]);
  for (int j = 1; j <= 5; ++j) {
    const double p = run.P(j, 1), w = (j == 1 || j == 5) ? h : (j % 2 ? 2 * h : 4 * h);
    const double fs = j == 1 ? std::log(std::fabs((p1 * p1 + kappa2) / kappa2)) : 0.0;
    const double bs = j == 1 ? std::log1p(p1 * p1 / (2 * (om - run.EG[0]))) : 0.0;
    for (int il = 1; il <= 2; ++il) {
      EXPECT_DOUBLE_EQ(C[(j - 1) * 2 + il - 1], -w * p / (om - p * p / 2 + run.EG[0]) + fs);
      EXPECT_DOUBLE_EQ(C[run.NZ2[0] + (j - 1) * 2 + il - 1], w * p / (om + p * p / 2 - run.EG[0]) + bs);
    }
  }
}

// When the energy shell lies exactly midway in energy between two nodes of
// another channel, the lower node is taken as the pole node.
TEST(RpaCrossSections, EquallyNearNodesTheLowerOneIsThePole) {
  RpaRun run;
  run.NP = {5, 7};
  run.P0 = {0.25, 0.2};
  run.DP = {0.125, 0.1};
  run.size();
  // ω of the last energy (channel 2, last node) and channel 1's nodes 3 and 4.
  const double k = run.momentum(2, 7);
  const double om = k * k / 2 - run.EG[1];
  const double ea = 0.5 * 0.5 / 2, eb = 0.625 * 0.625 / 2;
  double eg = (ea + eb) / 2 - om;
  bool tie = false;
  for (int step = 0; step < 4000 && !tie; ++step) {
    tie = std::fabs((om - ea) + eg) == std::fabs((om - eb) + eg);
    if (!tie) eg = std::nextafter(eg, step % 2 ? 1.0 : -1.0);
  }
  ASSERT_TRUE(tie) << "no exact tie found";
  run.EG[0] = eg;
  run.run();
  // Channel 1 comes first among the on-shell rows: nodes (2, 4, 3) around JP = 3.
  const int nl = run.NL[0];
  for (int il = 1; il <= nl; ++il) {
    EXPECT_EQ(run.T->IB[il - 1], (2 - 1) * nl + il);
    EXPECT_EQ(run.T->IB[nl + il - 1], (4 - 1) * nl + il);
    EXPECT_EQ(run.T->IB[2 * nl + il - 1], (3 - 1) * nl + il);
  }
  EXPECT_EQ(run.T->NB, 3 * (run.NL[0] + run.NL[1]));
}

TEST(RpaCrossSections, InputBeyondItsTablesOrWithoutAPoleStops) {
  struct Case {
    const char* what;
    std::function<void(RpaRun&)> spoil;
  };
  const std::vector<Case> cases{{"more than ten channels", [](RpaRun& r) { r.NCH = 11; }},
                                {"half-block size not NL·NP + ND", [](RpaRun& r) { r.NZ2[1] += 1; }},
                                {"fewer than three nodes", [](RpaRun& r) { r.NP[0] = 2; }},
                                {"more nodes than the table",
                                 [](RpaRun& r) {
                                   r.NCM = 6;
                                   r.P = Dense<double>(6, 2);
                                 }},
                                {"more discrete functions than ED", [](RpaRun& r) { r.ND[0] = 6; }},
                                {"blocks outside the system", [](RpaRun& r) { r.NZ0[1] += 2; }},
                                {"on-shell work arrays too small",
                                 [](RpaRun& r) {
                                   r.ILIN = 1;
                                   r.B.resize(10);
                                 }},
                                {"step too small for the end shift", [](RpaRun& r) { r.DP[1] = 1.0e-5; }},
                                {"negative momenta", [](RpaRun& r) { r.P0[1] = -0.5; }},
                                {"no positive step", [](RpaRun& r) { r.DP[0] = 0.0; }}};
  for (const Case& c : cases) {
    RpaRun run;
    run.size();
    run.NZ0.resize(11), run.NZ2.resize(11), run.NL.resize(11), run.NP.resize(11), run.ND.resize(11);
    run.P0.resize(11), run.DP.resize(11), run.EG.resize(11);
    c.spoil(run);
    EXPECT_THROW(run.run(), io::StopRun) << c.what;
  }
}

// The two solves of the RPA equations on the same channels with an interaction: the
// factored solve agrees with the complex inverse to 1e-10 at every energy of
// the last channel, and on two threads it gives the same bits as on one.
TEST(RpaCrossSections, FactoredSolveAgreesWithTheInverseAndDoesNotDependOnThreads) {
  struct Result {
    std::vector<photo::RpaEnergy> energies;
    std::string list, data, console;
  };
  auto solve = [](int ilin, int threads) {
    RpaRun run;
    run.ILIN = ilin;
    run.threads = threads;
    run.size();
    run.random_interaction(4, 0.2);
    run.run();
    return Result{run.T->energies, run.list->text(), run.data->text(), run.console};
  };
  const Result written = solve(1, 1), fast = solve(0, 1), fast2 = solve(0, 2);
  for (int ip = 1; ip <= 7; ++ip) {
    const photo::RpaEnergy &a = written.energies[ip - 1], &b = fast.energies[ip - 1];
    double big = 0;
    for (const auto* v : {&a.DRR, &a.DRI, &a.DVR, &a.DVI}) big = std::max(big, std::fabs((*v)[0]));
    ASSERT_GT(big, 0.0);
    EXPECT_NE(a.DRI[0], 0.0);
    EXPECT_NEAR(b.DRR[0], a.DRR[0], 1e-10 * big) << "node " << ip;
    EXPECT_NEAR(b.DRI[0], a.DRI[0], 1e-10 * big) << "node " << ip;
    EXPECT_NEAR(b.DVR[0], a.DVR[0], 1e-10 * big) << "node " << ip;
    EXPECT_NEAR(b.DVI[0], a.DVI[0], 1e-10 * big) << "node " << ip;
    const photo::RpaEnergy& c = fast2.energies[ip - 1];
    EXPECT_EQ(c.DRR, b.DRR);
    EXPECT_EQ(c.DRI, b.DRI);
    EXPECT_EQ(c.DVR, b.DVR);
    EXPECT_EQ(c.DVI, b.DVI);
  }
  EXPECT_EQ(fast2.list, fast.list);
  EXPECT_EQ(fast2.data, fast.data);
  EXPECT_EQ(fast2.console, fast.console);
  EXPECT_EQ(fast.console, written.console);  // the same pole-node search lines, in the same order
}

// Every energy from one Hessenberg reduction of the pencil, whole or folded
// over the forward–backward pairs: the amplitudes of every channel and
// energy are the factored solve's to 1e-10 of their size, with the continua
// from their thresholds (departing first nodes) or from their first nodes,
// and no energy falls back to the LU.
TEST(RpaCrossSections, PencilSolveAgreesWithTheFactoredSolve) {
  for (int ipv : {1, 0}) {
    auto solve = [ipv](int ilin, int threads) {
      RpaRun run;
      run.ILIN = ilin, run.IPV = ipv, run.threads = threads;
      run.NCH = 3, run.NL = {2, 1, 1}, run.NP = {5, 7, 7}, run.ND = {1, 0, 0};
      run.P0 = {0.3, 0.2, 0.2}, run.DP = {0.1, 0.1, 0.1}, run.EG = {-0.6, -0.7, -0.7};
      run.ED = Dense<double>(5, 3), run.P = Dense<double>(70, 3);
      run.size();
      run.paired_interaction(5, 0.2);
      struct Collect : photo::RpaAmplitudeSink {
        std::vector<std::vector<double>> lines;
        void rpa_amplitudes(int, int, double, double, int NL, const photo::RpaAmplitudes& D) override {
          std::vector<double> v;
          for (int j = 1; j <= NL; ++j) v.insert(v.end(), {D.DRR(j), D.DRI(j), D.DVR(j), D.DVI(j)});
          lines.push_back(v);
        }
      } sink;
      run.T->sink = &sink;
      run.run();
      EXPECT_EQ(run.T->pencil_misses, 0);
      EXPECT_EQ(run.T->pencil.folded, ilin == 3);
      return sink.lines;
    };
    const auto lu = solve(0, 1), pencil = solve(2, 1), pencil2 = solve(2, 2), folded = solve(3, 1);
    ASSERT_EQ(pencil.size(), lu.size());
    double big = 0.0;
    for (const auto& line : lu) {
      for (double v : line) big = std::max(big, std::fabs(v));
    }
    for (size_t i = 0; i < lu.size(); ++i) {
      ASSERT_EQ(pencil[i].size(), lu[i].size());
      for (size_t j = 0; j < lu[i].size(); ++j) {
        EXPECT_NEAR(pencil[i][j], lu[i][j], 1e-10 * big) << "line " << i;
        EXPECT_NEAR(folded[i][j], lu[i][j], 1e-10 * big) << "line " << i << ", folded";
      }
    }
    EXPECT_EQ(pencil2, pencil);
  }
}

// With OMAX the equations are solved and written only up to that photon
// energy: the lines of the nodes below it are those of the run solving
// every node (the continua above still in the integrals), none above it.
TEST(RpaCrossSections, SolvedOnlyUpToTheHighestPhotonEnergyAsked) {
  auto solve = [](double omax) {
    RpaRun run;
    run.size();
    run.random_interaction(4, 0.2);
    run.T->OMAX = omax;
    run.run();
    return run.list->text();
  };
  RpaRun probe;
  const double k = probe.momentum(2, 4), omax = k * k / 2 - probe.EG[1] + 1e-9;
  const std::string all = solve(0.0), some = solve(omax);
  std::vector<std::string> kept;
  size_t every = 0;
  for (const auto& line : numeric_lines(all)) {
    every += line.size() == 4;
    if (line.size() == 4 && line[1] <= omax) kept.push_back(std::to_string(line[1]) + " " + std::to_string(line[2]));
  }
  std::vector<std::string> got;
  for (const auto& line : numeric_lines(some)) {
    if (line.size() == 4) got.push_back(std::to_string(line[1]) + " " + std::to_string(line[2]));
  }
  EXPECT_EQ(got, kept);
  EXPECT_GE(got.size(), 4u);  // at least nodes 1-4 of channel 2
  EXPECT_LT(got.size(), every);
}

// Channels 2 and 3 on one grid and one hole (the channels of one shell):
// the third takes its amplitudes from the second's solves, and the listing,
// the data file and the console are those of solving every channel.
TEST(RpaCrossSections, ChannelsOfOneShellShareTheirSolves) {
  auto solve = [](bool share) {
    RpaRun run;
    run.share = share;
    run.NCH = 3, run.NL = {2, 1, 1}, run.NP = {5, 7, 7}, run.ND = {1, 0, 0};
    run.P0 = {0.3, 0.2, 0.2}, run.DP = {0.1, 0.1, 0.1}, run.EG = {-0.6, -0.7, -0.7};
    run.ED = Dense<double>(5, 3), run.P = Dense<double>(70, 3);
    run.size();
    run.random_interaction(5, 0.2);
    run.run();
    const bool stored = !run.T->solved.empty() && run.T->solved[6].valid;
    return std::make_tuple(run.list->text(), run.data->text(), run.console, stored);
  };
  const auto [list, data, console, stored] = solve(true);
  const auto [list1, data1, console1, stored1] = solve(false);
  EXPECT_TRUE(stored);
  EXPECT_FALSE(stored1);
  EXPECT_EQ(list, list1);
  EXPECT_EQ(data, data1);
  EXPECT_EQ(console, console1);
}

// A matrix with a vanishing row at the last energy: the written solve
// announces it in each of its two decompositions and goes on with a tiny
// pivot; the factored solve announces it once, from LAPACK's report, and
// then gives exactly the written solve's amplitudes.
TEST(RpaCrossSections, SingularMatrixIsAnnouncedAndSolvedAsTheWrittenPathDoes) {
  auto solve = [](int ilin, int& announced) -> std::pair<std::string, std::string> {
    RpaRun run;
    run.ILIN = ilin;
    run.size();
    run.run();                     // the weights of the last energy
    const int k = 1 + run.NZ2[0];  // a backward variable of channel 1, no on-shell row
    const double w = run.T->weight[k - 1];
    run.CLB(k, k) = -1.0 / w;
    run.T->energies.clear();
    run.list = io::Unit::to_text("list", 10);
    run.data = io::Unit::to_text("data", 11);
    // Row k of A = 1 + C·CLB vanishes only if C(k)·CLB(k,k) rounds to −1.
    EXPECT_EQ(w * run.CLB(k, k), -1.0);
    run.run();
    announced = 0;
    for (size_t p = run.console.find("SINGULAR MATRIX IN LUDE"); p != std::string::npos;
         p = run.console.find("SINGULAR MATRIX IN LUDE", p + 1)) {
      ++announced;
    }
    return std::make_pair(run.list->text(), run.data->text());
  };
  int written_count = 0, fast_count = 0;
  const auto written = solve(1, written_count);
  const auto fast = solve(0, fast_count);
  EXPECT_EQ(written_count, 2);
  EXPECT_EQ(fast_count, 1);
  EXPECT_EQ(fast.first, written.first);
  EXPECT_EQ(fast.second, written.second);
}

}  // namespace

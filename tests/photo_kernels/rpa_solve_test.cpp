// The factored RPA solve (one real LU and the Sherman–Morrison–Woodbury form
// of the on-shell rows) against the complex inverse of the written solver.
#include "photo/kernels/rpa_solve.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "io/stop.hpp"
#include "reference.hpp"

namespace {

using ref::Dense;

// One RPA system: interaction CLB, weights C, on-shell rows IB/CB and the
// Hartree–Fock amplitudes, solved both ways.
struct SolveCase {
  int n, nb, nl, js;
  double scale;     // size of the interaction
  bool duplicates;  // two on-shell rows on one variable
};

struct Amplitudes {
  std::vector<double> rr, ri, vr, vi;
  explicit Amplitudes(int nl) : rr(nl), ri(nl), vr(nl), vi(nl) {}
  photo::RpaAmplitudes views() {
    const int nl = static_cast<int>(rr.size());
    return {lib::Vec(rr.data(), nl), lib::Vec(ri.data(), nl), lib::Vec(vr.data(), nl), lib::Vec(vi.data(), nl)};
  }
  double largest() const {
    double m = 0;
    for (const auto* v : {&rr, &ri, &vr, &vi}) {
      for (double x : *v) m = std::max(m, std::fabs(x));
    }
    return m;
  }
};

struct System {
  int n, nb;
  Dense<double> CLB;
  std::vector<double> C, CB, DHR, DHV;
  std::vector<int> IB;
  System(const SolveCase& c, std::mt19937& rng) : n(c.n), nb(c.nb), CLB(ref::random_matrix(c.n, c.n, rng, c.scale)) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    C.resize(n), CB.resize(nb), DHR.resize(n), DHV.resize(n), IB.resize(nb);
    for (auto& x : C) x = u(rng);
    for (auto& x : CB) x = u(rng);
    for (auto& x : DHR) x = u(rng);
    for (auto& x : DHV) x = u(rng);
    for (int j = 0; j < nb; ++j) IB[j] = 1 + (j * 37 + 5) % n;
    if (c.duplicates && nb > 1) IB[nb - 1] = IB[0];
  }
  photo::RpaSystem system(int nl, int js) const {
    return {n,
            nb,
            nl,
            js,
            lib::CIVec(IB.data(), nb),
            lib::CVec(C.data(), n),
            CLB.cview(),
            lib::CVec(CB.data(), nb),
            lib::CVec(DHR.data(), n),
            lib::CVec(DHV.data(), n)};
  }
  Amplitudes written(int nl, int js, photo::LuRowScales& T) const {
    Amplitudes a(nl);
    std::vector<int> IND(n);
    std::vector<double> W(n);
    Dense<double> A(n, n), R(n, n), S(n, n), B(nb, n), B1(nb, n), B2(nb, n);
    photo::rpa_amplitudes_by_inverse(system(nl, js),
                                     photo::RpaInverseWork{lib::IVec(IND.data(), n), A.view(), B.view(), R.view(),
                                                           S.view(), lib::Vec(W.data(), n), B1.view(), B2.view()},
                                     T, a.views());
    return a;
  }
  int factored(int nl, int js, photo::RpaFactorWork& W, Amplitudes& a) const {
    return photo::rpa_amplitudes_factored(system(nl, js), W, a.views());
  }
};

// Random well-conditioned systems of several orders and on-shell ranks,
// including none, one variable with two on-shell rows, and a strong
// interaction: the amplitudes of both solves agree to 1e-10 of the largest.
TEST(RpaFactoredSolve, AgreesWithTheComplexInverseOnRandomSystems) {
  const SolveCase cases[] = {
      {1, 1, 1, 0, 0.1, false},  {12, 0, 3, 4, 0.3, false},   {40, 6, 5, 10, 0.3, false},
      {40, 6, 5, 35, 0.3, true}, {90, 21, 7, 20, 1.0, false}, {200, 60, 4, 100, 0.5, false},
  };
  std::mt19937 rng(31);
  auto T = std::make_unique<photo::LuRowScales>();
  for (const SolveCase& c : cases) {
    const System sys(c, rng);
    const Amplitudes ref = sys.written(c.nl, c.js, *T);
    photo::RpaFactorWork W;
    W.size_for(c.n, c.nb);
    Amplitudes fast(c.nl);
    ASSERT_EQ(sys.factored(c.nl, c.js, W, fast), 0) << "order " << c.n;
    const double tol = 1e-10 * ref.largest();
    for (int j = 0; j < c.nl; ++j) {
      EXPECT_NEAR(fast.rr[j], ref.rr[j], tol) << "order " << c.n << ", amplitude " << j + 1;
      EXPECT_NEAR(fast.ri[j], ref.ri[j], tol) << "order " << c.n << ", amplitude " << j + 1;
      EXPECT_NEAR(fast.vr[j], ref.vr[j], tol) << "order " << c.n << ", amplitude " << j + 1;
      EXPECT_NEAR(fast.vi[j], ref.vi[j], tol) << "order " << c.n << ", amplitude " << j + 1;
    }
    EXPECT_GT(ref.largest(), 0.0);
  }
}

// A variable whose row of A vanishes leaves A singular: the factorisation
// says so (its pivot number), the amplitudes are left alone.  Work sized for
// a smaller system is refused before anything is computed.
TEST(RpaFactoredSolve, ReportsASingularMatrixAndRefusesWorkTooSmall) {
  std::mt19937 rng(5);
  const SolveCase c{20, 3, 2, 4, 0.2, false};
  System sys(c, rng);
  const int k = 9;  // A(k, l) = δ(k,l) + C(k)·CLB(k,l) = 0 for every l, exactly
  for (int l = 1; l <= c.n; ++l) sys.CLB(k, l) = 0.0;
  sys.C[k - 1] = 0.5;
  sys.CLB(k, k) = -2.0;
  photo::RpaFactorWork W;
  W.size_for(c.n, c.nb);
  Amplitudes a(c.nl);
  a.rr.assign(c.nl, 7.0);
  EXPECT_GT(sys.factored(c.nl, c.js, W, a), 0);
  EXPECT_EQ(a.rr, std::vector<double>(c.nl, 7.0));

  photo::RpaFactorWork small;
  small.size_for(c.n - 1, c.nb);
  EXPECT_THROW(sys.factored(c.nl, c.js, small, a), io::StopRun);
}

}  // namespace

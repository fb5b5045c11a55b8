// The fast paths of the channel solver against the written ones: the
// exchange operator with tabulated coefficients and one pass over the grid
// against lib::exchange_potential_waves, equal to the last bit (the same operations on every
// number, only in another order of the loops, and no library call between);
// the energy blocks made on two threads against the same blocks made on
// one, equal to the last bit (each block's LAPACK calls run on one BLAS
// thread either way); the LU factorisations of LAPACK against the written
// elimination, equal to rounding.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <vector>

#include "chan/channel_blocks.hpp"
#include "chan/dense_algebra.hpp"
#include "chan/exchange_operator.hpp"
#include "chan/static_exchange.hpp"
#include "fixtures.hpp"

namespace {

using namespace chantest;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The states of the bare nuclei with waves w, normalised, as an orbital.
std::vector<double> bare_orbital(const Target& t, const Waves& w) {
  Quiet q;
  const BoundState b = bare_bound_states(t.mol, w, 1, -0.01).at(0);
  std::vector<double> x(static_cast<size_t>(t.grid.NB) * static_cast<size_t>(w.n));
  bare_bound_waves(t.grid, t.mol, w, b, lib::Mat(x.data(), t.grid.NB, w.n));
  return x;
}

TEST(ExchangeOperator, TabulatedOnePassPathEqualsCuifToTheLastBit) {
  // Products of σ, π (both signs of M) and δ-like final waves with σ and π
  // orbitals: projections m = M − Mo from −2 to 3, first multipoles raised
  // by two where |m| exceeds |L0 − L0o|, orbitals with fewer waves than
  // the function.
  const Target t = make_target(2.0, 2.0, 1.4, 6, 300, 1.05, 30.0);
  const int NB = t.grid.NB;
  const std::vector<double> sg = bare_orbital(t, Waves{0, 0, 6, 2}), pu = bare_orbital(t, Waves{1, 1, 4, 2});
  std::array<double, 81> fc{};
  lib::fill_factorials(80, lib::VecView<double, 0>(fc.data(), 81));
  const double C1 = -kPi * t.mol.RZ * t.mol.RZ;
  struct Case {
    Waves w;
  } cases[] = {{{0, 1, 2, 6}}, {{1, 1, 2, 5}}, {{2, 2, 2, 4}}, {{0, 0, 2, 3}}};
  for (const Case& c : cases) {
    std::vector<ExchangeOrbital> orbs = {{{0, 0, 6}, lib::CMat(sg.data(), NB, 6), -1.3},
                                         {{1, 1, 4}, lib::CMat(pu.data(), NB, 4), 0.7},
                                         {{-1, 1, 4}, lib::CMat(pu.data(), NB, 4), -0.4}};
    const ExchangeOperator op(t.grid, c.w, orbs, C1, lib::Fac(fc.data(), 81));
    // A function with every wave present and no symmetry to hide behind.
    std::vector<double> psi(static_cast<size_t>(NB) * static_cast<size_t>(c.w.n));
    for (size_t e = 0; e < psi.size(); ++e) psi[e] = std::sin(0.37 * static_cast<double>(e) + 0.1) * (1.0 + 1e-3 * e);
    std::vector<double> fast(psi.size(), 1.0), ref(psi.size(), 2.0);
    ExchangeOperator::Work w1 = op.work(), w2 = op.work();
    op.apply(lib::CMat(psi.data(), NB, c.w.n), lib::Mat(fast.data(), NB, c.w.n), w1);
    op.apply(lib::CMat(psi.data(), NB, c.w.n), lib::Mat(ref.data(), NB, c.w.n), w2, true);
    EXPECT_TRUE(same_bits(fast, ref)) << "M = " << c.w.M << ", L0 = " << c.w.L0;
    double size = 0.0;
    for (double v : fast) size = std::max(size, std::fabs(v));
    EXPECT_GT(size, 0.0);  // not a comparison of two zeros
  }
}

void expect_same_blocks(const std::vector<Block>& a, const std::vector<Block>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t j = 0; j < a.size(); ++j) {
    EXPECT_TRUE(same_bits(a[j].X, b[j].X) && same_bits(a[j].AC, b[j].AC) && same_bits(a[j].AS, b[j].AS) &&
                same_bits(a[j].lam, b[j].lam) && same_bits(a[j].phase, b[j].phase) && a[j].E == b[j].E)
        << what << ", energy " << j + 1;
  }
}

TEST(ChannelBlocks, OnTwoThreadsAsOnOne) {
  // Static exchange with a closed shell of two σ orbitals, and the bare
  // nuclei: two threads at least, more energies than threads.
  const Target g = make_target(2.0, 2.0, 1.4, 6, 300, 1.05, 30.0);
  std::vector<double> xu;
  const std::string text = closed_shell_text(g, xu);
  Quiet q;
  auto in = io::Unit::from_text("gs", text);
  GroundState gs;
  read_ground_state(*in, gs);
  const Waves su{0, 1, 6, 2};
  const int threads = omp_get_max_threads();
  std::vector<double> ks;  // the momenta as channel_blocks forms them
  for (int j = 1; j <= 5; ++j) ks.push_back(0.3 + (j - 1) * 0.4);

  // The blocks as chanfile makes them, on one thread and on two.  The bits
  // are the same because every block's LAPACK calls run on one BLAS thread
  // both times: OpenBLAS's results for the same matrix change with its own
  // thread count (on some kernels from order 6 on), so blocks made one by
  // one with StaticExchange::block under a threaded BLAS agree with these
  // only to rounding.
  omp_set_num_threads(1);
  StaticExchange one(g.grid, gs, g.mol, 1, su, ExchangeOptions{});
  std::vector<Block> serial;
  one.blocks(ks, 3, serial);
  omp_set_num_threads(std::max(threads, 2));
  StaticExchange par(g.grid, gs, g.mol, 1, su, ExchangeOptions{});
  const std::vector<Block> parallel = channel_blocks(g.grid, g.mol, su, &par, 5, 0.3, 0.4, 3);
  ExchangeOptions written;
  written.reference = true;
  StaticExchange ref(g.grid, gs, g.mol, 1, su, written);
  std::vector<Block> reference;
  ref.blocks(ks, 3, reference);
  expect_same_blocks(serial, parallel, "static exchange, two threads");
  // The written path differs only in the LU factorisations of the small
  // matching systems (written elimination instead of LAPACK): rounding.
  for (size_t j = 0; j < ks.size(); ++j) {
    double big = 0.0, diff = 0.0;
    for (size_t e = 0; e < serial[j].X.size(); ++e) {
      big = std::max(big, std::fabs(serial[j].X[e]));
      diff = std::max(diff, std::fabs(serial[j].X[e] - reference[j].X[e]));
    }
    for (size_t e = 0; e < serial[j].AS.size(); ++e)
      diff = std::max(
          diff, std::fabs(serial[j].AS[e] - reference[j].AS[e]) + std::fabs(serial[j].AC[e] - reference[j].AC[e]));
    EXPECT_LT(diff, 1e-11 * big) << "written path, energy " << j + 1;
  }
  ASSERT_EQ(par.diagnostics().size(), ks.size());
  for (size_t j = 0; j < ks.size(); ++j) {
    EXPECT_EQ(par.diagnostics()[j].k, ks[j]);
    EXPECT_EQ(par.diagnostics()[j].iterations, one.diagnostics()[j].iterations);
    EXPECT_EQ(par.diagnostics()[j].k_asymmetry, one.diagnostics()[j].k_asymmetry);
  }

  std::vector<Block> bare(ks.size());
  for (size_t j = 0; j < ks.size(); ++j) bare_block(g.grid, g.mol, su, ks[j], 3, bare[j]);
  expect_same_blocks(bare, channel_blocks(g.grid, g.mol, su, nullptr, 5, 0.3, 0.4, 3), "bare nuclei, parallel");
  omp_set_num_threads(threads);
}

// The largest gap between two results u and v (solutions or inverses of the
// n × n system a, column-major) against the largest entry of v, unknown i
// taken in the units of column i of a (x_i·max_k |a(k,i)|): unknowns of
// columns fifteen orders apart are as far apart themselves, and in these
// units they are of one size.  Measured against the size of the whole, never
// entry by entry: the two factorisations agree only to rounding (LAPACK's
// kernels are chosen per processor), and an exact zero of one is a rounding
// of the other.
double scaled_gap(int n, const std::vector<double>& a, const std::vector<double>& u, const std::vector<double>& v) {
  double gap = 0.0, size = 0.0;
  for (size_t e = 0; e < v.size(); ++e) {
    const int i = static_cast<int>(e % static_cast<size_t>(n));
    double c = 0.0;
    for (int k = 0; k < n; ++k) c = std::max(c, std::fabs(a[static_cast<size_t>(i * n + k)]));
    gap = std::max(gap, c * std::fabs(u[e] - v[e]));
    size = std::max(size, c * std::fabs(v[e]));
  }
  return gap / size;
}

TEST(DenseAlgebra, LapackAgreesWithTheWrittenElimination) {
  // Rows and columns of very different size (as the amplitudes of solutions
  // under their barriers are), a matrix that needs pivoting, and a 1 × 1
  // one.  The solutions of b = (1, 2, 3) hold exact zeros: (1e9, 0, 0) and
  // (3/2, 0, 1/2).
  struct Case {
    int n;
    std::vector<double> a;  // column-major
  } cases[] = {{3, {1e-9, 2e-9, 3e-9, 4.0, 1.0, -2.0, 1e6, 3e6, 5e5}},
               {3, {0.0, 1.0, 2.0, 1.0, 0.0, 3.0, 2.0, 1.0, 0.0}},
               {1, {-4.0}}};
  for (const Case& c : cases) {
    const int n = c.n;
    std::vector<double> b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) b[static_cast<size_t>(i)] = 1.0 + i;
    const std::vector<double> inv = inverse(n, c.a), invw = inverse(n, c.a, Algebra::written);
    const std::vector<double> x = solve(n, c.a, b), xw = solve(n, c.a, b, Algebra::written);
    const double d = determinant(n, c.a), dw = determinant(n, c.a, Algebra::written);
    EXPECT_NEAR(d / dw, 1.0, 1e-13) << "n = " << n;
    EXPECT_LT(scaled_gap(n, c.a, x, xw), 1e-13) << "solution, n = " << n;
    EXPECT_LT(scaled_gap(n, c.a, inv, invw), 1e-13) << "inverse, n = " << n;
    // A·A⁻¹ = 1, column by column.
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        double v = 0.0;
        for (int k = 0; k < n; ++k) v += c.a[static_cast<size_t>(k * n + i)] * inv[static_cast<size_t>(j * n + k)];
        EXPECT_NEAR(v, i == j ? 1.0 : 0.0, 1e-12) << "n = " << n << " (" << i << ", " << j << ")";
      }
    }
  }
}

}  // namespace

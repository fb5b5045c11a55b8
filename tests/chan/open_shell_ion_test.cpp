// The photoelectron in the field of an open-shell ion (ExchangeOptions::field
// from chan::couple_photoelectron), on a synthetic ground state: the lowest
// σg and πu states of the bare nuclei Z1 = Z2 = 2 frozen as 1σg² 1πu¹ ²Πu,
// the hole in 1σg.  The ion is σg¹πu¹, ³Πu or ¹Πu, each met in the
// arrangements of ion projection +1 (the open electron in π₊) and −1.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chan/ion_coupling.hpp"
#include "chan/static_exchange.hpp"
#include "fixtures.hpp"

namespace {

using namespace chantest;

struct Solved {
  Block b;
  Sigma s;
};

Solved solve(const Target& g, const GroundState& gs, const Waves& w, const Arrangement& a, double k,
             bool reference = false) {
  ExchangeOptions opt;
  opt.EPS = 1e-9;
  opt.field = a.field;
  opt.reference = reference;
  StaticExchange se(g.grid, gs, g.mol, 1, w, opt);
  EXPECT_EQ(se.Zion(), 2.0);  // Z1 + Z2 − N + 1 with the three electrons of the neutral
  Solved r;
  {
    Quiet q;
    se.block(k, 3, r.b);
  }
  r.s = channel_sigma(g, w, r.b);
  EXPECT_TRUE(se.diagnostics().back().converged);
  EXPECT_LT(se.diagnostics().back().max_overlap, 1e-10);  // orthogonal to the open πu orbital too (M = 1)
  return r;
}

const Arrangement& with_projection(const IonCoupling& c, int P) {
  for (const Arrangement& a : c.arrangements)
    if (a.ion_projection == P) return a;
  ADD_FAILURE() << "no arrangement of projection " << P;
  return c.arrangements.front();
}

// Three properties of the coupled field, each holding whatever the orbitals:
//
// Reflection.  σ_v (φ → −φ) maps the arrangement +1 onto −1 (π₊ ↔ π₋) and
// leaves a σ continuum as it is, so for M = 0 the two arrangements of a
// term are one problem: the same eigenphases and cross sections, to the
// GMRES tolerance.  For M = 1 they are not.
//
// Which orbital.  For M = 1 the exchange with the open orbital of the
// photoelectron's own projection (π₊: the product π₊*ψ₊ has a monopole)
// outweighs that with the other; the open orbital's exchange coefficient is
// +1/2 in ³Π and −1/2 in ¹Π, so the arrangement +1 pushes the lowest
// eigenphase down in ³Π (repulsive) and up in ¹Π (attractive) against −1.
//
// High energy.  The terms differ only in the exchange with the hole's and
// the open shell's electrons, which fades far above threshold: the
// eigenphases and cross sections of ³Π and ¹Π come together there, while
// near threshold they differ widely.
TEST(OpenShellIon, ArrangementsAndTermsOfOneHoleObeyReflectionAndMeetFarAboveThreshold) {
  const Target g = make_target(2.0, 2.0, 1.4, 8, 300, 1.25, 40.0);
  const GroundState gs = ground_state_of(bare_orbitals_text(g, {Waves{0, 0, 8, 2}, Waves{1, 1, 8, 2}}));
  const Neutral neutral{{{0, 2}, {1, 1}}, 2, "2P"};
  const IonCoupling triplet = couple_photoelectron(neutral, 1, IonTerm{3, 1, ' '});
  const IonCoupling singlet = couple_photoelectron(neutral, 1, IonTerm{1, 1, ' '});
  ASSERT_EQ(triplet.arrangements.size(), 2u) << triplet.reason;
  ASSERT_EQ(singlet.arrangements.size(), 2u) << singlet.reason;

  const Waves sigma{0, 1, 8, 2}, pi{1, 1, 8, 2};
  for (double k : {0.3, 1.5}) {
    const Solved plus = solve(g, gs, sigma, with_projection(triplet, 1), k);
    const Solved minus = solve(g, gs, sigma, with_projection(triplet, -1), k);
    for (size_t i = 0; i < plus.b.phase.size(); ++i) EXPECT_NEAR(plus.b.phase[i], minus.b.phase[i], 1e-8) << k;
    EXPECT_NEAR(plus.s.L / minus.s.L, 1.0, 1e-7) << k;
    EXPECT_NEAR(plus.s.V / minus.s.V, 1.0, 1e-7) << k;
  }
  for (double k : {0.3, 1.0}) {
    const double t = solve(g, gs, pi, with_projection(triplet, 1), k).b.phase[0] -
                     solve(g, gs, pi, with_projection(triplet, -1), k).b.phase[0];
    const double s = solve(g, gs, pi, with_projection(singlet, 1), k).b.phase[0] -
                     solve(g, gs, pi, with_projection(singlet, -1), k).b.phase[0];
    EXPECT_LT(t, -0.01) << k;
    EXPECT_GT(s, 0.01) << k;
  }
  for (const Waves& w : {sigma, pi}) {
    const Solved tn = solve(g, gs, w, with_projection(triplet, 1), 0.3);
    const Solved sn = solve(g, gs, w, with_projection(singlet, 1), 0.3);
    const Solved tf = solve(g, gs, w, with_projection(triplet, 1), 6.0);
    const Solved sf = solve(g, gs, w, with_projection(singlet, 1), 6.0);
    const double near = std::fabs(tn.b.phase[0] - sn.b.phase[0]), far = std::fabs(tf.b.phase[0] - sf.b.phase[0]);
    EXPECT_LT(far, 0.15 * near) << "M = " << w.M;
    EXPECT_GT(std::fabs(tn.s.L / sn.s.L - 1.0), 0.1) << "M = " << w.M;
    EXPECT_NEAR(tf.s.L / sf.s.L, 1.0, 0.07) << "M = " << w.M;
    EXPECT_NEAR(tf.s.V / sf.s.V, 1.0, 0.07) << "M = " << w.M;
  }
  // The written path takes the same field.
  const Solved fast = solve(g, gs, pi, with_projection(singlet, -1), 0.6);
  const Solved written = solve(g, gs, pi, with_projection(singlet, -1), 0.6, true);
  EXPECT_NEAR(written.s.L / fast.s.L, 1.0, 1e-9);
}

}  // namespace

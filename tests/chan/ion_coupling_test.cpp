// The photoelectron's coupling to an open-shell ion against a brute-force
// determinant evaluation: the neutral and the ion–electron states are built
// as linear combinations of Slater determinants by spin and reflection
// projectors, the energy's coefficients of every two-electron integral that
// holds ψ are counted from the two-particle density (second quantisation on
// occupation bit strings), and the dipole's reduction to ⟨ψ|d|φ_h⟩ from the
// overlap with Σ_σ a†_ψσ a_hσ applied to the neutral.
#include "chan/ion_coupling.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using chan::IonTerm;
using State = std::map<uint64_t, double>;  // determinant (creation in increasing bit order) → coefficient

constexpr double kTol = 1e-12;

// Spin-orbitals 2·i (α) and 2·i + 1 (β) of spatial orbital i; the
// photoelectron ψ is the last spatial orbital.
struct Orbital {
  int shell = 0, sign = +1;  // shell 0: ψ
};

struct Space {
  std::vector<Orbital> orb;
  int psi = 0;
  explicit Space(const std::vector<chan::NeutralShell>& shells) {
    for (int s = 1; s <= static_cast<int>(shells.size()); ++s) {
      orb.push_back({s, +1});
      if (shells[static_cast<size_t>(s - 1)].M > 0) orb.push_back({s, -1});
    }
    psi = static_cast<int>(orb.size());
    orb.push_back({0, +1});
  }
  int find(int shell, int sign) const {
    for (size_t i = 0; i < orb.size(); ++i)
      if (orb[i].shell == shell && orb[i].sign == sign) return static_cast<int>(i);
    return -1;
  }
};

int below(uint64_t det, int p) { return __builtin_popcountll(det & ((uint64_t{1} << p) - 1)); }

State annihilate(int p, const State& s) {
  State out;
  for (const auto& [det, c] : s)
    if (det >> p & 1) out[det & ~(uint64_t{1} << p)] += (below(det, p) & 1 ? -c : c);
  return out;
}

State create(int p, const State& s) {
  State out;
  for (const auto& [det, c] : s)
    if (!(det >> p & 1)) out[det | (uint64_t{1} << p)] += (below(det, p) & 1 ? -c : c);
  return out;
}

void add(State& a, const State& b, double f) {
  for (const auto& [det, c] : b) a[det] += f * c;
}

double dot(const State& a, const State& b) {
  double d = 0.0;
  for (const auto& [det, c] : a) {
    auto it = b.find(det);
    if (it != b.end()) d += c * it->second;
  }
  return d;
}

State scaled(const State& a, double f) {
  State out;
  for (const auto& [det, c] : a)
    if (std::abs(c) > 1e-14) out[det] = f * c;
  return out;
}

State normalised(const State& a) {
  const double n = std::sqrt(dot(a, a));
  return n > 1e-10 ? scaled(a, 1.0 / n) : State{};
}

// S₋ (lower = true) or S₊ = Σ_i a†_iα a_iβ over the spatial orbitals.
State ladder(const State& s, int norb, bool lower) {
  State out;
  for (int i = 0; i < norb; ++i)
    add(out, lower ? create(2 * i + 1, annihilate(2 * i, s)) : create(2 * i, annihilate(2 * i + 1, s)), 1.0);
  return out;
}

double twice_Sz(uint64_t det) {
  double m = 0.0;
  for (int p = 0; p < 64; ++p)
    if (det >> p & 1) m += (p & 1) ? -1.0 : 1.0;
  return m;
}

// S² = S₋S₊ + S_z(S_z + 1).
State spin_squared(const State& s, int norb) {
  State out = ladder(ladder(s, norb, false), norb, true);
  for (const auto& [det, c] : s) {
    const double sz = 0.5 * twice_Sz(det);
    out[det] += sz * (sz + 1.0) * c;
  }
  return out;
}

// Projector onto total spin S (as 2S) among S' = 0 or ½ … 3.
State project_spin(const State& s, int norb, int twoS) {
  State out = s;
  for (int t = twoS % 2; t <= 6; t += 2) {
    if (t == twoS) continue;
    const double St = 0.5 * t, S = 0.5 * twoS;
    State next = spin_squared(out, norb);
    add(next, out, -St * (St + 1));
    out = scaled(next, 1.0 / (S * (S + 1) - St * (St + 1)));
  }
  return out;
}

// σ_v: φ_{+M} ↔ φ_{−M} (same radial function, e^{±iMφ}), spins kept.
State reflect(const State& s, const Space& sp) {
  State out;
  for (const auto& [det, c] : s) {
    State d{{0, c}};
    for (int p = 63; p >= 0; --p) {
      if (!(det >> p & 1)) continue;
      const Orbital o = sp.orb[static_cast<size_t>(p / 2)];
      const int image = sp.find(o.shell, -o.sign);  // σ and ψ: no image, themselves
      d = create(2 * (image >= 0 ? image : p / 2) + (p & 1), d);
    }
    add(out, d, 1.0);
  }
  return out;
}

State project_reflection(const State& s, const Space& sp, char sign) {
  State out = s;
  add(out, reflect(s, sp), sign == '+' ? 1.0 : -1.0);
  return scaled(out, 0.5);
}

// The one state that the seeds project onto (normalised), checked to be
// unique up to sign; empty when every projection vanishes.
State unique_projection(const std::vector<State>& projected) {
  State first;
  for (const State& p : projected) {
    const State u = normalised(p);
    if (u.empty()) continue;
    if (first.empty()) {
      first = u;
      continue;
    }
    EXPECT_NEAR(std::abs(dot(first, u)), 1.0, 1e-10) << "a term occurs twice in the space of the seeds";
  }
  return first;
}

struct Term {
  int twoS, lambda;
  char sign;
};

struct Molecule {
  std::string name;
  chan::Neutral neutral;
  Term term;  // the neutral's (closed shells: 0, 0, '+')
};

// The neutral's component of projection c·Λ with M_S = S, S − 1, … −S:
// every distribution of the open shell's electrons with that projection and
// M_S = S, projected on the spin and (Σ) the reflection.
std::vector<State> neutral_states(const Molecule& m, const Space& sp, int c) {
  const auto& sh = m.neutral.shells;
  uint64_t core = 0;
  std::vector<int> open_so;
  for (size_t i = 0; i + 1 < sp.orb.size(); ++i) {
    const int s = sp.orb[i].shell;
    if (s == m.neutral.open) {
      open_so.push_back(static_cast<int>(2 * i));
      open_so.push_back(static_cast<int>(2 * i + 1));
    } else {
      core |= uint64_t{3} << (2 * i);
    }
  }
  const int q = m.neutral.open ? sh[static_cast<size_t>(m.neutral.open - 1)].electrons : 0;
  const int Mo = m.neutral.open ? sh[static_cast<size_t>(m.neutral.open - 1)].M : 0;
  std::vector<State> seeds;
  for (uint64_t pick = 0; pick < (uint64_t{1} << open_so.size()); ++pick) {
    if (__builtin_popcountll(pick) != q) continue;
    uint64_t det = core;
    int proj = 0;
    for (size_t k = 0; k < open_so.size(); ++k) {
      if (!(pick >> k & 1)) continue;
      det |= uint64_t{1} << open_so[k];
      proj += sp.orb[static_cast<size_t>(open_so[k] / 2)].sign * Mo;
    }
    if (proj != c * m.term.lambda || twice_Sz(det) != m.term.twoS) continue;
    State p = project_spin(State{{det, 1.0}}, static_cast<int>(sp.orb.size()), m.term.twoS);
    if (m.term.lambda == 0) p = project_reflection(p, sp, m.term.sign);
    seeds.push_back(p);
  }
  std::vector<State> out{unique_projection(seeds)};
  EXPECT_FALSE(out[0].empty()) << m.name << ": no neutral state";
  for (int k = 0; k < m.term.twoS; ++k)
    out.push_back(normalised(ladder(out.back(), static_cast<int>(sp.orb.size()), true)));
  return out;
}

// The field of ψ read from the energy ⟨Ψ|H|Ψ⟩ = Σ h_pq⟨a†_p a_q⟩ +
// ½ Σ ⟨pq|rs⟩⟨a†_p a†_q a_s a_r⟩: the coefficients of J(ψ,a) = ⟨ψa|ψa⟩ and
// K(ψ,a) = ⟨ψa|aψ⟩ per spatial orbital, of h_ψψ, and the largest
// coefficient of any other integral that holds ψ.
struct Field {
  std::vector<double> J, K;
  double h = 0.0, other = 0.0;
};

Field read_field(const State& psi_state, const Space& sp) {
  const int nso = 2 * static_cast<int>(sp.orb.size());
  std::map<std::pair<int, int>, State> pairs;  // a_s a_r Ψ
  for (int r = 0; r < nso; ++r)
    for (int s = 0; s < nso; ++s)
      if (r != s) {
        State x = annihilate(s, annihilate(r, psi_state));
        if (!x.empty()) pairs[{r, s}] = x;
      }
  std::map<std::tuple<int, int, int, int>, double> label;
  for (const auto& [pq, bra] : pairs) {
    for (const auto& [rs, ket] : pairs) {
      const auto [p, q] = pq;
      const auto [r, s] = rs;
      if ((p & 1) != (r & 1) || (q & 1) != (s & 1)) continue;
      const double g = dot(bra, ket);  // ⟨a_q a_p Ψ|a_s a_r Ψ⟩ with bra = a_q a_p Ψ
      if (std::abs(g) < 1e-15) continue;
      int P = p / 2, Q = q / 2, R = r / 2, S = s / 2;
      if (P != sp.psi && Q != sp.psi && R != sp.psi && S != sp.psi) continue;
      if (P != sp.psi && Q == sp.psi) std::swap(P, Q), std::swap(R, S);
      label[{P, Q, R, S}] += 0.5 * g;
    }
  }
  Field f;
  f.J.assign(sp.orb.size(), 0.0);
  f.K.assign(sp.orb.size(), 0.0);
  for (const auto& [k, c] : label) {
    const auto [P, Q, R, S] = k;
    if (P == sp.psi && R == sp.psi && Q == S && Q != sp.psi) {
      f.J[static_cast<size_t>(Q)] += c;
    } else if (P == sp.psi && S == sp.psi && Q == R && Q != sp.psi) {
      f.K[static_cast<size_t>(Q)] += c;
    } else {
      f.other = std::max(f.other, std::abs(c));
    }
  }
  for (int sigma = 0; sigma < 2; ++sigma)
    f.h += dot(psi_state, create(2 * sp.psi + sigma, annihilate(2 * sp.psi + sigma, psi_state)));
  return f;
}

// One arrangement as the determinants give it: the neutral's component c,
// the ion's projection, the field and the weight.
struct OracleArrangement {
  int projection = 0;
  double weight = 0.0;
  Field field;
};

// The ionic term t reached through the hole +M_h from each component of the
// neutral: the ion from the seeds a_hσ·Ψ₀ (the parent kept), projected on
// S_I, M_S = S_I and (Σ) the reflection; ψ added and the pair projected on
// the neutral's S.
std::vector<OracleArrangement> oracle(const Molecule& m, int hole, const Term& t) {
  const Space sp(m.neutral.shells);
  const int norb = static_cast<int>(sp.orb.size());
  const int Mh = m.neutral.shells[static_cast<size_t>(hole - 1)].M;
  const int h = sp.find(hole, +1);
  const int comps = m.term.lambda > 0 ? 2 : 1;
  const int twoS = m.term.twoS;
  std::vector<OracleArrangement> out;
  if (std::abs(t.twoS - twoS) != 1) return out;
  for (int c : {+1, -1}) {
    if (c < 0 && comps == 1) break;
    const int P = c * m.term.lambda - Mh;
    if (std::abs(P) != t.lambda) continue;
    const std::vector<State> neutral = neutral_states(m, sp, c);
    std::vector<State> seeds;
    for (const State& n : neutral) {
      for (int sigma = 0; sigma < 2; ++sigma) {
        State ion = annihilate(2 * h + sigma, n);
        if (ion.empty() || twice_Sz(ion.begin()->first) != t.twoS) continue;
        if (t.lambda == 0) ion = project_reflection(ion, sp, t.sign);
        seeds.push_back(project_spin(ion, norb, t.twoS));
      }
    }
    const State ion = unique_projection(seeds);
    if (ion.empty()) continue;
    // S = S_I ± ½ with M_S = S: ψα above the ion's spin, ψβ below it.
    const int sigma = twoS > t.twoS ? 0 : 1;
    std::vector<State> final_states{normalised(project_spin(create(2 * sp.psi + sigma, ion), norb, twoS))};
    for (int k = 0; k < twoS; ++k) final_states.push_back(normalised(ladder(final_states.back(), norb, true)));
    OracleArrangement a;
    a.projection = P;
    double sum = 0.0;
    for (size_t k = 0; k < neutral.size(); ++k) {
      State d;
      for (int s = 0; s < 2; ++s) add(d, create(2 * sp.psi + s, annihilate(2 * h + s, neutral[k])), 1.0);
      const double amp = dot(final_states[k], d);
      sum += amp * amp;
    }
    a.weight = sum / (2.0 * comps * (twoS + 1));
    a.field = read_field(final_states[0], sp);
    out.push_back(a);
  }
  return out;
}

// The molecules: valence shells of O2, NO, CN and N2, and open shells
// that exercise the other rows (π³, π² singlets, δ¹).
std::vector<Molecule> molecules() {
  return {
      {"O2 X3Sg-", {{{0, 2}, {0, 2}, {1, 4}, {1, 2}}, 4, "3S-"}, {2, 0, '-'}},
      {"NO X2P", {{{0, 2}, {1, 4}, {0, 2}, {1, 1}}, 4, "2P"}, {1, 1, ' '}},
      {"CN X2S+", {{{0, 2}, {1, 4}, {0, 1}}, 3, "2S+"}, {1, 0, '+'}},
      {"N2 X1Sg+", {{{0, 2}, {1, 4}, {0, 2}}, 0, ""}, {0, 0, '+'}},
      {"pi3 2P", {{{0, 2}, {1, 4}, {1, 3}}, 3, "2P"}, {1, 1, ' '}},
      {"pi2 1D", {{{0, 2}, {1, 4}, {1, 2}}, 3, "1D"}, {0, 2, ' '}},
      {"pi2 1S+", {{{0, 2}, {1, 4}, {1, 2}}, 3, "1S+"}, {0, 0, '+'}},
      {"delta1 2D", {{{0, 2}, {1, 4}, {2, 1}}, 3, "2D"}, {1, 2, ' '}},
  };
}

// Every term the determinants could give: 2S+1 up to 5, Λ up to 4.
std::vector<Term> candidate_terms() {
  std::vector<Term> v;
  for (int twoS = 0; twoS <= 4; ++twoS)
    for (int L = 0; L <= 4; ++L) {
      if (L == 0) {
        v.push_back({twoS, 0, '+'});
        v.push_back({twoS, 0, '-'});
      } else {
        v.push_back({twoS, L, ' '});
      }
    }
  return v;
}

IonTerm ion_term(const Term& t) { return {t.twoS + 1, t.lambda, t.sign}; }

TEST(IonCoupling, FieldsAndWeightsAgreeWithDeterminants) {
  for (const Molecule& m : molecules()) {
    const int NSH = static_cast<int>(m.neutral.shells.size());
    const Space sp(m.neutral.shells);
    for (int hole = 1; hole <= NSH; ++hole) {
      const chan::IonicTerms listed = chan::ionic_terms(m.neutral, hole);
      ASSERT_EQ(listed.reason, "") << m.name;
      size_t reached = 0;
      for (const Term& t : candidate_terms()) {
        const std::string where = m.name + ", hole " + std::to_string(hole) + ", " + chan::term_name(ion_term(t));
        const std::vector<OracleArrangement> want = oracle(m, hole, t);
        const chan::IonCoupling got = chan::couple_photoelectron(m.neutral, hole, ion_term(t));
        if (want.empty()) {
          EXPECT_NE(got.reason, "") << where << ": the determinants reach no such ionic state";
          continue;
        }
        ++reached;
        ASSERT_EQ(got.reason, "") << where;
        ASSERT_EQ(got.arrangements.size(), want.size()) << where;
        EXPECT_EQ(got.neutral_multiplicity, m.term.twoS + 1) << where;
        for (const OracleArrangement& w : want) {
          const chan::Arrangement* a = nullptr;
          for (const auto& g : got.arrangements)
            if (g.ion_projection == w.projection) a = &g;
          ASSERT_NE(a, nullptr) << where << ", ion projection " << w.projection;
          EXPECT_NEAR(a->weight, w.weight, kTol) << where;
          EXPECT_NEAR(w.field.h, 1.0, kTol) << where;
          EXPECT_LT(w.field.other, kTol) << where << ": an integral other than J and K holds ψ";
          for (int s = 1; s <= NSH; ++s) {
            const int plus = sp.find(s, +1), minus = sp.find(s, -1);
            const double J =
                w.field.J[static_cast<size_t>(plus)] + (minus >= 0 ? w.field.J[static_cast<size_t>(minus)] : 0.0);
            const double Kp = w.field.K[static_cast<size_t>(plus)];
            const double Km = minus >= 0 ? w.field.K[static_cast<size_t>(minus)] : 0.0;
            const chan::ShellField& f = a->field[static_cast<size_t>(s - 1)];
            EXPECT_NEAR(f.direct, J, kTol) << where << ", shell " << s;
            EXPECT_NEAR(f.exchange, Kp, kTol) << where << ", shell " << s;
            EXPECT_NEAR(f.partner, Km, kTol) << where << ", shell " << s;
          }
        }
        bool in_list = false;
        for (const auto& lt : listed.terms) in_list = in_list || lt.term == ion_term(t);
        EXPECT_TRUE(in_list) << where << " missing from ionic_terms";
      }
      EXPECT_EQ(listed.terms.size(), reached) << m.name << ", hole " << hole;
    }
  }
}

// Summed over the terms of one hole the weights give the hole orbital's
// occupation per place (1, or q/N for the open shell), each term in
// proportion to its degeneracy (2S_I + 1)·(2 − δ_Λ0) — the high-energy
// multiplet ratios, e.g. O2 3σg⁻¹ ⁴Σ⁻ : ²Σ⁻ = 2 : 1.  Every term's direct
// field is that of the uncoupled ion (each shell's electrons, one fewer in
// the hole's shell) and the closed shells exchange as in 2J − K.
TEST(IonCoupling, SpinSumsGiveTheUncoupledIon) {
  for (const Molecule& m : molecules()) {
    const auto& shells = m.neutral.shells;
    for (int hole = 1; hole <= static_cast<int>(shells.size()); ++hole) {
      const std::string where = m.name + ", hole " + std::to_string(hole);
      const chan::NeutralShell& hs = shells[static_cast<size_t>(hole - 1)];
      const double occupation = hs.electrons / (hs.M == 0 ? 2.0 : 4.0);
      const chan::IonicTerms terms = chan::ionic_terms(m.neutral, hole);
      double total = 0.0, per_state = -1.0;
      for (const auto& t : terms.terms) {
        total += t.weight;
        const double r = t.weight / (t.term.multiplicity * (t.term.lambda > 0 ? 2.0 : 1.0));
        if (per_state < 0) per_state = r;
        EXPECT_NEAR(r, per_state, kTol) << where << ", " << chan::term_name(t.term);
        const chan::IonCoupling c = chan::couple_photoelectron(m.neutral, hole, t.term);
        for (const auto& a : c.arrangements) {
          for (size_t s = 0; s < shells.size(); ++s) {
            const double left = shells[s].electrons - (static_cast<int>(s) + 1 == hole ? 1.0 : 0.0);
            EXPECT_NEAR(a.field[s].direct, left, kTol) << where << ", shell " << s + 1;
            const bool closed = static_cast<int>(s) + 1 != hole && static_cast<int>(s) + 1 != m.neutral.open;
            if (closed) {
              EXPECT_NEAR(a.field[s].exchange, -1.0, kTol) << where;
              EXPECT_NEAR(a.field[s].partner, shells[s].M > 0 ? -1.0 : 0.0, kTol) << where;
            }
          }
        }
      }
      EXPECT_NEAR(total, occupation, kTol) << where;
    }
  }
}

// The two cases the continuum program solves today: a closed-shell
// molecule (the hole's orbital +K, every other orbital −K, the hole's shell
// one electron short: 2J − K − J_h + 2K_h), and the open shell of one
// electron ionised (the closed shells' field alone, q/N of the full shell).
TEST(IonCoupling, ReproducesThePresentStaticExchange) {
  const chan::Neutral n2{{{0, 2}, {1, 4}, {0, 2}}, 0, ""};
  for (int hole : {1, 2, 3}) {
    const int Mh = n2.shells[static_cast<size_t>(hole - 1)].M;
    const chan::IonCoupling c = chan::couple_photoelectron(n2, hole, {2, Mh, Mh == 0 ? '+' : ' '});
    ASSERT_EQ(c.reason, "");
    ASSERT_EQ(c.arrangements.size(), 1u);
    EXPECT_EQ(c.arrangements[0].weight, 1.0);
    EXPECT_EQ(c.arrangements[0].ion_projection, -Mh);
    for (int s = 1; s <= 3; ++s) {
      const auto& f = c.arrangements[0].field[static_cast<size_t>(s - 1)];
      const int M = n2.shells[static_cast<size_t>(s - 1)].M;
      EXPECT_EQ(f.direct, (M == 0 ? 2.0 : 4.0) - (s == hole ? 1.0 : 0.0));
      EXPECT_EQ(f.exchange, s == hole ? 1.0 : -1.0);
      EXPECT_EQ(f.partner, M > 0 ? -1.0 : 0.0);
    }
  }
  struct Case {
    chan::Neutral neutral;
    double weight;
  } cases[] = {{{{{0, 2}, {1, 4}, {0, 2}, {1, 1}}, 4, "2P"}, 0.25}, {{{{0, 2}, {1, 4}, {0, 1}}, 3, "2S"}, 0.5}};
  for (const Case& k : cases) {
    const chan::IonCoupling c = chan::couple_photoelectron(k.neutral, k.neutral.open, {1, 0, '+'});
    ASSERT_EQ(c.reason, "");
    ASSERT_EQ(c.arrangements.size(), 1u);
    EXPECT_EQ(c.arrangements[0].weight, k.weight);
    for (size_t s = 0; s < k.neutral.shells.size(); ++s) {
      const auto& f = c.arrangements[0].field[s];
      const bool open = static_cast<int>(s) + 1 == k.neutral.open;
      EXPECT_EQ(f.direct, open ? 0.0 : k.neutral.shells[s].electrons);
      EXPECT_EQ(f.exchange, open ? 0.0 : -1.0);
    }
  }
}

TEST(IonCoupling, RefusedCasesNameTheirReason) {
  const chan::Neutral o2{{{0, 2}, {0, 2}, {1, 4}, {1, 2}}, 4, "3S-"};
  struct Case {
    chan::Neutral neutral;
    int hole;
    IonTerm term;
    std::string why;
  } cases[] = {
      {o2, 3, {2, 3, ' '}, "has the term 2F only with another parent term of the open shell"},
      {o2,
       2,
       {4, 0, '+'},
       "the configuration has no term 4S+; with the neutral's parent kept the hole in shell 2 "
       "reaches 4S-, 2S-"},
      {o2, 2, {4, 0, ' '}, "needs its sign"},
      {o2, 5, {2, 1, ' '}, "the hole shell 5 is not one of the shells 1 to 4"},
      {{{{0, 2}, {1, 4}, {0, 1}, {1, 1}}, 4, "2P"}, 2, {3, 1, ' '}, "three open shells in the ion"},
      {{{{0, 2}, {1, 3}}, 0, ""}, 1, {2, 0, '+'}, "no open shell is named"},
      {{{{0, 2}, {1, 2}}, 2, "3P"}, 1, {4, 0, '-'}, "'3P' is not a term of 2 electrons in a shell of M = 1"},
      {{{{0, 2}, {1, 4}}, 2, "2P"}, 1, {2, 0, '+'}, "the open shell 2 holds 1 to 3 electrons, not 4"},
  };
  for (const Case& c : cases) {
    const chan::IonCoupling r = chan::couple_photoelectron(c.neutral, c.hole, c.term);
    EXPECT_TRUE(r.arrangements.empty()) << c.why;
    EXPECT_NE(r.reason.find(c.why), std::string::npos) << r.reason;
  }
}

}  // namespace

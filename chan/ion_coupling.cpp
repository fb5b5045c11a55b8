#include "chan/ion_coupling.hpp"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "lib/term_symbols.hpp"

namespace chan {

// Named, not anonymous: the library is compiled in unity batches.
namespace ion_coupling_rules {

const char* const kLetters = lib::kLambdaLetters;
constexpr int kMaxLambda = 6;

int full(int M) { return M == 0 ? 2 : 4; }

std::string list_names(const std::vector<IonTerm>& terms) {
  std::string s;
  for (const IonTerm& t : terms) s += (s.empty() ? "" : ", ") + term_name(t);
  return s;
}

// The terms of q electrons in a shell of projection M (q = 0 or full: ¹Σ⁺).
std::vector<IonTerm> shell_terms(int M, int q) {
  if (q == 0 || q == full(M)) return {{1, 0, '+'}};
  if (q == 1 || q == 3) return {{2, M, M == 0 ? '+' : ' '}};
  return {{3, 0, '-'}, {1, 2 * M, ' '}, {1, 0, '+'}};  // π², δ², …
}

// The neutral's open shell in its component +Λ: spin S_o (as 2S_o), Λ,
// Σ sign, and per orbital (+M, −M) its electrons and its share
// d_a = ⟨S_a·S_o⟩/(S_o(S_o+1)) of the shell's spin.
struct OpenShellTerm {
  int twoS = 0, lambda = 0;
  char sign = '+';
  std::array<double, 2> n{}, share{};
};

// Two shells' orbitals in the ion: electrons and spin share c_a of each of
// the orbitals +M (0) and −M (1).
struct Orbitals {
  std::array<double, 2> n{}, c{};
};

// One ionic state met through the hole +M_h: its term, projection, weight,
// the ion's spin and every shell's orbitals; mirrored: a Σ± sum of this
// component and its reflection.
struct IonState {
  IonTerm term;
  int projection = 0;
  double weight = 0.0;
  int twoSI = 0;
  std::vector<Orbitals> shells;
  bool mirrored = false;
};

struct Setup {
  std::string reason;
  OpenShellTerm open;
  int twoS = 0;  // the neutral's 2S
};

std::string check_shells(const Neutral& nt) {
  const int NSH = static_cast<int>(nt.shells.size());
  if (NSH == 0) return "the neutral has no shells";
  if (nt.open < 0 || nt.open > NSH)
    return "the open shell " + std::to_string(nt.open) + " is not one of the shells 1 to " + std::to_string(NSH);
  for (int s = 1; s <= NSH; ++s) {
    const NeutralShell& sh = nt.shells[static_cast<size_t>(s - 1)];
    if (sh.M < 0 || sh.M > kMaxLambda)
      return "shell " + std::to_string(s) + " has M = " + std::to_string(sh.M) + " (0 to 6)";
    const int N = full(sh.M);
    if (s == nt.open) {
      if (sh.electrons < 1 || sh.electrons >= N)
        return "the open shell " + std::to_string(s) + " holds 1 to " + std::to_string(N - 1) + " electrons, not " +
               std::to_string(sh.electrons);
    } else if (sh.electrons != N) {
      return "shell " + std::to_string(s) + " holds " + std::to_string(sh.electrons) + " of " + std::to_string(N) +
             " electrons" +
             (nt.open != 0 ? ": a second open shell in the neutral, three open shells in the ion, whose coupling "
                             "this model does not describe"
                           : ", but no open shell is named");
    }
  }
  return "";
}

// The open shell's term, from its spelling, with its orbitals in the
// component +Λ:
//   σ¹, π¹ … ²Λ: the orbital +M singly;   π³ ²Π: +M doubly, −M singly;
//   π² ³Σ⁻: both singly, each half the spin;  π² ¹Σ⁺: both singly;
//   π² ¹Δ (δ² ¹Γ): +M doubly.
Setup read_neutral(const Neutral& nt) {
  Setup su;
  su.reason = check_shells(nt);
  if (!su.reason.empty() || nt.open == 0) return su;
  const NeutralShell& o = nt.shells[static_cast<size_t>(nt.open - 1)];
  const std::optional<IonTerm> p = read_term(nt.term);
  const std::vector<IonTerm> terms = shell_terms(o.M, o.electrons);
  for (const IonTerm& t : terms) {
    if (!p) break;
    const bool sign_ok = p->sign == t.sign || (o.M == 0 && p->sign == ' ');  // σ¹: '2S' or '2S+'
    if (p->multiplicity != t.multiplicity || p->lambda != t.lambda || !sign_ok) continue;
    OpenShellTerm& T = su.open;
    T.twoS = t.multiplicity - 1;
    T.lambda = t.lambda;
    T.sign = o.M == 0 ? '+' : t.sign;
    if (o.electrons == 1) {
      T.n = {1, 0};
      T.share = {1, 0};
    } else if (o.electrons == 3) {
      T.n = {2, 1};
      T.share = {0, 1};
    } else {
      T.n = t.lambda > 0 ? std::array<double, 2>{2, 0} : std::array<double, 2>{1, 1};
      if (t.multiplicity == 3) T.share = {0.5, 0.5};
    }
    su.twoS = T.twoS;
    return su;
  }
  su.reason = "'" + nt.term + "' is not a term of " + std::to_string(o.electrons) +
              " electrons in a shell of M = " + std::to_string(o.M) + " (its terms: " + list_names(terms) + ")";
  return su;
}

// Every shell's orbitals in the ion with the hole shell and the open shell
// left for the caller: closed shells doubly occupied, spin share 0.
std::vector<Orbitals> closed_orbitals(const Neutral& nt) {
  std::vector<Orbitals> v;
  for (const NeutralShell& sh : nt.shells) v.push_back({{2.0, sh.M > 0 ? 2.0 : 0.0}, {0.0, 0.0}});
  return v;
}

// The open shell's orbitals in the component sign·Λ (−: the mirror image).
Orbitals open_orbitals(const OpenShellTerm& T, int sign, double share_scale) {
  Orbitals o;
  const int a = sign > 0 ? 0 : 1;
  o.n = {T.n[a], T.n[1 - a]};
  o.c = {T.share[a] * share_scale, T.share[1 - a] * share_scale};
  return o;
}

// A hole in a closed shell h beside the open shell (or none).  The
// neutral's pair in the orbital +M_h is a singlet; the dipole leaves the
// hole's remaining electron and ψ singlet-coupled beside the open shell's
// S_o.  Recoupled to the ion's spin S_I = S_o ± ½, the share of S_I is
//   f(S_I) = (2S_I + 1)/(2(2S_o + 1))   (a 6j recoupling of three spins),
// the hole's electron carries c_h = [S_I(S_I+1) + ¾ − S_o(S_o+1)]/(2S_I(S_I+1))
// of the ion's spin and the open shell the rest, shared among its orbitals
// as in the neutral.  The ion's projection is ±Λ_o − M_h; when it is 0 with
// Λ_o = M_h > 0 the ion's Σ⁺ and Σ⁻ are the even and odd sums of this
// component and its reflection, each half of it.
std::vector<IonState> closed_hole_states(const Neutral& nt, int h, const Setup& su) {
  std::vector<IonState> out;
  const int Mh = nt.shells[static_cast<size_t>(h - 1)].M;
  const OpenShellTerm& T = su.open;
  const double So = 0.5 * T.twoS;
  const int comps = T.lambda > 0 ? 2 : 1;
  for (int sign : {+1, -1}) {
    if (sign < 0 && comps == 1) break;
    const int P = sign * T.lambda - Mh;
    for (int twoSI : {T.twoS + 1, T.twoS - 1}) {
      if (twoSI < 0) continue;
      const double SI = 0.5 * twoSI;
      const double f = (twoSI + 1.0) / (2.0 * (T.twoS + 1.0));
      const double ch = SI > 0 ? (SI * (SI + 1) + 0.75 - So * (So + 1)) / (2 * SI * (SI + 1)) : 0.0;
      IonState st;
      st.projection = P;
      st.twoSI = twoSI;
      st.shells = closed_orbitals(nt);
      st.shells[static_cast<size_t>(h - 1)] = {{1.0, Mh > 0 ? 2.0 : 0.0}, {ch, 0.0}};
      if (nt.open != 0) st.shells[static_cast<size_t>(nt.open - 1)] = open_orbitals(T, sign, 1.0 - ch);
      st.term = {twoSI + 1, std::abs(P), ' '};
      st.weight = f / comps;
      if (P == 0 && Mh == 0) {  // σ hole in a Σ neutral: the ion's Σ has the open shell's sign
        st.term.sign = T.sign;
        out.push_back(st);
      } else if (P == 0) {
        st.mirrored = true;
        st.weight = 0.5 * f / comps;
        for (char s : {'+', '-'}) {
          st.term.sign = s;
          out.push_back(st);
        }
      } else {
        out.push_back(st);
      }
    }
  }
  return out;
}

// A hole in the open shell o itself (q electrons, orbital +M_o): the ion is
// o^{q−1} with the closed shells.
//   q = 1:     closed ion ¹Σ⁺, weight 1/(2·components) = q/N;
//   π² ³Σ⁻:    ²Π, the electron left in −M (spin share 1), weight ½;
//   π² ¹Σ⁺:    ²Π, the same orbital, weight ½;
//   π² ¹Δ:     ²Π from the component +2M (+M keeps one electron), weight ½;
//   π³ ²Π, +Λ: π₊π₋ as ³Σ⁻ (shares ½, ½; weight 3/8) or ¹Σ⁺ (1/8), the
//              hole's pair recoupled as for a closed shell (f = ¾, ¼);
//   π³ ²Π, −Λ: π₋² ¹Δ, weight ¼.
// (δ the same with Δ → Γ.)
std::vector<IonState> open_hole_states(const Neutral& nt, const Setup& su) {
  std::vector<IonState> out;
  const int o = nt.open, M = nt.shells[static_cast<size_t>(o - 1)].M,
            q = nt.shells[static_cast<size_t>(o - 1)].electrons;
  const OpenShellTerm& T = su.open;
  auto state = [&](IonTerm t, int P, double w, int twoSI, Orbitals orb) {
    IonState st;
    st.term = t;
    st.projection = P;
    st.weight = w;
    st.twoSI = twoSI;
    st.shells = closed_orbitals(nt);
    st.shells[static_cast<size_t>(o - 1)] = orb;
    out.push_back(st);
  };
  if (q == 1) {
    state({1, 0, '+'}, 0, T.lambda > 0 ? 0.25 : 0.5, 0, {});
  } else if (q == 2 && T.lambda == 0) {
    state({2, M, ' '}, -M, 0.5, 1, {{0.0, 1.0}, {0.0, 1.0}});
  } else if (q == 2) {
    state({2, M, ' '}, M, 0.5, 1, {{1.0, 0.0}, {1.0, 0.0}});
  } else {
    state({3, 0, '-'}, 0, 0.375, 2, {{1.0, 1.0}, {0.5, 0.5}});
    state({1, 0, '+'}, 0, 0.125, 0, {{1.0, 1.0}, {0.0, 0.0}});
    state({1, 2 * M, ' '}, -2 * M, 0.25, 0, {{0.0, 2.0}, {0.0, 0.0}});
  }
  return out;
}

// x_a = −½·n_a − 2·c_a·⟨s_ψ·S_I⟩ for each orbital; J_s counts the shell's
// electrons.  A mirrored (Σ±) state takes the mean of its component and the
// reflection, which exchanges the orbitals +M and −M of every π, δ shell.
Arrangement field_of(const Neutral& nt, const IonState& st, int twoS) {
  const double S = 0.5 * twoS, SI = 0.5 * st.twoSI;
  const double s_dot = 0.5 * (S * (S + 1) - SI * (SI + 1) - 0.75);
  Arrangement a;
  a.ion_projection = st.projection;
  a.weight = st.weight;
  for (size_t s = 0; s < st.shells.size(); ++s) {
    const Orbitals& o = st.shells[s];
    ShellField f;
    f.direct = o.n[0] + o.n[1];
    f.exchange = -0.5 * o.n[0] - 2.0 * o.c[0] * s_dot;
    f.partner = -0.5 * o.n[1] - 2.0 * o.c[1] * s_dot;
    if (st.mirrored && nt.shells[s].M > 0) f.exchange = f.partner = 0.5 * (f.exchange + f.partner);
    f.exchange += 0.0;  // an empty orbital's −0 written as 0
    f.partner += 0.0;
    a.field.push_back(f);
  }
  return a;
}

// Every term of the ion's configuration, whatever the open shell's parent:
// each term of o^q coupled to the hole's ²Λ_h, or the terms of o^{q−1}.
std::vector<IonTerm> configuration_terms(const Neutral& nt, int h) {
  const int Mh = nt.shells[static_cast<size_t>(h - 1)].M;
  if (nt.open == 0) return {{2, Mh, Mh == 0 ? '+' : ' '}};
  const NeutralShell& o = nt.shells[static_cast<size_t>(nt.open - 1)];
  if (h == nt.open) return shell_terms(o.M, o.electrons - 1);
  std::vector<IonTerm> out;
  for (const IonTerm& p : shell_terms(o.M, o.electrons)) {
    for (int mult : {p.multiplicity + 1, p.multiplicity - 1}) {
      if (mult < 1) continue;
      if (p.lambda == 0 && Mh == 0) out.push_back({mult, 0, p.sign});
      if (p.lambda == 0 && Mh > 0) out.push_back({mult, Mh, ' '});
      if (p.lambda > 0 && Mh == 0) out.push_back({mult, p.lambda, ' '});
      if (p.lambda > 0 && Mh > 0) {
        out.push_back({mult, p.lambda + Mh, ' '});
        if (p.lambda != Mh) out.push_back({mult, std::abs(p.lambda - Mh), ' '});
        if (p.lambda == Mh) {
          out.push_back({mult, 0, '+'});
          out.push_back({mult, 0, '-'});
        }
      }
    }
  }
  return out;
}

struct Reached {
  std::string reason;
  std::vector<IonState> states;
  int twoS = 0;
};

Reached reach(const Neutral& nt, int hole) {
  Reached r;
  const Setup su = read_neutral(nt);
  r.reason = su.reason;
  if (!r.reason.empty()) return r;
  const int NSH = static_cast<int>(nt.shells.size());
  if (hole < 1 || hole > NSH) {
    r.reason = "the hole shell " + std::to_string(hole) + " is not one of the shells 1 to " + std::to_string(NSH);
    return r;
  }
  r.twoS = su.twoS;
  r.states = hole == nt.open ? open_hole_states(nt, su) : closed_hole_states(nt, hole, su);
  for (const IonState& st : r.states) {
    if (st.term.lambda > kMaxLambda) {
      r.reason = "the ion's term of Λ = " + std::to_string(st.term.lambda) + " has no letter here (Λ up to 6)";
      r.states.clear();
      return r;
    }
  }
  return r;
}

}  // namespace ion_coupling_rules

std::string term_name(const IonTerm& t) {
  std::string s = std::to_string(t.multiplicity);
  s += t.lambda >= 0 && t.lambda <= ion_coupling_rules::kMaxLambda
           ? std::string(1, ion_coupling_rules::kLetters[t.lambda])
           : "(Lambda=" + std::to_string(t.lambda) + ")";
  if (t.sign != ' ') s += t.sign;
  return s;
}

std::optional<IonTerm> read_term(const std::string& text) {
  const lib::TermSymbol s = lib::parse_term_symbol(text);
  if (!s.ok) return std::nullopt;
  return IonTerm{s.multiplicity, s.lambda, s.sign};
}

IonCoupling couple_photoelectron(const Neutral& neutral, int hole, const IonTerm& term) {
  namespace r = ion_coupling_rules;
  IonCoupling c;
  c.term = term;
  const r::Reached got = r::reach(neutral, hole);
  c.reason = got.reason;
  if (!c.reason.empty()) return c;
  c.neutral_multiplicity = got.twoS + 1;
  std::vector<IonTerm> reached;
  for (const r::IonState& st : got.states) {
    if (st.term == term) c.arrangements.push_back(r::field_of(neutral, st, got.twoS));
    bool listed = false;
    for (const IonTerm& t : reached) listed = listed || t == st.term;
    if (!listed) reached.push_back(st.term);
  }
  if (!c.arrangements.empty()) return c;
  const std::string name = term_name(term);
  bool in_configuration = false;
  for (const IonTerm& t : r::configuration_terms(neutral, hole)) in_configuration = in_configuration || t == term;
  if (term.lambda == 0 && term.sign == ' ') {
    c.reason = "the Σ term '" + name + "' needs its sign, + or -";
  } else if (in_configuration) {
    c.reason = "the ion's configuration has the term " + name + " only with another parent term of the open shell " +
               "than the neutral's '" + neutral.term + "'; the frozen one-hole ion keeps that parent and reaches " +
               r::list_names(reached);
  } else {
    c.reason = "the configuration has no term " + name + "; with the neutral's parent kept the hole in shell " +
               std::to_string(hole) + " reaches " + r::list_names(reached);
  }
  return c;
}

IonicTerms ionic_terms(const Neutral& neutral, int hole) {
  const ion_coupling_rules::Reached got = ion_coupling_rules::reach(neutral, hole);
  IonicTerms out;
  out.reason = got.reason;
  for (const ion_coupling_rules::IonState& st : got.states) {
    bool added = false;
    for (IonicTermWeight& t : out.terms) {
      if (t.term == st.term) {
        t.weight += st.weight;
        added = true;
      }
    }
    if (!added) out.terms.push_back({st.term, st.weight});
  }
  return out;
}

}  // namespace chan

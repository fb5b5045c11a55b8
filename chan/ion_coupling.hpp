// The photoelectron coupled to an open-shell ion: the coefficients of its
// static-exchange equation and the weight of each ionic term.
//
// The neutral is closed shells and at most one open shell o (q electrons,
// one term).  One electron leaves shell h; the ion keeps the neutral's
// orbitals, frozen, and the open shell keeps the neutral's term as its
// parent (one hole, no relaxation).  The photoelectron ψ (projection m,
// orthogonal to every occupied orbital of its symmetry) is coupled to an
// ionic term and the pair to the neutral's spin S.  Its equation is
//   [h + Σ_s direct_s·J_s + Σ_s (exchange_s·K_{s,+M} + partner_s·K_{s,−M})]ψ
//     = ε ψ + Lagrange terms,
// J_s the direct operator of one orbital of shell s (the orbitals ±M have
// one density), K_{s,±M} the exchange operators of its orbitals ±M_s.  With
// n_a the electrons of orbital a in the ion and S_I its spin, each orbital's
// exchange coefficient is
//   x_a = −½·n_a − 2·c_a·⟨s_ψ·S_I⟩,   ⟨s_ψ·S_I⟩ = ½[S(S+1) − S_I(S_I+1) − ¾],
// c_a = ⟨S_a·S_I⟩/(S_I(S_I+1)) the share of the ion's spin carried by the
// orbital (projection theorem): −1 for a filled orbital, 0 for an empty one.
// No term couples ψ to an occupied orbital: every determinant of the final
// state holds ψ once, so the energy is a quadratic form in ψ (docs/theory.md,
// "Photoelectron coupled to an open-shell ion").
//
// The frame is that of the suite's channels: the hole in the orbital +M_h.
// For a σ hole the neutral's two components ±Λ leave the ion in its two
// components ±Λ, each an arrangement of its own; so does a π hole, which
// meets the neutral's components +Λ and −Λ as different ionic terms.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace chan {

// A shell of the neutral: projection M ≥ 0 (σ 0, π 1, δ 2, …) and its
// electrons (2 for a full σ shell, 4 otherwise).
struct NeutralShell {
  int M = 0;
  int electrons = 0;
};

// The neutral: its shells (numbered from 1), the open shell (0: every shell
// full) and the open shell's term as the ground-state program spells it
// ('3S-', '2P', '1D', '1S+', '2Sigma+', '2Pi').
struct Neutral {
  std::vector<NeutralShell> shells;
  int open = 0;
  std::string term;
};

// A term: multiplicity 2S+1, Λ and, for Σ, its reflection sign '+' or '-'
// (' ' otherwise).
struct IonTerm {
  int multiplicity = 0;
  int lambda = 0;
  char sign = ' ';
  bool operator==(const IonTerm& o) const {
    return multiplicity == o.multiplicity && lambda == o.lambda && sign == o.sign;
  }
};

// '4S-', '2P', '3D': the spelling of the ground-state program's terms.
std::string term_name(const IonTerm& t);

// The term a spelling names: term_name's and the ground-state program's
// ('4S-', '3Sg-', '2Pi', '1Delta'; g or u is read and dropped); nullopt when
// the text is not a term.  A Σ without its sign keeps sign ' '.
std::optional<IonTerm> read_term(const std::string& text);

// Coefficients of one shell in the photoelectron's equation: direct·J_s +
// exchange·K_{s,+M} + partner·K_{s,−M} (σ: partner 0).
struct ShellField {
  double direct = 0.0, exchange = 0.0, partner = 0.0;
};

// One component of the ion met by the hole +M_h: its signed projection, its
// share of the hole shell's cross section, and the field, shell by shell.
// weight multiplies the channel of the hole +M_h as the suite counts it
// (two electrons in the orbital, the mirror channel the same): 1 for a
// closed-shell molecule, q/N summed over the terms of the open shell's hole.
// A Σ± term of a hole and an open shell of equal |M| is the even or odd
// sum of the components (+Λ, hole +M_h) and (−Λ, hole −M_h); its field is
// the mean of the two, symmetric under reflection.
struct Arrangement {
  int ion_projection = 0;
  double weight = 0.0;
  std::vector<ShellField> field;  // one per shell, in the order of Neutral::shells
};

// The photoelectron's equation for one ionic term.  reason empty: the
// arrangements; otherwise why the case is refused (naming the term).
struct IonCoupling {
  std::string reason;
  IonTerm term;
  int neutral_multiplicity = 0;
  std::vector<Arrangement> arrangements;
  double weight() const {
    double w = 0.0;
    for (const Arrangement& a : arrangements) w += a.weight;
    return w;
  }
};

IonCoupling couple_photoelectron(const Neutral& neutral, int hole, const IonTerm& term);

// The ionic terms a hole reaches with the neutral's parent kept, each with
// its weight (the high-energy share of the cross section, where the
// continuum functions of all terms become alike): the weights add up to
// the hole orbital's occupation per place, 1 for a closed shell, q/N for the
// open shell.
struct IonicTermWeight {
  IonTerm term;
  double weight = 0.0;
};
struct IonicTerms {
  std::string reason;
  std::vector<IonicTermWeight> terms;
};

IonicTerms ionic_terms(const Neutral& neutral, int hole);

}  // namespace chan

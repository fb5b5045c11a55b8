// Molecular term symbols as the programs spell them: '3S-', '3Sg-', '2Pi',
// '1Delta', '2P' — the multiplicity, Λ as a letter (S P D F G H I) or a
// name (Sigma, Sig, Pi, Delta, Del, Phi, Gamma, Gam), an optional g or u,
// and for Σ an optional reflection sign.
#pragma once

#include <string>

namespace lib {

// Λ = 0, 1, 2, … as the letters Σ Π Δ Φ Γ H I are written in a term.
inline constexpr const char* kLambdaLetters = "SPDFGHI";

struct TermSymbol {
  int multiplicity = 0;
  int lambda = -1;
  char sign = ' ';  // '+', '-' or ' '
  bool ok = false;  // false: the text is not a term
};

// Blanks around the text are ignored; g/u is read past (the caller knows
// the parity from the shells).
TermSymbol parse_term_symbol(const std::string& text);

}  // namespace lib

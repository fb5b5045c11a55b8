#include "lib/term_symbols.hpp"

#include <cctype>

namespace lib {

TermSymbol parse_term_symbol(const std::string& text) {
  TermSymbol p;
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i])))
    p.multiplicity = 10 * p.multiplicity + (text[i++] - '0');
  if (p.multiplicity == 0 || i >= n) return p;
  static const char* const names[] = {"Sigma", "Sig", "Pi", "Delta", "Del", "Phi", "Gamma", "Gam"};
  static const int lambdas[] = {0, 0, 1, 2, 2, 3, 4, 4};
  bool named = false;
  for (int k = 0; k < 8 && !named; ++k) {
    const std::string s = names[k];
    if (i + s.size() <= n && text.compare(i, s.size(), s) == 0) {
      p.lambda = lambdas[k];
      i += s.size();
      named = true;
    }
  }
  if (!named) {
    for (int k = 0; kLambdaLetters[k] != '\0'; ++k)
      if (text[i] == kLambdaLetters[k]) p.lambda = k;
    if (p.lambda < 0) return p;
    ++i;
  }
  if (i < n && (text[i] == 'g' || text[i] == 'u')) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) p.sign = text[i++];
  p.ok = i == n;
  return p;
}

}  // namespace lib

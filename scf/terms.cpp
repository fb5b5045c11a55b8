#include "scf/terms.hpp"

#include <cctype>

#include "lib/term_symbols.hpp"

namespace scf {

namespace {

double parity(int n) { return (n & 1) ? -1.0 : 1.0; }

const char* const kLambda = lib::kLambdaLetters;

struct Parsed {
  int mult = 0, lambda = -1;
  char sign = ' ';
  bool ok = false;
};

Parsed parse(const std::string& text) {
  const lib::TermSymbol t = lib::parse_term_symbol(text);
  return Parsed{t.multiplicity, t.lambda, t.sign, t.ok};
}

std::string name(int mult, int lambda, char sign) {
  std::string s = std::to_string(mult) + kLambda[lambda];
  if (sign != ' ') s += sign;
  return s;
}

}  // namespace

TermEnergy term_energy(int M, int q, const std::string& term) {
  TermEnergy e;
  const int full = full_shell(M);
  if (q < 1 || q >= full) {
    e.reason = "a shell of M = " + std::to_string(M) + " is open with 1 to " + std::to_string(full - 1) +
               " electrons, not " + std::to_string(q);
    return e;
  }
  if (M > 6) {
    e.reason = "projections above 6 have no term letters here";
    return e;
  }
  // The terms of the configuration, with α and β.
  struct Term {
    int mult, lambda;
    char sign;
    double alpha, beta;
  };
  std::vector<Term> terms;
  if (q == 1) terms.push_back({2, M, M == 0 ? '+' : ' ', 0.0, 0.0});
  if (q == 3) terms.push_back({2, M, ' ', 3.0, -1.0});
  if (q == 2 && 2 * M <= 6) {
    terms.push_back({3, 0, '-', 1.0, -1.0});
    terms.push_back({1, 2 * M, ' ', 1.0, 0.0});
    terms.push_back({1, 0, '+', 1.0, 1.0});
  }
  const Parsed p = parse(term);
  for (const Term& t : terms) {
    // A σ¹ term may be written with or without its +.
    const bool sign_ok = p.sign == t.sign || (M == 0 && p.sign == ' ');
    if (p.ok && p.mult == t.mult && p.lambda == t.lambda && sign_ok) {
      e.alpha = t.alpha;
      e.beta = t.beta;
      return e;
    }
  }
  std::string list;
  for (const Term& t : terms) list += (list.empty() ? "" : ", ") + name(t.mult, t.lambda, t.sign);
  e.reason = "'" + term + "' is not a term of " + std::to_string(q) +
             " electrons in a shell of M = " + std::to_string(M) + " (its terms: " + list + ")";
  return e;
}

std::string check_open_shell(lib::CIMat MLN, int NSH, const OpenShell& o) {
  if (o.shell == 0) return "";
  if (o.shell < 0 || o.shell > NSH)
    return "OPEN(1) = " + std::to_string(o.shell) + " is not a shell (1 to " + std::to_string(NSH) + ")";
  const TermEnergy e = term_energy(MLN(1, o.shell), o.electrons, o.term);
  if (!e.reason.empty()) return "OPEN, TERM: " + e.reason;
  return "";
}

// Coefficients of closed shells for the equation of shell I (projection MI)
// from shell J (projection MJ), sign convention included:
//   AHF = (−1)^MJ·N_J,  BHF = 1 (J σ), 2·(−1)^MJ (J not σ, I σ), (−1)^MJ (both not σ).
// An open shell J with q electrons acts on the others as q/N_J of a full one.
// The open shell's own equation has (2α/q)·J_o + (2β/q)·K_o′: with the
// partner weight w = −2β/q, the same-M exchange given the same weight (it
// equals the direct term on the shell's own orbital) and the direct
// coefficient 2α/q + w.
Coupling couple(lib::CIMat MLN, int NSH, const OpenShell& o) {
  Coupling c;
  c.NSH = NSH;
  c.open = o;
  c.AHF.assign(NSH * NSH, 0.0);
  c.BHF.assign(NSH * NSH, 0.0);
  c.PW.assign(NSH * NSH, 1.0);
  c.q.assign(NSH, 0.0);
  if (o.shell != 0) {
    const TermEnergy e = term_energy(MLN(1, o.shell), o.electrons, o.term);
    c.alpha = e.alpha;
    c.beta = e.beta;
  }
  for (int J = 1; J <= NSH; ++J) c.q[J - 1] = J == o.shell ? o.electrons : full_shell(MLN(1, J));
  for (int I = 1; I <= NSH; ++I) {
    const int MI = MLN(1, I);
    for (int J = 1; J <= NSH; ++J) {
      const int MJ = MLN(1, J);
      const double s = parity(MJ), NJ = full_shell(MJ);
      double a = s * NJ, b = MJ == 0 ? 1.0 : (MI == 0 ? 2.0 * s : s), w = 1.0;
      if (J == o.shell && I == o.shell) {
        const double q = o.electrons;
        w = MJ > 0 ? -2.0 * c.beta / q : 0.0;
        a = s * (2.0 * c.alpha / q + w);
        b = s * w;
        if (MJ == 0) a = b = 0.0;  // σ¹: no self-interaction
      } else if (J == o.shell) {
        const double f = o.electrons / NJ;
        a = s * o.electrons;
        b *= f;
        w = f;
      }
      c.AHF[(I - 1) * NSH + (J - 1)] = a;
      c.BHF[(I - 1) * NSH + (J - 1)] = b;
      c.PW[(I - 1) * NSH + (J - 1)] = w;
    }
  }
  return c;
}

}  // namespace scf

#include "diatom/ionic_terms.hpp"

#include "io/stop.hpp"

namespace diatom {

namespace {

const char* kLambdaLatin[] = {"S", "P", "D", "F", "G"};
const char* kLambdaGreek[] = {"Σ", "Π", "Δ", "Φ", "Γ"};
const char* kSuperscriptDigit[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};

// The g/u of the neutral: that of its open electrons (closed shells are g).
char neutral_parity(const Molecule& m) {
  if (!m.equal_nuclei) return 0;
  if (m.open < 0) return 'g';
  const Shell& o = m.shells[static_cast<size_t>(m.open)];
  return o.parity == 'u' && o.electrons() % 2 == 1 ? 'u' : 'g';
}

char product(char a, char b) { return a == 0 || b == 0 ? 0 : a == b ? 'g' : 'u'; }

// Λ beyond Γ (two δ holes) by its number.
std::string lambda_latin(int L) { return L >= 0 && L < 5 ? kLambdaLatin[L] : "L" + std::to_string(L); }
std::string lambda_greek(int L) { return L >= 0 && L < 5 ? kLambdaGreek[L] : "Λ" + std::to_string(L); }

std::string term_text(const chan::IonTerm& t, char parity) {
  std::string s = std::to_string(t.multiplicity) + lambda_latin(t.lambda);
  if (parity) s += parity;
  if (t.lambda == 0 && t.sign != ' ') s += t.sign;
  return s;
}

}  // namespace

bool hole_has_terms(const Molecule& m, int hole) {
  if (m.open < 0 || m.one_electron()) return false;
  return hole != m.open || m.shells[static_cast<size_t>(m.open)].electrons() > 1;
}

chan::Neutral coupling_neutral(const Molecule& m) {
  chan::Neutral n;
  for (const Shell& s : m.shells) n.shells.push_back({s.M, s.electrons()});
  n.open = m.open + 1;
  n.term = m.state;
  return n;
}

std::string IonicState::name(const Molecule& m) const {
  const std::string& shell_name = m.shells[static_cast<size_t>(shell)].name;
  return has_term() ? shell_name + "_" + term_text(term, parity) : shell_name;
}

std::string IonicState::label(const Molecule& m) const {
  const std::string& shell_name = m.shells[static_cast<size_t>(shell)].name;
  return has_term() ? shell_name + "^-1 " + term_text(term, parity) : shell_name;
}

std::string IonicState::pretty(const Molecule& m) const {
  const Shell& s = m.shells[static_cast<size_t>(shell)];
  std::string t = std::to_string(s.n) + lambda_greek(s.M) + (s.parity ? std::string(1, s.parity) : "");
  if (!has_term()) return t;
  t += "⁻¹ ";
  for (char d : std::to_string(term.multiplicity)) t += kSuperscriptDigit[d - '0'];
  t += lambda_greek(term.lambda);
  if (parity) t += parity;
  if (term.lambda == 0 && term.sign != ' ') t += term.sign == '+' ? "⁺" : "⁻";
  return t;
}

std::vector<IonicState> ionic_states(const Molecule& m, const std::string& where) {
  std::vector<IonicState> out;
  const chan::Neutral neutral = coupling_neutral(m);
  for (int hole : m.ionised) {
    if (!hole_has_terms(m, hole)) {
      IonicState s;
      s.shell = hole;
      out.push_back(s);
      continue;
    }
    const std::string& name = m.shells[static_cast<size_t>(hole)].name;
    const chan::IonicTerms terms = chan::ionic_terms(neutral, hole + 1);
    if (!terms.reason.empty()) io::stop(where + ": '" + name + "': " + terms.reason);
    for (const chan::IonicTermWeight& t : terms.terms) {
      const chan::IonCoupling c = chan::couple_photoelectron(neutral, hole + 1, t.term);
      if (!c.reason.empty()) io::stop(where + ": '" + name + "': " + c.reason);
      IonicState s;
      s.shell = hole;
      s.term = t.term;
      s.weight = t.weight;
      s.arrangements = c.arrangements;
      s.parity = product(neutral_parity(m), m.shells[static_cast<size_t>(hole)].parity);
      out.push_back(s);
    }
  }
  return out;
}

}  // namespace diatom

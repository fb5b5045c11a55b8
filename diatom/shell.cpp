#include "diatom/shell.hpp"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "io/stop.hpp"

namespace diatom {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string Shell::symmetry() const {
  static const char* names[] = {"sigma", "pi", "delta"};
  std::string s = names[M];
  if (parity) s += std::string("_") + parity;
  return s;
}

std::vector<std::string> shell_names(const std::string& list) {
  std::string t = list;
  std::replace(t.begin(), t.end(), ',', ' ');
  std::istringstream in(t);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(lower(w));
  return out;
}

Shell parse_shell(const std::string& raw, bool equal, const std::string& where) {
  std::string name = lower(raw);
  auto refuse = [&](const std::string& why) { io::stop(where + ": shell '" + raw + "' " + why); };
  size_t i = 0;
  while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
  // Electrons written after the letters: '1pg2'.
  size_t e = name.size();
  while (e > i && std::isdigit(static_cast<unsigned char>(name[e - 1]))) --e;
  int occupation = 0;
  if (e < name.size()) {
    if (name.size() - e > 1) refuse("holds more electrons than a shell can");
    occupation = name[e] - '0';
    name = name.substr(0, e);
  }
  const std::string letters = name.substr(i);
  if (i == 0 || i > 2 || letters.empty() || letters.size() > 2 ||
      std::string("spd").find(letters[0]) == std::string::npos) {
    refuse("is not a shell name: a number, then s, p or d for sigma, pi, delta" +
           std::string(equal ? ", then g or u ('3sg', '1pu')" : " ('4s', '1p')"));
  }
  Shell s;
  s.name = name;
  s.n = std::stoi(name.substr(0, i));
  if (s.n < 1) refuse("is not a shell name: shells are numbered from 1 in each symmetry");
  s.M = static_cast<int>(std::string("spd").find(letters[0]));
  if (equal) {
    if (letters.size() != 2 || (letters[1] != 'g' && letters[1] != 'u')) {
      refuse("needs its parity g or u: the nuclei are equal ('" + name.substr(0, i + 1) + "g')");
    }
    s.parity = letters[1];
    // The partial waves of a g orbital have even L, of a u orbital odd L.
    const bool even_first = (s.M % 2 == 0);
    s.L0 = (even_first == (s.parity == 'g')) ? s.M : s.M + 1;
  } else {
    if (letters.size() != 1) {
      refuse("has a parity, but the nuclei differ and the orbitals have none ('" + name.substr(0, i + 1) + "')");
    }
    s.L0 = s.M;
  }
  if (occupation != 0 || e < lower(raw).size()) {
    if (occupation < 1 || occupation > s.full()) {
      refuse("holds 1 to " + std::to_string(s.full()) + " electrons, not " + std::to_string(occupation));
    }
    s.occupation = occupation == s.full() ? 0 : occupation;
  }
  return s;
}

}  // namespace diatom

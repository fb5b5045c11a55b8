#include "diatom/reference_points.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "io/stop.hpp"

namespace diatom {

namespace {

// A word as a message shows it: printable ASCII, other bytes as \xNN, at
// most 24 characters.
std::string shown(const std::string& w) {
  std::string s;
  for (char c : w.substr(0, 24)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) {
      s += c;
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", u);
      s += b;
    }
  }
  return w.size() > 24 ? s + "..." : s;
}

// A finite decimal number: sign, digits with at most one point, an
// exponent E or e; false for anything else (nan, inf, hexadecimal, 1e400).
bool decimal(const std::string& w, double& v) {
  size_t i = 0, digits = 0;
  if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
  bool point = false;
  for (; i < w.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(w[i]))) {
      ++digits;
    } else if (w[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
    size_t j = i + 1;
    if (j < w.size() && (w[j] == '+' || w[j] == '-')) ++j;
    const size_t first = j;
    while (j < w.size() && std::isdigit(static_cast<unsigned char>(w[j]))) ++j;
    if (j == first) return false;
    i = j;
  }
  if (i != w.size()) return false;
  errno = 0;
  v = std::strtod(w.c_str(), nullptr);
  return std::isfinite(v) && errno != ERANGE;
}

}  // namespace

ReferencePoints read_reference_points(const std::string& path, const std::string& where) {
  std::ifstream in(path, std::ios::binary);
  if (!in) io::stop(where + ": cannot read '" + path + "'");
  const std::string form =
      " (a line holds the photon energy in eV, the cross section in Mb or '-', and optionally beta; comments start "
      "with # or !)";
  ReferencePoints r;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto refuse = [&](const std::string& why) {
      io::stop(where + ": '" + path + "', line " + std::to_string(number) + ": " + why);
    };
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.empty() || w[0][0] == '#' || w[0][0] == '!') continue;
    if (w.size() < 2 || w.size() > 3) {
      refuse(std::to_string(w.size()) + " value" + (w.size() == 1 ? "" : "s") + ", not two or three" + form);
    }
    double v[3] = {0, 0, 0};
    for (size_t k = 0; k < w.size(); ++k) {
      if (k == 1 && w[k] == "-") continue;
      if (!decimal(w[k], v[k])) refuse("'" + shown(w[k]) + "' is not a finite decimal number" + form);
    }
    if (!(v[0] > 0)) refuse("the photon energy " + w[0] + " eV is not positive");
    if (w[1] != "-" && !(v[1] >= 0)) refuse("the cross section " + w[1] + " Mb is negative");
    if (w.size() == 3 && !(v[2] >= -1 && v[2] <= 2)) {
      refuse("beta = " + w[2] + " lies outside -1 ... 2, the range of an asymmetry parameter");
    }
    if (w[1] == "-" && w.size() == 2) refuse("'-' for the cross section and no beta: the line gives nothing");
    r.beta = r.beta || w.size() == 3;
    ++r.points;
  }
  if (r.points == 0) io::stop(where + ": '" + path + "' holds no reference points" + form);
  return r;
}

}  // namespace diatom

#include "diatom/listings.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "diatom/text_files.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/stop.hpp"
#include "lib/orbital_file.hpp"
#include "photo/sizes.hpp"

namespace diatom {

namespace {

// A Fortran real: E or D exponent, or a three-digit exponent without letter
// (0.123456789-101).  False when `s` is not a number.
bool fortran_number(std::string s, double& v) {
  for (char& c : s) {
    if (c == 'd' || c == 'D') c = 'E';
  }
  if (s.find('E') == std::string::npos && s.size() > 1) {
    const size_t k = s.find_last_of("+-");
    if (k != std::string::npos && k > 0 && std::isdigit(static_cast<unsigned char>(s[k - 1]))) s.insert(k, "E");
  }
  if (s.empty() || s.find('.') == std::string::npos) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return end && *end == '\0';
}

std::vector<std::string> tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> t;
  for (std::string w; in >> w;) t.push_back(w);
  return t;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

// A whole number from lo to hi in record `record` (from 1) of a program's
// file; anything else stops naming the file and the record.
int whole_number(const std::string& w, int lo, int hi, const std::string& file, size_t record, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(w.c_str(), &end, 10);
  if (w.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi) {
    io::stop("diatom: '" + file + "', record " + std::to_string(record) + ": '" + w.substr(0, 24) + "' is not " + what +
             " (a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }
  return static_cast<int>(v);
}

}  // namespace

std::vector<double> result_energies(const std::string& file) {
  const std::vector<std::string> lines = lines_of(read_text_file(file));
  size_t i = 0;
  // The echo of the group ends with a line holding only '/'.
  while (i < lines.size() && tokens(lines[i]) != std::vector<std::string>{"/"}) ++i;
  ++i;
  if (i >= lines.size()) io::stop("diatom: the result file '" + file + "' holds no orbitals");
  std::vector<std::string> head = tokens(lines[i++]);
  if (head.size() != 2) io::stop("diatom: the result file '" + file + "' has no orbital block header");
  const int nsh = whole_number(head[0], 1, 1000, file, i, "a count of shells");
  const int nval = whole_number(head[1], 1, std::numeric_limits<int>::max(), file, i, "a count of grid points");
  const size_t per_wave = static_cast<size_t>(lib::orbital_wave_records(nval));
  std::vector<double> e;
  for (int s = 0; s < nsh; ++s) {
    if (i + 1 >= lines.size()) io::stop("diatom: the result file '" + file + "' ends inside its orbitals");
    const std::vector<std::string> sh = tokens(lines[i++]);
    const std::vector<std::string> en = tokens(lines[i++]);
    double v = 0;
    if (sh.size() != 2 || en.empty() || !fortran_number(en[0], v)) {
      io::stop("diatom: the result file '" + file + "' has no energy line for shell " + std::to_string(s + 1));
    }
    e.push_back(v);
    i += per_wave * static_cast<size_t>(whole_number(sh[1], 1, 100000, file, i - 1, "a count of partial waves"));
  }
  return e;
}

GroundState read_ground_state(const std::string& folder) {
  GroundState g;
  g.orbital = result_energies(folder + "/" + kGroundResult);
  std::string listing = read_text_file(folder + "/" + kGroundListing);
  g.totals = energy_block(listing);
  if (g.totals.empty()) {
    listing = read_text_file(folder + "/tovrel.out");
    g.totals = energy_block(listing);
  }
  g.brillouin = brillouin_gradients(listing);
  // The result file holds nine digits; the energy block, when tovrel prints
  // one, its full values.
  const std::vector<double> full = block_orbital_energies(g.totals, g.orbital.size());
  g.precise = !full.empty();
  if (g.precise) g.orbital = full;
  return g;
}

std::optional<std::string> ground_state_defect(const std::string& listing) {
  const std::map<std::string, double> block = energy_block(listing);
  const auto e = block.find("ELECTRONIC ENERGY");
  char buf[240];
  for (const std::string& l : lines_of(listing)) {
    const std::vector<std::string> t = tokens(l);
    double v = 0;
    if (l.find("AS THE DIRECT SUM OF ONE- AND TWO-ELECTRON TERMS") != std::string::npos && e != block.end() &&
        !t.empty() && fortran_number(t.back(), v) && !(std::fabs(v - e->second) <= kIdentityGap)) {
      std::snprintf(buf, sizeof buf,
                    "the electronic energy from the orbital energies (%.10f) and summed directly (%.10f) differ by "
                    "%.2e",
                    e->second, v, std::fabs(v - e->second));
      return std::string(buf);
    }
    if (l.find("BRILLOUIN GRADIENT OF SHELLS") != std::string::npos && !t.empty() && fortran_number(t.back(), v) &&
        !(std::fabs(v) <= kBrillouinGap)) {
      const size_t at = l.find_first_not_of(' ');
      std::snprintf(buf, sizeof buf, "%s (a stationary state has none)", l.substr(at).c_str());
      return std::string(buf);
    }
  }
  return std::nullopt;
}

std::map<size_t, double> brillouin_gradients(const std::string& listing) {
  static const std::string key = "BRILLOUIN GRADIENT OF SHELLS";
  std::map<size_t, double> out;
  for (const std::string& l : lines_of(listing)) {
    const size_t at = l.find(key);
    if (at == std::string::npos) continue;
    const std::vector<std::string> t = tokens(l.substr(at + key.size()));
    double v = 0;
    // o AND c = g
    if (t.size() != 5 || !fortran_number(t[4], v)) continue;
    const int o = std::atoi(t[0].c_str());
    if (o < 1) continue;
    double& worst = out[static_cast<size_t>(o - 1)];
    worst = std::max(worst, std::fabs(v));
  }
  return out;
}

std::map<std::string, double> energy_block(const std::string& text) {
  static const char* keys[] = {"TOTAL ENERGY",   "NUCLEAR REPULSION", "ELECTRONIC ENERGY",
                               "KINETIC ENERGY", "VIRIAL RATIO",      "ORBITAL ENERGY("};
  std::map<std::string, double> out;
  for (const std::string& l : lines_of(text)) {
    const size_t a = l.find_first_not_of(' ');
    if (a == std::string::npos) continue;
    const size_t eq = l.find('=', a);
    if (eq == std::string::npos) continue;
    std::string name = l.substr(a, eq - a);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    bool known = false;
    for (const char* k : keys) known = known || name.rfind(k, 0) == 0;
    if (!known) continue;
    const std::vector<std::string> t = tokens(l.substr(eq + 1));
    double v = 0;
    if (t.size() == 1 && fortran_number(t[0], v)) out[name] = v;
  }
  return out;
}

std::vector<double> block_orbital_energies(const std::map<std::string, double>& block, size_t n) {
  std::vector<double> e(n);
  std::vector<bool> seen(n, false);
  for (const auto& [name, v] : block) {
    if (name.rfind("ORBITAL ENERGY(", 0) != 0) continue;
    const std::string inside = name.substr(15, name.find(')') == std::string::npos ? 0 : name.find(')') - 15);
    char* end = nullptr;
    const long i = std::strtol(inside.c_str(), &end, 10);
    if (end == inside.c_str() || i < 1 || static_cast<size_t>(i) > n) continue;
    e[i - 1] = v;
    seen[i - 1] = true;
  }
  for (bool s : seen) {
    if (!s) return {};
  }
  return e;
}

std::string stop_message(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  // The end of a console that can run to megabytes.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(size > 65536 ? size - 65536 : 0);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string before, message;
  for (const std::string& l : lines_of(text)) {
    const size_t a = l.find_first_not_of(" \t");
    if (a == std::string::npos) continue;
    const std::string line = l.substr(a, l.find_last_not_of(" \t") - a + 1);
    if (line == io::kStopLine) {
      message = before;
    } else {
      before = line;
    }
  }
  return message.substr(0, 300);
}

std::optional<std::pair<double, double>> Curve::at(double w) const {
  for (size_t i = 0; i + 1 < omega.size(); ++i) {
    if ((omega[i] - w) * (omega[i + 1] - w) <= 0) {
      const double d = omega[i + 1] - omega[i];
      const double t = d == 0 ? 0 : (w - omega[i]) / d;
      return std::make_pair(L[i] + t * (L[i + 1] - L[i]), V[i] + t * (V[i + 1] - V[i]));
    }
  }
  if (omega.size() == 1 && omega[0] == w) return std::make_pair(L[0], V[0]);
  return std::nullopt;
}

XsectListing read_xsect_listing(const std::string& text, const std::string& file) {
  XsectListing x;
  size_t record = 0;
  bool rpa = false;
  int c = -1;
  enum { none, head, rows } mode = none;
  char form = 'L';
  size_t nl = 0, k = 0, row = 0;
  double e = 0;
  for (const std::string& line : lines_of(text)) {
    ++record;
    const std::vector<std::string> t = tokens(line);
    if (line.find("RPA results:") != std::string::npos) {
      rpa = true;
      x.rpa.assign(x.hf.size(), Curve{});
      continue;
    }
    if (t.size() >= 2 && t[0] == "Channel" && t[1].back() == ':') {
      c = whole_number(t[1].substr(0, t[1].size() - 1), 1, photo::kMaxChannels, file, record, "a channel number") - 1;
      if (!rpa && c >= static_cast<int>(x.hf.size())) x.hf.resize(c + 1), x.threshold.resize(c + 1);
      if (rpa && c >= static_cast<int>(x.rpa.size())) x.rpa.resize(c + 1);
      mode = none;
      continue;
    }
    if (c < 0) continue;
    double v = 0;
    if (!rpa) {
      if (line.find("threshold: E =") != std::string::npos && fortran_number(t.back(), v)) {
        x.threshold[c] = v;
      } else if (line.find("R-form:") != std::string::npos || line.find("V-form:") != std::string::npos) {
        mode = head, form = line.find("R-form:") != std::string::npos ? 'L' : 'V', nl = 0;
      } else if (mode == head) {
        for (const std::string& w : t) nl += std::all_of(w.begin(), w.end(), ::isdigit) ? 1 : 0;
        if (line.find("Total C.S.") != std::string::npos) mode = rows, k = 0, row = 0;
      } else if (mode == rows) {
        if (t.empty() || !fortran_number(t[0], v)) {
          mode = none;
          continue;
        }
        Curve& cv = x.hf[c];
        for (const std::string& w : t) {
          fortran_number(w, v);
          if (++k == 1) e = v;
          if (k < nl + 2) continue;
          k = 0;
          if (e < 0) continue;  // a bound extra function: its value is an oscillator strength
          const double omega = e - x.threshold[c];
          if (form == 'L') {
            cv.omega.push_back(omega), cv.L.push_back(v), cv.V.push_back(0);
          } else if (row < cv.V.size()) {
            cv.V[row] = v;
          }
          ++row;
        }
      }
    } else if (t.size() == 4) {
      double a[4];
      bool ok = true;
      for (int i = 0; i < 4; ++i) ok = ok && fortran_number(t[i], a[i]);
      if (ok && c < static_cast<int>(x.rpa.size())) {
        x.rpa[c].omega.push_back(a[1]), x.rpa[c].L.push_back(a[2]), x.rpa[c].V.push_back(a[3]);
      }
    }
  }
  return x;
}

}  // namespace diatom

#include "diatom/angular_request.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "io/stop.hpp"
#include "photo/sizes.hpp"

namespace diatom {

namespace {

std::vector<std::string> fields(std::string text) {
  std::replace(text.begin(), text.end(), ',', ' ');
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

}  // namespace

MfpadRequest parse_mfpad(const MOL& mol, const std::string& where) {
  MfpadRequest r;
  const std::string text = mol.MFPAD;
  if (fields(text).empty()) return r;
  const size_t slash = text.find('/');
  auto numbers = [&](const std::string& part, const char* what) {
    std::vector<double> v;
    for (const std::string& w : fields(part)) {
      char* end = nullptr;
      const double x = std::strtod(w.c_str(), &end);
      if (end == w.c_str() || *end != '\0' || !std::isfinite(x)) {
        io::stop(where + ": '" + w + "' is not a number (" + what + ")");
      }
      v.push_back(x);
    }
    return v;
  };
  r.ev = numbers(text.substr(0, slash), "photon energies in eV, then '/' and polarisation angles in degrees");
  if (r.ev.empty()) io::stop(where + ": no photon energy before '/' (give 'eV eV ... / degrees ...')");
  for (double e : r.ev) {
    if (!(e >= mol.EMIN && e <= mol.EMAX)) {
      io::stop(where + ": the photon energy " + num(e) + " eV lies outside EMIN = " + num(mol.EMIN) +
               " ... EMAX = " + num(mol.EMAX) + " eV");
    }
  }
  if (static_cast<int>(r.ev.size()) > photo::kMaxMfpadEnergies) {
    io::stop(where + ": " + std::to_string(r.ev.size()) + " photon energies; xsect takes at most " +
             std::to_string(photo::kMaxMfpadEnergies) + " (give fewer)");
  }
  r.angles = {0.0, 90.0};
  if (slash != std::string::npos) {
    for (double a : numbers(text.substr(slash + 1), "polarisation angles in degrees from the axis")) {
      if (!(a >= 0.0 && a <= 180.0)) {
        io::stop(where + ": the polarisation angle " + num(a) + " lies outside 0 ... 180 degrees from the axis");
      }
      if (std::find(r.angles.begin(), r.angles.end(), a) == r.angles.end()) r.angles.push_back(a);
    }
  }
  if (static_cast<int>(r.angles.size()) > photo::kMaxMfpadAngles) {
    io::stop(where + ": " + std::to_string(r.angles.size()) +
             " polarisation angles with 0 and 90; xsect takes at most " + std::to_string(photo::kMaxMfpadAngles) +
             " (give fewer)");
  }
  return r;
}

int solutions_kept(const MOL& mol, const Molecule& m, int waves) {
  if (mol.NL > 0) return mol.NL;
  if (mol.BETA == 1 || !m.mfpad.empty() || m.vib) return std::min(waves, 7);
  return 4;
}

}  // namespace diatom

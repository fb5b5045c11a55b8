#include "diatom/photon_range.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "chan/sizes.hpp"
#include "diatom/channels.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace {

// Three significant digits, rounded up (`up`) or down so that the value
// printed still fits.
std::string fitting(double v, bool up) {
  if (!(v > 0) || !std::isfinite(v)) return "0";
  const double scale = std::pow(10.0, std::floor(std::log10(v)) - 2);
  const double r = (up ? std::ceil(v / scale - 1e-9) : std::floor(v / scale + 1e-9)) * scale;
  char b[32];
  std::snprintf(b, sizeof b, "%.3g", r);
  return b;
}

std::string g(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.4g", v);
  return b;
}

// The grid before its counts are made whole: the number of momenta as a
// real number (it can pass any integer range).
struct RealGrid {
  double NC = 0, P0 = 0, DP = 0, kmax = 0;
};

RealGrid real_grid(const MOL& mol, double I, double DK, double k_carried = 1e300) {
  RealGrid r;
  const double emin = mol.EMIN / kHartreeEV - I, emax = continuum_top(mol) / kHartreeEV - I;
  r.kmax = std::sqrt(2 * emax);
  if (top_chosen(mol) && mol.NK == 0) {
    // diatom's own top goes no higher than the radial grid carries and a
    // channel file holds, with the last node (up to two steps past the top:
    // the count is made whole and odd); never below EMAX.
    const double p0 = emin > 0 ? std::sqrt(2 * emin) : std::min(DK, 0.05);
    const double most = std::min(k_carried - 2 * DK, p0 + (chan::kMaxEnergies - 2) * DK);
    const double at_emax = std::sqrt(std::max(0.0, 2 * (mol.EMAX / kHartreeEV - I)));
    r.kmax = std::max(at_emax, std::min(r.kmax, most));
  }
  if (mol.NK > 0) {
    r.NC = mol.NK;
    r.P0 = emin > 0 ? std::sqrt(2 * emin) : std::min(0.05, r.kmax / mol.NK);
    r.DP = (r.kmax - r.P0) / (mol.NK - 1);
  } else {
    r.DP = DK;
    r.P0 = emin > 0 ? std::sqrt(2 * emin) : std::min(r.DP, 0.05);
    r.NC = std::ceil((r.kmax - r.P0) / r.DP - 1e-9) + 1;
    if (std::fmod(r.NC, 2.0) == 0) r.NC += 1;  // Simpson's rule over the momenta
    r.NC = std::max(r.NC, 3.0);
  }
  return r;
}

[[noreturn]] void refuse(const std::string& file, const std::string& var, const std::string& why) {
  io::stop("file '" + file + "', group &MOL, variable " + var + ": " + why);
}

// The top momentum within what the radial grid carries, and the count
// within a channel file; `I` is the threshold the fitting values are for
// (0 before the ground state: they then fit every threshold).
void check_grid(const MOL& mol, const RealGrid& r, const Threshold& t, double I, double k_carried,
                const std::string& file) {
  const int most = chan::kMaxEnergies;
  // diatom's own top was capped to fit: what is still too much is EMAX's.
  const std::string top = top_variable(mol), top_is = top + " = " + g(top == "ETOP" ? mol.ETOP : mol.EMAX);
  if (r.kmax > k_carried) {
    refuse(file, top,
           top_is + " eV reaches the momentum k = " + g(r.kmax) + "/bohr above " + t.what +
               "; the radial grid carries continuum waves to k = " + g(k_carried) +
               "/bohr (ten points a wavelength at its outer step): " + top + " ≤ " +
               fitting((I + k_carried * k_carried / 2) * kHartreeEV, false) + " eV fits, or a finer grid (NB)");
  }
  if (r.NC <= most) return;
  // The grid's step is fixed by DK; DK <= 0.05 with this EMAX still too
  // many: EMAX is what asks for them.
  const double fit_dk = r.kmax / (most - 2);
  const std::string counted = std::to_string(static_cast<long long>(std::min(r.NC, 1e18)));
  const std::string limit = "; a channel file holds at most " + std::to_string(most) + " momenta";
  if (mol.NK == 0 && real_grid(mol, t.I, std::max(mol.DK, 0.05)).NC <= most) {
    refuse(file, "DK",
           "DK = " + g(mol.DK) + "/bohr asks for " + counted + " momenta from above " + t.what + " to " + top_is +
               " eV" + limit + ": DK ≥ " + fitting(fit_dk, true) + " fits (or NK ≤ " + std::to_string(most) + ")");
  }
  if (mol.NK == 0) {
    const double k = (most - 2) * mol.DK;
    refuse(file, top,
           top_is + " eV asks for " + counted + " momenta of step DK = " + g(mol.DK) + "/bohr above " + t.what + limit +
               ": " + top + " ≤ " + fitting((I + k * k / 2) * kHartreeEV, false) + " eV fits with this DK, or DK ≥ " +
               fitting(fit_dk, true));
  }
  refuse(file, "NK", "NK = " + std::to_string(mol.NK) + limit + ": NK ≤ " + std::to_string(most) + " fits");
}

}  // namespace

double continuum_top(const MOL& mol) { return mol.ETOP > mol.EMAX ? mol.ETOP : mol.EMAX; }

std::string top_variable(const MOL& mol) { return mol.ETOP > mol.EMAX && mol.given("ETOP") ? "ETOP" : "EMAX"; }

bool top_chosen(const MOL& mol) { return mol.ETOP > mol.EMAX && !mol.given("ETOP"); }

double chosen_top(const MOL& mol) { return mol.EMAX + kTopMargin; }

double deepest_threshold(double Z1, double Z2) { return (Z1 + Z2) * (Z1 + Z2) / 2; }

MomentumGrid momentum_grid(const MOL& mol, const Threshold& t, double k_carried, const std::string& file) {
  const RealGrid r = real_grid(mol, t.I, mol.DK, k_carried);
  check_grid(mol, r, t, t.I, k_carried, file);
  if (!(r.DP > 0)) refuse(file, "EMIN", "the photon range above " + t.what + " is empty");
  MomentumGrid m;
  m.NC = static_cast<int>(r.NC);
  // The channel files carry the grid to 6 decimals; keep it exact in both.
  m.P0 = std::round(r.P0 * 1e6) / 1e6;
  m.DP = std::round(r.DP * 1e6) / 1e6;
  if (!(m.P0 > 0)) m.P0 = 1e-6;  // a first momentum below the last decimal: the least the files carry
  if (!(m.DP > 0)) {
    refuse(file, "EMAX",
           "the photon range EMIN = " + g(mol.EMIN) + " ... EMAX = " + g(mol.EMAX) + " eV above " + t.what +
               " spans less than the 1e-6/bohr the channel files carry between momenta");
  }
  return m;
}

void check_photon_range(const MOL& mol, double Z1, double Z2, double k_carried, const std::string& file) {
  if (mol.NK > chan::kMaxEnergies) {
    refuse(file, "NK",
           "NK = " + std::to_string(mol.NK) + "; a channel file holds at most " + std::to_string(chan::kMaxEnergies) +
               " momenta: NK ≤ " + std::to_string(chan::kMaxEnergies) + " fits");
  }
  const double I = deepest_threshold(Z1, Z2);
  if (!(continuum_top(mol) / kHartreeEV > I)) return;
  const Threshold t{I, "any threshold these nuclei allow (at most (Z1 + Z2)^2/2 = " + g(I) + " hartree)"};
  check_grid(mol, real_grid(mol, I, mol.DK, k_carried), t, 0.0, k_carried, file);
}

}  // namespace diatom

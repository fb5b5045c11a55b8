#include "photo/mfpad.hpp"

#include <cmath>
#include <cstdio>

namespace photo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
constexpr double kSigma = 5.378;          // Mb per unit of ω·|D|², as the listing
constexpr double kHartreeEV = 27.211386;  // eV
constexpr double kSameEnergy = 1.0e-6;    // relative, as the shell's β

// Y(L, m)(θ, φ) with the Condon–Shortley phase.
Complex Ylm(int L, int m, double theta, double phi) {
  const int am = std::abs(m);
  const Complex y =
      std::sph_legendre(static_cast<unsigned>(L), static_cast<unsigned>(am), theta) * std::exp(Complex(0.0, am * phi));
  if (m >= 0) return y;
  return ((am % 2) ? -1.0 : 1.0) * std::conj(y);
}

// conj(e_μ) of ê = (sin χ, 0, cos χ): real.
double component(int mu, double chi) {
  if (mu == 0) return std::cos(chi);
  return (mu > 0 ? -1.0 : 1.0) * std::sin(chi) / std::sqrt(2.0);
}

Complex amplitude(const std::vector<PartialWaves>& all, double chi, double theta, double phi) {
  Complex T = 0.0;
  for (const PartialWaves& w : all) {
    const double e = component(w.mu, chi);
    if (e == 0.0) continue;
    Complex A = 0.0;
    for (size_t k = 0; k < w.F.size(); ++k) A += w.F[k] * Ylm(w.L0 + static_cast<int>(k) * w.step, w.m, theta, phi);
    T += e * A;
  }
  return T;
}

}  // namespace

double mfpad_density(int mi, const std::vector<PartialWaves>& waves, double chi, double theta, double phi) {
  const std::vector<PartialWaves> all = with_mirror_images(mi, waves);
  double d = std::norm(amplitude(all, chi, theta, phi));
  if (mi != 0) d += std::norm(amplitude(all, chi, theta, -phi));
  return d;
}

double mfpad_norm(int mi, const std::vector<PartialWaves>& waves, double chi) {
  double n = 0.0;
  for (const PartialWaves& w : with_mirror_images(mi, waves)) {
    const double e = component(w.mu, chi);
    for (const Complex& f : w.F) n += e * e * std::norm(f);
  }
  return mi != 0 ? 2.0 * n : n;
}

std::string mfpad_table_name(const std::string& listing) { return listing + ".mfpad"; }

namespace {

// The distribution of one node at polarisation χ (radians): dσ/dΩ on the
// directions and σ(χ), length and velocity.
struct NodeDistribution {
  std::vector<double> L, V;
  double sigmaL = 0.0, sigmaV = 0.0;
};

NodeDistribution at_node(const BetaTable::ShellWaves& w, double chi) {
  NodeDistribution d;
  const double cL = 3.0 * kSigma * w.omega, cV = 3.0 * kSigma / w.omega;
  for (int p = 0; p < kMfpadPhis; ++p) {
    const double phi = p * kMfpadPhiStep * kDegree;
    for (int t = 0; t < kMfpadThetas; ++t) {
      const double theta = t * kMfpadThetaStep * kDegree;
      d.L.push_back(cL * mfpad_density(w.mi, w.L, chi, theta, phi));
      d.V.push_back(cV * mfpad_density(w.mi, w.V, chi, theta, phi));
    }
  }
  d.sigmaL = cL * mfpad_norm(w.mi, w.L, chi);
  d.sigmaV = cV * mfpad_norm(w.mi, w.V, chi);
  return d;
}

std::string ev(double omega) {
  char b[64];
  std::snprintf(b, sizeof b, "%.4f eV", omega * kHartreeEV);
  return b;
}

}  // namespace

// For each shell and method the nodes are taken in the order of the
// momentum grid (increasing photon energy); a requested energy between two
// neighbouring nodes is interpolated linearly between their distributions
// (σ(χ) with them), one within 1e-6 of a node is that node's.
void MfpadTable::compute(const BetaTable& t, const std::vector<double>& omega, const std::vector<double>& chi,
                         bool rpa) {
  blocks.clear();
  notes.clear();
  for (int pass = 0; pass < (rpa ? 2 : 1); ++pass) {
    const bool r = pass == 1;
    const char* method = r ? "RPA" : "HF";
    for (int shell : t.shells_ionised()) {
      const size_t nodes = t.shell_nodes(shell);
      std::vector<BetaTable::ShellWaves> w(nodes);
      std::vector<std::string> why(nodes);
      std::vector<bool> ok(nodes);
      for (size_t j = 0; j < nodes; ++j) ok[j] = t.shell_waves(shell, j, r, w[j], why[j]);
      for (double om : omega) {
        const std::string head = std::string(method) + " shell " + std::to_string(shell) + ", " + ev(om) + ": ";
        // The neighbouring nodes around om (the photon energies of those that
        // have waves; the others cannot bracket it).
        size_t lo = nodes, hi = nodes;
        for (size_t j = 0; j < nodes; ++j) {
          if (!ok[j]) continue;
          const double tol = kSameEnergy * std::max(1.0, std::fabs(om));
          if (std::fabs(w[j].omega - om) <= tol) {
            lo = hi = j;
            break;
          }
          if (j + 1 < nodes && ok[j + 1] && w[j].omega < om && om < w[j + 1].omega) {
            lo = j;
            hi = j + 1;
            break;
          }
        }
        if (lo == nodes) {
          std::string reason = "outside the photon energies of the shell";
          for (size_t j = 0; j < nodes; ++j) {
            if (ok[j]) continue;
            reason = "outside the photon energies of the shell, or next to a node without its waves (" + why[j] + ")";
            break;
          }
          notes.push_back(head + reason);
          continue;
        }
        for (double c : chi) {
          MfpadBlock b;
          b.rpa = r;
          b.shell = shell;
          b.omega = om;
          b.chi = c;
          b.lower = w[lo].omega;
          b.upper = w[hi].omega;
          b.weight = hi == lo ? 0.0 : (om - b.lower) / (b.upper - b.lower);
          const NodeDistribution a = at_node(w[lo], c * kDegree);
          const NodeDistribution z = hi == lo ? a : at_node(w[hi], c * kDegree);
          const double s = b.weight;
          for (size_t k = 0; k < a.L.size(); ++k) {
            b.L.push_back((1.0 - s) * a.L[k] + s * z.L[k]);
            b.V.push_back((1.0 - s) * a.V[k] + s * z.V[k]);
          }
          b.sigmaL = (1.0 - s) * a.sigmaL + s * z.sigmaL;
          b.sigmaV = (1.0 - s) * a.sigmaV + s * z.sigmaV;
          blocks.push_back(std::move(b));
        }
      }
    }
  }
}

void write_mfpad_table(io::Unit& u, const MfpadTable& t) {
  u.write_record(
      "# Molecular-frame photoelectron angular distributions: dsigma/dOmega (Mb/sr), molecule fixed in space.");
  u.write_record("# z axis from the bond midpoint towards nucleus 1 (charge Z1); polarisation in the xz plane at chi");
  u.write_record(
      "# from the axis; the electron leaves at theta from the axis and phi from the xz plane (phi = 0 on the");
  u.write_record(
      "# side of the polarisation).  Counted like the listing: two electrons in each orbital, both orbitals");
  u.write_record("# of a pi shell.  Between momentum nodes linear in the photon energy.  One block per method, shell,");
  u.write_record(
      "# photon energy and polarisation, blocks separated by two blank lines; columns: theta (deg), phi (deg),");
  u.write_record("# length, velocity; a blank line after each phi.");
  for (const std::string& n : t.notes) u.write_record("# note: " + n);
  char b[200];
  bool first = true;
  for (const MfpadBlock& k : t.blocks) {
    if (!first) {
      u.write_record("");
      u.write_record("");
    }
    first = false;
    std::snprintf(b, sizeof b,
                  "# %s shell %d: photon energy %.6f eV = %.8f hartree, polarisation at %.2f deg from the axis",
                  k.rpa ? "RPA" : "HF", k.shell, k.omega * kHartreeEV, k.omega, k.chi);
    u.write_record(b);
    std::snprintf(b, sizeof b, "# between the nodes at %.6f and %.6f eV (weight of the upper %.6f)",
                  k.lower * kHartreeEV, k.upper * kHartreeEV, k.weight);
    u.write_record(b);
    std::snprintf(b, sizeof b, "# sigma of this orientation (Mb): L %.7e V %.7e", k.sigmaL, k.sigmaV);
    u.write_record(b);
    for (int p = 0; p < kMfpadPhis; ++p) {
      if (p > 0) u.write_record("");
      for (int th = 0; th < kMfpadThetas; ++th) {
        const size_t i = static_cast<size_t>(p * kMfpadThetas + th);
        std::snprintf(b, sizeof b, "%6.1f %6.1f %14.6e %14.6e", th * kMfpadThetaStep, p * kMfpadPhiStep, k.L[i],
                      k.V[i]);
        u.write_record(b);
      }
    }
  }
}

}  // namespace photo

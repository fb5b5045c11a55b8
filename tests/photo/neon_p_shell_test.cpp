// The RPA of a spherical atom's p shell split by a molecular axis: neon on
// one focus (Z2 = 0), its 2p shell as the σ orbital '3s' and the π pair
// '1p'.  The ground state is spherical, and so is the RPA response built on
// it when every excitation of the shell is coupled: the cross section per
// electron of 2pσ (3s → kσ, plus 3s → kπ for both signs of M) and of 2pπ
// (1p → kσ, kπ, kδ, each channel standing for two electrons of one sign of
// M) must be the same.  Hartree–Fock is not bound to it (the static-exchange
// field of a π hole is not spherical): it differs by 3–6%.  The π-shell
// channel of final projection equal to the hole's couples to its mirror
// excitation; without that coupling (or with the phases of the mirrored
// functions wrong) the 2pπ RPA falls 25% below 2pσ on this grid.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/programs.hpp"

namespace {

using testsupport::run_program_in;
using testsupport::ScratchDir;

struct RpaRow {
  double om, L, V;
};

// The RPA rows (photon energy, length, velocity) of each channel of a listing.
std::map<int, std::vector<RpaRow>> rpa_rows(const std::string& listing) {
  std::map<int, std::vector<RpaRow>> rows;
  const size_t start = listing.find(" RPA results:");
  if (start == std::string::npos) return rows;
  std::istringstream in(listing.substr(start));
  std::string line;
  int channel = 0;
  while (std::getline(in, line)) {
    if (line.find("Photoelectron asymmetry") != std::string::npos) break;
    if (line.rfind(" Channel ", 0) == 0) {
      channel = std::stoi(line.substr(9));
      continue;
    }
    std::istringstream fields(line);
    double e = 0, om = 0, L = 0, V = 0;
    if (channel > 0 && fields >> e >> om >> L >> V) rows[channel].push_back({om, L, V});
  }
  return rows;
}

TEST(WholeChain, SlowNeonPShellRpaIsTheSameForSigmaAndPi) {
  ScratchDir dir("neon_p_shell");
  dir.write("ne.mol",
            "&MOL TIT = 'Ne on a focus', Z1 = 10.0, Z2 = 0.0, RZ = 0.5, SHELLS = '1s 2s 3s 1p', TOL = 1.0E-4,\n"
            " ION = '3s 1p', EMIN = 27.0, EMAX = 40.0, DK = 0.1, IPOT = 1, NL = 4, ND = 0, RPA = 1 /\n");
  auto run = run_program_in(dir.path(), "diatom -j 1 ne.mol run");
  ASSERT_EQ(run.status, 0) << run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0);
  const auto rows = rpa_rows(dir.read("run/xsect.lst"));
  ASSERT_EQ(rows.size(), 5u);  // 3s → kσ, kπ; 1p → kσ, kπ, kδ
  const size_t n = rows.at(1).size();
  for (const auto& [c, r] : rows) ASSERT_EQ(r.size(), n) << "channel " << c;
  int compared = 0;
  for (size_t j = 0; j < n; ++j) {
    // The two thresholds agree to 1e-7 hartree: the channels share their
    // photon energies.  The nodes above 33 eV feel the top of the grid.
    const double om = rows.at(1)[j].om;
    if (om * 27.2114 > 33.0) continue;
    for (int c = 2; c <= 5; ++c) ASSERT_NEAR(rows.at(c)[j].om, om, 1e-5);
    auto per_electron = [&](auto form) {
      const double sigma = 0.5 * form(rows.at(1)[j]) + form(rows.at(2)[j]);
      const double pi = 0.5 * (form(rows.at(3)[j]) + form(rows.at(4)[j]) + form(rows.at(5)[j]));
      return std::pair{sigma, pi};
    };
    const auto [sL, pL] = per_electron([](const RpaRow& r) { return r.L; });
    const auto [sV, pV] = per_electron([](const RpaRow& r) { return r.V; });
    // On this grid the two agree to 2.5% (L) and 5.3% (V), on a finer and
    // longer one (TOL 1e-5, 25–80 eV) to 1.3% and 3% up to 60 eV.
    EXPECT_NEAR(pL / sL, 1.0, 0.06) << "length, photon energy " << om << " hartree";
    EXPECT_NEAR(pV / sV, 1.0, 0.06) << "velocity, photon energy " << om << " hartree";
    ++compared;
  }
  EXPECT_GE(compared, 4);
}

}  // namespace

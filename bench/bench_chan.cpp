// Benchmark of the channel-file program's kernels: the time to make one
// energy block of continuum functions, for the exact two-centre continuum
// (bare nuclei) and for the static-exchange solver with a closed shell of
// two frozen orbitals, on grids of the size the examples use, and the search
// for bound states in that field.  Prints its figures; it checks nothing.
//
//   bench_chan n2 [GROUND [NE [both|reference|default]]]
//
// times the N2 3sigma_g -> k sigma_u channel of examples/n2-photo (ten
// partial waves, three solutions) on its first NE momenta (default 4) from
// the ground-state file GROUND (default examples/n2-photo/run/n2.gs, left
// by `bash tools/example.sh n2-photo`): the written path (exchange terms
// through exchange_potential_waves, energies in turn) and the default one (tabulated angular
// coefficients, multipoles in one pass, energies in parallel, LAPACK), their
// ratio, and the largest difference of the functions (rounding).  One path alone
// is for counting instructions (valgrind --tool=callgrind).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "chan/channel_blocks.hpp"
#include "chan/static_exchange.hpp"
#include "io/console.hpp"
#include "io/unit.hpp"
#include "lib/orbital_file.hpp"

namespace {

using namespace chan;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A closed shell of the lowest σg and σu states of the bare nuclei, frozen,
// written as a ground-state file and read back.
GroundState two_shell_ground_state(const Grid& g, const Molecule& mol, int n) {
  const Waves sg{0, 0, n, 2}, su{0, 1, n, 2};
  const BoundState bg = bare_bound_states(mol, sg, 1, -0.01).at(0);
  const BoundState bu = bare_bound_states(mol, su, 1, -0.01).at(0);
  const int NB = g.NB;
  std::vector<double> x(static_cast<size_t>(NB) * static_cast<size_t>(2 * n));
  bare_bound_waves(g, mol, sg, bg, lib::Mat(x.data(), NB, n));
  bare_bound_waves(g, mol, su, bu, lib::Mat(x.data() + static_cast<size_t>(NB) * static_cast<size_t>(n), NB, n));
  lib::GroundStateGroup s;
  s.Z1 = mol.Z1;
  s.Z2 = mol.Z2;
  s.RZ = mol.RZ;
  s.NSH = 2;
  s.MLN = {0, 0, n, 0, 1, n};
  s.NA = g.NA;
  s.NB = NB;
  s.RP = g.RP;
  std::string fil;
  std::array<std::string, 10> fir{};
  auto u = io::Unit::to_text("gs");
  s.group(fil, fir).write(*u);
  const int mln[6] = {0, 0, n, 0, 1, n}, lk[2] = {1, n + 1};
  const double e[2] = {bg.E, bu.E}, cn[2] = {1.0, 1.0};
  lib::write_orbital_block(2, NB, lib::CIMat(mln, 3, 2), lib::CIVec(lk, 2), lib::CVec(e, 2), lib::CVec(cn, 2),
                           lib::CMat(x.data(), NB, 2 * n), *u);
  auto in = io::Unit::from_text("gs", u->text());
  GroundState gs;
  read_ground_state(*in, gs);
  return gs;
}

// The N2 3sigma_g -> k sigma_u channel: NSI = 5, M = 0, L0 = 1, NX = 10, NL = 3,
// k = 0.05, 0.15, ...
int bench_n2(const std::string& ground, int NE, const std::string& which) {
  GroundState gs;
  {
    io::Units units;
    io::Unit& u = units.open_old(20, ground);
    read_ground_state(u, gs);
  }
  const Grid g = make_grid(gs.s00.NA, gs.s00.NB, gs.s00.RP);
  const Molecule mol{gs.s00.Z1, gs.s00.Z2, gs.s00.RZ};
  const Waves w{0, 1, 10, 2};
  std::vector<double> ks(static_cast<size_t>(NE));
  for (int j = 0; j < NE; ++j) ks[static_cast<size_t>(j)] = 0.05 + 0.1 * j;
  // Wall time; the processor time of all threads goes to `cpu`.
  auto run = [&](bool reference, std::vector<Block>& out, double& cpu) {
    StaticExchange se(g, gs, mol, 5, w, ExchangeOptions{60, 1e-7, true, true, reference});
    const auto a = Clock::now();
    const std::clock_t c = std::clock();
    se.blocks(ks, 3, out);
    cpu = static_cast<double>(std::clock() - c) / CLOCKS_PER_SEC;
    return seconds(a, Clock::now());
  };
  std::printf("N2 3sigma_g -> k sigma_u, NB = %d, NX = 10, NL = 3, %d energies from k = 0.05\n", g.NB, NE);
  std::vector<Block> r, d;
  double tr = 0.0, td = 0.0, cr = 0.0, cd = 0.0;
  if (which != "default") {
    tr = run(true, r, cr);
    std::printf("written path (library, in turn)     %10.3f s   %8.3f s/block   processor %8.3f s\n", tr, tr / NE, cr);
  }
  if (which != "reference") {
    td = run(false, d, cd);
    std::printf("default path (tables, one pass, par) %9.3f s   %8.3f s/block   processor %8.3f s\n", td, td / NE, cd);
  }
  if (which == "both") {
    // The paths differ only in the LU factorisations of the small matching
    // systems (written elimination against LAPACK): rounding.
    double big = 0.0, diff = 0.0;
    for (size_t j = 0; j < r.size(); ++j)
      for (size_t e = 0; e < r[j].X.size(); ++e) {
        big = std::max(big, std::fabs(r[j].X[e]));
        diff = std::max(diff, std::fabs(r[j].X[e] - d[j].X[e]));
      }
    std::printf("ratio written / default             %10.2f   (processor time %.2f)\n", tr / td, cr / cd);
    std::printf("largest difference of the functions %.2e of their largest value\n", diff / big);
    return diff <= 1e-10 * big ? 0 : 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "n2") {
    const std::string ground = argc > 2 ? argv[2] : std::string(SUITE_SOURCE_DIR) + "/examples/n2-photo/run/n2.gs";
    std::ostringstream sink;
    io::console().redirect(nullptr, &sink);
    return bench_n2(ground, argc > 3 ? std::stoi(argv[3]) : 4, argc > 4 ? argv[4] : "both");
  }
  std::ostringstream sink;
  io::console().redirect(nullptr, &sink);
  std::printf("chanfile kernels: seconds per energy block\n");
  std::printf("%-44s %6s %4s %4s %10s\n", "case", "NB", "NX", "NL", "s/block");

  struct Case {
    const char* what;
    double Z, RZ, RP1, RP2;
    int NB, n, NL;
    bool exchange;
  } cases[] = {
      {"bare nuclei, H2+ (k pi_u)", 1.0, 2.0, 1.01, 40.0, 1606, 8, 4, false},
      {"bare nuclei, Z = 7 (k sigma_u)", 7.0, 2.068, 1.005, 25.0, 1600, 10, 3, false},
      {"static exchange, two closed shells, Z = 2", 2.0, 1.4, 1.01, 40.0, 1606, 8, 2, true},
      {"static exchange, two closed shells, Z = 7", 7.0, 2.068, 1.005, 25.0, 1600, 10, 3, true},
  };
  for (const auto& c : cases) {
    std::array<double, 10> RP{};
    RP[0] = c.RP1;
    RP[1] = c.RP2;
    const Grid g = make_grid(5, c.NB, RP);
    const Molecule mol{c.Z, c.Z, c.RZ};
    const int blocks = 5;
    double t = 0.0;
    if (!c.exchange) {
      const Waves w{c.Z == 1.0 ? 1 : 0, 1, c.n, 2};
      const auto a = Clock::now();
      for (int j = 0; j < blocks; ++j) {
        Block b;
        bare_block(g, mol, w, 0.3 + 0.4 * j, c.NL, b);
      }
      t = seconds(a, Clock::now()) / blocks;
    } else {
      const GroundState gs = two_shell_ground_state(g, mol, c.n);
      const Waves su{0, 1, c.n, 2};
      StaticExchange se(g, gs, mol, 1, su, ExchangeOptions{60, 1e-7, true, true});
      const auto a = Clock::now();
      for (int j = 0; j < blocks; ++j) {
        Block b;
        se.block(0.3 + 0.4 * j, c.NL, b);
      }
      t = seconds(a, Clock::now()) / blocks;
    }
    std::printf("%-44s %6d %4d %4d %10.3f\n", c.what, c.NB, c.n, c.NL, t);
  }

  // The bound-state search of the static-exchange field: the two lowest
  // k sigma_u states below threshold (Z = 2 and two closed shells: the
  // lowest unoccupied sigma_u states), the whole search.
  std::printf("\nbound states of the static-exchange field: seconds per search\n");
  std::printf("%-44s %6s %4s %4s %10s\n", "case", "NB", "NX", "ND", "s/search");
  {
    std::array<double, 10> RP{};
    RP[0] = 1.01;
    RP[1] = 40.0;
    const Grid g = make_grid(5, 1606, RP);
    const Molecule mol{2.0, 2.0, 1.4};
    const GroundState gs = two_shell_ground_state(g, mol, 8);
    const Waves su{0, 1, 8, 2};
    StaticExchange se(g, gs, mol, 1, su, ExchangeOptions{60, 1e-7, true, true});
    std::vector<double> x(static_cast<size_t>(1606) * 16), E(2);
    const auto a = Clock::now();
    const int found = se.bound_states(2, gs.E[0], -0.01, lib::Mat(x.data(), 1606, 16), Vec(E.data(), 2));
    const double t = seconds(a, Clock::now());
    std::printf("%-44s %6d %4d %4d %10.3f   (found %d)\n", "sigma_u, two closed shells, Z = 2", 1606, 8, 2, t, found);
  }
  return 0;
}

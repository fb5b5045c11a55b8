// gsfile: makes the ground-state file of the photoionisation programs from a
// result file of tovrel.
//
//   gsfile RESULT GROUND
//
// RESULT holds group D00 and the converged orbitals; GROUND (which must not
// exist) receives group S00 with Z1, Z2, RZ, NSH, MLN, NA, NB, RP and EPS
// copied from D00, followed by the orbital block of RESULT line for line.
// A result file without orbitals, or whose orbitals do not match its group,
// is refused.
#include <algorithm>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/namelist.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/ground_state.hpp"
#include "lib/orbital_file.hpp"
#include "scf/entry.hpp"
#include "scf/input_checks.hpp"

namespace {

void convert(const std::string& from, const std::string& to) {
  io::Units units;
  io::Unit& in = units.open_old(1, from);
  scf::ControlGroup d;
  d.group().read(in);

  std::vector<std::string> block;
  for (std::string line; in.next_record(line);) block.push_back(line);
  auto refuse = [&](const std::string& why) {
    io::stop("file '" + from + "': " + why + "; no ground-state file made");
  };
  if (block.empty()) refuse("no orbitals after group &D00 (did tovrel converge?)");
  if (d.NSH < 1 || d.NSH > 9)
    refuse("group &D00 has NSH = " + std::to_string(d.NSH) + "; a ground-state file holds 1 to 9 shells");
  if (d.NA != lib::kNA) {
    refuse("the photoionisation programs work on grids with NA = " + std::to_string(lib::kNA) +
           " inner points; this result has NA = " + std::to_string(d.NA));
  }
  if (d.IGRID == 2) {
    refuse(
        "the photoionisation programs place the outer points uniformly in xi - 10/(xi - 0.9); this result has "
        "IGRID = 2 (graded towards the axis): run tovrel with IGRID = 1 for them");
  }
  // Counts and grid as tovrel itself accepts them (before any size is
  // computed from them).
  scf::check_limits(d, from);
  io::Units::require_new({{2, to}});

  // The orbital block must be complete and match the shells of the group.
  {
    std::string text;
    for (const auto& l : block) text += l + "\n";
    auto check = io::Unit::from_text(from, text);
    std::string header = check->record("the orbital block");
    long nsh = 0, n = 0;
    if (!lib::parse_orbital_header(header, nsh, n)) {
      refuse("the line after group &D00 is not the header of an orbital block");
    }
    if (nsh != d.NSH || n != d.NB) {
      refuse("the orbital block has " + std::to_string(nsh) + " shells of " + std::to_string(n) +
             " values; group &D00 says " + std::to_string(d.NSH) + " shells on " + std::to_string(d.NB) + " points");
    }
    // Shell by shell: its partial-wave count must be that of the group.
    const long lines_per_wave = lib::orbital_wave_records(n);
    size_t at = 1;
    for (int i = 1; i <= d.NSH; ++i) {
      long number = 0, nj = -1;
      if (at < block.size() && !lib::parse_orbital_shell(block[at], number, nj)) nj = -1;
      if (nj != d.n(i)) {
        refuse("shell " + std::to_string(i) + " of the orbital block has " + std::to_string(nj) +
               " partial waves; group &D00 gives it " + std::to_string(d.n(i)));
      }
      at += lib::kOrbitalShellRecords + static_cast<size_t>(nj * lines_per_wave);
    }
    if (at != block.size()) refuse("the orbital block does not end where its shells end");
    auto reread = io::Unit::from_text(from, text);
    std::vector<int> lk(static_cast<size_t>(d.NSH) + 1, 1);
    for (int i = 1; i <= d.NSH; ++i) lk[static_cast<size_t>(i)] = lk[static_cast<size_t>(i) - 1] + d.n(i);
    std::vector<double> e(static_cast<size_t>(d.NSH)), cn(static_cast<size_t>(d.NSH));
    std::vector<double> x(static_cast<size_t>(d.NB) * static_cast<size_t>(lk.back() - 1));
    std::vector<int> nw(static_cast<size_t>(d.NSH));
    for (int i = 1; i <= d.NSH; ++i) nw[static_cast<size_t>(i) - 1] = d.n(i);
    lib::read_orbital_block(d.NB, lib::CIVec(lk.data(), d.NSH), lib::Vec(e.data(), d.NSH), lib::Vec(cn.data(), d.NSH),
                            lib::Mat(x.data(), d.NB, lk.back() - 1), *reread, lib::CIVec(nw.data(), d.NSH));
  }

  lib::GroundStateGroup s00;
  s00.Z1 = d.Z1;
  s00.Z2 = d.Z2;
  s00.RZ = d.RZ;
  s00.NSH = d.NSH;
  std::copy(d.MLN.begin(), d.MLN.begin() + s00.MLN.size(), s00.MLN.begin());
  s00.NA = d.NA;
  s00.NB = d.NB;
  s00.RP = d.RP;
  s00.EPS = d.EPS;
  io::Unit& out = units.open_new(2, to);
  s00.written_group().write(out);
  for (const auto& l : block) out.write_record(l);
  units.close_all();
}

}  // namespace

int main(int argc, char** argv) {
  return io::run_program([&] {
    if (argc != 3)
      io::stop("usage: gsfile RESULT GROUND  (RESULT: a tovrel result file; GROUND: the new ground-state file)");
    convert(argv[1], argv[2]);
  });
}

#include "diatom/empty_orbitals.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diatom/jobs.hpp"
#include "diatom/listings.hpp"
#include "diatom/text_files.hpp"
#include "diatom/tovrel_controls.hpp"
#include "io/stop.hpp"
#include "lib/orbital_file.hpp"
#include "scf/sizes.hpp"

namespace diatom {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEmptyFolder = "empty";
constexpr const char* kEmptyListing = "v.lst";
constexpr const char* kEmptyResult = "v.res";
constexpr const char* kGroundCopy = "ground.res";

// The shell `n` of the symmetry (M, parity), named as a user would write it.
Shell shell_of(int n, int M, char parity, bool equal) {
  const std::string name = std::to_string(n) + "spd"[M] + (equal ? std::string(1, parity) : "");
  return parse_shell(name, equal, "the aufbau check");
}

// The group of the ground state with `extra` appended as an empty shell:
// its row of AHF and BHF (the terms it would add to the equations, its own
// among them) is zero; its column keeps the terms of the occupied shells.
scf::ControlGroup empty_shell_group(const Plan& p, Shell extra) {
  Molecule m = p.molecule;
  extra.empty = true;
  m.shells.push_back(extra);
  return make_d00(m, m.RZ[0], empty_orbitals_on_start_grid(p) ? p.warm_accuracy : p.accuracy, kEmptyListing,
                  kEmptyResult);
}

std::string energy_text(double e) {
  char b[64];
  std::snprintf(b, sizeof b, "%.9f", e);
  return b;
}

}  // namespace

std::vector<Shell> empty_shells(const Molecule& m) {
  const bool equal = m.equal_nuclei;
  const std::vector<char> parities = equal ? std::vector<char>{'g', 'u'} : std::vector<char>{0};
  int top = 0;
  for (const Shell& s : m.shells) top = std::max(top, s.M);
  std::vector<Shell> out;
  for (int M = 0; M <= std::min(top + 1, 2); ++M) {
    for (char parity : parities) {
      int count = 0;
      bool occupied_M = false;
      for (const Shell& s : m.shells) {
        occupied_M = occupied_M || s.M == M;
        if (s.M == M && s.parity == parity) ++count;
      }
      // The next shell of an occupied symmetry; the first of the other
      // parity of an occupied M and of the next M.
      if (occupied_M || M == top + 1) out.push_back(shell_of(count + 1, M, parity, equal));
    }
  }
  return out;
}

void add_empty_shell(const std::string& from, const std::string& to, int waves) {
  std::istringstream in(read_text_file(from));
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  // The orbital block follows the echo of the group, which ends with '/'.
  const auto group_end = [](const std::string& l) {
    const size_t a = l.find_first_not_of(' ');
    return a != std::string::npos && l[a] == '/' && l.find_first_not_of(" \r", a + 1) == std::string::npos;
  };
  size_t h = 0;
  while (h < lines.size() && !group_end(lines[h])) ++h;
  long NSH = 0, N = 0;
  if (++h >= lines.size() || !lib::parse_orbital_header(lines[h], NSH, N) || NSH < 1 || N < 1) {
    io::stop("file '" + from + "': no orbital block after the group");
  }
  const long per_wave = (N + 4) / 5;
  size_t at = h + 1;
  for (long J = 0; J < NSH; ++J) {
    long number = 0, n = 0;
    if (at >= lines.size() || !lib::parse_orbital_shell(lines[at], number, n) || n < 0) {
      io::stop("file '" + from + "', record " + std::to_string(at + 1) + ": not the head of shell " +
               std::to_string(J + 1));
    }
    at += 2 + static_cast<size_t>(n * per_wave);
  }
  if (at > lines.size()) io::stop("file '" + from + "': the orbital block ends early");
  char b[128];
  std::vector<std::string> shell;
  std::snprintf(b, sizeof b, "%6ld%5d", NSH + 1, waves);
  shell.push_back(b);
  std::snprintf(b, sizeof b, "%20.9E%20.9E", 0.0, 0.0);
  shell.push_back(b);
  for (int k = 0; k < waves; ++k) {
    for (long r = 0; r < per_wave; ++r) {
      std::string row;
      for (long c = 0; c < std::min<long>(5, N - 5 * r); ++c) {
        std::snprintf(b, sizeof b, "%16.9E", 0.0);
        row += b;
      }
      shell.push_back(row);
    }
  }
  std::snprintf(b, sizeof b, "%5ld     %5ld", NSH + 1, N);
  lines[h] = b;
  lines.insert(lines.begin() + static_cast<long>(at), shell.begin(), shell.end());
  std::ostringstream out;
  for (const std::string& l : lines) out << l << "\n";
  replace_file(to, out.str());
}

bool empty_orbitals_sought(const Molecule& m) {
  if (m.open >= 0 && !m.one_electron()) return false;
  if (m.one_electron() && (m.Z1 == 0.0 || m.Z2 == 0.0)) return false;
  return static_cast<int>(m.shells.size()) < scf::kMaxShells;
}

bool empty_orbitals_on_start_grid(const Plan& p) { return p.warm && !p.scan() && !p.molecule.one_electron(); }

std::vector<EmptyOrbital> empty_orbitals(const Plan& p, const std::string& bin) {
  const Molecule& m = p.molecule;
  if (!empty_orbitals_sought(m)) return {};
  const bool on_start = empty_orbitals_on_start_grid(p);
  const std::string ground = on_start ? p.path(kWarmFolder) : p.path(p.distances[0]);
  const int waves = on_start ? p.warm_accuracy.n : p.accuracy.n;
  std::vector<EmptyOrbital> out;
  std::vector<Job> jobs;
  for (const Shell& s : empty_shells(m)) {
    const std::string folder = p.path(kEmptyFolder) + "/" + s.name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    write_tovrel_controls(folder, empty_shell_group(p, s), {"empty orbital " + s.name}, kGroundCopy, false);
    add_empty_shell(ground + "/" + kGroundResult, folder + "/" + kGroundCopy, waves);
    out.push_back({s, std::nullopt, ""});
    Job j;
    j.label = "tovrel (empty " + s.name + ")";
    j.folder = folder;
    j.argv = {bin + "/tovrel"};
    j.console = "tovrel.out";
    j.quiet = true;
    jobs.push_back(j);
  }
  run_jobs(jobs, cores());
  for (size_t i = 0; i < out.size(); ++i) {
    const std::string folder = jobs[i].folder;
    const size_t n = m.shells.size() + 1;
    const std::vector<double> e =
        jobs[i].status == 0 && fs::exists(folder + "/" + kEmptyListing)
            ? block_orbital_energies(energy_block(read_text_file(folder + "/" + kEmptyListing)), n)
            : std::vector<double>{};
    if (e.size() == n) {
      out[i].energy = e.back();
      continue;
    }
    const std::string why = stop_message(folder + "/tovrel.out");
    out[i].why = why.find("NO BOUND STATE") != std::string::npos
                     ? "none below -0.001 hartree in the field without exchange"
                     : "not found (" + (why.empty() ? "tovrel: exit status " + std::to_string(jobs[i].status) : why) +
                           ")";
  }
  return out;
}

std::vector<std::string> aufbau_warnings(const Molecule& m, const std::vector<double>& occupied,
                                         const std::vector<EmptyOrbital>& empty) {
  std::vector<std::string> out;
  for (const EmptyOrbital& e : empty) {
    if (!e.energy) continue;
    std::string above;
    for (size_t i = 0; i < occupied.size() && i < m.shells.size(); ++i) {
      if (occupied[i] > *e.energy) above += (above.empty() ? "" : ", ") + m.shells[i].name;
    }
    if (above.empty()) continue;
    out.push_back("the empty " + e.shell.name + " (" + energy_text(*e.energy) + " hartree) lies below the occupied " +
                  above + ": this is not the lowest configuration, or an occupied shell of its symmetry is not the "
                  "lowest solution; try SHELLS with " + e.shell.name + " occupied in place of the highest of them");
  }
  return out;
}

}  // namespace diatom

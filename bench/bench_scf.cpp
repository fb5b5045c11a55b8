// Wall time and number of sweeps of the ground-state program on a shipped
// example (N2 by default; another folder of examples/ as the argument).
// The run is the program's own (entry, driver, shell updates) in a scratch
// folder; the console traces are counted, not printed.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/workspace.hpp"
#include "scf/entry.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : "n2";
  const fs::path source = fs::path(SUITE_SOURCE_DIR) / "examples" / name;
  const fs::path dir = fs::temp_directory_path() / ("bench_scf_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* f : {"Dp_Data.dsc", "Velor.prt"}) fs::copy_file(source / f, dir / f);
  const fs::path home = fs::current_path();
  fs::current_path(dir);

  std::ostringstream trace;
  std::istringstream no_answers;
  int status = 0;
  const auto t0 = std::chrono::steady_clock::now();
  {
    io::ConsoleRedirect quiet(&no_answers, &trace);
    try {
      io::Units units;
      units.open_old(3, "Dp_Data.dsc");
      lib::Workspace V(scf::kNUV);
      scf::DHS_00(scf::kNUV, V, units);
    } catch (const io::StopRun& s) {
      status = s.status();
      std::printf("stopped: %s\n", s.message().c_str());
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  const std::string out = trace.str();
  const size_t at = out.find("self-consistent after");
  const int sweeps = at == std::string::npos ? -1 : std::stoi(out.substr(at + 21));
  long trials = 0;
  for (size_t k = out.find("itr,ipa"); k != std::string::npos; k = out.find("itr,ipa", k + 1)) ++trials;

  std::printf("example %s: %s\n", name.c_str(), status == 0 ? "converged" : "did not converge");
  std::printf("wall time        %10.2f s\n", seconds);
  std::printf("sweeps           %10d\n", sweeps);
  std::printf("energy trials    %10ld   (%.2f ms each)\n", trials, trials ? 1e3 * seconds / trials : 0.0);
  // The orbital energies from the listing (its name is the FIL of the control file).
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".lst") continue;
    std::ifstream in(e.path());
    std::string line;
    bool results = false;
    while (std::getline(in, line)) {
      if (line.find("N SHELL          ENEGIES") != std::string::npos)
        results = true;
      else if (results && line.size() > 10 && line.find("Cn_Is") == std::string::npos)
        std::printf("  shell %s\n", line.c_str() + 4);
    }
  }
  fs::current_path(home);
  fs::remove_all(dir);
  return status;
}

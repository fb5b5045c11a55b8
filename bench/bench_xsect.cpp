// Wall time of the Hartree–Fock part and of the RPA part of xsect for three
// channels with an RPA matrix of order near 1000.
//
//   bench_xsect [NC]   NC continuum energies per channel (odd; default 55)
//
// The channel functions are smooth test functions; only the amount of work
// matters here.  The HF part is timed by a run without RPA, the RPA part
// (matrix build and RPA equations at every node of every channel) as the
// difference to a run with it: once with the factored solve (ILIN = 0, on
// the threads OpenMP offers) and once with the complex inverse (ILIN = 1);
// the factored solve again with every channel read again for a later pair
// parsed from its files (IRD = 0) instead of set from its binary copy.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "lib/workspace.hpp"
#include "photo/driver.hpp"
#include "photo/entry.hpp"
#include "support/channel_data.hpp"

namespace fs = std::filesystem;

static double run_case(const fs::path& dir, int irp, int ilin, int nc, int* nur_out, int ird = 1) {
  testsupport::GroundState gs;
  gs.NB = 200;
  gs.RP2 = 30.0;
  gs.shells = {{0, 0, 3, -1.0}, {0, 1, 3, -0.6}, {1, 1, 3, -0.5}};
  testsupport::Channel ch[3];
  for (int c = 0; c < 3; ++c) {
    ch[c].shell = c + 1;
    ch[c].M = c == 2 ? 1 : 0;
    ch[c].L0 = ch[c].M;
    ch[c].NX = 3;
    ch[c].NL = 3;
    ch[c].NC = nc;
    ch[c].ND = 2;
    ch[c].P0 = 0.3;
    ch[c].DP = 0.05;
    ch[c].seed = c + 1;
  }
  const int ncu = nc * 3 + 2;
  const int nur = 2 * 3 * ncu;
  *nur_out = nur;
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ostringstream control;
  control << "&S40 NCH=3, FIR='a.dat', FIL='run.lst', FIG='gs.dat', IRP=" << irp << ", ILIN=" << ilin << ", IRD=" << ird
          << ", NUR=" << nur << ", NEM=" << ncu
          << ",\n FIC='c1.dat','c2.dat','c3.dat', FID='d1.dat','d2.dat','d3.dat', ID=2,2,2 /\n";
  std::ofstream(dir / "File.D40") << control.str();
  std::ofstream(dir / "gs.dat") << gs.text();
  const char* fic[3] = {"c1.dat", "c2.dat", "c3.dat"};
  const char* fid[3] = {"d1.dat", "d2.dat", "d3.dat"};
  for (int c = 0; c < 3; ++c) {
    std::ofstream(dir / fic[c]) << ch[c].text(gs.NB);
    std::ofstream(dir / fid[c]) << ch[c].extra_text(gs.NB);
  }
  fs::path old = fs::current_path();
  fs::current_path(dir);
  std::ostringstream quiet;
  std::istringstream none;
  io::ConsoleRedirect redirect(&none, &quiet);
  auto t0 = std::chrono::steady_clock::now();
  {
    io::Units units;
    units.open_old(3, "File.D40");
    lib::Workspace V(photo::kNUV);
    auto run = std::make_unique<photo::PhotoRun>();
    photo::run_photoionisation(photo::kNUV, V, units, photo::kXsect, *run, photo::hartree_fock_rpa_cross_sections);
  }
  auto t1 = std::chrono::steady_clock::now();
  fs::current_path(old);
  return std::chrono::duration<double>(t1 - t0).count();
}

int main(int argc, char** argv) {
  int nc = argc > 1 ? std::atoi(argv[1]) : 55;
  if (nc < 3 || nc % 2 == 0) {
    std::fprintf(stderr, "NC must be odd and at least 3\n");
    return 2;
  }
  fs::path dir = fs::temp_directory_path() / ("bench_xsect_" + std::to_string(::getpid()));
  int nur = 0;
  double hf = run_case(dir, 0, 0, nc, &nur);
  double fast = run_case(dir, 1, 0, nc, &nur) - hf;
  double written = run_case(dir, 1, 1, nc, &nur) - hf;
  double parsed = run_case(dir, 1, 0, nc, &nur, 0) - hf;
  fs::remove_all(dir);
  std::printf("xsect, 3 channels x %d energies x 3 solutions + 2 extra functions, NB = 200, NUR = %d\n", nc, nur);
  std::printf("  Hartree-Fock part:                 %8.2f s\n", hf);
  std::printf("  RPA part (matrix and equations), %d RPA solves of order %d:\n", 3 * nc, nur);
  std::printf("    complex inverse (ILIN = 1):      %8.2f s\n", written);
  std::printf("    factored solve  (ILIN = 0):      %8.2f s   ratio %.1f\n", fast, written / fast);
  std::printf(
      "    the same, channels read again from their files (IRD = 0): %8.2f s, from binary copies (IRD = 1): "
      "ratio %.2f\n",
      parsed, parsed / fast);
  return 0;
}

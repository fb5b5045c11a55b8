// Time of a photoionisation from a description: `diatom` run on N2's
// four valence shells (R = 2.068 bohr; 3σg, 1πu, 2σu, 2σg: nine channels)
// with the RPA from 20 to 60 eV and no setting given by hand, with its
// check (CHECK = 1) or without (--no-check).  Prints the wall time of the
// whole run, and the summed seconds of each program's steps (the step
// records) for the rule's folders and for the check's, with the sizes xsect
// was given, and the listing's account of the target.  The goals: the rule
// within 15 minutes on two cores, its check within 45.
//
//   bench_photo [--no-check] [--keep] [-j N]
//
// --keep leaves the run folder (its path is printed).  Wall times depend on
// the machine's other load: quote them with it.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* kGroup =
    "&MOL\n TIT = 'N2 at R = 2.068 bohr: valence RPA from the description',\n Z1 = 7.0, Z2 = 7.0, RZ = 2.068,\n"
    " SHELLS = '1sg 1su 2sg 2su 3sg 1pu',\n ION = '3sg 1pu 2su 2sg', EMIN = 20.0, EMAX = 60.0, RPA = 1,\n";

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

int main(int argc, char** argv) {
  bool check = true, keep = false;
  std::string jobs = "2";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--no-check") {
      check = false;
    } else if (a == "--keep") {
      keep = true;
    } else if (a == "-j" && i + 1 < argc) {
      jobs = argv[++i];
    } else {
      std::fprintf(stderr, "bench_photo: unknown argument '%s' (--no-check, --keep, -j N)\n", a.c_str());
      return 2;
    }
  }
  const fs::path diatom = fs::absolute(fs::path(argv[0])).parent_path().parent_path() / "diatom";
  if (!fs::exists(diatom)) {
    std::fprintf(stderr, "bench_photo: no diatom program at %s\n", diatom.c_str());
    return 2;
  }
  const fs::path dir = fs::temp_directory_path() / ("bench_photo_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "n2.mol") << kGroup << (check ? " CHECK = 1,\n" : "") << "/\n";
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    if (std::freopen("diatom.out", "w", stdout) == nullptr || std::freopen("diatom.err", "w", stderr) == nullptr)
      ::_exit(127);
    ::execl(diatom.c_str(), diatom.c_str(), "-j", jobs.c_str(), "n2.mol", "run", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  // Seconds of each program, the rule's folders apart from the check's.
  std::map<std::string, double> rule, checked;
  for (const auto& f : fs::recursive_directory_iterator(dir / "run")) {
    const std::string name = f.path().filename().string();
    if (name.size() < 8 || name.substr(name.size() - 7) != ".status") continue;
    const std::string text = read_text(f.path());
    const size_t at = text.find("seconds ");
    if (at == std::string::npos) continue;
    const std::string rel = fs::relative(f.path(), dir / "run").string();
    const bool in_check = rel.rfind("check/", 0) == 0;
    (in_check ? checked : rule)[name.substr(0, name.size() - 7)] += std::strtod(text.c_str() + at + 8, nullptr);
  }
  std::printf("N2 valence RPA (nine channels, 20-60 eV) through diatom -j %s%s: %s, wall %.1f s\n", jobs.c_str(),
              check ? " with CHECK = 1" : "", status == 0 ? "finished" : "FAILED", wall);
  std::printf("%-10s %12s %12s\n", "program", "rule (s)", "check (s)");
  for (const char* p : {"tovrel", "gsfile", "chanfile", "xsect"})
    std::printf("%-10s %12.1f %12.1f\n", p, rule[p], checked[p]);
  const std::string lst = read_text(dir / "run" / "diatom.lst");
  for (const char* key : {"   xsect: NEM", "Check of the photoionisation", "Target:"}) {
    for (size_t at = lst.find(key); at != std::string::npos; at = lst.find(key, at + 1)) {
      std::printf("%s\n", lst.substr(at, lst.find('\n', at) - at).c_str());
    }
  }
  if (keep)
    std::printf("run folder: %s\n", (dir / "run").c_str());
  else
    fs::remove_all(dir);
  return status == 0 ? 0 : 1;
}

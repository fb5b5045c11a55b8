#include "photo/entry.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "io/checked.hpp"
#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/orbital_file.hpp"
#include "photo/beta_table.hpp"
#include "photo/mfpad.hpp"
#include "photo/wave_table.hpp"

namespace photo {

std::array<long, 13> partition(int NB, int NKS, int NX, int NEM, int NUR, int wk_columns) {
  const long nb = NB;
  const long KN1 = static_cast<long>(NEM) * NX * nb;
  const long KN2 = static_cast<long>(NUR) * NUR;
  const long KM = KN2 < KN1 ? KN1 : KN2;
  std::array<long, 13> K{};
  K[0] = 1;
  K[1] = K[0] + 8 * nb;
  K[2] = K[1] + 8 * nb;
  K[3] = K[2] + NKS * nb;
  K[4] = K[3] + KM;
  K[5] = K[4] + KM;
  K[6] = K[5] + KN2;
  K[7] = K[6] + KN2;
  for (int s = 8; s <= 11; ++s) K[s] = K[s - 1] + NX * nb;
  K[12] = K[11] + wk_columns * nb;
  return K;
}

namespace {

// The outputs of a run, named by the control group alone: the listing, the
// data file, the table of asymmetry parameters (the listing's name with
// ".beta") and that of the angular distributions (".mfpad").
struct OutputNames {
  std::string listing, data, beta, mfpad, waves;
};

// 1-4. The control group and its check, the names of the outputs (none may
// exist; they are made once every input is checked), the ground-state file
// and its group, and the continuum data of an earlier run.
OutputNames read_groups(io::Units& units, const Variant& variant, PhotoRun& run) {
  S40& s40 = run.s40;
  lib::GroundStateGroup& s00 = run.s00;
  io::Unit& u3 = units(3);
  s40.group(variant).read(u3);
  check_control_group(s40, variant, u3.name());
  const std::string FIL = s40.FIL, FIR1 = s40.FIR[0];
  const OutputNames out{io::trim_right(FIL), io::trim_right(FIR1), beta_table_name(io::trim_right(FIL)),
                        mfpad_table_name(io::trim_right(FIL)), wave_table_name(io::trim_right(FIL))};
  std::vector<std::pair<int, std::string>> outputs{{10, out.listing}, {11, out.data}, {13, out.beta}};
  if (s40.NMF > 0) outputs.push_back({14, out.mfpad});
  if (s40.NWV == 1) outputs.push_back({15, out.waves});
  io::Units::require_new(outputs);
  // FIL and FIR are also variables of S00, so the outputs are named before
  // that group is read.
  io::Unit& u20 = units.open_old(20, io::trim_right(s40.FIG));
  s00.group(s40.FIL, s40.FIR).read(u20);
  lib::check_ground_state(s00, u20.name());
  if (s40.IRP == 2) units.open_old(12, io::trim_right(s40.FIR[1]));
  return out;
}

// 5-6. Shell table and columns of the ground-state orbitals.
void set_shell_table(PhotoRun& run) {
  const lib::GroundStateGroup& s00 = run.s00;
  run.NSG = s00.NSH;
  run.NA = s00.NA;
  run.NB = s00.NB;
  lib::IMat MNG = run.mng();
  run.LG[0] = 1;
  for (int I = 1; I <= run.NSG; ++I) {
    for (int J = 1; J <= 3; ++J) MNG(J, I) = s00.MLN[3 * (I - 1) + (J - 1)];
    run.LG[I] = run.LG[I - 1] + MNG(3, I);
  }
  run.NKS = run.LG[run.NSG];
  run.NX = MNG(3, run.NSG);
}

// 7-8. Partition and its check (the largest slices first, in 64 bits), and
// the slices of the workspace.  A demand above NUV gets a workspace of its
// own (`larger`), up to NUVM words.
void slice_workspace(long NUV, lib::Workspace& V, const Variant& variant, PhotoRun& run,
                     std::unique_ptr<lib::Workspace>& larger) {
  const S40& s40 = run.s40;
  const int NB = run.NB;
  for (long long words : {io::checked_product({s40.NEM, run.NX, NB}), io::checked_product({s40.NUR, s40.NUR})}) {
    if (words < 0 || words > s40.NUVM) io::stop(" GIVE ME MEMORY");
  }
  run.K = partition(NB, run.NKS, run.NX, s40.NEM, s40.NUR, variant.wk_columns);
  const auto& K = run.K;
  io::console().line(io::lstring(K[12], NUV));
  lib::Workspace* W = &V;
  if (K[12] > NUV) {
    if (K[12] > s40.NUVM) {
      io::console().line("workspace of " + std::to_string(K[12]) + " words needed, NUVM = " + std::to_string(s40.NUVM) +
                         " (group &S40) allows no more");
      io::stop(" GIVE ME MEMORY");
    }
    larger = std::make_unique<lib::Workspace>(K[12]);
    W = larger.get();
  }
  auto mat = [&](long start, long end) {
    long words = end - start;
    int cols = static_cast<int>(words / NB);
    return lib::Mat(W->slice(start, words).data(), NB, cols);
  };
  run.R = mat(K[0], K[1]);
  run.RV = mat(K[1], K[2]);
  run.XG = mat(K[2], K[3]);
  run.XE1 = mat(K[3], K[4]);
  run.XE2 = mat(K[4], K[5]);
  const int NUR = s40.NUR;
  run.U = lib::Mat(W->slice(K[5], static_cast<long>(NUR) * NUR).data(), NUR, NUR);
  run.UI = lib::Mat(W->slice(K[6], static_cast<long>(NUR) * NUR).data(), NUR, NUR);
  run.WC1 = mat(K[7], K[8]);
  run.WC2 = mat(K[8], K[9]);
  run.WC3 = mat(K[9], K[10]);
  run.WC4 = mat(K[10], K[11]);
  run.WK = mat(K[11], K[12]);
}

// 9. Ground-state orbitals from the ground-state file (unit 20), which is
// closed after them.
void read_ground_state_orbitals(io::Units& units, PhotoRun& run) {
  lib::IMat MNG = run.mng();
  std::array<int, 9> NW{};
  for (int I = 1; I <= run.NSG; ++I) NW[static_cast<size_t>(I - 1)] = MNG(3, I);
  lib::read_orbital_block(run.NB, lib::CIVec(run.LG.data(), run.NSG), lib::Vec(run.EG.data(), run.NSG),
                          lib::Vec(run.CG.data(), run.NSG), run.XG, units(20), lib::CIVec(NW.data(), run.NSG));
  units.close(20);
}

}  // namespace

void run_photoionisation(long NUV, lib::Workspace& V, io::Units& units, const Variant& variant, PhotoRun& run,
                         const Driver& driver) {
  run.variant = &variant;
  const OutputNames out = read_groups(units, variant, run);
  set_shell_table(run);
  std::unique_ptr<lib::Workspace> larger;
  slice_workspace(NUV, V, variant, run, larger);
  read_ground_state_orbitals(units, run);
  // The control and ground-state inputs are checked before the first output
  // file is made.
  units.open_new(10, out.listing);
  units.open_new(11, out.data);
  units.open_new(13, out.beta);
  if (run.s40.NMF > 0) units.open_new(14, out.mfpad);
  if (run.s40.NWV == 1) units.open_new(15, out.waves);
  // 10. Factorials 0! … 80!.
  lib::fill_factorials(80, lib::VecView<double, 0>(run.FC.data(), 81));
  // 11. The driver.
  driver(run, units);
}

}  // namespace photo

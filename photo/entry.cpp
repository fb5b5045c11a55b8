#include "photo/entry.hpp"

#include <algorithm>
#include <memory>

#include "io/checked.hpp"
#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/orbital_file.hpp"
#include "photo/beta_table.hpp"
#include "photo/mfpad.hpp"

namespace photo {

io::Group S40::group(const Variant& v) {
  io::Group g("S40");
  g.add("NCH", NCH).add("FIR", FIR.data(), 12, {10}).add("FIL", FIL, 12).add("FIG", FIG, 12);
  g.add("FID", FID.data(), v.name_length, {kMaxChannels}).add("FIC", FIC.data(), v.name_length, {kMaxChannels});
  g.add("IRP", IRP).add("IC", IC.data(), {kMaxChannels}).add("ID", ID.data(), {kMaxChannels});
  g.add("NEM", NEM).add("NUR", NUR).add("MIE", MIE).add("ECH", ECH.data(), {kMaxChannels});
  g.add("EXACT", EXACT).add("IDER", IDER).add("IPV", IPV);
  g.add("ILIN", ILIN).add("IWM", IWM).add("NUVM", NUVM);
  g.add("NMF", NMF)
      .add("EMF", EMF.data(), {kMaxMfpadEnergies})
      .add("NAF", NAF)
      .add("AMF", AMF.data(), {kMaxMfpadAngles});
  return g;
}

io::Group S40::written_group(const Variant& v) {
  io::Group g("S40");
  g.add("NCH", NCH).add("FIL", FIL, 12).add("FIG", FIG, 12).add("FIR", FIR.data(), 12, {1});
  g.add("FIC", FIC.data(), v.name_length, {NCH});
  if (std::any_of(ID.begin(), ID.begin() + std::clamp(NCH, 0, kMaxChannels), [](int n) { return n > 0; })) {
    g.add("FID", FID.data(), v.name_length, {NCH}).add("ID", ID.data(), {NCH});
  }
  g.add("IRP", IRP).add("NEM", NEM).add("NUR", NUR).add("MIE", MIE);
  g.add("IDER", IDER);
  if (IPV != 0) g.add("IPV", IPV);
  if (NMF > 0) g.add("NMF", NMF).add("EMF", EMF.data(), {NMF}).add("NAF", NAF).add("AMF", AMF.data(), {NAF});
  return g;
}

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

// Input that the fixed tables of the programs cannot hold stops the run
// before anything is computed, naming the file, group and variable.
void check_control(const S40& s, const Variant& v, const std::string& file) {
  auto fail = [&](const std::string& var, const std::string& why) {
    io::stop("file '" + file + "', group &S40, variable " + var + ": " + why);
  };
  if (s.NCH < 1 || s.NCH > kMaxChannels) {
    fail("NCH", std::to_string(s.NCH) + " channels; " + v.program + " takes 1 to " + std::to_string(kMaxChannels));
  }
  if (s.IRP < 0 || s.IRP > 2) fail("IRP", "must be 0, 1 or 2");
  if (s.EXACT != 0 && s.EXACT != 1) fail("EXACT", "0 (the programs' constants) or 1 (exact constants)");
  if (s.IDER != 0 && s.IDER != 1) {
    fail("IDER", "0 (one-sided difference at xi = 1) or 1 (odd projections through X/sqrt(xi**2 - 1))");
  }
  if (s.IRP == 2 && io::trim_right(s.FIR[1]).empty()) {
    fail("FIR(2)", "IRP = 2 reads the continuum data of an earlier run from FIR(2), which is not named");
  }
  if (s.NEM < 0) fail("NEM", "must not be negative");
  if (s.NUR < 0) fail("NUR", "must not be negative");
  if (s.ILIN < 0 || s.ILIN > 1) fail("ILIN", "must be 0 (factored solve) or 1 (complex inverse)");
  if (s.IPV != 0 && s.IPV != 1) fail("IPV", "0 (continuum from the first node) or 1 (from the threshold)");
  if (s.IWM < 0 || s.IWM > 1) fail("IWM", "must be 0 or 1 (write the RPA matrix rows)");
  if (s.IWM == 1 && std::string(v.program) == kXsectA.program)
    fail("IWM", "xsect_a builds the RPA matrix itself and writes no matrix rows");
  if (s.NUVM < 1) fail("NUVM", "must be positive");
  if (s.NMF < 0 || s.NMF > kMaxMfpadEnergies) {
    fail("NMF", "0 (no angular distributions) to " + std::to_string(kMaxMfpadEnergies) + " photon energies");
  }
  for (int k = 0; k < s.NMF; ++k) {
    if (!(s.EMF[static_cast<size_t>(k)] > 0.0))
      fail("EMF(" + std::to_string(k + 1) + ")", "a photon energy must be positive");
  }
  if (s.NMF > 0 && (s.NAF < 1 || s.NAF > kMaxMfpadAngles)) {
    fail("NAF", "1 to " + std::to_string(kMaxMfpadAngles) + " polarisation angles");
  }
  for (int k = 0; k < (s.NMF > 0 ? s.NAF : 0); ++k) {
    const double a = s.AMF[static_cast<size_t>(k)];
    if (!(a >= 0.0 && a <= 180.0))
      fail("AMF(" + std::to_string(k + 1) + ")", "an angle from the axis, 0 to 180 degrees");
  }
  for (int c = 0; c < s.NCH; ++c) {
    if (s.IC[c] < 0) fail("IC(" + std::to_string(c + 1) + ")", "must not be negative");
    if (s.ID[c] < 0 || s.ID[c] > 5) {
      fail("ID(" + std::to_string(c + 1) + ")", "a channel takes 0 to 5 extra functions");
    }
  }
}

}  // namespace

void HS40(long NUV, lib::Workspace& V, io::Units& units, const Variant& variant, PhotoRun& run, const Driver& driver) {
  run.variant = &variant;
  S40& s40 = run.s40;
  lib::GroundStateGroup& s00 = run.s00;
  // 1. Control group.
  io::Unit& u3 = units(3);
  s40.group(variant).read(u3);
  check_control(s40, variant, u3.name());
  // The outputs are named by the control group alone: the listing, the data
  // file and the table of asymmetry parameters (the listing's name with
  // ".beta").  None may exist; they are made once every input is checked.
  const std::string FIL = s40.FIL, FIR1 = s40.FIR[0];
  const std::string beta = beta_table_name(io::trim_right(FIL));
  const std::string mfpad = mfpad_table_name(io::trim_right(FIL));
  std::vector<std::pair<int, std::string>> outputs{{10, io::trim_right(FIL)}, {11, io::trim_right(FIR1)}, {13, beta}};
  if (s40.NMF > 0) outputs.push_back({14, mfpad});
  io::Units::require_new(outputs);
  // 2-3. Ground-state file and its group; FIL and FIR are the variables of
  // S40, and the listing and FIR(1) are named by the control group alone.
  io::Unit& u20 = units.open_old(20, io::trim_right(s40.FIG));
  s00.group(s40.FIL, s40.FIR).read(u20);
  lib::check_ground_state(s00, u20.name());
  // 4. Continuum data of an earlier run.
  if (s40.IRP == 2) units.open_old(12, io::trim_right(s40.FIR[1]));

  // 5-6. Shell table and columns of the ground-state orbitals.
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

  // 7-8. Partition and its check (the largest slices first, in 64 bits).
  const int NB = run.NB;
  for (long long words : {io::checked_product({s40.NEM, run.NX, NB}), io::checked_product({s40.NUR, s40.NUR})}) {
    if (words < 0 || words > s40.NUVM) io::stop(" GIVE ME MEMORY");
  }
  run.K = partition(NB, run.NKS, run.NX, s40.NEM, s40.NUR, variant.wk_columns);
  const auto& K = run.K;
  io::console().line(io::lstring(K[12], NUV));
  // A demand above NUV gets a workspace of its own, up to NUVM words.
  std::unique_ptr<lib::Workspace> larger;
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

  // 9. Ground-state orbitals.
  std::array<int, 9> NW{};
  for (int I = 1; I <= run.NSG; ++I) NW[static_cast<size_t>(I - 1)] = MNG(3, I);
  lib::read_orbital_block(NB, lib::CIVec(run.LG.data(), run.NSG), lib::Vec(run.EG.data(), run.NSG),
                          lib::Vec(run.CG.data(), run.NSG), run.XG, u20, lib::CIVec(NW.data(), run.NSG));
  units.close(20);
  // The control and ground-state inputs are checked before the first output
  // file is made.
  units.open_new(10, io::trim_right(FIL));
  units.open_new(11, io::trim_right(FIR1));
  units.open_new(13, beta);
  if (s40.NMF > 0) units.open_new(14, mfpad);
  // 10. Factorials 0! … 80!.
  lib::fill_factorials(80, lib::VecView<double, 0>(run.FC.data(), 81));
  // 11. The driver.
  driver(run, units);
}

}  // namespace photo

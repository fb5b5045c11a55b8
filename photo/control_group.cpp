#include "photo/control_group.hpp"

#include <algorithm>

#include "io/stop.hpp"
#include "io/unit.hpp"

namespace photo {

io::Group S40::group(const Variant& v) {
  io::Group g("S40");
  g.add("NCH", NCH).add("FIR", FIR.data(), 12, {10}).add("FIL", FIL, 12).add("FIG", FIG, 12);
  g.add("FID", FID.data(), v.name_length, {kMaxChannels}).add("FIC", FIC.data(), v.name_length, {kMaxChannels});
  g.add("IRP", IRP).add("IC", IC.data(), {kMaxChannels}).add("ID", ID.data(), {kMaxChannels});
  g.add("NEM", NEM).add("NUR", NUR).add("MIE", MIE).add("ECH", ECH.data(), {kMaxChannels});
  g.add("EXACT", EXACT).add("IDER", IDER).add("IPV", IPV);
  g.add("ILIN", ILIN).add("IWM", IWM).add("NUVM", NUVM).add("EMR", EMR).add("IOV", IOV).add("IRD", IRD);
  g.add("NMF", NMF)
      .add("EMF", EMF.data(), {kMaxMfpadEnergies})
      .add("NAF", NAF)
      .add("AMF", AMF.data(), {kMaxMfpadAngles});
  g.add("NWV", NWV).add("IST", IST.data(), {kMaxChannels}).add("IMR", IMR.data(), {kMaxChannels});
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
  if (ILIN != 0) g.add("ILIN", ILIN);
  if (EMR != 0.0) g.add("EMR", EMR);
  if (IOV != 0) g.add("IOV", IOV);
  if (IRD != 1) g.add("IRD", IRD);
  if (NMF > 0) g.add("NMF", NMF).add("EMF", EMF.data(), {NMF}).add("NAF", NAF).add("AMF", AMF.data(), {NAF});
  if (NWV != 0) g.add("NWV", NWV);
  if (NUVM != kNUVM) g.add("NUVM", NUVM);
  if (std::any_of(IST.begin(), IST.begin() + std::clamp(NCH, 0, kMaxChannels), [](int n) { return n != 0; }))
    g.add("IST", IST.data(), {NCH});
  if (std::any_of(IMR.begin(), IMR.begin() + std::clamp(NCH, 0, kMaxChannels), [](int n) { return n != 0; }))
    g.add("IMR", IMR.data(), {NCH});
  return g;
}

// Input that the fixed tables of the programs cannot hold stops the run
// before anything is computed, naming the file, group and variable.
void check_control_group(const S40& s, const Variant& v, const std::string& file) {
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
  if (s.ILIN < 0 || s.ILIN > 3) {
    fail("ILIN",
         "must be 0 (factored solve), 1 (complex inverse), 2 (one Hessenberg reduction for every energy) or 3 (one "
         "of half the order, forward and backward variables folded)");
  }
  if (!(s.EMR >= 0.0)) fail("EMR", "the highest photon energy of the RPA solves must not be negative (0: every node)");
  if (s.IPV != 0 && s.IPV != 1) fail("IPV", "0 (continuum from the first node) or 1 (from the threshold)");
  if (s.NWV != 0 && s.NWV != 1) fail("NWV", "0 (no partial-wave amplitudes) or 1 (FIL.waves)");
  if (s.IWM < 0 || s.IWM > 1) fail("IWM", "must be 0 or 1 (write the RPA matrix rows)");
  if (s.IWM == 1 && std::string(v.program) == kXsectA.program)
    fail("IWM", "xsect_a builds the RPA matrix itself and writes no matrix rows");
  if (s.IOV < 0 || s.IOV > 1) fail("IOV", "must be 0 (one overlap at a time) or 1 (matrix products)");
  if (s.IOV == 1 && std::string(v.program) == kXsectA.program)
    fail("IOV", "xsect_a builds the RPA matrix itself, one overlap at a time");
  if (s.IRD != 0 && s.IRD != 1) fail("IRD", "must be 0 (each read from the formatted files) or 1 (from a binary copy)");
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
    if (s.IST[c] < 0) fail("IST(" + std::to_string(c + 1) + ")", "0 (by the shell) or the channel's ionic state, 1 or more");
    if (s.IMR[c] < -1 || s.IMR[c] > 1)
      fail("IMR(" + std::to_string(c + 1) + ")",
           "0 (as it stands), 1 (as its mirror image) or -1 (left out of the beta)");
    if (s.IMR[c] != 0 && s.IST[c] == 0)
      fail("IMR(" + std::to_string(c + 1) + ")", "a channel enters a state's beta as its mirror image only with IST");
  }
  const bool states = std::any_of(s.IST.begin(), s.IST.begin() + s.NCH, [](int n) { return n != 0; });
  if (states && std::any_of(s.IST.begin(), s.IST.begin() + s.NCH, [](int n) { return n == 0; }))
    fail("IST", "either every channel names its ionic state or none does");
  if (states && s.NMF > 0)
    fail("NMF", "the molecular-frame distributions are taken per ionised shell, not per ionic state (IST)");
}

}  // namespace photo

#include "diatom/photo_controls.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <thread>

#include "diatom/accuracy.hpp"
#include "io/unit.hpp"
#include "photo/kernels/rpa_pencil.hpp"

namespace diatom {

XsectSizes xsect_sizes(const std::vector<Channel>& ch, int NL, int ND, int n, int NSH, int NB, bool rpa) {
  XsectSizes s;
  long most = 0, all = 0;
  for (const Channel& c : ch) {
    const long f = static_cast<long>(c.NC) * NL + ND;
    most = std::max(most, f);
    all += f;
  }
  // Room for the functions of the largest channel, two to spare.
  s.NEM = static_cast<int>(most) + 2;
  s.NUR = rpa ? static_cast<int>(2 * all) : 0;
  const long nb = NB, KN1 = static_cast<long>(s.NEM) * n * nb, KN2 = static_cast<long>(s.NUR) * s.NUR;
  const long KM = std::max(KN1, KN2);
  // The workspace of the partition, and the driver's own tables beside it.
  s.words = 16 * nb + static_cast<long>(NSH) * n * nb + 2 * KM + 2 * KN2 + 4L * n * nb + 45 * nb;
  long groups = 0;
  for (const Channel& c : ch) groups = std::max(groups, static_cast<long>(c.NC) + ND);
  s.words += photo::table_words(groups, n, all, s.NUR, NB, n);
  long onshell = 0;
  for (size_t c = 0; c < ch.size(); ++c) onshell += 3L * NL;
  if (rpa) {
    // The reduction in the workspace's NUR² tables; one energy at a time.
    s.pencil_words = photo::RpaPencil::words(s.NUR, true) +
                     photo::RpaPencilWork::words(s.NUR, static_cast<int>(onshell), static_cast<int>(2 * onshell));
  }
  return s;
}

chan::CHN chanfile_group(const Molecule& m, const MOL& mol, const Channel& c, const std::string& fig) {
  chan::CHN g;
  g.TIT = "diatom: " + c.label(m) + (mol.IPOT == 0 ? ", bare nuclei" : ", static exchange");
  g.FIG = fig;
  g.FIC = c.tag + ".chn";
  g.FID = c.tag + ".fid";
  g.FIL = c.tag + ".lst";
  g.NSI = c.shell + 1;
  g.M = c.M;
  g.NL = mol.NL;
  g.NC = c.NC;
  g.P0 = c.P0;
  g.DP = c.DP;
  g.IPOT = mol.IPOT;
  g.ND = mol.ND;
  // The ionised open shell and its one electron: the field of the closed-shell ion.
  if (m.open >= 0 && !m.one_electron()) g.OPEN = {m.open + 1, m.shells[m.open].electrons()};
  // A hole that leaves several ionic terms: the neutral's term, the ion's
  // and, where the term has two arrangements, the ion's projection.
  if (c.term.multiplicity > 0) {
    g.TERM = m.state;
    g.ION = chan::term_name(c.term);
    if (c.name_projection) g.IONM = c.ion_projection;
  }
  // The velocity form of an odd-M orbital through X/sqrt(ξ² − 1), second
  // order (chanfile's default keeps the one-sided difference of stored runs).
  g.IDER = 1;
  return g;
}

void write_chanfile_control(const std::string& folder, const Molecule& m, const MOL& mol, const Channel& c,
                            const std::string& fig) {
  chan::CHN g = chanfile_group(m, mol, c, fig);
  io::Units units;
  g.written_group().write(units.open_new(3, folder + "/" + chan::kControlFile));
}

double rpa_results_top(const std::vector<Channel>& ch) {
  double top = 0.0;
  for (const Channel& c : ch) {
    if (c.NC < 1 || !std::isfinite(c.results_end)) return 0.0;
    int j = 1;
    const auto omega = [&c](int node) {
      const double k = c.P0 + (node - 1) * c.DP;
      return k * k / 2.0 + c.threshold;
    };
    while (j < c.NC && omega(j) * kHartreeEV < c.results_end) ++j;
    top = std::max(top, omega(std::min(j + kRpaNodesBeyond, c.NC)));
  }
  return top;
}

photo::S40 xsect_group(const XsectControl& c) {
  photo::S40 g;
  g.NCH = static_cast<int>(c.channels.size());
  g.FIL = c.FIL;
  g.FIG = c.FIG;
  g.FIR[0] = c.FIR;
  for (size_t k = 0; k < c.channels.size(); ++k) {
    const std::string& tag = c.channels[k].tag;
    g.FIC[k] = tag + "/" + tag + ".chn";
    g.FID[k] = c.ND > 0 ? tag + "/" + tag + ".fid" : " ";
    g.ID[k] = c.ND;
  }
  // A hole that leaves several ionic terms: each term's channels make one β.
  const bool terms = std::any_of(c.channels.begin(), c.channels.end(), [](const Channel& x) { return x.term_text != ""; });
  for (size_t k = 0; k < c.channels.size() && terms; ++k) {
    g.IST[k] = c.channels[k].state + 1;
    g.IMR[k] = c.channels[k].beta_mirror;
  }
  g.IRP = c.rpa ? 1 : 0;
  g.NEM = c.sizes.NEM;
  g.NUR = c.sizes.NUR;
  // Beyond xsect's default workspace (the self-check's finer grids, the
  // RPA's reduction) the memory half the machine allows: NUVM is a ceiling,
  // and beside the workspace, the pencil and the RPA's energies solved at
  // once the driver's tables grow with the grid (a channel pair's
  // interaction functions: 38,458,492 words for N2's check on 3742 points,
  // which a ceiling of exactly the counted words refused).
  const long cores = std::max(1u, std::thread::hardware_concurrency());
  const long wanted = c.sizes.words + c.sizes.pencil_words + cores * c.sizes.thread_words;
  if (wanted > photo::kNUVM) g.NUVM = static_cast<int>(std::min(std::max(run_words_allowed(), wanted), long{INT_MAX}));
  g.MIE = 0;
  // As in chanfile, the second-order velocity form of odd-M orbitals; with
  // the RPA each continuum integral from its threshold.  xsect's defaults
  // keep the forms of stored runs.
  g.IDER = 1;
  g.IPV = c.rpa ? 1 : 0;
  // The RPA's energies from one Hessenberg reduction of its folded pencil:
  // the same amplitudes as an LU per energy, at a fraction of the time.
  g.ILIN = c.rpa ? 3 : 0;
  // The RPA solved only where results are wanted, the continua above
  // serving its energy integrals.
  if (c.rpa) g.EMR = rpa_results_top(c.channels);
  // The overlaps of the RPA matrix's elements as matrix products.
  g.IOV = c.rpa ? 1 : 0;
  g.NMF = static_cast<int>(c.mfpad.ev.size());
  if (g.NMF > 0) {
    g.NAF = static_cast<int>(c.mfpad.angles.size());
    for (size_t k = 0; k < c.mfpad.ev.size(); ++k) g.EMF[k] = c.mfpad.ev[k] / kHartreeEV;
    for (size_t k = 0; k < c.mfpad.angles.size(); ++k) g.AMF[k] = c.mfpad.angles[k];
  }
  g.NWV = c.waves ? 1 : 0;
  return g;
}

void write_xsect_control(const std::string& folder, const XsectControl& c) {
  photo::S40 g = xsect_group(c);
  io::Units units;
  g.written_group(photo::kXsect).write(units.open_new(3, folder + "/" + kXsectControl));
}

}  // namespace diatom

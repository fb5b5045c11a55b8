#include "photo/driver.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/channel_file.hpp"
#include "lib/dipole_elements.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/orbital_file.hpp"
#include "lib/radial_solver.hpp"
#include "lib/two_region_grid.hpp"
#include "lib/vector_kernels.hpp"
#include "photo/mfpad.hpp"

namespace photo {

namespace {

// The continuum functions of a channel file stand for the momentum grid
// k = P0 + (j − 1)·DP (E = k²/2): the energy integrals of the RPA weight them
// by Simpson's rule over that grid, so the grid must be what the file says
// and, for the RPA, have an odd number of nodes.
void check_momentum_grid(io::Unit& u, double P0, double DP, int nc, const double* E, int IRP) {
  if (!(P0 > 0.0)) u.fail("the first momentum P0 = " + io::lstring(P0) + " of the channel must be positive");
  if (nc > 1 && !(DP > 0.0)) u.fail("the momentum step DP = " + io::lstring(DP) + " must be positive");
  if (IRP != 0 && nc % 2 == 0) {
    u.fail(std::to_string(nc) +
           " energies: the RPA integrates over the momenta by Simpson's rule and needs an odd count");
  }
  for (int j = 1; j <= nc; ++j) {
    const double k = P0 + (j - 1) * DP, want = 0.5 * k * k, got = E[j - 1];
    // The energies are written with nine significant digits.
    if (!(std::fabs(got - want) <= 1.0e-7 * std::max(std::fabs(want), std::fabs(got)))) {
      u.fail("energy block " + std::to_string(j) + " has E =" + io::lstring(got) +
             ", off the momentum grid (k = P0 + " + std::to_string(j - 1) + "·DP gives E = k²/2 =" + io::lstring(want) +
             ")");
    }
  }
}

// Formats are parsed once per run of the program.
const io::Format& fmt(const char* text) {
  static std::map<std::string, io::Format> cache;
  auto it = cache.find(text);
  if (it == cache.end()) it = cache.emplace(text, io::Format(text)).first;
  return it->second;
}

// Listing records.
constexpr const char* kH1 =
    "(20X,' DIATOMIC MOLECULE',/,15X,'  PHOTOIONISATION PARAMETERS',/,/,' Nuclei Charges:       Z1 =',F6.3,/,23X,"
    "'Z2 =',F6.3,/,/,' Internuclei Distance: RZ  =',F7.4,/,/,60('='),/,' Ground state HF results:',/,/,"
    "' Number of the shells: NSG =',I3,/,/,5X,'N shell    M    L0   N OF P.W.',4X,'HF Energies',/)";
constexpr const char* kH2 = "(4X,I4,3X,3(I6),6X,E15.7)";
constexpr const char* kH3 = "(60('='),/,' Number of channels included -',I3)";
constexpr const char* kH4 = "(60('='),/,/,' Hartree-Fock results:')";
constexpr const char* kC1 = "(/,60('-'),/,' Channel ',I2,':  Ionised shell -',I2,';',/,13X,' Final m =',I2,';')";
constexpr const char* kC2 = "(13X,' Theoretical  threshold: E =',E15.7)";
constexpr const char* kC3 = "(13X,' Experimental threshold: E =',E15.7)";
constexpr const char* kC4 = "(/,30(' -'),/,' R-form:',/,15X,' Partial c.s. for L =',10X,/,4X,'  E',5(9X,I3,$))";
constexpr const char* kC5 = "(7X,' Total C.S.')";
constexpr const char* kC6 = "(6E12.4)";
constexpr const char* kC7 = "(/,30(' -'),/,' V-form:',/,15X,' Partial c.s. for L =',10X,/,4X,'  E',5(9X,I3,$))";
constexpr const char* kR1 = "(/,60('='),/,/,' RPA results:')";
// Continuum data file.
constexpr const char* kD1 = "(15X,E15.8)";
constexpr const char* kD2 = "(4E15.6)";
constexpr const char* kD3 = "(5X,3E14.6,7X,E15.6)";
// RPA matrix rows: 17 significant digits, so that a double is read back
// exactly; files of nine digits (5E17.9) are read as well.
constexpr const char* kRows = "(5E25.17)";

// Energies solved at once by the factored RPA solve: all threads OpenMP
// offers, as far as their work (a real matrix of order N0 and N0·(rows + 2)
// right-hand sides each) fits in the words NUVM leaves beside the workspace.
int rpa_threads(int ILIN, int N0, long rows, long spare) {
  if (ILIN != 0) return 1;
  const long per_thread = static_cast<long>(N0) * N0 + static_cast<long>(N0) * (rows + 2);
  const long fit = per_thread > 0 ? spare / per_thread : 1;
  return static_cast<int>(std::clamp<long>(fit, 1, omp_get_max_threads()));
}

}  // namespace

void write_matrix_rows(io::Unit& u, lib::CMat U, int nz0_i, int nz2_i, int nz0_j, int nz2_j) {
  std::vector<double> row(static_cast<size_t>(2 * nz2_j));
  for (int I = 1; I <= 2 * nz2_i; ++I) {
    for (int J = 1; J <= 2 * nz2_j; ++J) row[static_cast<size_t>(J - 1)] = U(nz0_j + J, nz0_i + I);
    io::fwrite(u, fmt(kRows), row);
  }
}

void read_matrix_rows(io::Unit& u, lib::Mat U, int ICH, int JCH, int nz0_i, int nz2_i, int nz0_j, int nz2_j,
                      double mirror) {
  constexpr int kPerLine = 5;
  const int n = 2 * nz2_j;
  for (int I = 1; I <= 2 * nz2_i; ++I) {
    for (int J = 0; J < n;) {
      std::string line;
      const bool got = u.next_record(line);
      const int count = std::min(kPerLine, n - J);
      // The values of a row record are blank-separated and each carries its
      // decimal point; a pair or energy record is not such a line.
      std::istringstream fields(got ? line : std::string());
      std::string field;
      int read = 0;
      for (; read < count && fields >> field; ++read) {
        double v = 0.0;
        if (field.find('.') == std::string::npos || !io::parse_real_field(field, 0, v)) break;
        U(nz0_j + J + read + 1, nz0_i + I) = v;
        if (JCH != ICH) U(nz0_i + I, nz0_j + J + read + 1) = mirror * v;
      }
      if (read < count || fields >> field) {
        u.fail("the RPA matrix rows of channels " + std::to_string(ICH) + ", " + std::to_string(JCH) +
               " are missing after their pair record (row " + std::to_string(I) +
               "); an IRP = 1 run of xsect writes them to its FIR(1) with IWM = 1 in group &S40");
      }
      J += count;
    }
  }
}

PhotoDriver::PhotoDriver(PhotoRun& run, io::Units& units, const DriverSizes& sizes)
    : r_(run),
      units_(units),
      sizes_{std::max(sizes.functions, run.s40.NUR), sizes.scratch},
      LIST(units(10)),
      DATA(units(11)),
      NSG(run.NSG),
      NA(run.NA),
      NB(run.NB),
      NCH(run.s40.NCH),
      NUR(run.s40.NUR),
      IRP(run.s40.IRP),
      MIE(run.s40.MIE),
      EDt(static_cast<size_t>(kMaxExtra * run.s40.NCH)),
      NSIt(static_cast<size_t>(run.s40.NCH)),
      NNLt(static_cast<size_t>(run.s40.NCH)),
      NNPt(static_cast<size_t>(run.s40.NCH)),
      NNDt(static_cast<size_t>(run.s40.NCH)),
      NZ2t(static_cast<size_t>(run.s40.NCH)),
      NZ0t(static_cast<size_t>(run.s40.NCH + 1)),
      EGGt(static_cast<size_t>(run.s40.NCH)),
      functions_(sizes_.functions),
      CSRt(static_cast<size_t>(kMaxSolutions) * sizes_.functions),
      CSVt(static_cast<size_t>(kMaxSolutions) * sizes_.functions),
      STVt(static_cast<size_t>(sizes_.functions)),
      DRt(static_cast<size_t>(sizes_.functions)),
      DVt(static_cast<size_t>(sizes_.functions)),
      Zt(static_cast<size_t>(sizes.scratch)) {
  if (IRP == 2) STORED = &units(12);
  r_.P0.assign(static_cast<size_t>(NCH), 0.0);
  r_.DP.assign(static_cast<size_t>(NCH), 0.0);
}

lib::CMat PhotoDriver::shell(int I) {
  lib::IMat MNG = r_.mng();
  return r_.XG.colsFrom(r_.LG[static_cast<size_t>(I - 1)], MNG(3, I));
}

lib::CIVec PhotoDriver::shell_desc(int I) { return lib::CIVec(r_.MNG.data() + 3 * (I - 1), 3); }

void PhotoDriver::fail_channel(int ICH, const std::string& file, const std::string& why) const {
  io::stop("channel " + std::to_string(ICH) + ", file '" + file + "': " + why);
}

long PhotoDriver::table_words_now() const {
  size_t n = 0;
  const std::vector<double>& AC = r_.AC;
  const std::vector<double>& AS = r_.AS;
  for (const std::vector<double>* v : {&AC, &AS, &EEt, &CNt, &CSRt, &CSVt, &STVt, &DRt, &DVt, &Zt}) n += v->size();
  for (const std::vector<int>* v : {&LEt, &LE2t}) n += v->size();
  return static_cast<long>(n);
}

void PhotoDriver::check_table_words(long more, const std::string& what) const {
  const long beside = table_words_now() + more, limit = r_.s40.NUVM;
  if (r_.K[12] + beside <= limit) return;
  io::console().line("the " + what + " take the driver's tables to " + std::to_string(beside) +
                     " words beside the workspace of " + std::to_string(r_.K[12]) + "; NUVM = " +
                     std::to_string(limit) + " (group &S40) allows no more: raise NUVM, or cap the energies (IC)");
  io::stop(" GIVE ME MEMORY");
}

void PhotoDriver::grow_tables(long groups, long functions) {
  const long f = std::max(groups, static_cast<long>(functions_));
  const long d = std::max({functions, static_cast<long>(NUR), static_cast<long>(DRt.size())});
  const long more = (f - functions_) * (2 * kMaxSolutions + 1) + 2 * (d - static_cast<long>(DRt.size()));
  if (more == 0) return;
  check_table_words(more, "cross sections and amplitudes of " + std::to_string(functions / 2) + " functions");
  functions_ = static_cast<int>(f);
  for (std::vector<double>* v : {&CSRt, &CSVt}) v->resize(static_cast<size_t>(kMaxSolutions) * functions_);
  STVt.resize(static_cast<size_t>(functions_));
  DRt.resize(static_cast<size_t>(d));
  DVt.resize(static_cast<size_t>(d));
}

void PhotoDriver::check_rpa_room(int ICH, long functions) const {
  if (IRP != 0 && 2 * functions > NUR) {
    io::stop("channel " + std::to_string(ICH) + ": the RPA matrix needs order 2·" + std::to_string(functions) + " = " +
             std::to_string(2 * functions) + ", more than NUR = " + std::to_string(NUR) + " of group &S40 (file '" +
             units_(3).name() + "')");
  }
}

void PhotoDriver::set_offsets(const ChannelFiles& ch, lib::IVec LC) {
  LC(1) = 0;
  for (int I = 2; I <= ch.NL; ++I) LC(I) = LC(I - 1) + ch.NX();
}

void PhotoDriver::read_continuum(int unit, const std::string& name, int cap, int extra, lib::Mat XE,
                                 std::vector<int>& LEv, ChannelFiles& ch) {
  io::Unit& u = units_.open_old(unit, name);
  u.require_whole_fields();
  const lib::ChannelHeader h = lib::read_channel_header(u);
  ch.NSI = h.NSI;
  ch.P0 = h.P0;
  ch.DP = h.DP;
  ch.MN = h.MN;
  int nc = h.NC;
  if (ch.NSI < 1 || ch.NSI > NSG) {
    u.fail("the ionised shell " + std::to_string(ch.NSI) + " is not one of the " + std::to_string(NSG) +
           " ground-state shells");
  }
  if (nc < 1) u.fail("the channel has no continuum energies (NC = " + std::to_string(nc) + ")");
  if (ch.NX() < 1) u.fail("the final state has no partial waves (NX = " + std::to_string(ch.NX()) + ")");
  if (ch.MN[1] < std::abs(ch.MN[0])) u.fail("the first momentum L0 of the final state is below its projection M");
  const int Mshell = r_.mng()(1, ch.NSI);
  if (std::abs(ch.MN[0] - Mshell) > 1) {
    u.fail("the final projection M = " + std::to_string(ch.MN[0]) +
           " is not reached from the shell's M = " + std::to_string(Mshell) + " by a dipole transition");
  }
  if (cap != 0 && cap < nc) nc = cap;
  ch.NC = nc;
  // The tables of the channel's functions: NE + 1 group starts, NE energies,
  // amplitudes of up to kMaxSolutions solutions per energy and of the extra
  // functions (zero-filled where they grow, never shrunk).
  const size_t groups = static_cast<size_t>(nc) + static_cast<size_t>(std::max(0, extra));
  const size_t words = (static_cast<size_t>(nc) * kMaxSolutions + static_cast<size_t>(std::max(0, extra))) *
                       static_cast<size_t>(ch.NX());
  long more = 0;
  for (size_t have : {r_.AC.size(), r_.AS.size()}) more += static_cast<long>(words > have ? words - have : 0);
  for (size_t have : {EEt.size(), CNt.size(), LEv.size()})
    more += static_cast<long>(groups + 1 > have ? groups + 1 - have : 0);
  check_table_words(more, "amplitudes and energies of file '" + name + "'");
  for (std::vector<double>* v : {&r_.AC, &r_.AS}) v->resize(std::max(v->size(), words));
  for (std::vector<double>* v : {&EEt, &CNt}) v->resize(std::max(v->size(), groups + 1));
  LEv.resize(std::max(LEv.size(), groups + 1));
  lib::IVec LE(LEv.data(), static_cast<int>(LEv.size()));
  LE(1) = 1;
  int nl_first = 0;
  for (int IC = 1; IC <= nc; ++IC) {
    int nx = ch.NX();
    int nl = 0;
    const int first = LE(IC);
    lib::Vec ac = AMC().from(std::min(first, AMC().size() + 1));
    lib::Vec as = AMS().from(std::min(first, AMS().size() + 1));
    lib::read_energy_block(NB, nl, nx, EEt[static_cast<size_t>(IC - 1)], ac, as,
                           XE.colsFrom(std::min(first, XE.cols() + 1)), u);
    if (nx != ch.NX()) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nx) +
             " partial waves; the channel descriptor says " + std::to_string(ch.NX()));
    }
    if (nl < 1 || nl > kMaxSolutions) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nl) + " solutions; 1 to " +
             std::to_string(kMaxSolutions) + " are allowed");
    }
    if (IC == 1) nl_first = nl;
    if (nl != nl_first) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nl) + " solutions, block 1 " +
             std::to_string(nl_first));
    }
    LE(IC + 1) = LE(IC) + nl * nx;
  }
  check_momentum_grid(u, ch.P0, ch.DP, nc, EEt.data(), IRP);
  ch.NL = nl_first;
  units_.close(unit);
}

void PhotoDriver::read_extra(int unit, const std::string& name, lib::Mat XE, lib::IVec LE, ChannelFiles& ch) {
  const int NC = ch.NC, ND = ch.ND;
  for (int I = 1; I <= ND; ++I) LE(NC + I + 1) = LE(NC + I) + ch.NX();
  if (ND <= 0) return;
  // The number of functions comes from the file; it must be the one the
  // control group announced.
  {
    io::Unit& peek = units_.open_old(unit, name);
    int nsh = 0, n = 0;
    lib::read_orbital_header(peek, nsh, n);
    if (nsh != ND) {
      peek.fail("the file holds " + std::to_string(nsh) + " extra functions; group &S40 announces " +
                std::to_string(ND));
    }
    units_.close(unit);
  }
  io::Unit& u = units_.open_old(unit, name);
  if (LE(NC + ND + 1) - 1 > XE.cols()) u.fail("the extra functions do not fit the function table");
  const std::vector<int> NW(static_cast<size_t>(ND), ch.NX());  // every function has the channel's waves
  lib::read_orbital_block(NB, lib::CIVec(LE.ptr(NC + 1), ND), lib::Vec(EEt.data() + NC, ND),
                          lib::Vec(CNt.data() + NC, ND), XE, u, lib::CIVec(NW.data(), ND));
  units_.close(unit);
}

ChannelFiles PhotoDriver::read_channel(int ICH, int fic_unit, int fid_unit, lib::Mat XE, std::vector<int>& LE,
                                       lib::IVec LC) {
  const size_t c = static_cast<size_t>(ICH - 1);
  const std::string fic = io::trim_right(r_.s40.FIC[c]);
  ChannelFiles ch;
  read_continuum(fic_unit, fic, r_.s40.IC[c], r_.s40.ID[c], XE, LE, ch);
  ch.ND = r_.s40.ID[c];
  set_offsets(ch, LC);
  read_extra(fid_unit, io::trim_right(r_.s40.FID[c]), XE, lib::IVec(LE.data(), static_cast<int>(LE.size())), ch);
  return ch;
}

void PhotoDriver::interaction(lib::CIVec D1, lib::CIVec D2, lib::CIVec DE, lib::CIVec NEd, lib::CMat F1, lib::CMat F2,
                              lib::CMat FE, lib::Mat QQ) {
  if (NEd(3) > QQ.cols()) {
    io::stop("the final state has " + std::to_string(NEd(3)) +
             " partial waves; the interaction functions have room for " + std::to_string(QQ.cols()) +
             " (the partial waves of the last ground-state shell)");
  }
  // The multipoles of the product F1·conj(F2): 3·(n1 + n2)/4 columns of Z.
  const size_t multipoles = static_cast<size_t>((3 * (D1(3) + D2(3))) / 4);
  if (multipoles * static_cast<size_t>(NB) > Zt.size()) {
    const size_t want = multipoles * static_cast<size_t>(NB);
    check_table_words(static_cast<long>(want - Zt.size()), "multipoles of the interaction functions");
    Zt.resize(want);
  }
  lib::Mat WC(r_.WC.data(), NA, NA);
  lib::Mat CX(r_.CX.data(), NA, 3);
  const lib::SeriesTables series{G(),
                                 lib::CMat(r_.AA.data(), NA, 5),
                                 lib::CMat(r_.BB.data(), NA, 5),
                                 lib::CMat(r_.VV.data(), NA, 5),
                                 lib::CMat(r_.UU.data(), NA, NA + 1),
                                 lib::CMat(r_.WW.data(), NA, NA),
                                 lib::CVec(BZ.data(), 5)};
  const lib::PairDensity rho{lib::described_waves(D1, KD, F1), lib::described_waves(D2, KD, F2), C1};
  lib::exchange_potential_waves(
      lib::MultipoleSetting{grid(), r_.R.colsFrom(2), r_.fc()}, series, rho, lib::described_waves(DE, KD, FE), NEd,
      lib::MultipoleWork{lib::Vec(B.data(), 4), WC, CX, r_.WK.colsFrom(1, 6)}, QQ.colsFrom(1, NEd(3)), Z());
}

double PhotoDriver::overlap(int NX, lib::CMat X, lib::CMat W) {
  return lib::two_region_overlap(grid(), RZ3, r_.R.col(3), r_.R.col(6), NX, X.colsFrom(1, NX), W.colsFrom(1, NX),
                                 r_.WK.col(1));
}

// ------------------------------------------------------------------ the run

// Header, grid, the Hartree–Fock tables of every channel (with the RPA
// matrix of its pairs), the RPA equations and the asymmetry parameters.
void PhotoDriver::run() {
  write_header();
  build_tables();
  io::fwrite(LIST, fmt(kH4));
  NZ0()(1) = 0;
  for (int ICH = 1; ICH <= NCH; ++ICH) {
    channel_started(ICH);
    load_channel(ICH);
    const std::vector<int> Ls = write_channel_head(ICH);
    const double E1 = bound_energy(ICH);
    const lib::CMat X1 = shell(MII);
    const int N1 = r_.mng()(3, MII);
    for (int IC = 1; IC <= ch_.NE(); ++IC) hartree_fock_energy(ICH, IC, E1, X1, N1);
    write_velocity_table(Ls);
    tables_written(ICH);
    if (IRP != 0) channel_pairs(ICH);
  }
  if (IRP != 0) {
    before_rpa();
    solve_rpa();
  }
  // Asymmetry parameters: a section after the listing and the table (unit 13).
  beta_.compute(r_.fc());
  write_beta_listing(LIST, beta_, IRP != 0);
  if (units_.is_open(13)) write_beta_table(units_(13), beta_, IRP != 0);
  // Molecular-frame distributions from the same amplitudes (unit 14).
  if (r_.s40.NMF > 0 && units_.is_open(14)) {
    const S40& s = r_.s40;
    MfpadTable t;
    t.compute(beta_, std::vector<double>(s.EMF.begin(), s.EMF.begin() + s.NMF),
              std::vector<double>(s.AMF.begin(), s.AMF.begin() + s.NAF), IRP != 0);
    write_mfpad_table(units_(14), t);
  }
}

// The molecule and the ground-state shells at the head of the listing.
void PhotoDriver::write_header() {
  lib::IMat MNG = r_.mng();
  io::fwrite(LIST, fmt(kH1), r_.s00.Z1, r_.s00.Z2, r_.s00.RZ, NSG);
  for (int I = 1; I <= NSG; ++I) io::fwrite(LIST, fmt(kH2), I, MNG(1, I), MNG(2, I), MNG(3, I), r_.EG[I - 1]);
  io::fwrite(LIST, fmt(kH3), NCH);
}

// Momentum step, scale factors of the dipole elements, the grid tables of
// both forms, the series tables of the multipole solver and the constants of
// the interaction functions.
void PhotoDriver::build_tables() {
  const double Z1 = r_.s00.Z1, Z2 = r_.s00.Z2, RZ = r_.s00.RZ;
  KD = std::fabs(Z1 - Z2) <= 0.001 ? 2 : 1;
  B[0] = 1.0;
  RZ3 = RZ * RZ * RZ / 8.0;
  R3R = RZ3 * RZ / 2.0;
  R3V = (RZ / 4.0) * RZ / 2.0;
  lib::CVec RP(r_.s00.RP.data(), 10);
  lib::length_form_grid(NA, NB, HA, HB, RP, r_.R);
  lib::velocity_form_grid(NA, NB, HA, HB, RP, r_.RV);
  lib::Mat AA(r_.AA.data(), NA, 5), BB(r_.BB.data(), NA, 5), VV(r_.VV.data(), NA, 5);
  lib::Mat UU(r_.UU.data(), NA, NA + 1), WW(r_.WW.data(), NA, NA);
  lib::inner_series_tables(NA, NB, 5, RP(1), HA, r_.R,
                           lib::SeriesTablesOut{G(), AA, BB, VV, UU, lib::Vec(BZ.data(), 5)});
  lib::copy(NA * NA, UU.flat(), WW.flat());
  lib::invert_in_place(NA, DET, WW);
  // The multipole scale −2π and the dipole constant 2·sqrt(π/3) =
  // sqrt(4π/3), truncated as the programs have always formed them unless
  // EXACT = 1 (the truncated CD is 5.5e-8 relative below sqrt(4π/3)).
  const bool exact = r_.s40.EXACT == 1;
  constexpr double kPi = 3.14159265358979323846;
  PI2 = exact ? -2.0 * kPi : -6.28318;
  CH = 12.0 / (HB * HB);
  RZ2 = RZ * RZ / 2.0;
  C1 = RZ2 * PI2;
  CD = 2.0 * std::sqrt(exact ? kPi / 3.0 : 1.047197665619469);
}

// Reads channel ICH into XE1 and its tables, checks that its functions fit
// them, sets the ionised shell and the channel's place in the RPA ordering.
void PhotoDriver::load_channel(int ICH) {
  ChannelFiles& ch = ch_;
  ch = read_channel(ICH, 21, 22, r_.XE1, LEt, LC());
  r_.NL = ch.NL;
  r_.NC = ch.NC;
  r_.ND = ch.ND;
  for (int J = 0; J < 3; ++J) r_.MNC[static_cast<size_t>(J)] = ch.MN[static_cast<size_t>(J)];
  r_.P0[static_cast<size_t>(ICH - 1)] = ch.P0;
  r_.DP[static_cast<size_t>(ICH - 1)] = ch.DP;
  NSI()(ICH) = ch.NSI;
  NNLt[static_cast<size_t>(ICH - 1)] = ch.NL;
  NNPt[static_cast<size_t>(ICH - 1)] = ch.NC;
  NNDt[static_cast<size_t>(ICH - 1)] = ch.ND;
  for (int I = 1; I <= ch.ND; ++I) ED()(I, ICH) = EEt[static_cast<size_t>(ch.NC + I - 1)];
  lib::IMat MNG = r_.mng();
  MII = ch.NSI;
  LIX = r_.LG[static_cast<size_t>(MII - 1)];
  M1 = MNG(1, MII);
  L1 = MNG(2, MII);
  NZ0()(ICH + 1) = NZ0()(ICH) + 2 * ch.NCU();
  NZ2()(ICH) = ch.NCU();
  check_rpa_room(ICH, NZ0()(ICH + 1) / 2);
  grow_tables(ch.NE(), NZ0()(ICH + 1));
  channel_read(ICH);
}

// The channel's head in the listing (ionised shell, final projection,
// threshold) and that of its length-form table; returns the momenta L of
// the table's columns.
std::vector<int> PhotoDriver::write_channel_head(int ICH) {
  const ChannelFiles& ch = ch_;
  io::fwrite(LIST, fmt(kC1), ICH, NSI()(ICH), ch.MN[0]);
  if (MIE == 0) {
    EGG()(ICH) = r_.EG[static_cast<size_t>(MII - 1)];
    io::fwrite(LIST, fmt(kC2), EGG()(ICH));
  } else {
    EGG()(ICH) = r_.s40.ECH[static_cast<size_t>(ICH - 1)];
    io::fwrite(LIST, fmt(kC3), EGG()(ICH));
  }
  beta_.channel(ICH, {ch.NSI, M1, ch.MN[0], ch.MN[1], KD, ch.NX(), ch.NL, ch.NC, EGG()(ICH)});
  std::vector<int> Ls;
  for (int I = 1; I <= ch.NL; ++I) Ls.push_back(ch.MN[1] + (I - 1) * KD);
  io::fwrite(LIST, fmt(kC4), Ls);
  io::fwrite(LIST, fmt(kC5));
  return Ls;
}

// Function group IC of the channel (energy E, or an extra function): its
// amplitudes and the Hartree–Fock dipole elements of its solutions in both
// forms into the data file (or read back from the stored run), the
// amplitudes kept in the RPA ordering, and the row of the length-form table.
void PhotoDriver::hartree_fock_energy(int ICH, int IC, double E1, lib::CMat X1, int N1) {
  const ChannelFiles& ch = ch_;
  double& E = EEt[static_cast<size_t>(IC - 1)];
  if (STORED) io::fread(*STORED, fmt(kD1), E);
  io::fwrite(DATA, fmt(kD1), E);
  STR = 0.0;
  STV()(IC) = 0.0;
  for (int I = 1; I <= ch.NL; ++I) {
    CSR()(I, IC) = 0.0;
    CSV()(I, IC) = 0.0;
  }
  const int waves = IC <= ch.NC ? ch.NL : 1;
  for (int I = 1; I <= waves; ++I) {
    const int M2 = ch.MN[0], L2 = ch.MN[1], NX = ch.NX();
    const int LX = LC()(I) + LE()(IC);
    lib::Vec amc = AMC().sub(LX, NX), ams = AMS().sub(LX, NX);
    if (STORED) {
      io::fread(*STORED, fmt(kD2), amc);
      io::fread(*STORED, fmt(kD2), ams);
    }
    io::fwrite(DATA, fmt(kD2), amc);
    io::fwrite(DATA, fmt(kD2), ams);
    lib::Vec dhr = DHR().col(I), dhv = DHV().col(I);
    const lib::CMat X2 = r_.XE1.colsFrom(LX, NX);
    const lib::DipoleTransition t{lib::PartialWaves{{M1, L1, N1, KD}, X1}, lib::PartialWaves{{M2, L2, NX, KD}, X2}, E1,
                                  E, CD};
    CSR()(I, IC) = lib::dipole_length(grid(), r_.R, r_.fc(), t, R3R, {r_.WK.colsFrom(1, 4), r_.WK.col(11)}, dhr);
    CSV()
    (I, IC) =
        lib::dipole_velocity(grid(), r_.RV, r_.fc(), t, R3V, {r_.WK.colsFrom(1, 4), r_.WK.col(8)}, dhv, r_.s40.IDER);
    if (STORED) {
      io::fread(*STORED, fmt(kD3), dhr, CSR()(I, IC));
      io::fread(*STORED, fmt(kD3), dhv, CSV()(I, IC));
    }
    io::fwrite(DATA, fmt(kD3), dhr, CSR()(I, IC));
    io::fwrite(DATA, fmt(kD3), dhv, CSV()(I, IC));
    beta_.hf_solution(ICH, IC, I, E, amc, ams, dhr(M2 - M1 + 2), dhv(M2 - M1 + 2), CSR()(I, IC), CSV()(I, IC));
    MD = M2 - M1;
    const int k = IC <= ch.NC ? (IC - 1) * ch.NL + I : ch.NC * ch.NL + (IC - ch.NC);
    store_amplitudes(ICH, k, MD, IC, I);
    STR += CSR()(I, IC);
    STV()(IC) += CSV()(I, IC);
  }
  row_finished(IC);
  std::vector<double> row{E};
  for (int I = 1; I <= ch.NL; ++I) row.push_back(CSR()(I, IC));
  row.push_back(STR);
  io::fwrite(LIST, fmt(kC6), row);
}

// The velocity-form table of the channel, columns the momenta Ls.
void PhotoDriver::write_velocity_table(const std::vector<int>& Ls) {
  io::fwrite(LIST, fmt(kC7), Ls);
  io::fwrite(LIST, fmt(kC5));
  for (int IC = 1; IC <= ch_.NE(); ++IC) {
    std::vector<double> row{EEt[static_cast<size_t>(IC - 1)]};
    for (int I = 1; I <= ch_.NL; ++I) row.push_back(CSV()(I, IC));
    row.push_back(STV()(IC));
    io::fwrite(LIST, fmt(kC6), row);
  }
}

// The RPA equations of all channels, on the matrix U the channel
// pairs have built.
void PhotoDriver::solve_rpa() {
  io::fwrite(LIST, fmt(kR1));
  const int N0 = NUR;
  // The on-shell blocks: three rows per continuum solution of every open
  // channel, each of N0 words.  The scratch tables Z and QQ and the slice
  // WK are too small for a few channels at N0 near 1000, so the blocks get
  // room for the largest number of rows these channels can have.
  long rows = 0;
  for (int c = 0; c < NCH; ++c) rows += 3L * NNLt[static_cast<size_t>(c)];
  const size_t words = static_cast<size_t>(std::max(1L, rows) * N0);
  std::vector<double> Bw(words), B1w(words), B2w(words);
  int nodes = 1, points = 1, solutions = 1;
  for (size_t c = 0; c < static_cast<size_t>(NCH); ++c) {
    nodes = std::max(nodes, NNPt[c]);
    points = std::max(points, NNLt[c] * NNPt[c]);
    solutions = std::max(solutions, NNLt[c]);
  }
  std::vector<double> Pt(static_cast<size_t>(nodes) * NCH);
  lib::Mat P(Pt.data(), nodes, NCH);
  rpa_.ILIN = r_.s40.ILIN;
  rpa_.IPV = r_.s40.IPV;
  rpa_.size_for(N0, NCH, points, static_cast<int>(rows), nodes, solutions,
                rpa_threads(rpa_.ILIN, N0, rows, r_.s40.NUVM - r_.K[12]));
  rpa_.sink = &beta_;
  const RpaChannels channels{NCH,
                             nodes,
                             lib::CIVec(NZ0t.data(), NCH + 1),
                             lib::CIVec(NZ2t.data(), NCH),
                             lib::CIVec(NNLt.data(), NCH),
                             lib::CIVec(NNPt.data(), NCH),
                             lib::CIVec(NNDt.data(), NCH),
                             lib::CVec(r_.P0.data(), NCH),
                             lib::CVec(r_.DP.data(), NCH),
                             lib::CVec(EGGt.data(), NCH),
                             ED(),
                             P};
  const RpaWork work{CSR().flat(),
                     lib::Mat(r_.XE2.data(), N0, N0),
                     r_.UI,
                     lib::Mat(r_.XE1.data(), N0, N0),
                     lib::Vec(Bw.data(), static_cast<int>(words)),
                     lib::Vec(B1w.data(), static_cast<int>(words)),
                     lib::Vec(B2w.data(), static_cast<int>(words)),
                     CSV().flat()};
  rpa_cross_sections(RpaMatrix{N0, r_.U, DR(), DV()}, channels, work,
                     RpaAmplitudes{lib::Vec(DRRt.data(), 10), lib::Vec(DRIt.data(), 10), lib::Vec(DVRt.data(), 10),
                                   lib::Vec(DVIt.data(), 10)},
                     rpa_, LIST, DATA);
}

// ------------------------------------------------------------------ elements of the RPA matrix

// Elements of U between function ICU of the first channel (XK) and every
// function of the second channel (functions of `cj` in XL by LE2, LC2).
// Forward variables are a(k) = NZ0 + k, backward ones b(k) = NZ0 + NZ2 + k;
// s = (−1)^MD.  The interaction functions are potentials of a product of two
// of the functions (ionised shells φ_i, φ_j, the function φ_k) applied to the
// third, V[φ_a·φ_b*]·φ_c, with projections sign-flipped where a
// time-reversed partner enters; their overlaps with the functions of the
// second channel are the two-electron integrals of the matrix.  Within
// one channel of σ shell and σ final state only the backward–forward block
// is set: the forward–forward interaction of a channel is already in the
// static-exchange field of its continuum functions.
//
// A channel of a π (δ) shell i → k whose final projection is the hole's
// (MD = 0) stands for two excitations of equal amplitude, i → k and its
// mirror ī → k̄: its variable enters the equations of every other channel
// twice.  Element U(x, y) carries the coupling of variable x into the
// equation of y, so the factor 2 goes on the elements whose x belongs to
// such a channel, whichever of the pair comes first.
void PhotoDriver::base_elements(const PairSide& si, const PairSide& sj, int ICU, lib::CMat XK, bool same,
                                const ChannelFiles& cj, lib::CMat XE2, lib::CIVec LE2, lib::CIVec LC2) {
  const int M1s = r_.mng()(1, si.shell);
  if (same && M1s != 0) {
    degenerate_shell_elements(si, ICU, XK, cj, XE2, LE2, LC2);
    return;
  }
  std::array<int, 3> mr1{}, mr2{};
  lib::IVec MR1(mr1.data(), 3), MR2(mr2.data(), 3);
  const int MIIs = si.shell, MIJs = sj.shell;
  const int MDs = si.MD;
  const lib::CMat XI = shell(MIIs), XJ = shell(MIJs);
  const int s = sign_power(MDs);
  const double CZX = pair_multiplicity(MIIs, MDs);
  const double CZJ = pair_multiplicity(MIJs, sj.MD);
  lib::Mat& W1 = r_.WC1;
  lib::Mat& W2 = r_.WC2;
  lib::Mat& W3 = r_.WC3;
  lib::Mat U = r_.U;
  const bool second = !same;
  if (same) {
    interaction(si.desc, shell_desc(MIIs), shell_desc(MIJs), sj.desc, XK, XI, XJ, W1);
    if (si.desc(1) != 0) {
      mr1 = {-si.desc(1), si.desc(2), si.desc(3)};
      mr2 = {-sj.desc(1), sj.desc(2), sj.desc(3)};
      interaction(MR1, shell_desc(MIJs), shell_desc(MIIs), MR2, XK, XJ, XI, W2);
    }
  }
  if (second) {
    for (int J = 1; J <= 3; ++J) {
      MR1(J) = shell_desc(MIJs)(J);
      MR2(J) = sj.desc(J);
    }
    if (sj.MD == MDs) {
      MR1(1) = -MR1(1);
      MR2(1) = -MR2(1);
    }
    interaction(shell_desc(MIIs), si.desc, MR1, MR2, XI, XK, XJ, W1);
    if (MIIs != MIJs) interaction(MR1, si.desc, shell_desc(MIIs), MR2, XJ, XK, XI, W3);
    MR1(1) = -MR1(1);
    MR2(1) = -MR2(1);
    interaction(MR1, shell_desc(MIIs), si.desc, MR2, XJ, XI, XK, W2);
  }
  each_function(cj, XE2, LE2, LC2, [&](int JCU, const auto& F) {
    const int p = sj.NZ0 + JCU, pp = sj.NZ0 + sj.NZ2 + JCU;
    const int q = si.NZ0 + ICU, qq = si.NZ0 + si.NZ2 + ICU;
    if (same) {
      if (si.desc(1) == 0) {
        U(pp, q) = U(q, pp) = F(W1);
      } else {
        U(pp, q) = U(p, qq) = s * F(W2);
      }
    }
    if (second) {
      const double f1 = F(W1), f2 = F(W2);
      U(p, q) = U(pp, qq) = 2.0 * s * f1 - f2;
      if (MIIs == MIJs) {
        U(pp, q) += f1;
        U(p, qq) += f1;
      } else {
        U(pp, q) = U(p, qq) = 2.0 * f1 - F(W3);
      }
      U(q, pp) = CZX * U(pp, q);
      U(qq, p) = CZX * U(p, qq);
      U(q, p) = CZX * U(p, q);
      U(qq, pp) = CZX * U(pp, qq);
      if (CZJ != 1.0) {
        for (int x : {p, pp}) {
          for (int y : {q, qq}) U(x, y) *= CZJ;
        }
      }
    }
  });
}

// Elements within one channel i → k of a shell of projection M_i ≠ 0 (hole
// i, its mirror ī of projection −M_i).  The backward variable of the channel
// is the excitation ī → k̄, the one the same photon component de-excites.
// A function of projection −M is (−1)^M times the complex conjugate of that
// of +M (Condon–Shortley), so the dipole of ī → k̄ is s = (−1)^MD times that
// of i → k, and an integral over mirrored functions carries (−1) to the sum
// of their projections.  With ⟨ab|cd⟩ = ∫∫ a*(1) b*(2) c(1) d(2)/r12 of the
// conjugates and singlet coupling, the backward–forward element of k, l is
//   B(ik, īl̄) = s·(2⟨k l̄|i ī⟩ − ⟨k l̄|ī i⟩) = 2·D − s·E,
// D = s·⟨k l̄|i ī⟩ and E = ⟨k l̄|ī i⟩ as the interaction functions give them
// (D over the mirrored ī, l̄; E over k̄, l̄, whose phases cancel).  The direct
// term is a density of projection ±(M_k − M_i), the exchange term one of
// ±(M_k + M_i): only when M_k or M_i is 0 are they the same integral and the
// element s·E.  When the final projection is the hole's (MD = 0) the
// channel also stands for the mirror excitation ī → k̄ with the same
// amplitude (the pair spans the Σ⁺ response to the field along the axis), so
//   forward–forward:  A(ik, īl̄) = 2⟨k ī|i l̄⟩ − ⟨k ī|l̄ i⟩,
//   backward–forward: B(ik, il) + B(ik, īl̄) = ⟨k l|i i⟩ + 2⟨k l̄|i ī⟩ − ⟨k l̄|ī i⟩;
// the forward–forward coupling of i → k with itself, 2⟨k i|i l⟩ − ⟨k i|l i⟩,
// is the static-exchange field of the channel's functions.  The exchange
// term ⟨k ī|l̄ i⟩ holds the density i·i of projection 2M_i, not |i|².
void PhotoDriver::degenerate_shell_elements(const PairSide& si, int ICU, lib::CMat XK, const ChannelFiles& cj,
                                            lib::CMat XE2, lib::CIVec LE2, lib::CIVec LC2) {
  const int I = si.shell;
  const lib::CMat XI = shell(I);
  const lib::CIVec hole = shell_desc(I);
  const int s = sign_power(si.MD);
  const bool mirrored = si.MD == 0;
  std::array<int, 3> bar_hole{-hole(1), hole(2), hole(3)}, bar_k{-si.desc(1), si.desc(2), si.desc(3)};
  const lib::CIVec HB(bar_hole.data(), 3), KB(bar_k.data(), 3);
  lib::Mat& Wd = r_.WC1;  // V[i·k*]·ī, onto l̄: D = s·⟨k l̄|i ī⟩ (MD = 0: also ⟨k ī|i l̄⟩)
  lib::Mat& Wx = r_.WC2;  // V[k̄·i*]·i, onto l̄: E = ⟨k l̄|ī i⟩
  lib::Mat& Ws = r_.WC3;  // V[k·i*]·i, onto l: ⟨k l|i i⟩
  lib::Mat& Wf = r_.WC4;  // V[ī·i*]·k, onto l̄: ⟨k ī|l̄ i⟩ (MD = 0)
  interaction(hole, si.desc, HB, KB, XI, XK, XI, Wd);
  interaction(KB, hole, hole, KB, XK, XI, XI, Wx);
  if (mirrored) {
    interaction(si.desc, hole, hole, si.desc, XK, XI, XI, Ws);
    interaction(HB, hole, si.desc, KB, XI, XI, XK, Wf);
  }
  lib::Mat U = r_.U;
  each_function(cj, XE2, LE2, LC2, [&](int JCU, const auto& F) {
    const int p = si.NZ0 + JCU, pp = si.NZ0 + si.NZ2 + JCU;
    const int q = si.NZ0 + ICU, qq = si.NZ0 + si.NZ2 + ICU;
    const double direct = F(Wd);
    double backward = 2.0 * direct - s * F(Wx);
    if (mirrored) {
      backward += F(Ws);
      U(p, q) = U(pp, qq) = 2.0 * direct - F(Wf);
    }
    U(pp, q) = U(p, qq) = backward;
  });
}

}  // namespace photo

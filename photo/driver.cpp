// The run of the photoionisation driver: its steps in their order, the
// grid tables, the Hartree–Fock dipole elements of every function group and
// the RPA equations on the matrix the channel pairs have built.
#include "photo/driver.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "io/console.hpp"
#include "io/format.hpp"
#include "lib/dipole_elements.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/radial_solver.hpp"
#include "lib/two_region_grid.hpp"
#include "lib/vector_kernels.hpp"
#include "photo/listing.hpp"
#include "photo/mfpad.hpp"
#include "photo/wave_table.hpp"

namespace photo {

namespace {

// Energies solved at once by the factored RPA solve: all threads OpenMP
// offers, as far as their work (a real matrix of order N0 and N0·(rows + 2)
// right-hand sides each) fits in the words NUVM leaves beside the workspace.
// The pencil solve (ILIN = 2 or 3) solves one energy at a time.
int rpa_threads(int ILIN, int N0, long rows, long spare) {
  if (ILIN == 1) return 1;
  long per_thread = static_cast<long>(N0) * N0 + static_cast<long>(N0) * (rows + 2);
  if (ILIN >= 2) return 1;  // one energy at a time, on the BLAS's threads
  const long fit = per_thread > 0 ? spare / per_thread : 1;
  return static_cast<int>(std::clamp<long>(fit, 1, omp_get_max_threads()));
}

}  // namespace

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
  // With the RPA every channel but the last is read again for each pair.
  if (run.s40.IRD == 1 && IRP != 0 && NCH > 1) copies_ = std::make_unique<ChannelCopies>(NCH);
  r_.P0.assign(static_cast<size_t>(NCH), 0.0);
  r_.DP.assign(static_cast<size_t>(NCH), 0.0);
}

lib::CMat PhotoDriver::shell(int I) {
  lib::IMat MNG = r_.mng();
  return r_.XG.colsFrom(r_.LG[static_cast<size_t>(I - 1)], MNG(3, I));
}

lib::CIVec PhotoDriver::shell_desc(int I) { return lib::CIVec(r_.MNG.data() + 3 * (I - 1), 3); }

// Header, grid, the Hartree–Fock tables of every channel (with the RPA
// matrix of its pairs), the RPA equations and the asymmetry parameters.
void PhotoDriver::run() {
  write_header();
  build_tables();
  io::fwrite(LIST, record_format(kHartreeFockHead));
  NZ0(1) = 0;
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
  asymmetry_and_angular_distributions();
}

// Asymmetry parameters: a section after the listing and the table (unit 13);
// molecular-frame distributions from the same amplitudes (unit 14).
void PhotoDriver::asymmetry_and_angular_distributions() {
  beta_.compute(r_.fc());
  write_beta_listing(LIST, beta_, IRP != 0);
  if (units_.is_open(13)) write_beta_table(units_(13), beta_, IRP != 0);
  if (r_.s40.NMF > 0 && units_.is_open(14)) {
    const S40& s = r_.s40;
    MfpadTable t;
    t.compute(beta_, std::vector<double>(s.EMF.begin(), s.EMF.begin() + s.NMF),
              std::vector<double>(s.AMF.begin(), s.AMF.begin() + s.NAF), IRP != 0);
    write_mfpad_table(units_(14), t);
  }
  if (r_.s40.NWV == 1 && units_.is_open(15)) write_wave_table(units_(15), beta_, IRP != 0);
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
  lib::inner_series_tables(NA, NB, 5, RP(1), HA, r_.R, lib::SeriesTablesOut{G, AA, BB, VV, UU, lib::Vec(BZ.data(), 5)});
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
  ch = read_channel(ICH, 21, 22, r_.XE1, LEt, LC);
  r_.NL = ch.NL;
  r_.NC = ch.NC;
  r_.ND = ch.ND;
  for (int J = 0; J < 3; ++J) r_.MNC[static_cast<size_t>(J)] = ch.MN[static_cast<size_t>(J)];
  r_.P0[static_cast<size_t>(ICH - 1)] = ch.P0;
  r_.DP[static_cast<size_t>(ICH - 1)] = ch.DP;
  NSI(ICH) = ch.NSI;
  NNLt[static_cast<size_t>(ICH - 1)] = ch.NL;
  NNPt[static_cast<size_t>(ICH - 1)] = ch.NC;
  NNDt[static_cast<size_t>(ICH - 1)] = ch.ND;
  for (int I = 1; I <= ch.ND; ++I) ED(I, ICH) = EEt[static_cast<size_t>(ch.NC + I - 1)];
  lib::IMat MNG = r_.mng();
  MII = ch.NSI;
  LIX = r_.LG[static_cast<size_t>(MII - 1)];
  M1 = MNG(1, MII);
  L1 = MNG(2, MII);
  NZ0(ICH + 1) = NZ0(ICH) + 2 * ch.NCU();
  NZ2(ICH) = ch.NCU();
  check_rpa_room(ICH, NZ0(ICH + 1) / 2);
  grow_tables(ch.NE(), NZ0(ICH + 1));
  channel_read(ICH);
}

// Function group IC of the channel (energy E, or an extra function): its
// amplitudes and the Hartree–Fock dipole elements of its solutions in both
// forms into the data file (or read back from the stored run), the
// amplitudes kept in the RPA ordering, and the row of the length-form table.
void PhotoDriver::hartree_fock_energy(int ICH, int IC, double E1, lib::CMat X1, int N1) {
  const ChannelFiles& ch = ch_;
  const lib::Mat CSR = length_cross_sections(), CSV = velocity_cross_sections();
  const lib::Vec STV = velocity_totals();
  const lib::IVec LE = group_starts();
  const lib::Vec AC = cosine_amplitudes(), AS = sine_amplitudes();
  double& E = EEt[static_cast<size_t>(IC - 1)];
  if (STORED) io::fread(*STORED, record_format(kEnergyRecord), E);
  io::fwrite(DATA, record_format(kEnergyRecord), E);
  STR = 0.0;
  STV(IC) = 0.0;
  for (int I = 1; I <= ch.NL; ++I) {
    CSR(I, IC) = 0.0;
    CSV(I, IC) = 0.0;
  }
  const int waves = IC <= ch.NC ? ch.NL : 1;
  for (int I = 1; I <= waves; ++I) {
    const int M2 = ch.MN[0], L2 = ch.MN[1], NX = ch.NX();
    const int LX = LC(I) + LE(IC);
    lib::Vec amc = AC.sub(LX, NX), ams = AS.sub(LX, NX);
    if (STORED) {
      io::fread(*STORED, record_format(kAmplitudeRecord), amc);
      io::fread(*STORED, record_format(kAmplitudeRecord), ams);
    }
    io::fwrite(DATA, record_format(kAmplitudeRecord), amc);
    io::fwrite(DATA, record_format(kAmplitudeRecord), ams);
    lib::Vec dhr = DHR.col(I), dhv = DHV.col(I);
    const lib::CMat X2 = r_.XE1.colsFrom(LX, NX);
    const lib::DipoleTransition t{lib::PartialWaves{{M1, L1, N1, KD}, X1}, lib::PartialWaves{{M2, L2, NX, KD}, X2}, E1,
                                  E, CD};
    CSR(I, IC) = lib::dipole_length(grid(), r_.R, r_.fc(), t, R3R, {r_.WK.colsFrom(1, 4), r_.WK.col(11)}, dhr);
    CSV(I, IC) =
        lib::dipole_velocity(grid(), r_.RV, r_.fc(), t, R3V, {r_.WK.colsFrom(1, 4), r_.WK.col(8)}, dhv, r_.s40.IDER);
    if (STORED) {
      io::fread(*STORED, record_format(kDipoleRecord), dhr, CSR(I, IC));
      io::fread(*STORED, record_format(kDipoleRecord), dhv, CSV(I, IC));
    }
    io::fwrite(DATA, record_format(kDipoleRecord), dhr, CSR(I, IC));
    io::fwrite(DATA, record_format(kDipoleRecord), dhv, CSV(I, IC));
    beta_.hf_solution(ICH, IC, I, {E, amc, ams, dhr(M2 - M1 + 2), dhv(M2 - M1 + 2), CSR(I, IC), CSV(I, IC)});
    MD = M2 - M1;
    const int k = IC <= ch.NC ? (IC - 1) * ch.NL + I : ch.NC * ch.NL + (IC - ch.NC);
    store_amplitudes(ICH, k, MD, IC, I);
    STR += CSR(I, IC);
    STV(IC) += CSV(I, IC);
  }
  row_finished(IC);
  std::vector<double> row{E};
  for (int I = 1; I <= ch.NL; ++I) row.push_back(CSR(I, IC));
  row.push_back(STR);
  io::fwrite(LIST, record_format(kTableRow), row);
}

// The RPA equations of all channels, on the matrix U the channel
// pairs have built.
void PhotoDriver::solve_rpa() {
  io::fwrite(LIST, record_format(kRpaHead));
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
  rpa_.OMAX = r_.s40.EMR;
  // The pencil's reduction goes into the two function tables and the
  // inverse's matrix, of NUR² words each and idle by now, when they hold it.
  const long square = static_cast<long>(N0) * N0;
  const auto& K = r_.K;
  const bool offered =
      K[4] - K[3] >= square && K[5] - K[4] >= square && static_cast<long>(r_.UI.rows()) * r_.UI.cols() >= square;
  const long beside = r_.s40.NUVM - r_.K[12];
  long spare = beside;
  const long pencil =
      RpaPencil::words(N0, offered) + RpaPencilWork::words(N0, static_cast<int>(rows), static_cast<int>(2 * rows));
  if (rpa_.ILIN >= 2 && pencil > spare) {
    io::console().line("the pencil solve (ILIN = " + std::to_string(rpa_.ILIN) + ") needs " + std::to_string(pencil) +
                       " words beside the workspace, NUVM leaves " + std::to_string(spare) +
                       ": each energy by its own LU (ILIN = 0)");
    rpa_.ILIN = 0;
  }
  if (rpa_.ILIN >= 2) spare -= RpaPencil::words(N0, offered);
  rpa_.size_for(N0, NCH, points, static_cast<int>(rows), nodes, solutions, rpa_threads(rpa_.ILIN, N0, rows, spare));
  if (rpa_.ILIN >= 2 && offered) rpa_.pencil.use_storage(r_.XE2.data(), r_.UI.data(), r_.XE1.data());
  // An energy the pencil misses takes an LU when NUVM leaves room for one.
  rpa_.lu_room = rpa_.ILIN < 2 || beside - pencil >= square + static_cast<long>(N0) * (rows + 2);
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
                             ED,
                             P};
  const RpaWork work{length_cross_sections().flat(),
                     lib::Mat(r_.XE2.data(), N0, N0),
                     r_.UI,
                     lib::Mat(r_.XE1.data(), N0, N0),
                     lib::Vec(Bw.data(), static_cast<int>(words)),
                     lib::Vec(B1w.data(), static_cast<int>(words)),
                     lib::Vec(B2w.data(), static_cast<int>(words)),
                     velocity_cross_sections().flat()};
  rpa_cross_sections(RpaMatrix{N0, r_.U, length_dipoles(), velocity_dipoles()}, channels, work,
                     RpaAmplitudes{lib::Vec(DRRt.data(), 10), lib::Vec(DRIt.data(), 10), lib::Vec(DVRt.data(), 10),
                                   lib::Vec(DVIt.data(), 10)},
                     rpa_, LIST, DATA);
}

}  // namespace photo

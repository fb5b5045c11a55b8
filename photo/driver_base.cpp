// The first build, xsect: the steps of the driver as the base build takes
// them (no change in the channel loop, amplitudes rescaled to an
// experimental threshold) and its RPA matrix, built channel pair by channel
// pair inside the channel loop or read back from a stored run.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/lapack.hpp"
#include "lib/vector_kernels.hpp"
#include "photo/driver.hpp"
#include "photo/stored_matrix_rows.hpp"

namespace photo {

void hartree_fock_rpa_cross_sections(PhotoRun& run, io::Units& units) {
  PhotoDriver driver(run, units, kBaseSizes);
  // The interaction matrix starts cleared.
  lib::fill(run.s40.NUR * run.s40.NUR, 0.0, run.U.flat());
  driver.run();
}

void PhotoDriver::channel_started(int) {}
void PhotoDriver::channel_read(int) {}
double PhotoDriver::bound_energy(int) { return r_.EG[static_cast<size_t>(MII - 1)]; }

// With an experimental threshold the amplitudes are rescaled to the
// photon energy the experiment gives: S = √((E − ε)/(E − E_thr)).
void PhotoDriver::store_amplitudes(int ICH, int k, int MDk, int IC, int I) {
  const double E = EEt[static_cast<size_t>(IC - 1)];
  const double ratio = (E - r_.EG[static_cast<size_t>(MII - 1)]) / (E - EGG(ICH));
  if (!(ratio > 0.0) || !std::isfinite(ratio)) {
    io::stop("channel " + std::to_string(ICH) + ": the function at E = " + io::fstring(io::Format("(E15.7)"), E) +
             " lies below the threshold " + io::fstring(io::Format("(E15.7)"), EGG(ICH)) +
             "; its amplitude cannot be scaled to that threshold");
  }
  const double S = std::sqrt(ratio);
  const int a = NZ0(ICH) + k, b = NZ0(ICH) + NZ2(ICH) + k;
  const int s = sign_power(MDk);
  const lib::Vec DR = length_dipoles(), DV = velocity_dipoles();
  DR(a) = S * DHR(MDk + 2, I);
  DR(b) = s * S * DHR(MDk + 2, I);
  DV(a) = DHV(MDk + 2, I) / S;
  DV(b) = -s * DHV(MDk + 2, I) / S;
}

void PhotoDriver::row_finished(int) {}
void PhotoDriver::tables_written(int) {}
void PhotoDriver::before_rpa() {}

// The second channel JCH of the pair (ICH, JCH) in XE2, LE2t and LC2t: the
// current channel copied when it is the first, else read from its files;
// MD2 = M_final − M_shell of it.  The first channel records the block of
// every channel in U; later ones check that it has not changed.
ChannelFiles PhotoDriver::load_second_channel(int ICH, int JCH, int& MD2) {
  const ChannelFiles& ci = ch_;
  ChannelFiles cj;
  lib::IVec LC2(LC2t.data(), kMaxSolutions);
  if (JCH == ICH) {
    const long words = static_cast<long>(NB) * ci.NCU() * ci.NX();
    if (words > static_cast<long>(r_.XE2.rows()) * r_.XE2.cols()) {
      io::stop("channel " + std::to_string(ICH) + ": its functions do not fit the second function table");
    }
    lib::copy(static_cast<int>(words), r_.XE1.flat(), r_.XE2.flat());
    cj = ci;
    const size_t starts = static_cast<size_t>(ci.NE() + 1);
    if (LE2t.size() < starts) {
      check_table_words(static_cast<long>(starts - LE2t.size()), "group starts of channel " + std::to_string(ICH));
      LE2t.resize(starts);
    }
    std::copy(LEt.begin(), LEt.begin() + static_cast<long>(starts), LE2t.begin());
    set_solution_offsets(cj, LC2);
    MD2 = MD;
  } else {
    cj = read_channel(JCH, 23, 24, r_.XE2, LE2t, LC2);
    NSI(JCH) = cj.NSI;
    r_.P0[static_cast<size_t>(JCH - 1)] = cj.P0;
    r_.DP[static_cast<size_t>(JCH - 1)] = cj.DP;
    MD2 = cj.MN[0] - r_.mng()(1, cj.NSI);
  }
  const int N22 = cj.NCU();
  if (ICH == 1) {
    NZ0(JCH + 1) = NZ0(JCH) + 2 * N22;
    NZ2(JCH) = N22;
    check_rpa_room(JCH, NZ0(JCH + 1) / 2);
  } else if (NZ2(JCH) != N22) {
    io::stop("channel " + std::to_string(JCH) + " reads " + std::to_string(N22) + " functions now and read " +
             std::to_string(NZ2(JCH)) + " before");
  }
  return cj;
}

// The elements of the pair (ICH, JCH): every function of the current
// channel against all functions of the second, cj (in XE2).
void PhotoDriver::base_pair_elements(int ICH, int JCH, const ChannelFiles& cj, int MD2) {
  const ChannelFiles& ci = ch_;
  const lib::IVec LE = group_starts();
  const lib::IVec LE2(LE2t.data(), static_cast<int>(LE2t.size()));
  const lib::IVec LC2(LC2t.data(), kMaxSolutions);
  std::array<int, 3> mln = cj.MN;
  lib::IVec MLN(mln.data(), 3);
  io::console().line(io::lstring("Ich, Jch= ", ICH, JCH));
  PairSide side_i{MNC, MII, MD, NZ0(ICH), NZ2(ICH)};
  PairSide side_j{MLN, cj.NSI, MD2, NZ0(JCH), NZ2(JCH)};
  const ChannelFunctions second_channel{cj, r_.XE2, LE2, LC2};
  if (r_.s40.IOV == 1) {
    pair_elements_by_products(side_i, side_j, second_channel, JCH == ICH);
    return;
  }
  int ICU = 0;
  for (int IC = 1; IC <= ci.NE(); ++IC) {
    io::console().line(io::lstring("IC= ", IC));
    const int waves = IC <= ci.NC ? ci.NL : 1;
    for (int I = 1; I <= waves; ++I) {
      ++ICU;
      const int LX = LC(I) + LE(IC);
      base_elements(side_i, side_j, ICU, r_.XE1.colsFrom(LX, ci.NX()), JCH == ICH, second_channel);
    }
  }
}

// The stored rows of the pair (ICH, JCH) read back from the data file of an
// earlier run (IRP = 2).
void PhotoDriver::read_stored_pair(int ICH, int JCH, int MIJ, int MD2) {
  int n_i = 0, n_j = 0;
  io::lread(*STORED, n_i, n_j);
  if (n_i != NZ2(ICH) || n_j != NZ2(JCH)) {
    STORED->fail("the stored matrix of channels " + std::to_string(ICH) + ", " + std::to_string(JCH) + " has " +
                 std::to_string(n_i) + " × " + std::to_string(n_j) + " functions; this run has " +
                 std::to_string(NZ2(ICH)) + " × " + std::to_string(NZ2(JCH)));
  }
  // The block of the pair's mirror is the stored one times the ratio of
  // the factors the assembly gives the two channels' variables: 2 for a
  // π shell to a final state of the same M.
  const double CZX = pair_multiplicity(MII, MD) / pair_multiplicity(MIJ, MD2);
  read_matrix_rows(*STORED, r_.U, ICH, JCH, PairBlock{NZ0(ICH), n_i, NZ0(JCH), n_j}, CZX);
}

void PhotoDriver::channel_pairs(int ICH) {
  for (int JCH = ICH; JCH <= NCH; ++JCH) {
    int MD2 = 0;
    const ChannelFiles cj = load_second_channel(ICH, JCH, MD2);
    if (IRP == 1) {
      base_pair_elements(ICH, JCH, cj, MD2);
    } else if (IRP == 2) {
      read_stored_pair(ICH, JCH, cj.NSI, MD2);
    }
    io::lwrite(DATA, NZ2(ICH), NZ2(JCH));
    if (r_.s40.IWM == 1) write_matrix_rows(DATA, r_.U, PairBlock{NZ0(ICH), NZ2(ICH), NZ0(JCH), NZ2(JCH)});
  }
}

// The elements of a pair with every overlap of an interaction function with
// a function of the second channel taken at once: the first channel's
// interaction functions are recorded, weighted by the quadrature of the
// overlap (Simpson on each region of the grid, times R6·R3·RZ3) and met
// with all functions of the second channel in one matrix product per work
// matrix; the elements are then set from the products by the same rules.
// The same integrals as one overlap at a time, summed in another order.
void PhotoDriver::pair_elements_by_products(const PairSide& si, const PairSide& sj, const ChannelFunctions& f,
                                            bool same) {
  const ChannelFiles& ci = ch_;
  const ChannelFiles& cj = f.ch;
  const lib::IVec LE = group_starts();
  const int NX = cj.NX(), L = NB * NX;
  recorded_length_ = L;
  first_functions_ = ci.NCU();
  second_functions_ = cj.NCU();
  used_ = {};
  fresh_ = {};
  auto each_first_function = [&](bool say) {
    int ICU = 0;
    for (int IC = 1; IC <= ci.NE(); ++IC) {
      if (say) io::console().line(io::lstring("IC= ", IC));
      const int waves = IC <= ci.NC ? ci.NL : 1;
      for (int I = 1; I <= waves; ++I) {
        current_function_ = ++ICU;
        base_elements(si, sj, ICU, r_.XE1.colsFrom(LC(I) + LE(IC), ci.NX()), same, f);
      }
    }
  };
  pass_ = OverlapPass::record;
  each_first_function(true);

  if (overlap_weights_.size() != static_cast<size_t>(NB)) {
    overlap_weights_.assign(static_cast<size_t>(NB), 0.0);
    const lib::CVec R3 = r_.R.col(3), R6 = r_.R.col(6);
    auto simpson = [](int j, int n) { return (j == 1 || j == n) ? 1.0 : (j % 2 == 0 ? 4.0 : 2.0); };
    for (int J = 1; J <= NB; ++J) {
      const double c = J <= NA ? simpson(J, NA) * HA / 3.0 : simpson(J - NA, NB - NA) * HB / 3.0;
      overlap_weights_[static_cast<size_t>(J - 1)] = c * R6(J) * R3(J) * RZ3;
    }
  }
  const long words = static_cast<long>(L) * second_functions_;
  if (weighted_functions_.size() < static_cast<size_t>(words)) {
    check_table_words(words - static_cast<long>(weighted_functions_.size()), "functions of a channel pair");
    weighted_functions_.resize(static_cast<size_t>(words));
  }
  double* Xw = weighted_functions_.data();
  for (int JC = 1; JC <= cj.NE(); ++JC) {
    const int wj = JC <= cj.NC ? cj.NL : 1;
    for (int J = 1; J <= wj; ++J, Xw += L) {
      const lib::CMat XL = f.X.colsFrom(f.LC(J) + f.LE(JC), NX);
      for (int I = 1; I <= NX; ++I) {
        for (int P = 1; P <= NB; ++P)
          Xw[(I - 1) * NB + P - 1] = XL(P, I) * overlap_weights_[static_cast<size_t>(P - 1)];
      }
    }
  }
  const double one = 1.0, zero = 0.0;
  for (size_t k = 0; k < 4; ++k) {
    if (!used_[k]) continue;
    const long pairs = static_cast<long>(second_functions_) * first_functions_;
    if (pair_overlaps_[k].size() < static_cast<size_t>(pairs)) {
      check_table_words(pairs - static_cast<long>(pair_overlaps_[k].size()), "overlaps of a channel pair");
      pair_overlaps_[k].resize(static_cast<size_t>(pairs));
    }
    dgemm_("T", "N", &second_functions_, &first_functions_, &L, &one, weighted_functions_.data(), &L,
           recorded_[k].data(), &L, &zero, pair_overlaps_[k].data(), &second_functions_, 1, 1);
  }
  pass_ = OverlapPass::apply;
  each_first_function(false);
  pass_ = OverlapPass::direct;
}

}  // namespace photo

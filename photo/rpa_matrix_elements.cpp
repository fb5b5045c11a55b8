// The elements of the RPA matrix both builds share: the interaction
// functions (the Coulomb potential of a product of two functions, applied to
// a third), their overlaps with the functions of a channel, and the elements
// between the functions of a channel pair by the rules of the base build.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "io/stop.hpp"
#include "lib/multipole_potentials.hpp"
#include "lib/two_region_grid.hpp"
#include "photo/driver.hpp"

namespace photo {

// Multipoles of F1·conj(F2) by the series tables of every projection, the
// potential applied to FE and projected on the partial waves NE.
void PhotoDriver::interaction(lib::CIVec D1, lib::CIVec D2, lib::CIVec DE, lib::CIVec NEd, lib::CMat F1, lib::CMat F2,
                              lib::CMat FE, lib::Mat QQ) {
  if (NEd(3) > QQ.cols()) {
    io::stop("the final state has " + std::to_string(NEd(3)) +
             " partial waves; the interaction functions have room for " + std::to_string(QQ.cols()) +
             " (the partial waves of the last ground-state shell)");
  }
  if (pass_ == OverlapPass::apply) return;  // its overlaps are already taken
  // The multipoles of the product F1·conj(F2): 3·(n1 + n2)/4 columns of Z.
  const size_t multipoles = static_cast<size_t>((3 * (D1(3) + D2(3))) / 4);
  if (multipoles * static_cast<size_t>(NB) > Zt.size()) {
    const size_t want = multipoles * static_cast<size_t>(NB);
    check_table_words(static_cast<long>(want - Zt.size()), "multipoles of the interaction functions");
    Zt.resize(want);
  }
  lib::Mat WC(r_.WC.data(), NA, NA);
  lib::Mat CX(r_.CX.data(), NA, 3);
  const lib::SeriesTables series{G,
                                 lib::CMat(r_.AA.data(), NA, 5),
                                 lib::CMat(r_.BB.data(), NA, 5),
                                 lib::CMat(r_.VV.data(), NA, 5),
                                 lib::CMat(r_.UU.data(), NA, NA + 1),
                                 lib::CMat(r_.WW.data(), NA, NA),
                                 lib::CVec(BZ.data(), 5)};
  // The momenta and projections of the coefficients this call asks for:
  // those of the four sets of waves and of the multipoles of F1·conj(F2).
  {
    auto top = [&](lib::CIVec D) { return D(2) + (D(3) - 1) * KD; };
    const int m = D1(1) - D2(1);
    int l0 = std::abs(D1(2) - D2(2));
    if (l0 < std::abs(m)) l0 += 2;
    const int lmax = std::max({top(D1), top(D2), top(DE), top(NEd), l0 + (static_cast<int>(multipoles) - 1) * KD});
    const int mmax = std::max({std::abs(D1(1)), std::abs(D2(1)), std::abs(DE(1)), std::abs(NEd(1)), std::abs(m)});
    // A table past 4e6 entries of each kind (96 MB) is not built: queries
    // outside the table go to the routines, with the same values.
    if (!gaunt_ || gaunt_->lmax() < lmax || gaunt_->mmax() < mmax) {
      const int L = std::max(lmax, gaunt_ ? gaunt_->lmax() : 0), M = std::max(mmax, gaunt_ ? gaunt_->mmax() : 0);
      const double entries = (L + 1.0) * (L + 1.0) * (L + 3.0) * (2.0 * M + 1.0) * (2.0 * M + 1.0);
      if (entries <= 4.0e6) gaunt_ = std::make_unique<lib::GauntTable>(L, M, r_.fc(), lib::Build::photo);
    }
  }
  const lib::PairDensity rho{lib::described_waves(D1, KD, F1), lib::described_waves(D2, KD, F2), C1};
  lib::exchange_potential_waves(lib::MultipoleSetting{grid(), r_.R.colsFrom(2), r_.fc(), gaunt_.get()}, series, rho,
                                lib::described_waves(DE, KD, FE), NEd,
                                lib::MultipoleWork{lib::Vec(B.data(), 4), WC, CX, r_.WK.colsFrom(1, 6)},
                                QQ.colsFrom(1, NEd(3)), multipole_scratch());
  if (pass_ == OverlapPass::record) fresh_[static_cast<size_t>(work_matrix(QQ))] = true;
}

int PhotoDriver::work_matrix(const lib::CMat& w) const {
  const double* p = w.data();
  if (p == r_.WC1.data()) return 0;
  if (p == r_.WC2.data()) return 1;
  if (p == r_.WC3.data()) return 2;
  if (p == r_.WC4.data()) return 3;
  io::stop("an interaction function outside the work matrices WC1 … WC4");
}

// The interaction functions computed for the current function of the first
// channel, each as one column of NB·NX values (the second channel's waves).
void PhotoDriver::record_interactions() {
  const size_t L = static_cast<size_t>(recorded_length_);
  const lib::Mat* work[4] = {&r_.WC1, &r_.WC2, &r_.WC3, &r_.WC4};
  for (size_t k = 0; k < 4; ++k) {
    if (!fresh_[k]) continue;
    fresh_[k] = false;
    if (!used_[k]) {
      const long words = static_cast<long>(L) * first_functions_;
      if (recorded_[k].size() < static_cast<size_t>(words)) {
        check_table_words(words - static_cast<long>(recorded_[k].size()), "interaction functions of a channel pair");
        recorded_[k].resize(static_cast<size_t>(words));
      }
      used_[k] = true;
    }
    const double* w = work[k]->data();
    std::copy(w, w + L, recorded_[k].data() + L * static_cast<size_t>(current_function_ - 1));
  }
}

double PhotoDriver::pair_overlap(const lib::CMat& w, int JCU) const {
  const std::vector<double>& o = pair_overlaps_[static_cast<size_t>(work_matrix(w))];
  return o[static_cast<size_t>(JCU - 1) + static_cast<size_t>(second_functions_) * (current_function_ - 1)];
}

double PhotoDriver::overlap(int NX, lib::CMat X, lib::CMat W) {
  return lib::two_region_overlap(grid(), RZ3, r_.R.col(3), r_.R.col(6), NX, X.colsFrom(1, NX), W.colsFrom(1, NX),
                                 r_.WK.col(1));
}

// Elements of U between function ICU of the first channel (XK) and every
// function of the second channel.
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
                                const ChannelFunctions& second_channel) {
  const int M1s = r_.mng()(1, si.shell);
  if (same && M1s != 0) {
    degenerate_shell_elements(si, ICU, XK, second_channel);
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
  each_function(second_channel, [&](int JCU, const auto& F) {
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
void PhotoDriver::degenerate_shell_elements(const PairSide& si, int ICU, lib::CMat XK, const ChannelFunctions& f) {
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
  each_function(f, [&](int JCU, const auto& F) {
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

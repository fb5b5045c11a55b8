// Driver of the second build, xsect_a: the base driver with the channel
// loop changed in a few steps, and its own assembly of the RPA matrix after
// all channels.
#include <array>
#include <cstdlib>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/vector_kernels.hpp"
#include "photo/driver.hpp"

namespace photo {

namespace {

class VariantADriver : public PhotoDriver {
 public:
  VariantADriver(PhotoRun& run, io::Units& units) : PhotoDriver(run, units, kVariantASizes) {}

 private:
  // Per-channel tables of this build (NCH entries; MWG(3, NCH)).
  std::vector<int> NLL = std::vector<int>(static_cast<size_t>(NCH)), KU2 = NLL, LKG = NLL,
                   MWG = std::vector<int>(static_cast<size_t>(3 * NCH));
  int NXC = 0;
  // Group starts and solution offsets of the two channels of a pair while
  // the matrix is assembled.
  std::vector<int> LKIt, LKJt;
  std::array<int, kMaxSolutions> LCIt{}, LCJt{};

  // The two channels of a pair as their elements read them: the final-state
  // and shell descriptors, the ionised shells, the first forward and
  // backward variables in U, and how many excitations a variable of each
  // stands for.
  struct ChannelPair {
    lib::CIVec MNI, MWI, MNJ, MWJ;
    lib::CMat XI, XJ;
    int KU0i, KU2i, KU0j, KU2j;
    double CZI, CZJ;
    bool same;
  };

  void channel_started(int ICH) override { io::console().line(io::lstring("Ich=", ICH, NCH)); }

  void channel_read(int ICH) override {
    const int c = ICH - 1;
    r_.s40.IC[static_cast<size_t>(c)] = ch_.NC;  // the capped count, for the matrix build
    NLL[static_cast<size_t>(c)] = ch_.NL;
    for (int J = 0; J < 3; ++J) MWG[static_cast<size_t>(3 * c + J)] = r_.MNG[static_cast<size_t>(3 * (MII - 1) + J)];
    KU2[static_cast<size_t>(c)] = NZ0(ICH) + ch_.NCU();
    LKG[static_cast<size_t>(c)] = r_.LG[static_cast<size_t>(MII - 1)];
    if (IRP != 0) {
      if (ICH == 1) NXC = ch_.NX();
      if (ch_.NX() != NXC) {
        io::stop("channel " + std::to_string(ICH) + ": its functions have " + std::to_string(ch_.NX()) +
                 " partial waves, those of channel 1 " + std::to_string(NXC) + "; " + r_.variant->program +
                 " builds the RPA matrix for channels of equal partial-wave counts");
      }
    }
  }

  // The dipole element is taken from the channel threshold.
  double bound_energy(int ICH) override { return EGG(ICH); }

  // No rescaling to an experimental threshold.
  void store_amplitudes(int ICH, int k, int MDk, int, int I) override {
    const int a = NZ0(ICH) + k, b = KU2[static_cast<size_t>(ICH - 1)] + k;
    const int s = MDk % 2 == 0 ? 1 : -1;
    const lib::Vec DR = length_dipoles(), DV = velocity_dipoles();
    DR(a) = DHR(MDk + 2, I);
    DR(b) = s * DHR(MDk + 2, I);
    DV(a) = DHV(MDk + 2, I);
    DV(b) = -s * DHV(MDk + 2, I);
  }

  // An extra function counts in the total only.
  void row_finished(int IC) override {
    if (IC > ch_.NC) {
      const lib::Mat CSR = length_cross_sections(), CSV = velocity_cross_sections();
      CSR(1, IC) = 0.0;
      CSV(1, IC) = 0.0;
    }
  }

  void tables_written(int) override {
    static const io::Format separator("(60('='),/,'  E =',E15.4)");
    io::fwrite(DATA, separator);
    // Continuum data read back from an earlier run of this build carry the
    // same separator after each channel.
    if (STORED) {
      std::string line = STORED->record("the separator after a channel");
      if (line != std::string(60, '=')) STORED->fail("the separator line of sixty '=' expected after a channel");
      STORED->record("the separator after a channel");
    }
  }

  void channel_pairs(int) override {}

  void before_rpa() override { assemble_rpa_matrix(); }

  // The RPA matrix of all channel pairs, reading every channel file again.
  // Legacy name: RPAMA.
  void assemble_rpa_matrix();
  void pair_elements(int ICH, int JCH, const ChannelFiles& ci);
  void function_elements(const ChannelPair& p, const ChannelFunctions& second_channel, int NUI, lib::CMat XK);
};

// Between different channels all eight elements of a function pair are set
// (twice for a variable that stands for an excitation and its mirror):
// the forward–backward blocks from W1 = V[φ_i·φ_k*]·φ_j and W2 = V[φ_j·φ_k*]·φ_i,
// the forward–forward and backward–backward blocks from W3 = V[φ_k·φ_i*]·φ_j and
// W4 = V[φ_j·φ_i*]·φ_k.  Within one channel of σ shell and σ final state only
// the forward–backward block is set; within one channel with a π shell or a
// π final state the elements are those of the base build.
void VariantADriver::assemble_rpa_matrix() {
  B[0] = 1.0;
  lib::IVec LCI(LCIt.data(), kMaxSolutions);
  for (int ICH = 1; ICH <= NCH; ++ICH) {
    const ChannelFiles ci = read_channel(ICH, 21, 22, r_.XE1, LKIt, LCI);
    for (int JCH = ICH; JCH <= NCH; ++JCH) pair_elements(ICH, JCH, ci);
  }
}

// The elements of the pair (ICH, JCH): the second channel copied or read
// into XE2, then every function of the first against all of the second.
void VariantADriver::pair_elements(int ICH, int JCH, const ChannelFiles& ci) {
  const int c = ICH - 1, d = JCH - 1;
  io::console().line(io::lstring(" Ich=", ICH, "   Jch=", JCH));
  io::console().line(io::lstring(" Ku2(Ich)=", KU2[static_cast<size_t>(c)], " Ku2(Jch)=", KU2[static_cast<size_t>(d)]));
  ChannelFiles cj;
  if (JCH == ICH) {
    lib::copy(NB * ci.NX() * ci.NCU(), r_.XE1.flat(), r_.XE2.flat());
    cj = ci;
    LKJt = LKIt;
    LCJt = LCIt;
  } else {
    cj = read_channel(JCH, 23, 22, r_.XE2, LKJt, lib::IVec(LCJt.data(), kMaxSolutions));
  }
  const lib::CIVec LKI(LKIt.data(), static_cast<int>(LKIt.size())), LCI(LCIt.data(), kMaxSolutions);
  const lib::CIVec MNI(ci.MN.data(), 3), MWI(MWG.data() + 3 * c, 3);
  const lib::CIVec MNJ(cj.MN.data(), 3), MWJ(MWG.data() + 3 * d, 3);
  // A variable of a channel from a π shell to a final state of the
  // hole's projection stands for the excitation and its mirror: it enters
  // the equations of another channel twice.
  const ChannelPair p{MNI,
                      MWI,
                      MNJ,
                      MWJ,
                      r_.XG.colsFrom(LKG[static_cast<size_t>(c)], MWI(3)),
                      r_.XG.colsFrom(LKG[static_cast<size_t>(d)], MWJ(3)),
                      NZ0(ICH),
                      KU2[static_cast<size_t>(c)],
                      NZ0(JCH),
                      KU2[static_cast<size_t>(d)],
                      pair_multiplicity(ci.NSI, MNI(1) - MWI(1)),
                      pair_multiplicity(cj.NSI, MNJ(1) - MWJ(1)),
                      JCH == ICH};
  const bool sigma = MWI(1) == 0 && MNI(1) == 0;
  const ChannelFunctions second_channel{cj, r_.XE2, lib::CIVec(LKJt.data(), static_cast<int>(LKJt.size())),
                                        lib::CIVec(LCJt.data(), kMaxSolutions)};

  int NUI = 0;
  for (int IEI = 1; IEI <= ci.NE(); ++IEI) {
    io::console().line(io::lstring("Iei= ", IEI));
    const int waves = IEI <= ci.NC ? ci.NL : 1;
    for (int I = 1; I <= waves; ++I) {
      ++NUI;
      const lib::CMat XK = r_.XE1.colsFrom(LCI(I) + LKI(IEI), ci.NX());
      if (p.same && !sigma) {
        // A π shell or π final state within one channel.
        PairSide side{MNI, ci.NSI, MNI(1) - MWI(1), p.KU0i, ci.NCU()};
        base_elements(side, side, NUI, XK, true, second_channel);
        continue;
      }
      function_elements(p, second_channel, NUI, XK);
    }
  }
}

// The elements between function NUI (XK) of the first channel and every
// function of the second.
void VariantADriver::function_elements(const ChannelPair& p, const ChannelFunctions& second_channel, int NUI,
                                       lib::CMat XK) {
  if (p.same) {
    interaction(p.MWI, p.MNI, p.MWJ, p.MNI, p.XI, XK, p.XJ, r_.WC1);
  } else {
    interaction(p.MWI, p.MNI, p.MWJ, p.MNJ, p.XI, XK, p.XJ, r_.WC1);
    interaction(p.MWJ, p.MNI, p.MWI, p.MNJ, p.XJ, XK, p.XI, r_.WC2);
    interaction(p.MNI, p.MWI, p.MWJ, p.MNJ, XK, p.XI, p.XJ, r_.WC3);
    interaction(p.MWJ, p.MWI, p.MNI, p.MNJ, p.XJ, p.XI, XK, r_.WC4);
  }
  lib::Mat U = r_.U;
  each_function(second_channel, [&](int NUJ, const auto& F) {
    const int q = p.KU0i + NUI, qq = p.KU2i + NUI;
    const int pj = p.KU0j + NUJ, ppj = p.KU2j + NUJ;
    if (p.same) {
      U(ppj, q) = U(pj, qq) = F(r_.WC1);
    } else {
      const double mixed = 2.0 * F(r_.WC1) - F(r_.WC2);
      const double direct = 2.0 * F(r_.WC3) - F(r_.WC4);
      U(ppj, q) = U(pj, qq) = p.CZJ * mixed;
      U(q, ppj) = U(qq, pj) = p.CZI * mixed;
      U(pj, q) = U(ppj, qq) = p.CZJ * direct;
      U(q, pj) = U(qq, ppj) = p.CZI * direct;
    }
  });
}

}  // namespace

void hartree_fock_rpa_cross_sections_a(PhotoRun& run, io::Units& units) {
  VariantADriver driver(run, units);
  driver.run();
}

}  // namespace photo

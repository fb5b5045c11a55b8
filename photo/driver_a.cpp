// Driver of the second build, xsect_a: the base driver with the channel
// loop changed in a few steps, and its own assembly of the RPA matrix after
// all channels (RPAMA).
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

class DriverA : public PhotoDriver {
 public:
  DriverA(PhotoRun& run, io::Units& units) : PhotoDriver(run, units, kVariantASizes) {}

 private:
  // Per-channel tables of this build (NCH entries; MWG(3, NCH)).
  std::vector<int> NLL = std::vector<int>(static_cast<size_t>(NCH)), KU2 = NLL, LKG = NLL,
                   MWG = std::vector<int>(static_cast<size_t>(3 * NCH));
  int NXC = 0;

  void channel_started(int ICH) override { io::console().line(io::lstring("Ich=", ICH, NCH)); }

  void channel_read(int ICH) override {
    const int c = ICH - 1;
    r_.s40.IC[static_cast<size_t>(c)] = ch_.NC;  // the capped count, for the matrix build
    NLL[static_cast<size_t>(c)] = ch_.NL;
    for (int J = 0; J < 3; ++J) MWG[static_cast<size_t>(3 * c + J)] = r_.MNG[static_cast<size_t>(3 * (MII - 1) + J)];
    KU2[static_cast<size_t>(c)] = NZ0()(ICH) + ch_.NCU();
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
  double bound_energy(int ICH) override { return EGG()(ICH); }

  // No rescaling to an experimental threshold.
  void store_amplitudes(int ICH, int k, int MDk, int, int I) override {
    const int a = NZ0()(ICH) + k, b = KU2[static_cast<size_t>(ICH - 1)] + k;
    const int s = MDk % 2 == 0 ? 1 : -1;
    DR()(a) = DHR()(MDk + 2, I);
    DR()(b) = s * DHR()(MDk + 2, I);
    DV()(a) = DHV()(MDk + 2, I);
    DV()(b) = -s * DHV()(MDk + 2, I);
  }

  // An extra function counts in the total only.
  void row_finished(int IC) override {
    if (IC > ch_.NC) {
      CSR()(1, IC) = 0.0;
      CSV()(1, IC) = 0.0;
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

  void before_rpa() override { RPAMA(); }

  void RPAMA();
};

// The RPA matrix of all channel pairs, reading every channel file again.
// Between different channels all eight elements of a function pair are set
// (twice for a variable that stands for an excitation and its mirror):
// the forward–backward blocks from W1 = V[φ_i·φ_k*]·φ_j and W2 = V[φ_j·φ_k*]·φ_i,
// the forward–forward and backward–backward blocks from W3 = V[φ_k·φ_i*]·φ_j and
// W4 = V[φ_j·φ_i*]·φ_k.  Within one channel of σ shell and σ final state only
// the forward–backward block is set; within one channel with a π shell or a
// π final state the elements are those of the base build.
void DriverA::RPAMA() {
  B[0] = 1.0;
  lib::Mat U = r_.U;
  std::vector<int> lki, lkj;
  std::array<int, kMaxSolutions> lci{}, lcj{};
  lib::IVec LCI(lci.data(), kMaxSolutions), LCJ(lcj.data(), kMaxSolutions);
  auto F = [&](const ChannelFiles& cj, lib::CMat XL, const lib::Mat& w) { return overlap(cj.NX(), XL, w); };
  for (int ICH = 1; ICH <= NCH; ++ICH) {
    const int c = ICH - 1;
    const ChannelFiles ci = read_channel(ICH, 21, 22, r_.XE1, lki, LCI);
    const lib::IVec LKI(lki.data(), static_cast<int>(lki.size()));
    const lib::CIVec MNI(ci.MN.data(), 3);
    const lib::CIVec MWI(MWG.data() + 3 * c, 3);
    const int LGI = LKG[static_cast<size_t>(c)];
    const lib::CMat XI = r_.XG.colsFrom(LGI, MWI(3));

    for (int JCH = ICH; JCH <= NCH; ++JCH) {
      const int d = JCH - 1;
      io::console().line(io::lstring(" Ich=", ICH, "   Jch=", JCH));
      io::console().line(
          io::lstring(" Ku2(Ich)=", KU2[static_cast<size_t>(c)], " Ku2(Jch)=", KU2[static_cast<size_t>(d)]));
      ChannelFiles cj;
      if (JCH == ICH) {
        lib::copy(NB * ci.NX() * ci.NCU(), r_.XE1.flat(), r_.XE2.flat());
        cj = ci;
        lkj = lki;
        lcj = lci;
      } else {
        cj = read_channel(JCH, 23, 22, r_.XE2, lkj, LCJ);
      }
      const lib::IVec LKJ(lkj.data(), static_cast<int>(lkj.size()));
      const lib::CIVec MNJ(cj.MN.data(), 3);
      const lib::CIVec MWJ(MWG.data() + 3 * d, 3);
      const int LGJ = LKG[static_cast<size_t>(d)];
      const lib::CMat XJ = r_.XG.colsFrom(LGJ, MWJ(3));
      const bool same = JCH == ICH;
      const bool sigma = MWI(1) == 0 && MNI(1) == 0;
      const int KU0i = NZ0()(ICH), KU0j = NZ0()(JCH);
      // A variable of a channel from a π shell to a final state of the
      // hole's projection stands for the excitation and its mirror: it enters
      // the equations of another channel twice.
      const double CZI = pair_multiplicity(ci.NSI, MNI(1) - MWI(1));
      const double CZJ = pair_multiplicity(cj.NSI, MNJ(1) - MWJ(1));

      int NUI = 0;
      for (int IEI = 1; IEI <= ci.NE(); ++IEI) {
        io::console().line(io::lstring("Iei= ", IEI));
        const int waves = IEI <= ci.NC ? ci.NL : 1;
        for (int I = 1; I <= waves; ++I) {
          ++NUI;
          const lib::CMat XK = r_.XE1.colsFrom(LCI(I) + LKI(IEI), ci.NX());
          if (same && !sigma) {
            // A π shell or π final state within one channel.
            PairSide side{MNI, ci.NSI, MNI(1) - MWI(1), KU0i, ci.NCU()};
            base_elements(side, side, NUI, XK, true, cj, r_.XE2, LKJ, LCJ);
            continue;
          }
          if (same) {
            interaction(MWI, MNI, MWJ, MNI, XI, XK, XJ, r_.WC1);
          } else {
            interaction(MWI, MNI, MWJ, MNJ, XI, XK, XJ, r_.WC1);
            interaction(MWJ, MNI, MWI, MNJ, XJ, XK, XI, r_.WC2);
            interaction(MNI, MWI, MWJ, MNJ, XK, XI, XJ, r_.WC3);
            interaction(MWJ, MWI, MNI, MNJ, XJ, XI, XK, r_.WC4);
          }
          int NUJ = 0;
          for (int JEI = 1; JEI <= cj.NE(); ++JEI) {
            const int wj = JEI <= cj.NC ? cj.NL : 1;
            for (int J = 1; J <= wj; ++J) {
              ++NUJ;
              const lib::CMat XL = r_.XE2.colsFrom(LCJ(J) + LKJ(JEI), cj.NX());
              const int p = KU0j + NUJ, pp = KU2[static_cast<size_t>(d)] + NUJ;
              const int q = KU0i + NUI, qq = KU2[static_cast<size_t>(c)] + NUI;
              if (same) {
                U(pp, q) = U(p, qq) = F(cj, XL, r_.WC1);
              } else {
                const double mixed = 2.0 * F(cj, XL, r_.WC1) - F(cj, XL, r_.WC2);
                const double direct = 2.0 * F(cj, XL, r_.WC3) - F(cj, XL, r_.WC4);
                U(pp, q) = U(p, qq) = CZJ * mixed;
                U(q, pp) = U(qq, p) = CZI * mixed;
                U(p, q) = U(pp, qq) = CZJ * direct;
                U(q, p) = U(qq, pp) = CZI * direct;
              }
            }
          }
        }
      }
    }
  }
}

}  // namespace

void RPHF0A(PhotoRun& run, io::Units& units) {
  DriverA driver(run, units);
  driver.run();
}

}  // namespace photo

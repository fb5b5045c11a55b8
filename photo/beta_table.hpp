// Asymmetry parameters of a photoionisation run, per channel and per ionised
// shell, Hartree–Fock and RPA, length and velocity form: collected while the
// driver computes the dipole amplitudes, then written as a section after the
// listing and as a plain table.
#pragma once

#include <string>
#include <vector>

#include "io/unit.hpp"
#include "lib/views.hpp"
#include "photo/beta.hpp"
#include "photo/kernels/rpa_equations.hpp"

namespace photo {

// The file name of the table: the listing's name with ".beta" added (never
// the listing itself).
std::string beta_table_name(const std::string& listing);

// σ and β at one photon energy; β is NaN where it is not available.
struct BetaRow {
  double omega = 0.0;  // photon energy (hartree)
  double sigmaL = 0.0, sigmaV = 0.0, betaL = 0.0, betaV = 0.0;
};

// The rows of one channel or one shell, with the reason β is missing where
// it is.
struct BetaSeries {
  std::string label;
  std::vector<BetaRow> hf, rpa;
  std::vector<std::string> notes;
};

class BetaTable : public RpaAmplitudeSink {
 public:
  // Blocks whose flux overlaps deviate more than this from orthonormality
  // give no β (the amplitudes are written with seven digits).
  static constexpr double kFluxTolerance = 1.0e-3;

  struct Channel {
    int shell = 0, mi = 0, M = 0, L0 = 0, step = 1, NX = 0, NL = 0, NC = 0;
    double threshold = 0.0;  // energy of the hole: ω = E − threshold
    int state = 0;           // the ionic state whose channels interfere (0: those of the shell)
    // In its state's β: 0 as it stands (a σ shell's m > 0 with its mirror
    // image), 1 as its mirror image only, −1 not at all.  A term met in two
    // mirror-image arrangements of a σ hole (the ion's projections ±Λ): the
    // waves of one initial component are the first arrangement's and the
    // mirror image of the second's m > 0.
    int mirror = 0;
  };
  void channel(int ICH, const Channel& c);
  // One Hartree–Fock solution at energy E: its asymptotic amplitudes AC, AS
  // (NX values), its dipole amplitudes DL, DV of the channel's photon
  // component and its listed partial cross sections.
  struct HfSolution {
    double E = 0.0;
    lib::CVec AC, AS;
    double DL = 0.0, DV = 0.0, sigmaL = 0.0, sigmaV = 0.0;
  };
  // Solution I at continuum node IC.
  void hf_solution(int ICH, int IC, int I, const HfSolution& s);
  void rpa_amplitudes(int ICH, int node, double E, double OM, int NL, const RpaAmplitudes& D) override;

  // β of every channel and shell; F holds the factorials.
  void compute(lib::Fac F);

  // The ionised shells, in the order of their first channel.
  std::vector<int> shells_ionised() const;
  // The outgoing waves of every channel of `shell` at node j (0-based) of
  // the grid its channels share, HF or RPA, in length and velocity form,
  // with the photon energy and the orbital's projection m_i.  False (with
  // the reason) where the node has no RPA amplitudes, the channels do not
  // share its photon energy, two channels have one final m, or a block is
  // not orthonormal on the energy shell.
  struct ShellWaves {
    int mi = 0;
    double omega = 0.0;
    double E = 0.0;  // the photoelectron's energy (hartree)
    std::vector<PartialWaves> L, V;
  };
  size_t shell_nodes(int shell) const;
  bool shell_waves(int shell, size_t j, bool rpa, ShellWaves& w, std::string& why) const;
  const std::vector<BetaSeries>& channels() const { return channel_series_; }
  const std::vector<BetaSeries>& shells() const { return shell_series_; }

 private:
  struct Node {
    double E = 0.0;
    std::vector<double> AS, AC;  // NX × NL
    std::vector<Complex> DL, DV;
    double sigmaL = 0.0, sigmaV = 0.0;
    bool rpa = false;
    double rpaE = 0.0, rpaOM = 0.0;
    std::vector<Complex> RL, RV;
  };
  struct ChannelData {
    Channel c;
    std::vector<Node> nodes;
  };
  std::vector<ChannelData> ch_;
  std::vector<BetaSeries> channel_series_, shell_series_;

  ChannelData& at(int ICH);
  // Outgoing amplitudes of channel c at node n (length, velocity), from the
  // HF or the RPA dipole amplitudes; false with a reason when the block is
  // not orthonormal.
  bool waves(const ChannelData& c, const Node& n, bool rpa, PartialWaves& L, PartialWaves& V, double& deviation) const;
  void compute_shell(int state, int shell, lib::Fac F);
};

// The section after the listing.
void write_beta_listing(io::Unit& u, const BetaTable& t, bool rpa);
// The plain table: per channel and per shell a block of rows (photon energy
// in eV and hartree, σL, σV, βL, βV), Hartree–Fock blocks first, blocks
// separated by two blank lines.
void write_beta_table(io::Unit& u, const BetaTable& t, bool rpa);

}  // namespace photo

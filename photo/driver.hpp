// The photoionisation driver of both builds, and their two entries.
//
// For every channel the driver reads the continuum functions of the channel
// file and the extra functions, computes and prints the Hartree–Fock dipole
// amplitudes and partial cross sections in length and velocity form, and
// keeps the amplitudes in the ordering of the RPA matrix.  The RPA matrix of
// all channel pairs is then built (or read back), and the RPA equations are
// solved.  The two builds differ in a few steps of the channel loop and in
// the assembly of the matrix; those steps are virtual here.
//
// The members are defined by concept: driver.cpp the run and its steps,
// channel_input.cpp the reading of a channel's files, driver_tables.cpp the
// sizes of the driver's tables, listing.cpp the head of the listing and the
// channel tables, rpa_matrix_elements.cpp the interaction functions and the
// elements of the RPA matrix both builds share; driver_base.cpp holds the
// steps of the first build (xsect) and driver_a.cpp those of the second
// (xsect_a).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "io/unit.hpp"
#include "lib/gaunt_table.hpp"
#include "lib/radial_grid.hpp"
#include "lib/views.hpp"
#include "photo/beta_table.hpp"
#include "photo/channel_copies.hpp"
#include "photo/channel_input.hpp"
#include "photo/entry.hpp"
#include "photo/kernels/rpa_equations.hpp"
#include "photo/sizes.hpp"

namespace photo {

class PhotoDriver {
 public:
  PhotoDriver(PhotoRun& run, io::Units& units, const DriverSizes& sizes);
  virtual ~PhotoDriver() = default;
  PhotoDriver(const PhotoDriver&) = delete;
  PhotoDriver& operator=(const PhotoDriver&) = delete;

  // The whole run: header, channels, RPA.
  void run();

 protected:
  // ---- steps the second build changes
  virtual void channel_started(int ICH);
  // NC has been capped; the channel's continuum groups have been read.
  virtual void channel_read(int ICH);
  // Bound-state energy handed to the dipole routines.
  virtual double bound_energy(int ICH);
  // Store the amplitudes of function k of channel ICH in the RPA ordering.
  virtual void store_amplitudes(int ICH, int k, int MD, int IC, int I);
  // After the partial waves of an energy row have been summed.
  virtual void row_finished(int IC);
  // After the two tables of a channel.
  virtual void tables_written(int ICH);
  // Channel pairs of the RPA matrix, inside the channel loop.
  virtual void channel_pairs(int ICH);
  // After the channel loop, before the RPA equations.
  virtual void before_rpa();

  // ---- shared pieces
  // One side of a channel pair: the final-state descriptor, the ionised
  // shell, M_final − M_shell, and the block of the channel in U.
  struct PairSide {
    lib::CIVec desc;
    int shell;
    int MD;
    int NZ0, NZ2;
  };
  // The functions of one channel as they lie in a function table: the
  // channel's counts, the table X, its group starts LE and the column
  // offsets LC of the solutions inside a group.
  struct ChannelFunctions {
    const ChannelFiles& ch;
    lib::CMat X;
    lib::CIVec LE, LC;
  };
  // Elements of U between one function XK (number ICU) of the first channel
  // and all functions of the second, by the rules of the base build.
  void base_elements(const PairSide& si, const PairSide& sj, int ICU, lib::CMat XK, bool same,
                     const ChannelFunctions& second_channel);
  // Calls body(JCU, F) for each function JCU = 1, 2, … of channel f (its
  // continuum solutions, then its extra functions), F(w) the overlap of that
  // function with w.
  // With the overlaps of a channel pair taken as matrix products (IOV = 1)
  // the recording pass keeps the interaction functions instead, and the
  // applying pass reads F(w) from the products.
  template <class Body>
  void each_function(const ChannelFunctions& f, Body&& body) {
    if (pass_ == OverlapPass::record) {
      record_interactions();
      return;
    }
    const ChannelFiles& cj = f.ch;
    int JCU = 0;
    for (int JC = 1; JC <= cj.NE(); ++JC) {
      const int wj = JC <= cj.NC ? cj.NL : 1;
      for (int J = 1; J <= wj; ++J) {
        ++JCU;
        if (pass_ == OverlapPass::apply) {
          body(JCU, [&, JCU](const lib::Mat& w) { return pair_overlap(w, JCU); });
          continue;
        }
        const lib::CMat XL = f.X.colsFrom(f.LC(J) + f.LE(JC), cj.NX());
        body(JCU, [&](const lib::Mat& w) { return overlap(cj.NX(), XL, w); });
      }
    }
  }
  // The overlaps of a channel pair: `direct` one at a time as the elements
  // ask for them; `record` keeps each function's interaction functions
  // (column current_function_ of recorded_, one array per work matrix WC1 …
  // WC4); `apply` reads them from pair_overlaps_ (functions of the second
  // channel × of the first) after the products.
  enum class OverlapPass { direct, record, apply };
  OverlapPass pass_ = OverlapPass::direct;
  int current_function_ = 0;
  std::array<bool, 4> fresh_{}, used_{};
  std::array<std::vector<double>, 4> recorded_, pair_overlaps_;
  std::vector<double> overlap_weights_, weighted_functions_;
  int recorded_length_ = 0, first_functions_ = 0, second_functions_ = 0;
  // Which work matrix WC1 … WC4 (0 … 3) `w` is.
  int work_matrix(const lib::CMat& w) const;
  void record_interactions();
  double pair_overlap(const lib::CMat& w, int JCU) const;
  // The elements of a pair through the recording pass, the products and the
  // applying pass.
  void pair_elements_by_products(const PairSide& si, const PairSide& sj, const ChannelFunctions& second_channel,
                                 bool same);
  // The elements within one channel of a shell of projection M ≠ 0.
  void degenerate_shell_elements(const PairSide& si, int ICU, lib::CMat XK, const ChannelFunctions& f);
  // How many excitations of equal amplitude one variable of a channel stands
  // for: 2 for a shell of projection M ≠ 0 and a final state of the same
  // projection (the excitation and its mirror), else 1.
  double pair_multiplicity(int shell, int MD) const {
    return (r_.MNG[static_cast<size_t>(3 * (shell - 1))] != 0 && MD == 0) ? 2.0 : 1.0;
  }
  // Reads the continuum groups of channel file `name` on `unit` into XE,
  // energies into EE and amplitudes into AC/AS, with the cap `cap`; the
  // group starts LE, EE and the amplitude tables are sized for the channel
  // (and its `extra` functions).
  void size_channel_tables(int nc, int extra, int NX, std::vector<int>& LE, const std::string& name);
  void read_continuum(int unit, const std::string& name, int cap, int extra, lib::Mat XE, std::vector<int>& LE,
                      ChannelFiles& ch);
  // Reads the ND extra functions of `name` on `unit` into XE after the
  // continuum groups, with their energies EE(NC+1 …) and second values CN.
  void read_extra(int unit, const std::string& name, lib::Mat XE, lib::IVec LE, ChannelFiles& ch);
  // Reads channel ICH completely: the continuum groups of its channel file on
  // unit `fic_unit` (energies capped by IC(ICH)), its ID(ICH) extra functions
  // on `fid_unit`, the group starts LE (NE + 1 entries) and the column
  // offsets LC of its solutions.  With IRD = 1 a channel read before comes
  // from its binary copy.
  ChannelFiles read_channel(int ICH, int fic_unit, int fid_unit, lib::Mat XE, std::vector<int>& LE, lib::IVec LC);
  // Interaction function QQ of the potential of F1·conj(F2) applied to FE,
  // projected on the partial waves of NE (all descriptors M, L0, n).
  void interaction(lib::CIVec D1, lib::CIVec D2, lib::CIVec DE, lib::CIVec NE, lib::CMat F1, lib::CMat F2, lib::CMat FE,
                   lib::Mat QQ);
  // ∫ Σ partial waves of X·W over the grid (the matrix element of the
  // interaction function W with the function X of NX waves).
  double overlap(int NX, lib::CMat X, lib::CMat W);
  // Ground-state shell I as a column block and its descriptor.
  lib::CMat shell(int I);
  lib::CIVec shell_desc(int I);
  void check_rpa_room(int ICH, long functions) const;
  // The tables of the cross sections and RPA amplitudes grown to `groups`
  // function groups (energies of CSR, CSV, STV) and `functions` entries of
  // DR, DV (at least NUR); the amplitude tables and the scratch Z grow
  // where they are filled.  Tables are zero-filled where they grow and never
  // shrink.
  void grow_tables(long groups, long functions);
  // Words of the grown tables now.
  long table_words_now() const;
  // Stops the run with " GIVE ME MEMORY" (the reason and what to reduce on
  // the console) when `more` words for `what` would take the tables and the
  // workspace past NUVM.
  void check_table_words(long more, const std::string& what) const;
  // (−1)^n.
  static int sign_power(int n) { return (n % 2 == 0) ? 1 : -1; }

  PhotoRun& r_;
  io::Units& units_;
  const DriverSizes sizes_;
  io::Unit& LIST;              // unit 10
  io::Unit& DATA;              // unit 11
  io::Unit* STORED = nullptr;  // unit 12, IRP = 2

  const int NSG, NA, NB, NCH, NUR, IRP, MIE;
  int KD = 1;
  double HA = 0, HB = 0, RZ3 = 0, R3R = 0, R3V = 0, RZ2 = 0, PI2 = 0, C1 = 0, CH = 0, CD = 0, DET = 0;
  std::array<double, 10> Gt{};  // G(2, 5)
  std::array<double, 5> BZ{};
  std::array<double, 4> B{};

  // Functions of the current channel: energies, group starts, second
  // values of the extra functions (NE + 1 entries, grown with the channels);
  // column offsets of the solutions.
  std::vector<double> EEt, CNt;
  std::vector<int> LEt;
  std::array<int, kMaxSolutions> LCt{};
  // Per-channel tables (NCH entries; NZ0 NCH + 1).
  std::vector<double> EDt;  // ED(5, NCH)
  std::vector<int> NSIt, NNLt, NNPt, NNDt, NZ2t, NZ0t;
  std::vector<double> EGGt;
  // Results by energy and in RPA ordering: CSR(7, functions), CSV, STV by
  // energy; DR, DV by function (at least NUR entries); Z scratch (NB rows).
  int functions_ = 0;
  std::vector<double> CSRt, CSVt, STVt, DRt, DVt, Zt;
  // The angular coefficients of the interaction functions, tabulated for
  // the largest momenta and projections asked so far.
  std::unique_ptr<lib::GauntTable> gaunt_;
  // The binary copies of the channels read (IRD = 1).
  std::unique_ptr<ChannelCopies> copies_;
  double STR = 0;
  std::array<double, 10> DRRt{}, DRIt{}, DVRt{}, DVIt{};
  // Second channel of a pair.
  std::vector<int> LE2t;
  std::array<int, kMaxSolutions> LC2t{};

  // The current channel.
  ChannelFiles ch_;
  int M1 = 0, L1 = 0, MD = 0, MII = 0, LIX = 0;

  RpaTables rpa_;
  BetaTable beta_;  // amplitudes for the asymmetry parameters

  // 1-based views of the tables of fixed size: the series table G(2, 5),
  // the column offsets LC of the current channel's solutions, the energies
  // ED(5, NCH) of the extra functions, the ionised shell NSI, the block
  // start NZ0 (NCH + 1) and half size NZ2 of each channel in U, the
  // thresholds EGG, the dipole components DHR(3, 7), DHV(3, 7) of the
  // solutions of one energy and the final-state descriptor MNC.
  const lib::Mat G{Gt.data(), 2, 5};
  const lib::IVec LC{LCt.data(), kMaxSolutions};
  const lib::Mat ED{EDt.data(), kMaxExtra, NCH};
  const lib::IVec NSI{NSIt.data(), NCH}, NZ0{NZ0t.data(), NCH + 1}, NZ2{NZ2t.data(), NCH};
  const lib::Vec EGG{EGGt.data(), NCH};
  const lib::Mat DHR{r_.DHR.data(), 3, kMaxSolutions}, DHV{r_.DHV.data(), 3, kMaxSolutions};
  const lib::IVec MNC{r_.MNC.data(), 3};

  // ---- views of the tables that grow with the channels, taken afresh
  // after every growth
  // The group starts LE of the current channel's functions.
  lib::IVec group_starts() { return lib::IVec(LEt.data(), static_cast<int>(LEt.size())); }
  // The partial cross sections CSR(I, IC) of solution I of function group
  // IC in the length form.
  // Legacy name: CSR.
  lib::Mat length_cross_sections() { return lib::Mat(CSRt.data(), kMaxSolutions, functions_); }
  // The same in the velocity form.
  // Legacy name: CSV.
  lib::Mat velocity_cross_sections() { return lib::Mat(CSVt.data(), kMaxSolutions, functions_); }
  // The total STV(IC) of the velocity form of each function group.
  // Legacy name: STV.
  lib::Vec velocity_totals() { return lib::Vec(STVt.data(), functions_); }
  // The Hartree–Fock dipole amplitudes DR of the length form of every
  // variable of the RPA matrix, forward and backward.
  // Legacy name: DR.
  lib::Vec length_dipoles() { return lib::Vec(DRt.data(), static_cast<int>(DRt.size())); }
  // The same, DV, of the velocity form.
  // Legacy name: DV.
  lib::Vec velocity_dipoles() { return lib::Vec(DVt.data(), static_cast<int>(DVt.size())); }
  // The cosine amplitudes AC of the far-out partial waves of the current
  // channel's functions.
  // Legacy name: AMC.
  lib::Vec cosine_amplitudes() { return lib::Vec(r_.AC.data(), static_cast<int>(r_.AC.size())); }
  // The sine amplitudes AS of the same.
  // Legacy name: AMS.
  lib::Vec sine_amplitudes() { return lib::Vec(r_.AS.data(), static_cast<int>(r_.AS.size())); }
  // Scratch of the multipoles of the interaction functions (NB rows).
  lib::Mat multipole_scratch() {
    return lib::Mat(Zt.data(), NB, static_cast<int>(Zt.size() / static_cast<size_t>(NB)));
  }
  // The grid as the library routines take it.
  lib::RadialGrid grid() const { return {NA, NB, HA, HB, CH, 0}; }

 private:
  // ---- the steps of run(), in their order
  void write_header();
  void build_tables();
  void load_channel(int ICH);
  std::vector<int> write_channel_head(int ICH);
  void hartree_fock_energy(int ICH, int IC, double E1, lib::CMat X1, int N1);
  void write_velocity_table(const std::vector<int>& Ls);
  void solve_rpa();
  void asymmetry_and_angular_distributions();
  // ---- the channel pairs of the base build
  ChannelFiles load_second_channel(int ICH, int JCH, int& MD2);
  void base_pair_elements(int ICH, int JCH, const ChannelFiles& cj, int MD2);
  void read_stored_pair(int ICH, int JCH, int MIJ, int MD2);
};

// Driver of xsect: header, Hartree–Fock cross sections of every channel, the
// RPA matrix of all channel pairs (or its stored rows), RPA cross sections.
// Legacy name: RPHF0.
void hartree_fock_rpa_cross_sections(PhotoRun& run, io::Units& units);

// Driver of xsect_a: as hartree_fock_rpa_cross_sections, with its own
// assembly of the RPA matrix after all channels.
// Legacy name: RPHF0A.
void hartree_fock_rpa_cross_sections_a(PhotoRun& run, io::Units& units);

}  // namespace photo

#include "chan/program.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "chan/channel.hpp"
#include "chan/channel_blocks.hpp"
#include "chan/ion_coupling.hpp"
#include "chan/sizes.hpp"
#include "chan/static_exchange.hpp"
#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/channel_file.hpp"
#include "lib/dipole_elements.hpp"
#include "lib/orbital_file.hpp"

namespace chan {

io::Group CHN::group() {
  io::Group g("CHN");
  g.add("TIT", TIT, 65).add("FIG", FIG, 40).add("FIC", FIC, 40).add("FID", FID, 40).add("FIL", FIL, 40);
  g.add("NSI", NSI).add("M", M).add("L0", L0).add("NX", NX).add("NL", NL);
  g.add("NC", NC).add("P0", P0).add("DP", DP).add("IPOT", IPOT).add("ND", ND).add("EMX", EMX);
  g.add("NIT", NIT).add("EPS", EPS).add("EXACT", EXACT).add("IDER", IDER).add("OPEN", OPEN.data(), {2});
  g.add("TERM", TERM, 8).add("ION", ION, 8).add("IONM", IONM);
  return g;
}

io::Group CHN::written_group() {
  io::Group g("CHN");
  g.add("TIT", TIT, 65).add("FIG", FIG, 40).add("FIC", FIC, 40);
  if (ND > 0) g.add("FID", FID, 40);
  g.add("FIL", FIL, 40).add("NSI", NSI).add("M", M).add("NL", NL).add("NC", NC).add("P0", P0).add("DP", DP);
  g.add("IPOT", IPOT);
  if (ND > 0) g.add("ND", ND);
  if (OPEN[0] != 0) g.add("OPEN", OPEN.data(), {2});
  if (!io::trim_right(TERM).empty()) g.add("TERM", TERM, 8);
  if (!io::trim_right(ION).empty()) g.add("ION", ION, 8);
  if (IONM != kNotGiven) g.add("IONM", IONM);
  g.add("IDER", IDER);
  return g;
}

namespace {

constexpr double kHartreeEV = 27.211386;
// Capacities of the photoionisation programs that a channel file must respect.
constexpr int kMaxSolutions = 7;   // first dimension of their cross-section tables
constexpr int kAmplitudeWords = 5700;
constexpr int kMaxExtra = 5;
constexpr int kNameLength = 12;  // FIC and FID names in group S40 (15 in xsect_a)

// The ionic term ION and the arrangement of it that IONM selects.
struct IonChoice {
  IonTerm term;
  Arrangement arrangement;
  double term_weight = 0.0;            // summed over the term's arrangements
  std::vector<int> other_projections;  // of the term's other arrangements
};

// Everything the run decides from the control group and the ground state.
struct Setup {
  CHN c;
  GroundState gs;
  Molecule mol;
  Waves shell, final;
  int KD = 1;
  double E1 = 0.0;                 // energy of the ionised shell
  std::optional<IonChoice> ion;    // ION given: the photoelectron's coupling to the ion
  std::vector<std::string> notes;  // warnings for the listing
};

void check_and_complete(Setup& s, const std::string& file) {
  CHN& c = s.c;
  auto fail = [&](const std::string& var, const std::string& why) {
    io::stop("file '" + file + "', group &CHN, variable " + var + ": " + why);
  };
  if (io::trim_right(c.FIG).empty()) fail("FIG", "the ground-state file must be named");
  if (io::trim_right(c.FIC).empty()) fail("FIC", "the channel file must be named");
  if (io::trim_right(c.FIL).empty()) fail("FIL", "the listing file must be named");
  if (c.NC < 1 || c.NC > kMaxEnergies) {
    fail("NC", std::to_string(c.NC) + " energies; a channel takes 1 to " + std::to_string(kMaxEnergies));
  }
  if (!(c.P0 > 0.0)) fail("P0", "the first momentum must be positive");
  if (c.NC > 1 && !(c.DP > 0.0)) fail("DP", "the momentum step must be positive");
  if (c.IPOT != 0 && c.IPOT != 1) fail("IPOT", "0 (bare nuclei) or 1 (static exchange)");
  if (c.ND < 0 || c.ND > kMaxExtra) fail("ND", "a channel takes 0 to 5 extra functions");
  if (c.ND > 0 && io::trim_right(c.FID).empty()) fail("FID", "ND > 0 needs an extra-function file");
  if (c.ND > 0 && !(c.EMX < 0.0)) fail("EMX", "the bound functions lie below EMX < 0");
  if (c.NIT < 1) fail("NIT", "at least one GMRES step");
  if (c.EXACT != 0 && c.EXACT != 1) fail("EXACT", "0 (the programs' dipole constant) or 1 (sqrt(4π/3))");
  if (c.IDER != 0 && c.IDER != 1) fail("IDER", "0 (one-sided difference at xi = 1) or 1 (through X/sqrt(xi**2 - 1))");
  if (!(c.EPS > 0.0)) fail("EPS", "the convergence tolerance must be positive");
  if (c.NC % 2 == 0) {
    s.notes.push_back("NC = " + std::to_string(c.NC) +
                      " is even: the RPA integrates over the momenta by Simpson's rule and needs an odd count");
  }
  for (const std::string* f : {&c.FIC, &c.FID}) {
    if (io::trim_right(*f).size() > static_cast<size_t>(kNameLength)) {
      s.notes.push_back("file name '" + io::trim_right(*f) + "' is longer than the 12 characters of group S40");
    }
  }
}

// OPEN names the open shell of the ground state and its electrons, up to
// one fewer than the shell holds.
template <class Fail>
void check_open_shell(const CHN& c, const GroundState& gs, const Fail& fail) {
  const int o = c.OPEN[0], q = c.OPEN[1];
  if (o == 0 && q == 0) return;
  if (o < 1 || o > gs.NSH()) {
    fail("OPEN", "the open shell must be one of the shells 1 to " + std::to_string(gs.NSH()) +
                     " (OPEN(1) = " + std::to_string(o) + "), or OPEN = 0, 0 for closed shells");
  }
  const int capacity = gs.shell(o, 1).M == 0 ? 2 : 4;
  if (q < 1 || q >= capacity) {
    fail("OPEN", "an open shell holds 1 to " + std::to_string(capacity - 1) +
                     " electrons (OPEN(2) = " + std::to_string(q) + ")");
  }
}

std::string weight_text(double w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", w);
  return buf;
}

std::string projections_text(const std::vector<int>& p) {
  std::string t;
  for (int m : p) t += (t.empty() ? "" : ", ") + std::to_string(m);
  return t;
}

// The neutral as the coupling sees it: the ground state's shells, every one
// full but the open shell OPEN(1) with its OPEN(2) electrons, and TERM.
Neutral neutral_of(const CHN& c, const GroundState& gs) {
  Neutral nt;
  for (int i = 1; i <= gs.NSH(); ++i) {
    const int M = gs.shell(i, 1).M;
    nt.shells.push_back({M, i == c.OPEN[0] ? c.OPEN[1] : M == 0 ? 2 : 4});
  }
  nt.open = c.OPEN[0];
  nt.term = io::trim_right(c.TERM);
  return nt;
}

// ION, TERM and IONM.  ION blank keeps the two fields that need no term: a
// closed-shell neutral, or its open shell of one electron ionised; every
// other hole leaves an open-shell ion whose term must be named, and the
// refusal lists the terms the hole reaches with their weights.  ION given:
// the arrangement of that term the hole meets (IONM chooses among several),
// with the field and weight of chan/ion_coupling.
template <class Fail>
void choose_ion(Setup& s, const Fail& fail) {
  const CHN& c = s.c;
  const int o = c.OPEN[0], q = c.OPEN[1];
  const bool ion_given = !io::trim_right(c.ION).empty(), term_given = !io::trim_right(c.TERM).empty();
  const bool ionm_given = c.IONM != CHN::kNotGiven;
  const std::string hole =
      o == c.NSI ? "ionising the open shell " + std::to_string(o) + " of " + std::to_string(q) + " electrons"
                 : "the hole in shell " + std::to_string(c.NSI) + " beside the open shell " + std::to_string(o);
  const Neutral nt = neutral_of(c, s.gs);
  auto reached = [&]() {
    const IonicTerms t = ionic_terms(nt, c.NSI);
    if (!t.reason.empty()) fail("TERM", t.reason);
    std::string list;
    for (const IonicTermWeight& w : t.terms)
      list += (list.empty() ? "" : ", ") + term_name(w.term) + " (weight " + weight_text(w.weight) + ")";
    return list;
  };
  if (!ion_given) {
    if (ionm_given) fail("IONM", "selects an arrangement of the ionic term ION, which is not given");
    if (o == 0 || (o == c.NSI && q == 1)) return;
    if (!term_given) {
      fail("ION", hole +
                      " leaves an open-shell ion: name its term (ION) and the neutral's (TERM, as the "
                      "ground-state program spells it)");
    }
    fail("ION", hole + " leaves an open-shell ion: name its term; with the neutral's '" + nt.term +
                    "' kept the hole reaches " + reached());
  }
  if (o != 0 && !term_given) {
    fail("TERM", "the ionic term ION = '" + io::trim_right(c.ION) + "' needs the neutral's term of the open shell " +
                     std::to_string(o) + " (as the ground-state program spells it: '3S-', '2P')");
  }
  const std::string list = reached();
  const std::optional<IonTerm> term = read_term(c.ION);
  if (!term) {
    fail("ION", "'" + io::trim_right(c.ION) +
                    "' is not a term (multiplicity, S P D F G H I, and a Sigma's sign: "
                    "'2S+', '4S-', '3P'); the hole reaches " +
                    list);
  }
  const IonCoupling coupling = couple_photoelectron(nt, c.NSI, *term);
  if (!coupling.reason.empty()) fail("ION", coupling.reason);
  std::vector<int> projections;
  for (const Arrangement& a : coupling.arrangements) projections.push_back(a.ion_projection);
  const std::string name = term_name(*term);
  if (!ionm_given && projections.size() > 1) {
    fail("IONM", "the hole meets the term " + name + " in " + std::to_string(projections.size()) +
                     " arrangements, of the ion's projections " + projections_text(projections) + ": name one");
  }
  IonChoice ion;
  ion.term = *term;
  ion.term_weight = coupling.weight();
  bool chosen = false;
  for (const Arrangement& a : coupling.arrangements) {
    if (!chosen && (!ionm_given || a.ion_projection == c.IONM)) {
      ion.arrangement = a;
      chosen = true;
    } else {
      ion.other_projections.push_back(a.ion_projection);
    }
  }
  if (!chosen) {
    fail("IONM", std::to_string(c.IONM) + " is not a projection of the ion in the term " + name +
                     " that the hole meets (" + projections_text(projections) + ")");
  }
  s.ion = ion;
}

void complete_channel(Setup& s, const std::string& file) {
  CHN& c = s.c;
  auto fail = [&](const std::string& var, const std::string& why) {
    io::stop("file '" + file + "', group &CHN, variable " + var + ": " + why);
  };
  const lib::GroundStateGroup& g = s.gs.s00;
  if (c.NSI < 1 || c.NSI > g.NSH) {
    fail("NSI", "the ground state has shells 1 to " + std::to_string(g.NSH) + " (NSI = " + std::to_string(c.NSI) + ")");
  }
  s.mol = Molecule{g.Z1, g.Z2, g.RZ};
  s.KD = momentum_step(g.Z1, g.Z2);
  s.shell = s.gs.shell(c.NSI, s.KD);
  s.E1 = s.gs.E[static_cast<size_t>(c.NSI - 1)];
  if (c.M < 0) c.M = s.shell.M;
  if (c.M >= kProjections) fail("M", "the final projection must lie between 0 and 4");
  if (std::abs(c.M - s.shell.M) > 1) {
    fail("M", "a dipole transition from M = " + std::to_string(s.shell.M) + " reaches M = " +
                  std::to_string(std::max(0, s.shell.M - 1)) + " to " + std::to_string(s.shell.M + 1));
  }
  if (c.L0 < 0) {
    c.L0 = c.M;
    if (s.KD == 2 && (c.L0 - s.shell.L0) % 2 == 0) ++c.L0;
  }
  if (c.L0 < c.M) fail("L0", "the first momentum is below the projection M");
  if (s.KD == 2 && (c.L0 - s.shell.L0) % 2 == 0) {
    fail("L0", "equal nuclear charges keep the parity; the dipole needs L0 of the other parity than the shell's (" +
                   std::to_string(s.shell.L0) + ")");
  }
  check_open_shell(c, s.gs, fail);
  choose_ion(s, fail);
  if (c.NX == 0) c.NX = s.shell.n;
  if (c.NX < 1 || c.NX > kMaxWaves) fail("NX", "a solution takes 1 to " + std::to_string(kMaxWaves) + " partial waves");
  if (c.NL == 0) c.NL = std::min(c.NX, kMaxSolutions);
  if (c.NL < 1 || c.NL > std::min(c.NX, kMaxSolutions)) {
    fail("NL", "1 to min(NX, 7) solutions per energy (the photoionisation programs hold 7)");
  }
  s.final = Waves{c.M, c.L0, c.NX, s.KD};
  if (c.NX != s.shell.n) {
    s.notes.push_back("NX = " + std::to_string(c.NX) + " differs from the " + std::to_string(s.shell.n) +
                      " partial waves of the ionised shell");
  }
  if (static_cast<long>(c.NC) * c.NL * c.NX > kAmplitudeWords) {
    s.notes.push_back("NC*NL*NX = " + std::to_string(c.NC * c.NL * c.NX) +
                      " amplitudes exceed the 5700 words the photoionisation programs keep per channel");
  }
}

// The values xsect lists for this channel at one energy: Σ over the
// solutions of the length- and velocity-form cross sections of dipole_length and
// dipole_velocity (5.378·(E − E1)·D² and 5.378/(E − E1)·D²), with the bound orbital
// taken with its own partial waves.
struct HfValues {
  double L = 0.0, V = 0.0;
};

class DipoleCheck {
 public:
  DipoleCheck(const Grid& g, const Setup& s) : g_(g), s_(s), pqv_(static_cast<size_t>(g.NB) * 4), z_(g.NB) {
    lib::fill_factorials(80, lib::VecView<double, 0>(fc_.data(), 81));
  }
  // E2 > 0: cross sections summed over the solutions; E2 < 0: oscillator strengths.
  HfValues values(double E2, lib::CMat X, int NL, int NX) {
    HfValues h;
    const int NB = g_.NB;
    const double RZ = s_.mol.RZ;
    const double CD = 2.0 * std::sqrt(s_.c.EXACT == 1 ? kPi / 3.0 : 1.047197665619469);
    const lib::Fac F(fc_.data(), 81);
    const lib::CMat X1 = s_.gs.waves(s_.c.NSI);
    std::ostringstream sink;  // the kernels trace every element on the console
    std::ostream& out = io::console().out();
    std::istream& in = io::console().in();
    io::console().redirect(&in, &sink);
    for (int i = 1; i <= NL; ++i) {
      double dr[3];
      const lib::CMat X2 = X.colsFrom((i - 1) * NX + 1, NX);
      const lib::DipoleTransition t{lib::PartialWaves{{s_.shell.M, s_.shell.L0, s_.shell.n, s_.KD}, X1},
                                    lib::PartialWaves{{s_.final.M, s_.final.L0, NX, s_.KD}, X2}, s_.E1, E2, CD};
      const lib::DipoleWork work{lib::Mat(pqv_.data(), NB, 4), Vec(z_.data(), NB)};
      h.L += lib::dipole_length(g_.radial(), g_.R(), F, t, std::pow(0.5 * RZ, 4), work, Vec(dr, 3));
      h.V += lib::dipole_velocity(g_.radial(), g_.RV(), F, t, RZ * RZ / 8.0, work, Vec(dr, 3), s_.c.IDER);
    }
    io::console().redirect(&in, &out);
    return h;
  }

 private:
  const Grid& g_;
  const Setup& s_;
  std::vector<double> pqv_, z_;
  std::array<double, 81> fc_{};
};

// The ionic term, the arrangement and its weight, the field shell by shell
// (with static exchange) and the threshold.
void listing_ion(io::Unit& L, const Setup& s) {
  const IonChoice& ion = *s.ion;
  const Arrangement& a = ion.arrangement;
  io::fwrite(L, io::Format("(' Ion: term ',A,' (ION), arrangement of ion projection',I3,' (IONM), weight',F9.6)"),
             term_name(ion.term), a.ion_projection, a.weight);
  L.write_record("   (the C.S. columns times the weight are this term's share of the shell's cross section)");
  if (!ion.other_projections.empty()) {
    io::fwrite(L,
               io::Format("('   the term''s other arrangements, ion projection ',A,', are channels of their own;',/,"
                          "'   the term''s weight',F9.6,' is the sum over its arrangements')"),
               projections_text(ion.other_projections), ion.term_weight);
  }
  if (s.c.IPOT == 1) {
    L.write_record("   shell   M    direct   exchange +M   exchange -M   (coefficients of J, K(+M), K(-M))");
    for (int i = 1; i <= s.gs.NSH(); ++i) {
      const ShellField& f = a.field[static_cast<size_t>(i - 1)];
      const int M = s.gs.shell(i, s.KD).M;
      if (M == 0) {
        io::fwrite(L, io::Format("(3X,I5,I4,F10.4,F14.4)"), i, M, f.direct, f.exchange);
      } else {
        io::fwrite(L, io::Format("(3X,I5,I4,F10.4,2F14.4)"), i, M, f.direct, f.exchange, f.partner);
      }
    }
  }
  L.write_record(" Threshold: Koopmans' - the ionised shell's orbital energy from the ground-state file, the same");
  L.write_record("            for every term of the ion (the term's own energy is not formed)");
}

void listing_head(io::Unit& L, const Setup& s, const Grid& g) {
  const CHN& c = s.c;
  const lib::GroundStateGroup& gs = s.gs.s00;
  L.write_record(" CHANFILE: CONTINUUM FUNCTIONS OF ONE IONISATION CHANNEL");
  if (!io::trim_right(c.TIT).empty()) L.write_record(" " + io::trim_right(c.TIT));
  L.write_record(" " + std::string(60, '='));
  L.write_record(" Ground-state file: '" + io::trim_right(c.FIG) + "'");
  io::fwrite(L,
             io::Format("(' Nuclei Charges:       Z1 =',F6.3,/,23X,'Z2 =',F6.3,/,' Internuclei Distance: RZ  =',"
                        "F7.4)"),
             gs.Z1, gs.Z2, gs.RZ);
  io::fwrite(L,
             io::Format("(' Grid: NA =',I3,', NB =',I5,', RP(1) =',F8.4,', RP(2) =',F9.3,', HA =',F8.5,"
                        "', HB =',F8.5)"),
             gs.NA, gs.NB, gs.RP[0], gs.RP[1], g.HA, g.HB);
  L.write_record("");
  L.write_record("     N shell    M    L0   N OF P.W.    HF Energies");
  for (int i = 1; i <= gs.NSH; ++i) {
    const Waves w = s.gs.shell(i, s.KD);
    io::fwrite(L, io::Format("(4X,I4,3X,3(I6),6X,E15.7)"), i, w.M, w.L0, w.n, s.gs.E[static_cast<size_t>(i - 1)]);
  }
  L.write_record(" " + std::string(60, '='));
  io::fwrite(L, io::Format("(' Ionised shell',I3,':  M =',I2,', L0 =',I3,',',I3,' partial waves, energy',F14.8)"),
             c.NSI, s.shell.M, s.shell.L0, s.shell.n, s.E1);
  std::string Ls;
  for (int p = 1; p <= s.final.n; ++p) {
    Ls += ' ';
    Ls += std::to_string(s.final.L(p));
  }
  io::fwrite(L,
             io::Format("(' Final state:    M =',I2,', L0 =',I3,', KD =',I2,', NX =',I3,' partial waves (L =',A,')')"),
             s.final.M, s.final.L0, s.KD, s.final.n, Ls);
  io::fwrite(L, io::Format("(17X,I2,' standing-wave solutions per energy (NL)')"), c.NL);
  const double Zion = c.IPOT == 0 ? gs.Z1 + gs.Z2 : ion_charge(s.gs, s.mol, c.OPEN[0], c.OPEN[1]);
  if (c.IPOT == 0) {
    L.write_record(" Potential: the bare nuclei (exact one-electron continuum)");
  } else if (s.ion) {
    L.write_record(" Potential: static exchange - the frozen Hartree-Fock field of the ion in the term " +
                   term_name(s.ion->term) + ", the electron");
    L.write_record("            coupled to it; continuum orthogonal to the occupied orbitals of its symmetry");
  } else if (c.OPEN[0] != 0) {
    L.write_record(" Potential: static exchange - the frozen Hartree-Fock field of the ion's closed shells; the");
    io::fwrite(L, io::Format("(12X,'ionised shell',I3,' is the open shell of the ground state with one electron;')"),
               c.OPEN[0]);
    L.write_record("            continuum orthogonal to the occupied orbitals of its symmetry");
  } else {
    L.write_record(
        " Potential: static exchange - the frozen Hartree-Fock field of the ion, the electron singlet-coupled");
    L.write_record("            to the hole; continuum orthogonal to the occupied orbitals of its symmetry");
  }
  io::fwrite(L, io::Format("(' Long range: Coulomb field of charge Zion =',F7.3)"), Zion);
  if (s.ion) listing_ion(L, s);
  const double kl = c.P0 + (c.NC - 1) * c.DP;
  io::fwrite(L,
             io::Format("(' Momenta k = P0 + (j-1)*DP:  P0 =',F9.5,', DP =',F9.5,', NC =',I4,/,"
                        "'   k from',F9.5,' to',F9.5,';  photon energy from',F10.5,' to',F10.5,' hartree')"),
             c.P0, c.DP, c.NC, c.P0, kl, 0.5 * c.P0 * c.P0 - s.E1, 0.5 * kl * kl - s.E1);
  L.write_record(" Channel file: '" + io::trim_right(c.FIC) + "'" +
                 (c.ND > 0 ? "   Extra-function file: '" + io::trim_right(c.FID) + "' (" + std::to_string(c.ND) +
                                 " bound functions)"
                           : ""));
  for (const auto& n : s.notes) L.write_record(" NOTE: " + n);
  L.write_record(" " + std::string(60, '='));
}

void listing_energy_head(io::Unit& L, int IPOT) {
  L.write_record("");
  L.write_record(" Continuum functions.  C.S.(L), C.S.(V): the channel totals xsect lists (megabarn)");
  L.write_record(IPOT == 0
                     ? " Phases delta_i of the solutions relative to the Coulomb phase, in units of pi"
                     : " Eigenphases tau_i relative to the Coulomb-spheroidal functions of the ion, in units of pi");
  L.write_record("");
  L.write_record("    j        k          E       Om, a.u.    Om, eV     C.S.(L)     C.S.(V)");
}

// The control group and its checks, the ground-state file, and the channel
// the group describes, completed from the ionised shell.
Setup read_setup(io::Units& units) {
  Setup s;
  io::Unit& u3 = units(3);
  s.c.group().read(u3);
  check_and_complete(s, u3.name());
  {
    io::Unit& g = units.open_old(20, io::trim_right(s.c.FIG));
    read_ground_state(g, s.gs);
    units.close(20);
  }
  complete_channel(s, u3.name());
  return s;
}

// The continuum functions at every momentum: the energy blocks into the
// channel file F and, energy by energy, the cross sections xsect will list
// for them into the listing L.  Returns the blocks.
std::vector<Block> write_continuum(io::Unit& L, io::Unit& F, const Setup& s, const Grid& g, DipoleCheck& check,
                                   StaticExchange* se) {
  const CHN& c = s.c;
  lib::write_channel_header(F, lib::ChannelHeader{c.NSI, c.P0, c.DP, c.NC, {s.final.M, s.final.L0, s.final.n}});
  listing_energy_head(L, c.IPOT);
  io::console().line(io::lstring("chanfile: channel of shell", c.NSI, "final M =", c.M, "energies:", c.NC));
  std::vector<Block> blocks = channel_blocks(g, s.mol, s.final, se, c.NC, c.P0, c.DP, c.NL);
  for (int j = 1; j <= c.NC; ++j) {
    const double k = c.P0 + (j - 1) * c.DP;
    const Block& b = blocks[static_cast<size_t>(j - 1)];
    lib::write_energy_block(F, g.NB, b.NL, b.NX, b.E, CVec(b.AC.data(), static_cast<int>(b.AC.size())),
                            CVec(b.AS.data(), static_cast<int>(b.AS.size())), b.x(g.NB));
    const HfValues h = check.values(b.E, b.x(g.NB), b.NL, b.NX);
    const double om = b.E - s.E1;
    io::fwrite(L, io::Format("(I5,F10.5,F11.6,F11.6,F11.4,2E12.4)"), j, k, b.E, om, om * kHartreeEV, h.L, h.V);
    io::console().line(io::lstring(" j, k, C.S.(L), C.S.(V) =", j, k, h.L, h.V));
  }
  return blocks;
}

// The phases of the solutions, energy by energy, for the NC energies.
void list_phases(io::Unit& L, const std::vector<Block>& blocks, int NC) {
  L.write_record("");
  L.write_record("    j        k    phases / pi of the solutions 1 ... NL, then their mean asymptotic lambda");
  for (int j = 1; j <= NC; ++j) {
    const Block& b = blocks[static_cast<size_t>(j - 1)];
    std::vector<double> ph(b.phase.size());
    for (size_t i = 0; i < ph.size(); ++i) ph[i] = b.phase[i] / kPi;
    io::fwrite(L, io::Format("(I5,F10.5,7F9.4)"), j, b.k, ph);
    io::fwrite(L, io::Format("(15X,7F9.3)"), b.lam);
  }
}

// The ND bound excited functions of the channel's symmetry into the
// extra-function file D (orbital-block layout), listed with their energies,
// norms and oscillator strengths.
void write_extra_functions(io::Unit& L, io::Unit& D, const Setup& s, const Grid& g, DipoleCheck& check,
                           StaticExchange* se) {
  const CHN& c = s.c;
  std::vector<double> x(static_cast<size_t>(g.NB) * static_cast<size_t>(c.ND * c.NX), 0.0);
  std::vector<double> E(static_cast<size_t>(c.ND)), CN(static_cast<size_t>(c.ND));
  lib::Mat X(x.data(), g.NB, c.ND * c.NX);
  double Zion = s.mol.Z1 + s.mol.Z2;
  if (c.IPOT == 0) {
    bare_extra_functions(g, s.gs, s.mol, s.final, c.ND, c.EMX, X, Vec(E.data(), c.ND));
  } else {
    // The lowest states of the static-exchange field above the ionised
    // orbital's energy (below it an excitation would have ω < 0).
    Zion = se->Zion();
    const int found = se->bound_states(c.ND, s.E1, c.EMX, X, Vec(E.data(), c.ND));
    if (found < c.ND) {
      io::stop("chanfile: only " + std::to_string(found) +
               " bound states of the final symmetry in the static-exchange field lie between the ionised "
               "orbital's energy and EMX = " +
               io::lstring(c.EMX) + "; ND asks for " + std::to_string(c.ND));
    }
  }
  L.write_record("");
  L.write_record(" Bound functions of the final symmetry (extra-function file); nu = Zion/sqrt(-2E)");
  L.write_record("    d        E        Om, a.u.    Om, eV   norm on grid   f(L)        f(V)        nu");
  for (int d = 1; d <= c.ND; ++d) {
    const lib::CMat Xd = X.colsFrom((d - 1) * c.NX + 1, c.NX);
    CN[static_cast<size_t>(d - 1)] = overlap(g, s.mol.RZ, s.final, Xd, s.final, Xd);
    const HfValues h = check.values(E[static_cast<size_t>(d - 1)], Xd, 1, c.NX);
    const double om = E[static_cast<size_t>(d - 1)] - s.E1;
    io::fwrite(L, io::Format("(I5,F12.7,F11.6,F11.4,F12.7,2E12.4,F10.5)"), d, E[static_cast<size_t>(d - 1)], om,
               om * kHartreeEV, CN[static_cast<size_t>(d - 1)], h.L, h.V,
               std::max(Zion, 1.0) / std::sqrt(-2.0 * E[static_cast<size_t>(d - 1)]));
  }
  std::vector<int> mln(static_cast<size_t>(3 * c.ND)), lk(static_cast<size_t>(c.ND));
  for (int d = 1; d <= c.ND; ++d) {
    mln[static_cast<size_t>(3 * (d - 1))] = c.M;
    mln[static_cast<size_t>(3 * (d - 1) + 1)] = c.L0;
    mln[static_cast<size_t>(3 * (d - 1) + 2)] = c.NX;
    lk[static_cast<size_t>(d - 1)] = (d - 1) * c.NX + 1;
  }
  lib::write_orbital_block(c.ND, g.NB, lib::CIMat(mln.data(), 3, c.ND), CIVec(lk.data(), c.ND), CVec(E.data(), c.ND),
                           CVec(CN.data(), c.ND), X, D);
}

// Functions of exchange equations that were not solved are not what they
// claim to be: the run says so and ends with a failure status.
void stop_on_unsolved_exchange(const StaticExchange& se, const CHN& c) {
  int failed = 0, grown = 0;
  for (const auto& d : se.diagnostics()) {
    failed += d.converged ? 0 : 1;
    grown += d.grown() ? 1 : 0;
  }
  if (failed > 0) {
    io::stop(" chanfile: the exchange equations did not converge to EPS within NIT = " + std::to_string(c.NIT) +
             " GMRES steps at " + std::to_string(failed) + " of " + std::to_string(c.NC) +
             " energies (marked * in the listing '" + io::trim_right(c.FIL) + "')");
  }
  if (grown > 0) {
    io::stop(" chanfile: at " + std::to_string(grown) + " of " + std::to_string(c.NC) +
             " energies the solutions are dominated by partial waves grown under their centrifugal barriers "
             "(marked ! in the listing '" +
             io::trim_right(c.FIL) + "'); use fewer partial waves NX");
  }
}

}  // namespace

void run_chanfile(io::Units& units) {
  Setup s = read_setup(units);
  const CHN& c = s.c;

  std::vector<std::pair<int, std::string>> outputs{{10, io::trim_right(c.FIL)}, {21, io::trim_right(c.FIC)}};
  if (c.ND > 0) outputs.emplace_back(22, io::trim_right(c.FID));
  io::Units::require_new(outputs);
  io::Unit& L = units.open_new(10, io::trim_right(c.FIL));
  io::Unit& F = units.open_new(21, io::trim_right(c.FIC));
  io::Unit* D = c.ND > 0 ? &units.open_new(22, io::trim_right(c.FID)) : nullptr;

  const Grid g = make_grid(s.gs.s00.NA, s.gs.s00.NB, s.gs.s00.RP);
  listing_head(L, s, g);
  DipoleCheck check(g, s);

  std::unique_ptr<StaticExchange> se;
  if (c.IPOT == 1) {
    ExchangeOptions opt;
    opt.NIT = c.NIT;
    opt.EPS = c.EPS;
    opt.open_electrons = c.OPEN[0] != 0 ? c.OPEN[1] : 0;
    if (s.ion) opt.field = s.ion->arrangement.field;
    se = std::make_unique<StaticExchange>(g, s.gs, s.mol, c.NSI, s.final, opt);
  }

  const std::vector<Block> blocks = write_continuum(L, F, s, g, check, se.get());
  list_phases(L, blocks, c.NC);
  if (se) se->report(L);
  if (D) write_extra_functions(L, *D, s, g, check, se.get());

  L.write_record("");
  L.write_record(" The C.S. columns count two electrons in the ionised shell and one sign of the final projection M:");
  L.write_record(" for a one-electron target halve them; a final M > 0 from a sigma shell stands for +M and -M.");
  if (s.ion) {
    io::fwrite(L, io::Format("(' The share of the ion''s term ',A,' is the C.S. columns times the weight',F9.6,'.')"),
               term_name(s.ion->term), s.ion->arrangement.weight);
    if (!s.ion->other_projections.empty()) {
      L.write_record(" The term's other arrangements (ion projection " + projections_text(s.ion->other_projections) +
                     ") are channels of their own, each counted so; the");
      L.write_record(" term's share is the sum over its arrangements.");
    }
  } else if (c.OPEN[0] != 0) {
    L.write_record(" The ionised open shell holds one electron: its share is 1/2 (sigma) or 1/4 (pi, delta) of");
    L.write_record(" that of the full shell the columns count.");
  }
  io::console().line(" chanfile: channel file '" + io::trim_right(c.FIC) + "' written");
  if (se) stop_on_unsolved_exchange(*se, c);
}

}  // namespace chan

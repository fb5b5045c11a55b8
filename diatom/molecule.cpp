#include "diatom/molecule.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "chan/sizes.hpp"
#include "diatom/accuracy.hpp"
#include "diatom/angular_request.hpp"
#include "diatom/shell_order.hpp"
#include "diatom/ionic_states.hpp"
#include "diatom/ionic_terms.hpp"
#include "diatom/vibration.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "scf/sizes.hpp"
#include "scf/terms.hpp"

namespace diatom {

int Molecule::find_shell(const std::string& name) const {
  for (size_t i = 0; i < shells.size(); ++i) {
    if (shells[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

bool equal_nuclei(double Z1, double Z2, double RZ) {
  return std::fabs(Z1 - Z2) <= 1.0e-5 && std::fabs((Z2 - Z1) * RZ) <= 1.0e-5;
}

namespace {

std::string number_text(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

// A refusal of group MOL, naming the file, the group and the variable.
struct Refusal {
  std::string where;  // "file 'x.mol', group &MOL, variable "
  [[noreturn]] void operator()(const std::string& var, const std::string& why) const {
    io::stop(where + var + ": " + why);
  }
};

// Within each symmetry the shells must be 1, 2, ... without gaps or repeats;
// the tovrel group lists them in increasing energy: the places the user gave
// a symmetry's shells are kept, and filled in the order of their numbers.
void order_and_check_symmetries(std::vector<Shell>& shells, const std::string& where) {
  std::vector<bool> done(shells.size(), false);
  for (size_t i = 0; i < shells.size(); ++i) {
    if (done[i]) continue;
    std::vector<size_t> slots;
    for (size_t j = i; j < shells.size(); ++j) {
      if (shells[j].same_symmetry(shells[i])) slots.push_back(j);
    }
    std::vector<Shell> members;
    for (size_t j : slots) members.push_back(shells[j]), done[j] = true;
    std::sort(members.begin(), members.end(), [](const Shell& a, const Shell& b) { return a.n < b.n; });
    for (size_t k = 0; k < members.size(); ++k) {
      const int want = static_cast<int>(k) + 1;
      if (members[k].n == want) continue;
      if (k > 0 && members[k].n == members[k - 1].n) {
        io::stop(where + ": shell '" + members[k].name + "' is listed twice");
      }
      Shell missing = members[k];
      missing.n = want;
      io::stop(where + ": the shell list is not closed: '" + members[k].name + "' is listed without '" +
               std::to_string(want) + missing.name.substr(std::to_string(members[k].n).size()) + "' below it");
    }
    for (size_t k = 0; k < slots.size(); ++k) shells[slots[k]] = members[k];
  }
}

// The term of the open shell: one the configuration has, its g/u that of
// the open electrons (homonuclear); closed shells are ¹Σ⁺ (¹Σg⁺).
void check_state(Molecule& m, const std::string& state, const std::string& where) {
  if (m.open < 0) {
    if (!state.empty() && state != "1S+" && state != "1Sg+" && state != "1Sigma+" && state != "1Sigmag+")
      io::stop(where + ": closed shells make a 1S+ state, not '" + state + "'");
    return;
  }
  const Shell& o = m.shells[m.open];
  if (state.empty()) {
    io::stop(where + ": the open shell '" + o.name + std::to_string(o.electrons()) + "' needs its term (STATE = '" +
             (o.electrons() == 2 ? "3S-" : std::string("2") + "SPD"[o.M]) + "', …)");
  }
  const scf::TermEnergy e = scf::term_energy(o.M, o.electrons(), state);
  if (!e.reason.empty()) io::stop(where + ": " + e.reason);
  if (m.equal_nuclei) {
    // g or u of the term: the open electrons' parity (closed shells are g).
    const char want = (o.electrons() % 2 == 1) ? o.parity : 'g';
    for (size_t i = 1; i < state.size(); ++i) {
      if ((state[i] == 'g' || state[i] == 'u') && std::isupper(static_cast<unsigned char>(state[i - 1])) &&
          state[i] != want)
        io::stop(where + ": '" + state + "' has the wrong parity: the open shell '" + o.name +
                 std::to_string(o.electrons()) + "' makes a " + want + " state");
    }
  }
  m.state = state;
}

// The nuclei, the distances and the electrons: Z1 > 0, Z2 ≥ 0, positive
// distances, and Z1 + Z2 − Q a positive whole number.
void describe_nuclei(const MOL& mol, Molecule& m, const Refusal& refuse) {
  m.Z1 = mol.Z1;
  m.Z2 = mol.Z2;
  if (!(mol.Z1 > 0)) refuse("Z1", "the first nucleus needs a positive charge (Z1 = " + number_text(mol.Z1) + ")");
  if (!(mol.Z2 >= 0)) refuse("Z2", "a nuclear charge cannot be negative (Z2 = " + number_text(mol.Z2) + ")");
  // The list ends at its last distance; a zero before it is not an end.
  int given = kMaxDistances;
  while (given > 0 && mol.RZ[given - 1] == 0.0) --given;
  for (int k = 0; k < given; ++k) {
    if (!(mol.RZ[k] > 0))
      refuse("RZ(" + std::to_string(k + 1) + ")", "a distance must be positive (" + number_text(mol.RZ[k]) + ")");
    m.RZ.push_back(mol.RZ[k]);
  }
  if (m.RZ.empty()) refuse("RZ", "no distance given");
  m.equal_nuclei = equal_nuclei(mol.Z1, mol.Z2, m.RZ[0]);

  const double ne = mol.Z1 + mol.Z2 - mol.Q;
  if (std::fabs(ne - std::round(ne)) > 1.0e-9 || ne < 1) {
    refuse("Q", "Z1 + Z2 − Q = " + number_text(ne) + " is not a positive whole number of electrons");
  }
  m.electrons = static_cast<int>(std::lround(ne));
}

// The order of the ground-state program's group (ORDER): the separated
// atoms' order of energies, so that every order of SHELLS reaches the same
// state, or the order of SHELLS.
void order_for_the_cold_start(const MOL& mol, Molecule& m, const Refusal& refuse) {
  if (mol.ORDER != 0 && mol.ORDER != 1) {
    refuse("ORDER",
           "must be 1 (the shells in the order of the separated atoms' orbital energies) or 0 (in the order "
           "of SHELLS) (" +
               std::to_string(mol.ORDER) + ")");
  }
  if (mol.ORDER == 0 || m.shells.size() < 2) return;
  std::vector<Shell> ordered = m.shells;
  if (!order_by_separated_atoms(ordered, m.Z1, m.Z2, m.equal_nuclei)) {
    m.notes.push_back(
        "the shells are solved in the order of SHELLS: the separated atoms' orbital energies that "
        "order them are tabulated for whole charges up to 18");
    return;
  }
  bool same = true;
  for (size_t i = 0; i < ordered.size(); ++i) same = same && ordered[i].name == m.shells[i].name;
  m.shells = std::move(ordered);
  if (same) return;
  std::string list;
  for (const Shell& s : m.shells) {
    list += (list.empty() ? "" : " ") + s.name;
    if (s.occupation != 0) list += std::to_string(s.occupation);
  }
  m.notes.push_back("the shells are solved in the order '" + list +
                    "', that of the separated atoms' orbital energies (ORDER = 0: in the order of SHELLS)");
}

// The occupied shells of SHELLS: named as the nuclei ask, holding exactly
// the electrons, at most one of them open (one electron is held by a single
// σ orbital), within tovrel's shells, and each symmetry's shells in order.
void describe_shells(const MOL& mol, Molecule& m, const Refusal& refuse) {
  const std::vector<std::string> names = shell_names(mol.SHELLS);
  std::string open_name;
  const bool occupations = std::any_of(names.begin(), names.end(), [](const std::string& w) {
    return std::isdigit(static_cast<unsigned char>(w.back())) != 0;
  });
  if (m.electrons % 2 == 1 && m.electrons != 1 && !occupations) {
    refuse("Q", "an odd number of electrons (Z1 + Z2 − Q = " + std::to_string(m.electrons) +
                    ") cannot fill closed shells: give the open shell's electrons in SHELLS ('2pu3') and STATE");
  }
  if (names.empty()) refuse("SHELLS", "no occupied shell given");
  int held = 0;
  for (const std::string& w : names) {
    Shell s = parse_shell(w, m.equal_nuclei, refuse.where + "SHELLS");
    held += m.one_electron() ? 1 : s.electrons();
    if (m.one_electron() && s.M != 0) {
      refuse("SHELLS", "'" + w + "': one electron is held by a single sigma orbital");
    }
    if (s.open() && !m.one_electron()) {
      if (m.open >= 0) {
        refuse("SHELLS", "'" + m.shells[m.open].name + "' and '" + s.name +
                             "' are both open: the ground state is described for one open shell outside closed shells");
      }
      m.open = static_cast<int>(m.shells.size());
      open_name = s.name;
    }
    if (held > m.electrons) {
      refuse("SHELLS", "the charges cannot hold shell '" + w + "': with it the shells hold " + std::to_string(held) +
                           " electrons, Z1 + Z2 − Q = " + std::to_string(m.electrons));
    }
    m.shells.push_back(s);
  }
  if (held < m.electrons) {
    refuse("SHELLS", "the shell list is not closed: the shells '" +
                         mol.SHELLS.substr(0, mol.SHELLS.find_last_not_of(' ') + 1) + "' hold " + std::to_string(held) +
                         " electrons, the molecule has " + std::to_string(m.electrons) + " (Z1 + Z2 − Q)");
  }
  if (m.shells.size() > static_cast<size_t>(scf::kMaxShells)) {
    refuse("SHELLS",
           std::to_string(m.shells.size()) + " shells; tovrel takes at most " + std::to_string(scf::kMaxShells));
  }
  order_and_check_symmetries(m.shells, refuse.where + "SHELLS");
  order_for_the_cold_start(mol, m, refuse);
  if (m.open >= 0) m.open = m.find_shell(open_name);
}

// The grid and its check: TOL, CHECK, START, and NPW, NB, RB when given.
void check_grid_settings(const MOL& mol, const Molecule& m, const Refusal& refuse) {
  if (!(mol.TOL > 0) || mol.TOL > 1.0e-2)
    refuse("TOL", "must lie in (0, 1e-2] hartree (TOL = " + number_text(mol.TOL) + ")");
  if (mol.CHECK != 0 && mol.CHECK != 1) refuse("CHECK", "must be 0 or 1 (" + std::to_string(mol.CHECK) + ")");
  if (mol.START != 0 && mol.START != 1) {
    refuse("START", "must be 0 (no starting orbitals) or 1 (from a run on the grid of TOL = 1e-6) (" +
                        std::to_string(mol.START) + ")");
  }
  // The check run's sweeps end at a summed change of kCheckEps (rounding
  // places one shell's energy of N2's check grid of 1e-9 only to ±2e-10),
  // no longer small against a TOL below kCheckTolMin: refused there.
  if (mol.CHECK == 1 && mol.TOL < kCheckTolMin) {
    refuse("CHECK", "1 with TOL = " + number_text(mol.TOL) +
                        ": below TOL = 1e-9 the check run cannot be made self-consistent to well below TOL (rounding"
                        " places its energies only to a few 1e-10); run without CHECK or with TOL = 1e-9 or more");
  }
  // The ground-state program takes any number of partial waves (its memory
  // is checked); the continuum program reads at most chan::kMaxWaves.
  const bool continuum = !io::trim_right(mol.ION).empty();
  if (mol.NPW < 0 || (continuum && mol.NPW > chan::kMaxWaves)) {
    refuse("NPW", continuum ? "0 (from TOL) or 1 to " + std::to_string(chan::kMaxWaves) +
                                  " partial waves when ION asks for the continuum (" + std::to_string(mol.NPW) + ")"
                            : "0 (from TOL) or a positive count of partial waves (" + std::to_string(mol.NPW) + ")");
  }
  if (mol.NB != 0 && (mol.NB < 9 || mol.NB % 2 == 1)) {
    refuse("NB", "0 (from TOL) or an even count of at least 9 grid points (NB = " + std::to_string(mol.NB) + ")");
  }
  // The outer end lies beyond the nuclei (ξ = 2·RB/RZ ≥ 2 at every distance).
  const double rz_max = *std::max_element(m.RZ.begin(), m.RZ.end());
  if (!(mol.RB == 0.0 || mol.RB >= rz_max)) {
    refuse("RB", "0 (from TOL) or an outer end of the grid of at least the bond length " + number_text(rz_max) +
                     " bohr (RB = " + number_text(mol.RB) + ")");
  }
}

// The shells to ionise (ION): occupied, each once.  A hole in an
// open-shell molecule other than its open shell of one electron leaves
// several ionic terms, each a state of its own (ionic_terms.hpp); the hole
// must reach at least one with the neutral's parent kept.
void describe_ionisation(const MOL& mol, Molecule& m, const Refusal& refuse) {
  for (const std::string& w : shell_names(mol.ION)) {
    const int i = m.find_shell(w);
    if (i < 0) refuse("ION", "'" + w + "' is not one of the occupied shells");
    if (std::find(m.ionised.begin(), m.ionised.end(), i) != m.ionised.end())
      refuse("ION", "'" + w + "' is listed twice");
    m.ionised.push_back(i);
  }
  if (!m.ionised.empty() && m.open >= 0) {
    const Shell& o = m.shells[m.open];
    for (int i : m.ionised) {
      if (!hole_has_terms(m, i)) continue;
      const chan::IonicTerms t = chan::ionic_terms(coupling_neutral(m), i + 1);
      if (!t.reason.empty()) refuse("ION", "'" + m.shells[i].name + "': " + t.reason);
      if (mol.VIB == 1) {
        refuse("VIB", "the ion of '" + m.shells[i].name + "' has the open shells '" + m.shells[i].name + "' and '" +
                          o.name + "', or an open shell of its own, in several terms: its potential curve is not "
                          "computed (VIB = 0, or ION without that shell)");
      }
    }
    // The static-exchange field of an open-shell ion is not the ground
    // state's own field: the RPA's linear response about the ground state
    // is built for closed shells only.
    if (mol.RPA == 1) {
      refuse("RPA", "the RPA is built for closed-shell ground states; the shells of the open-shell molecule ('" +
                        o.name + std::to_string(o.electrons()) +
                        "') are ionised in the static-exchange (Hartree-Fock) approximation: RPA = 0");
    }
  }
}

// The photoionisation settings, when ION names shells: the photon range,
// the momentum grid, the field, the RPA, the functions kept, β and the
// molecular-frame distributions.
void check_photoionisation(const MOL& mol, Molecule& m, const Refusal& refuse) {
  if (m.shells.size() > 9) refuse("SHELLS", "the photoionisation programs take at most 9 shells");
  if (!(mol.EMIN > 0) || !(mol.EMAX > mol.EMIN)) {
    refuse("EMIN", "the photon energies need 0 < EMIN < EMAX (EMIN = " + number_text(mol.EMIN) +
                       ", EMAX = " + number_text(mol.EMAX) + " eV)");
  }
  if (mol.NK == 0 && !(mol.DK > 0))
    refuse("DK", "the momentum step must be positive (DK = " + number_text(mol.DK) + ")");
  // The channel files carry the momenta to six decimals.
  if (mol.NK == 0 && mol.DK < 1.0e-6) {
    refuse("DK", "DK = " + number_text(mol.DK) +
                     "/bohr is below the 1e-6 the channel files carry between momenta: a step of 1e-6 or more");
  }
  if (mol.NK != 0 && (mol.NK < 3 || mol.NK % 2 == 0)) {
    refuse("NK", "an odd number of momenta, at least 3, for Simpson's rule (NK = " + std::to_string(mol.NK) + ")");
  }
  if (mol.IPOT < -1 || mol.IPOT > 1) refuse("IPOT", "0 (bare nuclei) or 1 (static exchange)");
  // The static-exchange field of the ion holds the hole's own J + K: with
  // one electron the ion is the bare nuclei.
  if (mol.IPOT == 1 && m.one_electron()) refuse("IPOT", "one electron leaves bare nuclei behind: IPOT = 0, not 1");
  if (mol.RPA != 0 && mol.RPA != 1) refuse("RPA", "must be 0 or 1 (" + std::to_string(mol.RPA) + ")");
  // The top serves the RPA's energy integrals alone: each Hartree–Fock
  // energy stands alone, and a top inside the range would cut it.
  if (mol.given("ETOP") && mol.RPA != 1) {
    refuse("ETOP",
           "ETOP is the continuum's top for the RPA's energy integrals, and RPA = 0 (each Hartree-Fock "
           "energy stands alone): give RPA = 1 or remove ETOP");
  }
  if (mol.given("ETOP") && !(mol.ETOP >= mol.EMAX)) {
    refuse("ETOP", "the continuum's top ETOP = " + number_text(mol.ETOP) + " eV lies below EMAX = " +
                       number_text(mol.EMAX) + " eV, the end of the photon range: ETOP ≥ EMAX");
  }
  if (mol.ND < 0 || mol.ND > 5)
    refuse("ND", "0 to 5 bound functions per final symmetry (" + std::to_string(mol.ND) + ")");
  if (mol.NL < 0 || mol.NL > 7) {
    refuse("NL", "1 to 7 solutions per energy, or 0 for the default (" + std::to_string(mol.NL) + ")");
  }
  if (mol.BETA != 0 && mol.BETA != 1) refuse("BETA", "must be 0 or 1 (" + std::to_string(mol.BETA) + ")");
  // The targets are what CHECK's estimated errors are measured against.
  if (!(mol.STOL > 0 && mol.STOL < 1))
    refuse("STOL", "the target error of the cross sections, relative: 0 < STOL < 1 (" + number_text(mol.STOL) + ")");
  if (!(mol.BTOL > 0 && mol.BTOL < 3))
    refuse("BTOL", "the target error of beta, absolute: 0 < BTOL < 3 (" + number_text(mol.BTOL) + ")");
  if ((mol.given("STOL") || mol.given("BTOL")) && mol.CHECK != 1) {
    const std::string var = mol.given("STOL") ? "STOL" : "BTOL";
    refuse(var, var +
                    " is the target the estimated errors of CHECK = 1 are measured against, and CHECK = 0: "
                    "give CHECK = 1 or remove " +
                    var);
  }
  if (mol.given("BTOL") && mol.BETA != 1)
    refuse("BTOL", "BTOL is the target error of beta, and BETA = 0: give BETA = 1 or remove BTOL");
  m.mfpad = parse_mfpad(mol, refuse.where + "MFPAD");
}

// The title: UTF-8 text, whose characters the limit of 65 counts.
void check_title(const MOL& mol, const Refusal& refuse) {
  const std::string& t = mol.TIT;
  for (size_t i = 0; i < t.size();) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = n > 0 && i + n <= t.size();
    for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(t[i + k]) & 0xC0) == 0x80;
    if (!ok) {
      char b[8];
      std::snprintf(b, sizeof b, "0x%02X", c);
      refuse("TIT", std::string("the title is not UTF-8 text (byte ") + b + " at byte " + std::to_string(i + 1) +
                        "): save the control file as UTF-8");
    }
    i += n;
  }
}

// The photoionisation settings: with shells to ionise only.
constexpr const char* kPhotoVariables[] = {"EMIN", "EMAX", "ETOP", "DK",   "NK",   "IPOT",  "RPA",
                                           "ND",   "NL",   "BETA", "STOL", "BTOL", "MFPAD", "REF"};

// Every variable given takes effect, or the run is refused naming it:
// the photoionisation settings without ION, the check with a potential
// curve, and a momentum step beside a count of momenta.
void check_variables_in_effect(const MOL& mol, const Molecule& m, const Refusal& refuse) {
  if (!m.photoionisation) {
    // Every one named at once (a photoionisation file with ION taken out
    // names several); a blank MFPAD or REF asks for nothing.
    std::string named;
    for (const char* v : kPhotoVariables) {
      const std::string var = v;
      if (!mol.given(var) || (var == "MFPAD" && io::trim_right(mol.MFPAD).empty()) ||
          (var == "REF" && io::trim_right(mol.REF).empty()))
        continue;
      named += (named.empty() ? "" : ", ") + var;
    }
    if (!named.empty()) {
      const std::string is = named.find(',') == std::string::npos ? " is a setting" : " are settings";
      if (m.ionised.empty()) {
        refuse(named, named + is + " of the photoionisation, and ION names no shell to ionise: give ION ('" +
                          m.shells.back().name + "', …) or remove " + named);
      }
      refuse(named, named + is +
                        " of the photoionisation, and with VIB = 1 but no photon range ION names the ionic "
                        "states of the curves only: give EMIN and EMAX, or remove " +
                        named);
    }
  }
  if (mol.CHECK == 1 && m.RZ.size() > 1) {
    refuse("CHECK", "CHECK = 1 reruns the ground state of one distance on a finer grid, and RZ gives " +
                        std::to_string(m.RZ.size()) +
                        " distances (a potential curve on one grid for all): check the grid at one distance of "
                        "the curve in a run of its own (the shortest needs the finest inner region), or give "
                        "CHECK = 0");
  }
  if (mol.NK != 0 && mol.given("DK")) {
    refuse("NK", "NK = " + std::to_string(mol.NK) + " momenta per shell and DK = " + number_text(mol.DK) +
                     ": the momentum grid is made from one of them; remove DK or NK");
  }
}

// Without SHELLS, the ground configuration of the correlation diagram (and
// the open shell's term by Hund's rule when STATE is not given either).
MOL with_proposed_configuration(const MOL& given, Molecule& m, const Refusal& refuse) {
  MOL mol = given;
  if (!shell_names(mol.SHELLS).empty()) return mol;
  const std::optional<Configuration> c = proposed_configuration(m.Z1, m.Z2, m.equal_nuclei, m.electrons);
  if (!c) {
    refuse("SHELLS",
           "no occupied shell given (diatom proposes a configuration only for whole charges up to 18 "
           "whose atomic levels hold the electrons, and for an atom on a focus only with full subshells)");
  }
  mol.SHELLS = c->shells;
  std::string note =
      "SHELLS is not given: the ground configuration of the separated atoms' correlation diagram, "
      "SHELLS = '" +
      c->shells + "'";
  if (!c->state.empty() && io::trim_right(mol.STATE).empty()) {
    mol.STATE = c->state;
    note += ", STATE = '" + c->state + "' (Hund's rule)";
  }
  m.notes.push_back(note +
                    "; the orbital energies in diatom.lst (and, for closed shells, its aufbau check) show "
                    "whether that is the ground state");
  return mol;
}

// The distances of a vibrational analysis from one distance near the
// equilibrium: 15 from 0.75 to 1.45 times it, farther out than in (the
// curve is softer outside, and the ions' bonds are mostly longer).
std::vector<double> vibration_distances(double RZ) {
  std::vector<double> r;
  for (int k = 0; k < kVibrationDistances; ++k) r.push_back(RZ * (0.75 + 0.05 * k));
  return r;
}

// VIB and MASS: two nuclei, their masses (the most abundant isotopes of
// whole charges up to 18, or MASS), and distances enough for the curve.
void describe_vibration(const MOL& mol, Molecule& m, const Refusal& refuse) {
  if (mol.VIB != 0 && mol.VIB != 1) refuse("VIB", "must be 0 or 1 (" + std::to_string(mol.VIB) + ")");
  m.vib = mol.VIB == 1;
  if (!m.vib) {
    if (mol.given("MASS")) refuse("MASS", "the masses are used only by the vibrational analysis: give VIB = 1");
    return;
  }
  if (m.Z2 == 0) refuse("VIB", "one nucleus (Z2 = 0) has no vibration");
  if (m.one_electron() && !m.ionised.empty())
    refuse("VIB", "the ion of one electron is the bare nuclei, which hold no vibrational level: remove ION");
  if (mol.CHECK == 1) {
    refuse("CHECK", "VIB = 1 computes a potential curve on one grid for all distances: check the grid at one "
                    "distance in a run of its own, or give CHECK = 0");
  }
  double* mass[2] = {&m.mass1, &m.mass2};
  const double Z[2] = {m.Z1, m.Z2};
  for (int i = 0; i < 2; ++i) {
    const std::string var = "MASS(" + std::to_string(i + 1) + ")";
    if (mol.MASS[i] != 0) {
      if (!(mol.MASS[i] > 0) || mol.MASS[i] > 1000)
        refuse(var, "an atomic mass in u, above 0 and at most 1000 (" + number_text(mol.MASS[i]) + ")");
      *mass[i] = mol.MASS[i] * kElectronMassesPerDalton;
      continue;
    }
    const double z = std::round(Z[i]);
    const double table = std::fabs(Z[i] - z) < 1.0e-9 ? isotope_mass(static_cast<int>(z)) : 0.0;
    if (table == 0) {
      refuse(var, "nucleus " + std::to_string(i + 1) + " (Z = " + number_text(Z[i]) +
                      ") has no isotope in diatom's table (whole charges 1 to 18): give its atomic mass in u");
    }
    *mass[i] = table;
  }
  if (m.RZ.size() == 1) {
    m.RZ = vibration_distances(m.RZ[0]);
    char b[160];
    std::snprintf(b, sizeof b, "VIB = 1 with one distance: the curves at %d distances from %.4f to %.4f bohr",
                  kVibrationDistances, m.RZ.front(), m.RZ.back());
    m.notes.push_back(b);
  } else if (static_cast<int>(m.RZ.size()) < kVibrationLeastDistances) {
    refuse("RZ", "VIB = 1 interpolates the curve through its distances: at least " +
                     std::to_string(kVibrationLeastDistances) + " (" + std::to_string(m.RZ.size()) +
                     " given), or one, about which diatom chooses them");
  } else if (!std::is_sorted(m.RZ.begin(), m.RZ.end()) ||
             std::adjacent_find(m.RZ.begin(), m.RZ.end()) != m.RZ.end()) {
    refuse("RZ", "VIB = 1 needs the distances in increasing order, each once");
  }
}

}  // namespace

Molecule describe_molecule(const MOL& given, const std::string& file) {
  const Refusal refuse{"file '" + file + "', group &MOL, variable "};
  Molecule m;
  describe_nuclei(given, m, refuse);
  const MOL mol = with_proposed_configuration(given, m, refuse);
  describe_shells(mol, m, refuse);
  check_state(m, io::trim_right(mol.STATE), refuse.where + "STATE");
  check_grid_settings(mol, m, refuse);
  describe_ionisation(mol, m, refuse);
  check_title(mol, refuse);
  m.photoionisation = !m.ionised.empty() && !(mol.VIB == 1 && !mol.given("EMIN") && !mol.given("EMAX"));
  check_variables_in_effect(mol, m, refuse);
  if (m.photoionisation) check_photoionisation(mol, m, refuse);
  if (!m.mfpad.empty()) {
    for (int i : m.ionised) {
      if (hole_has_terms(m, i)) {
        refuse("MFPAD", "the molecular-frame distributions are taken per shell, and '" + m.shells[i].name +
                            "' leaves several ionic terms: MFPAD without it");
      }
    }
  }
  describe_vibration(mol, m, refuse);
  return m;
}

}  // namespace diatom

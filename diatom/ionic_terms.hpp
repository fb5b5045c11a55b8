// The ionic states a diatom run's holes leave.  A closed-shell molecule,
// and the open shell of one electron emptied, leave one ionic state per
// hole.  A hole in a closed shell of an open-shell molecule, or in an open
// shell of two or more electrons, leaves the ion with two open shells or an
// open shell of its own: one state per term of that configuration reached
// with the neutral's parent kept, each with its own static-exchange field
// for the photoelectron (chan/ion_coupling.hpp).
#pragma once

#include <string>
#include <vector>

#include "chan/ion_coupling.hpp"
#include "diatom/molecule.hpp"

namespace diatom {

// Whether the hole in shell `hole` (index into m.shells) leaves several
// ionic terms, whose photoelectrons need their coupling named.
bool hole_has_terms(const Molecule& m, int hole);

// The neutral as the coupling takes it: its shells, the open shell and its term.
chan::Neutral coupling_neutral(const Molecule& m);

// One ionic state of the results: the hole, its term (multiplicity 0 for
// the one state of a hole without terms), the term's share of the hole's
// cross section at high energy, and the photoelectron's arrangements.
struct IonicState {
  int shell = 0;
  chan::IonTerm term;
  double weight = 1.0;
  std::vector<chan::Arrangement> arrangements;
  bool has_term() const { return term.multiplicity > 0; }
  // The ion's g/u for equal nuclei (the neutral's times the hole's), else 0.
  char parity = 0;
  // "3sg" (no term) or "3sg_4Sg-": the results' column name.
  std::string name(const Molecule& m) const;
  // "3sg^-1 4Sg-" and "3σg⁻¹ ⁴Σg⁻" (for plots).
  std::string label(const Molecule& m) const;
  std::string pretty(const Molecule& m) const;
};

// The ionic states of the holes of ION, in its order and, within a hole,
// in the order of its terms (the highest spin first).  Stops naming ION,
// with the coupling's reason, where a hole's terms cannot be formed.
std::vector<IonicState> ionic_states(const Molecule& m, const std::string& where);

}  // namespace diatom

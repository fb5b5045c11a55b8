// An occupied shell of a diatomic molecule by name: '3sg', '1pu', '4s', with
// its electrons written after it when it is open ('1pg2').
#pragma once

#include <string>
#include <vector>

namespace diatom {

// One occupied shell: its name, symmetry and electrons.
struct Shell {
  std::string name;    // as the user wrote it, lower case: '3sg', '1pu', '4s'
  int n = 0;           // number within its symmetry (1 for the lowest)
  int M = 0;           // projection |m| of the orbital momentum on the axis
  int L0 = 0;          // first momentum of its partial waves
  char parity = 0;     // 'g', 'u', or 0 for unequal nuclei
  int occupation = 0;  // electrons written after the name ('1pg2'); 0: full
  // No electrons: an orbital of diatom's own runs (the aufbau check),
  // sought in the field of the other shells, which do not feel it.
  bool empty = false;
  int full() const { return M == 0 ? 2 : 4; }
  int electrons() const { return empty ? 0 : occupation != 0 ? occupation : full(); }
  bool open() const { return !empty && electrons() < full(); }
  // Shells of one symmetry share M and L0 (and so their partial waves).
  bool same_symmetry(const Shell& o) const { return M == o.M && L0 == o.L0; }
  // The symmetry in print: 'sigma_g', 'pi_u', 'sigma'.
  std::string symmetry() const;
};

// Parses a shell name such as '3sg' or '1p', optionally with its electrons
// ('1pg2', '5s1'); stops with a message naming `where` and the name when it
// is not one.
Shell parse_shell(const std::string& name, bool equal, const std::string& where);

// The words of a list of shell names ('1sg 1su, 2sg'), in lower case.
std::vector<std::string> shell_names(const std::string& list);

}  // namespace diatom

// The leading variables of the ground-state groups, defined once for the
// ground-state file's group S00 and tovrel's D00: the same names in the same
// order, each group with its own array bounds.
#include "lib/ground_state_fields.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "io/namelist.hpp"
#include "io/stop.hpp"
#include "io/unit.hpp"
#include "lib/ground_state.hpp"

namespace {

// The bounds of tovrel's group D00.
using ControlFields = lib::GroundStateFields<16, 256, 7, 256>;

io::Group all_fields(ControlFields& f) {
  io::Group g("D00");
  f.add_molecule(g);
  f.add_couplings(g);
  f.add_grid(g);
  f.add_switches(g);
  f.add_order(g);
  return g;
}

// The message of the stop that reading `text` into the group causes, or ""
// when it reads.
template <class Group>
std::string read_message(Group&& g, const std::string& text) {
  auto u = io::Unit::from_text("g.dat", text);
  try {
    g.read(*u);
  } catch (const io::StopRun& s) {
    return s.message();
  }
  return "";
}

// The names of a written group in their order.
std::vector<std::string> names_written(const io::Group& g) {
  auto u = io::Unit::to_text("g.dat");
  g.write(*u);
  std::vector<std::string> names;
  const std::string t = u->text();
  for (size_t at = 0; (at = t.find(" = ", at)) != std::string::npos; at += 3) {
    size_t from = t.find_last_of(" ,\n", at - 1) + 1;
    names.push_back(t.substr(from, at - from));
  }
  return names;
}

TEST(GroundStateFields, BothGroupsNameTheLeadingVariablesInOneOrder) {
  lib::GroundStateGroup s;
  s.NSH = 2;
  std::string FIL;
  std::array<std::string, 10> FIR{};
  const std::vector<std::string> read_order = names_written(s.group(FIL, FIR));
  const std::vector<std::string> want = {"Z1", "Z2", "RZ",  "NSH", "MLN", "AHF", "BHF", "NA",
                                         "NB", "RP", "EPS", "MI",  "JOR", "FD",  "FIL", "FIR"};
  EXPECT_EQ(read_order, want);
  EXPECT_EQ(names_written(s.written_group()),
            (std::vector<std::string>{"Z1", "Z2", "RZ", "NSH", "MLN", "NA", "NB", "RP", "EPS"}));
  ControlFields d;
  d.NSH = 2;
  const std::vector<std::string> control = names_written(all_fields(d));
  EXPECT_EQ(control, std::vector<std::string>(want.begin(), want.begin() + 13));
}

TEST(GroundStateFields, EachGroupKeepsItsOwnBounds) {
  struct Case {
    const char* assignment;
    bool file_group, control_group;  // read without a stop by S00, by D00
  };
  const Case cases[] = {
      {"MLN(3,9)=1", true, true},   {"MLN(1,10)=1", false, true},  {"MLN(1,17)=1", false, false},
      {"AHF(150)=1.0", true, true}, {"AHF(151)=1.0", false, true}, {"BHF(256)=1.0", false, true},
      {"MI(7)=1", true, true},      {"MI(8)=1", true, false},      {"MI(9)=1", false, false},
      {"JOR(100)=1", true, true},   {"JOR(101)=1", false, true},   {"RP(10)=2.0", true, true},
      {"RP(11)=2.0", false, false},
  };
  for (const Case& c : cases) {
    const std::string text = std::string("&S00 NSH=16, ") + c.assignment + " /\n";
    lib::GroundStateGroup s;
    std::string FIL;
    std::array<std::string, 10> FIR{};
    const std::string ms = read_message(s.group(FIL, FIR), text);
    EXPECT_EQ(ms.empty(), c.file_group) << c.assignment << ": " << ms;
    if (!c.file_group) {
      EXPECT_NE(ms.find("out of range"), std::string::npos) << c.assignment << ": " << ms;
    }
    ControlFields d;
    io::Group g = all_fields(d);
    const std::string md = read_message(g, "&D00" + text.substr(4));
    EXPECT_EQ(md.empty(), c.control_group) << c.assignment << ": " << md;
    if (!c.control_group) {
      EXPECT_NE(md.find("out of range"), std::string::npos) << c.assignment << ": " << md;
    }
  }
}

}  // namespace

// Named-group input and output (the namelist form of control files).
//
// A group is written as
//   &NAME
//    VAR = value, VAR2 = v1, v2, 3*v3,
//    /
// and read in the usual syntax of such files: names in any letter case,
// elements or sections by index (MLN(1,2)=1, FIR(2)='x', AHF(1:4)=...),
// repeat counts r*value, null values between commas, ! comments, exponents
// with E or D, and '/' or &END as the terminator.  Variables that the input
// does not name keep their values.  A name the group does not declare, a
// value that does not fit its variable, an index out of range or a missing
// group stops the run with a message naming the file, the group and the
// variable.  By default a variable named twice takes the last value given,
// as a Fortran namelist read does, and text lengths count bytes; a group can
// ask for stricter reading (ReadRules).
#pragma once

#include <string>
#include <vector>

#include "io/unit.hpp"

namespace io {

// How a group is read, beyond the usual rules.
struct ReadRules {
  // An element given a value twice stops the read, naming the variable and
  // both records (instead of the last value winning).
  bool once = false;
  // The length of a text value counts UTF-8 characters, not bytes.
  bool characters = false;
};

class Group {
 public:
  explicit Group(std::string name);

  const std::string& name() const { return name_; }

  Group& rules(ReadRules r) {
    rules_ = r;
    return *this;
  }
  // The variables the last `read` named (upper case), in the order first named.
  const std::vector<std::string>& named() const { return named_; }

  // Scalars.
  Group& add(const std::string& name, int& v);
  Group& add(const std::string& name, double& v);
  Group& add(const std::string& name, std::string& v, int len);
  // Arrays with the given extents (indices from 1), stored column-major.
  Group& add(const std::string& name, int* p, std::vector<int> extents);
  Group& add(const std::string& name, double* p, std::vector<int> extents);
  Group& add(const std::string& name, std::string* p, int len, std::vector<int> extents);
  // A square matrix of order `order` (the current value of another variable
  // of the group, e.g. the number of shells) held by columns in the first
  // order² of `capacity` words.  A(j,i) addresses row j of column i of that
  // matrix; A(k) and a plain list address the storage in order.
  Group& add_square(const std::string& name, double* p, int capacity, const int& order);
  Group& add_square(const std::string& name, int* p, int capacity, const int& order);

  // Read the group from the next records of `unit` (records before the group
  // are skipped); afterwards the unit stands at the record after the
  // terminator.
  void read(Unit& unit);
  // Write the group so that `read` restores every value exactly.
  void write(Unit& unit) const;

 private:
  enum class Type { integer, real, text };
  struct Var {
    std::string name;  // upper case
    Type type;
    void* p;
    int len;  // characters, for text
    std::vector<int> extents;
    const int* order = nullptr;  // square matrix of this order, see add_square
    const std::string* order_name = nullptr;
    int size() const;
  };
  Group& add_var(const std::string& name, Type t, void* p, int len, std::vector<int> extents);
  const std::string* name_of(const int* p) const;
  const Var* find(const std::string& upper) const;

  std::string name_;
  std::vector<Var> vars_;
  ReadRules rules_;
  std::vector<std::string> named_;
  friend class GroupReader;
};

}  // namespace io

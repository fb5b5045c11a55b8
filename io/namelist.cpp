#include "io/namelist.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "io/stop.hpp"
#include "io/value_text.hpp"

namespace io {

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Characters of UTF-8 text: every byte that does not continue a sequence.
size_t utf8_characters(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
  return n;
}

bool ident_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

}  // namespace

int Group::Var::size() const {
  int n = 1;
  for (int e : extents) n *= e;
  return n;
}

Group::Group(std::string name) : name_(upper(name)) {}

Group& Group::add_var(const std::string& name, Type t, void* p, int len, std::vector<int> extents) {
  vars_.push_back(Var{upper(name), t, p, len, std::move(extents)});
  return *this;
}

Group& Group::add(const std::string& name, int& v) { return add_var(name, Type::integer, &v, 0, {}); }
Group& Group::add(const std::string& name, double& v) { return add_var(name, Type::real, &v, 0, {}); }
Group& Group::add(const std::string& name, std::string& v, int len) { return add_var(name, Type::text, &v, len, {}); }
Group& Group::add(const std::string& name, int* p, std::vector<int> extents) {
  return add_var(name, Type::integer, p, 0, std::move(extents));
}
Group& Group::add(const std::string& name, double* p, std::vector<int> extents) {
  return add_var(name, Type::real, p, 0, std::move(extents));
}
Group& Group::add(const std::string& name, std::string* p, int len, std::vector<int> extents) {
  return add_var(name, Type::text, p, len, std::move(extents));
}

Group& Group::add_square(const std::string& name, double* p, int capacity, const int& order) {
  add_var(name, Type::real, p, 0, {capacity});
  vars_.back().order = &order;
  return *this;
}
Group& Group::add_square(const std::string& name, int* p, int capacity, const int& order) {
  add_var(name, Type::integer, p, 0, {capacity});
  vars_.back().order = &order;
  return *this;
}

const std::string* Group::name_of(const int* p) const {
  for (const auto& v : vars_)
    if (v.p == p) return &v.name;
  return nullptr;
}

const Group::Var* Group::find(const std::string& u) const {
  for (const auto& v : vars_)
    if (v.name == u) return &v;
  return nullptr;
}

// ------------------------------------------------------------------ reading

class GroupReader {
 public:
  GroupReader(Group& g, Unit& u) : g_(g), u_(u) {}

  void run() {
    g_.named_.clear();
    find_start();
    for (;;) {
      skip_space(true);
      char c = peek();
      if (c == '/') {
        ++pos_;
        return;
      }
      if (c == '&' || c == '$') {
        ++pos_;
        std::string w = upper(identifier());
        if (w == "END") return;
        fail("", "unexpected '" + std::string(1, c) + w + "' inside the group");
      }
      if (!ident_start(c)) {
        fail("", std::isprint(static_cast<unsigned char>(c))
                     ? std::string("unexpected character '") + c + "'"
                     : "unexpected character of code " + std::to_string(static_cast<unsigned char>(c)));
      }
      std::string name = upper(identifier());
      const Group::Var* v = g_.find(name);
      if (!v && !last_.empty() && (name == "NAN" || name == "INF" || name == "INFINITY")) {
        fail(last_, "'" + name + "' is not a value: every real number must be finite");
      }
      if (!v) fail(name, "the group has no variable of this name");
      last_ = name;
      if (std::find(g_.named_.begin(), g_.named_.end(), name) == g_.named_.end()) g_.named_.push_back(name);
      std::vector<int> seq = subscripts(*v);
      skip_space(false);
      if (peek() != '=') fail(name, "'=' expected after the name");
      ++pos_;
      values(*v, seq);
    }
  }

 private:
  [[noreturn]] void fail(const std::string& var, const std::string& why) const {
    std::string m = u_.where() + ", record " + std::to_string(u_.records_read()) + ", group &" + g_.name();
    if (!var.empty()) m += ", variable " + var;
    stop(m + ": " + why);
  }

  // The record that starts with &NAME; the text after the name opens the body.
  void find_start() {
    std::string rec;
    for (;;) {
      if (!u_.next_record(rec)) stop(u_.where() + ": group &" + g_.name() + " not found");
      size_t i = rec.find_first_not_of(" \t");
      if (i == std::string::npos || (rec[i] != '&' && rec[i] != '$')) continue;
      size_t j = i + 1;
      while (j < rec.size() && ident_char(rec[j])) ++j;
      if (upper(rec.substr(i + 1, j - i - 1)) == g_.name()) {
        text_ = rec.substr(j) + "\n";
        pos_ = 0;
        return;
      }
    }
  }

  // Make sure there is a character at pos_ (reads on into the next record).
  void fill() {
    while (pos_ >= text_.size()) {
      std::string rec;
      if (!u_.next_record(rec)) fail("", "end of file before the end of the group ('/')");
      text_ = rec + "\n";
      pos_ = 0;
    }
  }
  char peek() {
    fill();
    return text_[pos_];
  }
  void skip_space(bool commas) {
    for (;;) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || (commas && c == ',')) {
        ++pos_;
      } else if (c == '!') {
        pos_ = text_.find('\n', pos_);
      } else {
        return;
      }
    }
  }
  std::string identifier() {
    std::string s;
    while (pos_ < text_.size() && ident_char(text_[pos_])) s += text_[pos_++];
    return s;
  }
  int integer(const std::string& var) {
    skip_space(false);
    std::string s;
    if (peek() == '-' || peek() == '+') s += text_[pos_++];
    while (std::isdigit(static_cast<unsigned char>(peek()))) s += text_[pos_++];
    int v;
    if (!detail::parse_integer(s, v)) fail(var, "bad index");
    return v;
  }

  // Linear (0-based) element positions the values go to, in order.
  std::vector<int> subscripts(const Group::Var& v) {
    std::vector<int> seq;
    skip_space(false);
    int n = v.size();
    if (peek() != '(') {
      for (int k = 0; k < n; ++k) seq.push_back(k);
      return seq;
    }
    ++pos_;
    const std::vector<int> extents = addressed_extents(v);
    bool all_scalar = true;
    const std::vector<std::pair<int, int>> ranges = index_ranges(v, extents, all_scalar);
    auto linear = [&](const std::vector<int>& idx) {
      int l = 0, stride = 1;
      for (size_t d = 0; d < idx.size(); ++d) {
        l += (idx[d] - 1) * stride;
        stride *= extents[d];
      }
      return l;
    };
    std::vector<int> idx(ranges.size());
    for (size_t d = 0; d < ranges.size(); ++d) idx[d] = ranges[d].first;
    if (all_scalar) {
      // An element reference takes its value and, like a whole array, any
      // further values in storage order.
      for (int k = linear(idx); k < n; ++k) seq.push_back(k);
      return seq;
    }
    for (;;) {
      seq.push_back(linear(idx));
      size_t d = 0;
      for (; d < idx.size(); ++d) {
        if (idx[d] < ranges[d].second) {
          ++idx[d];
          break;
        }
        idx[d] = ranges[d].first;
      }
      if (d == idx.size()) break;
    }
    return seq;
  }

  // The extents the subscripts after '(' address: the storage's, or for a
  // square matrix addressed by two indices the order of the matrix the
  // program will use, not the capacity of the storage.
  std::vector<int> addressed_extents(const Group::Var& v) {
    std::vector<int> extents = v.extents;
    if (!v.order) return extents;
    size_t save = pos_;
    int depth = 0, commas = 0;
    for (size_t i = pos_; i < text_.size() && depth >= 0; ++i) {
      if (text_[i] == '(') ++depth;
      if (text_[i] == ')') --depth;
      if (text_[i] == ',' && depth == 0) ++commas;
    }
    pos_ = save;
    if (commas == 1) {
      const std::string* on = g_.name_of(v.order);
      int n = *v.order;
      if (n < 1 || static_cast<long long>(n) * n > v.extents[0]) {
        fail(v.name, "two indices address the matrix of order " + (on ? *on : std::string("n")) + ", which is " +
                         std::to_string(n) + " here; give " + (on ? *on : std::string("it")) + " first");
      }
      extents = {n, n};
    }
    return extents;
  }

  // The subscript list up to its ')': per dimension the range lo..hi (a
  // single index gives lo = hi); `all_scalar` stays true when no dimension
  // is a range.
  std::vector<std::pair<int, int>> index_ranges(const Group::Var& v, const std::vector<int>& extents,
                                                bool& all_scalar) {
    std::vector<std::pair<int, int>> ranges;
    for (;;) {
      size_t d = ranges.size();
      if (d >= extents.size()) fail(v.name, "too many indices");
      int ext = extents[d];
      skip_space(false);
      int lo = 1, hi = ext;
      bool range = false;
      if (peek() != ':') {
        lo = hi = integer(v.name);
      }
      skip_space(false);
      if (peek() == ':') {
        range = true;
        ++pos_;
        skip_space(false);
        hi = (peek() == ',' || peek() == ')') ? ext : integer(v.name);
      }
      all_scalar = all_scalar && !range;
      if (lo < 1 || hi > ext || (range && lo > hi) || (!range && (lo < 1 || lo > ext))) {
        fail(v.name, "index " + std::to_string(range ? (lo < 1 ? lo : hi) : lo) + " out of range 1.." +
                         std::to_string(ext) + " in dimension " + std::to_string(d + 1));
      }
      ranges.emplace_back(lo, hi);
      skip_space(false);
      if (peek() == ',') {
        ++pos_;
        continue;
      }
      if (peek() == ')') {
        ++pos_;
        break;
      }
      fail(v.name, "bad index list");
    }
    if (ranges.size() != extents.size()) {
      fail(v.name, "needs " + std::to_string(extents.size()) + " indices");
    }
    return ranges;
  }

  void values(const Group::Var& v, const std::vector<int>& seq) {
    size_t k = 0;
    bool expect = true;
    for (;;) {
      skip_space(false);
      char c = peek();
      if (c == ',') {
        if (expect) ++k;  // null value
        expect = true;
        ++pos_;
        continue;
      }
      if (c == '/' || c == '&' || c == '$') return;
      if (ident_start(c)) {
        if (k > 0 || !expect) return;  // the next name
        std::string word;
        for (size_t i = pos_; i < text_.size() && !std::isspace(static_cast<unsigned char>(text_[i])) &&
                              text_[i] != ',' && text_[i] != '/';
             ++i)
          word += text_[i];
        fail(v.name, v.type == Group::Type::text ? "a character value must be quoted: " + word
                                                 : "'" + word + "' is not a number");
      }
      // Optional repeat count.
      int rep = 1;
      size_t save = pos_;
      std::string digits;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) digits += text_[pos_++];
      if (!digits.empty() && pos_ < text_.size() && text_[pos_] == '*') {
        ++pos_;
        if (!detail::parse_repeat(digits, rep)) fail(v.name, "bad repeat count " + digits + " (1 to 2147483647)");
      } else {
        pos_ = save;
      }
      std::string tok;
      bool quoted = false;
      if (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '"')) {
        char q = text_[pos_++];
        quoted = true;
        for (;;) {
          if (pos_ >= text_.size()) fail(v.name, "unterminated character value");
          char x = text_[pos_++];
          if (x == '\n') fail(v.name, "unterminated character value");
          if (x == q) {
            if (pos_ < text_.size() && text_[pos_] == q) {
              tok += q;
              ++pos_;
              continue;
            }
            break;
          }
          tok += x;
        }
      } else {
        while (pos_ < text_.size()) {
          char x = text_[pos_];
          if (x == ' ' || x == '\t' || x == ',' || x == '/' || x == '\n' || x == '!' || x == '\r') break;
          tok += x;
          ++pos_;
        }
      }
      bool null_value = !quoted && tok.empty();
      for (int r = 0; r < rep; ++r, ++k) {
        if (k >= seq.size()) {
          fail(v.name, "too many values (the variable has " + std::to_string(v.size()) + " element" +
                           (v.size() == 1 ? "" : "s") + ")");
        }
        if (!null_value) {
          given_once(v, seq[k]);
          assign(v, seq[k], tok, quoted);
        }
      }
      expect = false;
    }
  }

  // With ReadRules::once, an element takes one value: a second one stops the
  // read naming both records.
  void given_once(const Group::Var& v, int at) {
    if (!g_.rules_.once) return;
    std::vector<long>& where = given_[&v];
    if (where.empty()) where.assign(static_cast<size_t>(v.size()), 0);
    const long now = u_.records_read();
    long& first = where[static_cast<size_t>(at)];
    if (first != 0) {
      const std::string element = v.size() == 1 ? v.name : v.name + "(" + std::to_string(at + 1) + ")";
      fail(v.name, element + " is given twice, in record " + std::to_string(first) + " and again in record " +
                       std::to_string(now) + "; group &" + g_.name() + " takes one value for it: remove one");
    }
    first = now;
  }

  void assign(const Group::Var& v, int at, const std::string& tok, bool quoted) {
    switch (v.type) {
      case Group::Type::integer: {
        int x;
        if (quoted || !detail::parse_integer(tok, x)) {
          fail(v.name, "'" + tok + "' is not an integer between -2147483648 and 2147483647");
        }
        static_cast<int*>(v.p)[at] = x;
        break;
      }
      case Group::Type::real: {
        double x;
        if (quoted || !detail::parse_real(tok, x)) {
          fail(v.name, "'" + tok + "' is not a real number within the range of double precision");
        }
        static_cast<double*>(v.p)[at] = x;
        break;
      }
      case Group::Type::text: {
        if (!quoted) fail(v.name, "a character value must be quoted: " + tok);
        if (tok.find('\0') != std::string::npos) fail(v.name, "a NUL character inside a character value");
        std::string t = trim_right(tok);
        if (static_cast<long>(g_.rules_.characters ? utf8_characters(t) : t.size()) > v.len) {
          fail(v.name, "'" + t + "' is longer than " + std::to_string(v.len) + " characters");
        }
        static_cast<std::string*>(v.p)[at] = t;
        break;
      }
    }
  }

  Group& g_;
  Unit& u_;
  std::string last_;                                      // the variable whose values were read last
  std::map<const Group::Var*, std::vector<long>> given_;  // ReadRules::once: the record of each element's value
  std::string text_;
  size_t pos_ = 0;
};

void Group::read(Unit& unit) { GroupReader(*this, unit).run(); }

// ------------------------------------------------------------------ writing

namespace {

std::string value_text(int type, const void* p, int at) {
  switch (type) {
    case 0:
      return std::to_string(static_cast<const int*>(p)[at]);
    case 1:
      return detail::real_text(static_cast<const double*>(p)[at]);
    default:
      return detail::quoted(static_cast<const std::string*>(p)[at]);
  }
}

}  // namespace

void Group::write(Unit& unit) const {
  unit.write_record("&" + name_);
  for (const auto& v : vars_) {
    std::string line = " " + v.name + " = ";
    const size_t indent = line.size();
    int n = v.size();
    int type = v.type == Type::integer ? 0 : v.type == Type::real ? 1 : 2;
    std::vector<std::string> items;
    for (int k = 0; k < n;) {
      std::string t = value_text(type, v.p, k);
      int r = 1;
      while (k + r < n && value_text(type, v.p, k + r) == t) ++r;
      items.push_back(r > 1 ? std::to_string(r) + "*" + t : t);
      k += r;
    }
    for (size_t i = 0; i < items.size(); ++i) {
      std::string piece = items[i] + ",";
      if (line.size() > indent && line.size() + piece.size() + 1 > 78) {
        unit.write_record(line);
        line = std::string(indent, ' ');
      } else if (line.size() > indent) {
        line += ' ';
      }
      line += piece;
    }
    unit.write_record(line);
  }
  unit.write_record(" /");
}

}  // namespace io

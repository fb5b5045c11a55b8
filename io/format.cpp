#include "io/format.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "io/stop.hpp"

namespace io {

struct Format::Node {
  enum Kind { group, int_, fixed, expo, alpha, skip, slash, text, dollar, colon };
  Kind kind = group;
  int rep = 1;
  int w = -1;
  int d = 0;
  int m = -1;
  char letter = 'E';
  std::string lit;
  std::vector<Node> children;
  bool is_data() const { return kind == int_ || kind == fixed || kind == expo || kind == alpha; }
};

namespace {

// ---------------------------------------------------------------- parsing

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  std::vector<Format::Node> parse_all() {
    skip_blanks();
    if (!eat('(')) fail("a format must start with '('");
    auto nodes = parse_list();
    if (!eat(')')) fail("missing ')'");
    skip_blanks();
    if (i_ != s_.size()) fail("text after the closing ')'");
    return nodes;
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw std::invalid_argument("format \"" + std::string(s_) + "\": " + why + " at column " + std::to_string(i_ + 1));
  }
  void skip_blanks() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
  }
  bool eat(char c) {
    skip_blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  char peek() {
    skip_blanks();
    return i_ < s_.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_]))) : '\0';
  }
  // A repeat count, width or decimal count; none is larger than a record.
  int number() {
    skip_blanks();
    if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return -1;
    int v = 0;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
      v = v * 10 + (s_[i_++] - '0');
      if (v > kMaxNumber) fail("a count above " + std::to_string(kMaxNumber));
    }
    return v;
  }
  int repeat() {
    int r = number();
    if (r == 0) fail("a zero repeat count");
    return r;
  }
  int width(char c) {
    int w = number();
    if (w < 1) fail(std::string(1, c) + " needs a width of at least 1");
    return w;
  }

  std::vector<Format::Node> parse_list() {
    if (++depth_ > kMaxDepth) fail("groups nested deeper than " + std::to_string(kMaxDepth));
    std::vector<Format::Node> nodes;
    for (;;) {
      char c = peek();
      if (c == ')' || c == '\0') {
        --depth_;
        return nodes;
      }
      if (c == ',') {
        ++i_;
        continue;
      }
      nodes.push_back(parse_item());
    }
  }

  Format::Node parse_item() {
    using N = Format::Node;
    N n;
    int rep = repeat();
    char c = peek();
    if (c == '(') {
      ++i_;
      n.kind = N::group;
      n.rep = rep < 0 ? 1 : rep;
      n.children = parse_list();
      if (!eat(')')) fail("missing ')'");
      return n;
    }
    if (c == '\'' || c == '"') {
      n.kind = N::text;
      n.lit = quoted_text();
      n.rep = rep < 0 ? 1 : rep;
      return n;
    }
    ++i_;
    switch (c) {
      case 'X':
        n.kind = N::skip;
        n.w = rep < 0 ? 1 : rep;
        return n;
      case '/':
        n.kind = N::slash;
        n.rep = rep < 0 ? 1 : rep;
        return n;
      case '$':
      case '\\':
        n.kind = N::dollar;
        return n;
      case ':':
        n.kind = N::colon;
        return n;
      case 'I':
      case 'F':
      case 'E':
      case 'D':
      case 'A':
        data_descriptor(c, rep, n);
        return n;
      default:
        fail(std::string("unknown edit descriptor '") + c + "'");
    }
  }

  // The text of a quoted literal, the opening quote already read; a doubled
  // quote stands for one.
  std::string quoted_text() {
    char q = s_[i_++];
    std::string lit;
    for (;;) {
      if (i_ >= s_.size()) fail("unterminated text");
      char x = s_[i_++];
      if (x == q) {
        if (i_ < s_.size() && s_[i_] == q) {
          lit += q;
          ++i_;
          continue;
        }
        break;
      }
      lit += x;
    }
    return lit;
  }

  // A data edit descriptor (Iw[.m], Fw.d, Ew.d, Dw.d, Aw), its letter `c`
  // already read, with repeat count `rep` (< 0: none given).
  void data_descriptor(char c, int rep, Format::Node& n) {
    using N = Format::Node;
    switch (c) {
      case 'I':
        n.kind = N::int_;
        n.rep = rep < 0 ? 1 : rep;
        n.w = width(c);
        if (eat('.')) {
          n.m = number();
          if (n.m < 0 || n.m > n.w) fail("I.m needs 0 <= m <= w");
        }
        return;
      case 'F':
      case 'E':
      case 'D':
        n.kind = c == 'F' ? N::fixed : N::expo;
        n.letter = c == 'D' ? 'D' : 'E';
        n.rep = rep < 0 ? 1 : rep;
        n.w = width(c);
        if (!eat('.')) fail(std::string(1, c) + " needs w.d");
        n.d = number();
        if (n.d < 0) fail("missing number of decimals");
        // An exponent field without a significant digit would read back as 0.
        if (n.kind == N::expo && n.d < 1) fail(std::string(1, c) + " needs at least one significant digit");
        return;
      case 'A':
        n.kind = N::alpha;
        n.rep = rep < 0 ? 1 : rep;
        n.w = number();
        if (n.w == 0) fail("A needs a width of at least 1");
        return;
      default:
        break;
    }
  }

  static constexpr int kMaxNumber = 9999;
  static constexpr int kMaxDepth = 16;
  std::string_view s_;
  size_t i_ = 0;
  int depth_ = 0;
};

// ---------------------------------------------------------------- output

struct WriteState {
  const std::vector<OutItem>& items;
  const std::string& fmt;
  size_t next = 0;
  std::string out;
  std::string line;
  int pending = 0;
  bool dollar = false;
  long steps = 0;
};

// Columns of one record, and characters of all the records one write
// makes; no write of the programs comes near either.
constexpr size_t kMaxRecord = 1000000;
constexpr size_t kMaxWrite = 64 * kMaxRecord;

// Pending blanks, then `field`, onto the record; a record or a write
// that outgrows its ceiling is refused before it fills memory.
void put(WriteState& s, const std::string& field) {
  const size_t grown = s.line.size() + static_cast<size_t>(s.pending) + field.size();
  if (grown > kMaxRecord) stop("format " + s.fmt + ": a record of more than 1000000 columns");
  if (s.out.size() + grown > kMaxWrite) stop("format " + s.fmt + ": one write of more than 64000000 characters");
  s.line.append(static_cast<size_t>(s.pending), ' ');
  s.pending = 0;
  s.line += field;
}

// Every descriptor a record passes costs a step.  The longest records of
// the programs take a few steps per item; a format whose nested repeat
// counts would run for ever (or fill memory with blanks) is refused.
long step_budget(size_t items) { return 1000000L + 100L * static_cast<long>(items); }

void count_step(long& steps, size_t items, const std::string& fmt) {
  if (++steps > step_budget(items)) stop("format " + fmt + ": its repeat counts make a record of unbounded length");
}

[[noreturn]] void item_mismatch(const WriteState& s, const char* want) {
  stop("format " + s.fmt + ": output item " + std::to_string(s.next + 1) + " is not " + want);
}

void emit(const Format::Node& n, WriteState& s) {
  const OutItem& it = s.items[s.next];
  std::string field;
  switch (n.kind) {
    case Format::Node::int_:
      if (!std::holds_alternative<long>(it)) item_mismatch(s, "an integer");
      field = edit_I(std::get<long>(it), n.w, n.m);
      break;
    case Format::Node::fixed:
    case Format::Node::expo: {
      double v;
      if (std::holds_alternative<double>(it))
        v = std::get<double>(it);
      else
        item_mismatch(s, "a real number");
      field = n.kind == Format::Node::fixed ? edit_F(v, n.w, n.d) : edit_E(v, n.w, n.d, n.letter);
      break;
    }
    case Format::Node::alpha:
      if (!std::holds_alternative<std::string>(it)) item_mismatch(s, "a character string");
      field = n.w < 0 ? std::get<std::string>(it) : edit_A(std::get<std::string>(it), n.w);
      break;
    default:
      break;
  }
  put(s, field);
  s.dollar = false;
  ++s.next;
}

void new_line(WriteState& s) {
  s.out += s.line;
  s.out += '\n';
  s.line.clear();
  s.pending = 0;
}

// Runs nodes[from..]; false when output stops for want of items.
bool run_write(const std::vector<Format::Node>& nodes, size_t from, WriteState& s) {
  for (size_t k = from; k < nodes.size(); ++k) {
    const Format::Node& n = nodes[k];
    for (int r = 0; r < n.rep; ++r) {
      count_step(s.steps, s.items.size(), s.fmt);
      switch (n.kind) {
        case Format::Node::group:
          if (!run_write(n.children, 0, s)) return false;
          break;
        case Format::Node::text:
          put(s, n.lit);
          break;
        case Format::Node::skip:
          s.pending += n.w;
          if (static_cast<size_t>(s.pending) > kMaxRecord) stop("format " + s.fmt + ": a record of more than 1000000 blank columns");
          break;
        case Format::Node::slash:
          new_line(s);
          break;
        case Format::Node::dollar:
          s.dollar = true;
          break;
        case Format::Node::colon:
          if (s.next >= s.items.size()) return false;
          break;
        default:
          if (s.next >= s.items.size()) return false;
          emit(n, s);
          break;
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------- input

struct ReadState {
  Unit& unit;
  const std::vector<InItem>& items;
  const std::string& fmt;
  size_t next = 0;
  std::string rec;
  size_t pos = 0;
  long steps = 0;
};

void next_record(ReadState& s) {
  s.rec = s.unit.record("a record of format " + s.fmt);
  s.pos = 0;
}

std::string take_field(ReadState& s, int w) {
  std::string f;
  if (s.pos < s.rec.size()) f = s.rec.substr(s.pos, static_cast<size_t>(w));
  s.pos += static_cast<size_t>(w);
  if (f.size() < static_cast<size_t>(w)) f.append(static_cast<size_t>(w) - f.size(), ' ');
  return f;
}

// A file that the programs wrote themselves holds every numeric field in
// full: a field that the record's end cuts short, or a blank one, is a
// truncated or damaged file, not a zero.
void check_whole_field(const ReadState& s, int w, const std::string& field) {
  if (!s.unit.whole_fields()) return;
  const size_t start = s.pos - static_cast<size_t>(w);
  if (start + static_cast<size_t>(w) > s.rec.size()) {
    s.unit.fail("the record ends inside the field of item " + std::to_string(s.next + 1) + " of format " + s.fmt +
                " (column " + std::to_string(start + 1) + " to " + std::to_string(start + static_cast<size_t>(w)) +
                "): the file is truncated");
  }
  if (field.find_first_not_of(' ') == std::string::npos) {
    s.unit.fail("a blank field where item " + std::to_string(s.next + 1) + " of format " + s.fmt +
                " expects a number (column " + std::to_string(start + 1) + ")");
  }
}

void read_item(const Format::Node& n, ReadState& s) {
  const InItem& it = s.items[s.next];
  auto bad = [&](const std::string& field, const char* what) {
    s.unit.fail("cannot read " + std::string(what) + " from the field '" + field + "' (item " +
                std::to_string(s.next + 1) + " of format " + s.fmt + ")");
  };
  switch (n.kind) {
    case Format::Node::int_: {
      std::string f = take_field(s, n.w);
      check_whole_field(s, n.w, f);
      long v;
      if (!parse_int_field(f, v)) bad(f, "an integer");
      if (auto p = std::get_if<int*>(&it)) {
        **p = static_cast<int>(v);
      } else if (auto q = std::get_if<double*>(&it)) {
        **q = static_cast<double>(v);
      } else {
        bad(f, "a character item with I");
      }
      break;
    }
    case Format::Node::fixed:
    case Format::Node::expo: {
      std::string f = take_field(s, n.w);
      check_whole_field(s, n.w, f);
      double v;
      if (!parse_real_field(f, n.d, v)) bad(f, "a finite real number");
      if (auto q = std::get_if<double*>(&it)) {
        **q = v;
      } else {
        bad(f, "a non-real item with F or E");
      }
      break;
    }
    case Format::Node::alpha: {
      auto p = std::get_if<std::string*>(&it);
      if (!p) s.unit.fail("format " + s.fmt + ": A for a numeric item");
      int w = n.w < 0 ? static_cast<int>(s.rec.size() > s.pos ? s.rec.size() - s.pos : 0) : n.w;
      **p = take_field(s, w);
      break;
    }
    default:
      break;
  }
  ++s.next;
}

bool run_read(const std::vector<Format::Node>& nodes, size_t from, ReadState& s) {
  for (size_t k = from; k < nodes.size(); ++k) {
    const Format::Node& n = nodes[k];
    for (int r = 0; r < n.rep; ++r) {
      count_step(s.steps, s.items.size(), s.fmt);
      switch (n.kind) {
        case Format::Node::group:
          if (!run_read(n.children, 0, s)) return false;
          break;
        case Format::Node::text:
          s.pos += n.lit.size();
          break;
        case Format::Node::skip:
          s.pos += static_cast<size_t>(n.w);
          break;
        case Format::Node::slash:
          next_record(s);
          break;
        case Format::Node::dollar:
          break;
        case Format::Node::colon:
          if (s.next >= s.items.size()) return false;
          break;
        default:
          if (s.next >= s.items.size()) return false;
          read_item(n, s);
          break;
      }
    }
  }
  return true;
}

bool contains_data(const std::vector<Format::Node>& nodes) {
  for (const auto& n : nodes) {
    if (n.is_data()) return true;
    if (n.kind == Format::Node::group && contains_data(n.children)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- items

namespace detail {
void push_item(std::vector<OutItem>& v, long x) { v.emplace_back(x); }
void push_item(std::vector<OutItem>& v, double x) { v.emplace_back(x); }
void push_item(std::vector<OutItem>& v, std::string x) { v.emplace_back(std::move(x)); }
}  // namespace detail

// ---------------------------------------------------------------- Format

Format::Format(std::string_view text) : text_(text), nodes_(new std::vector<Node>(Parser(text).parse_all())) {
  revert_ = 0;
  for (size_t k = 0; k < nodes_->size(); ++k)
    if ((*nodes_)[k].kind == Node::group) revert_ = k;
  has_data_ = contains_data(*nodes_);
}

Format::~Format() { delete nodes_; }
Format::Format(const Format& o)
    : text_(o.text_), nodes_(new std::vector<Node>(*o.nodes_)), revert_(o.revert_), has_data_(o.has_data_) {}
Format& Format::operator=(const Format& o) {
  if (this != &o) {
    *nodes_ = *o.nodes_;
    text_ = o.text_;
    revert_ = o.revert_;
    has_data_ = o.has_data_;
  }
  return *this;
}

std::string Format::write(const std::vector<OutItem>& items, bool* keep_open) const {
  WriteState s{items, text_, 0, {}, {}, 0, false, 0};
  size_t from = 0;
  for (;;) {
    if (!run_write(*nodes_, from, s)) break;
    if (s.next >= items.size()) break;
    if (!has_data_) stop("format " + text_ + " has no edit descriptor for its output items");
    new_line(s);  // format reversion
    from = revert_;
  }
  if (keep_open) *keep_open = s.dollar;
  return s.out + s.line;
}

void Format::read(Unit& unit, const std::vector<InItem>& items) const {
  ReadState s{unit, items, text_, 0, {}, 0, 0};
  next_record(s);
  size_t from = 0;
  for (;;) {
    if (!run_read(*nodes_, from, s)) break;
    if (s.next >= items.size()) break;
    if (!has_data_) stop("format " + text_ + " has no edit descriptor for its input items");
    next_record(s);
    from = revert_;
  }
}

// ---------------------------------------------------------------- fields

std::string edit_I(long v, int w, int m) {
  std::string digits = std::to_string(v < 0 ? -static_cast<long long>(v) : static_cast<long long>(v));
  if (m >= 0 && static_cast<int>(digits.size()) < m) digits.insert(0, static_cast<size_t>(m) - digits.size(), '0');
  if (m == 0 && v == 0) digits.clear();
  if (v < 0) digits.insert(0, 1, '-');
  if (static_cast<int>(digits.size()) > w) return std::string(static_cast<size_t>(w), '*');
  return std::string(static_cast<size_t>(w) - digits.size(), ' ') + digits;
}

namespace {
std::string right_justify(std::string s, int w) {
  if (static_cast<int>(s.size()) > w) return std::string(static_cast<size_t>(w), '*');
  return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

// snprintf into a string of the length the conversion needs.
std::string printed(const char* f, int digits, double v) {
  const int n = std::snprintf(nullptr, 0, f, digits, v);
  std::string s(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
  std::snprintf(s.data(), s.size(), f, digits, v);
  s.pop_back();
  return s;
}

std::string non_finite(double v, int w) {
  if (std::isnan(v)) return right_justify("NaN", w);
  std::string s = std::signbit(v) ? "-" : (w > 8 ? "+" : "");
  s += w >= 9 ? "Infinity" : "Inf";
  return right_justify(s, w);
}
}  // namespace

std::string edit_F(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  std::string s = printed("%.*f", d, std::fabs(v));
  if (d == 0) s += '.';
  std::string sign = std::signbit(v) ? "-" : "";
  if (static_cast<int>(sign.size() + s.size()) > w && s.size() > 1 && s[0] == '0' && s[1] == '.') s.erase(0, 1);
  // A field without a digit ("." or "-.") would not read back.
  if (s.find_first_of("0123456789") == std::string::npos) return std::string(static_cast<size_t>(w), '*');
  return right_justify(sign + s, w);
}

std::string edit_E(double v, int w, int d, char letter) {
  if (!std::isfinite(v)) return non_finite(v, w);
  std::string digits;
  int exp10 = 0;
  if (v == 0.0) {
    digits.assign(static_cast<size_t>(d), '0');
  } else {
    // d significant digits, correctly rounded: x = 0.digits * 10^exp10.
    const std::string t = printed("%.*e", d > 0 ? d - 1 : 0, std::fabs(v));
    size_t e = t.find('e');
    for (size_t k = 0; k < e; ++k)
      if (std::isdigit(static_cast<unsigned char>(t[k]))) digits += t[k];
    if (d == 0) digits.clear();
    exp10 = std::atoi(t.c_str() + e + 1) + 1;
  }
  std::string ex;
  int ae = exp10 < 0 ? -exp10 : exp10;
  char sgn = exp10 < 0 ? '-' : '+';
  char buf[16];
  if (ae <= 99) {
    std::snprintf(buf, sizeof buf, "%c%c%02d", letter, sgn, ae);
  } else if (ae <= 999) {
    std::snprintf(buf, sizeof buf, "%c%03d", sgn, ae);
  } else {
    return std::string(static_cast<size_t>(w), '*');
  }
  ex = buf;
  std::string sign = std::signbit(v) ? "-" : "";
  std::string s = sign + "0." + digits + ex;
  if (static_cast<int>(s.size()) > w && !digits.empty()) s = sign + "." + digits + ex;
  return right_justify(s, w);
}

std::string edit_A(std::string_view s, int w) {
  if (static_cast<int>(s.size()) >= w) return std::string(s.substr(0, static_cast<size_t>(w)));
  return std::string(static_cast<size_t>(w) - s.size(), ' ') + std::string(s);
}

bool parse_int_field(std::string_view field, long& value) {
  std::string t;
  for (char c : field)
    if (c != ' ') t += c;
  if (t.empty()) {
    value = 0;
    return true;
  }
  size_t i = 0;
  bool neg = false;
  if (t[i] == '+' || t[i] == '-') neg = t[i++] == '-';
  if (i >= t.size()) return false;
  long v = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    v = v * 10 + (t[i] - '0');
    if (v > 2147483647L) return false;
  }
  value = neg ? -v : v;
  return true;
}

// A real field as the standard runtime reads it: blanks ignored, an
// optional sign, digits with at most one point, then an exponent (E, D or Q
// and a signed integer, or a sign and an integer alone); without a point the
// last d digits are the fraction.  The digits are gathered in a buffer on
// the stack (a string only for a field longer than it) and converted once,
// correctly rounded (std::from_chars): the channel files hold millions of
// such fields.
bool parse_real_field(std::string_view field, int d, double& value) {
  constexpr size_t kBuffer = 128;
  char buf[kBuffer];
  size_t n = 0;
  std::string spill;  // the text once it outgrows buf
  auto put = [&](char c) {
    if (spill.empty() && n < kBuffer - 1) {
      buf[n++] = c;
      return;
    }
    if (spill.empty()) spill.assign(buf, n);
    spill += c;
  };
  size_t i = 0;
  auto next = [&]() {
    while (i < field.size() && field[i] == ' ') ++i;
    return i < field.size();
  };
  if (!next()) {
    value = 0.0;
    return true;
  }
  if (field[i] == '+' || field[i] == '-') {
    if (field[i] == '-') put('-');
    ++i;
  }
  bool point = false, any = false;
  for (; next(); ++i) {
    const char c = field[i];
    if (c >= '0' && c <= '9') {
      put(c);
      any = true;
    } else if (c == '.' && !point) {
      put('.');
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  long exp10 = 0;
  if (next()) {
    const char c = field[i];
    if (c == 'E' || c == 'D' || c == 'Q' || c == 'e' || c == 'd' || c == 'q')
      ++i;
    else if (c != '+' && c != '-')
      return false;
    bool neg = false;
    if (next() && (field[i] == '+' || field[i] == '-')) neg = field[i++] == '-';
    if (!next()) return false;
    for (; next(); ++i) {
      if (field[i] < '0' || field[i] > '9') return false;
      exp10 = exp10 * 10 + (field[i] - '0');
      if (exp10 > 100000) return false;
    }
    if (neg) exp10 = -exp10;
  }
  if (!point) exp10 -= d;  // implied decimal point
  // The exponent as text, without snprintf: the format engine behind it
  // cost more than the conversion itself.
  char exponent[24];
  const std::to_chars_result er = std::to_chars(exponent, exponent + sizeof exponent, exp10);
  put('e');
  for (const char* e = exponent; e != er.ptr; ++e) put(*e);
  put('\0');
  const char* text = spill.empty() ? buf : spill.c_str();
  const size_t len = (spill.empty() ? n : spill.size()) - 1;
  double x = 0.0;
  const std::from_chars_result r = std::from_chars(text, text + len, x);
  // Out of range (an overflow, or an underflow that strtod takes to a
  // subnormal or zero): strtod decides, as it always did.
  if (r.ec == std::errc::result_out_of_range) {
    x = std::strtod(text, nullptr);
  } else if (r.ec != std::errc() || r.ptr != text + len) {
    return false;
  }
  if (!std::isfinite(x)) return false;  // beyond double precision
  value = x;
  return true;
}

}  // namespace io

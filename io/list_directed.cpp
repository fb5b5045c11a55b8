#include "io/list_directed.hpp"

#include <cctype>
#include <cstdio>
#include <string>

#include "io/value_text.hpp"

namespace io {

std::string list_text(const std::vector<OutItem>& items) {
  std::string s;
  for (const auto& it : items) {
    if (auto p = std::get_if<long>(&it)) {
      char b[32];
      std::snprintf(b, sizeof b, " %11ld", *p);
      s += b;
    } else if (auto q = std::get_if<double>(&it)) {
      std::string t = detail::real_text(*q);
      if (t.size() < 24) t.insert(0, 24 - t.size(), ' ');
      s += ' ';
      s += t;
    } else {
      s += ' ';
      s += std::get<std::string>(it);
    }
  }
  return s;
}

namespace {

bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

void assign(Unit& u, const InItem& it, std::string_view tok, bool was_quoted) {
  if (auto p = std::get_if<std::string*>(&it)) {
    if (tok.find('\0') != std::string_view::npos) u.fail("a NUL character inside a character value");
    **p = std::string(tok);
    return;
  }
  if (was_quoted) u.fail("a quoted string where a number is expected: '" + std::string(tok) + "'");
  if (auto p = std::get_if<int*>(&it)) {
    int v;
    if (!detail::parse_integer(tok, v)) {
      u.fail("cannot read an integer from '" + std::string(tok) +
             "' (integers lie between -2147483648 and 2147483647)");
    }
    **p = v;
  } else if (auto q = std::get_if<double*>(&it)) {
    double v;
    if (!detail::parse_real(tok, v)) {
      u.fail("cannot read a finite real number of double precision from '" + std::string(tok) + "'");
    }
    **q = v;
  }
}

}  // namespace

void list_read(Unit& u, const std::vector<InItem>& items) {
  size_t k = 0;
  std::string rec;
  size_t pos = 0;
  bool have = false;
  bool expect_value = true;
  while (k < items.size()) {
    if (!have || pos >= rec.size()) {
      rec = u.record("list-directed input");
      pos = 0;
      have = true;
    }
    while (pos < rec.size() && (rec[pos] == ' ' || rec[pos] == '\t')) ++pos;
    if (pos >= rec.size()) continue;
    char c = rec[pos];
    if (c == ',') {
      if (expect_value) ++k;  // null value: the item keeps its value
      expect_value = true;
      ++pos;
      continue;
    }
    if (c == '/') return;
    std::string tok;
    bool was_quoted = false;
    // A repeat count may precede a quoted string.
    size_t start = pos;
    while (pos < rec.size() && std::isdigit(static_cast<unsigned char>(rec[pos]))) ++pos;
    std::string prefix;
    if (pos < rec.size() && rec[pos] == '*' && pos > start) {
      prefix = rec.substr(start, pos - start + 1);
      ++pos;
    } else {
      pos = start;
    }
    if (pos < rec.size() && (rec[pos] == '\'' || rec[pos] == '"')) {
      char q = rec[pos++];
      was_quoted = true;
      for (;;) {
        if (pos >= rec.size()) u.fail("unterminated character value");
        char x = rec[pos++];
        if (x == q) {
          if (pos < rec.size() && rec[pos] == q) {
            tok += q;
            ++pos;
            continue;
          }
          break;
        }
        tok += x;
      }
    } else {
      while (pos < rec.size() && !is_sep(rec[pos])) tok += rec[pos++];
    }
    std::string_view rest = tok;
    int r = 1;
    if (!prefix.empty()) {
      if (!detail::parse_repeat(std::string_view(prefix).substr(0, prefix.size() - 1), r)) {
        u.fail("bad repeat count '" + prefix + "' (1 to 2147483647)");
      }
    } else if (!was_quoted) {
      int rr = detail::repeat_count(tok, rest);
      if (rr < 0) u.fail("bad repeat count in '" + tok + "' (1 to 2147483647)");
      if (rr > 0) r = rr;
    }
    bool null_value = !was_quoted && rest.empty();
    for (int j = 0; j < r && k < items.size(); ++j, ++k)
      if (!null_value) assign(u, items[k], rest, was_quoted);
    expect_value = false;
  }
}

}  // namespace io

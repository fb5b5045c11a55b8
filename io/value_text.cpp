#include "io/value_text.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace io::detail {

std::string real_text(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  size_t e = s.find('e');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string ex = e == std::string::npos ? "" : s.substr(e + 1);
  if (mant.find('.') == std::string::npos) mant += ".0";
  if (!ex.empty()) {
    int x = std::atoi(ex.c_str());
    char b[16];
    std::snprintf(b, sizeof b, "E%+03d", x);
    mant += b;
  }
  return mant;
}

std::string quoted(std::string_view s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\0') break;
    q += c;
    if (c == '\'') q += '\'';
  }
  // Trailing blanks of a fixed-length character value carry no content.
  while (q.size() > 1 && q.back() == ' ') q.pop_back();
  return q + "'";
}

bool parse_integer(std::string_view t, int& v) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i >= t.size()) return false;
  long long x = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    x = x * 10 + (t[i] - '0');
    if (x > 2147483648LL) return false;
  }
  if (neg) x = -x;
  if (x > 2147483647LL || x < -2147483648LL) return false;
  v = static_cast<int>(x);
  return true;
}

bool parse_real(std::string_view t, double& v) {
  std::string s;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
      s += c;
    } else if (c == '.' && !point) {
      point = true;
      s += c;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < t.size()) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
    if (c == 'E' || c == 'D' || c == 'Q') {
      ++i;
    } else if (c != '+' && c != '-') {
      return false;
    }
    s += 'e';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
    if (i >= t.size()) return false;
    for (; i < t.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
      s += t[i];
    }
  }
  char* end = nullptr;
  const double x = std::strtod(s.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(x)) return false;
  v = x;
  return true;
}

bool parse_repeat(std::string_view digits, int& r) {
  if (digits.empty()) return false;
  long long x = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    x = x * 10 + (c - '0');
    if (x > 2147483647LL) return false;
  }
  if (x == 0) return false;
  r = static_cast<int>(x);
  return true;
}

int repeat_count(std::string_view tok, std::string_view& rest) {
  size_t star = tok.find('*');
  rest = tok;
  if (star == std::string_view::npos || star == 0) return 0;
  for (size_t k = 0; k < star; ++k)
    if (!std::isdigit(static_cast<unsigned char>(tok[k]))) return 0;
  int r = 0;
  rest = tok.substr(star + 1);
  return parse_repeat(tok.substr(0, star), r) ? r : -1;
}

}  // namespace io::detail

// Values as list-directed and named-group records write them: numbers and
// quoted strings, shared by `list_directed` and `namelist`.
#pragma once

#include <string>
#include <string_view>

namespace io::detail {

// Shortest text that reads back to exactly `v` (always with a decimal point
// or an exponent, so that it reads as a real).
std::string real_text(double v);
// 'text' with embedded quotes doubled.
std::string quoted(std::string_view s);

// Parse a whole token as a Fortran integer or real constant (a real may use
// E, D or Q for its exponent, or none).  False when the token is not one, or
// when its value does not fit: an integer outside the range of int, a real
// that overflows double precision (a NaN or an infinity is never a value of
// these programs' input).
bool parse_integer(std::string_view tok, int& v);
bool parse_real(std::string_view tok, double& v);

// The repeat count r of "r*value" from its digits: false when it is zero or
// does not fit an int.
bool parse_repeat(std::string_view digits, int& r);

// Split a leading repeat count "r*" off a value token: returns r (0 when
// there is none, -1 when the count is zero or does not fit an int) and leaves
// the rest of the token in `rest`.
int repeat_count(std::string_view tok, std::string_view& rest);

}  // namespace io::detail

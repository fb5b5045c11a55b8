// Values as list-directed and named-group records write them: numbers and
// quoted strings, shared by `listdir` and `namelist`.
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
// E, D or Q for its exponent, or none).  False when the token is not one.
bool parse_integer(std::string_view tok, int& v);
bool parse_real(std::string_view tok, double& v);

// Split a leading repeat count "r*" off a value token: returns r (0 when
// there is none) and leaves the rest of the token in `rest`.
int repeat_count(std::string_view tok, std::string_view& rest);

}  // namespace io::detail

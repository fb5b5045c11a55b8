#include "scf/answers.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "io/console.hpp"
#include "io/stop.hpp"

namespace scf {

std::vector<double> ask_reals(std::string_view question, int count, std::string_view why) {
  io::console().line(question);
  std::vector<double> values;
  while (static_cast<int>(values.size()) < count) {
    std::string line = io::console().answer(question, why);
    for (char& c : line) {
      if (c == ',') c = ' ';
      if (c == 'D' || c == 'd') c = 'E';
    }
    const char* p = line.c_str();
    while (static_cast<int>(values.size()) < count) {
      while (*p == ' ' || *p == '\t') ++p;
      if (*p == '\0') break;
      char* end = nullptr;
      errno = 0;
      double v = std::strtod(p, &end);
      if (end == p || errno == ERANGE || !std::isfinite(v) || (*end != '\0' && *end != ' ' && *end != '\t')) {
        io::stop("the answer '" + line + "' to \"" + std::string(question) + "\" is not a number");
      }
      values.push_back(v);
      p = end;
    }
  }
  return values;
}

double ask_real(std::string_view question, std::string_view why) { return ask_reals(question, 1, why)[0]; }

int ask_integer(std::string_view question, std::string_view why) {
  double v = ask_real(question, why);
  if (v != std::floor(v) || std::fabs(v) > 1.0e9) {
    io::stop("the answer to \"" + std::string(question) + "\" must be a whole number");
  }
  return static_cast<int>(v);
}

}  // namespace scf

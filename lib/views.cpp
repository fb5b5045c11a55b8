#include "lib/views.hpp"

#include <cstdio>
#include <cstdlib>

namespace lib {

void bounds_failure(const char* what, long index, long lo, long hi, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: %s %ld outside %ld .. %ld\n", file, line, what, index, lo, hi);
  std::abort();
}

}  // namespace lib

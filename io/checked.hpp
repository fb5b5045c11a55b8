// Sizes computed from input counts, in 64 bits and checked: a product of
// counts near the range of int must be refused, never wrap round into a
// size that passes a limit.
#pragma once

#include <initializer_list>

namespace io {

// The product of non-negative factors, or -1 when a factor is negative or
// the product does not fit a long long.
inline long long checked_product(std::initializer_list<long long> factors) {
  long long p = 1;
  for (long long f : factors) {
    if (f < 0 || __builtin_mul_overflow(p, f, &p)) return -1;
  }
  return p;
}

}  // namespace io

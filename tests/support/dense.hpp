// A column-major matrix that owns its storage, 1-based like the library's
// views, for the tests' reference computations.
#pragma once

#include <cstddef>
#include <vector>

#include "lib/views.hpp"

namespace ref {

// An n × m column-major matrix with its own storage, 1-based like the views.
template <class T>
struct Dense {
  int n = 0, m = 0;
  std::vector<T> a;
  Dense() = default;
  Dense(int rows, int cols, T v = T{}) : n(rows), m(cols), a(static_cast<size_t>(rows) * cols, v) {}
  T& operator()(int i, int j) { return a[static_cast<size_t>(j - 1) * n + (i - 1)]; }
  const T& operator()(int i, int j) const { return a[static_cast<size_t>(j - 1) * n + (i - 1)]; }
  lib::MatView<T> view() { return lib::MatView<T>(a.data(), n, m); }
  lib::MatView<const T> cview() const { return lib::MatView<const T>(a.data(), n, m); }
};

}  // namespace ref

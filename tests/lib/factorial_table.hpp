// The factorial table of the photoionisation build (0! … 80!), made once by
// fill_factorials and shared by the tests that need angular coefficients.
#pragma once

#include <vector>

#include "lib/angular_coefficients.hpp"

namespace testfac {

inline const std::vector<double>& factorials() {
  static const std::vector<double> f = [] {
    std::vector<double> v(81);
    lib::fill_factorials(80, lib::VecView<double, 0>(v.data(), 81));
    return v;
  }();
  return f;
}

inline lib::Fac F() { return lib::Fac(factorials().data(), 81); }

}  // namespace testfac

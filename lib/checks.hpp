// Capacity and consistency checks of the kernels.
//
// The kernels work on fixed tables and on slices of the caller's workspace.
// Data that would not fit, or that would make a kernel divide by zero or
// address outside its arrays, stop the run with a message naming the routine
// and the offending values, before anything is written.
#pragma once

#include <sstream>
#include <string>

#include "io/stop.hpp"

namespace lib::detail {

// Stop the run with the concatenated parts as the message.
template <class... A>
[[noreturn]] void fail(const A&... parts) {
  std::ostringstream s;
  (s << ... << parts);
  io::stop(s.str());
}

}  // namespace lib::detail

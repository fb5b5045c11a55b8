// The one workspace of a program run: NUV double words, zero at the start,
// handed out as named slices by the partition table of the entry routine.
#pragma once

#include <vector>

#include "lib/views.hpp"

namespace lib {

class Workspace {
 public:
  explicit Workspace(long nuv) : v_(static_cast<size_t>(nuv), 0.0) {}
  long size() const { return static_cast<long>(v_.size()); }
  // Word V(k), k from 1.
  double& operator()(long k) {
    SUITE_CHECK_INDEX("workspace word", k, 1, size());
    return v_[static_cast<size_t>(k - 1)];
  }
  // V(start) … V(start+length−1).
  Vec slice(long start, long length) {
    SUITE_CHECK_INDEX("slice start", start, 1, size() + 1);
    SUITE_CHECK_INDEX("slice end", start + length - 1, 0, size());
    return Vec(v_.data() + (start - 1), static_cast<int>(length));
  }
  // V(start) … as a rows × cols column-major matrix.
  Mat matrix(long start, int rows, int cols) {
    Vec s = slice(start, static_cast<long>(rows) * cols);
    return Mat(s.data(), rows, cols);
  }

 private:
  std::vector<double> v_;
};

}  // namespace lib

// The one workspace of a program run: NUV double words, zero at the start,
// handed out as named slices by the partition table of the entry routine.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "lib/views.hpp"

namespace lib {

class Workspace {
 public:
  // calloc: the pages of a large workspace come zero from the system when
  // first touched, so that words the run never uses cost nothing and none
  // is zeroed ahead of use (a profile of the check's xsect, 12.6 GB, gave a
  // quarter of its first 200 s to zeroing the whole workspace at once).
  explicit Workspace(long nuv)
      : n_(static_cast<size_t>(std::max(nuv, 0L))),
        v_(static_cast<double*>(std::calloc(std::max<size_t>(n_, 1), sizeof(double))), &std::free) {
    if (!v_) throw std::bad_alloc();
  }
  long size() const { return static_cast<long>(n_); }
  // Word V(k), k from 1.
  double& operator()(long k) {
    SUITE_CHECK_INDEX("workspace word", k, 1, size());
    return v_.get()[k - 1];
  }
  // V(start) … V(start+length−1).
  Vec slice(long start, long length) {
    SUITE_CHECK_INDEX("slice start", start, 1, size() + 1);
    SUITE_CHECK_INDEX("slice end", start + length - 1, 0, size());
    return Vec(v_.get() + (start - 1), static_cast<int>(length));
  }
  // V(start) … as a rows × cols column-major matrix.
  Mat matrix(long start, int rows, int cols) {
    Vec s = slice(start, static_cast<long>(rows) * cols);
    return Mat(s.data(), rows, cols);
  }

 private:
  size_t n_;
  std::unique_ptr<double, decltype(&std::free)> v_;
};

}  // namespace lib

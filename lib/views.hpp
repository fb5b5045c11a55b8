// Non-owning 1-based views over caller storage.
//
// The routines of the suite are written in the index notation of their
// formulas: X(i, k) is grid point i of partial wave k, PD(i, q, p) couples
// wave q into the equation of wave p.  These views give that notation over a
// slice of the workspace or a fixed table without any offset arithmetic at
// the call site.  Matrices are column-major.  Index checks are compiled into
// debug builds (NDEBUG not defined) and cost nothing in release builds.
#pragma once

#include <cstddef>
#include <type_traits>

namespace lib {

[[noreturn]] void bounds_failure(const char* what, long index, long lo, long hi, const char* file, int line);

#ifdef NDEBUG
#define SUITE_CHECK_INDEX(what, i, lo, hi) ((void)0)
#else
#define SUITE_CHECK_INDEX(what, i, lo, hi) \
  (((i) >= (lo) && (i) <= (hi)) ? (void)0 : ::lib::bounds_failure(what, (i), (lo), (hi), __FILE__, __LINE__))
#endif

// Vector with indices first .. first+n-1 (first is 1 for ordinary vectors and
// 0 for the factorial table).
template <class T, int First = 1>
class VecView {
 public:
  VecView() = default;
  VecView(T* p, int n) : p_(p), n_(n) {}
  // A view of non-const data converts to a view of const data.
  template <class U, class = std::enable_if_t<std::is_same_v<const U, T> && !std::is_same_v<U, T>>>
  VecView(const VecView<U, First>& v) : p_(v.data()), n_(v.size()) {}

  T& operator()(int i) const {
    SUITE_CHECK_INDEX("vector index", i, First, First + n_ - 1);
    return p_[i - First];
  }
  int size() const { return n_; }
  T* data() const { return p_; }
  // Pointer to element i; i may be one past the end (an empty tail).
  T* ptr(int i) const {
    SUITE_CHECK_INDEX("vector index", i, First, First + n_);
    return p_ + (i - First);
  }
  // Elements i .. i+len-1 as a new view with the same lower index.
  VecView sub(int i, int len) const {
    SUITE_CHECK_INDEX("slice start", i, First, First + n_);
    SUITE_CHECK_INDEX("slice length", len, 0, n_ - (i - First));
    return VecView(p_ + (i - First), len);
  }
  // Elements i .. end.
  VecView from(int i) const { return sub(i, n_ - (i - First)); }

  T* begin() const { return p_; }
  T* end() const { return p_ + n_; }

 private:
  T* p_ = nullptr;
  int n_ = 0;
};

// Column-major matrix with m rows (the leading dimension) and n columns.
template <class T>
class MatView {
 public:
  MatView() = default;
  MatView(T* p, int m, int n) : p_(p), m_(m), n_(n) {}
  template <class U, class = std::enable_if_t<std::is_same_v<const U, T> && !std::is_same_v<U, T>>>
  MatView(const MatView<U>& a) : p_(a.data()), m_(a.rows()), n_(a.cols()) {}

  T& operator()(int i, int j) const {
    SUITE_CHECK_INDEX("row index", i, 1, m_);
    SUITE_CHECK_INDEX("column index", j, 1, n_);
    return p_[static_cast<std::ptrdiff_t>(j - 1) * m_ + (i - 1)];
  }
  int rows() const { return m_; }
  int cols() const { return n_; }
  T* data() const { return p_; }
  // Column j as a vector of m entries.
  VecView<T> col(int j) const {
    SUITE_CHECK_INDEX("column index", j, 1, n_);
    return VecView<T>(p_ + static_cast<std::ptrdiff_t>(j - 1) * m_, m_);
  }
  // Columns j .. j+k-1 as a matrix (the Fortran idiom of passing X(1, j)).
  MatView colsFrom(int j, int k) const {
    SUITE_CHECK_INDEX("first column", j, 1, n_ + 1);
    SUITE_CHECK_INDEX("column count", k, 0, n_ - (j - 1));
    return MatView(p_ + static_cast<std::ptrdiff_t>(j - 1) * m_, m_, k);
  }
  // Columns j .. end.
  MatView colsFrom(int j) const { return colsFrom(j, n_ - (j - 1)); }
  // All m*n words as one vector (storage order).
  VecView<T> flat() const { return VecView<T>(p_, m_ * n_); }

 private:
  T* p_ = nullptr;
  int m_ = 0;
  int n_ = 0;
};

// Three-index array A(n1, n2, n3), first index fastest.
template <class T>
class Arr3View {
 public:
  Arr3View() = default;
  Arr3View(T* p, int n1, int n2, int n3) : p_(p), n1_(n1), n2_(n2), n3_(n3) {}
  template <class U, class = std::enable_if_t<std::is_same_v<const U, T> && !std::is_same_v<U, T>>>
  Arr3View(const Arr3View<U>& a) : p_(a.data()), n1_(a.extent(1)), n2_(a.extent(2)), n3_(a.extent(3)) {}

  T& operator()(int i, int j, int k) const {
    SUITE_CHECK_INDEX("first index", i, 1, n1_);
    SUITE_CHECK_INDEX("second index", j, 1, n2_);
    SUITE_CHECK_INDEX("third index", k, 1, n3_);
    return p_[(static_cast<std::ptrdiff_t>(k - 1) * n2_ + (j - 1)) * n1_ + (i - 1)];
  }
  int extent(int d) const { return d == 1 ? n1_ : d == 2 ? n2_ : n3_; }
  T* data() const { return p_; }
  // The column A(·, j, k).
  VecView<T> col(int j, int k) const { return VecView<T>(&(*this)(1, j, k), n1_); }
  VecView<T> flat() const { return VecView<T>(p_, n1_ * n2_ * n3_); }

 private:
  T* p_ = nullptr;
  int n1_ = 0, n2_ = 0, n3_ = 0;
};

using Vec = VecView<double>;
using CVec = VecView<const double>;
using IVec = VecView<int>;
using CIVec = VecView<const int>;
using Mat = MatView<double>;
using CMat = MatView<const double>;
using IMat = MatView<int>;
using CIMat = MatView<const int>;
using Arr3 = Arr3View<double>;
using CArr3 = Arr3View<const double>;
// Factorial table F(0:N), F(n) = n!.
using Fac = VecView<const double, 0>;

}  // namespace lib

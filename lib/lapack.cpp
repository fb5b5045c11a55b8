// The thread count of the BLAS beneath LAPACK, set through OpenBLAS's own
// entry points when they are linked.
#include "lib/lapack.hpp"

#include <dlfcn.h>

namespace lib {

int set_blas_threads(int n) {
  using get_fn = int (*)();
  using set_fn = void (*)(int);
  auto get = reinterpret_cast<get_fn>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
  auto set = reinterpret_cast<set_fn>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"));
  if (get == nullptr || set == nullptr) return 0;
  const int old = get();
  set(n);
  return old;
}

}  // namespace lib

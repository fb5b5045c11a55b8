// The LAPACK routines the channel solver calls (dgetrf_, dgetrs_) and the
// thread count of the BLAS beneath: one set of declarations for the suite.
#pragma once

#include "photo/kernels/lapack.hpp"

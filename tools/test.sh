#!/usr/bin/env bash
# Builds the suite and runs every test, in four steps, each timed:
#   1. the release build and all its tests;
#   2. the tests that call LAPACK and BLAS (label blas) again under two other
#      kernels of OpenBLAS, as other processors pick them (BLAS_KERNELS);
#   3. a build under AddressSanitizer and UndefinedBehaviorSanitizer (the
#      libraries at -O1, the tests' own code at -O0, line tables only for the
#      reports' file and line) and all its tests but the slow ones (label
#      slow), whose code the others run on smaller cases;
#   4. tools/fuzz.sh: the readers fuzzed for FUZZ_SECONDS seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
# ctest runs two tests at a time, and the OpenMP threads of both (and of the
# programs a test runs side by side) share the cores: a thread that spins
# while it waits takes a core from another test.  Waiting threads sleep
# instead; the results do not depend on it.
export OMP_WAIT_POLICY=${OMP_WAIT_POLICY:-passive}

# Runs a step and prints its wall time and the processor time of all it ran.
timed() {
  local name=$1 t0=$SECONDS c0
  shift
  child_cpu
  c0=$cpu
  "$@"
  child_cpu
  echo "time: $name $((SECONDS - t0)) s ($((cpu - c0)) s of processor time)"
}
# Sets cpu to the user + system seconds of this shell's finished children.
# `times` runs in this shell (a command substitution would see a subshell's
# children, none); its second line holds the children's times.
child_cpu() {
  local f
  f=$(mktemp)
  times >"$f"
  cpu=$(tail -1 "$f" | awk '{ s = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); s += 60 * t[1] + t[2] } printf "%d", s }')
  rm -f "$f"
}

release() {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build/release -j"$jobs"
  ctest --test-dir build/release --output-on-failure -j"$jobs"
}

# OpenBLAS built for several processors (DYNAMIC_ARCH, as Debian's is) picks
# its kernels at run time, and OPENBLAS_CORETYPE overrides the pick: the last
# bits of every LAPACK result, and of anything threaded, are the kernel's.
# BLAS_KERNELS names the kernels (none: skip); by default the first two this
# processor can run of a list by architecture, leaving out its own.  The
# first runs with two BLAS and OpenMP threads, the others with one.
kernels() {
  local probe=build/release/tests/test_photo_kernels own taken list="" chosen="" k flags threads=2
  own=$(OPENBLAS_VERBOSE=2 "$probe" --gtest_list_tests 2>&1 | sed -n 's/^Core: *//p')
  if [ -z "$own" ]; then
    echo "kernels: skipped (the BLAS in use does not choose its kernels at run time)"
    return 0
  fi
  if [ -n "${BLAS_KERNELS+set}" ]; then
    chosen=$BLAS_KERNELS
  else
    case $(uname -m) in
      x86_64)
        flags=" $(grep -m1 '^flags' /proc/cpuinfo | cut -d: -f2) "
        for k in pni:Prescott avx:Sandybridge avx2:Haswell sse4_2:Nehalem ssse3:Core2; do
          if [[ $flags == *" ${k%%:*} "* ]]; then list="$list ${k#*:}"; fi
        done
        ;;
      aarch64) list="ARMV8 CORTEXA57 CORTEXA53" ;;
    esac
    for k in $list; do
      if [ "${k,,}" != "${own,,}" ]; then chosen="$chosen $k"; fi
    done
    chosen=$(echo $chosen | cut -d' ' -f1-2)
    if [ -z "$chosen" ]; then
      echo "kernels: skipped (no other kernels known for $(uname -m); this processor's is $own)"
      return 0
    fi
  fi
  for k in $chosen; do
    if [ "$k" = none ]; then
      echo "kernels: skipped (BLAS_KERNELS=none)"
      return 0
    fi
    taken=$(OPENBLAS_VERBOSE=2 OPENBLAS_CORETYPE=$k "$probe" --gtest_list_tests 2>&1 | sed -n 's/^Core: *//p')
    if [ "${taken,,}" != "${k,,}" ]; then
      echo "kernels: $k skipped (the library does not run it here)"
      continue
    fi
    echo "kernels: the tests labelled blas under $k with $threads thread(s) (this processor's kernel: $own)"
    OPENBLAS_CORETYPE=$k OPENBLAS_NUM_THREADS=$threads OMP_NUM_THREADS=$threads \
      ctest --test-dir build/release --output-on-failure -j"$jobs" -L blas
    threads=1
  done
}

sanitized() {
  cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DSUITE_SANITIZE=ON -DSUITE_BENCH=OFF -DSUITE_TEST_OPTIMIZE=-O0
  cmake --build build/sanitize -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/sanitize --output-on-failure -j"$jobs" -LE slow
}

timed release release
timed kernels kernels
timed sanitizers sanitized
timed fuzz bash tools/fuzz.sh

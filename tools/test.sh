#!/usr/bin/env bash
# Builds the suite and runs every test: once in a release build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes each reader
# for FUZZ_SECONDS seconds (default 60; 0 skips) when clang++ is there.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_SANITIZE=ON -DSUITE_BENCH=OFF
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs" -LE no_sanitize

bash tools/fuzz.sh

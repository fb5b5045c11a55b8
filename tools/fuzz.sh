#!/usr/bin/env bash
# Bounded fuzzing of the readers: builds the libFuzzer programs of
# tests/fuzz with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for FUZZ_SECONDS seconds (default 10; 0 skips) from the stored
# corpus.  The corpus alone is replayed by every test run (test_fuzz); a
# longer search, FUZZ_SECONDS=600 say, is worth it after a reader changes.
# Any finding fails the run; the input that caused it is left in
# build/fuzz/findings/ — add it to tests/fuzz/corpus/TARGET/ as crash-NAME so
# that the replay test keeps it.  Without clang++ the step is skipped.
# FUZZ_SEED (default 1) fixes the fuzzer's random choices, so that the short
# search of the test command walks the same inputs on every machine and a
# finding can be repeated; FUZZ_SEED=random draws a new seed each run (for
# the longer searches).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-10}
seed=${FUZZ_SEED:-1}
seed_flag=-seed=$seed
[ "$seed" = random ] && seed_flag=
if [ "$seconds" = 0 ]; then
  echo "fuzz: skipped (FUZZ_SECONDS=0)"
  exit 0
fi
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "fuzz: no clang++, skipped"
  exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
targets="group list_directed orbital_block channel_file format_engine"

CXX=$cxx cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" -DSUITE_FUZZ=ON -DSUITE_TESTS=OFF \
  -DSUITE_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$jobs" --target $(printf 'fuzz_%s ' $targets)

mkdir -p build/fuzz/findings
status=0
for t in $targets; do
  work=build/fuzz/corpus/$t  # new inputs the fuzzer finds go here, not into the tree
  mkdir -p "$work"
  echo "fuzz: $t for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build/fuzz/fuzz/fuzz_$t -max_total_time="$seconds" $seed_flag -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix=build/fuzz/findings/"$t"- -print_final_stats=1 "$work" tests/fuzz/corpus/"$t" \
    >build/fuzz/"$t".log 2>&1; then
    echo "fuzz: $t FAILED; the log is build/fuzz/$t.log:"
    tail -40 build/fuzz/"$t".log
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build/fuzz/"$t".log | tr '\n' ' '
    echo
  fi
done
exit $status

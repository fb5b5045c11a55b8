# Shared set-up of the photoionisation examples (examples/*/run.sh), sourced
# with the script's arguments:  . tools/example_env.sh [BUILD]
# Sets `root` (the project folder, the one above this file) and `build` (the
# folder of the built programs: BUILD, or build/release of the project),
# makes sure the programs are there, and defines the steps the examples
# share.  Each example runs in a fresh copy of its folder (tools/example.sh
# makes one).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
for p in tovrel gsfile chanfile xsect; do
  [ -x "$build/$p" ] || { echo "run.sh: no $build/$p; build it: cmake --build $build --target tovrel gsfile chanfile xsect"; exit 1; }
done
tab="$root/scripts/xsect_table.sh"
plot="$root/scripts/plot_xsect.sh"

# ground_state RESULT GROUND: tovrel on the Velor.prt and Dp_Data.dsc of this
# folder, then gsfile from its result file to the ground-state file.
ground_state() {
  "$build/tovrel" < /dev/null > tovrel.out
  "$build/gsfile" "$1" "$2" > gsfile.out
}

# channels: chanfile for each control file chn_*.txt in turn (copied to
# File.CHN); the console output goes to chn_*.out.
channels() {
  local c
  for c in chn_*.txt; do
    echo "chanfile: $c"
    cp "$c" File.CHN
    "$build/chanfile" > "${c%.txt}.out"
    rm File.CHN
  done
}

# cross_sections [CONTROL ...]: xsect on the File.D40 of this folder (console
# output to xsect.out), or on each CONTROL in turn, copied to File.D40
# (console output to CONTROL's name with .out).
cross_sections() {
  local d
  if [ $# -eq 0 ]; then
    "$build/xsect" > xsect.out
    return
  fi
  for d in "$@"; do
    echo "xsect: $d"
    cp "$d" File.D40
    "$build/xsect" > "${d%.txt}.out"
    rm File.D40
  done
}

# have_gnuplot: whether the plots can be drawn.
have_gnuplot() { command -v gnuplot > /dev/null; }

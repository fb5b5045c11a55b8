#!/usr/bin/env bash
# H2 at R = 1.4 bohr: Hartree-Fock ground state (tovrel) -> gsfile ->
# chanfile (static exchange: k sigma_u, M = 0, and k pi_u, M = 1) -> xsect
# with the RPA, then HF and RPA cross sections, length and velocity, beside
# the measured total, and a plot.
#
# Run in a fresh copy of this folder (tools/example.sh h2-photo makes one in
# examples/h2-photo/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
set -euo pipefail
# The project folder: above this one, or the source folder of the build.
root=$(cd "$(dirname "$0")" && while [ ! -f tools/plot_xsect.sh ] && [ "$PWD" != / ]; do cd ..; done; pwd)
build=${1:-$root/build/release}
if [ ! -f "$root/tools/plot_xsect.sh" ]; then
  root=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
fi
for p in tovrel gsfile chanfile xsect; do
  [ -x "$build/$p" ] || { echo "run.sh: no $build/$p; build it: cmake --build $build --target tovrel gsfile chanfile xsect"; exit 1; }
done

"$build/tovrel" < /dev/null > tovrel.out
"$build/gsfile" h2.res h2.gs > gsfile.out
for c in chn_*.txt; do
  cp "$c" File.CHN
  "$build/chanfile" > "${c%.txt}.out"
  rm File.CHN
done
"$build/xsect" > xsect.out

# Two electrons in 1sigma_g (counted by the listing); the pi_u channel
# (M = +1) stands for M = +1 and -1: weights 1 and 2.
echo "H2 total photoionisation cross section (Mb), interpolated between the momenta of the channel files"
"$root/tools/xsect_table.sh" -w 1,2 h2x.lst 18 20 25 30 35 40 50 |
  awk 'BEGIN { m[18] = 9.8; m[20] = 7.7; m[25] = 4.3; m[30] = 2.6; m[35] = 1.6; m[40] = 1.0; m[50] = 0.48 }
       NR == 1 { print $0 "    measured"; next } { printf "%s %11.2f\n", $0, m[$1 + 0] }'
if command -v gnuplot >/dev/null; then
  "$root/tools/plot_xsect.sh" -w 1,2 -s -x 15:60 -e measured.dat -t "H2 (R = 1.4): static exchange and RPA" h2x.lst h2.png
fi

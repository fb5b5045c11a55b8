#!/usr/bin/env bash
# H2 at R = 1.4 bohr: Hartree-Fock ground state (tovrel) -> gsfile ->
# chanfile (static exchange: k sigma_u, M = 0, and k pi_u, M = 1) -> xsect
# with the RPA, then HF and RPA cross sections, length and velocity, beside
# the measured total, and a plot.
#
# Run in a fresh copy of this folder (tools/example.sh h2-photo makes one in
# examples/h2-photo/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
# The shared set-up: tools/example_env.sh above this folder, or in the source folder of the build $1.
root=$(cd "$(dirname "$0")" && until [ -f tools/example_env.sh ] || [ "$PWD" = / ]; do cd ..; done; pwd)
. "$([ -f "$root/tools/example_env.sh" ] && echo "$root" || sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "${1:-.}/CMakeCache.txt")/tools/example_env.sh" "$@"

ground_state h2.res h2.gs
channels
cross_sections

# Two electrons in 1sigma_g (counted by the listing); the pi_u channel
# (M = +1) stands for M = +1 and -1: weights 1 and 2.
echo "H2 total photoionisation cross section (Mb), interpolated between the momenta of the channel files"
"$tab" -w 1,2 h2x.lst 18 20 25 30 35 40 50 |
  awk 'BEGIN { m[18] = 9.8; m[20] = 7.7; m[25] = 4.3; m[30] = 2.6; m[35] = 1.6; m[40] = 1.0; m[50] = 0.48 }
       NR == 1 { print $0 "    measured"; next } { printf "%s %11.2f\n", $0, m[$1 + 0] }'
if have_gnuplot; then
  "$plot" -w 1,2 -s -x 15:60 -e measured.dat -t "H2 (R = 1.4): static exchange and RPA" h2x.lst h2.png
fi

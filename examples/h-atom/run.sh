#!/usr/bin/env bash
# Hydrogen atom on one focus of the spheroidal coordinates (Z1 = 1, Z2 = 0):
# tovrel ground state -> gsfile -> chanfile (final M = 0 and M = 1, bare
# nucleus: the exact continuum) -> xsect (Hartree-Fock = exact here), then the
# total cross section beside the exact formula, and a plot.
#
# Run in a fresh copy of this folder (tools/example.sh h-atom makes one in
# examples/h-atom/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
# The shared set-up: tools/example_env.sh above this folder, or in the source folder of the build $1.
root=$(cd "$(dirname "$0")" && until [ -f tools/example_env.sh ] || [ "$PWD" = / ]; do cd ..; done; pwd)
. "$([ -f "$root/tools/example_env.sh" ] && echo "$root" || sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "${1:-.}/CMakeCache.txt")/tools/example_env.sh" "$@"

ground_state h.res h.gs
channels
cross_sections

# The listing counts two electrons and one sign of M: the atom's total is
# (sigma(M=0) + 2 sigma(M=1))/2, weights 0.5 and 1.
echo "Hydrogen 1s, total cross section (Mb) at the momenta of the channel files: xsect beside the exact formula"
# Photon energies of every third node k = 0.05 + (j-1)*0.05 above the threshold -E(1s).
E1=$(awk '/^ +1 +-?[0-9.]+E[+-][0-9]+/ { print $2 }' h.lst | tail -1)
nodes=$(awk -v e1="$E1" 'BEGIN { for (j = 2; j <= 33; j += 3) { k = 0.05 + (j - 1) * 0.05; printf "%.4f ", (k * k / 2 - e1) * 27.211386 } }')
# shellcheck disable=SC2086
"$tab" -w 0.5,1 hx.lst $nodes |
  awk 'NR == 1 { printf "%8s %11s %11s %11s %8s %8s\n", $1, $2, $3, "exact", "L/exact", "V/exact"; next }
       { x = $1 / 13.605693; e = sqrt(x - 1); pi = 3.14159265358979
         s = 6.304318 * x^-4 * exp(4 - 4 * atan2(e, 1) / e) / (1 - exp(-2 * pi / e))
         printf "%8.2f %11.4f %11.4f %11.4f %8.4f %8.4f\n", $1, $2, $3, s, $2 / s, $3 / s }'
if have_gnuplot; then
  "$plot" -w 0.5,1 -s -x 13:60 -t "H atom on one focus: 1s photoionisation" hx.lst h.png
fi

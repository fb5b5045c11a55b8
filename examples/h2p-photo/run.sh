#!/usr/bin/env bash
# H2+ at R = 2.0 bohr, photoionisation of 1sigma_g into the exact two-centre
# continuum: tovrel ground state -> gsfile -> chanfile (k sigma_u, M = 0, and
# k pi_u, M = 1, bare nuclei) -> xsect, then the cross sections at 32, 40 and
# 60 eV beside the exact values, and a plot.
#
# Run in a fresh copy of this folder (tools/example.sh h2p-photo makes one in
# examples/h2p-photo/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
# The shared set-up: tools/example_env.sh above this folder, or in the source folder of the build $1.
root=$(cd "$(dirname "$0")" && until [ -f tools/example_env.sh ] || [ "$PWD" = / ]; do cd ..; done; pwd)
. "$([ -f "$root/tools/example_env.sh" ] && echo "$root" || sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "${1:-.}/CMakeCache.txt")/tools/example_env.sh" "$@"

ground_state h2p.res h2p.gs
channels
cross_sections

# One electron: half the listed values; the pi_u channel (M = +1) stands for
# M = +1 and -1.  Weights 0.5 (sigma_u) and 1 (pi_u).
echo "H2+ 1sigma_g photoionisation (Mb), interpolated between the momenta of the channel files"
echo "exact: total 0.7522, 0.3620, 0.1026; k sigma_u contribution 0.0068, 0.0130, 0.0157 at 32, 40, 60 eV"
echo "total:"
"$tab" -w 0.5,1 h2px.lst 32 40 60 | cut -c1-32
echo "k sigma_u part:"
"$tab" -w 0.5,1 -c 1 h2px.lst 32 40 60 | cut -c1-32
if have_gnuplot; then
  "$plot" -w 0.5,1 -s -x 29:80 -t "H2+ (R = 2): 1sigma_g photoionisation" h2px.lst h2p.png
fi

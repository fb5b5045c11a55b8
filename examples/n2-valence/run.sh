#!/usr/bin/env bash
# N2 at R = 2.068 bohr, the full valence RPA: Hartree-Fock ground state
# (tovrel) -> gsfile -> chanfile (static exchange, ten partial waves) for the
# seven channels
#   c1 3sigma_g -> k sigma_u   c2 3sigma_g -> k pi_u
#   c3 1pi_u -> k sigma_g      c4 1pi_u -> k pi_g     c5 1pi_u -> k delta_g
#   c6 2sigma_u -> k sigma_g   c7 2sigma_u -> k pi_g
# -> xsect: Hartree-Fock and RPA cross sections with all seven channels
# coupled (n2r.lst, an RPA matrix of order 1902).  The 3sigma_g
# channels have the momentum step 0.025 (81 energies, k up to 2.05): nodes
# 0.6 eV apart at the k sigma_u shape resonance; the others 0.1 (31
# energies, k up to 3.05).  Then the partial cross section of each shell and
# the total, length and velocity, and a plot of the channels.  About 8 min of
# CPU: 5 for the seven chanfile runs, under 2 for the RPA of order 1902.
#
# Run in a fresh copy of this folder (tools/example.sh n2-valence makes one in
# examples/n2-valence/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
# The shared set-up: tools/example_env.sh above this folder, or in the source folder of the build $1.
root=$(cd "$(dirname "$0")" && until [ -f tools/example_env.sh ] || [ "$PWD" = / ]; do cd ..; done; pwd)
. "$([ -f "$root/tools/example_env.sh" ] && echo "$root" || sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "${1:-.}/CMakeCache.txt")/tools/example_env.sh" "$@"

stage() { echo "$1: $(($(date +%s) - t0)) s"; t0=$(date +%s); }
t0=$(date +%s)
ground_state n2.res n2.gs
stage "ground state (tovrel, gsfile)"
channels
stage "channel files (chanfile, seven channels)"
cross_sections d40_rpa.txt
stage "RPA of the seven channels (xsect, IRP = 1)"

# Weights: a final M > 0 from a sigma shell counts twice (M = +1 and -1); the
# 1pi_u shell holds four electrons, weight 2 for each of its channels.
l=n2r.lst
echo
echo "3sigma_g -> k sigma_u, the shape resonance (Mb):"
"$tab" -c 1 "$l" 26 27 28 28.5 29 29.5 30 30.5 31 32 34
echo "3sigma_g (k sigma_u + 2 k pi_u):"
"$tab" -w 1,2 -c 1,2 "$l" 20 25 30 35 40 50
echo "1pi_u (2 x (k sigma_g + k pi_g + k delta_g)):"
"$tab" -w 1,1,2,2,2 -c 3,4,5 "$l" 20 25 30 35 40 50
echo "2sigma_u (k sigma_g + 2 k pi_g):"
"$tab" -w 1,1,1,1,1,1,2 -c 6,7 "$l" 25 30 35 40 50
echo "total of the three shells:"
"$tab" -w 1,2,2,2,2,1,2 "$l" 25 30 35 40 50
if have_gnuplot; then
  "$plot" -w 1,2,2,2,2,1,2 -x 15:70 -t "N2: the seven channels, HF and seven-channel RPA" n2r.lst n2_channels.png
fi

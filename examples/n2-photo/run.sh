#!/usr/bin/env bash
# N2 at R = 2.068 bohr: Hartree-Fock ground state (tovrel) -> gsfile ->
# chanfile (static exchange) for the channels
#   c1 3sigma_g -> k sigma_u   c2 3sigma_g -> k pi_u
#   c3 1pi_u -> k sigma_g      c4 1pi_u -> k pi_g     c5 1pi_u -> k delta_g
#   c6 2sigma_u -> k sigma_g   c7 2sigma_u -> k pi_g
# -> xsect: Hartree-Fock cross sections of all seven channels (n2x.lst), and
# the RPA of the two 3sigma_g channels (n2r.lst).  Then the 3sigma_g -> k sigma_u
# shape resonance, the partial cross sections of the three shells, the
# asymmetry parameter beta of 3sigma_g (n2r.lst.beta), and plots.
#
# Run in a fresh copy of this folder (tools/example.sh n2-photo makes one in
# examples/n2-photo/run):   ./run.sh [BUILD]   (BUILD: folder of the built programs)
# It takes a few minutes.
# The shared set-up: tools/example_env.sh above this folder, or in the source folder of the build $1.
root=$(cd "$(dirname "$0")" && until [ -f tools/example_env.sh ] || [ "$PWD" = / ]; do cd ..; done; pwd)
. "$([ -f "$root/tools/example_env.sh" ] && echo "$root" || sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "${1:-.}/CMakeCache.txt")/tools/example_env.sh" "$@"

ground_state n2.res n2.gs
channels
cross_sections d40_hf.txt d40_rpa.txt

# The listings count two electrons in the ionised orbital and one sign of the
# final projection: a final M > 0 from a sigma shell takes weight 2; the 1pi_u
# shell holds four electrons in the orbitals M = +1 and -1, weight 2 for each
# of its channels.
echo
echo "3sigma_g -> k sigma_u (Mb): the shape resonance"
"$tab" -c 1 n2r.lst 22 24 26 28 29 30 31 32 34 36 40
echo
echo "Partial cross sections of the shells, Hartree-Fock (Mb)"
echo "3sigma_g (k sigma_u + 2 k pi_u):"
"$tab" -w 1,2 -c 1,2 n2x.lst 20 25 30 35 40 50 | cut -c1-32
echo "1pi_u (2 x (k sigma_g + k pi_g + k delta_g)):"
"$tab" -w 1,1,2,2,2 -c 3,4,5 n2x.lst 20 25 30 35 40 50 | cut -c1-32
echo "2sigma_u (k sigma_g + 2 k pi_g):"
"$tab" -w 1,1,1,1,1,1,2 -c 6,7 n2x.lst 25 30 35 40 50 | cut -c1-32
echo
echo "3sigma_g: asymmetry parameter beta of the shell (k sigma_u and k pi_u together)"
awk '/^# HF shell 5$/ { b = "hf"; n = 0; next } /^# RPA shell 5$/ { b = "rpa"; n = 0; next }
     /^#/ { b = ""; next } NF == 0 || b == "" { next }
     { n++; e[b, n] = $1; L[b, n] = $5; V[b, n] = $6; if (b == "hf") m = n }
     END { printf "%8s %9s %9s %9s %9s\n", "eV", "HF L", "HF V", "RPA L", "RPA V"
           for (i = 1; i <= m; i++) if (e["hf", i] >= 20 && e["hf", i] <= 50)
             printf "%8.2f %9.4f %9.4f %9.4f %9.4f\n", e["hf", i], L["hf", i], V["hf", i], L["rpa", i], V["rpa", i] }' n2r.lst.beta
if have_gnuplot; then
  "$root/scripts/plot_beta.sh" -b "shell 5" -x 15:60 -t "N2 3sigma_g: asymmetry parameter, static exchange and RPA" \
    n2r.lst.beta n2_3sg_beta.png
  "$plot" -x 15:60 -t "N2: 3sigma_g -> k sigma_u, static exchange and RPA" n2r.lst n2_3sg_su.png
  "$plot" -w 1,2,2,2,2,1,2 -x 15:80 -t "N2: partial cross sections of the channels (HF)" n2x.lst n2_channels.png
fi

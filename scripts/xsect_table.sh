#!/usr/bin/env bash
# Prints Hartree-Fock and RPA cross sections, length and velocity form, at
# chosen photon energies (eV) from an xsect (or xsect_a) listing: each
# channel is interpolated linearly between its energies, weighted, and the
# selected channels are added.
#
#   scripts/xsect_table.sh [-w w1,w2,...] [-c c1,c2,...] LISTING EV...
#
#   -w  weight of each channel (default 1), as for scripts/plot_xsect.sh: the
#       listing counts two electrons in the ionised shell and one sign of the
#       final projection M
#   -c  the channels to add (default: all)
# A dash stands where a selected channel does not reach the energy.
set -euo pipefail

weights=""
channels=""
while getopts "w:c:" opt; do
  case $opt in
    w) weights=$OPTARG ;;
    c) channels=$OPTARG ;;
    *) sed -n '2,14p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 2 ] || { sed -n '2,14p' "$0"; exit 2; }
listing=$1
shift
[ -f "$listing" ] || { echo "xsect_table: no listing '$listing'"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk -v dir="$work" -v weights="$weights" -f "$(dirname "$0")/xsect_tables.awk" "$listing"

if [ -z "$channels" ]; then
  channels=$(ls "$work"/hf_*.dat | sed 's/.*hf_\([0-9]*\)\.dat/\1/' | sort -n | paste -sd, -)
fi

# Linear interpolation of column `col` of a table at photon energy x; empty
# when x lies outside the table.
interp() {
  awk -v x="$2" -v col="$3" '
    { e[NR] = $1; v[NR] = $col }
    END {
      for (i = 1; i < NR; i++)
        if ((e[i] - x) * (e[i+1] - x) <= 0) { printf "%.6e", v[i] + (v[i+1] - v[i]) * (x - e[i]) / (e[i+1] - e[i]); exit }
    }' "$1"
}

printf "%8s %11s %11s %11s %11s\n" "eV" "HF(L)" "HF(V)" "RPA(L)" "RPA(V)"
for x in "$@"; do
  line=$(printf "%8.2f" "$x")
  for kind in hf rpa; do
    for col in 2 3; do
      total=0
      ok=1
      for c in ${channels//,/ }; do
        f="$work/${kind}_$c.dat"
        v=$([ -f "$f" ] && interp "$f" "$x" "$col" || true)
        if [ -z "$v" ]; then ok=0; break; fi
        total=$(awk -v a="$total" -v b="$v" 'BEGIN { printf "%.6e", a + b }')
      done
      if [ "$ok" = 1 ]; then line="$line $(printf "%11.4f" "$total")"; else line="$line $(printf "%11s" -)"; fi
    done
  done
  echo "$line"
done

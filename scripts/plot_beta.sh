#!/usr/bin/env bash
# Draws photoelectron asymmetry parameters beta against photon energy (eV)
# from the table an xsect (or xsect_a) run writes beside its listing
# (LISTING.beta): Hartree-Fock and RPA, length and velocity form, as PNG or
# SVG (by the extension of OUTPUT), with gnuplot.
#
#   scripts/plot_beta.sh [-b WHAT] [-t TITLE] [-e MEASURED] [-x EMIN:EMAX] TABLE OUTPUT
#
#   -b  which blocks to draw, by the start of their heading without the
#       method: "shell" (default: every ionised shell), "shell 5",
#       "channel 2", "channel" (every channel)
#   -t  title of the plot
#   -e  a file of measured values, two columns: photon energy (eV), beta
#   -x  range of photon energies, e.g. 20:60
#
# gnuplot comes from the Debian package gnuplot-nox (apt-get install gnuplot-nox).
set -euo pipefail

what="shell"
title="Photoelectron asymmetry parameter"
measured=""
xrange="*:*"
while getopts "b:t:e:x:" opt; do
  case $opt in
    b) what=$OPTARG ;;
    t) title=$OPTARG ;;
    e) measured=$OPTARG ;;
    x) xrange=$OPTARG ;;
    *) sed -n '2,17p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 2 ] || { sed -n '2,17p' "$0"; exit 2; }
table=$1
output=$2
[ -f "$table" ] || { echo "plot_beta: no table '$table'"; exit 1; }
command -v gnuplot >/dev/null || { echo "plot_beta: gnuplot is missing (apt-get install gnuplot-nox)"; exit 1; }
case $output in
  *.png) terminal="pngcairo size 900,600 enhanced font 'Sans,11'" ;;
  *.svg) terminal="svg size 900,600 enhanced font 'Sans,11'" ;;
  *) echo "plot_beta: OUTPUT must end in .png or .svg"; exit 1 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One file per chosen block: photon energy (eV), beta L, beta V; its heading
# (method and what) in the list of labels.
awk -v dir="$work" -v what="$what" '
  /^# (HF|RPA) / {
    method = $2; head = $0; sub(/^# (HF|RPA) /, "", head)
    keep = index(head, what) == 1 && (length(head) == length(what) || substr(head, length(what) + 1, 1) ~ /[ (]/)
    if (keep) { n++; f = dir "/" n ".dat"; print method "|" head > (dir "/labels") }
    next
  }
  /^#/ || NF == 0 { next }
  keep { print $1, $5, $6 > f }
' "$table"
[ -f "$work/labels" ] || { echo "plot_beta: no block '$what' in '$table'"; exit 1; }

plots=""
add() { plots="${plots:+$plots, }$1"; }
n=0
while IFS='|' read -r method head; do
  n=$((n + 1))
  dash=$([ "$method" = RPA ] && echo 1 || echo 2)
  add "'$work/$n.dat' using 1:2 with lines lw 2 dt $dash title '$method $head, length'"
  add "'$work/$n.dat' using 1:3 with lines lw 1 dt $dash title '$method $head, velocity'"
done < "$work/labels"
[ -n "$measured" ] && add "'$measured' using 1:2 with points pt 7 ps 1 title 'measured'"

gnuplot <<GP
set terminal $terminal
set output '$output'
set title "$title"
set xlabel 'photon energy (eV)'
set ylabel 'asymmetry parameter {/Symbol b}'
set xrange [$xrange]
set yrange [-1:2]
set grid
set key bottom right
plot $plots
GP
echo "plot_beta: wrote $output"

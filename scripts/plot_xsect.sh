#!/usr/bin/env bash
# Draws photoionisation cross sections against photon energy (eV) from an
# xsect (or xsect_a) listing: Hartree-Fock and RPA, length and velocity form,
# as PNG or SVG (by the extension of OUTPUT), with gnuplot.
#
#   scripts/plot_xsect.sh [-w w1,w2,...] [-s] [-t TITLE] [-e MEASURED] [-x EMIN:EMAX] LISTING OUTPUT
#
#   -w  weight of each channel (default 1): the listing counts two electrons
#       in the ionised shell and one sign of the final projection M, so a
#       final M > 0 from a sigma shell takes weight 2 (M = +1 and -1), a
#       one-electron target halves every weight, and a pi shell (4 electrons)
#       doubles it
#   -s  also draw the weighted sum of the channels (they must share their
#       photon energies: the same ionised shell and momentum grid)
#   -t  title of the plot
#   -e  a file of measured values, two columns: photon energy (eV), Mb
#   -x  range of photon energies, e.g. 15:60
#
# gnuplot comes from the Debian package gnuplot-nox (apt-get install gnuplot-nox).
set -euo pipefail

weights=""
sum=0
title="Photoionisation cross section"
measured=""
xrange="*:*"
while getopts "w:st:e:x:" opt; do
  case $opt in
    w) weights=$OPTARG ;;
    s) sum=1 ;;
    t) title=$OPTARG ;;
    e) measured=$OPTARG ;;
    x) xrange=$OPTARG ;;
    *) sed -n '2,21p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 2 ] || { sed -n '2,21p' "$0"; exit 2; }
listing=$1
output=$2
[ -f "$listing" ] || { echo "plot_xsect: no listing '$listing'"; exit 1; }
command -v gnuplot >/dev/null || { echo "plot_xsect: gnuplot is missing (apt-get install gnuplot-nox)"; exit 1; }
case $output in
  *.png) terminal="pngcairo size 900,600 enhanced font 'Sans,11'" ;;
  *.svg) terminal="svg size 900,600 enhanced font 'Sans,11'" ;;
  *) echo "plot_xsect: OUTPUT must end in .png or .svg"; exit 1 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Per channel c: hf_c.dat and rpa_c.dat (photon energy in eV, sigma(L),
# sigma(V), the weights applied).
awk -v dir="$work" -v weights="$weights" -f "$(dirname "$0")/xsect_tables.awk" "$listing"

ls "$work"/hf_*.dat >/dev/null 2>&1 || { echo "plot_xsect: no Hartree-Fock tables in '$listing'"; exit 1; }

# Sums over channels, row by row.
if [ "$sum" = 1 ]; then
  for kind in hf rpa; do
    files=$(ls "$work"/${kind}_*.dat 2>/dev/null || true)
    [ -n "$files" ] || continue
    # shellcheck disable=SC2086
    paste $files | awk '{ L = 0; V = 0; for (i = 1; i <= NF; i += 3) { L += $(i+1); V += $(i+2) } printf "%s %.6e %.6e\n", $1, L, V }' \
      > "$work/${kind}_sum.dat"
  done
fi

plots=""
add() { plots="${plots:+$plots, }$1"; }
for f in "$work"/hf_*.dat "$work"/rpa_*.dat; do
  [ -f "$f" ] || continue
  base=$(basename "$f" .dat)
  kind=${base%%_*}
  ch=${base#*_}
  label=$([ "$ch" = sum ] && echo "sum" || echo "channel $ch")
  upper=$(echo "$kind" | tr a-z A-Z)
  lw=$([ "$ch" = sum ] && echo 3 || echo 1.5)
  dash=$([ "$kind" = rpa ] && echo 1 || echo 2)
  add "'$f' using 1:2 with lines lw $lw dt $dash title '$upper $label, length'"
  add "'$f' using 1:3 with lines lw $lw dt $dash title '$upper $label, velocity'"
done
[ -n "$measured" ] && add "'$measured' using 1:2 with points pt 7 ps 1.2 lc rgb 'black' title 'measured'"

gnuplot <<EOF
set terminal $terminal
set output '$output'
set title "$title"
set xlabel 'photon energy (eV)'
set ylabel 'cross section (Mb)'
set key top right
set grid
set xrange [$xrange]
set yrange [0:*]
plot $plots
EOF
echo "plot_xsect: wrote $output"

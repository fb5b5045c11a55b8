# Reads an xsect (or xsect_a) listing and writes, per channel c, the files
# DIR/hf_c.dat and DIR/rpa_c.dat: photon energy (eV), cross section in length
# and in velocity form (Mb), each multiplied by the channel's weight (the
# comma-separated list WEIGHTS, 1 where it gives none).
#
# The Hartree-Fock tables give the photoelectron energy E; the photon energy
# is E minus the channel's threshold.  A row of such a table (E, NL partial
# values, total) may wrap over several lines.  The rows of a channel's extra
# (bound) functions, at E < 0, hold oscillator strengths and are left out.  The RPA tables give the
# photon energy directly.  Numbers with a three-digit exponent and no letter
# (0.1234-101) are read too.
function num(s) {
  if (s !~ /[eEdD]/ && s ~ /[0-9][+-][0-9]+$/) sub(/[+-][0-9]+$/, "e&", s)
  sub(/[dD]/, "e", s)
  return s + 0
}
function isnum(s) { return s ~ /^[+-]?[0-9]*\.[0-9]+([eEdD]?[+-]?[0-9]+)?$/ }
BEGIN { n = split(weights, w, ","); ev = 27.211386; part = "hf" }
/RPA results:/ { part = "rpa"; next }
# The asymmetry parameters follow the tables (scripts/plot_beta.sh draws them).
/Photoelectron asymmetry parameters/ { exit }
/^ Channel +[0-9]+:/ {
  c = $2; sub(":", "", c); c += 0
  wt[c] = (c in w && w[c] != "") ? w[c] + 0 : 1.0
  mode = ""; next
}
/threshold: E =/ { thr[c] = num($NF); next }
part == "hf" && /R-form:/ { mode = "head"; form = "L"; nl = 0; next }
part == "hf" && /V-form:/ { mode = "head"; form = "V"; nl = 0; next }
part == "hf" && mode == "head" {
  for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) nl++
  if ($0 ~ /Total C.S./) { mode = "rows"; k = 0; row = 0 }
  next
}
part == "hf" && mode == "rows" {
  if (NF == 0 || !isnum($1)) { mode = ""; next }
  for (i = 1; i <= NF; i++) {
    k++
    if (k == 1) e = num($i)
    if (k == nl + 2 && e < 0) k = 0  # an extra (bound) function: its values are oscillator strengths
    if (k == nl + 2) {
      row++
      if (form == "L") { hfE[c, row] = e; hfL[c, row] = num($i); nrow[c] = row }
      else hfV[c, row] = num($i)
      k = 0
    }
  }
  next
}
part == "rpa" && NF == 4 && isnum($1) && isnum($4) {
  r = ++nr[c]; rO[c, r] = num($2); rL[c, r] = num($3); rV[c, r] = num($4); next
}
END {
  for (cc in nrow) {
    f = dir "/hf_" cc ".dat"
    for (r = 1; r <= nrow[cc]; r++)
      printf "%.6f %.6e %.6e\n", (hfE[cc, r] - thr[cc]) * ev, wt[cc] * hfL[cc, r], wt[cc] * hfV[cc, r] > f
    close(f)
  }
  for (cc in nr) {
    f = dir "/rpa_" cc ".dat"
    for (r = 1; r <= nr[cc]; r++) printf "%.6f %.6e %.6e\n", rO[cc, r] * ev, wt[cc] * rL[cc, r], wt[cc] * rV[cc, r] > f
    close(f)
  }
}

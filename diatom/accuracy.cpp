#include "diatom/accuracy.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "chan/sizes.hpp"
#include "io/stop.hpp"
#include "scf/grid.hpp"
#include "scf/sizes.hpp"

namespace diatom {

namespace {

// The most partial waves of a ground-state shell that the continuum
// program takes; the ground-state program itself has no ceiling.
constexpr int kContinuumWaves = chan::kMaxWaves;
// Error of the start of the outer sweep, D·(Zmax·q)⁴ (hartree), see the rule.
constexpr double kStartError = 1.25e-4;

// Odd count ≥ 3 of outer points: NB − NA odd with NA = 5, so NB even.  The
// count is formed in 64 bits: `nb` must be finite and within tovrel's
// workspace, which the rule checks before it comes here.
int even_points(double nb) {
  long long v = static_cast<long long>(std::ceil(nb));
  if (v % 2 == 1) ++v;
  return static_cast<int>(std::max(v, 10LL));
}

// The outer variable of the grid, x = ξ − 10/(ξ − 0.9), with IGRID = 2
// plus kLogGrade·ln(ξ − 1): equal steps in x.
double x(double xi, int IGRID) {
  return xi - 10.0 / (xi - 0.9) + (IGRID == 2 ? scf::kLogGrade * std::log(xi - 1.0) : 0.0);
}
// dx/dξ: the step in ξ at ξ is the step in x over it.
double dxdxi(double xi, int IGRID) {
  return 1.0 + 10.0 / ((xi - 0.9) * (xi - 0.9)) + (IGRID == 2 ? scf::kLogGrade / (xi - 1.0) : 0.0);
}
double x_range(const Accuracy& a) { return x(a.RP2, a.IGRID) - x(a.RP1, a.IGRID); }

// Ratio of the step in ξ at the junction to its distance from ξ = 1,
// q = h_ξ/(RP(1) − 1), for outer step h in x.  In Liouville form the
// equation's coefficient grows as 1/(ξ − 1)² towards the axis, so the
// Numerov sweep's first steps err as q⁴ (see choose_accuracy).
double start_ratio(double h, double RP1) { return h / dxdxi(RP1, 1) / (RP1 - 1.0); }

std::string fixed(double v, int d) {
  std::ostringstream o;
  o.setf(std::ios::fixed);
  o.precision(d);
  o << v;
  return o.str();
}

// Grid points tovrel's workspace of `allowed` words holds for NSH shells of
// n partial waves (its slices take a fixed number of words per point).
double points_held(int NSH, int n, long allowed) {
  const std::array<long, 8> K1 = scf::partition(1, NSH * n, n);
  return static_cast<double>((allowed - K1[0]) / (K1[7] - K1[0]));
}

}  // namespace

long run_words_allowed() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return scf::kNUVM;
  const long half = static_cast<long>(static_cast<double>(pages) * static_cast<double>(size) / 2 / 8);
  return std::clamp<long>(half, scf::kNUVM, INT_MAX);
}

namespace {

// The partial waves NPW: a shell's inner system, (NA·n)² words and its work
// arrays, and the least grid of 400 points must fit tovrel's memory, or the
// run is refused naming NPW and the most that fit.
int waves_held(const Molecule& m, int npw, const std::string& file) {
  const int NSH = static_cast<int>(m.shells.size());
  const long allowed = run_words_allowed();
  auto fits = [&](long n) {
    if (n > 100000) return false;  // 37·n² words: past any memory, and NSH·n stays an int
    const long inner = 37 * n * n + 10 * n;
    return inner <= allowed && points_held(NSH, static_cast<int>(n), allowed) >= 400.0;
  };
  if (fits(npw)) return npw;
  long lo = 0, hi = std::min<long>(npw, 100000);
  while (hi - lo > 1) {
    const long mid = (lo + hi) / 2;
    (fits(mid) ? lo : hi) = mid;
  }
  io::stop("file '" + file + "', group &MOL, variable NPW: NPW = " + std::to_string(npw) + " partial waves of " +
           std::to_string(NSH) + " shells take more than tovrel's memory holds (" + std::to_string(allowed) +
           " words, half of this machine's memory) even on the least grid of 400 points: NPW ≤ " + std::to_string(lo) +
           " fits");
}

}  // namespace

// Rules from convergence runs of tovrel on H2 (R = 1.4), LiH (R = 3.015) and
// N2 (R = 2.068), each quantity varied about the hand-made examples (docs/diatom.md,
// "The accuracy rule", gives the figures):
//  - partial waves: equal nuclei (step 2): N2 1σg is off by 1.6e-3 with 5
//    waves, 4e-5 with 6, < 1e-9 with 8; H2 is converged to 1e-9 with 4.
//    Unequal nuclei (step 1, both parities): LiH 1σ is off by 2.3e-4 with 8,
//    2.9e-6 with 10, 2e-8 with 12.  So n = 6 + ⌈log10(4e-5/TOL)/2.3⌉ and
//    n = 10 + ⌈log10(2.9e-6/TOL)⌉, each with one wave to spare for heavier
//    atoms (8 and 12 at TOL = 1e-6: the N2 and LiH examples), at most 20
//    (the η² matrix of a shell in tovrel).  Unequal nuclei with a
//    heavier atom (EXACT = 1, checked against Hartree–Fock limits): the
//    waves about the midpoint must build the heavy atom's 1s, e^(−Z·r), a
//    distance RZ/2 off centre, so they converge more slowly as
//    t = Zmax·RZ/2 grows (LiH 4.5, BH 5.8, FH 7.8, CO 8.5).  FH's 1σ is off
//    by 7.1e-5 with 12 waves and 5e-8 with 16; BH's by 8.1e-7 with 12; so
//    ⌈1.2·(t − 4.6)⌉ more waves (FH 4, BH 2, CO 5, LiH none), and
//    1 + 0.1·(t − 4.6) waves per decade of TOL.  Equal nuclei carry the
//    same term from t = 9.5 on (N2 7.2 and O2 9.1 need none): F2 (t = 12.1)
//    at TOL = 1e-7 has its 1σg off by 3.4e-7 with 9 waves, 7.0e-8 with 10,
//    2.1e-8 with 11 (x2dhf's f2-elprop limit), so ⌈0.5·(t − 9.5)⌉ more;
//    With a second-row atom (Zmax ≥ 11) the waves grow more slowly with t
//    than that first-row slope: on AlF (t = 20.3; NB = 1200, RP(1) =
//    1.0017) 22 waves leave the Al 1s 3.2e-6 and the total 4.0e-6 from
//    the 34-wave values, 26 and 30 agree with them within 1.2e-8; argon on
//    a focus (t = 27; the grid of TOL = 1e-5) 22 waves 6e-5, 26 4.2e-6,
//    30 within 2e-8 of 38 (x2dhf's test set ar); NaCl (t = 37.9; TOL =
//    1e-4, NB = 800) its Cl 1s 9.2e-6 with 30, 4.4e-7 with 34, 3e-8 with
//    38 from 42.  The first-row slope gave them 30, 38 and 51.  So, for
//    Zmax ≥ 11, 1.2 more waves per unit of t up to t = 8.9 and 0.6 beyond
//    (AlF 24, argon 28, NaCl 34 above TOL = 2.9e-6); the waves per decade
//    stay (NaCl needs 3.2 per decade, the rule takes 4.3);
//    Below TOL = 1e-8, unequal nuclei: the rule's waves and step left the
//    deepest level of LiH, BH, FH and CO 1.1 to 2.0·TOL off at 1e-9 (x2dhf's
//    limits), the heavy atom's 1s asking for waves (LiH 1σ 1.3e-9 → 3e-10
//    with two more) and the valence for a finer step (LiH 2σ 1.3e-9 → 3e-10
//    with the step over 1.5); with both, BH's, FH's and CO's orbital
//    energies are within 5e-10.  So 2·log10(1e-8/TOL) more waves and the
//    outer step over 1 + 0.5·log10(1e-8/TOL).  Every ⌈ ⌉ of these counts
//    is taken as 0 where it is negative: a looser TOL keeps the waves of
//    2.9e-6 (4e-5 for equal nuclei), more than it needs (LiH's 8 waves
//    reach 2.3e-4), a margin that costs little at such tolerances;
//  - points: halving NB (outer step h in x = ξ − 10/(ξ − 0.9) doubled) moves
//    N2's energies by 2.4e-7 at h = 0.15 and H2's by 8e-9 at h = 0.32:
//    Numerov's error C·(h·Zmax)⁴ with C ≤ 7.6e-7, so h = (TOL/(3C))^¼/Zmax,
//    at most 0.3; a continuum needs some ten points per wavelength out to
//    k ≈ 3/bohr as well, h·RZ/2 ≤ 0.1 bohr;
//  - inner region: the truncated power series errs as (RP(1) − 1)^4: N2's
//    1σg moves by 5.7e-6 from RP(1) = 1.01 to 1.005 and by 3e-7 from 1.005
//    to 1.0025.  RP(1) − 1 = 0.07/(Zmax·RZ)·(TOL/1e-6)^¼, at most 0.01
//    (1.0048 for N2, 1.01 for H2 at 1e-6).  A second-row atom's series
//    errs more steeply: AlF's total (30 waves, NB = 1200) lies 7.08e-3,
//    2.8e-4 and 1.7e-6 above its value at RP(1) = 1.0015 for 1.0097, 1.005
//    and 1.0025, the fifth to seventh power; at 1e-6 the first-row formula
//    (1.0017) holds it, at 1e-3 (1.0097) it left 7 TOL.  So for Zmax ≥ 11
//    and TOL above 1e-6 the region widens as (TOL/1e-6)^(1/7): 1.0046 at
//    1e-3 (2e-4 estimated from those points), 1.0033 at 1e-4 (1.4e-5);
//  - the start of the outer sweep: the coefficient of the Liouville form
//    grows as 1/(ξ − 1)² towards the axis, so Numerov's first steps err as
//    D·(Zmax·q)⁴ with q = h_ξ/(RP(1) − 1), the step in ξ at the junction
//    over its distance from ξ = 1.  This error does not fall when the step
//    and RP(1) − 1 shrink together.  N2 at RP(1) = 1.0015 (TOL = 1e-8):
//    orbital energies 5e-8 to 9.5e-8 off the limit at q = 0.025 (NB =
//    3620), within 9.2e-9 at q = 0.0126 (NB = 7240), within 1.5e-8 at
//    RP(1) = 1.0025 and NB = 3620 (q = 0.0153); D = 1.25e-4 (N2's 0.3 at
//    Zmax = 7, with the fourth power of Zmax that LiH's smaller error at
//    q = 0.04 asks for), and h_ξ ≤ q·(RP(1) − 1) with D·(Zmax·q)⁴ = TOL/3.
//    It binds below TOL ≈ 1e-7 (N2 twice the points at 1e-8).  There a
//    ground state without a continuum takes the graded map (IGRID = 2),
//    which makes the equation regular in x at the axis, and the bulk's step
//    holds: N2 at TOL = 1e-9 on 7220 graded points within 7e-11 of the
//    27,008 written ones, at 1e-8 on 3910 against 8886, CO at 1e-8 on 4450
//    against 11,592 (its energies within 2.4e-9 of those, the O 1s error of
//    20 waves);
//  - the equal nuclei's waves on the graded map: N2's 1σg (on 4700 points,
//    RP(1) = 1.0015) lies 4.7e-7, 4.6e-8, 1.0e-8, 1.6e-9 and 7.5e-10 above
//    the limit with 7 to 11 waves; the written map's junction error, of the
//    other sign, had held 9 waves at 8.7e-9 for TOL = 1e-8.  So with
//    unequal nuclei: CO's O 1s at 1e-8 6.3e-9 off with 20 waves, 1.2e-9
//    with 22, FH's F 1s 9.9e-9 with 19 (5.4e-9 on the written map).  Below
//    TOL = 2e-8 the graded map takes one wave more (N2 10 at 1e-8, 11 at
//    1e-9; CO 21 and 24, FH 20 and 23), and for equal nuclei the charge's
//    term sets in from Z·RZ/2 = 8.5: O2 (9.13) at 1e-8 on the rule's grid
//    left its 1σg 1.37e-8 from the check grid's with 10 waves, 2.3e-9 with
//    11;
//  - outer end: r = RP(2)·RZ/2 = 2·ln(1/TOL) bohr (28 bohr at 1e-6): H2 is
//    the same to 1e-9 at 20 and 28 bohr;
//  - EPS = TOL/10: the summed change of the energies over one sweep.
// Where the second row's slope of the heavy-atom waves bends (h = t − 4.6).
constexpr double kSecondRowBend = 4.3;
// The least gain in points for which a ground state takes the graded map.
// Below it the written map's validated grids are kept: AlF at TOL = 1e-4
// (the start's bound 1.16 times the bulk's step) on 586 graded points left
// its Al 1s 2.3e-5 off, at its estimate, against 1.4e-5 (estimate 1.5e-5)
// on 630 written ones; N2 keeps its grid of 1e-7 (gain 1.39).
constexpr double kGradedGain = 1.5;

double outer_end(double TOL) { return std::max(15.0, 2.0 * std::log(1.0 / TOL)); }

Accuracy choose_accuracy(const Molecule& m, double RZ, double TOL, int npw, int nb, bool continuum,
                         const std::string& file, double rb_given) {
  Accuracy a;
  auto up = [](double v) { return std::max(0, static_cast<int>(std::ceil(v - 1e-9))); };
  const double zmax = std::max(m.Z1, m.Z2);
  const double heavy = std::max(0.0, zmax * RZ / 2 - 4.6);
  const double deep = m.equal_nuclei ? 0.0 : std::max(0.0, std::log10(1.0e-8 / TOL));
  const double heavy_waves = zmax >= kSecondRowZ
                                 ? 1.2 * std::min(heavy, kSecondRowBend) + 0.6 * std::max(0.0, heavy - kSecondRowBend)
                                 : 1.2 * heavy;
  // Above TOL = 1e-6 a second-row atom's cut of the series falls faster
  // than the fourth power of RP(1) − 1 (see the rule), so the region widens
  // more slowly with TOL.
  const double widening = zmax >= kSecondRowZ && TOL > 1.0e-6 ? 1.0 / 7.0 : 0.25;
  a.RP1 = 1.0 + std::min(0.01, 0.07 / (zmax * RZ) * std::pow(TOL / 1.0e-6, widening));
  a.RP1 = std::round(a.RP1 * 10000.0) / 10000.0;
  // The outer end: where the slowest-decaying orbital has fallen by TOL, or
  // where the user puts it (bound extra functions and the near-threshold
  // continuum of a photoionisation run reach farther than the ground state).
  const double rb = rb_given > 0.0 ? rb_given : outer_end(TOL);
  a.RP2 = std::round(2.0 * rb / RZ * 100.0) / 100.0;
  double hb = std::min(0.3, std::pow(TOL / (3 * 7.6e-7), 0.25) / zmax);
  const double q = std::pow(TOL / (3 * kStartError), 0.25) / zmax;
  // Where the start of the outer sweep would ask for kGradedGain times the
  // bulk's points or more, a ground state without a continuum takes the
  // graded map, and the step of the bulk.
  const double start_bound = q * (a.RP1 - 1.0) * dxdxi(a.RP1, 1);
  a.IGRID = !continuum && start_bound * kGradedGain < hb ? 2 : 1;
  if (a.IGRID == 1) hb = std::min(hb, start_bound);
  // Below 1e-8 the written map's finer step for unequal nuclei; on the
  // graded map the bulk's step holds there (LiH, BH and FH at 1e-9 on 2796,
  // 4968 and 9760 points: every orbital energy within 2.1e-10).
  if (a.IGRID == 1) hb /= 1.0 + 0.5 * deep;
  const int graded_wave = a.IGRID == 2 && TOL < 2.0e-8 ? 1 : 0;
  // Equal nuclei: the charge's term from Z·RZ/2 = 9.5 (8.5 with the graded
  // map's extra wave: O2 at 9.13).
  const double onset = graded_wave == 1 ? 8.5 : 9.5;
  const int n =
      graded_wave +
      (m.equal_nuclei ? 6 + up(std::log10(4.0e-5 / TOL) / 2.3) + 1 + up(0.5 * (zmax * RZ / 2 - onset))
                      : 10 + up(std::log10(2.9e-6 / TOL) * (1 + 0.1 * heavy)) + 1 + up(heavy_waves) + up(2.0 * deep));
  a.most = continuum ? kContinuumWaves : 0;
  a.n = a.most > 0 ? std::min(n, a.most) : n;
  if (continuum) hb = std::min(hb, 0.2 / RZ);
  a.EPS = TOL / 10.0;
  if (npw > 0) a.n = waves_held(m, npw, file);
  // The points in double precision: a short bond puts the outer end at
  // ξ = 2r/RZ, and the count (ξ over the step) can pass any integer range.
  // A grid that tovrel's workspace cannot hold (its slices take a fixed
  // number of words per point for these shells, at most kNUVM words) is
  // refused, naming what asks for it, never cut back into a grid that
  // misses the molecule.  Past the program's default the run is given the
  // words it needs (NUVM), up to half of this machine's memory.
  const double points = std::max(400.0, 5 + x_range(a) / hb + 1);
  const int NSH = static_cast<int>(m.shells.size());
  const long allowed = run_words_allowed();
  const double most = points_held(NSH, a.n, allowed);
  const std::string holds = "more than tovrel's workspace holds with " + std::to_string(NSH) + " shells of " +
                            std::to_string(a.n) + " partial waves (" + std::to_string(allowed) +
                            " words, half of this machine's memory: NB ≤ " + std::to_string(static_cast<long>(most)) +
                            ")";
  if (nb > 0) {
    if (nb > most) {
      io::stop("file '" + file + "', group &MOL, variable NB: NB = " + std::to_string(nb) + " points, " + holds +
               "; give fewer points (NB) or fewer partial waves (NPW)");
    }
    a.NB = nb;
  } else if (!(points <= most)) {
    const bool short_bond = RZ * zmax < 0.1;
    std::ostringstream why;
    why << "file '" << file << "', group &MOL, variable "
        << (short_bond ? "RZ"
            : npw > 0  ? "NPW"
                       : "TOL")
        << ": RZ = " << RZ << " bohr and TOL = " << TOL << " hartree ask for a grid of " << std::setprecision(3)
        << points << " points to " << std::setprecision(6) << rb << " bohr (outer end ξ = " << std::setprecision(4)
        << a.RP2 << ", outer step " << hb << "), " << holds << "; give "
        << (npw > 0 ? "fewer partial waves (NPW) or " : "") << "a larger TOL"
        << (short_bond ? ", or a larger RZ (a bond this short is better described as the united atom)" : "");
    io::stop(why.str());
  } else {
    a.NB = even_points(points);
  }
  std::ostringstream why;
  why << "TOL = " << TOL << " hartree: " << a.n << " partial waves per shell ("
      << (m.equal_nuclei ? "equal" : "unequal") << " nuclei), NB = " << a.NB << " points, RP = " << fixed(a.RP1, 4)
      << ", " << fixed(a.RP2, 2) << " (outer end " << fixed(a.RP2 * RZ / 2, 1) << " bohr), EPS = " << a.EPS;
  if (a.IGRID == 2) why << ", outer points graded towards the axis (IGRID = 2)";
  if (npw == 0 && a.most > 0 && n > a.most) {
    why << "; " << n << " partial waves asked, " << a.most
        << " the most a shell takes in the continuum program: TOL may not be reached, see CHECK = 1";
  }
  if (npw > 0) why << "; NPW = " << npw << " given";
  if (nb > 0) why << "; NB = " << nb << " given";
  if (rb_given > 0.0) why << "; RB = " << rb_given << " given";
  a.why = why.str();
  return a;
}

double carried_momentum(const Accuracy& a, double RZ) {
  const double h = x_range(a) / (a.NB - 6);
  return 2 * std::acos(-1.0) / (10 * h * RZ / 2);
}

Accuracy refined_accuracy(const Accuracy& a, const Molecule& m, double end) {
  Accuracy r = a;
  r.n = a.n + (m.equal_nuclei ? 2 : 4);
  if (a.most > 0) r.n = std::min(r.n, a.most);
  r.RP2 = a.RP2 * 1.2;
  if (end > 0.0 && !m.RZ.empty()) r.RP2 = std::max(r.RP2, std::round(2.0 * end / m.RZ[0] * 100.0) / 100.0);
  // The inner region shrunk as the outer step: its series errs as
  // (RP(1) − 1)^4, Numerov as h^4, so both fall by 1.5^4 on this grid.
  r.RP1 = std::round((1.0 + (a.RP1 - 1.0) / kRefine) * 1e5) / 1e5;
  // The outer step over kRefine on the longer range, and on the written map
  // at most so large that the step in ξ at the junction over RP(1) − 1
  // falls by kRefine too (the start of the outer sweep errs as that ratio
  // to the fourth; on the graded map it errs as the step).
  const double h = x_range(a) / (a.NB - 6);
  const double hr = a.IGRID == 2
                        ? h / kRefine
                        : std::min(h / kRefine, start_ratio(h, a.RP1) / kRefine * (r.RP1 - 1.0) * dxdxi(r.RP1, 1));
  r.NB = even_points(6 + x_range(r) / hr);
  r.EPS = std::max(a.EPS / 10, kCheckEps);
  std::ostringstream why;
  why << r.n << " partial waves, NB = " << r.NB << ", RP = " << fixed(r.RP1, 5) << ", " << fixed(r.RP2, 2)
      << ", EPS = " << r.EPS;
  r.why = why.str();
  return r;
}

}  // namespace diatom

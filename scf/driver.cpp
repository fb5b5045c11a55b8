#include "scf/driver.hpp"

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/gaunt_table.hpp"
#include "lib/lapack.hpp"
#include "lib/lib.hpp"
#include "scf/accelerate.hpp"
#include "scf/answers.hpp"
#include "scf/energy.hpp"
#include "scf/equations.hpp"
#include "scf/grid.hpp"
#include "scf/update.hpp"

namespace scf {

namespace {

// The sweeps of the superlinear search (ISRCH = 0): damped by kDamping while
// a sweep moves the energies by kDiisStart hartree or more, extrapolated by
// DIIS once they move by less.  CO: 21 sweeps (27 with plain sweeps before
// DIIS, which started at 0.5; factors 0.6–0.8 and starts 1–2 hartree give
// 21–24); N2 unchanged at 13.
constexpr double kDamping = 0.7;
constexpr double kDiisStart = 1.0;

// A title line as the 65-character variable holds it: blank-padded on the right.
std::string title(const std::string& t) {
  std::string s = t.substr(0, 65);
  s.resize(65, ' ');
  return s;
}

void write_header(io::Unit& u, const std::array<std::string, 30>& PRT, int NSH, lib::CIMat MLN, double Z1, double Z2,
                  double RZ, lib::CMat AHF, lib::CMat BHF, int NA, int NB, lib::CVec RP, double EPS) {
  io::fwrite(u,
             io::Format("(3(A65,/),' NUCLEI CHARGES:       Z1 =',F6.3,/,23X,'Z2 =',F6.3,/,/,"
                        "' INTERNUCLEI DISTANCE: RZ  =',F7.4,/,' NUMBER OF THE SHELLS: NSH =',I3,/,/,"
                        "' IDENTIFICATION OF THE SHELLS :',/,/,5X,'N SHELL    M    L0   N OF P.W.',/)"),
             title(PRT[0]), title(PRT[1]), title(PRT[2]), Z1, Z2, RZ, NSH);
  for (int I = 1; I <= NSH; ++I) io::fwrite(u, io::Format("(4X,I4,3X,3(I6))"), I, MLN(1, I), MLN(2, I), MLN(3, I));
  io::fwrite(u, io::Format("(/,' HARTREE-FOCK COEFFICIENTS:')"));
  for (int I = 1; I <= NSH; ++I)
    io::fwrite(u, io::Format("(/,' A(',I2,', *)',3E15.5,/,2(10X,3E15.5,/))"), I, AHF.col(I));
  for (int I = 1; I <= NSH; ++I)
    io::fwrite(u, io::Format("(/,' B(',I2,', *)',3E15.5,/,2(10X,3E15.5,/))"), I, BHF.col(I));
  io::fwrite(u,
             io::Format("(/,/,' INTEGRATION UP TO',10X,'RB =',F7.2,/,' NO. INTEGRATION POINTS     NB =',I5,/,/,"
                        "' ANALITICAL APPROXIMATION :',/,' UP TO',20X,'  RA =',F9.3,/,"
                        "' WITH NUMBER OF POINTS      NA =',I5,/,'   ACCURACY   ',10X,'    EPS=',E10.2,/,"
                        "60('='),/,7X,' R E S U L T S :',/,/,3X,'N SHELL',10X,'ENEGIES')"),
             RP(2) * RZ / 2.0, NB, RP(1), NA, EPS);
}

void console_table(const char* label, lib::CVec v) {
  io::console().line(label);
  io::console().line(io::fstring(io::Format("(5E15.7)"), v));
}

// The η² matrix ⟨L_p M|η²|L_q M⟩ of a shell, as the equations use it.
void eta2_matrix(const RunTables& t, const Shells& s, int J, lib::Fac F, lib::Mat TT) {
  const int n = s.n(J), M = s.M(J), step = t.ISYM == 2 ? 1 : 2;
  lib::VEQC(n * n, 0.0, TT.flat());
  for (int p = 1; p <= n; ++p) {
    const int L = s.L0(J) + (p - 1) * t.ISYM;
    TT(p, p) = eta2_diagonal(L, M, F, t.EXACT);
    if (p + step <= n) TT(p, p + step) = TT(p + step, p) = eta2_next(L, M, F, t.EXACT);
  }
}

// The orbitals of all shells as one vector, and back.
std::vector<double> all_orbitals(const Shells& s) {
  const lib::CVec x = s.X.flat();
  return std::vector<double>(x.begin(), x.end());
}

// Turns back every shell whose orbital changed sign in the sweep that
// started from x_in (the sign of an orbital is free; the extrapolation and
// the damping combine orbitals of one sign).
void align_signs(const RunTables& t, const Shells& s, const std::vector<double>& x_in) {
  for (int J = 1; J <= s.NSH; ++J) {
    const lib::Mat XJ = s.waves(J);
    const long first = static_cast<long>(s.LK(J) - 1) * t.NB, len = static_cast<long>(s.n(J)) * t.NB;
    double ov = 0.0;
    for (long i = 0; i < len; ++i) ov += XJ.flat()(static_cast<int>(i) + 1) * x_in[first + i];
    if (ov < 0.0) lib::VCM1(static_cast<int>(len), -1.0, XJ.flat());
  }
}

// Each shell's norm stored again after its orbital was replaced, and the
// orbital normalised to 1 under MI(2) = 1.
void renormalise(const RunTables& t, const Shells& s, lib::CIVec MI, UpdateState& st, const UpdateSlices& w) {
  std::array<double, 400> tt{};
  for (int J = 1; J <= s.NSH; ++J) {
    const int n = s.n(J);
    const lib::Mat TT(tt.data(), n, n), XJ = s.waves(J);
    eta2_matrix(t, s, J, st.fac(), TT);
    const double C =
        FOVI(n, n, t.NA, t.NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), w.WK.col(1), w.WK.col(2), XJ, XJ);
    s.CN(J) = C;
    if (MI(2) == 1 && C > 0.0) {
      lib::VCM1(t.NB * n, 1.0 / std::sqrt(C), XJ.flat());
      s.CN(J) = 1.0;
    }
  }
}

// Sweep acceleration between two sweeps: records the sweep that started from
// x_in and, unless the last extrapolation made the energies move ten times
// more than the sweep before it, replaces the orbitals by the DIIS extrapolation, each
// shell renormalised (to 1 under MI(2) = 1) and its norm stored.  A shell
// whose sign flipped in the sweep is turned back first.  Returns whether the
// orbitals were replaced.
bool accelerate_sweep(const RunTables& t, const Shells& s, lib::CIVec MI, const std::vector<double>& x_in,
                      bool misbehaved, SweepDiis& diis, UpdateState& st, const UpdateSlices& w) {
  if (misbehaved) {
    diis.reset();
    io::console().line(" extrapolation dropped: the energies moved ten times more than before");
    return false;
  }
  align_signs(t, s, x_in);
  std::vector<double> next;
  if (!diis.extrapolate(x_in, all_orbitals(s), next)) return false;
  const lib::Vec X = s.X.flat();
  for (int i = 1; i <= X.size(); ++i) X(i) = next[i - 1];
  renormalise(t, s, MI, st, w);
  io::console().line(io::lstring(" orbitals extrapolated from", diis.size(), " sweeps"));
  return true;
}

// Rotation of the orbitals of each symmetry among themselves to the
// eigenvectors of their operator in the space they span.  The energy of
// closed shells does not change when orbitals of one symmetry mix, so the
// sweeps fix that mixing only through the small off-diagonal elements
// ⟨φ_I|F|φ_J⟩: near self-consistency nine tenths of a valence shell's change
// in a sweep lies in the span of the other shells of its symmetry (CO: 4σ,
// 5σ), and it decays slowly.  At self-consistency the orbitals are
// eigenfunctions of F, so the rotation leaves that point where it is.  The
// operators of closed shells are one operator; with other coefficients the
// shells see different ones and nothing is rotated.  Shells of a symmetry
// are listed by increasing energy, so the eigenvectors go to them in that
// order; each shell gets its eigenvalue as the start of its next search.
void canonicalise(const RunTables& t, const Shells& s, lib::CIVec MI, lib::CMat AHF, lib::CMat BHF, UpdateState& st,
                  const UpdateSlices& w) {
  std::array<bool, 16> done{};
  for (int J0 = 1; J0 <= s.NSH; ++J0) {
    if (done[J0 - 1] || s.CN(J0) == 0.0) continue;
    std::array<int, 16> g{};
    int k = 0;
    for (int J = J0; J <= s.NSH; ++J)
      if (!done[J - 1] && s.M(J) == s.M(J0) && s.L0(J) == s.L0(J0) && s.n(J) == s.n(J0) && s.CN(J) != 0.0) {
        done[J - 1] = true;
        g[k++] = J;
      }
    if (k < 2) continue;
    const int n = s.n(J0), NB = t.NB;
    const ShellWork sw = w.of(n, NB);
    std::array<double, 256> A{}, B{}, lam{}, row{}, srow{};
    for (int b = 0; b < k; ++b) {
      operator_elements(t, s, g[b], AHF.col(g[b]), BHF.col(g[b]), st, sw, std::span<const int>(g.data(), k),
                        std::span<double>(row.data(), k), std::span<double>(srow.data(), k));
      for (int a = 0; a < k; ++a) {
        A[a + 16 * b] = row[a];
        B[a + 16 * b] = srow[a];
      }
    }
    for (int a = 0; a < k; ++a)
      for (int b = a + 1; b < k; ++b) {
        A[a + 16 * b] = A[b + 16 * a] = 0.5 * (A[a + 16 * b] + A[b + 16 * a]);
        B[a + 16 * b] = B[b + 16 * a] = 0.5 * (B[a + 16 * b] + B[b + 16 * a]);
      }
    const int one = 1, lda = 16, lwork = 256;
    std::array<double, 256> work{};
    int info = 0;
    dsygv_(&one, "V", "U", &k, A.data(), &lda, B.data(), &lda, lam.data(), work.data(), &lwork, &info, 1, 1);
    if (info != 0) continue;
    // New orbital of the b-th shell: Σ_a U(a,b) φ_a.
    const long len = static_cast<long>(n) * NB;
    std::vector<double> old(static_cast<size_t>(k * len));
    for (int a = 0; a < k; ++a) {
      const lib::CVec x = s.waves(g[a]).flat();
      for (long i = 0; i < len; ++i) old[a * len + i] = x(static_cast<int>(i) + 1);
    }
    for (int b = 0; b < k; ++b) {
      const lib::Vec x = s.waves(g[b]).flat();
      for (long i = 0; i < len; ++i) {
        double v = 0.0;
        for (int a = 0; a < k; ++a) v += A[a + 16 * b] * old[a * len + i];
        x(static_cast<int>(i) + 1) = v;
      }
      s.E(g[b]) = lam[b];
    }
    // Normalised at once: the next symmetry's operator is built from them.
    renormalise(t, s, MI, st, w);
    io::console().line(io::lstring(" orbitals of M =", s.M(J0), ", L0 =", s.L0(J0), " rotated among", k, " shells"));
  }
}

// Damped sweep of the rough start: the next start is x_in + β·(x_out − x_in),
// each shell renormalised.  While the energies still move by hartrees, the
// full step of a heteronuclear molecule overshoots: charge swings between
// the centres from sweep to sweep (CO: the O 1s and C 1s energies by 0.5
// hartree a sweep, 5σ between the branch of 4σ and its own).
void damp_sweep(const RunTables& t, const Shells& s, lib::CIVec MI, const std::vector<double>& x_in, double beta,
                UpdateState& st, const UpdateSlices& w) {
  align_signs(t, s, x_in);
  const lib::Vec X = s.X.flat();
  for (int i = 1; i <= X.size(); ++i) X(i) = x_in[i - 1] + beta * (X(i) - x_in[i - 1]);
  renormalise(t, s, MI, st, w);
  io::console().line(io::lstring(" orbitals damped by", beta));
}

}  // namespace

RunTables set_up_grid(int NA, int NB, int MM, lib::CVec RP, int MI1, double Z1, double Z2, double RZ, lib::Mat R,
                      lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Mat G, lib::Vec BZ) {
  RunTables t;
  if (MI1 == 0) COTR0(NA + 1, NB, t.HB, RP, R);
  lib::HAFA0(NA, NB, MM, RP(1), t.HA, R, AA, BB, UU, VV, G, BZ);
  if (MI1 >= 3) BZ(1) = BZ(2) = BZ(3) = 0.0;
  lib::VEVR(NA * NA, UU.flat(), WW.flat());
  double D = 0.0;
  lib::INVM(NA, D, WW);
  t.NA = NA;
  t.NB = NB;
  t.ISYM = (std::fabs(Z1 - Z2) <= 1.0e-5 && std::fabs((Z2 - Z1) * RZ) <= 1.0e-5) ? 2 : 1;
  t.ZP = (Z1 + Z2) * RZ;
  t.ZM = (Z2 - Z1) * RZ;
  t.ZS = Z1 + Z2;
  t.RZ2 = RZ * RZ / 2.0;
  t.RZ3 = RZ * RZ * RZ / 8.0;
  t.R = R;
  t.AA = AA;
  t.BB = BB;
  t.VV = VV;
  t.UU = UU;
  t.WW = WW;
  t.G = G;
  t.BZ = BZ;
  return t;
}

int iterate_shells(const RunTables& t, const Shells& s, lib::CIMat JOR, lib::CIVec MI, double EPS, lib::CMat AHF,
                   lib::CMat BHF, UpdateState& st, const UpdateSlices& w, io::Unit& listing, int max_sweeps) {
  io::Console& con = io::console();
  const int NSH = s.NSH, NB = t.NB;
  std::array<double, 16> EOLD{};
  for (int I = 1; I <= NSH; ++I) EOLD[I - 1] = s.E(I);
  auto change = [&] {
    double d = 0.0;
    for (int I = 1; I <= NSH; ++I) d += std::fabs(EOLD[I - 1] - s.E(I));
    return d;
  };
  // Sweep acceleration (not under the written rules, ISRCH = 1): damped
  // sweeps while the energies move by kDiisStart hartree or more, DIIS from
  // the first sweep that moves them by less.
  SweepDiis diis;
  const bool closed = occupations(s, AHF, BHF).closed && MI(2) == 1;
  std::vector<double> x_in;
  bool extrapolated = false;
  double dE_prev = 0.0;
  for (int sweep = 1;; ++sweep) {
    if (st.ISRCH == 0) x_in = all_orbitals(s);
    if (sweep > max_sweeps) {
      io::stop(io::fstring(io::Format("(' NO SELF-CONSISTENCY AFTER',I5,' SWEEPS: THE ENERGIES STILL MOVE BY',"
                                      "E12.4,' (EPS =',E10.2,')')"),
                           max_sweeps, change(), EPS));
    }
    for (int IS = 1; IS <= NSH; ++IS) {
      console_table("cn = ", s.CN.sub(1, NSH));
      console_table(" E = ", s.E.sub(1, NSH));
      int ISH = IS;
      if (MI(3) == 1) {
        con.line(io::lstring(" I = ", IS));
        ISH = ask_integer("  IS = ? ");
        if (ISH > NSH) io::stop(io::fstring(io::Format("(' IS =',I5,': THERE ARE ONLY',I3,' SHELLS')"), ISH, NSH));
      }
      if (ISH <= 0) break;
      const int NPW = s.n(ISH);
      int MODE = MI(3);
      if (MI(5) == 0 && IS == 1) MODE = 2;
      const ShellWork sw = w.of(NPW, NB);
      DHFSI0(t, s, ISH, MODE, EPS, AHF.col(ISH), BHF.col(ISH), JOR, st, sw, listing);

      const lib::Mat XI = s.waves(ISH);
      const lib::CMat TT = st.tt(NPW);
      auto ov = [&](lib::CMat X1, lib::CMat X2) {
        return FOVI(NPW, NPW, t.NA, NB, t.HA, t.HB, t.RZ3, TT, t.R.col(2), t.R.col(7), w.WK.col(5), w.WK.col(6), X1,
                    X2);
      };
      if (MI(4) == 1) {
        for (int J = 1; J <= NSH; ++J) {
          // A shell without an orbital yet has nothing to be orthogonal to.
          if (J == ISH || JOR(J, ISH) != 1 || s.CN(J) == 0.0) continue;
          const lib::Mat XJ = s.X.colsFrom(s.LK(J), NPW);
          const double O = ov(XI, XJ);
          con.line(io::lstring(" overlap, CN(ISH), CN(J) =", O, s.CN(ISH), s.CN(J)));
          for (int p = 1; p <= NPW; ++p) lib::VSM2(NB, -O / s.CN(J), XJ.col(p), XI.col(p));
          const double O2 = ov(XI, XJ);
          s.CN(ISH) = ov(XI, XI);
          con.line(io::lstring(" after orthogonalisation:", O2, s.CN(ISH)));
        }
      }
      if (!(s.CN(ISH) > 0.0) || !std::isfinite(s.CN(ISH))) {
        io::stop(io::fstring(io::Format("(' SHELL',I3,' HAS NO NORM AFTER ITS UPDATE: CN =',E12.4)"), ISH, s.CN(ISH)));
      }
      if (MI(2) == 1) {
        const double c = 1.0 / std::sqrt(s.CN(ISH));
        s.CN(ISH) = 1.0;
        lib::VCM1(NB * NPW, c, XI.flat());
      }
      con.line(" Mi(3) -?");
    }
    console_table("cn = ", s.CN.sub(1, NSH));
    console_table(" E = ", s.E.sub(1, NSH));
    const double dE = change();
    con.line(io::lstring(" sweep", sweep, " change of the energies", dE));
    if (dE < EPS) {
      con.line(io::lstring(" self-consistent after", sweep, " sweeps"));
      return sweep;
    }
    for (int I = 1; I <= NSH; ++I) EOLD[I - 1] = s.E(I);
    if (st.ISRCH == 0 && (dE < kDiisStart || diis.size() > 0)) {
      if (closed) canonicalise(t, s, MI, AHF, BHF, st, w);
      const bool misbehaved = extrapolated && dE > 10.0 * dE_prev;
      extrapolated = accelerate_sweep(t, s, MI, x_in, misbehaved, diis, st, w);
    } else if (st.ISRCH == 0 && sweep >= 2) {
      // (The first sweep only places the shells on their states.)
      damp_sweep(t, s, MI, x_in, kDamping, st, w);
    }
    dE_prev = dE;
  }
}

// The self-consistent iteration: each sweep solves every shell once in the
// field of the present orbitals of all shells; the sweeps end when the
// orbital energies move by less than EPS in sum.  The accuracy is that of
// the grid (Numerov on the outer region, the series on the inner one) and of
// the partial-wave and multipole cut-offs.
void DMS_00_1(int NSH, int NA, int NB, int MM, int /*IOS*/, lib::CIMat MLN, lib::CIVec LK, lib::CIMat JOR, lib::IVec MI,
              double Z1, double Z2, double RZ, double EPS, double /*FCC*/, lib::CVec RP, lib::CMat AHF, lib::CMat BHF,
              lib::Mat AA, lib::Mat BB, lib::Mat UU, lib::Mat VV, lib::Mat WW, lib::Vec E, lib::Vec CN, lib::Vec WC,
              lib::Vec CX, const std::array<std::string, 30>& PRT, lib::Mat R, lib::Mat X, lib::Vec PD, lib::Vec PX,
              lib::Mat WK, lib::Mat XN, lib::Mat XE, io::Unit& listing, io::Unit& result, const RunOptions& options) {
  std::array<double, 2 * 16> G{};
  std::array<double, 5> BZ{};
  RunTables t = set_up_grid(NA, NB, MM, RP, MI(1), Z1, Z2, RZ, R, AA, BB, UU, VV, WW, lib::Mat(G.data(), 2, MM),
                            lib::Vec(BZ.data(), 5));
  t.EXACT = options.EXACT;
  write_header(listing, PRT, NSH, MLN, Z1, Z2, RZ, AHF, BHF, NA, NB, RP, EPS);
  // The first shell starts from −(Z1+Z2)^1.5/2 unless it was read with an
  // orbital (a restart keeps the energy of its file).
  if (CN(1) == 0.0) E(1) = -0.5 * std::pow(Z1 + Z2, 1.5);

  const Shells s{NSH, MLN, LK, X, E, CN};
  UpdateState st;
  st.ISRCH = options.ISRCH;
  // The angular coefficients of all sweeps, tabulated once.
  lib::DEFA(kFactorials - 1, lib::VecView<double, 0>(st.F.data(), kFactorials));
  const AngularRange range = angular_range(s, t.ISYM);
  const lib::GauntTable angular(range.LMAX, range.MMAX, st.fac(), lib::Build::scf);
  t.angular = &angular;
  const UpdateSlices slices{PD, PX, WK, XN, XE, CX, WC};
  iterate_shells(t, s, JOR, MI, EPS, AHF, BHF, st, slices, listing);
  io::console().line(io::lstring(" energy trials in the run", st.trials));

  for (int I = 1; I <= NSH; ++I) io::fwrite(listing, io::Format("(4X,I3,7X,E16.8)"), I, E(I));
  lib::WIFB(NSH, NB, MLN, LK, E, CN, X, result);

  // The energy block, after the results table and as the last console lines.
  const TotalEnergy energy = total_energy(t, s, Z1, Z2, RZ, AHF, BHF, st, slices.of(1, NB));
  const std::vector<std::string> lines = energy_lines(energy);
  listing.write_record("");
  for (const std::string& l : lines) listing.write_record(l);
  for (const std::string& l : lines) io::console().line(l);
}

}  // namespace scf

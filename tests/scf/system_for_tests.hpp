// A ground-state system held in memory for the tests: the grid and its
// tables built as the driver builds them, the shells, and work arrays of the
// sizes the entry routine partitions.
#pragma once

#include <array>
#include <cmath>
#include <sstream>
#include <vector>

#include "io/console.hpp"
#include "io/unit.hpp"
#include "lib/angular_coefficients.hpp"
#include "lib/one_electron.hpp"
#include "lib/vector_kernels.hpp"
#include "lib/views.hpp"
#include "scf/equations.hpp"
#include "scf/fast_search.hpp"
#include "scf/run_tables.hpp"
#include "scf/shells.hpp"
#include "scf/sizes.hpp"
#include "scf/update_state.hpp"
#include "scf/work_slices.hpp"

namespace scftest {

using Shell = std::array<int, 3>;  // M, L0, number of partial waves

struct System {
  System(double Z1, double Z2, double RZ, std::vector<Shell> shells, int NA, int NB, double RA, double RB,
         int IGRID = 0)
      : NSH(static_cast<int>(shells.size())), NA(NA), NB(NB) {
    int mmax = 0;
    KMA = 1;
    LK.push_back(1);
    for (const Shell& s : shells) {
      MLN.insert(MLN.end(), s.begin(), s.end());
      mmax = std::max(mmax, s[0]);
      KMA = std::max(KMA, s[2]);
      LK.push_back(LK.back() + s[2]);
    }
    MM = 2 * std::max(1, mmax) + 1;
    NKS = LK.back() - 1;
    R.assign(7 * NB, 0.0);
    AA.assign(NA * MM, 0.0);
    BB.assign(NA * MM, 0.0);
    VV.assign(NA * MM, 0.0);
    UU.assign(NA * (NA + 1), 0.0);
    WW.assign(NA * NA, 0.0);
    G.assign(2 * MM, 0.0);
    BZ.assign(5, 0.0);
    X.assign(static_cast<size_t>(NB) * NKS, 0.0);
    PD.assign(static_cast<size_t>(KMA) * KMA * NB, 0.0);
    PX = PD;
    WK.assign(static_cast<size_t>((KMA + 2) * KMA + 6) * NB, 0.0);
    XN.assign(static_cast<size_t>(2 * KMA) * NB, 0.0);
    XE.assign(static_cast<size_t>(std::max(2 * KMA, KMA + 2)) * NB, 0.0);
    CX.assign(static_cast<size_t>(scf::inner_system_words(NA, KMA)), 0.0);
    WC.assign(static_cast<size_t>(scf::inner_work_words(NA, KMA)), 0.0);
    E.assign(16, 0.0);
    CN.assign(16, 0.0);
    RP = {RA, RB};
    lib::Mat r(R.data(), NB, 7);
    r(NA, 1) = RA;
    r(NB, 1) = RB;
    io::ConsoleRedirect quiet(nullptr, &trace);
    t = scf::set_up_grid(scf::GridSetting{NA, NB, MM, lib::CVec(RP.data(), 2), 0, IGRID}, Z1, Z2, RZ,
                         scf::GridStorage{r, mat(AA, NA, MM), mat(BB, NA, MM), mat(UU, NA, NA + 1), mat(VV, NA, MM),
                                          mat(WW, NA, NA), mat(G, 2, MM), lib::Vec(BZ.data(), 5)});
  }

  static lib::Mat mat(std::vector<double>& v, int m, int n) { return lib::Mat(v.data(), m, n); }

  scf::Shells shells() {
    return scf::Shells{NSH,
                       lib::CIMat(MLN.data(), 3, NSH),
                       lib::CIVec(LK.data(), NSH + 1),
                       mat(X, NB, NKS),
                       lib::Vec(E.data(), 16),
                       lib::Vec(CN.data(), 16)};
  }
  scf::UpdateSlices slices() {
    return scf::UpdateSlices{lib::Vec(PD.data(), static_cast<int>(PD.size())),
                             lib::Vec(PX.data(), static_cast<int>(PX.size())),
                             mat(WK, NB, (KMA + 2) * KMA + 6),
                             mat(XN, NB, 2 * KMA),
                             mat(XE, NB, std::max(2 * KMA, KMA + 2)),
                             lib::Vec(CX.data(), static_cast<int>(CX.size())),
                             lib::Vec(WC.data(), static_cast<int>(WC.size()))};
  }
  scf::ShellWork work(int n) { return slices().of(n, NB); }
  lib::CMat grid() const { return t.R; }
  // The overlap of two functions of n waves on the grid, with the η² matrix
  // of the shell last built.
  double overlap(int n, lib::CMat X1, lib::CMat X2) {
    std::vector<double> S(NB), Y(NB);
    return scf::shell_overlap(t.overlap_grid(), st.tt(n), X1, X2, lib::Vec(S.data(), NB), lib::Vec(Y.data(), NB));
  }
  double xi(int i) const { return t.R(i, 1); }

  int NSH, NA, NB, MM = 3, KMA = 1, NKS = 0;
  std::vector<int> MLN, LK;
  std::vector<double> R, AA, BB, VV, UU, WW, G, BZ, X, PD, PX, WK, XN, XE, CX, WC, E, CN;
  std::array<double, 2> RP{};
  scf::RunTables t;
  scf::UpdateState st;
  scf::FastSearch search;    // the default energy search
  std::ostringstream trace;  // console traces of the routines under test
};

// The one-electron equations of shell ISH alone (no field of other shells):
// lib::one_electron_equations into PD and TT, the source columns cleared.
// EXACT as for lib::eta2_diagonal (1: the closed-form η, η² elements).
inline void one_electron_equations(System& sys, int ISH, int EXACT = 0) {
  scf::Shells s = sys.shells();
  const int n = s.n(ISH), NB = sys.NB;
  scf::ShellWork w = sys.work(n);
  lib::fill(NB * n * n, 0.0, w.PD.flat());
  lib::fill(NB * 2 * n, 0.0, w.XN.colsFrom(1, 2 * n).flat());
  lib::Mat TT = sys.st.tt(n);
  lib::fill(n * n, 0.0, TT.flat());
  lib::OneElectronSetting setting = sys.t.one_electron();
  setting.EXACT = EXACT;
  lib::one_electron_equations(NB, lib::WaveSet{s.M(ISH), s.L0(ISH), n, sys.t.ISYM}, setting, sys.t.R,
                              lib::VecView<double, 0>(sys.st.F.data(), scf::kFactorials), w.WK, TT, w.PD);
}

}  // namespace scftest

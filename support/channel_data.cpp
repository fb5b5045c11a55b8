#include "support/channel_data.hpp"

#include <cmath>

#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/unit.hpp"
#include "lib/orbital_file.hpp"

namespace testsupport {

std::string GroundState::text() const {
  const int nsh = static_cast<int>(shells.size());
  std::string s = "&S00 Z1=" + std::to_string(Z1) + ", Z2=" + std::to_string(Z2) + ", RZ=" + std::to_string(RZ) +
                  ", NSH=" + std::to_string(nsh) + ",\n MLN=";
  for (const auto& sh : shells)
    s += std::to_string(sh.M) + "," + std::to_string(sh.L0) + "," + std::to_string(sh.n) + ", ";
  s += "\n NA=5, NB=" + std::to_string(NB) + ", RP=" + std::to_string(RP1) + "," + std::to_string(RP2) + " /\n";
  std::vector<int> mln, lk{1};
  std::vector<double> e, cn;
  for (const auto& sh : shells) {
    mln.insert(mln.end(), {sh.M, sh.L0, sh.n});
    lk.push_back(lk.back() + sh.n);
    e.push_back(sh.energy);
    cn.push_back(1.0);
  }
  const int cols = lk.back() - 1;
  std::vector<double> x(static_cast<size_t>(NB) * cols);
  for (int i = 0; i < nsh; ++i)
    for (int k = 1; k <= shells[static_cast<size_t>(i)].n; ++k)
      for (int j = 1; j <= NB; ++j)
        x[static_cast<size_t>((lk[static_cast<size_t>(i)] + k - 2) * NB + (j - 1))] = value(i + 1, k, j);
  auto u = io::Unit::to_text("ground state");
  lib::write_orbital_block(nsh, NB, lib::CIMat(mln.data(), 3, nsh), lib::CIVec(lk.data(), nsh + 1),
                           lib::CVec(e.data(), nsh), lib::CVec(cn.data(), nsh), lib::CMat(x.data(), NB, cols), *u);
  return s + u->text();
}

double GroundState::value(int s, int k, int j) const {
  // Decaying, nodeless for the first wave, smaller for the higher waves.
  return std::exp(-0.12 * j) * (1.0 + 0.3 * s) / (k * k) * (1.0 + 0.05 * j * (k - 1));
}

double Channel::value(int IC, int JL, int K, int j) const {
  const double k = P0 + (IC - 1) * DP;
  return std::sin(0.35 * k * j + 0.4 * JL + 0.2 * K + 0.1 * seed) / (K * (1.0 + 0.02 * j));
}

double Channel::extra_value(int d, int K, int j) const {
  return std::exp(-0.08 * j * d) * std::cos(0.3 * K + 0.1 * seed) * j / (10.0 * K);
}

std::string Channel::text(int NB) const {
  auto u = io::Unit::to_text("channel");
  io::lwrite(*u, shell, P0, DP);
  io::fwrite(*u, io::Format("(I5,/,3I4)"), NC, M, L0, NX);
  const io::Format head("(I5,5X,I5,5X,E16.9)"), index("(I7)"), amp("(4E15.6)"), radial("(5E16.9)");
  for (int IC = 1; IC <= NC; ++IC) {
    io::fwrite(*u, head, NL, NX, energy(IC));
    for (int JL = 1; JL <= NL; ++JL) {
      io::fwrite(*u, index, JL);
      std::vector<double> ac, as, col;
      for (int K = 1; K <= NX; ++K) {
        ac.push_back(0.1 * K + 0.01 * JL);
        as.push_back(-0.2 * K + 0.03 * IC);
      }
      io::fwrite(*u, amp, ac);
      io::fwrite(*u, amp, as);
      for (int K = 1; K <= NX; ++K) {
        col.clear();
        for (int j = 1; j <= NB; ++j) col.push_back(value(IC, JL, K, j));
        io::fwrite(*u, radial, col);
      }
    }
  }
  return u->text();
}

std::string Channel::extra_text(int NB) const {
  std::vector<int> mln, lk{1};
  std::vector<double> e, cn;
  for (int d = 1; d <= ND; ++d) {
    mln.insert(mln.end(), {M, L0, NX});
    lk.push_back(lk.back() + NX);
    e.push_back(extra_energy(d));
    cn.push_back(1.0);
  }
  std::vector<double> x(static_cast<size_t>(NB) * static_cast<size_t>(ND * NX) + 1);
  for (int d = 1; d <= ND; ++d)
    for (int K = 1; K <= NX; ++K)
      for (int j = 1; j <= NB; ++j) x[static_cast<size_t>(((d - 1) * NX + K - 1) * NB + j - 1)] = extra_value(d, K, j);
  auto u = io::Unit::to_text("extra");
  lib::write_orbital_block(ND, NB, lib::CIMat(mln.data(), 3, ND), lib::CIVec(lk.data(), ND + 1),
                           lib::CVec(e.data(), ND), lib::CVec(cn.data(), ND), lib::CMat(x.data(), NB, ND * NX), *u);
  return u->text();
}

}  // namespace testsupport

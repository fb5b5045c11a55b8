#include "scf/restart.hpp"

#include <array>
#include <vector>

#include "lib/orbital_file.hpp"
#include "lib/vector_kernels.hpp"
#include "scf/regrid.hpp"

namespace scf {

void start_from_same_grid(const ControlGroup& d, lib::CIVec LK, lib::Vec E, lib::Vec CN, lib::Mat X, io::Unit& file) {
  const int NSH = d.NSH;
  std::array<int, kMaxShells> NW{};
  for (int I = 1; I <= NSH; ++I) NW[static_cast<size_t>(I - 1)] = d.n(I);
  lib::read_orbital_block(d.NB, LK, E, CN, X, file, lib::CIVec(NW.data(), NSH));
}

void start_from_other_grid(const ControlGroup& restart, const ControlGroup& d, lib::CIVec LK, lib::Vec E, lib::Vec CN,
                           lib::Mat X, io::Unit& file) {
  const int NSH = d.NSH;
  std::array<int, kMaxShells + 1> LK1{};
  std::array<int, kMaxShells> NW{};
  LK1[0] = 1;
  for (int I = 1; I <= NSH; ++I) {
    NW[static_cast<size_t>(I - 1)] = restart.n(I);
    LK1[static_cast<size_t>(I)] = LK1[static_cast<size_t>(I - 1)] + restart.n(I);
  }
  const int NB1 = restart.NB;
  std::vector<double> words(static_cast<std::size_t>(NB1) * static_cast<std::size_t>(LK1[NSH] - 1));
  lib::Mat X1(words.data(), NB1, LK1[NSH] - 1);
  lib::read_orbital_block(NB1, lib::CIVec(LK1.data(), NSH), E, CN, X1, file, lib::CIVec(NW.data(), NSH));
  const GridPoints from = grid_points(restart.NA, restart.NB, restart.RP[0], restart.RP[1], restart.IGRID);
  const GridPoints to = grid_points(d.NA, d.NB, d.RP[0], d.RP[1], d.IGRID);
  for (int I = 1; I <= NSH; ++I) {
    for (int k = 1; k <= d.n(I); ++k) {
      lib::Vec col = X.col(LK(I) + k - 1);
      if (k <= restart.n(I)) {
        carry_wave(d.M(I), from, X1.col(LK1[static_cast<size_t>(I - 1)] + k - 1), to, col);
      } else {
        lib::fill(d.NB, 0.0, col);
      }
    }
  }
}

}  // namespace scf

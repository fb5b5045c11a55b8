#include "scf/run_tables.hpp"

#include <cmath>

#include "lib/vector_kernels.hpp"
#include "scf/grid.hpp"

namespace scf {

RunTables set_up_grid(const GridSetting& g, double Z1, double Z2, double RZ, const GridStorage& out) {
  const int NA = g.NA, NB = g.NB;
  RunTables t;
  if (g.MI1 == 0) outer_grid(NA + 1, NB, t.HB, g.RP, out.R, g.IGRID);
  lib::inner_series_tables(NA, NB, g.MM, g.RP(1), t.HA, out.R,
                           lib::SeriesTablesOut{out.G, out.AA, out.BB, out.VV, out.UU, out.BZ});
  if (g.MI1 >= 3) out.BZ(1) = out.BZ(2) = out.BZ(3) = 0.0;
  lib::copy(NA * NA, out.UU.flat(), out.WW.flat());
  double D = 0.0;
  lib::invert_in_place(NA, D, out.WW);
  t.NA = NA;
  t.NB = NB;
  t.ISYM = (std::fabs(Z1 - Z2) <= 1.0e-5 && std::fabs((Z2 - Z1) * RZ) <= 1.0e-5) ? 2 : 1;
  t.ZP = (Z1 + Z2) * RZ;
  t.ZM = (Z2 - Z1) * RZ;
  t.ZS = Z1 + Z2;
  t.RZ2 = RZ * RZ / 2.0;
  t.RZ3 = RZ * RZ * RZ / 8.0;
  t.R = out.R;
  t.AA = out.AA;
  t.BB = out.BB;
  t.VV = out.VV;
  t.UU = out.UU;
  t.WW = out.WW;
  t.G = out.G;
  t.BZ = out.BZ;
  return t;
}

}  // namespace scf

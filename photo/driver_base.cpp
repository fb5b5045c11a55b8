#include "photo/driver.hpp"

#include "lib/lib.hpp"

namespace photo {

void RPHF0(PhotoRun& run, io::Units& units) {
  PhotoDriver driver(run, units, kBaseSizes);
  // The interaction matrix starts cleared.
  lib::VEQC(run.s40.NUR * run.s40.NUR, 0.0, run.U.flat());
  driver.run();
}

}  // namespace photo

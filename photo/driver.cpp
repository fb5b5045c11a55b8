#include "photo/driver.hpp"

#include "io/console.hpp"
#include "io/stop.hpp"

namespace photo {

void RPHF0(PhotoRun& run, io::Units&) {
  io::console().line(std::string(" ") + run.variant->program + ": the photoionisation driver is not built yet");
  io::stop("", 1);
}

void RPHF0A(PhotoRun& run, io::Units&) {
  io::console().line(std::string(" ") + run.variant->program + ": the photoionisation driver is not built yet");
  io::stop("", 1);
}

}  // namespace photo

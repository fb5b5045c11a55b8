// chanfile: continuum channel files for the photoionisation programs.
#include "io/console.hpp"
#include "io/stop.hpp"

int main() {
  return io::run_program([] {
    io::console().line(" chanfile: not built yet");
    io::stop("", 1);
  });
}

#include "io/console.hpp"
#include "io/stop.hpp"

int main() {
  return io::run_program([] { io::console().line(" tovrel: not built yet"); io::stop("", 1); });
}

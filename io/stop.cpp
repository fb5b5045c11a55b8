#include "io/stop.hpp"

#include "io/console.hpp"

namespace io {

void stop(const std::string& message, int status) { throw StopRun(message, status); }

int run_program(const std::function<void()>& body) {
  int status = 0;
  try {
    body();
  } catch (const StopRun& s) {
    if (!s.message().empty()) console().line(s.message());
    status = s.status();
  }
  console().line(kStopLine);
  console().flush();
  return status;
}

}  // namespace io

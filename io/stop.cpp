#include "io/stop.hpp"

#include <iostream>
#include <new>

#include "io/console.hpp"

namespace io {

void stop(const std::string& message, int status) { throw StopRun(message, status); }

int run_program(const std::function<void()>& body) {
  int status = 0;
  // Whatever ends the body, the run ends as a stop: a message, the stop line
  // and a failure status, never an abort.
  try {
    body();
  } catch (const StopRun& s) {
    if (!s.message().empty()) console().line(s.message());
    status = s.status();
  } catch (const std::bad_alloc&) {
    console().line(" not enough memory for this run");
    status = 1;
  } catch (const std::exception& e) {
    console().line(std::string(" the run failed: ") + e.what());
    status = 1;
  } catch (...) {
    console().line(" the run failed on an unexpected error");
    status = 1;
  }
  console().line(kStopLine);
  console().flush();
  if (!console().out()) {
    // The console itself could not be written: say so where it can be seen.
    std::cerr << "the console output could not be written" << std::endl;
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace io

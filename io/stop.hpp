// Program stop.
//
// Every stop of a program of the suite goes through here.  A stop unwinds
// the call stack as an exception, so that open files are flushed and closed
// on the way out, and is turned into the console message and the exit status
// by `run_program` at the program entry.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace io {

// Thrown by `stop`; caught only by `run_program` (and by tests).
class StopRun : public std::exception {
 public:
  StopRun(std::string message, int status) : message_(std::move(message)), status_(status) {}
  const std::string& message() const { return message_; }
  int status() const { return status_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
  int status_;
};

// Stop the program.  `message` (possibly empty) is written on the console
// before the closing line; `status` is the exit status (non-zero for every
// stop on an error, so that a batch script can tell failure from success).
[[noreturn]] void stop(const std::string& message, int status = 1);

// The line written on the console at every end of a program.
inline constexpr const char* kStopLine = "Stop - Program terminated.";

// Run the body of a program: a normal return ends with status 0, a `stop`
// with its own status, any other exception with its message and status 1.
// In every case the console gets the stop line.
int run_program(const std::function<void()>& body);

}  // namespace io

// The console: standard output (unit 6) and standard input.
//
// The console is a platform interface, not program state: there is one per
// process.  Tests redirect it to string streams to script an operator's
// answers and to read what a routine printed.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace io {

class Console {
 public:
  Console();
  // Raw text, with whatever newlines it carries.
  void write(std::string_view text);
  // One line: the text and a newline.
  void line(std::string_view text);
  void flush();
  std::ostream& out() { return *out_; }
  std::istream& in() { return *in_; }

  // Next line of the input without its line end; false at end of input.
  bool read_line(std::string& line);
  // Next line of the input, for an answer the program waits for.  At end of
  // input the run stops with a message naming the question: a batch job
  // whose answer file ran out must not loop or guess.  `why`, when given,
  // says why the question is asked and goes into that stop message, so that
  // a batch run ends on its reason rather than on the question.
  std::string answer(std::string_view question, std::string_view why = {});

  // Point the console at other streams (nullptr restores the standard ones).
  void redirect(std::istream* in, std::ostream* out);

 private:
  std::istream* in_;
  std::ostream* out_;
};

Console& console();

// Restores the standard streams when it goes out of scope (for tests).
class ConsoleRedirect {
 public:
  ConsoleRedirect(std::istream* in, std::ostream* out) { console().redirect(in, out); }
  ~ConsoleRedirect() { console().redirect(nullptr, nullptr); }
  ConsoleRedirect(const ConsoleRedirect&) = delete;
  ConsoleRedirect& operator=(const ConsoleRedirect&) = delete;
};

}  // namespace io

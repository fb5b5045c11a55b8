#include "io/console.hpp"

#include <iostream>

#include "io/stop.hpp"

namespace io {

Console::Console() : in_(&std::cin), out_(&std::cout) {}

void Console::write(std::string_view text) { out_->write(text.data(), static_cast<std::streamsize>(text.size())); }

void Console::line(std::string_view text) {
  write(text);
  out_->put('\n');
}

void Console::flush() { out_->flush(); }

bool Console::read_line(std::string& line) {
  out_->flush();
  if (!std::getline(*in_, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::string Console::answer(std::string_view question, std::string_view why) {
  std::string line;
  if (!read_line(line)) {
    stop((why.empty() ? "" : std::string(why) + "; ") + "end of console input while waiting for an answer to \"" +
         std::string(question) + "\"");
  }
  return line;
}

void Console::redirect(std::istream* in, std::ostream* out) {
  in_ = in ? in : &std::cin;
  out_ = out ? out : &std::cout;
}

Console& console() {
  static Console c;
  return c;
}

}  // namespace io

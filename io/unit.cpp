#include "io/unit.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "io/console.hpp"
#include "io/stop.hpp"

namespace io {

std::string trim_right(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return std::string(s.substr(0, n));
}

std::unique_ptr<Unit> Unit::from_text(std::string name, std::string text, int number) {
  return std::make_unique<Unit>(number, std::move(name), Mode::read,
                                std::make_unique<std::istringstream>(std::move(text)), nullptr);
}

std::unique_ptr<Unit> Unit::to_text(std::string name, int number) {
  auto s = std::make_unique<std::ostringstream>();
  auto* raw = s.get();
  auto u = std::make_unique<Unit>(number, std::move(name), Mode::write, nullptr, std::move(s));
  u->memory_ = raw;
  return u;
}

Unit::Unit(int number, std::string name, Mode mode, std::unique_ptr<std::istream> in, std::unique_ptr<std::ostream> out)
    : number_(number), name_(std::move(name)), mode_(mode), in_(std::move(in)), out_(std::move(out)) {}

Unit::~Unit() {
  // A unit that is not closed explicitly goes away during the unwinding of
  // a stop: write what can be written, but never throw from here.
  if (closed_) return;
  std::ostream* os = mode_ == Mode::console ? &console().out() : out_.get();
  if (!os) return;
  if (line_open_) os->put('\n');
  os->flush();
}

void Unit::close() {
  if (closed_) return;
  if (mode_ == Mode::write) {
    if (line_open_) write_record("");
    out_->flush();
    if (auto* f = dynamic_cast<std::ofstream*>(out_.get())) {
      if (*f) f->close();
    }
    if (!*out_) {
      closed_ = true;  // nothing more can be written: do not try again on the way out
      fail(std::string("the data did not all reach the file") +
           (errno ? std::string(": ") + std::strerror(errno) : ""));
    }
  }
  closed_ = true;
}

std::string Unit::where() const {
  if (mode_ == Mode::console) return "the console";
  std::string w = "file '" + name_ + "'";
  if (number_ != 0) w += " (unit " + std::to_string(number_) + ")";
  return w;
}

void Unit::write_record(std::string_view text, bool keep_open) {
  std::ostream* os = mode_ == Mode::console ? &console().out() : out_.get();
  if (!os) fail("write on a unit opened for reading");
  if (closed_) fail("write on a closed unit");
  errno = 0;
  os->write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!keep_open) os->put('\n');
  line_open_ = keep_open;
  if (!*os) {
    if (mode_ != Mode::console) closed_ = true;
    fail(std::string("write failed") + (errno ? std::string(": ") + std::strerror(errno) : ""));
  }
}

std::string Unit::text() const { return memory_ ? memory_->str() : std::string(); }

void Unit::flush() {
  if (mode_ == Mode::console)
    console().flush();
  else if (out_)
    out_->flush();
}

bool Unit::next_record(std::string& record) {
  if (mode_ == Mode::console) {
    if (!console().read_line(record)) return false;
    ++records_read_;
    return true;
  }
  if (!in_) fail("read on a unit opened for writing");
  if (!std::getline(*in_, record)) return false;
  if (!record.empty() && record.back() == '\r') record.pop_back();
  ++records_read_;
  return true;
}

std::string Unit::record(std::string_view what) {
  std::string r;
  if (!next_record(r)) {
    stop("end of " + where() + " after record " + std::to_string(records_read_) + " while reading " +
         std::string(what));
  }
  return r;
}

void Unit::fail(std::string_view what) const {
  std::string msg = where();
  if (mode_ != Mode::write && records_read_ > 0) msg += ", record " + std::to_string(records_read_);
  stop(msg + ": " + std::string(what));
}

Units::Units() { units_[6] = std::make_unique<Unit>(6, "console", Unit::Mode::console, nullptr, nullptr); }

Unit& Units::open_old(int number, const std::string& file) {
  if (is_open(number)) close(number);
  if (file.empty()) stop("no file name given for unit " + std::to_string(number));
  auto in = std::make_unique<std::ifstream>(file);
  if (!*in) {
    stop("cannot open file '" + file + "' on unit " + std::to_string(number) +
         " (status old): " + std::strerror(errno));
  }
  auto u = std::make_unique<Unit>(number, file, Unit::Mode::read, std::move(in), nullptr);
  return *(units_[number] = std::move(u));
}

Unit& Units::open_new(int number, const std::string& file) {
  if (is_open(number)) close(number);
  if (file.empty()) stop("no file name given for unit " + std::to_string(number));
  // Create the file exclusively: an existing file is never overwritten.
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) {
    if (errno == EEXIST) {
      stop("file '" + file + "' already exists; unit " + std::to_string(number) +
           " is opened with status new and an existing file is not overwritten");
    }
    stop("cannot create file '" + file + "' on unit " + std::to_string(number) + ": " + std::strerror(errno));
  }
  ::close(fd);
  auto out = std::make_unique<std::ofstream>(file);
  if (!*out) stop("cannot write file '" + file + "' on unit " + std::to_string(number));
  auto u = std::make_unique<Unit>(number, file, Unit::Mode::write, nullptr, std::move(out));
  return *(units_[number] = std::move(u));
}

Unit& Units::attach(std::unique_ptr<Unit> unit) {
  int n = unit->number();
  return *(units_[n] = std::move(unit));
}

Unit& Units::operator()(int number) {
  auto it = units_.find(number);
  if (it == units_.end()) stop("unit " + std::to_string(number) + " is not open");
  return *it->second;
}

bool Units::is_open(int number) const { return units_.count(number) != 0; }

void Units::close(int number) {
  if (number == 6) return;
  auto it = units_.find(number);
  if (it == units_.end()) return;
  std::unique_ptr<Unit> u = std::move(it->second);
  units_.erase(it);
  u->close();
}

void Units::close_all() {
  while (!units_.empty() && (units_.size() > 1 || !units_.count(6))) {
    auto it = units_.begin();
    if (it->first == 6) ++it;
    close(it->first);
  }
}

void Units::require_new(const std::vector<std::pair<int, std::string>>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& [number, file] = files[i];
    if (file.empty()) stop("no file name given for unit " + std::to_string(number));
    if (::access(file.c_str(), F_OK) == 0) {
      stop("file '" + file + "' already exists; unit " + std::to_string(number) +
           " is opened with status new and an existing file is not overwritten");
    }
    for (size_t j = 0; j < i; ++j) {
      if (files[j].second == file) {
        stop("units " + std::to_string(files[j].first) + " and " + std::to_string(number) + " would both write file '" +
             file + "'");
      }
    }
  }
}

}  // namespace io

// Units: sequential formatted files opened by name, and the console.
//
// A unit is read or written record by record.  Files are opened either as
// old (the file must exist; it is read) or as new (the file must not exist;
// it is created and written).  An existing file is never overwritten.
// Failures stop the run with a message that names the unit and the file.
#pragma once

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace io {

class Unit {
 public:
  enum class Mode { read, write, console };

  // A unit reading the lines of `text` (tests, and data already in memory).
  static std::unique_ptr<Unit> from_text(std::string name, std::string text, int number = 0);
  // A unit writing into memory; `text()` returns what was written.
  static std::unique_ptr<Unit> to_text(std::string name, int number = 0);

  Unit(int number, std::string name, Mode mode, std::unique_ptr<std::istream> in, std::unique_ptr<std::ostream> out);
  ~Unit();
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  int number() const { return number_; }
  const std::string& name() const { return name_; }
  Mode mode() const { return mode_; }

  // Output.  `text` may hold several lines; the record is ended with a
  // newline unless `keep_open`, in which case the next record continues the
  // same line (the $ mark of a format).
  void write_record(std::string_view text, bool keep_open = false);
  // What a memory unit has received so far.
  std::string text() const;
  void flush();

  // Input.  The next record without its line end; false at end of file.
  bool next_record(std::string& record);
  // The next record; at end of file the run stops with a message naming the
  // file and `what` was being read.
  std::string record(std::string_view what);
  // Number of records read so far (the number of the current record).
  long records_read() const { return records_read_; }
  // Stop the run with `what` and the file and record it concerns.
  [[noreturn]] void fail(std::string_view what) const;
  // A description such as "file 'x.dat' (unit 21)", for messages.
  std::string where() const;
  // Files the programs write themselves hold every numeric field of a
  // formatted record in full; once set, a short or blank field stops the run
  // instead of reading as zero.
  void require_whole_fields() { whole_fields_ = true; }
  bool whole_fields() const { return whole_fields_; }

  // Flush and close an output unit, stopping the run with the file named
  // when the data did not all reach it (a full disk).  Reading units just
  // close.
  void close();

 private:
  int number_;
  std::string name_;
  Mode mode_;
  std::unique_ptr<std::istream> in_;
  std::unique_ptr<std::ostream> out_;
  std::ostringstream* memory_ = nullptr;
  long records_read_ = 0;
  bool line_open_ = false;
  bool whole_fields_ = false;
  bool closed_ = false;
};

// The table of open units of a program run.
class Units {
 public:
  Units();
  // Open `file` on unit `number` for reading; it must exist.
  Unit& open_old(int number, const std::string& file);
  // Create `file` on unit `number` for writing; it must not exist.
  Unit& open_new(int number, const std::string& file);
  // Bind a memory unit (tests).
  Unit& attach(std::unique_ptr<Unit> unit);
  // The open unit `number` (6 is the console).
  Unit& operator()(int number);
  bool is_open(int number) const;
  // Close a unit; an output unit is flushed and checked (see Unit::close).
  void close(int number);
  // Close every unit, the output units checked: the last step of a run.
  void close_all();
  // Stop before anything is written when one of the files a run is about
  // to create (unit, name) is unnamed or exists already, or when two of them
  // have one name: a run checks all its outputs before it creates the first.
  static void require_new(const std::vector<std::pair<int, std::string>>& files);
  Unit& console() { return (*this)(6); }

 private:
  std::map<int, std::unique_ptr<Unit>> units_;
};

// Fortran character variables hold blank-padded text; file names and titles
// are used without their trailing blanks.
std::string trim_right(std::string_view s);

}  // namespace io

#include "diatom/text_files.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/stop.hpp"
#include "io/unit.hpp"

namespace diatom {

namespace fs = std::filesystem;

std::string read_text_file(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) io::stop("diatom: cannot read '" + file + "'");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void replace_file(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  fs::remove(tmp);
  {
    io::Units u;
    io::Unit& w = u.open_new(12, tmp);
    std::string t = text;
    if (!t.empty() && t.back() == '\n') t.pop_back();
    w.write_record(t);
    u.close(12);
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) io::stop("diatom: cannot write '" + path + "': " + ec.message());
}

}  // namespace diatom

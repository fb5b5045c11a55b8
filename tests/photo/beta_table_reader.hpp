// Rows of the table of asymmetry parameters that xsect writes, by block
// heading ("HF shell 1", "RPA channel 2"); "nan" entries read as NaN.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

inline std::map<std::string, std::vector<std::vector<double>>> read_beta_table(const std::string& text) {
  std::map<std::string, std::vector<std::vector<double>>> blocks;
  std::istringstream in(text);
  std::string line, head;
  while (std::getline(in, line)) {
    if (line.rfind("# HF ", 0) == 0 || line.rfind("# RPA ", 0) == 0) {
      head = line.substr(2);
      const size_t cut = head.find(" (");
      if (cut != std::string::npos) head = head.substr(0, cut);
      continue;
    }
    if (line.empty() || line[0] == '#' || head.empty()) continue;
    std::istringstream r(line);
    std::vector<double> row;
    std::string v;
    while (r >> v) row.push_back(std::stod(v));
    blocks[head].push_back(row);
  }
  return blocks;
}

}  // namespace testsupport

// The sizes of the driver's own tables: they grow with the channels read,
// zero-filled and never shrunk, and together with the workspace they are
// held to the NUVM words of group S40; the order NUR of the RPA matrix must
// hold every channel's functions.
#include <algorithm>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/stop.hpp"
#include "photo/driver.hpp"

namespace photo {

long PhotoDriver::table_words_now() const {
  size_t n = 0;
  const std::vector<double>& AC = r_.AC;
  const std::vector<double>& AS = r_.AS;
  for (const std::vector<double>* v : {&AC, &AS, &EEt, &CNt, &CSRt, &CSVt, &STVt, &DRt, &DVt, &Zt}) n += v->size();
  for (const std::vector<int>* v : {&LEt, &LE2t}) n += v->size();
  return static_cast<long>(n);
}

void PhotoDriver::check_table_words(long more, const std::string& what) const {
  const long beside = table_words_now() + more, limit = r_.s40.NUVM;
  if (r_.K[12] + beside <= limit) return;
  io::console().line("the " + what + " take the driver's tables to " + std::to_string(beside) +
                     " words beside the workspace of " + std::to_string(r_.K[12]) + "; NUVM = " +
                     std::to_string(limit) + " (group &S40) allows no more: raise NUVM, or cap the energies (IC)");
  io::stop(" GIVE ME MEMORY");
}

void PhotoDriver::grow_tables(long groups, long functions) {
  const long f = std::max(groups, static_cast<long>(functions_));
  const long d = std::max({functions, static_cast<long>(NUR), static_cast<long>(DRt.size())});
  const long more = (f - functions_) * (2 * kMaxSolutions + 1) + 2 * (d - static_cast<long>(DRt.size()));
  if (more == 0) return;
  check_table_words(more, "cross sections and amplitudes of " + std::to_string(functions / 2) + " functions");
  functions_ = static_cast<int>(f);
  for (std::vector<double>* v : {&CSRt, &CSVt}) v->resize(static_cast<size_t>(kMaxSolutions) * functions_);
  STVt.resize(static_cast<size_t>(functions_));
  DRt.resize(static_cast<size_t>(d));
  DVt.resize(static_cast<size_t>(d));
}

void PhotoDriver::check_rpa_room(int ICH, long functions) const {
  if (IRP != 0 && 2 * functions > NUR) {
    io::stop("channel " + std::to_string(ICH) + ": the RPA matrix needs order 2·" + std::to_string(functions) + " = " +
             std::to_string(2 * functions) + ", more than NUR = " + std::to_string(NUR) + " of group &S40 (file '" +
             units_(3).name() + "')");
  }
}

}  // namespace photo

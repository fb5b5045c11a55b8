// List-directed records: free-form values separated by blanks, commas or
// line ends.
#pragma once

#include <string>
#include <vector>

#include "io/format.hpp"

namespace io {

// Text of one list-directed output record: each value preceded by a blank;
// integers right-justified in 12 columns, reals as the shortest text that
// reads back to the same double, strings as they are.
std::string list_text(const std::vector<OutItem>& items);

// Read values into the items, taking as many records as needed.  A value
// may carry a repeat count (r*value); an empty value between two commas
// leaves its item unchanged, and a slash ends the record early.  The rest of
// the last record read is skipped.  A value that does not fit its item stops
// the run with the file and record.
void list_read(Unit& unit, const std::vector<InItem>& items);

template <class... A>
void lwrite(Unit& u, const A&... a) {
  u.write_record(list_text(out_items(a...)));
}

template <class... A>
std::string lstring(const A&... a) {
  return list_text(out_items(a...));
}

template <class... A>
void lread(Unit& u, A&&... a) {
  std::vector<InItem> v;
  (detail::push_in(v, std::forward<A>(a)), ...);
  list_read(u, v);
}

}  // namespace io

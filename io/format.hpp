// Edit-descriptor formatting of records.
//
// A `Format` is parsed once from its text, e.g. "(4X,I3,7X,E16.8)", and then
// used to write or read records:
//   Iw, Iw.m        integer, right-justified in w columns
//   Fw.d            fixed point with d decimals
//   Ew.d, Dw.d      0.ddddE+xx form; a three-digit exponent drops the letter
//   Aw, A           characters
//   nX              n blanks (on input: skip n columns)
//   /               new record
//   'text', "text"  literal text (output only)
//   n(...)          repeated group
//   $               leave the line open when output stops there
//   :               stop here when no items remain
// Output stops at the first data descriptor for which no item remains (or at
// the end of the format).  A record with more items than its format starts a
// new line and reuses the format from the last top-level group (with its
// repeat count), or from the start when the format has no group.  Input
// reads fields by column position; blanks inside a numeric field are
// ignored, an all-blank field is zero, and both exponent forms (E+02 and
// +102) are accepted.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "io/unit.hpp"

namespace io {

using OutItem = std::variant<long, double, std::string>;
using InItem = std::variant<int*, double*, std::string*>;

class Format {
 public:
  struct Node;
  explicit Format(std::string_view text);
  ~Format();
  Format(const Format&);
  Format& operator=(const Format&);

  const std::string& text() const { return text_; }
  // The text of one record; `keep_open` tells whether it ended at a $ mark.
  std::string write(const std::vector<OutItem>& items, bool* keep_open = nullptr) const;
  // Read the items from the next record(s) of `unit`.
  void read(Unit& unit, const std::vector<InItem>& items) const;

 private:
  std::string text_;
  std::vector<Node>* nodes_;
  size_t revert_ = 0;
  bool has_data_ = false;
};

// Single fields, as the descriptors above write them.
std::string edit_I(long v, int w, int m = -1);
std::string edit_F(double v, int w, int d);
std::string edit_E(double v, int w, int d, char letter = 'E');
std::string edit_A(std::string_view s, int w);
// Parse one numeric input field (blanks ignored; d implied decimals when the
// field has no decimal point).  Returns false on a malformed field.
bool parse_real_field(std::string_view field, int d, double& value);
bool parse_int_field(std::string_view field, long& value);

namespace detail {

// Out of line, so that the growth of the item list is compiled once.
void push_item(std::vector<OutItem>& v, long x);
void push_item(std::vector<OutItem>& v, double x);
void push_item(std::vector<OutItem>& v, std::string x);

template <class T>
concept NumberRange = requires(const T& t) {
  {*t.begin()};
  {t.end()};
}
&&(std::is_arithmetic_v<std::remove_cvref_t<decltype(*std::declval<const T&>().begin())>>);

template <class T>
void push_out(std::vector<OutItem>& v, const T& a) {
  if constexpr (std::is_same_v<T, bool>) {
    static_assert(!std::is_same_v<T, bool>, "no logical items");
  } else if constexpr (std::is_integral_v<T>) {
    push_item(v, static_cast<long>(a));
  } else if constexpr (std::is_floating_point_v<T>) {
    push_item(v, static_cast<double>(a));
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    push_item(v, std::string(std::string_view(a)));
  } else if constexpr (NumberRange<T>) {
    for (const auto& x : a) push_out(v, x);
  } else {
    static_assert(sizeof(T) == 0, "unsupported output item");
  }
}

template <class T>
void push_in(std::vector<InItem>& v, T&& a) {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<U, int> || std::is_same_v<U, double> || std::is_same_v<U, std::string>) {
    static_assert(!std::is_const_v<std::remove_reference_t<T>>, "input item must be writable");
    v.emplace_back(&a);
  } else {
    // A view over writable storage: its elements are writable.
    for (auto& x : a) push_in(v, x);
  }
}

}  // namespace detail

template <class... A>
std::vector<OutItem> out_items(const A&... a) {
  std::vector<OutItem> v;
  (detail::push_out(v, a), ...);
  return v;
}

// Write one record with format `f`: scalars, strings and ranges of numbers
// (vector views, std::vector) are accepted as items.
template <class... A>
void fwrite(Unit& u, const Format& f, const A&... a) {
  bool open = false;
  std::string text = f.write(out_items(a...), &open);
  u.write_record(text, open);
}

// The text that `fwrite` would write (without the record end).
template <class... A>
std::string fstring(const Format& f, const A&... a) {
  return f.write(out_items(a...));
}

// Read one record (or several, as the format says) into scalars and views.
template <class... A>
void fread(Unit& u, const Format& f, A&&... a) {
  std::vector<InItem> v;
  (detail::push_in(v, std::forward<A>(a)), ...);
  f.read(u, v);
}

}  // namespace io

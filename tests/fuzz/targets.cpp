#include "targets.hpp"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/format.hpp"
#include "io/list_directed.hpp"
#include "io/stop.hpp"
#include "lib/channel_file.hpp"
#include "lib/orbital_file.hpp"
#include "scf/entry.hpp"

namespace fuzz {

namespace {

std::string text_of(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// Run `f`; a stop is a refusal and fine.
template <class F>
void refusable(F&& f) {
  try {
    f();
  } catch (const io::StopRun&) {
  }
}

// A fault that the sanitizers cannot see: report it as a crash.
[[noreturn]] void fault(const char* what) { throw std::logic_error(what); }

}  // namespace

int group(const uint8_t* data, size_t size) {
  auto u = io::Unit::from_text("Dp_Data.dsc", text_of(data, size));
  scf::RestartGroup d00i;
  scf::ControlGroup d;
  bool read = false;
  refusable([&] {
    d00i.group().read(*u);
    d.group().read(*u);
    read = true;
  });
  if (!read) return 0;
  // Whatever was read is written so that it reads back to the same values.
  auto once = io::Unit::to_text("echo");
  d.group().write(*once);
  scf::ControlGroup back;
  auto in = io::Unit::from_text("echo", once->text());
  try {
    back.group().read(*in);
  } catch (const io::StopRun& s) {
    fault(("the written group does not read back: " + s.message()).c_str());
  }
  auto twice = io::Unit::to_text("echo");
  back.group().write(*twice);
  if (once->text() != twice->text()) fault("the group read back differs from the group written");
  return 0;
}

int list_directed(const uint8_t* data, size_t size) {
  auto u = io::Unit::from_text("chan.dat", text_of(data, size));
  int n = 0, m = 0;
  double p = 0, q = 0;
  std::string s;
  refusable([&] {
    io::lread(*u, n, p, q);
    io::lread(*u, s, m);
  });
  return 0;
}

int orbital_block(const uint8_t* data, size_t size) {
  constexpr int NB = 12;
  const std::string text = text_of(data, size);
  std::array<int, 5> lk{1, 3, 6, 9, 12};
  std::array<double, 4> e{}, cn{};
  std::vector<double> x(NB * 12);
  const lib::Mat X(x.data(), NB, 12);
  {
    auto u = io::Unit::from_text("orbitals", text);
    refusable([&] {
      lib::read_orbital_block(NB, lib::CIVec(lk.data(), 4), lib::Vec(e.data(), 4), lib::Vec(cn.data(), 4), X, *u);
    });
  }
  {
    const std::array<int, 2> nw{2, 3};
    auto u = io::Unit::from_text("orbitals", text);
    refusable([&] {
      lib::read_orbital_block(NB, lib::CIVec(lk.data(), 2), lib::Vec(e.data(), 2), lib::Vec(cn.data(), 2), X, *u,
                              lib::CIVec(nw.data(), 2));
    });
  }
  return 0;
}

int channel_file(const uint8_t* data, size_t size) {
  constexpr int NB = 12, kLead = 3;
  auto u = io::Unit::from_text("chan.dat", text_of(data, size));
  u->require_whole_fields();
  std::array<double, 7 * kLead> ac{}, as{};
  std::vector<double> x(NB * 7 * kLead);
  refusable([&] {
    int nsi = 0, nc = 0, m = 0, l0 = 0, nx = 0;
    double p0 = 0, dp = 0;
    io::lread(*u, nsi, p0, dp);
    io::fread(*u, io::Format("(I5,/,3I4)"), nc, m, l0, nx);
    for (int ic = 1; ic <= nc && ic <= 5; ++ic) {
      int nl = 0, n = kLead;
      double ec = 0;
      lib::read_energy_block(NB, nl, n, ec, lib::Vec(ac.data(), 7 * kLead), lib::Vec(as.data(), 7 * kLead),
                             lib::Mat(x.data(), NB, 7 * kLead), *u);
    }
  });
  return 0;
}

int format_engine(const uint8_t* data, size_t size) {
  const std::string text = text_of(data, size);
  const size_t eol = text.find('\n');
  const std::string fmt = text.substr(0, eol);
  const std::string records = eol == std::string::npos ? "" : text.substr(eol + 1);
  try {
    const io::Format f(fmt);
    // Items of every kind, as many as the records might fill.
    std::array<int, 3> i{};
    std::array<double, 3> d{};
    std::string a, b;
    auto u = io::Unit::from_text("records", records);
    refusable([&] { io::fread(*u, f, i[0], d[0], a, i[1], d[1], b, i[2], d[2]); });
    refusable([&] { (void)io::fstring(f, i[0], d[0], a, i[1], d[1], b, i[2], d[2]); });
    refusable([&] { (void)io::fstring(f, d[0], d[1], d[2], d[0], d[1], d[2]); });
    refusable([&] { (void)io::fstring(f, 7L, -2147483648L, 2147483647L); });
    // Numeric fields as written read back to what was written.
    for (double v : d) {
      for (int w = 1; w <= 24; w += 5) {
        const std::string e = io::edit_E(v, w, 1 + w / 3), g = io::edit_F(v, w, w / 4);
        for (const std::string& field : {e, g}) {
          double back = 0;
          if (field.find('*') == std::string::npos && field.find_first_of("IN") == std::string::npos &&
              !io::parse_real_field(field, 0, back)) {
            fault("a written field does not read back");
          }
        }
      }
    }
  } catch (const std::invalid_argument&) {
    // A format the parser refuses: fine.
  } catch (const io::StopRun&) {
  }
  return 0;
}

}  // namespace fuzz

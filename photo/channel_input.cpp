// The driver reads one channel: the header and energy blocks of its channel
// file, checked against the ground state and against the momentum grid the
// file announces, and the extra functions of its second file.
#include "photo/channel_input.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "io/list_directed.hpp"
#include "io/unit.hpp"
#include "lib/channel_file.hpp"
#include "lib/orbital_file.hpp"
#include "photo/driver.hpp"

namespace photo {

namespace {

// The header must name one of the ground-state shells, a final state with
// partial waves, and a final projection a dipole transition reaches.
void check_channel_header(io::Unit& u, const lib::ChannelHeader& h, int NSG, lib::CIMat MNG) {
  if (h.NSI < 1 || h.NSI > NSG) {
    u.fail("the ionised shell " + std::to_string(h.NSI) + " is not one of the " + std::to_string(NSG) +
           " ground-state shells");
  }
  if (h.NC < 1) u.fail("the channel has no continuum energies (NC = " + std::to_string(h.NC) + ")");
  if (h.MN[2] < 1) u.fail("the final state has no partial waves (NX = " + std::to_string(h.MN[2]) + ")");
  if (h.MN[1] < std::abs(h.MN[0])) u.fail("the first momentum L0 of the final state is below its projection M");
  const int Mshell = MNG(1, h.NSI);
  if (std::abs(h.MN[0] - Mshell) > 1) {
    u.fail("the final projection M = " + std::to_string(h.MN[0]) +
           " is not reached from the shell's M = " + std::to_string(Mshell) + " by a dipole transition");
  }
}

// The continuum functions of a channel file stand for the momentum grid
// k = P0 + (j − 1)·DP (E = k²/2): the energy integrals of the RPA weight them
// by Simpson's rule over that grid, so the grid must be what the file says
// and, for the RPA, have an odd number of nodes.
void check_momentum_grid(io::Unit& u, double P0, double DP, int nc, const double* E, int IRP) {
  if (!(P0 > 0.0)) u.fail("the first momentum P0 = " + io::lstring(P0) + " of the channel must be positive");
  if (nc > 1 && !(DP > 0.0)) u.fail("the momentum step DP = " + io::lstring(DP) + " must be positive");
  if (IRP != 0 && nc % 2 == 0) {
    u.fail(std::to_string(nc) +
           " energies: the RPA integrates over the momenta by Simpson's rule and needs an odd count");
  }
  for (int j = 1; j <= nc; ++j) {
    const double k = P0 + (j - 1) * DP, want = 0.5 * k * k, got = E[j - 1];
    // The energies are written with nine significant digits.
    if (!(std::fabs(got - want) <= 1.0e-7 * std::max(std::fabs(want), std::fabs(got)))) {
      u.fail("energy block " + std::to_string(j) + " has E =" + io::lstring(got) +
             ", off the momentum grid (k = P0 + " + std::to_string(j - 1) + "·DP gives E = k²/2 =" + io::lstring(want) +
             ")");
    }
  }
}

}  // namespace

void set_solution_offsets(const ChannelFiles& ch, lib::IVec LC) {
  LC(1) = 0;
  for (int I = 2; I <= ch.NL; ++I) LC(I) = LC(I - 1) + ch.NX();
}

// The tables of a channel's functions: NE + 1 group starts, NE energies,
// amplitudes of up to kMaxSolutions solutions per energy and of the extra
// functions (zero-filled where they grow, never shrunk).
void PhotoDriver::size_channel_tables(int nc, int extra, int NX, std::vector<int>& LEv, const std::string& name) {
  const size_t groups = static_cast<size_t>(nc) + static_cast<size_t>(std::max(0, extra));
  const size_t words =
      (static_cast<size_t>(nc) * kMaxSolutions + static_cast<size_t>(std::max(0, extra))) * static_cast<size_t>(NX);
  long more = 0;
  for (size_t have : {r_.AC.size(), r_.AS.size()}) more += static_cast<long>(words > have ? words - have : 0);
  for (size_t have : {EEt.size(), CNt.size(), LEv.size()})
    more += static_cast<long>(groups + 1 > have ? groups + 1 - have : 0);
  check_table_words(more, "amplitudes and energies of file '" + name + "'");
  for (std::vector<double>* v : {&r_.AC, &r_.AS}) v->resize(std::max(v->size(), words));
  for (std::vector<double>* v : {&EEt, &CNt}) v->resize(std::max(v->size(), groups + 1));
  LEv.resize(std::max(LEv.size(), groups + 1));
}

void PhotoDriver::read_continuum(int unit, const std::string& name, int cap, int extra, lib::Mat XE,
                                 std::vector<int>& LEv, ChannelFiles& ch) {
  io::Unit& u = units_.open_old(unit, name);
  u.require_whole_fields();
  const lib::ChannelHeader h = lib::read_channel_header(u);
  ch.NSI = h.NSI;
  ch.P0 = h.P0;
  ch.DP = h.DP;
  ch.MN = h.MN;
  int nc = h.NC;
  check_channel_header(u, h, NSG, r_.mng());
  if (cap != 0 && cap < nc) nc = cap;
  ch.NC = nc;
  size_channel_tables(nc, extra, ch.NX(), LEv, name);
  lib::IVec LE(LEv.data(), static_cast<int>(LEv.size()));
  const lib::Vec AC = cosine_amplitudes(), AS = sine_amplitudes();
  LE(1) = 1;
  int nl_first = 0;
  for (int IC = 1; IC <= nc; ++IC) {
    int nx = ch.NX();
    int nl = 0;
    const int first = LE(IC);
    lib::Vec ac = AC.from(std::min(first, AC.size() + 1));
    lib::Vec as = AS.from(std::min(first, AS.size() + 1));
    lib::read_energy_block(NB, nl, nx, EEt[static_cast<size_t>(IC - 1)], ac, as,
                           XE.colsFrom(std::min(first, XE.cols() + 1)), u);
    if (nx != ch.NX()) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nx) +
             " partial waves; the channel descriptor says " + std::to_string(ch.NX()));
    }
    if (nl < 1 || nl > kMaxSolutions) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nl) + " solutions; 1 to " +
             std::to_string(kMaxSolutions) + " are allowed");
    }
    if (IC == 1) nl_first = nl;
    if (nl != nl_first) {
      u.fail("energy block " + std::to_string(IC) + " holds " + std::to_string(nl) + " solutions, block 1 " +
             std::to_string(nl_first));
    }
    LE(IC + 1) = LE(IC) + nl * nx;
  }
  check_momentum_grid(u, ch.P0, ch.DP, nc, EEt.data(), IRP);
  ch.NL = nl_first;
  units_.close(unit);
}

void PhotoDriver::read_extra(int unit, const std::string& name, lib::Mat XE, lib::IVec LE, ChannelFiles& ch) {
  const int NC = ch.NC, ND = ch.ND;
  for (int I = 1; I <= ND; ++I) LE(NC + I + 1) = LE(NC + I) + ch.NX();
  if (ND <= 0) return;
  // The number of functions comes from the file; it must be the one the
  // control group announced.
  {
    io::Unit& peek = units_.open_old(unit, name);
    int nsh = 0, n = 0;
    lib::read_orbital_header(peek, nsh, n);
    if (nsh != ND) {
      peek.fail("the file holds " + std::to_string(nsh) + " extra functions; group &S40 announces " +
                std::to_string(ND));
    }
    units_.close(unit);
  }
  io::Unit& u = units_.open_old(unit, name);
  if (LE(NC + ND + 1) - 1 > XE.cols()) u.fail("the extra functions do not fit the function table");
  const std::vector<int> NW(static_cast<size_t>(ND), ch.NX());  // every function has the channel's waves
  lib::read_orbital_block(NB, lib::CIVec(LE.ptr(NC + 1), ND), lib::Vec(EEt.data() + NC, ND),
                          lib::Vec(CNt.data() + NC, ND), XE, u, lib::CIVec(NW.data(), ND));
  units_.close(unit);
}

ChannelFiles PhotoDriver::read_channel(int ICH, int fic_unit, int fid_unit, lib::Mat XE, std::vector<int>& LE,
                                       lib::IVec LC) {
  const size_t c = static_cast<size_t>(ICH - 1);
  const std::string fic = io::trim_right(r_.s40.FIC[c]);
  auto words = [&] {
    return ChannelWords{LE.data(), EEt.data(), CNt.data(), r_.AC.data(), r_.AS.data(), XE.data(), XE.rows(), NB};
  };
  // A channel read before comes back from its copy, word for word.
  if (const ChannelFiles* kept = copies_ ? copies_->described(c) : nullptr) {
    if (copies_->columns(c) <= XE.cols() && NB <= XE.rows()) {
      const ChannelFiles ch = *kept;
      size_channel_tables(ch.NC, ch.ND, ch.NX(), LE, fic);
      if (copies_->restore(c, words())) {
        set_solution_offsets(ch, LC);
        return ch;
      }
    }
  }
  ChannelFiles ch;
  read_continuum(fic_unit, fic, r_.s40.IC[c], r_.s40.ID[c], XE, LE, ch);
  ch.ND = r_.s40.ID[c];
  set_solution_offsets(ch, LC);
  read_extra(fid_unit, io::trim_right(r_.s40.FID[c]), XE, lib::IVec(LE.data(), static_cast<int>(LE.size())), ch);
  if (copies_) copies_->keep(c, ch, words());
  return ch;
}

}  // namespace photo

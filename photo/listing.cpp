// The head of the listing and the Hartree–Fock tables of a channel.
#include "photo/listing.hpp"

#include <map>
#include <string>
#include <vector>

#include "photo/driver.hpp"

namespace photo {

const io::Format& record_format(const char* text) {
  static std::map<std::string, io::Format> cache;
  auto it = cache.find(text);
  if (it == cache.end()) it = cache.emplace(text, io::Format(text)).first;
  return it->second;
}

// The molecule and the ground-state shells at the head of the listing.
void PhotoDriver::write_header() {
  lib::IMat MNG = r_.mng();
  io::fwrite(LIST, record_format(kMoleculeHead), r_.s00.Z1, r_.s00.Z2, r_.s00.RZ, NSG);
  for (int I = 1; I <= NSG; ++I) {
    io::fwrite(LIST, record_format(kShellRow), I, MNG(1, I), MNG(2, I), MNG(3, I), r_.EG[I - 1]);
  }
  io::fwrite(LIST, record_format(kChannelCount), NCH);
}

// The channel's head in the listing (ionised shell, final projection,
// threshold) and that of its length-form table; returns the momenta L of
// the table's columns.
std::vector<int> PhotoDriver::write_channel_head(int ICH) {
  const ChannelFiles& ch = ch_;
  io::fwrite(LIST, record_format(kChannelHead), ICH, NSI(ICH), ch.MN[0]);
  if (MIE == 0) {
    EGG(ICH) = r_.EG[static_cast<size_t>(MII - 1)];
    io::fwrite(LIST, record_format(kTheoreticalThreshold), EGG(ICH));
  } else {
    EGG(ICH) = r_.s40.ECH[static_cast<size_t>(ICH - 1)];
    io::fwrite(LIST, record_format(kExperimentalThreshold), EGG(ICH));
  }
  beta_.channel(ICH, {ch.NSI, M1, ch.MN[0], ch.MN[1], KD, ch.NX(), ch.NL, ch.NC, EGG(ICH),
                      r_.s40.IST[static_cast<size_t>(ICH - 1)], r_.s40.IMR[static_cast<size_t>(ICH - 1)]});
  std::vector<int> Ls;
  for (int I = 1; I <= ch.NL; ++I) Ls.push_back(ch.MN[1] + (I - 1) * KD);
  io::fwrite(LIST, record_format(kLengthTableHead), Ls);
  io::fwrite(LIST, record_format(kTotalColumnHead));
  return Ls;
}

// The velocity-form table of the channel, columns the momenta Ls.
void PhotoDriver::write_velocity_table(const std::vector<int>& Ls) {
  const lib::Mat CSV = velocity_cross_sections();
  const lib::Vec STV = velocity_totals();
  io::fwrite(LIST, record_format(kVelocityTableHead), Ls);
  io::fwrite(LIST, record_format(kTotalColumnHead));
  for (int IC = 1; IC <= ch_.NE(); ++IC) {
    std::vector<double> row{EEt[static_cast<size_t>(IC - 1)]};
    for (int I = 1; I <= ch_.NL; ++I) row.push_back(CSV(I, IC));
    row.push_back(STV(IC));
    io::fwrite(LIST, record_format(kTableRow), row);
  }
}

}  // namespace photo

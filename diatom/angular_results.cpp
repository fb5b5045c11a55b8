#include "diatom/angular_results.hpp"

#include <algorithm>

#include "diatom/asymmetry.hpp"
#include "diatom/molecular_frame.hpp"
#include "diatom/photo_controls.hpp"
#include "diatom/result_errors.hpp"
#include "diatom/text_files.hpp"
#include "photo/beta_table.hpp"
#include "photo/mfpad.hpp"

namespace diatom {

AngularResults angular_results(const Molecule& m, const MOL& mol, int waves, const std::vector<Channel>& ch,
                               CrossSections& cs, const std::string& run, const std::string& title,
                               const std::string& ref, const std::string& check) {
  AngularResults out;
  std::string listing;
  if ((mol.BETA == 1 || !m.mfpad.empty()) && mol.NL < std::min(waves, 7)) {
    listing += " Note: NL = " + std::to_string(mol.NL) + " of the " + std::to_string(std::min(waves, 7)) +
               " solutions a channel file holds: beta and the distributions lose the partial waves of the others.\n";
  }
  if (mol.BETA == 1) {
    const std::string table = photo::beta_table_name(kXsectListing);
    Asymmetries a = asymmetries(ch, cs, read_beta_table(read_text_file(run + "/" + table)));
    // The check's β on the rule's photon energies.
    if (!check.empty()) add_beta_errors(a, asymmetries(ch, cs, read_beta_table(read_text_file(check + "/" + table))));
    for (int k = 0; k < 4; ++k) cs.shell_beta[k] = a.shell[k], cs.shell_beta_error[k] = a.shell_error[k];
    replace_file(run + "/beta.dat", beta_table(m, ch, cs, a));
    listing += beta_listing(m, ch, cs, a) + "\n";
    out.panel = beta_panel(m, ch, cs, "beta.dat", ref);
  }
  if (!m.mfpad.empty()) {
    // xsect counts two electrons in each orbital of the shell; one electron
    // is half that, an ionised open shell of q electrons in N places q/N
    // (the average over its degenerate initial states).
    double weight = m.one_electron() ? 0.5 : 1.0;
    if (m.open >= 0 && !m.one_electron())
      weight = static_cast<double>(m.shells[static_cast<size_t>(m.open)].electrons()) /
               m.shells[static_cast<size_t>(m.open)].full();
    const MfpadFile f = read_mfpad_table(read_text_file(run + "/" + photo::mfpad_table_name(kXsectListing)));
    replace_file(run + "/mfpad.dat", mfpad_table(m, f, weight));
    replace_file(run + "/mfpad.gp", mfpad_plot(m, f, weight, "mfpad.dat", title));
    listing += "\n" + mfpad_listing(m, f, weight) + "\n";
    out.after = "load 'mfpad.gp'\n";
  }
  if (!listing.empty()) listing.pop_back();
  out.listing = listing;
  return out;
}

}  // namespace diatom

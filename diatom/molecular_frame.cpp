#include "diatom/molecular_frame.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "diatom/channels.hpp"
#include "diatom/cross_sections.hpp"
#include "io/stop.hpp"

namespace diatom {

namespace {

// The shell of xsect's number (1-based, the order of the tovrel group) by name.
std::string shell_name(const Molecule& m, int shell) {
  return shell >= 1 && shell <= static_cast<int>(m.shells.size()) ? m.shells[static_cast<size_t>(shell - 1)].name
                                                                  : "shell " + std::to_string(shell);
}

std::string greek(const Molecule& m, int shell) {
  if (shell < 1 || shell > static_cast<int>(m.shells.size())) return shell_name(m, shell);
  const Shell& s = m.shells[static_cast<size_t>(shell - 1)];
  std::string t = std::to_string(s.n) + (s.M == 0 ? "σ" : s.M == 1 ? "π" : "δ");
  if (s.parity) t += s.parity;
  return t;
}

}  // namespace

MfpadFile read_mfpad_table(const std::string& text) {
  MfpadFile f;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# note: ", 0) == 0) {
      f.notes.push_back(line.substr(8));
    } else if (line.rfind("# HF shell ", 0) == 0 || line.rfind("# RPA shell ", 0) == 0) {
      MfpadBlock b;
      char method[8] = {0};
      double ev = 0;
      if (std::sscanf(line.c_str(), "# %7s shell %d: photon energy %lf eV = %lf hartree, polarisation at %lf", method,
                      &b.shell, &ev, &b.omega, &b.chi) != 5) {
        io::stop("diatom: a block head of xsect's table of molecular-frame distributions is not readable: " + line);
      }
      b.rpa = std::string(method) == "RPA";
      f.blocks.push_back(b);
    } else if (line.rfind("# between the nodes", 0) == 0 && !f.blocks.empty()) {
      f.blocks.back().nodes = line.substr(2);
    } else if (line.rfind("# sigma of this orientation", 0) == 0 && !f.blocks.empty()) {
      std::sscanf(line.c_str(), "# sigma of this orientation (Mb): L %lf V %lf", &f.blocks.back().sigmaL,
                  &f.blocks.back().sigmaV);
    } else if (!line.empty() && line[0] != '#' && !f.blocks.empty()) {
      std::array<double, 4> r{};
      if (std::sscanf(line.c_str(), "%lf %lf %lf %lf", &r[0], &r[1], &r[2], &r[3]) == 4)
        f.blocks.back().rows.push_back(r);
    }
  }
  return f;
}

std::string mfpad_table(const Molecule& m, const MfpadFile& f, double weight) {
  std::ostringstream o;
  o << "# Molecular-frame photoelectron angular distributions dsigma/dOmega (Mb/sr) of the target, molecule fixed\n"
    << "# in space: z axis from the bond midpoint towards nucleus 1 (Z1 = " << m.Z1 << "); the polarisation in the xz\n"
    << "# plane at chi from the axis; the electron at theta from the axis and phi from the xz plane (phi = 0 on\n"
    << "# the side of the polarisation); see docs/angular-distributions.md.  One block per method, shell,\n"
    << "# photon energy and polarisation (blocks separated by two blank lines; gnuplot: index 0, 1, ...),\n"
    << "# rows theta (deg), phi (deg), length, velocity, a blank line after each phi.";
  char b[240];
  for (size_t k = 0; k < f.blocks.size(); ++k) {
    const MfpadBlock& x = f.blocks[k];
    o << (k == 0 ? "\n" : "\n\n\n");
    std::snprintf(b, sizeof b,
                  "# index %zu: %s %s, photon energy %.4f eV, polarisation at %.2f deg from the axis\n"
                  "# sigma of this orientation (Mb): L %.6e V %.6e; %s",
                  k, x.rpa ? "RPA" : "HF", shell_name(m, x.shell).c_str(), x.omega * kHartreeEV, x.chi,
                  weight * x.sigmaL, weight * x.sigmaV, x.nodes.c_str());
    o << b;
    double phi = x.rows.empty() ? 0.0 : x.rows.front()[1];
    for (const auto& r : x.rows) {
      if (r[1] != phi) o << "\n";
      phi = r[1];
      std::snprintf(b, sizeof b, "\n%6.1f %6.1f %14.6e %14.6e", r[0], r[1], weight * r[2], weight * r[3]);
      o << b;
    }
  }
  return o.str() + "\n";
}

std::string mfpad_listing(const Molecule& m, const MfpadFile& f, double weight) {
  std::ostringstream o;
  o << " Molecular-frame distributions (molecule fixed in space; mfpad.dat, plots mfpad-SHELL.png): the cross\n"
    << " section of each orientation (Mb), the integral of dsigma/dOmega over the electron's directions;\n"
    << " along the axis and across it they average to the shell's sigma as 1/3 and 2/3:\n"
    << "   method shell     photon eV   polarisation     sigma(L)     sigma(V)";
  char b[200];
  for (const MfpadBlock& x : f.blocks) {
    std::snprintf(b, sizeof b, "\n   %-6s %-8s %10.4f %9.2f deg %12.5f %12.5f", x.rpa ? "RPA" : "HF",
                  shell_name(m, x.shell).c_str(), x.omega * kHartreeEV, x.chi, weight * x.sigmaL, weight * x.sigmaV);
    o << b;
  }
  for (const std::string& n : f.notes) o << "\n   note: " << n;
  return o.str();
}

std::string mfpad_plot(const Molecule& m, const MfpadFile& f, double weight, const std::string& data,
                       const std::string& title) {
  // Panels: per shell one image, a row per photon energy, a column per
  // polarisation angle; each panel the HF and (with the RPA) RPA blocks of
  // one energy and angle.
  std::vector<int> shells;
  std::vector<double> energies, angles;
  for (const MfpadBlock& x : f.blocks) {
    if (std::find(shells.begin(), shells.end(), x.shell) == shells.end()) shells.push_back(x.shell);
    if (std::find(energies.begin(), energies.end(), x.omega) == energies.end()) energies.push_back(x.omega);
    if (std::find(angles.begin(), angles.end(), x.chi) == angles.end()) angles.push_back(x.chi);
  }
  std::ostringstream o;
  o << "# Molecular-frame distributions of a diatom run in the plane of the axis and the polarisation:\n"
    << "# r = dsigma/dOmega (Mb/sr) at the angle theta from the axis, nucleus 1 to the right; above the axis\n"
    << "# the side of the polarisation (phi = 0), below the other (phi = 180).  Draw with: gnuplot mfpad.gp\n"
    << "reset\nset encoding utf8\nset datafile missing '-'\nset polar\nset angles degrees\nset size ratio -1\n"
    << "unset border\nunset xtics\nunset ytics\n"
    << "set rtics nomirror format '%g' font ',8'\nset grid polar 30 lc rgb 'gray85'\nset key below noenhanced\n";
  const std::string theta = "(column(2) == 0 ? column(1) : (column(2) == 180 ? 360 - column(1) : 1/0))";
  char b[400];
  for (int shell : shells) {
    const std::string name = shell_name(m, shell);
    std::snprintf(b, sizeof b, "set terminal pngcairo size %d,%d enhanced font ',10'\nset output 'mfpad-%s.png'\n",
                  420 * static_cast<int>(angles.size()), 440 * static_cast<int>(energies.size()), name.c_str());
    o << b << "set multiplot layout " << energies.size() << "," << angles.size() << " title "
      << gnuplot_text(title + ": " + greek(m, shell) + " fixed in space") << " noenhanced\n";
    for (double e : energies) {
      for (double a : angles) {
        int hf = -1, rpa = -1;
        double peak = 0.0;
        for (size_t k = 0; k < f.blocks.size(); ++k) {
          const MfpadBlock& x = f.blocks[k];
          if (x.shell != shell || x.omega != e || x.chi != a) continue;
          (x.rpa ? rpa : hf) = static_cast<int>(k);
          for (const auto& r : x.rows) peak = std::max(peak, weight * r[2]);
        }
        if (hf < 0 && rpa < 0) {
          o << "set multiplot next\n";
          continue;
        }
        const double R = peak > 0 ? 1.15 * peak : 1.0;
        // The axis dotted, nucleus 1 to the right; the polarisation an arrow.
        std::snprintf(b, sizeof b,
                      "set title '%.2f eV, polarisation at %.0f°' noenhanced\nset rrange [0:%.6g]\nunset arrow\n"
                      "unset label\nset arrow 1 from %.6g,0 to %.6g,0 nohead dt 3 lc rgb 'gray40'\n"
                      "set arrow 2 from 0,0 to %.6g,%.6g filled lw 2 dt solid lc rgb 'black' front\n"
                      "set label 1 'nucleus 1' at %.6g,0 right offset 0,0.7 font ',8'\n",
                      e * kHartreeEV, a, R, -R, R, 0.9 * R * std::cos(a * M_PI / 180),
                      0.9 * R * std::sin(a * M_PI / 180), R);
        o << b << "plot ";
        std::string sep;
        for (int k : {hf, rpa}) {
          if (k < 0) continue;
          const std::string form = k == rpa ? "RPA" : "HF", lc = k == rpa ? "2" : "1";
          o << sep << "'" << data << "' index " << k << " using " << theta << ":3 with lines lc " << lc
            << " lw 2 dt 1 title '" << form << ", length', \\\n     '" << data << "' index " << k << " using " << theta
            << ":4 with lines lc " << lc << " lw 2 dt 2 title '" << form << ", velocity'";
          sep = ", \\\n     ";
        }
        o << "\n";
      }
    }
    o << "unset multiplot\n";
  }
  return o.str();
}

}  // namespace diatom

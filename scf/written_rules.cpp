#include <cmath>

#include "io/console.hpp"
#include "io/list_directed.hpp"
#include "scf/written_rules.hpp"

namespace scf {

// Relative steps EI → (1 − H)·EI while the defect keeps its sign (the step
// turns round when |DX| grows), then bisection of the bracket [E1, E2] in
// which DX changes sign: linear convergence, one bit per trial.
double defect_rule_step(double E, double DX, EnergyBracket& b, DefectStep& d) {
  int& IT = d.IT;
  double& H = d.H;
  double &T1 = b.T1, &T2 = b.T2, &E1 = b.E1, &E2 = b.E2;
  double EI = E;
  if (IT == 0) {
    IT = 1;
    E1 = EI;
    T1 = DX;
    T2 = DX;
    io::console().line(io::lstring(" IT, H =", IT, H));
    return EI;
  }
  const double P = T1 * DX;
  if (P > 0.0 && std::fabs(DX) > std::fabs(T1)) H = -H;
  if (P < 0.0) {
    E2 = E1;
    T2 = T1;
    E1 = EI;
    T1 = DX;
    EI = (E2 + E1) / 2.0;
  } else if (T2 * DX < 0.0) {
    E1 = EI;
    T1 = DX;
    EI = (E2 + E1) / 2.0;
  } else {
    E1 = EI;
    T1 = DX;
    T2 = DX;
    EI = (1.0 - H) * E1;
    io::console().line(io::lstring(" IT, -H =", IT, -H));
  }
  return EI;
}

// From the second trial of a pass on, a change of sign against the last
// trial (E1) or against the far end of the bracket (E2) halves the bracket;
// otherwise the walk goes on by 0.2 % and keeps the norm at E1, from which
// the next solve of the shell takes its orientation.
double norm_rule_step(int k, double E, double T, double C, EnergyBracket& b) {
  if (k > 1 && T * b.T1 < 0.0) {
    b.E2 = b.E1;
    b.T2 = b.T1;
    b.E1 = E;
    b.T1 = T;
    return (b.E2 + b.E1) / 2.0;
  }
  if (k > 1 && T * b.T2 < 0.0) {
    b.E1 = E;
    b.T1 = T;
    return (b.E2 + b.E1) / 2.0;
  }
  b.E1 = E;
  b.Cprev = C;
  if (k >= 2) {
    b.T1 = T;
    b.T2 = T;
  }
  io::console().line(" SUMX = ");
  return E * (1.0 + 0.002 * (T > 0.0 ? 1.0 : -1.0));
}

double WrittenRules::stop_at(double EPS) const { return EPS; }

double WrittenRules::defect_step(int, double E, double DX, EnergyBracket& b, DefectStep& d) {
  return defect_rule_step(E, DX, b, d);
}

double WrittenRules::norm_step(int k, double E, double T, double C, double, EnergyBracket& b) {
  return norm_rule_step(k, E, T, C, b);
}

// Every state is bisected to rounding (the midpoint equal to an end).
bool WrittenRules::state_placed(double, double, bool) const { return false; }

}  // namespace scf

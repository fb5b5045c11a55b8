// The angular coefficients of the shell equations: the η and η² elements of
// the library, the Gaunt integrals with an η² factor, and the projection of
// a product of a partial-wave function and a harmonic, all by the run's
// angular rule (a tabulated set of coefficients, the closed-form constants of
// EXACT = 1, or the coefficients by quadrature).
#pragma once

#include <span>

#include "lib/angular_coefficients.hpp"
#include "lib/angular_projection.hpp"
#include "lib/partial_waves.hpp"
#include "lib/views.hpp"

namespace lib {
class ExactGauntTable;
class GauntTable;
}  // namespace lib

namespace scf {

// The η and η² elements and the size of the factorial table are library
// routines, shared with the continuum equations of chanfile
// (lib/angular_coefficients.hpp).
using lib::eta2_diagonal;
using lib::eta2_next;
using lib::eta_next;
using lib::kFactorials;

struct Shells;

// Where the angular coefficients of a run come from: the run's table of
// Gaunt coefficients (none: every projection calls the library's routines),
// EXACT = 1 for π and the η² elements at full precision, and with momenta
// beyond the factorial table the coefficients by quadrature, in place of
// both.
struct AngularRule {
  const lib::GauntTable* table = nullptr;
  int EXACT = 0;
  const lib::ExactGauntTable* exact = nullptr;
};

// ∫ Y(L1,M1)·Y(L2,M2)·η²·conj(Y(L3,M3)) dΩ.  EXACT = 0: the rule's table's
// value (the library's without a table); EXACT = 1: the same sum of Gaunt
// coefficients with the exact η² elements and π at full precision.  The
// quadrature table of the rule is not read.
double eta2_gaunt(const AngularRule& rule, int L1, int L2, int L3, int M1, int M2, int M3, lib::Fac F);

// Whether the rule takes the coefficients from its table, the closed forms
// of EXACT = 1 or quadrature (else the library's routine computes them).
bool coefficients_by_rule(const AngularRule& rule);

// The coefficients of angular_projection_by_rule for waves of the shape x
// and the harmonic of p, without its factor C: a(i) the Gaunt integral,
// b(i) that with η², for i = 1 … x.n (a and b hold x.n each).  They depend
// on the shapes alone, so a caller projecting several functions of one
// shape computes them once.  Only for coefficients_by_rule.
void projection_coefficients(const AngularRule& rule, const lib::WaveSet& x, const lib::ProductProjection& p,
                             lib::Fac F, std::span<double> a, std::span<double> b);
// The projection of the waves X (NB, a.size()) with those coefficients and
// the factor C: the operations of angular_projection_by_rule, in its order.
void project_with_coefficients(int NB, lib::CMat X, std::span<const double> a, std::span<const double> b, double C,
                               lib::CVec R, lib::Vec Q1, lib::Vec Q);

// The library's angular_projection (ground-state build) of the waves x
// times the harmonic of p, with the Gaunt and η² coefficients taken by the
// rule: from the run's table the same operations in the same order, so the
// result is the routine's to the last bit; EXACT = 1 takes π and the η²
// elements at full precision (eta2_gaunt), or, with the quadrature table,
// its coefficients.  Q1 receives the η² part.
void angular_projection_by_rule(const AngularRule& rule, int NB, const lib::PartialWaves& x,
                                const lib::ProductProjection& p, lib::CVec R, lib::Fac F, lib::Vec Q1, lib::Vec Q);

// Largest momentum and projection the angular coefficients of the shell
// equations of these shells ask for (partial waves, multipole orders and
// their projections), the range of the run's table.
struct AngularRange {
  int LMAX = 0, MMAX = 0;
};
AngularRange angular_range(const Shells& s, int ISYM);

}  // namespace scf

// The exchange equations at one energy and their solution: the regular set
// and the Lagrange solutions of the direct field (the propagation itself is
// chan/coupled), the orthogonality to the occupied orbitals, and GMRES on
// ψ = Π·(h + G·K·ψ) for the regular and particular solutions.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "chan/dense_algebra.hpp"
#include "chan/gmres.hpp"
#include "chan/static_exchange_impl.hpp"

namespace chan {

void StaticExchange::Impl::prepare(double E, AtEnergy& a, int last) const {
  const double c2 = 0.5 * mol.RZ * mol.RZ * E;
  const size_t nb = static_cast<size_t>(NB), nn = static_cast<size_t>(n * n);
  a.E = E;
  a.xw = xop->work();
  a.P = std::make_unique<Propagator>(g, w, lib::CArr3(pd.data(), NB, n, n), lib::CMat(tt.data(), n, n), c2);
  a.hset.assign(nb * nn, 0.0);
  a.P->regular_set(lib::Mat(a.hset.data(), NB, n * n), last);
  const int no = static_cast<int>(ortho.size());
  a.chi.assign(nb * static_cast<size_t>(n) * static_cast<size_t>(no), 0.0);
  a.Oinv.clear();
  if (no > 0) {
    std::vector<double> src(nb * static_cast<size_t>(n) * static_cast<size_t>(no));
    for (int o = 0; o < no; ++o)
      lagrange_source(ortho[static_cast<size_t>(o)], lib::Mat(src.data(), NB, n * no).colsFrom(o * n + 1, n));
    a.P->particular(no, lib::CMat(src.data(), NB, n * no), lib::Mat(a.chi.data(), NB, n * no));
    std::vector<double> O(static_cast<size_t>(no * no));
    for (int x = 0; x < no; ++x)
      for (int c = 0; c < no; ++c)
        O[static_cast<size_t>(c * no + x)] =
            ov(ortho[static_cast<size_t>(x)], lib::CMat(a.chi.data() + static_cast<size_t>(c) * nb * n, NB, n));
    a.Oinv = inverse(no, O, algebra());
  }
}

void StaticExchange::Impl::orthogonalise(const AtEnergy& a, int ns, lib::Mat X) const {
  const int no = static_cast<int>(ortho.size());
  if (no == 0) return;
  const size_t nb = static_cast<size_t>(NB);
  std::vector<double> s(static_cast<size_t>(no)), e(static_cast<size_t>(no));
  for (int j = 1; j <= ns; ++j) {
    lib::CMat Xj = lib::CMat(X.data(), NB, n * ns).colsFrom((j - 1) * n + 1, n);
    for (int x = 0; x < no; ++x) s[static_cast<size_t>(x)] = ov(ortho[static_cast<size_t>(x)], Xj);
    for (int x = 0; x < no; ++x) {
      double v = 0.0;
      for (int c = 0; c < no; ++c) v -= a.Oinv[static_cast<size_t>(c * no + x)] * s[static_cast<size_t>(c)];
      e[static_cast<size_t>(x)] = v;
    }
    for (int o = 0; o < no; ++o) {
      const double* ch = a.chi.data() + static_cast<size_t>(o) * nb * static_cast<size_t>(n);
      for (int p = 1; p <= n; ++p)
        for (int i = 1; i <= NB; ++i)
          X(i, (j - 1) * n + p) +=
              e[static_cast<size_t>(o)] * ch[static_cast<size_t>(p - 1) * nb + static_cast<size_t>(i - 1)];
    }
  }
}

bool StaticExchange::Impl::has_exchange() const {
  return std::any_of(orb.begin(), orb.end(), [](const FrozenOrbital& o) { return o.exchange != 0.0; });
}

void StaticExchange::Impl::solve_exchange(const AtEnergy& a, double* x, double tol, Diagnostics& d) const {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  std::vector<double> sx(len), rhs(x, x + len);
  auto apply = [&](const double* v, double* y) {
    xop->apply(lib::CMat(v, NB, n), lib::Mat(sx.data(), NB, n), a.xw, opt.reference);
    a.P->particular(1, lib::CMat(sx.data(), NB, n), lib::Mat(y, NB, n));
    orthogonalise(a, 1, lib::Mat(y, NB, n));
    for (size_t e = 0; e < len; ++e) y[e] = v[e] - y[e];
  };
  const Krylov kr = gmres(static_cast<int>(len), rhs.data(), x, opt.NIT, tol, apply);
  d.iterations = std::max(d.iterations, kr.iterations);
  d.change = std::max(d.change, kr.residual);
  d.converged = d.converged && kr.residual < tol;
}

// With exchange the solutions solve ψ = Π·(h + G·K·ψ) for each member h of
// the set: K the exchange operator (with its factor), G the particular
// solution free of the set at the end, Π the Lagrange projection.  Then
// ψ − h is a regular particular solution for the source K·ψ (and the
// Lagrange terms), so each ψ is a regular solution of the full equations,
// and the set of them keeps the conditioning of the set h.  The linear
// system (I − Π·G·K)·ψ = Π·h is solved by GMRES in the stored values.
void StaticExchange::Impl::regular_solutions(const AtEnergy& a, std::vector<double>& psi, Diagnostics& d,
                                             double tol) const {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  psi = a.hset;
  orthogonalise(a, n, lib::Mat(psi.data(), NB, n * n));
  d.converged = true;
  if (has_exchange())
    for (int j = 1; j <= n; ++j) solve_exchange(a, psi.data() + static_cast<size_t>(j - 1) * len, tol, d);
}

// The particular solution p = Π·(G·σ + G·K·p) for the source σ (Numerov form).
void StaticExchange::Impl::particular_solution(const AtEnergy& a, const std::vector<double>& source,
                                               std::vector<double>& p, Diagnostics& d, double tol) {
  const size_t len = static_cast<size_t>(NB) * static_cast<size_t>(n);
  p.assign(len, 0.0);
  a.P->particular(1, lib::CMat(source.data(), NB, n), lib::Mat(p.data(), NB, n));
  orthogonalise(a, 1, lib::Mat(p.data(), NB, n));
  if (has_exchange()) solve_exchange(a, p.data(), tol, d);
}

}  // namespace chan

// Direct inversion in the iterative subspace (DIIS) of the self-consistent
// sweeps.
//
// A sweep maps the orbitals it starts from, x_in, to the orbitals it ends
// with, x_out = G(x_in); self-consistency is x_out = x_in.  From the last
// few sweeps, with residuals r_k = x_out,k − x_in,k, the next start is
//   x_in = Σ_k c_k x_out,k,   Σ_k c_k = 1,   c minimising |Σ_k c_k r_k|².
// Near self-consistency G is close to linear and the combination removes the
// slowly decaying error components that make the plain sweep converge
// linearly.  The history is dropped, and the plain sweep taken, when the
// coefficients grow beyond what a well-conditioned extrapolation gives.
#pragma once

#include <deque>
#include <vector>

namespace scf {

class SweepDiis {
 public:
  // Sweeps needed before an extrapolation (two give only a secant step,
  // too rough for the coupled shells).
  static constexpr int kMinSweeps = 3;
  explicit SweepDiis(int depth = 6) : depth_(depth) {}
  // Records a sweep (start and result, same length) and writes the next
  // start into `next` (length of x_out).  Returns false, leaving `next`
  // alone, when no extrapolation is made (fewer than kMinSweeps recorded or
  // an ill-conditioned system).
  bool extrapolate(const std::vector<double>& x_in, const std::vector<double>& x_out, std::vector<double>& next);
  // Forgets the history (the next sweeps are plain ones).
  void reset() {
    out_.clear();
    res_.clear();
  }
  int size() const { return static_cast<int>(out_.size()); }

 private:
  int depth_;
  std::deque<std::vector<double>> out_, res_;
};

// Coefficients c (Σ c = 1) minimising |Σ c_k r_k|² from the Gram matrix
// B(k,l) = r_k·r_l (n × n, row-major); empty when the bordered system is
// singular.  Scaled by the diagonal, solved by elimination with partial
// pivoting.
std::vector<double> diis_coefficients(const std::vector<double>& B, int n);

}  // namespace scf

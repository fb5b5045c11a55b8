// Small dense linear algebra of the static-exchange solver: inverses,
// determinants and solutions of the n × n systems of the matching and the
// Lagrange terms (n up to the number of partial waves), column-major.
#pragma once

#include <vector>

namespace chan {

// LU factorisations from LAPACK (`library`), or by the elimination written
// here (`written`, lu_factor of chan/coupled), kept for comparison.
enum class Algebra { library, written };

// Inverse of a small matrix through the LU factors of its row-equilibrated form.
std::vector<double> inverse(int n, std::vector<double> a, Algebra alg = Algebra::library);
// Determinant of a square matrix by its LU factors.
double determinant(int n, std::vector<double> a, Algebra alg = Algebra::library);
// Solution x of A·x = b.
std::vector<double> solve(int n, std::vector<double> a, std::vector<double> b, Algebra alg = Algebra::library);

}  // namespace chan

// The cross-product matrix Z Z' in extended precision, written into an eigen solver's matrix.
#pragma once

#include "stats/symeigen.h"

namespace qv {

// Z is g x a, row-major: z(i, j), 1 <= i <= g, 1 <= j <= a, at z[(i - 1) * a + (j - 1)].
// Writes solver.A(i, k) = sum_{j=1..a} z(i, j) z(k, j) for 1 <= i <= k <= g (the upper triangle,
// all the solver reads), each sum taking its terms in ascending j in one long double: the same
// bits as the plain triple loop. Requires g <= solver.MaxOrder().
void CrossProductUpper(const long double* z, int g, int a, SymEigenSolver& solver);

}  // namespace qv

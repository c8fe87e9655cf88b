// The solution of a symmetric system with the sweep's choice of pivots, without its inverse.
//
// GInverse (stats/inv_g2.h) sweeps every index and leaves the whole inverse: order^3 / 2
// operations. A Gauss-Newton step needs only the inverse times one right-hand side, and where
// the inverse itself is not wanted (the loop passes of the segmented fits) symmetric
// elimination does it in order^3 / 6: pivot by pivot the unswept part of the matrix receives
// the same Schur-complement updates the sweep gives it, so the pivots are chosen by the
// sweep's own rule -- the first unswept index, counted from 1, whose diagonal reaches its
// threshold (fixed from the starting diagonal by InitSweep) -- and the indices left aliased
// are the same, up to rounding. Then the right-hand side goes through the same eliminations,
// and the solution is read back pivot by pivot in reverse (an L D L' factorization with a
// symmetric pivoting of the sweep's choosing; Golub and Van Loan 2013, Matrix Computations,
// sec. 4.1). Aliased indices get 0, which is what the sweep's g2 inverse gives them when their
// rows of the matrix are zero.
//
// 80-bit extended arithmetic throughout, like the sweep.
#pragma once

#include <cstddef>
#include <vector>

#include "stats/inv_g2.h"
#include "stats/splitextended.h"

namespace qv {

class SweepSolver {
 public:
  // From this order on, a second thread shares each update of the trailing rows.
  static constexpr int kParallelOrder = 160;

  // Solves the order-n matrix in store (its upper triangle, overwritten by the elimination) for
  // rhs[1..n] into x[1..n]. store's Aliased marks the indices no pivot could be taken for; the
  // other side vectors are left as the elimination used them. Allocates on the first call of
  // each larger order only.
  void Solve(SweepStorage& store, int n, const long double* rhs, long double* x);

 private:
  std::vector<int> live_;          // the unswept indices, ascending
  std::vector<int> pivot_;         // per turn: the index taken
  std::vector<long double> d_;     // per turn: its diagonal
  std::vector<long double> u_;     // per turn t, (n + 1) cells from t (n + 1): row k at its turn
  std::vector<TSplit> uPair_;      // the same split, while every value splits exactly
  std::vector<long double> y_;     // the right-hand side through the eliminations
  std::vector<long double> diag_;  // the unswept diagonal, pivot by pivot
  static constexpr std::size_t kBlock = 4;  // pivots per update of the trailing rows
};

}  // namespace qv

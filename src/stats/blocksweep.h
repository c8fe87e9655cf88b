// The sweep's decisions and solutions for a bordered normal matrix with diagonal blocks.
//
// The segmented fits with an estimated environmental index (Toler 1990) have a normal matrix
//
//        +---------+---------+           A: one block per genotype (its intercept and slopes),
//        | A       | C       |              no cell between two blocks
//        |         |         |           C: the genotypes' cells on the index and the
//        +---------+---------+              constraint rows
//        | C'      | E       |           E: the index (diagonal) and the border
//        +---------+---------+
//
// whose sweep (stats/inv_g2.h) takes the blocks' pivots first and then fills in E completely:
// n^3 / 2 operations for the inverse of order n, of which a pass of the Gauss-Newton iteration
// needs only the solution G b and the pivots' decisions. Here the blocks are eliminated on their
// own and E becomes the Schur complement
//
//        S = E - sum over the block pivots k of (u_k / d_k) u_k',
//
// u_k the pivot's row over E at its turn, formed cell by cell with the same operations in the
// same order as the sweep forms the cells it has not yet swept, so that S is bit for bit the
// sweep's trailing matrix; S is then eliminated with the sweep's choice of the next pivot (the
// first index, from the start, whose diagonal reaches the threshold fixed when the inversion
// started). The pivots met, hence the indices left aliased, are therefore exactly the sweep's.
// Solutions come from the factors L D L' of that elimination (Golub and Van Loan 2013, Matrix
// Computations, sec. 4.1), and the inverse, when it is needed, from the block formulas
//
//        G(E, E) = S^-1,   G(A, E) = -A^-1 C S^-1,   G(A, A) = A^-1 + A^-1 C S^-1 C' A^-1.
//
// These agree with the sweep's to rounding, not to the last bit. The cost is that of S, one
// product per block pivot and cell of E, and of the elimination of S, instead of n^3 / 2.
//
// A block index whose pivot is below its threshold at its turn is taken here only when its row
// is empty (a parameter that takes no step, such as a junction held on a breakpoint): the sweep
// then never takes it either. Otherwise Factor declines, and the caller sweeps.
#pragma once

#include <vector>

#include "stats/inv_g2.h"

namespace qv {

class BlockSweep {
 public:
  BlockSweep();

  // Eliminates the order-n matrix in store's WorkMat (upper triangle, which is only read) whose
  // indices 1 .. blocks * size form `blocks` diagonal blocks of `size` indices, as GInverse
  // would: store's thresholds are set (InitSweep) and its Aliased marks the indices GInverse
  // leaves aliased. False when it cannot follow GInverse's pivots (see above); Aliased then
  // means nothing.
  bool Factor(SweepStorage& store, int n, int blocks, int size);

  // x = G b over the indices swept: the solution of the system restricted to them. x is 0 at
  // the aliased indices, whose b is not read. x and b are indexed 1..n.
  void Solve(const long double* b, long double* x) const;

  // The inverse into the upper triangle of store's WorkMat (1..n), in place of the matrix. Only
  // when no index is aliased (the sweep leaves partially swept values in aliased rows).
  void Inverse(SweepStorage& store) const;

 private:
  // The rows of the pivots over the trailing indices: U(e, t) = a(e, k) at the turn of the t-th
  // pivot k (the block pivots first, then the trailing ones), V(e, t) = U(e, t) / d_k; stored by
  // trailing index, so that a cell's products run along contiguous rows.
  long double& U(int e, int t) { return u_[Cell(e, t)]; }
  long double U(int e, int t) const { return u_[Cell(e, t)]; }
  long double& V(int e, int t) { return v_[Cell(e, t)]; }
  long double V(int e, int t) const { return v_[Cell(e, t)]; }
  std::size_t Cell(int e, int t) const {
    return static_cast<std::size_t>(e) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(t);
  }

  int n_ = 0, size_ = 0, nb_ = 0, r_ = 0;
  int p1_ = 0;                  // the block pivots taken
  std::vector<long double> d_;  // the pivot of every swept index, 1..n
  std::vector<char> aliased_;   // 1..n
  // The block pivots in their order (global indices), and per block index its row within the
  // block at its turn: a(k, p) for the block's indices p, by position.
  std::vector<int> blockOrder_;
  std::vector<long double> blockRow_;  // (k - 1) * size + position
  std::vector<int> pivotSlot_;         // block index -> its place in blockOrder_, or -1
  std::vector<long double> u_, v_;
  std::vector<int> trailOrder_;  // the trailing pivots in their order (0-based trailing indices)
  std::vector<int> trailPos_;    // trailing index -> its place in trailOrder_, or -1
  // Scratch.
  std::vector<long double> rows_, diag_, values_;
  std::vector<int> open_;
  mutable std::vector<long double> z_;
};

}  // namespace qv

// The sweep of stats/inv_g2.h carried out cell by cell instead of pivot by pivot.
//
// GInverse sweeps pivot after pivot over the whole matrix: every pivot reads each cell its row
// reaches from memory, subtracts one product and writes it back. In 80-bit extended arithmetic
// the loads and stores of the 10-byte format cost several times the multiplication and the
// subtraction themselves, and the normal matrices of the segmented fits with an estimated
// environmental index fill in completely, so the inversion is order^3 / 2 such round trips.
//
// Here the same operations are regrouped by cell ("left-looking" elimination; Golub and Van
// Loan 2013, Matrix Computations, sec. 3.2.9). What a pivot k contributes to a cell (i, j),
// i < j, is fixed once its turn comes:
//
//        a(i,j) <- a(i,j) - v_k(i) u_k(j),    u_k = row k at its turn,  v_k(i) = s(i) u_k(i) / d_k
//
// (s the pivot signs of inv_g2.h), and at the turns of i and j themselves the cell is divided
// by the pivot (and negated in the pivot's column). So the pivots' rows are formed one at a time
// -- each cell of row k from the last row that held it, brought forward through the pivots
// taken since -- and at the end every cell is brought forward from the last pivot row that held
// it through the pivots after that. Each cell undergoes exactly the sweep's operations in the
// sweep's order, the running value kept in a register, so that the result is GInverse's to the
// last bit: the same pivots taken in the same order (the diagonal is kept up to date pivot by
// pivot for the choice of the next), the same indices aliased, the same inverse, the same
// partially swept values in aliased rows, and the same zeros with the same signs (a product is
// skipped exactly where the sweep skips it, where u_k(i) or u_k(j) is zero).
#pragma once

#include <cstddef>
#include <vector>

#include "stats/inv_g2.h"
#include "stats/splitextended.h"

namespace qv {

class CellSweep {
 public:
  // From this order on, the final cells are formed by two threads when the machine has two cores.
  static constexpr int kParallelOrder = 160;

  // What GInverse(store, n) does to store, bit for bit (WorkMat's upper triangle, PivotSign,
  // PivotTol, Aliased). Allocates on the first call of each larger order only.
  void GInverse(SweepStorage& store, int n);

 private:
  long double PivotRowStart(const SweepStorage& store, int x, int k, int& pos) const;
  long double FinalStart(const SweepStorage& store, int i, int j, int& pos) const;
  // Cell (i, j), i < j, of value c brought forward through the turns listed for i from
  // position pos on (those where u(j) is not zero too).
  template <bool kSplit>
  long double Run(int i, int j, long double c, int pos) const;
  // The same for cells (i, j .. j + 3), their values in c and their positions in pos.
  template <bool kSplit>
  void Run4(int i, int j, long double* c, const int* pos) const;
  // The same for cells (i .. i + 3, j), their positions in j's list; every value split.
  void Run4Column(int i, int j, long double* c, const int* pos) const;
  // The final cells of row i, i <= j, into store.
  void FinalRow(SweepStorage& store, int i) const;

  std::size_t At(int x, int t) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(t);
  }

  int n_ = 0;
  // Per index x and turn t (At(x, t)): u_t(x), the pivot's row at its turn (0 at the pivot),
  // also as a pair, and v_t(x) as a pair; the length of x's list after the turn.
  std::vector<long double> row_;
  std::vector<TSplit> rowPair_, vByTurn_;
  std::vector<int> after_;
  // Per index x and position (At(x, position)): the turns at which u_t(x) is not zero, in
  // order, with v_t(x) for them.
  std::vector<int> turns_;
  std::vector<long double> v_;
  std::vector<TSplit> vPair_;
  std::vector<int> count_;          // the length of each index's list
  std::vector<int> turnOf_;         // the turn of each index, -1 while unswept
  std::vector<long double> pivot_;  // d per turn
  std::vector<long double> diag_;   // the diagonal, pivot by pivot
  std::vector<long double> cell_;   // scratch: the pivot's row
  // Whether every u and v stored so far is split exactly (then the pairs are read).
  bool split_ = true;
};

}  // namespace qv

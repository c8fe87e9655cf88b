// Z Z' for the AMMI analysis: for 600 genotypes in 600 environments, 108 million products
// summed in extended precision, where the 80-bit loads cost more than the arithmetic.
//
// The columns are taken in blocks small enough that the block of every row stays in the
// processor's cache while all the sums pass over it; between blocks each partial sum waits in
// the solver's matrix, in full precision, so every sum receives the same terms in the same
// order as in one pass. Each block is copied into a contiguous buffer, as pairs of doubles
// (stats/splitextended.h) when every entry of Z splits exactly, which makes a load two double
// loads and an exact addition; otherwise as extended values. Four sums of a row run side by
// side, so that their chains of additions overlap and the row's entry is loaded once for four.
#include "stats/crossproduct.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "stats/partner.h"
#include "stats/splitextended.h"

namespace qv {
namespace {

constexpr int kColumnBlock = 48;

// From this many products on (g (g + 1) / 2 sums of a terms), two threads share the rows.
constexpr std::size_t kParallelProducts = std::size_t{1} << 20;

// Adds the terms of one block of columns, `width` wide, to the sums of rows firstRow,
// firstRow + rowStep, ...; block row i (1-based) starts at block + (i - 1) * width. `first`: the
// sums start from zero instead of A.
template <class Cell>
void AddBlock(const Cell* block, int g, int width, bool first, int firstRow, int rowStep,
              SymEigenSolver& solver) {
  const auto row = [&](int i) { return block + static_cast<std::size_t>(i - 1) * width; };
  for (int i = firstRow; i <= g; i += rowStep) {
    const Cell* zi = row(i);
    int k = i;
    for (; k + 3 <= g; k += 4) {
      const Cell* z0 = row(k);
      const Cell* z1 = row(k + 1);
      const Cell* z2 = row(k + 2);
      const Cell* z3 = row(k + 3);
      long double s0 = first ? 0.0L : solver.A(i, k);
      long double s1 = first ? 0.0L : solver.A(i, k + 1);
      long double s2 = first ? 0.0L : solver.A(i, k + 2);
      long double s3 = first ? 0.0L : solver.A(i, k + 3);
      for (int j = 0; j < width; ++j) {
        const long double x = Load(zi[j]);
        s0 += x * Load(z0[j]);
        s1 += x * Load(z1[j]);
        s2 += x * Load(z2[j]);
        s3 += x * Load(z3[j]);
      }
      solver.A(i, k) = s0;
      solver.A(i, k + 1) = s1;
      solver.A(i, k + 2) = s2;
      solver.A(i, k + 3) = s3;
    }
    for (; k <= g; ++k) {
      const Cell* zk = row(k);
      long double s = first ? 0.0L : solver.A(i, k);
      for (int j = 0; j < width; ++j) s += Load(zi[j]) * Load(zk[j]);
      solver.A(i, k) = s;
    }
  }
}

template <class Cell>
void CrossProductIn(const long double* z, int g, int a, int firstRow, int rowStep,
                    SymEigenSolver& solver) {
  std::vector<Cell> block(static_cast<std::size_t>(g) * std::min(a, kColumnBlock));
  for (int j0 = 0; j0 < a; j0 += kColumnBlock) {
    const int width = std::min(a, j0 + kColumnBlock) - j0;
    for (int i = 0; i < g; ++i) {
      const long double* zi = z + static_cast<std::size_t>(i) * a + j0;
      Cell* bi = block.data() + static_cast<std::size_t>(i) * width;
      for (int j = 0; j < width; ++j) Store(bi[j], zi[j]);
    }
    AddBlock(block.data(), g, width, j0 == 0, firstRow, rowStep, solver);
  }
}

}  // namespace

void CrossProductUpper(const long double* z, int g, int a, SymEigenSolver& solver) {
  const std::size_t cells = static_cast<std::size_t>(g) * a;
  const bool split = std::all_of(z, z + cells, SplitsExactly);
  // Every sum is its own: on a large table a second thread takes every other row of sums, with
  // its own copy of each block (row i holds g - i + 1 sums, so the shares are nearly equal).
  const std::size_t products = static_cast<std::size_t>(g) * (g + 1) / 2 * a;
  RunInTwo(products >= kParallelProducts, [&](int part, int parts) {
    if (split) {
      CrossProductIn<TSplit>(z, g, a, 1 + part, parts, solver);
    } else {
      CrossProductIn<long double>(z, g, a, 1 + part, parts, solver);
    }
  });
}

}  // namespace qv

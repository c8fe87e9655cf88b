// Sweep-operator generalized inverse; see inv_g2.h for the operator, the thresholds and the
// references.
#include "stats/inv_g2.h"

#include <cmath>
#include <stdexcept>

namespace qv {

namespace {

// A starting diagonal of at most this magnitude gets the absolute threshold kPivotRatio; a
// larger one the relative threshold kPivotRatio * |diagonal|.
constexpr long double kSmallDiagonal = 1e-8L;
constexpr long double kPivotRatio = 1e-13L;

void CheckOrder(int n) {
  if (n < 1 || n > MaxPar) throw std::out_of_range("inv_g2: order outside 1..MaxPar");
}

}  // namespace

SweepStorage::SweepStorage() : workMat_(kStride * kStride, 0.0L) {}

void InitSweep(SweepStorage& store, int n) {
  CheckOrder(n);
  for (int i = 1; i <= n; ++i) {
    store.PivotSign[i] = 1;
    store.Aliased[i] = false;
    const long double x = std::fabs(store.WorkMat(i, i));
    store.PivotTol[i] = (x <= kSmallDiagonal) ? kPivotRatio : kPivotRatio * x;
  }
}

void SweepPivot(SweepStorage& store, int k, int n) {
  CheckOrder(n);
  if (k < 1 || k > n) throw std::out_of_range("inv_g2: pivot outside 1..n");

  const long double d = store.WorkMat(k, k);
  // The threshold guards only an unswept index: sweeping a swept index again would undo it.
  if (std::fabs(d) < store.PivotTol[k] && store.PivotSign[k] == 1) store.Aliased[k] = true;
  if (store.Aliased[k]) return;

  const int signK = store.PivotSign[k];
  // Row k of the current matrix, the lower part recovered through the signs. Row and column k
  // do not change while the other cells are updated, so they can be read once. The indices of
  // its non-zero cells are listed: a(i,j) changes only where both a(i,k) and a(k,j) are non-zero,
  // and the normal matrices swept here are mostly zeros (each genotype's parameters meet only
  // their own block, the environment parameters and the constraint rows), so the update costs
  // the square of that count instead of n^2. Skipping a cell subtracts nothing but a zero
  // product; the cell keeps its value (at most the sign of a zero cell can differ).
  long double* u = store.pivotRow_.data();
  int* nonZero = store.pivotCols_.data();
  int count = 0;
  for (int j = 1; j < k; ++j) {
    u[j] = static_cast<long double>(store.PivotSign[j] * signK) * store.WorkMat(j, k);
    if (u[j] != 0) nonZero[count++] = j;
  }
  const long double* rowK = store.Row(k);
  for (int j = k + 1; j <= n; ++j) {
    u[j] = rowK[j];
    if (u[j] != 0) nonZero[count++] = j;
  }

  // a(i,j) <- a(i,j) - a(i,k) a(k,j) / d on the upper triangle, row by row. a(i,k) / d is
  // u[i] / d up to the sign that turns row k into column k.
  for (int p = 0; p < count; ++p) {
    const int i = nonZero[p];
    const long double v = (i < k)
                              ? store.WorkMat(i, k) / d
                              : static_cast<long double>(store.PivotSign[i] * signK) * rowK[i] / d;
    long double* rowI = store.Row(i);
    for (int q = p; q < count; ++q) {
      const int j = nonZero[q];
      rowI[j] = rowI[j] - v * u[j];
    }
  }

  for (int i = 1; i < k; ++i) store.WorkMat(i, k) = -store.WorkMat(i, k) / d;
  long double* pivotRow = store.Row(k);
  for (int j = k + 1; j <= n; ++j) pivotRow[j] = pivotRow[j] / d;
  pivotRow[k] = 1.0L / d;
  store.PivotSign[k] = -store.PivotSign[k];
}

int NextPivot(SweepStorage& store, int n) {
  CheckOrder(n);
  for (int i = 1; i <= n; ++i) {
    if (store.PivotSign[i] == 1 && std::fabs(store.WorkMat(i, i)) >= store.PivotTol[i]) return i;
  }
  // Nothing left is sweepable: no later sweep can change that, since nothing more is swept.
  int last = 0;
  for (int i = 1; i <= n; ++i) {
    if (store.PivotSign[i] == 1) {
      store.Aliased[i] = true;
      last = i;
    }
  }
  if (last == 0) throw std::logic_error("inv_g2: NextPivot called with every index swept");
  return last;
}

void GInverse(SweepStorage& store, int n) {
  InitSweep(store, n);
  for (int t = 1; t <= n; ++t) SweepPivot(store, NextPivot(store, n), n);
}

}  // namespace qv

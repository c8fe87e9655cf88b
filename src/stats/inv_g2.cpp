// Sweep-operator generalized inverse; see inv_g2.h for the operator, the thresholds and the
// references.
#include "stats/inv_g2.h"

#include <bit>
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
  // do not change while the other cells are updated, so they can be read once.
  long double* u = store.pivotRow_.data();
  for (int j = 1; j < k; ++j) {
    u[j] = static_cast<long double>(store.PivotSign[j] * signK) * store.WorkMat(j, k);
  }
  const long double* rowK = store.Row(k);
  for (int j = k + 1; j <= n; ++j) u[j] = rowK[j];

  // a(i,j) <- a(i,j) - a(i,k) a(k,j) / d on the upper triangle, row by row.
  for (int i = 1; i <= n; ++i) {
    if (i == k) continue;
    const long double v = (i < k)
                              ? store.WorkMat(i, k) / d
                              : static_cast<long double>(store.PivotSign[i] * signK) * rowK[i] / d;
    long double* rowI = store.Row(i);
    for (int j = i; j < k; ++j) rowI[j] = rowI[j] - v * u[j];
    for (int j = (i > k ? i : k + 1); j <= n; ++j) rowI[j] = rowI[j] - v * u[j];
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

SweepPattern::SweepPattern() : rows_(MaxPar + 1) {}

void SweepPattern::Clear(int n) {
  CheckOrder(n);
  for (int i = 0; i <= n; ++i) rows_[static_cast<std::size_t>(i)].fill(0);
}

int SweepPattern::Row(int i, int n, int* out) const {
  int m = 0;
  const auto& row = rows_[static_cast<std::size_t>(i)];
  for (std::size_t w = 0; w < kWords; ++w) {
    for (std::uint64_t bits = row[w]; bits != 0; bits &= bits - 1) {
      const int j = static_cast<int>(w * 64) + std::countr_zero(bits);
      if (j > n) return m;
      out[m++] = j;
    }
  }
  return m;
}

void SweepPivot(SweepStorage& store, SweepPattern& pattern, int k, int n) {
  CheckOrder(n);
  if (k < 1 || k > n) throw std::out_of_range("inv_g2: pivot outside 1..n");

  const long double d = store.WorkMat(k, k);
  if (std::fabs(d) < store.PivotTol[k] && store.PivotSign[k] == 1) store.Aliased[k] = true;
  if (store.Aliased[k]) return;

  // The indices sharing a cell with k (k among them), ascending. After the sweep each of them
  // shares a cell with every other.
  auto& rowPattern = pattern.rows_[static_cast<std::size_t>(k)];
  rowPattern[static_cast<std::size_t>(k) / 64] |= SweepPattern::Bit(k);
  int* members = store.members_.data();
  const int m = pattern.Row(k, n, members);
  for (int t = 0; t < m; ++t) {
    auto& row = pattern.rows_[static_cast<std::size_t>(members[t])];
    for (std::size_t w = 0; w < SweepPattern::kWords; ++w) row[w] |= rowPattern[w];
  }
  // A row that shares cells with most indices is swept faster in full: its cells are contiguous.
  if (4 * m > 3 * n) {
    SweepPivot(store, k, n);
    return;
  }

  const int signK = store.PivotSign[k];
  long double* u = store.pivotRow_.data();
  const long double* rowK = store.Row(k);
  for (int t = 0; t < m; ++t) {
    const int j = members[t];
    if (j < k) u[j] = static_cast<long double>(store.PivotSign[j] * signK) * store.WorkMat(j, k);
    if (j > k) u[j] = rowK[j];
  }
  for (int t = 0; t < m; ++t) {
    const int i = members[t];
    if (i == k) continue;
    const long double v = (i < k)
                              ? store.WorkMat(i, k) / d
                              : static_cast<long double>(store.PivotSign[i] * signK) * rowK[i] / d;
    long double* rowI = store.Row(i);
    for (int s = t; s < m; ++s) {
      const int j = members[s];
      if (j != k) rowI[j] = rowI[j] - v * u[j];
    }
  }
  long double* pivotRow = store.Row(k);
  for (int t = 0; t < m; ++t) {
    const int i = members[t];
    if (i < k) store.WorkMat(i, k) = -store.WorkMat(i, k) / d;
    if (i > k) pivotRow[i] = pivotRow[i] / d;
  }
  pivotRow[k] = 1.0L / d;
  store.PivotSign[k] = -store.PivotSign[k];
}

void GInverse(SweepStorage& store, SweepPattern& pattern, int n) {
  InitSweep(store, n);
  for (int t = 1; t <= n; ++t) SweepPivot(store, pattern, NextPivot(store, n), n);
}

}  // namespace qv

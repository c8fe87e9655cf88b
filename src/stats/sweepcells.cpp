// The sweep cell by cell; see sweepcells.h.
#include "stats/sweepcells.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

namespace qv {

namespace {

// x as an exact pair of doubles (stats/splitextended.h), read much faster than the 10-byte
// format. Only a non-zero x is split, so that a pair reads as zero exactly where its value is
// zero (the pairs of zeros are left (+0, +0), and skipped).
bool Split(long double x, TSplit& pair) {
  if (x == 0 || !SplitsExactly(x)) return false;
  Put(pair, x);
  return true;
}

template <bool kSplit>
inline long double Value(const long double* exact, const TSplit* pairs, int at) {
  if constexpr (kSplit) {
    return Join(pairs[at]);
  } else {
    return exact[at];
  }
}

template <bool kSplit>
inline bool NonZero(const long double* exact, const TSplit* pairs, int at) {
  if constexpr (kSplit) {
    return pairs[at].hi != 0;
  } else {
    return exact[at] != 0;
  }
}

}  // namespace

void CellSweep::GInverse(SweepStorage& store, int n) {
  InitSweep(store, n);
  n_ = n;
  const std::size_t cells = static_cast<std::size_t>(n + 1) * static_cast<std::size_t>(n);
  if (row_.size() < cells) {
    row_.resize(cells);
    rowPair_.resize(cells);
    vByTurn_.resize(cells);
    after_.resize(cells);
    turns_.resize(cells);
    v_.resize(cells);
    vPair_.resize(cells);
  }
  split_ = true;
  const auto size = static_cast<std::size_t>(n) + 1;
  count_.assign(size, 0);
  turnOf_.assign(size, -1);
  pivot_.assign(size, 0.0L);
  diag_.resize(size);
  cell_.resize(size);
  for (int x = 1; x <= n; ++x) diag_[static_cast<std::size_t>(x)] = store.WorkMat(x, x);

  for (int t = 0; t < n; ++t) {
    // The first unswept index whose diagonal reaches its threshold, as NextPivot.
    int k = 0;
    for (int x = 1; x <= n && k == 0; ++x) {
      const auto ux = static_cast<std::size_t>(x);
      if (turnOf_[ux] < 0 && std::fabs(diag_[ux]) >= store.PivotTol[ux]) k = x;
    }
    if (k == 0) break;
    const auto uk = static_cast<std::size_t>(k);
    const long double d = diag_[uk];
    pivot_[static_cast<std::size_t>(t)] = d;
    // Row k at its turn: the cells, then u_t(x) and v_t(x) as SweepPivot forms them.
    long double* cell = cell_.data();
    int x = 1;
    if (split_) {
      for (; x + 3 < k; x += 4) {
        int pos[4];
        for (int q = 0; q < 4; ++q) {
          cell[x + q] = PivotRowStart(store, x + q, k, pos[q]);
          const int tx = turnOf_[static_cast<std::size_t>(x + q)];
          pos[q] = tx >= 0 ? after_[At(k, tx)] : 0;
        }
        Run4Column(x, k, cell + x, pos);
      }
    }
    for (; x < k; ++x) {
      int pos = 0;
      const long double c = PivotRowStart(store, x, k, pos);
      cell[x] = split_ ? Run<true>(x, k, c, pos) : Run<false>(x, k, c, pos);
    }
    for (x = k + 1; x + 3 <= n; x += 4) {
      int pos[4];
      for (int q = 0; q < 4; ++q) cell[x + q] = PivotRowStart(store, x + q, k, pos[q]);
      split_ ? Run4<true>(k, x, cell + x, pos) : Run4<false>(k, x, cell + x, pos);
    }
    for (; x <= n; ++x) {
      int pos = 0;
      const long double c = PivotRowStart(store, x, k, pos);
      cell[x] = split_ ? Run<true>(k, x, c, pos) : Run<false>(k, x, c, pos);
    }
    cell[k] = 0;
    for (x = 1; x <= n; ++x) {
      const auto ux = static_cast<std::size_t>(x);
      const std::size_t at = At(x, t);
      const long double c = cell[x];
      const bool swept = turnOf_[ux] >= 0;
      const long double u = (x < k && swept) ? -c : c;
      row_[at] = u;
      rowPair_[at] = TSplit{0, 0};
      vByTurn_[at] = TSplit{0, 0};
      if (u != 0 && x != k) {
        const long double v = (x < k ? c : (swept ? -c : c)) / d;
        const std::size_t p = At(x, count_[ux]++);
        turns_[p] = t;
        v_[p] = v;
        diag_[ux] = diag_[ux] - v * u;
        split_ = split_ && Split(u, rowPair_[at]) && Split(v, vPair_[p]);
        vByTurn_[at] = vPair_[p];
      }
      after_[at] = count_[ux];
    }
    diag_[uk] = 1.0L / d;
    turnOf_[uk] = t;
  }

  // Every cell brought forward from the last pivot row that held it. The rows are independent
  // (each writes only its own cells): on a large matrix a second thread takes every other row.
  const auto rows = [this, &store, n](int first, int step) {
    for (int i = first; i <= n; i += step) FinalRow(store, i);
  };
  bool shared = false;
  if (n >= kParallelOrder && std::thread::hardware_concurrency() > 1) {
    try {
      std::thread helper(rows, 2, 2);
      rows(1, 2);
      helper.join();
      shared = true;
    } catch (const std::system_error&) {
      // No thread to be had: the rows on this one.
    }
  }
  if (!shared) rows(1, 1);
}

void CellSweep::FinalRow(SweepStorage& store, int i) const {
  const int n = n_;
  const auto ui = static_cast<std::size_t>(i);
  int j = i + 1;
  for (; j + 3 <= n; j += 4) {
    long double* c = &store.WorkMat(i, j);
    int pos[4];
    for (int q = 0; q < 4; ++q) c[q] = FinalStart(store, i, j + q, pos[q]);
    split_ ? Run4<true>(i, j, c, pos) : Run4<false>(i, j, c, pos);
  }
  for (; j <= n; ++j) {
    int pos = 0;
    const long double c = FinalStart(store, i, j, pos);
    store.WorkMat(i, j) = split_ ? Run<true>(i, j, c, pos) : Run<false>(i, j, c, pos);
  }
  store.WorkMat(i, i) = diag_[ui];
  store.PivotSign[ui] = turnOf_[ui] >= 0 ? -1 : 1;
  store.Aliased[ui] = turnOf_[ui] < 0;
}

// Cell (x, k) or (k, x) at the start of the turn of pivot k, from its start in the original
// matrix or the last turn of x (the turns listed so far are all before k's).
long double CellSweep::PivotRowStart(const SweepStorage& store, int x, int k, int& pos) const {
  const int tx = turnOf_[static_cast<std::size_t>(x)];
  pos = 0;
  if (tx < 0) return x < k ? store.WorkMat(x, k) : store.WorkMat(k, x);
  const long double w = row_[At(k, tx)];
  const long double d = pivot_[static_cast<std::size_t>(tx)];
  if (x < k) {
    // x's turn divided the cell, in x's row, by its pivot.
    pos = after_[At(x, tx)];
    return w / d;
  }
  // x's turn divided the cell, in x's column, by its pivot and negated it.
  pos = after_[At(k, tx)];
  return -w / d;
}

// Cell (i, j), i < j, after the last turn of i or j: from the original matrix when neither was
// swept, else from the row of the later of the two at its turn.
long double CellSweep::FinalStart(const SweepStorage& store, int i, int j, int& pos) const {
  const int ti = turnOf_[static_cast<std::size_t>(i)], tj = turnOf_[static_cast<std::size_t>(j)];
  if (ti < 0 && tj < 0) {
    pos = 0;
    return store.WorkMat(i, j);
  }
  if (ti > tj) {
    pos = after_[At(i, ti)];
    return row_[At(j, ti)] / pivot_[static_cast<std::size_t>(ti)];
  }
  // j's row held it as u(i) = s(i) a(i, j).
  const long double u = row_[At(i, tj)];
  const long double w = ti >= 0 ? -u : u;
  pos = after_[At(i, tj)];
  return -w / pivot_[static_cast<std::size_t>(tj)];
}

template <bool kSplit>
long double CellSweep::Run(int i, int j, long double c, int pos) const {
  const int* turns = &turns_[At(i, 0)];
  const long double* v = &v_[At(i, 0)];
  const TSplit* vp = &vPair_[At(i, 0)];
  const long double* u = &row_[At(j, 0)];
  const TSplit* up = &rowPair_[At(j, 0)];
  const int end = count_[static_cast<std::size_t>(i)];
  for (int p = pos; p < end; ++p) {
    const int t = turns[p];
    if (NonZero<kSplit>(u, up, t)) c = c - Value<kSplit>(v, vp, p) * Value<kSplit>(u, up, t);
  }
  return c;
}

// Four cells of a row side by side, (i, j .. j + 3): the v of each turn is read once, the four
// running values stay in registers.
template <bool kSplit>
void CellSweep::Run4(int i, int j, long double* c, const int* pos) const {
  const int* turns = &turns_[At(i, 0)];
  const long double* v = &v_[At(i, 0)];
  const TSplit* vp = &vPair_[At(i, 0)];
  const long double* u[4];
  const TSplit* up[4];
  for (int q = 0; q < 4; ++q) {
    u[q] = &row_[At(j + q, 0)];
    up[q] = &rowPair_[At(j + q, 0)];
  }
  const int end = count_[static_cast<std::size_t>(i)];
  const int p0 = pos[0], p1 = pos[1], p2 = pos[2], p3 = pos[3];
  long double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  for (int p = std::min(std::min(p0, p1), std::min(p2, p3)); p < end; ++p) {
    const int t = turns[p];
    const long double vt = Value<kSplit>(v, vp, p);
    if (p >= p0) {
      const long double x = Value<kSplit>(u[0], up[0], t);
      if (x != 0) c0 = c0 - vt * x;
    }
    if (p >= p1) {
      const long double x = Value<kSplit>(u[1], up[1], t);
      if (x != 0) c1 = c1 - vt * x;
    }
    if (p >= p2) {
      const long double x = Value<kSplit>(u[2], up[2], t);
      if (x != 0) c2 = c2 - vt * x;
    }
    if (p >= p3) {
      const long double x = Value<kSplit>(u[3], up[3], t);
      if (x != 0) c3 = c3 - vt * x;
    }
  }
  c[0] = c0;
  c[1] = c1;
  c[2] = c2;
  c[3] = c3;
}

// Four cells of a column side by side, (i .. i + 3, j): through the turns listed for j, u read
// once a turn, v by turn (doubles only, while every value splits).
void CellSweep::Run4Column(int i, int j, long double* c, const int* pos) const {
  const int* turns = &turns_[At(j, 0)];
  const TSplit* up = &rowPair_[At(j, 0)];
  const TSplit* vp[4];
  for (int q = 0; q < 4; ++q) vp[q] = &vByTurn_[At(i + q, 0)];
  const int end = count_[static_cast<std::size_t>(j)];
  const int p0 = pos[0], p1 = pos[1], p2 = pos[2], p3 = pos[3];
  long double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  // v_t(i + q), zero exactly where u_t(i + q) is (a split v is never zero).
  const auto v = [&](int q, int t) { return Join(vp[q][t]); };
  for (int p = std::min(std::min(p0, p1), std::min(p2, p3)); p < end; ++p) {
    const int t = turns[p];
    const long double ut = Join(up[t]);
    const auto step = [&](long double& sum, int from, int q) {
      if (p < from) return;
      const long double x = v(q, t);
      if (x != 0) sum = sum - x * ut;
    };
    step(c0, p0, 0);
    step(c1, p1, 1);
    step(c2, p2, 2);
    step(c3, p3, 3);
  }
  c[0] = c0;
  c[1] = c1;
  c[2] = c2;
  c[3] = c3;
}

}  // namespace qv

// Symmetric elimination with the sweep's pivots; see sweepsolve.h.
#include "stats/sweepsolve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "stats/partner.h"
#include "stats/splitextended.h"

namespace qv {

void SweepSolver::Solve(SweepStorage& store, int n, const long double* rhs, long double* x) {
  InitSweep(store, n);
  const auto stride = static_cast<std::size_t>(n) + 1;
  if (u_.size() < stride * stride) u_.resize(stride * stride);
  live_.resize(static_cast<std::size_t>(n));
  diag_.assign(stride, 0.0L);
  for (int i = 1; i <= n; ++i) {
    live_[static_cast<std::size_t>(i - 1)] = i;
    diag_[static_cast<std::size_t>(i)] = store.WorkMat(i, i);
  }
  if (uPair_.size() < stride * stride) uPair_.resize(stride * stride);
  pivot_.clear();
  d_.clear();
  // The turns' rows are kept also split into pairs of doubles (stats/splitextended.h), which the
  // updates read several times faster than extended values and to the same bits, as long as
  // every value stored so far splits exactly.
  bool split = true;

  // The trailing rows are brought up to date four pivots at a time (one read and one write of
  // each cell per four pivots instead of per pivot); in between, a pivot's row is its stored
  // row less the pivots taken since the last update, and the diagonal is kept current pivot by
  // pivot for the choice of the next.
  std::size_t updated = 0;  // the turns already applied to the trailing rows
  std::size_t turns = 0;    // the turns the update at hand applies
  // The update of the live rows at positions first, first + step, ... Each row is written by
  // one thread only, with the same operations whichever thread it is.
  const auto updateFrom = [&](const auto& rows, std::size_t first, std::size_t step) {
    decltype(&rows[0]) u[kBlock];
    long double f[kBlock];
    for (std::size_t t = 0; t < kBlock; ++t) {
      u[t] = &rows[(updated + std::min(t, turns - 1)) * stride];
    }
    for (std::size_t p = first; p < live_.size(); p += step) {
      const int i = live_[p];
      bool any = false;
      for (std::size_t t = 0; t < kBlock; ++t) {
        f[t] = t < turns ? Load(u[t][i]) / d_[updated + t] : 0.0L;
        any = any || f[t] != 0;
      }
      if (!any) continue;
      long double* row = &store.WorkMat(i, 0);
      for (std::size_t q = p; q < live_.size(); ++q) {
        const int j = live_[q];
        row[j] -= (f[0] * Load(u[0][j]) + f[1] * Load(u[1][j])) +
                  (f[2] * Load(u[2][j]) + f[3] * Load(u[3][j]));
      }
    }
  };
  const auto update = [&](std::size_t first, std::size_t step) {
    if (split) {
      updateFrom(uPair_, first, step);
    } else {
      updateFrom(u_, first, step);
    }
  };
  // On a large matrix a second thread takes every other row of each update; it waits for the
  // next update in between (the choice of the next four pivots).
  TPartner partner(n >= kParallelOrder, [&update]() { update(1, 2); });
  const auto flush = [&]() {
    turns = pivot_.size() - updated;
    if (turns == 0) return;
    if (partner.Running()) {
      partner.Start();
      update(0, 2);
      partner.Wait();
    } else {
      update(0, 1);
    }
    updated = pivot_.size();
  };

  while (!live_.empty()) {
    // The sweep's choice: the first unswept index whose diagonal reaches its threshold.
    std::size_t at = 0;
    while (at < live_.size() && !(std::fabs(diag_[static_cast<std::size_t>(live_[at])]) >=
                                  store.PivotTol[static_cast<std::size_t>(live_[at])])) {
      ++at;
    }
    if (at == live_.size()) {
      for (const int i : live_) store.Aliased[static_cast<std::size_t>(i)] = true;
      break;
    }
    const int k = live_[at];
    const long double d = diag_[static_cast<std::size_t>(k)];
    store.PivotSign[static_cast<std::size_t>(k)] = -1;
    live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(at));
    // Row k at its turn over the indices still unswept (0 elsewhere).
    long double* u = &u_[pivot_.size() * stride];
    std::fill(u, u + stride, 0.0L);
    for (const int j : live_) u[j] = j < k ? store.WorkMat(j, k) : store.WorkMat(k, j);
    for (std::size_t t = updated; t < pivot_.size(); ++t) {
      const long double* v = &u_[t * stride];
      const long double fk = v[k] / d_[t];
      if (fk == 0) continue;
      for (const int j : live_) u[j] -= fk * v[j];
    }
    for (const int i : live_) diag_[static_cast<std::size_t>(i)] -= (u[i] / d) * u[i];
    if (split) {
      TSplit* pair = &uPair_[pivot_.size() * stride];
      for (std::size_t j = 0; j < stride && split; ++j) {
        split = SplitsExactly(u[j]);
        Put(pair[j], u[j]);
      }
    }
    pivot_.push_back(k);
    d_.push_back(d);
    if (pivot_.size() - updated == kBlock) flush();
  }

  // The right-hand side through the same eliminations, then the pivots' values in reverse.
  y_.assign(rhs, rhs + stride);
  for (std::size_t t = 0; t < pivot_.size(); ++t) {
    const long double* u = &u_[t * stride];
    const long double yk = y_[static_cast<std::size_t>(pivot_[t])] / d_[t];
    for (std::size_t i = 1; i < stride; ++i) {
      if (u[i] != 0) y_[i] -= u[i] * yk;
    }
  }
  std::fill(x + 1, x + stride, 0.0L);
  for (std::size_t t = pivot_.size(); t-- > 0;) {
    const long double* u = &u_[t * stride];
    long double s = y_[static_cast<std::size_t>(pivot_[t])];
    for (std::size_t i = 1; i < stride; ++i) {
      if (u[i] != 0) s -= u[i] * x[i];
    }
    x[pivot_[t]] = s / d_[t];
  }
}

}  // namespace qv

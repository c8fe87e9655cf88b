#include "segmented/slopesums.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qv {

void TGenotypeBlock::Add(long double y, long double x, long double x0, bool lower) {
  long double row[4];
  if (n_ == 3) {
    row[0] = 1;
    row[1] = lower ? x : x0;
    row[2] = lower ? 0 : x - x0;
  } else {
    row[0] = lower ? 1 : 0;
    row[1] = lower ? x : 0;
    row[2] = lower ? 0 : 1;
    row[3] = lower ? 0 : x;
  }
  // The upper triangle only: the lower one would receive the same products in the same order.
  for (int p = 0; p < n_; ++p) {
    for (int q = p; q < n_; ++q) H_[p][q] += row[p] * row[q];
    c_[p] += row[p] * y;
  }
  yy_ += y * y;
}

bool TGenotypeBlock::Prepare() {
  if (!Invert()) return false;
  FormTotals();
  return true;
}

void TGenotypeBlock::PrepareWith(const TGenotypeBlock& design, const long double* c,
                                 long double yy) {
  *this = design;
  for (int p = 0; p < n_; ++p) c_[p] = c[p];
  yy_ = yy;
  FormTotals();
}

// Gauss-Jordan elimination with partial pivoting; a pivot below 1e-13 of the largest diagonal
// element counts as zero.
bool TGenotypeBlock::Invert() {
  long double a[4][8] = {};
  long double scale = 0;
  for (int p = 0; p < n_; ++p) {
    for (int q = 0; q < n_; ++q) a[p][q] = p <= q ? H_[p][q] : H_[q][p];
    a[p][n_ + p] = 1;
    scale = std::fmax(scale, std::fabs(H_[p][p]));
  }
  if (scale == 0) return false;
  for (int k = 0; k < n_; ++k) {
    int pivot = k;
    for (int p = k + 1; p < n_; ++p) {
      if (std::fabs(a[p][k]) > std::fabs(a[pivot][k])) pivot = p;
    }
    if (std::fabs(a[pivot][k]) <= 1e-13L * scale) return false;
    if (pivot != k) std::swap(a[pivot], a[k]);
    const long double d = a[k][k];
    for (int q = 0; q < 2 * n_; ++q) a[k][q] /= d;
    for (int p = 0; p < n_; ++p) {
      if (p == k || a[p][k] == 0) continue;
      const long double f = a[p][k];
      for (int q = 0; q < 2 * n_; ++q) a[p][q] -= f * a[k][q];
    }
  }
  for (int p = 0; p < n_; ++p) {
    for (int q = 0; q < n_; ++q) Hi_[p][q] = a[p][n_ + q];
  }
  return true;
}

void TGenotypeBlock::FormTotals() {
  r_ = yy_;
  for (int p = 0; p < n_; ++p) {
    for (int q = 0; q < n_; ++q) r_ -= c_[p] * Hi_[p][q] * c_[q];
  }
  const int e[2] = {B1(), B2()};
  for (int s = 0; s < 2; ++s) {
    v_[s] = 0;
    for (int q = 0; q < n_; ++q) v_[s] += Hi_[e[s]][q] * c_[q];
    for (int t = 0; t < 2; ++t) M_[s][t] = Hi_[e[s]][e[t]];
  }
}

void TSlopeSums::Add(const TGenotypeBlock& block, int sign) {
  R_ += sign * block.r_;
  for (int s = 0; s < 2; ++s) {
    V_[s] += sign * block.v_[s];
    for (int t = 0; t < 2; ++t) M_[s][t] += sign * block.M_[s][t];
  }
}

bool TSlopeSums::Multipliers(long double* mu) const {
  // M is positive definite when both slopes are identified.
  const long double det = M_[0][0] * M_[1][1] - M_[0][1] * M_[1][0];
  if (!(det > 1e-20L * M_[0][0] * M_[1][1])) return false;
  const long double u = V_[0] - target_, w = V_[1] - target_;
  mu[0] = (M_[1][1] * u - M_[0][1] * w) / det;
  mu[1] = (M_[0][0] * w - M_[1][0] * u) / det;
  return true;
}

bool TSlopeSums::SSE(long double& sse) const {
  long double mu[2];
  if (!Multipliers(mu)) return false;
  sse = R_;
  for (int s = 0; s < 2; ++s) {
    for (int t = 0; t < 2; ++t) sse += mu[s] * M_[s][t] * mu[t];
  }
  return std::isfinite(sse);
}

void TSlopeSums::Solution(const TGenotypeBlock& block, long double* beta) const {
  long double mu[2] = {0, 0};
  Multipliers(mu);
  long double c[4];
  for (int p = 0; p < block.n_; ++p) c[p] = block.c_[p];
  c[block.B1()] -= mu[0];
  c[block.B2()] -= mu[1];
  for (int p = 0; p < block.n_; ++p) {
    beta[p] = 0;
    for (int q = 0; q < block.n_; ++q) beta[p] += block.Hi_[p][q] * c[q];
  }
}

void TSortedCells::Assign(const long double* x, const long double* y,
                          const std::vector<int>& order) {
  sortedX_.assign(order.size(), 0);
  running_.assign(order.size() + 1, TSums{});
  for (std::size_t k = 0; k < order.size(); ++k) {
    const long double xk = x[order[k]], yk = y[order[k]];
    sortedX_[k] = xk;
    TSums next = running_[k];
    next.n += 1;
    next.x += xk;
    next.xx += xk * xk;
    next.y += yk;
    next.xy += xk * yk;
    next.yy += yk * yk;
    running_[k + 1] = next;
  }
}

// The sums of the cells below (at or below x0) and above give the block's cross-products: with
// the junction in place the lower rows are (1, x, 0) and the upper (1, x0, x - x0); with two
// lines (1, x, 0, 0) and (0, 0, 1, x).
TGenotypeBlock TSortedCells::Block(long double x0, bool twoLines) const {
  const auto split = static_cast<std::size_t>(
      std::upper_bound(sortedX_.begin(), sortedX_.end(), x0) - sortedX_.begin());
  const TSums& lo = running_[split];
  const TSums& all = running_.back();
  const TSums up{all.n - lo.n, all.x - lo.x,   all.xx - lo.xx,
                 all.y - lo.y, all.xy - lo.xy, all.yy - lo.yy};
  TGenotypeBlock b(twoLines);
  b.yy_ = all.yy;
  if (twoLines) {
    const TSums* side[2] = {&lo, &up};
    for (int s = 0; s < 2; ++s) {
      const int o = 2 * s;
      b.H_[o][o] = side[s]->n;
      b.H_[o][o + 1] = b.H_[o + 1][o] = side[s]->x;
      b.H_[o + 1][o + 1] = side[s]->xx;
      b.c_[o] = side[s]->y;
      b.c_[o + 1] = side[s]->xy;
    }
    return b;
  }
  const long double d1 = up.x - x0 * up.n;                        // sum of (x - x0) above
  const long double d2 = up.xx - 2 * x0 * up.x + x0 * x0 * up.n;  // sum of (x - x0)^2 above
  b.H_[0][0] = all.n;
  b.H_[0][1] = b.H_[1][0] = lo.x + x0 * up.n;
  b.H_[0][2] = b.H_[2][0] = d1;
  b.H_[1][1] = lo.xx + x0 * x0 * up.n;
  b.H_[1][2] = b.H_[2][1] = x0 * d1;
  b.H_[2][2] = d2;
  b.c_[0] = all.y;
  b.c_[1] = lo.xy + x0 * up.y;
  b.c_[2] = up.xy - x0 * up.y;
  return b;
}

std::vector<TSortedCells> SortedCellsOf(const TGxeMeans& means, int g, int a,
                                        const std::vector<long double>& x) {
  std::vector<int> order(static_cast<std::size_t>(a));
  for (int j = 1; j <= a; ++j) order[static_cast<std::size_t>(j - 1)] = j;
  std::stable_sort(order.begin(), order.end(), [&](int p, int q) {
    return x[static_cast<std::size_t>(p)] < x[static_cast<std::size_t>(q)];
  });
  std::vector<TSortedCells> cells(static_cast<std::size_t>(g) + 1);
  std::vector<long double> y(static_cast<std::size_t>(a) + 1);
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) y[static_cast<std::size_t>(j)] = means.Y(i, j);
    cells[static_cast<std::size_t>(i)].Assign(x.data(), y.data(), order);
  }
  return cells;
}

bool TSlopeSums::Crossing(TGenotypeBlock lines, long double lo, long double hi,
                          long double& at) const {
  if (!lines.Prepare()) return false;
  TSlopeSums with = *this;
  with.Add(lines);
  long double beta[4];
  with.Solution(lines, beta);
  if (beta[1] == beta[3]) return false;
  at = (beta[2] - beta[0]) / (beta[1] - beta[3]);
  return at > lo && at < hi;
}

}  // namespace qv

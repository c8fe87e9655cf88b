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

namespace {

// Gauss-Jordan elimination with partial pivoting of the N x N matrix whose upper triangle is
// h[o..o+N-1][o..o+N-1] on [H | I], its inverse written to the same places of `inverse`; a pivot
// of at most `limit` counts as zero.
//
// Only the entries the elimination can change are formed. Left of the bar, the columns up to
// the pivot's become those of the identity and are never read again. Right of it, a row holds
// at each step only the columns of the rows already chosen as pivots besides its own (the
// others are zeros, and dividing a zero or subtracting a multiple of one leaves a number as it
// is). Every entry formed is formed by the same operations, in the same order, as in the full
// elimination; an entry left out could differ only by the sign of a zero, which no sum, product
// or comparison of the totals and solutions formed from the inverse can tell apart. The
// interchanges are kept as an order of the rows instead of moving them.
template <int N>
bool GaussJordan(const long double (&h)[4][4], int o, long double limit,
                 long double (&inverse)[4][4]) {
  long double left[N][N], right[N][N] = {};
  int row[N];  // row[k]: the row of the matrix standing at place k after the interchanges
  for (int p = 0; p < N; ++p) {
    for (int q = 0; q < N; ++q) left[p][q] = p <= q ? h[o + p][o + q] : h[o + q][o + p];
    right[p][p] = 1;
    row[p] = p;
  }
  for (int k = 0; k < N; ++k) {
    int pivot = k;
    for (int p = k + 1; p < N; ++p) {
      if (std::fabs(left[row[p]][k]) > std::fabs(left[row[pivot]][k])) pivot = p;
    }
    if (std::fabs(left[row[pivot]][k]) <= limit) return false;
    std::swap(row[pivot], row[k]);
    const int s = row[k];
    const long double d = left[s][k];
    for (int q = k + 1; q < N; ++q) left[s][q] /= d;
    for (int t = 0; t <= k; ++t) right[s][row[t]] /= d;
    for (int p = 0; p < N; ++p) {
      const int r = row[p];
      if (p == k || left[r][k] == 0) continue;
      const long double f = left[r][k];
      for (int q = k + 1; q < N; ++q) left[r][q] -= f * left[s][q];
      for (int t = 0; t <= k; ++t) right[r][row[t]] -= f * right[s][row[t]];
    }
  }
  for (int p = 0; p < N; ++p) {
    for (int q = 0; q < N; ++q) inverse[o + p][o + q] = right[row[p]][q];
  }
  return true;
}

}  // namespace

// A pivot below 1e-13 of the largest diagonal element counts as zero. The block of two free
// lines has no cross-products between its lines (each cell's row is zero on one of them): its
// elimination never takes a pivot from the other line nor subtracts a multiple of a row of it (the
// multiple is zero), so each line's 2 x 2 block is inverted on its own with the same operations,
// and the zeros between the lines in the inverse are those the block was made with.
bool TGenotypeBlock::Invert() {
  long double scale = 0;
  for (int p = 0; p < n_; ++p) {
    const long double diagonal = std::fabs(H_[p][p]);
    if (diagonal > scale) scale = diagonal;
  }
  if (scale == 0) return false;
  const long double limit = 1e-13L * scale;
  if (n_ == 3) return GaussJordan<3>(H_, 0, limit, Hi_);
  return GaussJordan<2>(H_, 0, limit, Hi_) && GaussJordan<2>(H_, 2, limit, Hi_);
}

void TGenotypeBlock::FormTotals() {
  if (n_ == 3) {
    FormTotalsOf<3>();
  } else {
    FormTotalsOf<4>();
  }
}

template <int N>
void TGenotypeBlock::FormTotalsOf() {
  TBlockTotals& t = totals_;
  t.r = yy_;
  for (int p = 0; p < N; ++p) {
    for (int q = 0; q < N; ++q) t.r -= c_[p] * Hi_[p][q] * c_[q];
  }
  const int e[2] = {1, N - 1};  // b1 and b2
  for (int s = 0; s < 2; ++s) {
    t.v[s] = 0;
    for (int q = 0; q < N; ++q) t.v[s] += Hi_[e[s]][q] * c_[q];
    for (int u = 0; u < 2; ++u) t.M[s][u] = Hi_[e[s]][e[u]];
  }
}

// The sums over the other line's columns are left out: they would add the zeros between the
// lines in H^-1.
bool TGenotypeBlock::PrepareLines(TLinesTotals& lines) {
  if (!Invert()) return false;
  for (int s = 0; s < 2; ++s) {
    const int o = 2 * s, e = o + 1;
    long double v = 0;
    v += Hi_[e][o] * c_[o];
    v += Hi_[e][e] * c_[e];
    lines.v[s] = v;
    lines.c[s] = c_[e];
    for (const int p : {o, e}) {
      long double fixed = 0;
      fixed += Hi_[p][o] * c_[o];
      lines.fixed[p] = fixed;
      lines.slope[p] = Hi_[p][e];
    }
  }
  return true;
}

void TSlopeSums::Add(const TBlockTotals& block, int sign) {
  R_ += sign * block.r;
  for (int s = 0; s < 2; ++s) {
    V_[s] += sign * block.v[s];
    for (int t = 0; t < 2; ++t) M_[s][t] += sign * block.M[s][t];
  }
}

namespace {

// The multipliers of the totals M and V; false when M is singular. M is positive definite when
// both slopes are identified.
inline bool SolveMultipliers(const long double (&M)[2][2], const long double (&V)[2],
                             long double target, long double* mu) {
  const long double det = M[0][0] * M[1][1] - M[0][1] * M[1][0];
  if (!(det > 1e-20L * M[0][0] * M[1][1])) return false;
  const long double u = V[0] - target, w = V[1] - target;
  mu[0] = (M[1][1] * u - M[0][1] * w) / det;
  mu[1] = (M[0][0] * w - M[1][0] * u) / det;
  return true;
}

inline bool SumOfSquares(long double R, const long double (&M)[2][2], const long double (&V)[2],
                         long double target, long double& sse) {
  long double mu[2];
  if (!SolveMultipliers(M, V, target, mu)) return false;
  sse = R;
  for (int s = 0; s < 2; ++s) {
    for (int t = 0; t < 2; ++t) sse += mu[s] * M[s][t] * mu[t];
  }
  return std::isfinite(sse);
}

}  // namespace

bool TSlopeSums::Multipliers(long double* mu) const {
  return SolveMultipliers(M_, V_, target_, mu);
}

bool TSlopeSums::SSE(long double& sse) const {
  return SumOfSquares(R_, M_, V_, target_, sse);
}

// The totals with the block added, as Add forms them (its sign, 1, multiplies exactly).
bool TSlopeSums::SSEWith(const TBlockTotals& block, long double& sse) const {
  const long double M[2][2] = {{M_[0][0] + block.M[0][0], M_[0][1] + block.M[0][1]},
                               {M_[1][0] + block.M[1][0], M_[1][1] + block.M[1][1]}};
  const long double V[2] = {V_[0] + block.v[0], V_[1] + block.v[1]};
  return SumOfSquares(R_ + block.r, M, V, target_, sse);
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

std::size_t TSortedCells::Split(long double x0) const {
  return static_cast<std::size_t>(std::upper_bound(sortedX_.begin(), sortedX_.end(), x0) -
                                  sortedX_.begin());
}

TGenotypeBlock TSortedCells::Block(long double x0, bool twoLines) const {
  TGenotypeBlock b(twoLines);
  Fill(Split(x0), x0, b);
  return b;
}

// The sums of the cells below (at or below x0) and above give the block's cross-products: with
// the junction in place the lower rows are (1, x, 0) and the upper (1, x0, x - x0); with two
// lines (1, x, 0, 0) and (0, 0, 1, x), whose cross-products between the lines stay zero. Only
// the upper triangle is formed, the one Add forms and Invert reads.
void TSortedCells::Fill(std::size_t split, long double x0, TGenotypeBlock& b) const {
  const TSums& lo = running_[split];
  const TSums& all = running_.back();
  const TSums up{all.n - lo.n, all.x - lo.x,   all.xx - lo.xx,
                 all.y - lo.y, all.xy - lo.xy, all.yy - lo.yy};
  b.yy_ = all.yy;
  if (b.n_ == 4) {
    const TSums* side[2] = {&lo, &up};
    for (int s = 0; s < 2; ++s) {
      const int o = 2 * s;
      b.H_[o][o] = side[s]->n;
      b.H_[o][o + 1] = side[s]->x;
      b.H_[o + 1][o + 1] = side[s]->xx;
      b.c_[o] = side[s]->y;
      b.c_[o + 1] = side[s]->xy;
    }
    return;
  }
  const long double d1 = up.x - x0 * up.n;                        // sum of (x - x0) above
  const long double d2 = up.xx - 2 * x0 * up.x + x0 * x0 * up.n;  // sum of (x - x0)^2 above
  b.H_[0][0] = all.n;
  b.H_[0][1] = lo.x + x0 * up.n;
  b.H_[0][2] = d1;
  b.H_[1][1] = lo.xx + x0 * x0 * up.n;
  b.H_[1][2] = x0 * d1;
  b.H_[2][2] = d2;
  b.c_[0] = all.y;
  b.c_[1] = lo.xy + x0 * up.y;
  b.c_[2] = up.xy - x0 * up.y;
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

// The multipliers need the two lines' v and M but not their residual sum; M has no terms between
// b1 and b2 (the lines share no cross-products), which would add zeros to the others' totals.
bool TSlopeSums::Crossing(const TLinesTotals& lines, long double lo, long double hi,
                          long double& at) const {
  const long double M[2][2] = {{M_[0][0] + lines.slope[1], M_[0][1]},
                               {M_[1][0], M_[1][1] + lines.slope[3]}};
  const long double V[2] = {V_[0] + lines.v[0], V_[1] + lines.v[1]};
  long double mu[2] = {0, 0};
  SolveMultipliers(M, V, target_, mu);
  long double beta[4];
  for (int p = 0; p < 4; ++p) {
    beta[p] = lines.fixed[p] + lines.slope[p] * (lines.c[p / 2] - mu[p / 2]);
  }
  if (beta[1] == beta[3]) return false;
  at = (beta[2] - beta[0]) / (beta[1] - beta[3]);
  return at > lo && at < hi;
}

}  // namespace qv

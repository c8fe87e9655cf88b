// The block elimination with the sweep's decisions; see blocksweep.h.
#include "stats/blocksweep.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace qv {

namespace {

// The largest block the elimination takes (the segmented models have 2 to 4 parameters per
// genotype).
constexpr int kMaxBlock = 8;

// a[j] -= sum over t < count of v[t] u_j[t] for four rows u_j at once, each sum in a register and
// in the order of t: the products of a cell in the order of the pivots, v shared.
void SubtractDots4(const long double* v, const long double* u0, const long double* u1,
                   const long double* u2, const long double* u3, int count, long double* a) {
  long double a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  for (int t = 0; t < count; ++t) {
    const long double x = v[t];
    a0 -= x * u0[t];
    a1 -= x * u1[t];
    a2 -= x * u2[t];
    a3 -= x * u3[t];
  }
  a[0] = a0;
  a[1] = a1;
  a[2] = a2;
  a[3] = a3;
}

long double SubtractDot(const long double* v, const long double* u, int count, long double a) {
  for (int t = 0; t < count; ++t) a -= v[t] * u[t];
  return a;
}

// sum over t < count of x[t] y[t], two partial sums (the order of a plain dot product does not
// matter here: the inverse is exact to rounding only).
long double Dot(const long double* x, const long double* y, int count) {
  long double s0 = 0, s1 = 0;
  int t = 0;
  for (; t + 1 < count; t += 2) {
    s0 += x[t] * y[t];
    s1 += x[t + 1] * y[t + 1];
  }
  if (t < count) s0 += x[t] * y[t];
  return s0 + s1;
}

// out[j] = sum over t < count of x[t] rows[j][t] for j < m, four rows at a time.
void Dots(const long double* x, const long double* const* rows, int m, int count,
          long double* out) {
  int j = 0;
  for (; j + 3 < m; j += 4) {
    long double a[4] = {0, 0, 0, 0};
    SubtractDots4(x, rows[j], rows[j + 1], rows[j + 2], rows[j + 3], count, a);
    for (int c = 0; c < 4; ++c) out[j + c] = -a[c];
  }
  for (; j < m; ++j) out[j] = Dot(x, rows[j], count);
}

}  // namespace

BlockSweep::BlockSweep() = default;

bool BlockSweep::Factor(SweepStorage& store, int n, int blocks, int size) {
  InitSweep(store, n);
  if (size < 1 || size > kMaxBlock || blocks < 0 || blocks * size > n) return false;
  n_ = n;
  size_ = size;
  nb_ = blocks * size;
  r_ = n - nb_;
  const int first = nb_ + 1;  // the first trailing index
  // The blocks share no cell.
  for (int b = 0; b < blocks; ++b) {
    for (int p = b * size + 1; p <= (b + 1) * size; ++p) {
      for (int q = (b + 1) * size + 1; q <= nb_; ++q) {
        if (store.WorkMat(p, q) != 0) return false;
      }
    }
  }
  const auto un = static_cast<std::size_t>(n) + 1;
  const auto ur = static_cast<std::size_t>(r_);
  d_.assign(un, 0);
  aliased_.assign(un, 0);
  pivotSlot_.assign(un, -1);
  blockRow_.resize(static_cast<std::size_t>(nb_) * static_cast<std::size_t>(size_));
  blockOrder_.clear();
  u_.resize(ur * static_cast<std::size_t>(n));
  v_.resize(u_.size());

  // The blocks, one after the other: their pivots in the sweep's order within the block, the
  // block's own cells and its rows over the trailing part updated as the sweep updates them
  // while they are not swept. Every pivot's row over the trailing part at its turn is kept.
  rows_.resize(static_cast<std::size_t>(size) * ur);
  for (int b = 0; b < blocks; ++b) {
    const int base = b * size;
    long double a[kMaxBlock][kMaxBlock];
    for (int p = 0; p < size; ++p) {
      for (int q = p; q < size; ++q) a[p][q] = a[q][p] = store.WorkMat(base + 1 + p, base + 1 + q);
      long double* rp = &rows_[static_cast<std::size_t>(p) * ur];
      for (int e = 0; e < r_; ++e) rp[e] = store.WorkMat(base + 1 + p, first + e);
    }
    bool swept[kMaxBlock] = {};
    for (;;) {
      int t = -1;
      for (int q = 0; q < size && t < 0; ++q) {
        if (!swept[q] && std::fabs(a[q][q]) >= store.PivotTol[base + 1 + q]) t = q;
      }
      if (t < 0) break;
      const int k = base + 1 + t;
      const long double d = a[t][t];
      swept[t] = true;
      d_[static_cast<std::size_t>(k)] = d;
      const int slot = static_cast<int>(blockOrder_.size());
      pivotSlot_[static_cast<std::size_t>(k)] = slot;
      blockOrder_.push_back(k);
      for (int q = 0; q < size; ++q) {
        blockRow_[static_cast<std::size_t>(k - 1) * size_ + static_cast<std::size_t>(q)] = a[t][q];
      }
      const long double* rt = &rows_[static_cast<std::size_t>(t) * ur];
      for (int e = 0; e < r_; ++e) {
        U(e, slot) = rt[e];
        V(e, slot) = rt[e] / d;
      }
      // The cells of the indices not yet swept: a(i, j) -= (a(i, k) / d) a(k, j), i the row of
      // the cell in the upper triangle (the smaller index).
      for (int p = 0; p < size; ++p) {
        if (swept[p]) continue;
        const long double v = a[p][t] / d;
        for (int q = p; q < size; ++q) {
          if (swept[q]) continue;
          a[p][q] = a[p][q] - v * a[t][q];
          a[q][p] = a[p][q];
        }
        long double* rp = &rows_[static_cast<std::size_t>(p) * ur];
        for (int e = 0; e < r_; ++e) rp[e] = rp[e] - v * rt[e];
      }
    }
    // An index left over is taken by the sweep neither: with no cell shared with an index still
    // to be swept, its diagonal never changes. Otherwise the sweep might take it later.
    for (int p = 0; p < size; ++p) {
      if (swept[p]) continue;
      for (int q = 0; q < size; ++q) {
        if (q != p && !swept[q] && a[p][q] != 0) return false;
      }
      const long double* rp = &rows_[static_cast<std::size_t>(p) * ur];
      for (int e = 0; e < r_; ++e) {
        if (rp[e] != 0) return false;
      }
      aliased_[static_cast<std::size_t>(base + 1 + p)] = 1;
    }
  }
  p1_ = static_cast<int>(blockOrder_.size());

  // The trailing part, eliminated with the sweep's choice of pivot. A cell (i, j), i <= j, is
  // the sweep's once every pivot k taken before both has subtracted (a(i, k) / d_k) a(k, j), in
  // the order of the pivots; a pivot's row is formed when it is taken, each cell's products
  // summed in a register (Golub and Van Loan, sec. 4.2.8: the same sums, formed late), and the
  // diagonal is kept up to date for the choice of the next pivot.
  diag_.resize(ur);
  for (int f = 0; f < r_; ++f) {
    diag_[static_cast<std::size_t>(f)] =
        SubtractDot(&V(f, 0), &U(f, 0), p1_, store.WorkMat(first + f, first + f));
  }
  trailOrder_.clear();
  trailPos_.assign(ur, -1);
  std::vector<int>& later = open_;
  std::vector<long double>& value = values_;
  value.resize(ur);
  for (;;) {
    int e = -1;
    for (int f = 0; f < r_ && e < 0; ++f) {
      if (trailPos_[static_cast<std::size_t>(f)] < 0 &&
          std::fabs(diag_[static_cast<std::size_t>(f)]) >= store.PivotTol[first + f]) {
        e = f;
      }
    }
    if (e < 0) break;
    const int taken = p1_ + static_cast<int>(trailOrder_.size());
    const long double d = diag_[static_cast<std::size_t>(e)];
    d_[static_cast<std::size_t>(first + e)] = d;
    trailPos_[static_cast<std::size_t>(e)] = static_cast<int>(trailOrder_.size());
    trailOrder_.push_back(e);
    // Row e over the indices still open: those before e (passed over earlier) sum with their own
    // v, those after it with e's.
    later.clear();
    for (int f = 0; f < r_; ++f) {
      if (trailPos_[static_cast<std::size_t>(f)] >= 0) continue;
      if (f < e) {
        value[static_cast<std::size_t>(f)] =
            SubtractDot(&V(f, 0), &U(e, 0), taken, store.WorkMat(first + f, first + e));
      } else {
        later.push_back(f);
      }
    }
    std::size_t x = 0;
    for (; x + 3 < later.size(); x += 4) {
      long double a[4];
      for (int c = 0; c < 4; ++c) a[c] = store.WorkMat(first + e, first + later[x + c]);
      SubtractDots4(&V(e, 0), &U(later[x], 0), &U(later[x + 1], 0), &U(later[x + 2], 0),
                    &U(later[x + 3], 0), taken, a);
      for (int c = 0; c < 4; ++c) value[static_cast<std::size_t>(later[x + c])] = a[c];
    }
    for (; x < later.size(); ++x) {
      const int f = later[x];
      value[static_cast<std::size_t>(f)] =
          SubtractDot(&V(e, 0), &U(f, 0), taken, store.WorkMat(first + e, first + f));
    }
    for (int f = 0; f < r_; ++f) {
      if (trailPos_[static_cast<std::size_t>(f)] >= 0) continue;
      const long double a = value[static_cast<std::size_t>(f)];
      U(f, taken) = a;
      V(f, taken) = a / d;
      diag_[static_cast<std::size_t>(f)] =
          diag_[static_cast<std::size_t>(f)] - V(f, taken) * U(f, taken);
    }
  }
  for (int f = 0; f < r_; ++f) {
    if (trailPos_[static_cast<std::size_t>(f)] < 0)
      aliased_[static_cast<std::size_t>(first + f)] = 1;
  }
  for (int i = 1; i <= n; ++i) store.Aliased[i] = aliased_[static_cast<std::size_t>(i)] != 0;
  return true;
}

// L D L' with L(j, k) = a(j, k) / d_k over the indices j taken after k: forward L w = b, then
// backward L' x = D^-1 w.
void BlockSweep::Solve(const long double* b, long double* x) const {
  const int first = nb_ + 1;
  std::vector<long double>& z = z_;
  z.assign(static_cast<std::size_t>(n_) + 1, 0);
  for (int i = 1; i <= n_; ++i) {
    if (!aliased_[static_cast<std::size_t>(i)]) z[static_cast<std::size_t>(i)] = b[i];
  }
  const auto open = [this](int e) { return !aliased_[static_cast<std::size_t>(nb_ + 1 + e)]; };
  const auto laterInBlock = [this](int k, int t, auto&& apply) {
    const int base = (k - 1) / size_ * size_;
    for (int p = 0; p < size_; ++p) {
      if (pivotSlot_[static_cast<std::size_t>(base + 1 + p)] > t) {
        apply(base + 1 + p,
              blockRow_[static_cast<std::size_t>(k - 1) * size_ + static_cast<std::size_t>(p)]);
      }
    }
  };
  for (int t = 0; t < p1_; ++t) {
    const int k = blockOrder_[static_cast<std::size_t>(t)];
    const long double y = z[static_cast<std::size_t>(k)] / d_[static_cast<std::size_t>(k)];
    laterInBlock(k, t, [&](int j, long double a) { z[static_cast<std::size_t>(j)] -= a * y; });
    for (int e = 0; e < r_; ++e) {
      if (open(e)) z[static_cast<std::size_t>(first + e)] -= U(e, t) * y;
    }
  }
  const auto order = static_cast<int>(trailOrder_.size());
  for (int o = 0; o < order; ++o) {
    const int e = trailOrder_[static_cast<std::size_t>(o)];
    const long double y =
        z[static_cast<std::size_t>(first + e)] / d_[static_cast<std::size_t>(first + e)];
    for (int f = 0; f < r_; ++f) {
      if (trailPos_[static_cast<std::size_t>(f)] > o) {
        z[static_cast<std::size_t>(first + f)] -= U(f, p1_ + o) * y;
      }
    }
  }
  for (int i = 0; i <= n_; ++i) x[i] = 0;
  for (int o = order - 1; o >= 0; --o) {
    const int e = trailOrder_[static_cast<std::size_t>(o)];
    long double sum = z[static_cast<std::size_t>(first + e)];
    for (int f = 0; f < r_; ++f) {
      if (trailPos_[static_cast<std::size_t>(f)] > o) sum -= U(f, p1_ + o) * x[first + f];
    }
    x[first + e] = sum / d_[static_cast<std::size_t>(first + e)];
  }
  for (int t = p1_ - 1; t >= 0; --t) {
    const int k = blockOrder_[static_cast<std::size_t>(t)];
    long double sum = z[static_cast<std::size_t>(k)];
    laterInBlock(k, t, [&](int j, long double a) { sum -= a * x[j]; });
    for (int e = 0; e < r_; ++e) {
      if (open(e)) sum -= U(e, t) * x[first + e];
    }
    x[k] = sum / d_[static_cast<std::size_t>(k)];
  }
}

void BlockSweep::Inverse(SweepStorage& store) const {
  for (int i = 1; i <= n_; ++i) {
    if (aliased_[static_cast<std::size_t>(i)]) throw std::logic_error("BlockSweep: aliased index");
  }
  const int first = nb_ + 1;
  const auto ur = static_cast<std::size_t>(r_);
  const auto up = static_cast<std::size_t>(p1_);

  // T = S^-1 from S = L D L' in the trailing pivots' order: Y = L^-1 (by columns, Y' stored by
  // rows), T = Y' D^-1 Y.
  std::vector<long double> yt(ur * ur, 0), scaled(ur * ur, 0), tinv(ur * ur, 0);
  const auto lower = [this](int i, int m) {  // L at positions i > m of the pivot order
    return V(trailOrder_[static_cast<std::size_t>(i)], p1_ + m);
  };
  for (int j = 0; j < r_; ++j) {
    long double* yj = &yt[static_cast<std::size_t>(j) * ur];  // column j of Y
    yj[j] = 1;
    for (int i = j + 1; i < r_; ++i) {
      long double sum = 0;
      for (int m = j; m < i; ++m) sum += lower(i, m) * yj[m];
      yj[i] = -sum;
    }
    const long double* ys = yj;
    long double* sj = &scaled[static_cast<std::size_t>(j) * ur];
    for (int m = j; m < r_; ++m) {
      sj[m] =
          ys[m] / d_[static_cast<std::size_t>(first + trailOrder_[static_cast<std::size_t>(m)])];
    }
  }
  for (int i = 0; i < r_; ++i) {
    const long double* yi = &yt[static_cast<std::size_t>(i) * ur];
    for (int j = i; j < r_; ++j) {
      const long double* sj = &scaled[static_cast<std::size_t>(j) * ur];
      const long double sum = Dot(yi + j, sj + j, r_ - j);
      const int a = trailOrder_[static_cast<std::size_t>(i)];
      const int b = trailOrder_[static_cast<std::size_t>(j)];
      tinv[static_cast<std::size_t>(a) * ur + static_cast<std::size_t>(b)] = sum;
      tinv[static_cast<std::size_t>(b) * ur + static_cast<std::size_t>(a)] = sum;
    }
  }

  // W = A^-1 C by the blocks' factors, row by row of the block pivots, in reverse order.
  std::vector<long double> w(up * ur, 0);
  for (int t = p1_ - 1; t >= 0; --t) {
    const int k = blockOrder_[static_cast<std::size_t>(t)];
    const int base = (k - 1) / size_ * size_;
    long double* wk = &w[static_cast<std::size_t>(t) * ur];
    for (int e = 0; e < r_; ++e) wk[e] = U(e, t);
    for (int p = 0; p < size_; ++p) {
      const int s = pivotSlot_[static_cast<std::size_t>(base + 1 + p)];
      if (s <= t) continue;
      const long double a =
          blockRow_[static_cast<std::size_t>(k - 1) * size_ + static_cast<std::size_t>(p)];
      const long double* ws = &w[static_cast<std::size_t>(s) * ur];
      for (int e = 0; e < r_; ++e) wk[e] -= a * ws[e];
    }
    const long double d = d_[static_cast<std::size_t>(k)];
    for (int e = 0; e < r_; ++e) wk[e] /= d;
  }
  // A^-1 block by block: the block's factors applied to the unit vectors.
  std::vector<long double> ainv(up * static_cast<std::size_t>(size_), 0);  // by slot, position
  std::vector<std::pair<int, int>> order;                                  // (slot, position)
  for (int b = 0; b < nb_ / size_; ++b) {
    const int base = b * size_;
    order.clear();
    for (int p = 0; p < size_; ++p) {
      order.push_back({pivotSlot_[static_cast<std::size_t>(base + 1 + p)], p});
    }
    std::sort(order.begin(), order.end());
    const auto a = [&](int p, int q) {
      return blockRow_[static_cast<std::size_t>(base + p) * size_ + static_cast<std::size_t>(q)];
    };
    for (int c = 0; c < size_; ++c) {
      long double z[kMaxBlock] = {}, x[kMaxBlock] = {};
      z[c] = 1;
      for (const auto& [slot, p] : order) {
        const long double yp = z[p] / d_[static_cast<std::size_t>(base + 1 + p)];
        for (const auto& [later, q] : order) {
          if (later > slot) z[q] -= a(p, q) * yp;
        }
      }
      for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const auto [slot, p] = *it;
        long double sum = z[p];
        for (const auto& [later, q] : order) {
          if (later > slot) sum -= a(p, q) * x[q];
        }
        x[p] = sum / d_[static_cast<std::size_t>(base + 1 + p)];
      }
      for (const auto& [slot, p] : order) {
        ainv[static_cast<std::size_t>(slot) * static_cast<std::size_t>(size_) +
             static_cast<std::size_t>(c)] = x[p];
      }
    }
  }

  // G(A, E) = -W T, G(A, A) = A^-1 - W G(A, E)', G(E, E) = T.
  std::vector<const long double*> rows(std::max(ur, up));
  std::vector<long double> gae(up * ur, 0), out(std::max(ur, up));
  for (int f = 0; f < r_; ++f)
    rows[static_cast<std::size_t>(f)] = &tinv[static_cast<std::size_t>(f) * ur];
  for (int t = 0; t < p1_; ++t) {
    Dots(&w[static_cast<std::size_t>(t) * ur], rows.data(), r_, r_, out.data());
    long double* gt = &gae[static_cast<std::size_t>(t) * ur];
    for (int f = 0; f < r_; ++f) gt[f] = -out[static_cast<std::size_t>(f)];
  }
  for (int s = 0; s < p1_; ++s)
    rows[static_cast<std::size_t>(s)] = &gae[static_cast<std::size_t>(s) * ur];
  for (int t = 0; t < p1_; ++t) {
    const int k = blockOrder_[static_cast<std::size_t>(t)];
    Dots(&w[static_cast<std::size_t>(t) * ur], rows.data(), p1_, r_, out.data());
    for (int s = 0; s < p1_; ++s) {
      const int j = blockOrder_[static_cast<std::size_t>(s)];
      if (j < k) continue;
      long double g = -out[static_cast<std::size_t>(s)];
      if ((j - 1) / size_ == (k - 1) / size_) {
        g += ainv[static_cast<std::size_t>(t) * static_cast<std::size_t>(size_) +
                  static_cast<std::size_t>((j - 1) % size_)];
      }
      store.WorkMat(k, j) = g;
    }
    for (int f = 0; f < r_; ++f) {
      store.WorkMat(k, first + f) =
          gae[static_cast<std::size_t>(t) * ur + static_cast<std::size_t>(f)];
    }
  }
  for (int e = 0; e < r_; ++e) {
    for (int f = e; f < r_; ++f) {
      store.WorkMat(first + e, first + f) =
          tinv[static_cast<std::size_t>(e) * ur + static_cast<std::size_t>(f)];
    }
  }
}

}  // namespace qv

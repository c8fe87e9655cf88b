// The fitting passes of the models whose genotypes follow two straight lines in a known index
// (Silva 1998; TLinePair in engine.h).
//
// Genotype i's model values and Jacobian rows are affine in the index x on either side of its
// junction. Its block of the normal equations, the sum over its cells of J'J, is therefore
//
//     sum over the sides s of  n_s u_s u_s' + Sx_s (u_s v_s' + v_s u_s') + Sxx_s v_s v_s',
//
// with n_s, Sx_s and Sxx_s the number, sum and sum of squares of the index values on side s --
// running sums of the sorted index, the same for every genotype -- and its share of J'(y - f)
// is u_s Se_s + v_s Sex_s from the sums of its residuals and of their products with x. The
// genotypes' blocks are tied only by the constraint rows, so the step follows from each block's
// inverse and one small system for the constraints' multipliers (Schur complement; Golub and
// Van Loan 2013, Matrix Computations, sec. 3.2.10):
//
//     y(i) = H(i)^-1 r(i),   S mu = sum_i E(i) y(i),   S = sum_i E(i) H(i)^-1 E(i)',
//     step(i) = y(i) - H(i)^-1 E(i)' mu,
//
// E(i) picking the genotype's members of each constraint group. A pass costs O(g a) for the
// residuals instead of the Jacobian, the normal matrix of order 4g + 2 and its inverse.
//
// The trials of the step length are ruled out the same way. With the residuals e at the start
// of the step summed along the index (e, e^2, e x), the sum of squares at a trial point, over the
// cells that stay on the same side of the junction, is
//
//     sum (e - dc - db x)^2 = See - 2 dc Se - 2 db Sex + dc^2 n + 2 dc db Sx + db^2 Sxx,
//
// dc and db the changes of that side's line; the cells the junction passes are summed one by
// one. Only a trial whose sum this shows to exceed the start's by far more than the rounding of
// either sum is ruled out; every other is summed over the cells as before, so that every
// decision of the step-length control, and every sum kept, is the one the cells give.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <vector>

#include "segmented/engine.h"

namespace qv {
namespace {

constexpr int kL = kLineColumns;
constexpr int kMaxLineConstraints = 8;

// The sweep's thresholds (stats/inv_g2.h): a diagonal is numerically zero below 1e-13 times its
// starting value, or below 1e-13 when it started at 1e-8 or less.
long double PivotThreshold(long double diagonal) {
  const long double x = std::fabs(diagonal);
  return x <= 1e-8L ? 1e-13L : 1e-13L * x;
}

// Sweeps the symmetric n x n matrix a (row-major, full) with the sweep's pivot rule: the first
// unswept index whose diagonal reaches its threshold, until none does. Afterwards the swept
// indices hold the inverse of their submatrix; returns the number of indices left unswept,
// marked in `unswept`.
int SweepSmall(long double* a, int n, const long double* tol, bool* unswept) {
  for (int p = 0; p < n; ++p) unswept[p] = true;
  int left = n;
  for (;;) {
    int k = 0;
    while (k < n && !(unswept[k] && std::fabs(a[k * n + k]) >= tol[k])) ++k;
    if (k == n) return left;
    const long double d = a[k * n + k];
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const long double aik = a[i * n + k];
      if (aik == 0) continue;
      for (int j = 0; j < n; ++j) {
        if (j != k) a[i * n + j] -= aik * a[k * n + j] / d;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      a[i * n + k] = -a[i * n + k] / d;
      a[k * n + i] = a[k * n + i] / d;
    }
    a[k * n + k] = 1 / d;
    unswept[k] = false;
    --left;
  }
}

// The number of the sorted index values on the lower line of a junction at x0: those at or below
// it, or with `above` those strictly below it.
std::size_t LowerCount(const std::vector<long double>& x, long double x0, bool above) {
  const auto at =
      above ? std::lower_bound(x.begin(), x.end(), x0) : std::upper_bound(x.begin(), x.end(), x0);
  return static_cast<std::size_t>(at - x.begin());
}

}  // namespace

bool TFitEngine::PrepareLines(const TSegmentedModel& model, const TGxeMeans& means) {
  std::vector<long double> index;
  if (!model.KnownIndex(index) || index.size() != static_cast<std::size_t>(a_) + 1) return false;
  const auto a = static_cast<std::size_t>(a_), g = static_cast<std::size_t>(g_);
  lineOrder_.resize(a);
  std::iota(lineOrder_.begin(), lineOrder_.end(), 1);
  std::stable_sort(lineOrder_.begin(), lineOrder_.end(), [&index](int p, int q) {
    return index[static_cast<std::size_t>(p)] < index[static_cast<std::size_t>(q)];
  });
  lineX_.resize(a);
  xFrom_.assign(a + 1, 0.0L);
  xxFrom_.assign(a + 1, 0.0L);
  xTo_.assign(a + 1, 0.0L);
  xxTo_.assign(a + 1, 0.0L);
  xLargest_ = 0;
  for (std::size_t k = 0; k < a; ++k) {
    const long double x = index[static_cast<std::size_t>(lineOrder_[k])];
    lineX_[k] = x;
    xLargest_ = std::fmax(xLargest_, std::fabs(x));
    xFrom_[k + 1] = xFrom_[k] + x;
    xxFrom_[k + 1] = xxFrom_[k] + x * x;
  }
  // From the top down as well, so that an upper side's sums are not differences.
  for (std::size_t k = a; k-- > 0;) {
    xTo_[k] = xTo_[k + 1] + lineX_[k];
    xxTo_[k] = xxTo_[k + 1] + lineX_[k] * lineX_[k];
  }
  yLines_.resize(g * a);
  for (int i = 1; i <= g_; ++i) {
    long double* y = &yLines_[static_cast<std::size_t>(i - 1) * a];
    for (std::size_t k = 0; k < a; ++k) y[k] = means.Y(i, lineOrder_[k]);
  }
  eSorted_.assign(g * a, 0.0L);
  startSums_.assign(g + 1, TStartSums{});
  startLines_.assign(g + 1, TLinePair{});
  startLower_.assign(g + 1, 0);
  blockInverse_.assign((g + 1) * kL * kL, 0.0L);
  blockStep_.assign((g + 1) * kL, 0.0L);
  blockColumn_.assign(g + 1, 0);
  lineResiduals_.assign(g + 1, TLineResiduals{});
  trialResiduals_.assign((g + 1) * (a + 1), 0.0L);
  trialKeys_.assign((g + 1) * kL, std::numeric_limits<long double>::quiet_NaN());
  return true;
}

bool TFitEngine::SolveByLineBlocks(const TSegmentedModel& model, const TGxeMeans& means) {
  const auto a = static_cast<std::size_t>(a_);
  const long double* theta = s_.theta.data();
  SweepStorage& w = *s_.sweep;
  long double border[kMaxLineConstraints * kMaxLineConstraints] = {};
  long double borderRhs[kMaxLineConstraints] = {};
  for (int i = 1; i <= g_; ++i) {
    TLinePair lines;
    model.LinePair(theta, i, lines);
    if (lines.column < 1 || lines.column + kL - 1 > p_) return false;
    const int k = junctionOf_[static_cast<std::size_t>(i)];
    const TJunctionState* junction = k == 0 ? nullptr : &junctions_[static_cast<std::size_t>(k)];
    int held = -1;
    if (junction != nullptr && junction->held) {
      // Held on a constant breakpoint its column is 0; one that follows a parameter has no
      // place in a genotype's own block.
      held = junction->p - lines.column;
      if (junction->on.param != 0 || held < 0 || held >= kL) return false;
      for (int s = 0; s < 2; ++s) lines.u[s][held] = lines.v[s][held] = 0;
    }
    // The residuals' sums on either side; the cells at the junction count on the upper line
    // where it moves down.
    const bool above = junction != nullptr && junction->above;
    const std::size_t lower = LowerCount(lineX_, lines.x0, above);
    const TLineResiduals& res = LineResidualsOf(model, means, lines, i);
    const long double se[2] = {above ? res.e[0] : res.e[0] + res.e[1],
                               above ? res.e[1] + res.e[2] : res.e[2]};
    const long double sex[2] = {above ? res.ex[0] : res.ex[0] + res.ex[1],
                                above ? res.ex[1] + res.ex[2] : res.ex[2]};
    const long double n[2] = {static_cast<long double>(lower), static_cast<long double>(a - lower)};
    const long double sx[2] = {xFrom_[lower], xTo_[lower]};
    const long double sxx[2] = {xxFrom_[lower], xxTo_[lower]};

    long double h[kL * kL], r[kL];
    for (int p = 0; p < kL; ++p) {
      r[p] = 0;
      for (int s = 0; s < 2; ++s) r[p] += lines.u[s][p] * se[s] + lines.v[s][p] * sex[s];
      s_.rhs[static_cast<std::size_t>(lines.column + p)] = r[p];
      for (int q = p; q < kL; ++q) {
        long double sum = 0;
        for (int s = 0; s < 2; ++s) {
          const long double* u = lines.u[s];
          const long double* v = lines.v[s];
          sum += n[s] * u[p] * u[q] + sx[s] * (u[p] * v[q] + v[p] * u[q]) + sxx[s] * v[p] * v[q];
        }
        h[p * kL + q] = h[q * kL + p] = sum;
      }
    }
    long double tol[kL];
    for (int p = 0; p < kL; ++p) tol[p] = PivotThreshold(h[p * kL + p]);
    bool unswept[kL];
    SweepSmall(h, kL, tol, unswept);
    long double* inverse = &blockInverse_[static_cast<std::size_t>(i) * kL * kL];
    long double* step = &blockStep_[static_cast<std::size_t>(i) * kL];
    blockColumn_[static_cast<std::size_t>(i)] = lines.column;
    for (int p = 0; p < kL; ++p) {
      // A parameter the block leaves aliased may still be determined through a constraint, as
      // the whole sweep would find; only the held junction's empty column is aliased here.
      if (unswept[p] && p != held) return false;
      w.Aliased[static_cast<std::size_t>(lines.column + p)] = unswept[p];
    }
    for (int p = 0; p < kL; ++p) {
      step[p] = 0;
      for (int q = 0; q < kL; ++q) {
        const long double hpq = unswept[p] || unswept[q] ? 0.0L : h[p * kL + q];
        inverse[p * kL + q] = hpq;
        step[p] += hpq * r[q];
      }
    }
    for (int c = 0; c < k_; ++c) {
      for (int p = 0; p < kL; ++p) {
        if (p == held || !model.InConstraint(c + 1, lines.column + p)) continue;
        borderRhs[c] += step[p];
        for (int d = 0; d < k_; ++d) {
          for (int q = 0; q < kL; ++q) {
            if (q != held && model.InConstraint(d + 1, lines.column + q)) {
              border[c * k_ + d] += inverse[p * kL + q];
            }
          }
        }
      }
    }
  }

  // The border as the whole sweep meets it once every block is swept: -S, its diagonal
  // thresholds those of a starting diagonal of 0.
  for (int c = 0; c < k_ * k_; ++c) border[c] = -border[c];
  long double tol[kMaxLineConstraints] = {};
  for (int c = 0; c < k_; ++c) tol[c] = PivotThreshold(0);
  bool unswept[kMaxLineConstraints] = {};
  if (SweepSmall(border, k_, tol, unswept) > 0) return false;
  long double mu[kMaxLineConstraints + 1] = {};  // from 1
  for (int c = 0; c < k_; ++c) {
    for (int d = 0; d < k_; ++d) mu[c + 1] -= border[c * k_ + d] * borderRhs[d];
    w.Aliased[static_cast<std::size_t>(p_ + c + 1)] = false;
    s_.rhs[static_cast<std::size_t>(p_ + c + 1)] = 0;
  }
  for (int i = 1; i <= g_; ++i) {
    const int column = blockColumn_[static_cast<std::size_t>(i)];
    const long double* inverse = &blockInverse_[static_cast<std::size_t>(i) * kL * kL];
    const long double* y = &blockStep_[static_cast<std::size_t>(i) * kL];
    long double em[kL];  // E' mu
    for (int q = 0; q < kL; ++q) {
      em[q] = 0;
      for (int c = 0; c < k_; ++c) {
        if (model.InConstraint(c + 1, column + q)) em[q] += mu[c + 1];
      }
    }
    for (int p = 0; p < kL; ++p) {
      long double s = y[p];
      for (int q = 0; q < kL; ++q) s -= inverse[p * kL + q] * em[q];
      s_.step[static_cast<std::size_t>(column + p)] = s;
    }
  }
  SetBorderRows(model);
  FinishStep(mu);
  lineTheta_.assign(s_.theta.begin(), s_.theta.begin() + p_ + 1);
  lineJunctions_ = junctions_;
  return true;
}

void TFitEngine::KeepLineResiduals(const TLinePair& lines, const long double* e) const {
  const auto a = static_cast<std::size_t>(a_);
  const int i = (lines.column - 1) / kLineColumns + 1;
  TLineResiduals& r = lineResiduals_[static_cast<std::size_t>(i)];
  std::copy(&s_.theta[static_cast<std::size_t>(lines.column)],
            &s_.theta[static_cast<std::size_t>(lines.column)] + kLineColumns, r.key);
  const std::size_t bounds[4] = {0, LowerCount(lineX_, lines.x0, true),
                                 LowerCount(lineX_, lines.x0, false), a};
  for (int part = 0; part < 3; ++part) {
    long double se = 0, sex = 0;
    for (std::size_t m = bounds[part]; m < bounds[part + 1]; ++m) {
      const long double r1 = e[lineOrder_[m]];
      se += r1;
      sex += r1 * lineX_[m];
    }
    r.e[part] = se;
    r.ex[part] = sex;
  }
  r.kept = true;
}

const TFitEngine::TLineResiduals& TFitEngine::LineResidualsOf(const TSegmentedModel& model,
                                                              const TGxeMeans& means,
                                                              const TLinePair& lines, int i) const {
  const TLineResiduals& r = lineResiduals_[static_cast<std::size_t>(i)];
  if (r.kept &&
      std::equal(r.key, r.key + kLineColumns, &s_.theta[static_cast<std::size_t>(lines.column)])) {
    return r;
  }
  // The last trial summed over the cells may have left them.
  const long double* kept = &trialResiduals_[static_cast<std::size_t>(i) * (a_ + 1)];
  const long double* key = &trialKeys_[static_cast<std::size_t>(i) * kLineColumns];
  if (std::equal(key, key + kLineColumns, &s_.theta[static_cast<std::size_t>(lines.column)])) {
    KeepLineResiduals(lines, kept);
    return r;
  }
  long double* e = rowValues_.data();
  AddResiduals(model, means, i, e, 0);
  KeepLineResiduals(lines, e);
  return r;
}

// The plain sum of ResidualSS goes on cell by cell in the order of j: the model's
// AddSquaredResiduals adds these very terms.
long double TFitEngine::AddResiduals(const TSegmentedModel& model, const TGxeMeans& means, int i,
                                     long double* e, long double sum) const {
  model.ModelValues(s_.theta.data(), i, e);
  const long double* y = means.Row(i);
  for (int j = 1; j <= a_; ++j) {
    e[j] = y[j - 1] - e[j];
    sum += e[j] * e[j];
  }
  return sum;
}

long double TFitEngine::TrialSumWithLines(const TSegmentedModel& model, const TGxeMeans& means) {
  const long double* theta = s_.theta.data();
  long double* e = rowValues_.data();
  long double sum = 0;
  for (int i = 1; i <= g_; ++i) {
    if (!lineBlocksAllowed_) {
      sum = AddResiduals(model, means, i, e, sum);
      continue;
    }
    // The residuals stay with the parameters they belong to, for the next step should this
    // trial be taken.
    long double* kept = &trialResiduals_[static_cast<std::size_t>(i) * (a_ + 1)];
    sum = AddResiduals(model, means, i, kept, sum);
    TLinePair lines;
    model.LinePair(theta, i, lines);
    std::copy(&theta[lines.column], &theta[lines.column] + kLineColumns,
              &trialKeys_[static_cast<std::size_t>(i) * kLineColumns]);
  }
  return sum;
}

void TFitEngine::InverseOfLastLinePass(const TSegmentedModel& model) {
  std::vector<long double> now(s_.theta.begin(), s_.theta.begin() + p_ + 1);
  std::copy(lineTheta_.begin(), lineTheta_.end(), s_.theta.begin());
  std::swap(junctions_, lineJunctions_);
  FillJacobian(model);
  BuildNormalMatrix(model);
  Invert();
  std::swap(junctions_, lineJunctions_);
  std::copy(now.begin(), now.end(), s_.theta.begin());
}

long double TFitEngine::StartSumWithLines(const TSegmentedModel& model, const TGxeMeans& means) {
  const auto a = static_cast<std::size_t>(a_);
  const long double* theta = s_.theta.data();
  long double* e = rowValues_.data();
  long double sum = 0;
  for (int i = 1; i <= g_; ++i) {
    sum = AddResiduals(model, means, i, e, sum);
    // The residuals in the index's order, and their sums below and from the lower line's end.
    TLinePair& lines = startLines_[static_cast<std::size_t>(i)];
    model.LinePair(theta, i, lines);
    const std::size_t lower = LowerCount(lineX_, lines.x0, false);
    long double* sorted = &eSorted_[static_cast<std::size_t>(i - 1) * a];
    TStartSums& sums = startSums_[static_cast<std::size_t>(i)];
    sums = TStartSums{};
    for (int s = 0; s < 2; ++s) {
      long double se = 0, see = 0, sex = 0, absolute = 0;
      for (std::size_t m = s == 0 ? 0 : lower; m < (s == 0 ? lower : a); ++m) {
        const long double r = e[lineOrder_[m]];
        sorted[m] = r;
        se += r;
        see += r * r;
        sex += r * lineX_[m];
        absolute += std::fabs(r);
      }
      sums.e[s] = se, sums.ee[s] = see, sums.ex[s] = sex;
      sums.absolute += absolute;
    }
    startLower_[static_cast<std::size_t>(i)] = lower;
  }
  return sum;
}

// The estimate differs from the sum over the cells by the rounding of either (u = 2^-64, the
// unit roundoff of the extended format; Higham 2002, Accuracy and Stability of Numerical
// Algorithms, sec. 4.2):
//  - the cells' sum, added one square at a time, by at most (g a + 1) u times the sum;
//  - the estimate's sums over a side and its few operations per genotype, by at most (a + 64) u
//    times the sum of the magnitudes of its terms;
//  - the model values: the cells' sum squares residuals from the model's own values, the
//    estimate from the start's residuals moved by the lines' changes. Each way a value carries a
//    few units of u of the magnitudes it is formed from, at most |a| + (|b1| + |b2|)(|x| + |x0|)
//    in Silva's forms, which |c[0]| + (|b[0]| + |b[1]|)(max |x| + 2 |x0|) bounds; times twice the
//    residuals' absolute sum, before and after the change.
// A trial is ruled out only when the estimate exceeds the start's sum by 16 times the first two
// bounds and 1000 times the third.
bool TFitEngine::TrialRuledOut(const TSegmentedModel& model, long double sse0) const {
  const auto a = static_cast<std::size_t>(a_);
  const long double* theta = s_.theta.data();
  long double estimate = 0, terms = 0, values = 0;
  for (int i = 1; i <= g_; ++i) {
    TLinePair now;
    model.LinePair(theta, i, now);
    const TLinePair& was = startLines_[static_cast<std::size_t>(i)];
    const std::size_t lowerWas = startLower_[static_cast<std::size_t>(i)];
    const std::size_t lowerNow = LowerCount(lineX_, now.x0, false);
    const std::size_t lo = std::min(lowerWas, lowerNow), hi = std::max(lowerWas, lowerNow);
    const TStartSums& sums = startSums_[static_cast<std::size_t>(i)];
    const long double* sorted = &eSorted_[static_cast<std::size_t>(i - 1) * a];
    // The cells the junction passes: their start residuals (to take them out of the side they
    // leave) and their sum of squares on the side they reach.
    const long double* y = &yLines_[static_cast<std::size_t>(i - 1) * a];
    long double pe = 0, pee = 0, pex = 0;
    for (std::size_t m = lo; m < hi; ++m) {
      const long double r = sorted[m];
      pe += r;
      pee += r * r;
      pex += r * lineX_[m];
      const int s = m < lowerNow ? 0 : 1;
      const long double d = y[m] - (now.c[s] + now.b[s] * lineX_[m]);
      estimate += d * d;
      terms += d * d;
    }
    terms += sums.ee[0] + sums.ee[1];
    long double size = 0, change = 0;  // the largest model value and change of a line
    for (int s = 0; s < 2; ++s) {
      const long double dc = now.c[s] - was.c[s], db = now.b[s] - was.b[s];
      size = std::max(size, std::fabs(now.c[s]) + std::fabs(was.c[s]) +
                                (std::fabs(now.b[s]) + std::fabs(was.b[s])) * xLargest_);
      change = std::max(change, std::fabs(dc) + std::fabs(db) * xLargest_);
      // The cells on side s before and after: below lo, or from hi on; the side's sums at the
      // start less the passed cells where the junction left it.
      const bool left = s == 0 ? lowerNow < lowerWas : lowerNow > lowerWas;
      const long double n =
          s == 0 ? static_cast<long double>(lo) : static_cast<long double>(a - hi);
      const long double se = left ? sums.e[s] - pe : sums.e[s];
      const long double see = left ? sums.ee[s] - pee : sums.ee[s];
      const long double sex = left ? sums.ex[s] - pex : sums.ex[s];
      const long double sx = s == 0 ? xFrom_[lo] : xTo_[hi];
      const long double sxx = s == 0 ? xxFrom_[lo] : xxTo_[hi];
      estimate += see - 2 * dc * se - 2 * db * sex + dc * dc * n + 2 * dc * db * sx + db * db * sxx;
      terms += see + 2 * std::fabs(dc * se) + 2 * std::fabs(db * sex) + dc * dc * n +
               2 * std::fabs(dc * db * sx) + db * db * sxx;
    }
    const auto magnitude = [this](const TLinePair& l) {
      return std::fabs(l.c[0]) +
             (std::fabs(l.b[0]) + std::fabs(l.b[1])) * (xLargest_ + 2 * std::fabs(l.x0));
    };
    size = std::max(size, magnitude(now) + magnitude(was));
    values += size * 2 * (sums.absolute + static_cast<long double>(a) * change);
  }
  constexpr long double u = 0x1p-64L;
  const long double cells = static_cast<long double>(g_) * static_cast<long double>(a_);
  const long double margin =
      16 * (cells + static_cast<long double>(a_) + 65) * u * (terms + sse0) + 1000 * u * values;
  return estimate > sse0 + margin;
}

}  // namespace qv

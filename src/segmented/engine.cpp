#include "segmented/engine.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "stats/runningsums.h"
#include "stats/sweepsolve.h"

namespace qv {

namespace {

constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

// Steps are solved with the index block eliminated (SolveByIndexBlock) from this order of the
// bordered matrix on. Below it the whole inversion takes a few milliseconds a pass, and every
// pass keeps the sweep's own rounding.
constexpr int kMinBlockOrder = 200;
// The most constraint rows a step solved with the index block eliminated carries.
constexpr int kMaxBlockConstraints = 8;
// From this many rows of the reduced matrix on, two threads form it.
constexpr std::size_t kParallelRows = 160;

// The value of a breakpoint in theta.
long double ValueOf(const TBreakpoint& b, const std::vector<long double>& theta) {
  return b.param == 0 ? b.value : theta[static_cast<std::size_t>(b.param)];
}

}  // namespace

TFitEngine::TFitEngine() : own_(std::make_unique<TFitStorage>()), s_(*own_) {
  s_.Allocate();
}

TFitEngine::TFitEngine(TFitStorage& storage) : s_(storage) {
  s_.Allocate();
}

TFitResult TFitEngine::FitModel(const TSegmentedModel& model, const TGxeMeans& means,
                                const std::vector<long double>* start) {
  TFitResult result;
  g_ = model.Genotypes();
  a_ = model.Environments();
  p_ = model.Parameters();
  k_ = model.Constraints();
  n_ = p_ + k_;
  if (p_ < 1 || k_ < 0 || n_ > MaxPar || g_ < 1 || a_ < 1) {
    result.status = TFitStatus::OrderTooLarge;
    return result;
  }
  settings_ = model.Settings();
  const std::size_t cells = static_cast<std::size_t>(g_) * static_cast<std::size_t>(a_);
  if (s_.jacCount.size() < cells) {
    s_.jac.resize(cells * kMaxJacobianRowEntries);
    s_.jacCount.resize(cells);
  }
  runEnd_.resize(cells);
  junctions_.assign(static_cast<std::size_t>(model.Junctions()) + 1, TJunctionState{});
  junctionOf_.assign(static_cast<std::size_t>(g_) + 1, 0);
  for (int k = 1; k <= model.Junctions(); ++k) {
    TJunctionState& junction = junctions_[static_cast<std::size_t>(k)];
    junction.p = model.JunctionParameter(k);
    junction.genotype = model.JunctionGenotype(k);
    junctionOf_[static_cast<std::size_t>(junction.genotype)] = k;
  }
  mu_.assign(static_cast<std::size_t>(k_) + 1, 0.0L);
  rowValues_.assign(static_cast<std::size_t>(a_) + 1, 0.0L);
  rowJac_.assign(static_cast<std::size_t>(a_) * kMaxJacobianRowEntries, TJacEntry{});
  rowCount_.assign(static_cast<std::size_t>(a_), 0);
  junctionsConstrained_ = false;
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    for (int c = 1; c <= k_; ++c) {
      junctionsConstrained_ = junctionsConstrained_ || model.InConstraint(c, junctions_[k].p);
    }
  }

  if (start != nullptr && start->size() == static_cast<std::size_t>(p_) + 1) {
    std::copy(start->begin(), start->end(), s_.theta.begin());
  } else {
    model.StartValues(s_.theta.data());
  }
  pass_ = 1;
  sse_ = prevSse_ = decrement_ = 0;
  indexParams_ = std::clamp(model.IndexParameters(), 0, p_);
  indexBlockSteps_ = 0;
  indexBlockAllowed_ = indexBlockOn_ && settings_.finalPass && indexParams_ > 0 &&
                       n_ >= kMinBlockOrder && k_ <= kMaxBlockConstraints &&
                       settings_.step == TStepKind::Increment &&
                       settings_.rhs == TRhsKind::Residuals;
  lineBlockSteps_ = trialsRuledOut_ = 0;
  lastStepByLines_ = false;
  linesKnown_ = indexParams_ == 0 && PrepareLines(model, means);
  // Ruling trials out on the lines' sums changes nothing the fit computes: only where the plain
  // sum is compared and a step that no length lowers is abandoned (the last trial's sum is not
  // kept).
  lineFilter_ = ruleOutOn_ && linesKnown_ && settings_.startSum == TSumKind::Plain &&
                settings_.trialSum == TSumKind::Plain &&
                settings_.floorAction == TFloorAction::Restore;
  lineBlocksAllowed_ = lineBlocksOn_ && linesKnown_ && p_ == kLineColumns * g_ &&
                       n_ >= kMinBlockOrder && k_ <= kMaxBlockConstraints &&
                       settings_.step == TStepKind::Increment &&
                       settings_.rhs == TRhsKind::Residuals;
  do {
    OnePass(model, means);
    ++result.loopPasses;
    bool converged = std::fabs(sse_ - prevSse_) <= settings_.tolerance;
    if (settings_.decrementTolerance > 0) {
      // Relative to the sum as well: the sum of a large table carries rounding of that order
      // from pass to pass.
      const long double enough = settings_.decrementTolerance * sse_ + settings_.tolerance;
      converged = std::fabs(sse_ - prevSse_) <= enough && std::fabs(decrement_) <= enough &&
                  !HeldJunctionWouldMove(model, means);
    }
    if (converged) {
      result.converged = true;
    } else {
      prevSse_ = sse_;
      // An abandoned step leaves the parameters where they were, and the next pass would
      // repeat it exactly.
      if (lastRestored_ && settings_.decrementTolerance > 0) {
        result.stalled = true;
        pass_ = pass_ + 1;
        break;
      }
    }
    pass_ = pass_ + 1;
  } while (!result.converged && pass_ <= settings_.maxPasses);
  indexBlockAllowed_ = lineBlocksAllowed_ = false;
  if (lastStepByLines_ && !settings_.finalPass) InverseOfLastLinePass(model);
  if (settings_.finalPass) {
    OnePass(model, means);
    pass_ = pass_ + 1;
  }
  InferenceInverse(model);
  if (model.JunctionsBounded()) {
    for (std::size_t k = 1; k < junctions_.size(); ++k) {
      const TJunctionState& junction = junctions_[k];
      model.Breakpoints(s_.theta.data(), static_cast<int>(k), points_);
      const long double x0 = s_.theta[static_cast<std::size_t>(junction.p)];
      if (x0 == points_.front().value || x0 == points_.back().value) {
        result.genotypesAtBound.push_back(junction.genotype);
      }
    }
  }
  return result;
}

void TFitEngine::OnePass(const TSegmentedModel& model, const TGxeMeans& means) {
  PrepareJunctions(model, means);
  SolveStep(model, means);
  HoldJunctionsAgainstTheirSide(model, means);
  LineSearch(model, means);
}

void TFitEngine::SolveStep(const TSegmentedModel& model, const TGxeMeans& means) {
  lastStepByLines_ = false;
  if (lineBlocksAllowed_ && SolveByLineBlocks(model, means)) {
    ++lineBlockSteps_;
    lastStepByLines_ = true;
    return;
  }
  FillJacobian(model);
  BuildNormalMatrix(model);
  BuildRhs(model, means);
  if (indexBlockAllowed_ && SolveByIndexBlock()) {
    ++indexBlockSteps_;
  } else {
    Invert();
    ComputeStep();
  }
}

// h(p) = sum over the genotype's cells of (y - f) df/dp, on the chosen side of the junction,
// less the part the constraints take: at a solution of the bordered normal equations
// h = B' mu, and what is left is the multiplier of holding the junction on its breakpoint.
// A junction moving up lowers the sum when this is positive on the lower side, one moving down
// when it is negative on the upper side.
long double TFitEngine::SideDescent(const TSegmentedModel& model, const TGxeMeans& means,
                                    const TJunctionState& junction, bool above) const {
  long double h = 0;
  const int i = junction.genotype;
  if (lineBlocksAllowed_) {
    // From the residuals' sums on either side: the junction's column is u + v x there.
    TLinePair lines;
    model.LinePair(s_.theta.data(), i, lines);
    const TLineResiduals& r = LineResidualsOf(model, means, lines, i);
    const int t = junction.p - lines.column;
    const long double e[2] = {above ? r.e[0] : r.e[0] + r.e[1], above ? r.e[1] + r.e[2] : r.e[2]};
    const long double ex[2] = {above ? r.ex[0] : r.ex[0] + r.ex[1],
                               above ? r.ex[1] + r.ex[2] : r.ex[2]};
    for (int s = 0; s < 2; ++s) h += lines.u[s][t] * e[s] + lines.v[s][t] * ex[s];
    for (int c = 1; c <= k_; ++c) {
      if (model.InConstraint(c, junction.p)) h -= mu_[static_cast<std::size_t>(c)];
    }
    return h;
  }
  model.ModelValues(s_.theta.data(), i, rowValues_.data());
  model.JacobianRows(s_.theta.data(), i, above, rowJac_.data(), rowCount_.data());
  for (int j = 1; j <= a_; ++j) {
    const TJacEntry* row = &rowJac_[static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries];
    for (int u = 0; u < rowCount_[static_cast<std::size_t>(j - 1)]; ++u) {
      if (row[u].col == junction.p) {
        h += (means.Y(i, j) - rowValues_[static_cast<std::size_t>(j)]) * row[u].value;
      }
    }
  }
  for (int c = 1; c <= k_; ++c) {
    if (model.InConstraint(c, junction.p)) h -= mu_[static_cast<std::size_t>(c)];
  }
  return h;
}

void TFitEngine::ChooseSide(const TSegmentedModel& model, const TGxeMeans& means,
                            TJunctionState& junction, const std::vector<TBreakpoint>& points,
                            std::size_t m) const {
  const bool bounded = model.JunctionsBounded();
  const bool canRise = !bounded || m + 1 < points.size();
  const bool canFall = !bounded || m > 0;
  const long double up = canRise ? SideDescent(model, means, junction, false) : 0;
  const long double down = canFall ? -SideDescent(model, means, junction, true) : 0;
  const TBreakpoint below = m > 0 ? points[m - 1] : TBreakpoint{-kInfinity, 0};
  const TBreakpoint over = m + 1 < points.size() ? points[m + 1] : TBreakpoint{kInfinity, 0};
  // A side counts only when moving to the neighbouring breakpoint would lower the sum, to first
  // order (2 h times the distance), by more than the convergence test lets pass.
  const long double x = junction.on.value;
  const auto span = [x](long double neighbour) {
    return std::isfinite(neighbour) ? std::fabs(neighbour - x) : std::fabs(x) + 1;
  };
  const long double enough = settings_.decrementTolerance * sse_ + settings_.tolerance;
  const bool rise = canRise && 2 * up * span(over.value) > enough;
  const bool fall = canFall && 2 * down * span(below.value) > enough;
  junction.held = junction.above = false;
  if (rise && (!fall || up >= down)) {
    junction.lo = junction.on;
    junction.hi = over;
  } else if (fall) {
    junction.above = true;
    junction.lo = below;
    junction.hi = junction.on;
  } else {
    junction.held = true;
    junction.lo = junction.hi = junction.on;
  }
}

void TFitEngine::PrepareJunctions(const TSegmentedModel& model, const TGxeMeans& means) {
  const bool bounded = boundedJunctions_ = model.JunctionsBounded();
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    TJunctionState& junction = junctions_[k];
    model.Breakpoints(s_.theta.data(), static_cast<int>(k), points_);
    long double& x0 = s_.theta[static_cast<std::size_t>(junction.p)];
    junction.first = points_.front();
    junction.last = points_.back();
    // Start values outside the bounds begin at the nearest one (a junction in a constraint group
    // cannot be moved alone: it comes in with the step).
    if (bounded && !junctionsConstrained_) {
      x0 = std::clamp(x0, junction.first.value, junction.last.value);
    }
    const auto next =
        std::lower_bound(points_.begin(), points_.end(), x0,
                         [](const TBreakpoint& b, long double v) { return b.value < v; });
    if (next != points_.end() && next->value == x0) {
      // On a breakpoint: free towards a side that lowers the sum (the steeper one when both
      // do), held where neither does.
      junction.atPoint = true;
      junction.on = *next;
      ChooseSide(model, means, junction, points_, static_cast<std::size_t>(next - points_.begin()));
    } else {
      junction.atPoint = junction.held = junction.above = false;
      junction.lo = next == points_.begin() ? TBreakpoint{-kInfinity, 0} : *(next - 1);
      junction.hi = next == points_.end() ? TBreakpoint{kInfinity, 0} : *next;
    }
  }
}

// A junction held on a constant breakpoint keeps its column at 0; one held on a parameter
// follows it, and its column is added to the parameter's. Either way its own column is empty:
// it is aliased, and takes no step of its own.
void TFitEngine::FillJacobian(const TSegmentedModel& model) {
  for (int i = 1; i <= g_; ++i) {
    const int k = junctionOf_.empty() ? 0 : junctionOf_[static_cast<std::size_t>(i)];
    const TJunctionState* junction = k == 0 ? nullptr : &junctions_[static_cast<std::size_t>(k)];
    const std::size_t first = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(a_);
    const std::size_t last = first + static_cast<std::size_t>(a_);
    model.JacobianRows(s_.theta.data(), i, junction != nullptr && junction->above,
                       &s_.jac[first * kMaxJacobianRowEntries], &s_.jacCount[first]);
    if (junction != nullptr && junction->held) {
      for (std::size_t obs = first; obs < last; ++obs) {
        TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
        for (int u = 0; u < s_.jacCount[obs]; ++u) {
          if (row[u].col != junction->p) continue;
          if (junction->on.param == 0) {
            row[u].value = 0;
          } else {
            row[u].col = junction->on.param;
          }
        }
      }
    }
    for (std::size_t obs = first; obs < last;) {
      const std::size_t end = RunEnd(obs, last);
      runEnd_[obs] = end;
      obs = end == obs ? obs + 1 : end;
    }
  }
}

// J'J accumulated observation by observation: each element receives the products of the rows
// where both of its columns are non-zero, in observation order, as the dense product would add
// them (the products with a zero factor that the dense sum also adds change nothing). A row
// may list a column twice (a held junction's entry moved onto its breakpoint's column): the
// products of the two entries then add up to the square of their sum. Only the upper triangle
// is formed (the sweep reads nothing else); the constraint rows are kept below the diagonal as
// well, where the step's projection reads them.
void TFitEngine::BuildNormalMatrix(const TSegmentedModel& model) {
  SweepStorage& w = *s_.sweep;
  for (int p = 1; p <= n_; ++p) {
    long double* row = &w.WorkMat(p, p);
    std::fill(row, row + (n_ - p + 1), 0.0L);
  }
  const std::size_t cells = static_cast<std::size_t>(g_) * static_cast<std::size_t>(a_);
  for (std::size_t obs = 0; obs < cells;) {
    const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
    const int count = s_.jacCount[obs];
    const std::size_t end = runEnd_[obs];
    if (end == obs) {
      // Columns listed twice: element by element, in the order of the row.
      for (int u = 0; u < count; ++u) {
        for (int v = 0; v < count; ++v) {
          if (row[u].col <= row[v].col) {
            w.WorkMat(row[u].col, row[v].col) += row[u].value * row[v].value;
          }
        }
      }
      ++obs;
      continue;
    }
    AddRunProducts(w, obs, end);
    obs = end;
  }
  SetBorderRows(model);
}

void TFitEngine::SetBorderRows(const TSegmentedModel& model) {
  SweepStorage& w = *s_.sweep;
  for (int c = 1; c <= k_; ++c) {
    for (int p = 1; p <= p_; ++p) {
      const long double b = model.InConstraint(c, p) ? 1.0L : 0.0L;
      w.WorkMat(p_ + c, p) = b;
      w.WorkMat(p, p_ + c) = b;
    }
    // A held junction's share of a sum is carried by the parameter it follows.
    for (std::size_t k = 1; k < junctions_.size(); ++k) {
      const TJunctionState& junction = junctions_[k];
      if (!junction.held || !model.InConstraint(c, junction.p)) continue;
      w.WorkMat(p_ + c, junction.p) = w.WorkMat(junction.p, p_ + c) = 0;
      if (junction.on.param != 0) {
        w.WorkMat(p_ + c, junction.on.param) += 1;
        w.WorkMat(junction.on.param, p_ + c) += 1;
      }
    }
  }
}

// The end of the run of Jacobian rows from `obs` (before `last`) that list the same columns, each
// once, in the same order (a genotype's rows, in the models with a known index); `obs` itself
// when row obs lists a column twice (a held junction moved onto its breakpoint's column).
std::size_t TFitEngine::RunEnd(std::size_t obs, std::size_t last) const {
  const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
  const int count = s_.jacCount[obs];
  for (int u = 0; u < count; ++u) {
    for (int v = u + 1; v < count; ++v) {
      if (row[u].col == row[v].col) return obs;
    }
  }
  std::size_t end = obs + 1;
  for (; end < last && s_.jacCount[end] == count; ++end) {
    const TJacEntry* next = &s_.jac[end * kMaxJacobianRowEntries];
    bool same = true;
    for (int u = 0; same && u < count; ++u) same = next[u].col == row[u].col;
    if (!same) break;
  }
  return end;
}

namespace {

// The sums over rows [obs, end) of left(o) r[v], for the k (1..4) entries v listed, each added
// to its start value s[] in the order of the rows, in a register of its own.
template <typename TLeft>
void AddProducts(const TJacEntry* jac, std::size_t obs, std::size_t end, TLeft left, const int* v,
                 int k, long double* s) {
  const auto at = [jac](std::size_t o, int c) {
    return jac[o * kMaxJacobianRowEntries + static_cast<std::size_t>(c)].value;
  };
  long double s0 = s[0], s1 = k > 1 ? s[1] : 0, s2 = k > 2 ? s[2] : 0, s3 = k > 3 ? s[3] : 0;
  switch (k) {
    case 1:
      for (std::size_t o = obs; o < end; ++o) s0 += left(o) * at(o, v[0]);
      break;
    case 2:
      for (std::size_t o = obs; o < end; ++o) {
        const long double x = left(o);
        s0 += x * at(o, v[0]);
        s1 += x * at(o, v[1]);
      }
      break;
    case 3:
      for (std::size_t o = obs; o < end; ++o) {
        const long double x = left(o);
        s0 += x * at(o, v[0]);
        s1 += x * at(o, v[1]);
        s2 += x * at(o, v[2]);
      }
      break;
    default:
      for (std::size_t o = obs; o < end; ++o) {
        const long double x = left(o);
        s0 += x * at(o, v[0]);
        s1 += x * at(o, v[1]);
        s2 += x * at(o, v[2]);
        s3 += x * at(o, v[3]);
      }
  }
  s[0] = s0;
  if (k > 1) s[1] = s1;
  if (k > 2) s[2] = s2;
  if (k > 3) s[3] = s3;
}

}  // namespace

// Every element (u, v), u <= v, of a run's columns takes the run's products in their order,
// summed in a register: the same sums as row by row, without an extended store per product.
void TFitEngine::AddRunProducts(SweepStorage& w, std::size_t obs, std::size_t end) {
  const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
  const int count = s_.jacCount[obs];
  const auto cell = [&](int u, int v) -> long double& {
    return w.WorkMat(std::min(row[u].col, row[v].col), std::max(row[u].col, row[v].col));
  };
  if (end == obs + 1) {
    // A run of one row (each cell of a model with an estimated index has a column of its own,
    // the index value's): each element takes its one product directly.
    for (int u = 0; u < count; ++u) {
      for (int v = u; v < count; ++v) cell(u, v) += row[u].value * row[v].value;
    }
    return;
  }
  for (int u = 0; u < count; ++u) {
    for (int v0 = u; v0 < count; v0 += 4) {
      const int k = std::min(4, count - v0);
      int v[4];
      long double sums[4];
      for (int t = 0; t < k; ++t) {
        v[t] = v0 + t;
        sums[t] = cell(u, v[t]);
      }
      const TJacEntry* jac = s_.jac.data();
      AddProducts(
          jac, obs, end,
          [jac, u](std::size_t o) {
            return jac[o * kMaxJacobianRowEntries + static_cast<std::size_t>(u)].value;
          },
          v, k, sums);
      for (int t = 0; t < k; ++t) cell(u, v[t]) = sums[t];
    }
  }
}

void TFitEngine::BuildRhs(const TSegmentedModel& model, const TGxeMeans& means) {
  for (int p = 1; p <= n_; ++p) s_.rhs[static_cast<std::size_t>(p)] = 0.0L;
  if (settings_.rhs == TRhsKind::Observed) {
    for (int i = 1; i <= g_; ++i) {
      for (int j = 1; j <= a_; ++j) rowValues_[static_cast<std::size_t>(j)] = 0;
      AddRhsRow(i, means);
    }
    for (int c = 1; c <= k_; ++c)
      s_.rhs[static_cast<std::size_t>(p_ + c)] = model.ConstraintValue(c);
    return;
  }
  for (int i = 1; i <= g_; ++i) {
    model.ModelValues(s_.theta.data(), i, rowValues_.data());
    AddRhsRow(i, means);
  }
}

// Genotype i's share of J'(y - f), f(i, 1..a) in rowValues_: each element takes the products
// of the cells in their order (in a register along a run of rows over the same columns).
void TFitEngine::AddRhsRow(int i, const TGxeMeans& means) {
  long double* e = rowValues_.data();
  for (int j = 1; j <= a_; ++j) e[j] = means.Y(i, j) - e[j];
  const std::size_t first = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(a_);
  const std::size_t last = first + static_cast<std::size_t>(a_);
  for (std::size_t obs = first; obs < last;) {
    const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
    const int count = s_.jacCount[obs];
    const std::size_t end = runEnd_[obs];
    if (end == obs) {
      for (int u = 0; u < count; ++u) {
        s_.rhs[static_cast<std::size_t>(row[u].col)] += e[obs - first + 1] * row[u].value;
      }
      ++obs;
      continue;
    }
    for (int u0 = 0; u0 < count; u0 += 4) {
      const int k = std::min(4, count - u0);
      int v[4];
      long double sums[4];
      for (int t = 0; t < k; ++t) {
        v[t] = u0 + t;
        sums[t] = s_.rhs[static_cast<std::size_t>(row[v[t]].col)];
      }
      const long double* eo = e + 1;
      AddProducts(
          s_.jac.data(), obs, end, [eo, first](std::size_t o) { return eo[o - first]; }, v, k,
          sums);
      for (int t = 0; t < k; ++t) s_.rhs[static_cast<std::size_t>(row[v[t]].col)] = sums[t];
    }
    obs = end;
  }
}

// The two ways of sweeping give the same result to the last bit; they differ in cost. Pivot by
// pivot, the sweep reads and writes each cell a pivot's row reaches: cheap while the matrix stays
// sparse (Silva's forms: blocks of four and two border rows). Where a parameter meets a large
// part of the others -- an estimated index couples every genotype to every environment -- the
// matrix fills in completely, and cell by cell keeps each running value in a register and
// reads the pivots' rows instead.
void TFitEngine::Invert() {
  SweepStorage& w = *s_.sweep;
  byCells_ = false;
  if (referenceSweep_) {
    GInverse(w, n_);
    return;
  }
  degree_.assign(static_cast<std::size_t>(p_) + 1, 0);
  for (int p = 1; p <= p_; ++p) {
    const long double* row = &w.WorkMat(p, 0);
    for (int q = p + 1; q <= p_; ++q) {
      if (row[q] != 0) {
        ++degree_[static_cast<std::size_t>(p)];
        ++degree_[static_cast<std::size_t>(q)];
      }
    }
  }
  byCells_ = std::any_of(degree_.begin(), degree_.end(), [this](int m) { return 4 * m > n_; });
  if (byCells_) {
    s_.cells->GInverse(w, n_);
  } else {
    GInverse(w, n_);
  }
}

void TFitEngine::ComputeStep() {
  const int span = settings_.step == TStepKind::Increment ? p_ : n_;
  const auto aliased = [this](int k) {
    return settings_.zeroAliasedSteps && s_.sweep->Aliased[static_cast<std::size_t>(k)];
  };
  for (int p = 1; p <= span; ++p) {
    long double s = 0.0L;
    if (!aliased(p)) {
      for (int q = 1; q <= span; ++q) {
        if (!aliased(q)) s += G(p, q) * s_.rhs[static_cast<std::size_t>(q)];
      }
    }
    s_.step[static_cast<std::size_t>(p)] = s;
  }
  FinishStep(nullptr);
}

void TFitEngine::FinishStep(const long double* multipliers) {
  decrement_ = 0;
  if (settings_.step != TStepKind::Increment) return;
  if (settings_.projectSteps) ProjectStepOnConstraints();
  for (int p = 1; p <= p_; ++p) {
    decrement_ += s_.step[static_cast<std::size_t>(p)] * s_.rhs[static_cast<std::size_t>(p)];
  }
  // The multipliers of the constraints in the same solve: [step; mu] = G [Rhs; 0].
  if (junctions_.size() > 1) {
    for (int c = 1; c <= k_; ++c) {
      long double m = 0;
      if (multipliers != nullptr) {
        m = multipliers[c];
      } else if (!s_.sweep->Aliased[static_cast<std::size_t>(p_ + c)]) {
        for (int q = 1; q <= p_; ++q) {
          if (!s_.sweep->Aliased[static_cast<std::size_t>(q)]) {
            m += G(p_ + c, q) * s_.rhs[static_cast<std::size_t>(q)];
          }
        }
      }
      mu_[static_cast<std::size_t>(c)] = m;
    }
  }
}

// The step with the environmental index eliminated first. Each cell (i, j) involves one index
// value U(j) only, so the index block D of the bordered matrix M is diagonal, and with the
// other indices (the genotypes' parameters and the constraint rows) gathered as R,
//
//        [ M_RR  C ] [ x ]   [ r_R ]        (M_RR - C D^-1 C') x = r_R - C D^-1 r_D
//        [ C'    D ] [ u ] = [ r_D ]   =>   u = D^-1 (r_D - C' x)
//
// (the Schur complement; Golub and Van Loan 2013, Matrix Computations, sec. 3.2.10). The
// reduced matrix, of order 3g + 3 instead of 3g + a + 3 in Toler's model, is solved by
// elimination with the sweep's own choice of pivots (stats/sweepsolve.h), which decides what
// is aliased among R; x holds the steps of R's parameters and the constraints' multipliers. In
// Toler's model at 100 x 297 a whole pass falls from about 70 ms to 12 (bench_toler): at most
// 303^2 a / 2 operations to form the reduced matrix (far fewer over the rows' stretches, two
// threads sharing them) and 303^3 / 6 to solve it, against 600^3 / 2 for the whole inverse.
//
// The step equals the full inverse's up to rounding, in the last bits; a converged fit reaches
// the same estimates within what its convergence test leaves open. The sweep's decisions are
// kept: an index value whose diagonal is small enough for the full sweep to consider it (1e-8
// or less) stays in R, and where the reduced solve aliases an index whose row of M is not
// entirely zero -- a rank the full sweep might judge otherwise -- the full inverse is used
// instead. (A row of zeros, a held junction's, is aliased by both, and has no step.) The
// inference always comes from the full inverse of the final pass.
namespace {

// sums[u] += the sum over b in [lo, hi) of c[b] wu[b], for four rows w0..w3 at once.
void Dot4(const long double* c, const long double* w0, const long double* w1, const long double* w2,
          const long double* w3, std::size_t lo, std::size_t hi, long double* sums) {
  long double s0 = sums[0], s1 = sums[1], s2 = sums[2], s3 = sums[3];
  for (std::size_t b = lo; b < hi; ++b) {
    const long double x = c[b];
    s0 += x * w0[b];
    s1 += x * w1[b];
    s2 += x * w2[b];
    s3 += x * w3[b];
  }
  sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3;
}

}  // namespace

bool TFitEngine::SolveByIndexBlock() {
  const SweepStorage& w = *s_.sweep;
  const auto m = [&w](int p, int q) { return p <= q ? w.WorkMat(p, q) : w.WorkMat(q, p); };
  const int first = p_ - indexParams_ + 1;
  reduced_.clear();
  block_.clear();
  for (int p = 1; p < first; ++p) reduced_.push_back(p);
  for (int p = first; p <= p_; ++p) {
    // In the block: an index value that meets none of those already in it, with a diagonal far
    // from the sweep's notion of zero. (A junction held on an index value moves its cells'
    // derivatives onto that value's column, which then meets every other: it stays out.)
    bool alone = m(p, p) > 1e-8L;
    for (std::size_t b = 0; b < block_.size() && alone; ++b) alone = m(block_[b], p) == 0;
    (alone ? block_ : reduced_).push_back(p);
  }
  for (int c = 1; c <= k_; ++c) reduced_.push_back(p_ + c);
  // The reduced matrix is dense, and the whole one fills in only through the index: the
  // elimination pays where the block is more than an eighth of the matrix. Measured a pass at
  // order 600 (bench_toler): 12 against 72 ms at 100 x 297, 21 against 40 ms at 150 x 120,
  // even at 175 x 70, 30 against 19 ms at 185 x 40.
  if (block_.empty() || 8 * block_.size() < static_cast<std::size_t>(n_)) return false;
  const std::size_t nr = reduced_.size();
  const std::size_t nb = block_.size();

  // The index values in ascending order: a genotype's lower slope meets the values up to its
  // junction (0 in Toler's model) and its upper slope those above, so that a row of C is
  // non-zero over one stretch of the columns, and two rows meet where their stretches overlap.
  // Any order gives the same solution, up to rounding.
  const long double* theta = s_.theta.data();
  std::sort(block_.begin(), block_.end(),
            [theta](int x, int y) { return std::tie(theta[x], x) < std::tie(theta[y], y); });

  // C (nr x nb, by rows), W = C D^-1, and z = D^-1 r_D; each row's stretch of non-zeros.
  blockCol_.resize(nr * nb);
  blockScaled_.resize(nr * nb);
  blockDiag_.resize(nb);
  blockZ_.resize(nb);
  stretch_.resize(nr);
  for (std::size_t b = 0; b < nb; ++b) {
    blockDiag_[b] = m(block_[b], block_[b]);
    blockZ_[b] = s_.rhs[static_cast<std::size_t>(block_[b])] / blockDiag_[b];
  }
  for (std::size_t r = 0; r < nr; ++r) {
    std::size_t lo = nb, hi = 0;
    for (std::size_t b = 0; b < nb; ++b) {
      const long double c = m(reduced_[r], block_[b]);
      blockCol_[r * nb + b] = c;
      blockScaled_[r * nb + b] = c / blockDiag_[b];
      if (c != 0) {
        lo = std::min(lo, b);
        hi = b + 1;
      }
    }
    stretch_[r] = {lo, std::max(lo, hi)};
  }
  // Rows of C made of two constant pieces, c1 on the columns before t and c2 from t on (an
  // intercept meets each index value through its genotype's slope on that side; a constraint
  // row is 1 throughout). Their products with any row q are c1 times q's sum of W up to t plus
  // c2 times its sum from t: O(1) each from q's running sums, taken from either end so that
  // nothing cancels, instead of a product over the overlap.
  twoPiece_.assign(nr, TTwoPiece{});
  for (std::size_t r = 0; r < nr; ++r) {
    const long double* cr = &blockCol_[r * nb];
    std::size_t t = 1;
    while (t < nb && cr[t] == cr[0]) ++t;
    std::size_t e = t;
    while (e < nb && cr[e] == cr[t]) ++e;
    if (e == nb) twoPiece_[r] = {true, t, cr[0], t < nb ? cr[t] : 0.0L};
  }
  fromStart_.resize(nr * (nb + 1));
  fromEnd_.resize(nr * (nb + 1));
  for (std::size_t q = 0; q < nr; ++q) {
    const long double* wq = &blockScaled_[q * nb];
    long double* before = &fromStart_[q * (nb + 1)];  // before[t]: the sum over b < t
    long double* after = &fromEnd_[q * (nb + 1)];     // after[t]: the sum over b >= t
    before[0] = 0;
    for (std::size_t b = 0; b < nb; ++b) before[b + 1] = before[b] + wq[b];
    after[nb] = 0;
    for (std::size_t b = nb; b-- > 0;) after[b] = after[b + 1] + wq[b];
  }
  const auto twoPieceProduct = [&](std::size_t r, std::size_t q) {
    const TTwoPiece& piece = twoPiece_[r];
    return piece.first * fromStart_[q * (nb + 1) + piece.at] +
           piece.second * fromEnd_[q * (nb + 1) + piece.at];
  };
  // The reduced matrix, M_RR - C D^-1 C', into the second storage (upper triangle), and the
  // reduced right-hand side.
  if (!s_.reduced) {
    s_.reduced = std::make_unique<SweepStorage>();
    s_.solver = std::make_unique<SweepSolver>();
  }
  SweepStorage& red = *s_.reduced;
  reducedRhs_.assign(nr + 1, 0.0L);  // from 1
  // The columns q taken by stretch, so that four of the same stretch share the reads of row r.
  byStretch_.resize(nr);
  for (std::size_t q = 0; q < nr; ++q) byStretch_[q] = q;
  std::sort(byStretch_.begin(), byStretch_.end(), [this](std::size_t x, std::size_t y) {
    return std::tie(stretch_[x], x) < std::tie(stretch_[y], y);
  });
  const auto formRow = [&](std::size_t r) {
    const long double* cr = &blockCol_[r * nb];
    long double rhs = 0;
    for (std::size_t b = stretch_[r].first; b < stretch_[r].second; ++b) rhs += cr[b] * blockZ_[b];
    reducedRhs_[r + 1] = s_.rhs[static_cast<std::size_t>(reduced_[r])] - rhs;
    const auto cell = [&](std::size_t q, long double sum) {
      red.WorkMat(static_cast<int>(r) + 1, static_cast<int>(q) + 1) =
          m(reduced_[r], reduced_[q]) - sum;
    };
    // Four columns at a time over the union of their stretches (zeros outside a stretch add
    // nothing), within row r's.
    std::size_t group[4];
    std::size_t size = 0;
    const auto flush = [&]() {
      if (size == 0) return;
      std::size_t lo = stretch_[group[0]].first, hi = stretch_[group[0]].second;
      for (std::size_t u = 1; u < size; ++u) {
        lo = std::min(lo, stretch_[group[u]].first);
        hi = std::max(hi, stretch_[group[u]].second);
      }
      lo = std::max(lo, stretch_[r].first);
      hi = std::min(hi, stretch_[r].second);
      long double sums[4] = {0, 0, 0, 0};
      const long double* w[4];
      for (std::size_t u = 0; u < 4; ++u) w[u] = &blockScaled_[group[u < size ? u : 0] * nb];
      Dot4(cr, w[0], w[1], w[2], w[3], lo, hi, sums);
      for (std::size_t u = 0; u < size; ++u) cell(group[u], sums[u]);
      size = 0;
    };
    for (const std::size_t q : byStretch_) {
      if (q < r) continue;
      if (twoPiece_[r].yes) {
        cell(q, twoPieceProduct(r, q));
      } else if (twoPiece_[q].yes) {
        cell(q, twoPieceProduct(q, r));
      } else {
        group[size++] = q;
        if (size == 4) flush();
      }
    }
    flush();
  };
  // The rows are independent (each writes its own cells): on a large matrix a second thread
  // takes every other one.
  const auto rows = [&](std::size_t first) {
    for (std::size_t r = first; r < nr; r += 2) formRow(r);
  };
  bool shared = false;
  if (nr >= kParallelRows && std::thread::hardware_concurrency() > 1) {
    try {
      std::thread helper(rows, 1);
      rows(0);
      helper.join();
      shared = true;
    } catch (const std::system_error&) {
      // No thread to be had: every row on this one.
    }
  }
  if (!shared) {
    for (std::size_t r = 0; r < nr; ++r) formRow(r);
  }
  // x: the reduced system solved with the sweep's pivots (stats/sweepsolve.h).
  reducedX_.resize(nr + 1);
  s_.solver->Solve(red, static_cast<int>(nr), reducedRhs_.data(), reducedX_.data());
  for (std::size_t r = 0; r < nr; ++r) {
    if (!red.Aliased[r + 1]) continue;
    for (int q = 1; q <= n_; ++q) {
      if (m(reduced_[r], q) != 0) return false;
    }
  }

  SweepStorage& full = *s_.sweep;
  long double multipliers[kMaxBlockConstraints + 1] = {};
  for (std::size_t r = 0; r < nr; ++r) {
    const int index = reduced_[r];
    full.Aliased[static_cast<std::size_t>(index)] = red.Aliased[r + 1];
    if (index <= p_) {
      s_.step[static_cast<std::size_t>(index)] = reducedX_[r + 1];
    } else {
      multipliers[index - p_] = reducedX_[r + 1];
    }
  }
  blockZ_.assign(nb, 0.0L);  // C' x
  for (std::size_t r = 0; r < nr; ++r) {
    const long double* cr = &blockCol_[r * nb];
    for (std::size_t b = stretch_[r].first; b < stretch_[r].second; ++b) {
      blockZ_[b] += cr[b] * reducedX_[r + 1];
    }
  }
  for (std::size_t b = 0; b < nb; ++b) {
    const long double cx = blockZ_[b];
    const auto index = static_cast<std::size_t>(block_[b]);
    full.Aliased[index] = false;
    s_.step[index] = (s_.rhs[index] - cx) / blockDiag_[b];
  }
  FinishStep(multipliers);
  return true;
}

// The step solves the bordered system, so each group's step sums to 0 -- up to the accuracy
// of the inverse, which a nearly singular normal matrix (a slope with almost no cells to fit)
// can bring down to a few digits. Where a group's sum is off by more than rounding, the
// least-squares correction onto B s = 0, s - B'(B B')^-1 B s, over the parameters that take a
// step, restores it. B is read from the lower triangle of WorkMat, which the sweep leaves as it
// was built.
void TFitEngine::ProjectStepOnConstraints() {
  if (k_ < 1 || k_ > 8) return;
  const auto b = [this](int c, int p) {
    return s_.sweep->Aliased[static_cast<std::size_t>(p)] ? 0.0L : s_.sweep->WorkMat(p_ + c, p);
  };
  long double bbt[8][9] = {};
  for (int c = 0; c < k_; ++c) {
    for (int p = 1; p <= p_; ++p) {
      const long double bc = b(c + 1, p);
      if (bc == 0) continue;
      bbt[c][k_] += bc * s_.step[static_cast<std::size_t>(p)];
      for (int d = 0; d < k_; ++d) bbt[c][d] += bc * b(d + 1, p);
    }
  }
  long double largest = 0, off = 0;
  for (int p = 1; p <= p_; ++p)
    largest = std::fmax(largest, std::fabs(s_.step[static_cast<std::size_t>(p)]));
  for (int c = 0; c < k_; ++c) off = std::fmax(off, std::fabs(bbt[c][k_]));
  if (off <= 1e-15L * largest * p_) return;
  // (B B') y = B s by Gauss-Jordan elimination. B B' counts the members the groups share, so
  // a pivot is 0 or at least 1; a group without a member that steps gives none, and its y is 0
  // (any solution gives the same B'y, since B s lies in the range of B).
  long double y[8] = {};
  int pivotColumn[8] = {};
  int rank = 0;
  for (int c = 0; c < k_ && rank < k_; ++c) {
    int pivot = rank;
    for (int r = rank + 1; r < k_; ++r) {
      if (std::fabs(bbt[r][c]) > std::fabs(bbt[pivot][c])) pivot = r;
    }
    if (std::fabs(bbt[pivot][c]) < 0.5L) continue;
    std::swap(bbt[pivot], bbt[rank]);
    const long double d = bbt[rank][c];
    for (int q = 0; q <= k_; ++q) bbt[rank][q] /= d;
    for (int r = 0; r < k_; ++r) {
      if (r == rank || bbt[r][c] == 0) continue;
      const long double f = bbt[r][c];
      for (int q = 0; q <= k_; ++q) bbt[r][q] -= f * bbt[rank][q];
    }
    pivotColumn[rank++] = c;
  }
  for (int r = 0; r < rank; ++r) y[pivotColumn[r]] = bbt[r][k_];
  for (int p = 1; p <= p_; ++p) {
    long double correction = 0;
    for (int c = 0; c < k_; ++c) correction += b(c + 1, p) * y[c];
    s_.step[static_cast<std::size_t>(p)] -= correction;
  }
}

void TFitEngine::HoldJunctionsAgainstTheirSide(const TSegmentedModel& model,
                                               const TGxeMeans& means) {
  for (std::size_t round = 1; round < junctions_.size(); ++round) {
    bool again = false;
    for (std::size_t k = 1; k < junctions_.size(); ++k) {
      TJunctionState& junction = junctions_[k];
      if (!junction.atPoint || junction.held) continue;
      const long double relative =
          s_.step[static_cast<std::size_t>(junction.p)] -
          (junction.on.param == 0 ? 0 : s_.step[static_cast<std::size_t>(junction.on.param)]);
      if (junction.above ? relative > 0 : relative < 0) {
        junction.held = true;
        junction.above = false;
        junction.lo = junction.hi = junction.on;
        again = true;
      }
    }
    if (!again) return;
    SolveStep(model, means);
  }
}

bool TFitEngine::HeldJunctionWouldMove(const TSegmentedModel& model, const TGxeMeans& means) {
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    TJunctionState& junction = junctions_[k];
    if (!junction.held) continue;
    model.Breakpoints(s_.theta.data(), static_cast<int>(k), points_);
    const auto at = std::find_if(points_.begin(), points_.end(), [&](const TBreakpoint& b) {
      return b.value == s_.theta[static_cast<std::size_t>(junction.p)];
    });
    if (at == points_.end()) return true;
    TJunctionState trial = junction;
    trial.on = *at;
    ChooseSide(model, means, trial, points_, static_cast<std::size_t>(at - points_.begin()));
    if (!trial.held) return true;
  }
  return false;
}

// A trial point: every parameter moves by lambda Step from theta_prev; a held junction stays on
// (follows) its breakpoint; a free one moves from its exact position, kept within the bounds
// when the model has them, and junction `landing` (1..) is set exactly on the breakpoint it
// reaches at this step length.
void TFitEngine::TrialPoint(long double lambda, std::size_t landing) {
  for (int p = 1; p <= p_; ++p) {
    const auto k = static_cast<std::size_t>(p);
    s_.theta[k] = static_cast<long double>(s_.thetaPrev[k]) + lambda * s_.step[k];
  }
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    const TJunctionState& junction = junctions_[k];
    long double& x0 = s_.theta[static_cast<std::size_t>(junction.p)];
    if (junction.held) {
      x0 = ValueOf(junction.on, s_.theta);
    } else if (k == landing) {
      x0 = ValueOf(junction.target, s_.theta);
    } else {
      x0 = junction.base + lambda * s_.step[static_cast<std::size_t>(junction.p)];
      if (boundedJunctions_ && !junctionsConstrained_) {
        x0 = std::clamp(x0, junction.first.value, junction.last.value);
      }
    }
  }
}

// The step length runs 1, 0.9, ..., 0.6, then (the fifth subtraction of 0.1 in extended
// precision lands a hair below 0.5) halves, until a trial lowers the sum of squares or the
// length falls past the model's floor. The lengths at which a junction reaches a breakpoint are
// tried besides, in their order, so that a junction can land on its breakpoint.
void TFitEngine::LineSearch(const TSegmentedModel& model, const TGxeMeans& means) {
  const auto store = [this](long double x) {
    return settings_.sumsDouble ? static_cast<long double>(static_cast<double>(x)) : x;
  };
  for (int p = 1; p <= p_; ++p) {
    const auto k = static_cast<std::size_t>(p);
    s_.thetaPrev[k] = static_cast<double>(s_.theta[k]);
    s_.theta[k] = s_.thetaPrev[k];
  }
  // A junction on a breakpoint keeps the breakpoint's exact value (the model bends there); one
  // between two is saved like any parameter. Where a free junction would reach the next
  // breakpoint on its way (the distance to it is linear in the step length), that step length
  // is tried too, with the junction set exactly on the breakpoint: a junction whose minimum is
  // on a breakpoint can then land there instead of being carried past it again and again.
  std::vector<std::pair<long double, std::size_t>> landings;
  long double longest = 1.0L;
  std::size_t cut = 0;
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    TJunctionState& junction = junctions_[k];
    long double& x0 = s_.theta[static_cast<std::size_t>(junction.p)];
    if (junction.atPoint) x0 = ValueOf(junction.on, s_.theta);
    junction.base = x0;
    if (junction.held) continue;
    const long double loBase = ValueOf(junction.lo, s_.theta);
    const long double hiBase = ValueOf(junction.hi, s_.theta);
    const long double s = s_.step[static_cast<std::size_t>(junction.p)];
    const auto slope = [this](const TBreakpoint& b) {
      return b.param == 0 ? 0.0L : s_.step[static_cast<std::size_t>(b.param)];
    };
    const long double towardsLo = slope(junction.lo) - s, towardsHi = s - slope(junction.hi);
    long double landing = 2;
    if (towardsLo > 0 && std::isfinite(loBase)) {
      landing = (x0 - loBase) / towardsLo;
      junction.target = junction.lo;
    }
    if (towardsHi > 0 && std::isfinite(hiBase) && (hiBase - x0) / towardsHi < landing) {
      landing = (hiBase - x0) / towardsHi;
      junction.target = junction.hi;
    }
    if (landing > 0 && landing < 1) landings.push_back({landing, k});
    // Where a constrained junction would reach its bound, the whole step ends.
    if (boundedJunctions_ && junctionsConstrained_) {
      for (const TBreakpoint* bound : {&junction.first, &junction.last}) {
        // The distance to the bound, linear in the step length, reaches 0 at `at`.
        const long double gap = ValueOf(*bound, s_.theta) - x0, closing = s - slope(*bound);
        if (gap == 0 || closing == 0) continue;
        const long double at = gap / closing;
        if (at > 0 && at < longest) {
          longest = at;
          cut = k;
          junction.target = *bound;
        }
      }
    }
  }
  std::sort(landings.begin(), landings.end(), std::greater<>());
  std::erase_if(landings, [&](const auto& l) { return l.first >= longest; });
  const long double sse0 =
      lineFilter_ ? StartSumWithLines(model, means)
                  : ResidualSS(model, means, settings_.startSum, settings_.runningMeanDouble);
  if (pass_ == 1) prevSse_ = store(sse0);
  if (settings_.step == TStepKind::NewEstimate) {
    for (int p = 1; p <= p_; ++p) {
      const auto k = static_cast<std::size_t>(p);
      s_.step[k] = s_.step[k] - static_cast<long double>(s_.thetaPrev[k]);
    }
  }

  // The usual lengths 1, 0.9, ..., 0.6, then halving, with the landings in their order among
  // them; `usual` is the next usual length not yet tried.
  const auto shorter = [](long double x) { return x > 0.5L ? x - 0.1L : x / 2; };
  long double usual = 1.0L, lambda = 1.0L;
  std::size_t landing = 0, nextLanding = 0;
  if (longest < 1) {
    // The first trial lands the junction on its bound; the usual lengths below follow.
    lambda = longest;
    landing = cut;
    while (usual >= longest) usual = shorter(usual);
  }
  long double s = 0.0L;
  lastTrials_ = 0;
  lastRestored_ = false;
  for (;;) {
    TrialPoint(lambda, landing);
    if (lineFilter_ && TrialRuledOut(model, sse0)) {
      // Certainly not lower: the trial fails as the sum over the cells would have it fail.
      ++trialsRuledOut_;
      s = kInfinity;
    } else {
      s = lineFilter_ ? TrialSumWithLines(model, means)
                      : ResidualSS(model, means, settings_.trialSum, settings_.runningMeanDouble);
    }
    ++lastTrials_;
    if (s < sse0 && model.JunctionsInside(s_.theta.data())) break;
    if (landing == 0) usual = shorter(usual);
    if (nextLanding < landings.size() && landings[nextLanding].first > usual) {
      std::tie(lambda, landing) = landings[nextLanding++];
      continue;
    }
    lambda = usual;
    landing = 0;
    const bool floorReached =
        settings_.floorInclusive ? lambda <= settings_.lambdaFloor : lambda < settings_.lambdaFloor;
    if (floorReached) {
      // A junction a hair from its next breakpoint lands there at a step length below the
      // floor: those landings are still tried, shortest last, before the step is given up.
      if (nextLanding < landings.size()) {
        std::tie(lambda, landing) = landings[nextLanding++];
        usual = 0;
        continue;
      }
      switch (settings_.floorAction) {
        case TFloorAction::ShortStep:
          TrialPoint(lambda, 0);
          break;
        case TFloorAction::Restore:
          TrialPoint(0, 0);
          s = sse0;
          lastRestored_ = true;
          break;
      }
      break;
    }
  }
  lastLambda_ = lambda;
  sse_ = store(s);
}

// The inverse the inference reads is that of the last pass; a pass that held junctions left
// their rows aliased, so the matrix is built again at the estimates with every junction free.
void TFitEngine::InferenceInverse(const TSegmentedModel& model) {
  bool anyHeld = false;
  for (std::size_t k = 1; k < junctions_.size(); ++k) {
    anyHeld = anyHeld || junctions_[k].held || junctions_[k].above;
    junctions_[k].held = junctions_[k].above = false;
  }
  if (!anyHeld) return;
  FillJacobian(model);
  BuildNormalMatrix(model);
  Invert();
}

namespace {

// The corrected residual sum of squares by the one-pass update, with the running mean in the
// precision the model asks for (stats/runningsums.h).
template <typename TSum>
long double CorrectedResidualSS(const TSegmentedModel& model, const TGxeMeans& means,
                                const long double* theta, int g, int a, long double* f) {
  TSum sum;
  for (int i = 1; i <= g; ++i) {
    model.ModelValues(theta, i, f);
    for (int j = 1; j <= a; ++j) sum.Add(means.Y(i, j) - f[j]);
  }
  return sum.SS();
}

long double PlainResidualSS(const TSegmentedModel& model, const TGxeMeans& means,
                            const long double* theta, int g, long double* f) {
  long double s = 0.0L;
  for (int i = 1; i <= g; ++i) s = model.AddSquaredResiduals(theta, i, means.Row(i), s, f);
  return s;
}

}  // namespace

long double TFitEngine::ResidualSS(const TSegmentedModel& model, const TGxeMeans& means,
                                   TSumKind kind, bool runningMeanDouble) const {
  long double* f = rowValues_.data();
  if (kind == TSumKind::Plain) return PlainResidualSS(model, means, s_.theta.data(), g_, f);
  return runningMeanDouble
             ? CorrectedResidualSS<TDoubleMeanSS>(model, means, s_.theta.data(), g_, a_, f)
             : CorrectedResidualSS<TExtendedSS>(model, means, s_.theta.data(), g_, a_, f);
}

long double TMeansModel::SumOfSquares(const TGxeMeans& means, const long double* theta) const {
  std::vector<long double> f(static_cast<std::size_t>(a_) + 1);
  return PlainResidualSS(*this, means, theta, g_, f.data());
}

long double ParameterVariance(const TFitEngine& fit, int p, double QME, double r) {
  const long double v = static_cast<long double>(QME) * fit.G(p, p) / r;
  return v > 0 ? v : kVarianceFloor;
}

long double DifferenceVariance(const TFitEngine& fit, int p, int q, double QME, double r) {
  const long double v =
      static_cast<long double>(QME) * (fit.G(q, q) + fit.G(p, p) - 2 * fit.G(p, q)) / r;
  return v > 0 ? v : kVarianceFloor;
}

long double Covariance(const TFitEngine& fit, int p, int q, double QME, double r) {
  return static_cast<long double>(QME) * fit.G(p, q) / r;
}

TScannedFit FitAndScan(TFitEngine& fit, const TSegmentedModel& model, const TGxeMeans& means,
                       bool scanStart) {
  TScannedFit out;
  const auto parameters = static_cast<std::size_t>(model.Parameters());
  std::vector<long double> theta(parameters + 1), best;
  if (scanStart) {
    model.StartValues(theta.data());
    if (model.ProfileScan(means, theta.data(), best) < 0) best.clear();
  }
  out.result = fit.FitModel(model, means, best.empty() ? nullptr : &best);
  if (out.result.status != TFitStatus::Done || !IsFiniteFit(fit)) return out;
  for (std::size_t p = 1; p <= parameters; ++p) theta[p] = fit.Theta(static_cast<int>(p));
  out.scanSSE = model.ProfileScan(means, theta.data(), best);
  return out;
}

bool IsFiniteFit(const TFitEngine& fit) {
  if (!std::isfinite(fit.SSE())) return false;
  for (int p = 1; p <= fit.ParameterCount(); ++p) {
    if (!std::isfinite(fit.Theta(p))) return false;
  }
  return true;
}

}  // namespace qv

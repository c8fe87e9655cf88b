#include "segmented/toler.h"

#include <algorithm>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/indexcheck.h"
#include "segmented/slopesums.h"
#include "segmented/tolerlinear.h"
#include "stats/splitextended.h"

namespace qv {
namespace {

const char* const kTooFewCells =
    "Impossível realizar essa análise, pois é preciso\r que g*a>3*g+a, o que não ocorreu nesse "
    "caso! Sinto muito!";
const std::string kTooManyParameters =
    std::string(
        "Impossível realizar essa análise, pois o limite do\r programa foi ultrapassado. "
        "3*g+a+3 tem que ser inferior\ra ") +
    std::to_string(MaxPar) + "! Sinto muito!";

// From this bordered order of the simple linear model on (2g + a + 2), its fit is started beside
// the bisegmented one; below it the fit takes a few milliseconds.
constexpr int kLinearAheadOrder = 200;

// From this many environments on, the profile scan's splits are shared by two threads.
constexpr std::size_t kParallelScanSplits = 40;

std::string ParameterLabel(int g, int pos) {
  if (pos > 3 * g) return "     U(" + Int(pos - 3 * g, 4) + ")";
  const char* prefix[] = {"      a(", "     b1(", "     b2("};
  return prefix[(pos - 1) % 3] + Int((pos - 1) / 3 + 1, 3) + ")";
}

}  // namespace

bool TTolerModel::InConstraint(int c, int p) const {
  switch (c) {
    case 1:
      return p <= 3 * g_ && (p - 1) % 3 == 1;  // b1(i)
    case 2:
      return p <= 3 * g_ && (p - 1) % 3 == 2;  // b2(i)
    case 3:
      return p > 3 * g_;  // U(j)
  }
  return false;
}

TEngineSettings TTolerModel::Settings() const {
  TEngineSettings s;
  s.lambdaFloor = 1e-13L;
  s.floorInclusive = false;
  s.tolerance = 1e-13L;
  s.finalPass = true;
  return s;
}

// Each genotype starts from its mean with unit slopes on the classic index (Finlay and
// Wilkinson 1963), which Gauss-Newton then re-estimates jointly with the slopes.
void TTolerModel::StartValues(long double* theta) const {
  for (int i = 1; i <= g_; ++i) {
    theta[3 * (i - 1) + 1] = margins_.MedGen(i);
    theta[3 * (i - 1) + 2] = 1;
    theta[3 * (i - 1) + 3] = 1;
  }
  for (int j = 1; j <= a_; ++j) theta[3 * g_ + j] = margins_.Index(j);
}

long double TTolerModel::ModelValue(const long double* t, int i, int j) const {
  const long double u = t[3 * g_ + j];
  return u <= 0 ? t[3 * (i - 1) + 1] + t[3 * (i - 1) + 2] * u
                : t[3 * (i - 1) + 1] + t[3 * (i - 1) + 3] * u;
}

// An index of exactly 0 belongs to the unfavourable side, with the slope b1(i).
int TTolerModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  const int base = 3 * (i - 1);
  const long double u = t[3 * g_ + j];
  const bool low = u <= 0;
  row[0] = {base + 1, 1.0L};
  row[1] = {base + 2, low ? u : 0.0L};
  row[2] = {base + 3, low ? 0.0L : u};
  row[3] = {3 * g_ + j, low ? t[base + 2] : t[base + 3]};
  return 4;
}

// The rows with qualified calls: the same functions, bound at compile time. The model has no
// junction, so there is no upper side to take.
void TTolerModel::ModelValues(const long double* t, int i, long double* f) const {
  for (int j = 1; j <= a_; ++j) f[j] = TTolerModel::ModelValue(t, i, j);
}

void TTolerModel::JacobianRows(const long double* t, int i, bool /*above*/, TJacEntry* rows,
                               unsigned char* counts) const {
  for (int j = 1; j <= a_; ++j) {
    counts[j - 1] = static_cast<unsigned char>(TTolerModel::JacobianRow(
        t, i, j, rows + static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries));
  }
}

namespace {

// The sums of the scan's rounds read their operands as stored: extended values, or their exact
// splits into two doubles (stats/splitextended.h), which load several times faster and give the
// same bits.

// sum over i < g of b[i] (y[i] - a[i]), in the order of i, for four columns y at once: four
// running sums side by side, each in its own order.
template <class T>
void SlopeWeighted4(const T* b, const T* a, const T* const* y, int g, long double* s) {
  long double t0 = 0, t1 = 0, t2 = 0, t3 = 0;
  for (int i = 0; i < g; ++i) {
    const long double bi = Load(b[i]), ai = Load(a[i]);
    t0 += bi * (Load(y[0][i]) - ai);
    t1 += bi * (Load(y[1][i]) - ai);
    t2 += bi * (Load(y[2][i]) - ai);
    t3 += bi * (Load(y[3][i]) - ai);
  }
  s[0] = t0;
  s[1] = t1;
  s[2] = t2;
  s[3] = t3;
}

// sum over the environments js of u[j] y[j - 1], in their order, for four genotypes' rows y.
template <class T>
void CrossProducts4(const std::vector<int>& js, const T* u, const T* const* y, long double* s) {
  long double t0 = 0, t1 = 0, t2 = 0, t3 = 0;
  for (const int j : js) {
    const long double x = Load(u[j]);
    t0 += x * Load(y[0][j - 1]);
    t1 += x * Load(y[1][j - 1]);
    t2 += x * Load(y[2][j - 1]);
    t3 += x * Load(y[3][j - 1]);
  }
  s[0] = t0;
  s[1] = t1;
  s[2] = t2;
  s[3] = t3;
}

template <class T>
long double SlopeWeighted(const T* b, const T* a, const T* y, int g) {
  long double t = 0;
  for (int i = 0; i < g; ++i) t += Load(b[i]) * (Load(y[i]) - Load(a[i]));
  return t;
}

// The splits of v[0..n), into `to`; false (to partly written) where one would not be exact.
bool SplitAll(const long double* v, std::size_t n, TSplit* to) {
  for (std::size_t k = 0; k < n; ++k) {
    if (!SplitsExactly(v[k])) return false;
    Put(to[k], v[k]);
  }
  return true;
}

}  // namespace

// Given the index, every genotype's block has the same design (1, U below 0, U above 0): it is
// formed and inverted once a round, and each genotype brings only its totals. Its responses' sum
// and sum of squares do not change at all. The environments of each side are listed once a
// split, so that the sums over them run without a test per cell, in the order of the cells.
long double TTolerModel::ProfileScan(const TGxeMeans& means, const long double* theta,
                                     std::vector<long double>& best) const {
  const auto g = static_cast<std::size_t>(g_), a = static_cast<std::size_t>(a_);
  long double sum = 0;  // the sum of the index, kept
  for (int j = 1; j <= a_; ++j) sum += theta[3 * g_ + j];
  std::vector<int> order(a);
  for (std::size_t j = 0; j < a; ++j) order[j] = static_cast<int>(j) + 1;
  std::sort(order.begin(), order.end(),
            [&](int x, int y) { return theta[3 * g_ + x] < theta[3 * g_ + y]; });
  // The sums and sums of squares of the genotypes' responses, and the responses by environment.
  std::vector<long double> ySum(g + 1), yy(g + 1), byEnvironment(a * g), byGenotype(g * a);
  for (int i = 1; i <= g_; ++i) {
    for (int j = 1; j <= a_; ++j) {
      const long double y = means.Y(i, j);
      ySum[static_cast<std::size_t>(i)] += 1.0L * y;
      yy[static_cast<std::size_t>(i)] += y * y;
      byEnvironment[static_cast<std::size_t>(j - 1) * g + static_cast<std::size_t>(i - 1)] = y;
      byGenotype[static_cast<std::size_t>(i - 1) * a + static_cast<std::size_t>(j - 1)] = y;
    }
  }
  // The same, split, when every mean splits exactly.
  std::vector<TSplit> byEnvironmentPair(a * g), byGenotypePair(g * a);
  const bool meansSplit = SplitAll(byEnvironment.data(), a * g, byEnvironmentPair.data()) &&
                          SplitAll(byGenotype.data(), g * a, byGenotypePair.data());
  const auto column = [&](int j) { return &byEnvironment[static_cast<std::size_t>(j - 1) * g]; };
  const auto columnPair = [&](int j) {
    return &byEnvironmentPair[static_cast<std::size_t>(j - 1) * g];
  };

  // Each split of the index (the k smallest values at or below 0) is fitted on its own, so the
  // splits can be shared between two threads: each keeps the best it finds, and the best of
  // the two is the one the splits in their order would keep (the smallest sum, the first split
  // among equal sums).
  struct TBest {
    long double sse = -1;
    std::size_t k = 0;
    std::vector<long double> theta;
  };
  const auto scan = [&](std::size_t firstK, std::size_t stepK, TBest& found) {
    std::vector<long double> trial(static_cast<std::size_t>(Parameters()) + 1);
    std::vector<char> low(a + 1);
    std::vector<int> side[2];  // the environments above 0 and at or below it, ascending
    std::vector<TGenotypeBlock> blocks(g + 1);
    std::vector<long double> num(a + 1), intercept(g),
        slope[2] = {std::vector<long double>(g), std::vector<long double>(g)};
    std::vector<TSplit> uPair(a + 1), interceptPair(g),
        slopePair[2] = {std::vector<TSplit>(g), std::vector<TSplit>(g)};
    for (std::size_t k = firstK; k < a; k += stepK) {
      for (std::size_t r = 0; r < a; ++r) low[static_cast<std::size_t>(order[r])] = r < k;
      for (int s = 0; s < 2; ++s) {
        side[s].clear();
        for (int j = 1; j <= a_; ++j) {
          if (static_cast<bool>(low[static_cast<std::size_t>(j)]) == (s == 1)) side[s].push_back(j);
        }
      }
      std::copy(theta, theta + trial.size(), trial.begin());
      long double previous = -1;
      bool solved = true;
      for (int round = 0; round < 200 && solved; ++round) {
        // Given the index: the intercepts and slopes.
        const long double* u = &trial[3 * g];
        TGenotypeBlock design;
        for (int j = 1; j <= a_; ++j) design.Add(0, u[j], 0, low[static_cast<std::size_t>(j)]);
        TSlopeSums sums(g_);
        solved = design.Invert();
        const bool uSplit = meansSplit && SplitAll(u + 1, a, uPair.data() + 1);
        // Cross-products with the design: the sum, U y at or below 0 and U y above it (the other
        // column is 0 in each cell); four genotypes at a time, taken in their order.
        for (int i = 1; i <= g_ && solved; i += 4) {
          const long double* y[4];
          const TSplit* yPair[4];
          long double c[4][3];
          for (int q = 0; q < 4; ++q) {
            const auto row = static_cast<std::size_t>(std::min(i + q, g_));
            y[q] = &byGenotype[(row - 1) * a];
            yPair[q] = &byGenotypePair[(row - 1) * a];
            c[q][0] = ySum[row];
          }
          for (int s = 0; s < 2; ++s) {
            long double total[4];
            if (uSplit) {
              CrossProducts4(side[s], uPair.data(), yPair, total);
            } else {
              CrossProducts4(side[s], u, y, total);
            }
            for (int q = 0; q < 4; ++q) c[q][2 - s] = total[q];
          }
          for (int q = 0; q < 4 && i + q <= g_; ++q) {
            const auto b = static_cast<std::size_t>(i + q);
            blocks[b].PrepareWith(design, c[q], yy[b]);
            sums.Add(blocks[b]);
          }
        }
        long double sse = 0;
        if (!solved || !sums.SSE(sse)) {
          solved = false;
          break;
        }
        for (int i = 1; i <= g_; ++i) {
          long double beta[4];
          sums.Solution(blocks[static_cast<std::size_t>(i)], beta);
          for (int q = 0; q < 3; ++q) {
            trial[static_cast<std::size_t>(3 * (i - 1) + 1 + q)] = beta[q];
          }
          intercept[static_cast<std::size_t>(i - 1)] = beta[0];
          slope[1][static_cast<std::size_t>(i - 1)] = beta[1];
          slope[0][static_cast<std::size_t>(i - 1)] = beta[2];
        }
        if (previous >= 0 && previous - sse <= 1e-14L * sse) break;
        previous = sse;
        // Given the intercepts and slopes: each U(j) on its side's slopes, their sum kept by one
        // multiplier. The sum of the squared slopes is the same for every environment of a side.
        long double denominator[2] = {0, 0};  // above, at or below
        for (int i = 0; i < g_; ++i) {
          for (int s = 0; s < 2; ++s) {
            const long double b = slope[s][static_cast<std::size_t>(i)];
            denominator[s] += b * b;
          }
        }
        const bool linesSplit = meansSplit && SplitAll(intercept.data(), g, interceptPair.data()) &&
                                SplitAll(slope[0].data(), g, slopePair[0].data()) &&
                                SplitAll(slope[1].data(), g, slopePair[1].data());
        for (int s = 0; s < 2; ++s) {
          const std::vector<int>& js = side[s];
          std::size_t x = 0;
          for (; x + 3 < js.size(); x += 4) {
            long double total[4];
            if (linesSplit) {
              const TSplit* y[4] = {columnPair(js[x]), columnPair(js[x + 1]), columnPair(js[x + 2]),
                                    columnPair(js[x + 3])};
              SlopeWeighted4(slopePair[s].data(), interceptPair.data(), y, g_, total);
            } else {
              const long double* y[4] = {column(js[x]), column(js[x + 1]), column(js[x + 2]),
                                         column(js[x + 3])};
              SlopeWeighted4(slope[s].data(), intercept.data(), y, g_, total);
            }
            for (int q = 0; q < 4; ++q) num[static_cast<std::size_t>(js[x + q])] = total[q];
          }
          for (; x < js.size(); ++x) {
            num[static_cast<std::size_t>(js[x])] =
                linesSplit ? SlopeWeighted(slopePair[s].data(), interceptPair.data(),
                                           columnPair(js[x]), g_)
                           : SlopeWeighted(slope[s].data(), intercept.data(), column(js[x]), g_);
          }
        }
        long double sumRatio = 0, sumInverse = 0;
        for (int j = 1; j <= a_ && solved; ++j) {
          const long double den = denominator[low[static_cast<std::size_t>(j)] ? 1 : 0];
          if (!(den > 0)) solved = false;
          sumRatio += num[static_cast<std::size_t>(j)] / den;
          sumInverse += 1 / den;
        }
        if (!solved) break;
        const long double half = (sumRatio - sum) / sumInverse;
        for (int j = 1; j <= a_; ++j) {
          const auto c = static_cast<std::size_t>(j);
          trial[3 * g + c] = (num[c] - half) / denominator[low[c] ? 1 : 0];
        }
      }
      if (!solved) continue;
      bool sides = true;
      for (int j = 1; j <= a_; ++j) {
        sides = sides && (trial[3 * g + static_cast<std::size_t>(j)] <= 0) ==
                             static_cast<bool>(low[static_cast<std::size_t>(j)]);
      }
      if (!sides) continue;
      const long double sse = SumOfSquares(means, trial.data());
      if (found.sse < 0 || sse < found.sse) {
        found.sse = sse;
        found.k = k;
        found.theta = trial;
      }
    }
  };
  TBest mine, other;
  bool shared = false;
  if (shareScan_ && a >= kParallelScanSplits && std::thread::hardware_concurrency() > 1) {
    try {
      std::thread helper(scan, 2, 2, std::ref(other));
      scan(1, 2, mine);
      helper.join();
      shared = true;
    } catch (const std::system_error&) {
      // No thread to be had: every split on this one.
    }
  }
  if (!shared) {
    mine = TBest{};
    other = TBest{};
    scan(1, 1, mine);
  }
  const bool otherFirst = other.sse >= 0 && (mine.sse < 0 || other.sse < mine.sse ||
                                             (other.sse == mine.sse && other.k < mine.k));
  TBest& chosen = otherFirst ? other : mine;
  if (chosen.sse >= 0) best = std::move(chosen.theta);
  return chosen.sse;
}

TComputed<TTolerResult> TolerCompute(const TGxeMeans& means, const TAnalysisParams& p,
                                     TFitStorage& storage, bool scanStart, bool linearAhead,
                                     char separator) {
  const long long g = p.g, a = p.a;
  // The model has 3g + a parameters under 3 constraints: the table must hold at least as many
  // means, and the bordered normal matrix must fit the fitting storage.
  if (g * a < 3 * g + a) return TRefusal::BadParameter(kTooFewCells, TRefusal::TScope::Run);
  if (3 * g + a + 3 > MaxPar)
    return TRefusal::BadParameter(kTooManyParameters, TRefusal::TScope::Run);
  // The F ratios and the variances of the estimates divide by QME and r, and the tests need
  // residual degrees of freedom.
  if (TCheck refusal = JointAnovaRefusal(p, 2)) return *refusal;

  ProbStatus status = ProbStatus::Ok;
  TTolerResult res;
  res.means = ComputeMeansAnova(means, p, status);
  if (TCheck refusal = SegmentedIndexRefusal(means, res.means.margins, p.g, p.a)) return *refusal;
  res.T = res.means.T;
  if (linearAhead && 2 * p.g + p.a + 2 >= kLinearAheadOrder) {
    res.linearAhead = TTolerLinearAhead::Start(means, res.means.margins, res.T, p, separator);
  }
  const TTolerModel model(res.means.margins, p.g, p.a);
  TFitEngine fit(storage);
  const TScannedFit scanned = FitAndScan(fit, model, means, scanStart);
  const TFitResult& fitted = scanned.result;
  if (!IsFiniteFit(fit)) return TRefusal::OfVariable(kNonFiniteFitCause);

  // The fit's model takes the genotype intercepts and both slopes besides the index: q = 2g + a
  // degrees of freedom; the deviations from it, measured on the plot scale, the rest of the
  // g a - 1 of the corrected total.
  const int q = 2 * p.g + p.a;
  const int d = p.g * p.a - 1 - q;
  const long double ssd = p.r * fit.SSE();
  const long double ssm = res.T - ssd;
  res.fit.summary = Summarize(fit, fitted, p.r, scanned.scanSSE);
  res.fit.anova = ComputeFitAnova(q, d, ssm, ssd, p, status);
  res.fit.parameters = InterceptSlopeTables(
      fit, p, {TTolerModel::A, TTolerModel::B1, TTolerModel::B2}, TProbLayout::Fixed, status);
  res.fit.parameters.push_back(IndexTable(fit, 3 * p.g, p, status));
  res.fit.covariance = TCovarianceMatrix(fit, model.Parameters(), p,
                                         [&](int pos) { return ParameterLabel(p.g, pos); });
  res.fit.fitted = FittedMeans(means, model, fit);
  res.a = Estimates(fit, p.g, TTolerModel::A);
  res.b1 = Estimates(fit, p.g, TTolerModel::B1);
  res.b2 = Estimates(fit, p.g, TTolerModel::B2);
  res.U = Estimates(fit, p.a, [&](int j) { return model.U(j); });
  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendTolerReport(TReport& report, const TTolerResult& res, char decimalSeparator) {
  AppendModelReport(
      report, res.means,
      {kFitReportFirstLine,
       "segundo  o modelo de Toler, J.E.(1990), Patterns of Genotypic performance over",
       "environmental arrays , PhD thesis, Clemson University, 154p.",
       "Modelo:  Y(ij) = a(i) + {b1(i) Z(j) + b2(i) [1 - Z(j)]} * U(j)  +  desvio(ij),",
       "Z(j) = 1 se U(j) <= 0 ou Z(j) = 0 se U(j) > 0"},
      res.fit, decimalSeparator);
}

TResultData ResultData(const TTolerResult& res) {
  return ModelData(res.means, res.fit);
}

bool FiniteResult(const TTolerResult& res) {
  return FiniteModelData(res.means, res.fit);
}

TMethod TolerMethod() {
  TMethod m;
  m.name = "toler";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kTolerTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [](const TComputeContext& c) {
    return WriteStep(
        TolerCompute(c.means, c.params, c.fitStorage, c.scanStart, c.lastVariable,
                     c.decimalSeparator),
        [&](const TTolerResult& r) { AppendTolerReport(c.report, r, c.decimalSeparator); });
  };
  return m;
}

}  // namespace qv

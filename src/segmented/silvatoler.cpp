#include "segmented/silvatoler.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/indexcheck.h"
#include "segmented/junctionreport.h"
#include "segmented/slopesums.h"
#include "segmented/toler.h"  // the title line the two models share

namespace qv {
namespace {

const char* const kTooFewCells =
    "Impossível realizar essa análise, pois é preciso\r que g*a>g*4+a, o que não ocorreu nesse "
    "caso! Sinto muito!";
const std::string kTooManyParameters =
    std::string(
        "Impossível realizar essa análise, pois o limite do\r programa foi ultrapassado. "
        "g*4+a+4 tem que ser inferior\ra ") +
    std::to_string(MaxPar) + "! Sinto muito!";

}  // namespace

bool TSilvaTolerModel::InConstraint(int c, int p) const {
  if (c == 4) return p > 4 * g_;
  // Constraints 1, 2 and 3 take the b1(i), b2(i) and U0(i): slots 1, 2 and 3 of a genotype.
  return p <= 4 * g_ && (p - 1) % 4 == c;
}

// The step-length floor, tolerance and final pass of Toler's model. The sum compared and kept
// is the sum of squared residuals the fit minimizes; a step no length of which lowers it is
// abandoned (never taken unevaluated), and convergence asks the full step to be negligible
// too. The constraint groups overlap the junctions' and the index's columns, and the sweep
// can leave pivots aliased when a genotype's junction leaves one of its lines without cells:
// those parameters take no step, so that every constraint sum keeps its value.
TEngineSettings TSilvaTolerModel::Settings() const {
  TEngineSettings s;
  s.lambdaFloor = 1e-13L;
  s.floorInclusive = false;
  s.tolerance = 1e-13L;
  s.finalPass = true;
  s.startSum = s.trialSum = TSumKind::Plain;
  s.floorAction = TFloorAction::Restore;
  s.decrementTolerance = kDecrementTolerance;
  s.projectSteps = true;
  s.zeroAliasedSteps = true;
  return s;
}

// Toler's start (genotype means, unit slopes, the classic index) with every junction at the
// mean environment.
void TSilvaTolerModel::StartValues(long double* theta) const {
  for (int i = 1; i <= g_; ++i) {
    theta[junction::A(i)] = margins_.MedGen(i);
    theta[junction::B1(i)] = 1;
    theta[junction::B2(i)] = 1;
    theta[junction::X0(i)] = 0;
  }
  for (int j = 1; j <= a_; ++j) theta[4 * g_ + j] = margins_.Index(j);
}

// An environment exactly at the genotype's junction (D = 0) lies on the lower line.
long double TSilvaTolerModel::ModelValue(const long double* t, int i, int j) const {
  const long double d = t[4 * g_ + j] - t[junction::X0(i)];
  return d <= 0 ? t[junction::A(i)] + t[junction::B1(i)] * d
                : t[junction::A(i)] + t[junction::B2(i)] * d;
}

// With s the slope of the side the cell lies on, the index moves the response by s and the
// junction by -s.
int TSilvaTolerModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  return Row(t, i, j, t[4 * g_ + j] - t[junction::X0(i)] <= 0, row);
}

int TSilvaTolerModel::JacobianRowAbove(const long double* t, int i, int j, TJacEntry* row) const {
  return Row(t, i, j, t[4 * g_ + j] - t[junction::X0(i)] < 0, row);
}

// The rows with qualified calls: the same functions, bound at compile time.
void TSilvaTolerModel::ModelValues(const long double* t, int i, long double* f) const {
  for (int j = 1; j <= a_; ++j) f[j] = TSilvaTolerModel::ModelValue(t, i, j);
}

void TSilvaTolerModel::JacobianRows(const long double* t, int i, bool above, TJacEntry* rows,
                                    unsigned char* counts) const {
  for (int j = 1; j <= a_; ++j) {
    TJacEntry* row = rows + static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries;
    counts[j - 1] =
        static_cast<unsigned char>(above ? TSilvaTolerModel::JacobianRowAbove(t, i, j, row)
                                         : TSilvaTolerModel::JacobianRow(t, i, j, row));
  }
}

int TSilvaTolerModel::Row(const long double* t, int i, int j, bool lower, TJacEntry* row) const {
  const long double d = t[4 * g_ + j] - t[junction::X0(i)];
  const long double s = lower ? t[junction::B1(i)] : t[junction::B2(i)];
  row[0] = {junction::A(i), 1.0L};
  row[1] = {junction::B1(i), lower ? d : 0.0L};
  row[2] = {junction::B2(i), lower ? 0.0L : d};
  row[3] = {junction::X0(i), -s};
  row[4] = {4 * g_ + j, s};
  return 5;
}

void TSilvaTolerModel::Breakpoints(const long double* t, int /*k*/,
                                   std::vector<TBreakpoint>& out) const {
  out.clear();
  for (int j = 1; j <= a_; ++j) out.push_back({t[4 * g_ + j], 4 * g_ + j});
  std::sort(out.begin(), out.end(),
            [](const TBreakpoint& x, const TBreakpoint& y) { return x.value < y.value; });
  out.erase(
      std::unique(out.begin(), out.end(),
                  [](const TBreakpoint& x, const TBreakpoint& y) { return x.value == y.value; }),
      out.end());
  // The bounds: the second-smallest and the second-largest value, as for Silva's junctions.
  if (out.size() > 2) out = std::vector<TBreakpoint>(out.begin() + 1, out.end() - 1);
}

bool TSilvaTolerModel::JunctionsInside(const long double* t) const {
  long double lowest = t[4 * g_ + 1], highest = lowest;
  for (int j = 2; j <= a_; ++j) {
    lowest = std::min(lowest, t[4 * g_ + j]);
    highest = std::max(highest, t[4 * g_ + j]);
  }
  for (int i = 1; i <= g_; ++i) {
    if (!(t[junction::X0(i)] > lowest && t[junction::X0(i)] < highest)) return false;
  }
  return true;
}

namespace {

// The genotypes' blocks with the junctions x0 (1-based) on the cells sorted by the index, their
// totals, and the residual sum of squares; negative when a block or the multipliers' system is
// singular.
long double SolveGivenBends(const std::vector<TSortedCells>& cells,
                            const std::vector<long double>& x0, std::vector<TGenotypeBlock>& blocks,
                            TSlopeSums& sums) {
  sums = TSlopeSums(static_cast<long double>(cells.size() - 1));
  for (std::size_t k = 1; k < cells.size(); ++k) {
    blocks[k] = cells[k].Block(x0[k], false);
    if (!blocks[k].Prepare()) return -1;
    sums.Add(blocks[k]);
  }
  long double sse = 0;
  return sums.SSE(sse) ? sse : -1;
}

}  // namespace

long double TSilvaTolerModel::ProfileScan(const TGxeMeans& means, const long double* theta,
                                          std::vector<long double>& best) const {
  const auto g = static_cast<std::size_t>(g_), a = static_cast<std::size_t>(a_);
  std::vector<long double> u(a + 1), x0(g + 1), points;
  for (std::size_t j = 1; j <= a; ++j) u[j] = theta[4 * g + j];
  for (std::size_t i = 1; i <= g; ++i) x0[i] = theta[4 * i];
  // The places allowed: the index values from the second-smallest to the second-largest.
  points.assign(u.begin() + 1, u.end());
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  if (points.size() > 2) points = std::vector<long double>(points.begin() + 1, points.end() - 1);
  const std::vector<TSortedCells> cells = SortedCellsOf(means, g_, a_, u);
  const auto block = [&](std::size_t i, long double place, bool twoLines) {
    return cells[i].Block(place, twoLines);
  };
  std::vector<TGenotypeBlock> blocks(g + 1), trialBlocks(g + 1);
  TSlopeSums sums(g_), trialSums(g_);
  // A genotype whose junction lies beyond every U(j) has a slope without cells: the scan has
  // nothing to solve for it, and gives no result.
  long double current = SolveGivenBends(cells, x0, blocks, sums);
  if (current < 0) return -1;
  for (int sweep = 0; sweep < 50; ++sweep) {
    bool moved = false;
    for (std::size_t i = 1; i <= g; ++i) {
      // The places are ranked with the other junctions held, by exchanging this genotype's
      // block; the best is then tried with the move shared by the others, which keeps the
      // junctions' sum at 0.
      TSlopeSums others = sums;
      others.Remove(blocks[i]);
      long double bestRank = current, bestPlace = x0[i];
      const auto rank = [&](long double place) {
        TGenotypeBlock b = block(i, place, false);
        if (!b.Prepare()) return;
        TSlopeSums trial = others;
        trial.Add(b);
        long double sse = 0;
        if (trial.SSE(sse) && sse < bestRank) {
          bestRank = sse;
          bestPlace = place;
        }
      };
      for (std::size_t m = 0; m < points.size(); ++m) {
        rank(points[m]);
        if (m + 1 == points.size()) break;
        long double crossing = 0;
        if (others.Crossing(block(i, points[m], true), points[m], points[m + 1], crossing)) {
          rank(crossing);
        }
      }
      if (!(bestRank < current * (1 - 1e-12L))) continue;
      std::vector<long double> trial = x0;
      const long double share = (bestPlace - x0[i]) / static_cast<long double>(g_ - 1);
      for (std::size_t k = 1; k <= g; ++k) trial[k] = k == i ? bestPlace : x0[k] - share;
      const long double sse = SolveGivenBends(cells, trial, trialBlocks, trialSums);
      if (sse >= 0 && sse < current * (1 - 1e-12L)) {
        x0 = trial;
        blocks.swap(trialBlocks);
        sums = trialSums;
        current = sse;
        moved = true;
      }
    }
    if (!moved) break;
  }
  best.assign(static_cast<std::size_t>(Parameters()) + 1, 0.0L);
  for (std::size_t i = 1; i <= g; ++i) {
    long double beta[4];
    sums.Solution(blocks[i], beta);
    // The block's intercept is that of the line below the junction at index 0; the model's is
    // the response at the junction.
    best[4 * i - 3] = beta[0] + beta[1] * x0[i];
    best[4 * i - 2] = beta[1];
    best[4 * i - 1] = beta[2];
    best[4 * i] = x0[i];
  }
  for (std::size_t j = 1; j <= a; ++j) best[4 * g + j] = u[j];
  return SumOfSquares(means, best.data());
}

TComputed<TSilvaTolerResult> SilvaTolerCompute(const TGxeMeans& means, const TAnalysisParams& p,
                                               TFitStorage& storage, bool scanStart) {
  const long long g = p.g, a = p.a;
  // 4g + a parameters under 4 constraints: the table must hold at least as many means, and the
  // bordered normal matrix must fit the fitting storage.
  if (g * a < 4 * g + a) return TRefusal::BadParameter(kTooFewCells, TRefusal::TScope::Run);
  if (4 * g + a + 4 > MaxPar)
    return TRefusal::BadParameter(kTooManyParameters, TRefusal::TScope::Run);
  if (TCheck refusal = JointAnovaRefusal(p, 2)) return *refusal;

  ProbStatus status = ProbStatus::Ok;
  TSilvaTolerResult res;
  res.means = ComputeMeansAnova(means, p, status);
  if (TCheck refusal = SegmentedIndexRefusal(means, res.means.margins, p.g, p.a)) return *refusal;
  const TSilvaTolerModel model(res.means.margins, p.g, p.a);
  TFitEngine fit(storage);
  const TScannedFit scanned = FitAndScan(fit, model, means, scanStart);
  const TFitResult& fitted = scanned.result;
  if (!IsFiniteFit(fit)) return TRefusal::OfVariable(kNonFiniteFitCause);

  // The model counts every parameter but the slopes' scale: intercepts, both slopes and the
  // junction of each genotype, and the index, q = 4g + a. At the limit of the size check the
  // deviations have 0 or -1 degrees of freedom.
  const int q = 4 * p.g + p.a;
  const int d = p.g * p.a - 1 - q;
  const long double ssd = p.r * fit.SSE();
  const long double ssm = res.means.T - ssd;
  res.fit.summary = Summarize(fit, fitted, p.r, scanned.scanSSE);
  res.fit.anova = ComputeJunctionFitAnova(q, d, ssm, ssd, p, false, status);
  res.fit.parameters = InterceptSlopeTables(fit, p, {junction::A, junction::B1, junction::B2},
                                            TProbLayout::Fixed, status);
  TParamTable junctions{
      "U0=0",
      "Parâmetro       Estimativa     Erro Padrão     t p/ U0(j)=0        Pr>|t|  ",
      "U0",
      "U0(",
      ")   ",
      16,
      TProbLayout::Fixed,
      {}};
  TestEach(junctions, p.g, junction::X0, 0, fit, p, status);
  res.fit.parameters.push_back(std::move(junctions));
  res.fit.parameters.push_back(IndexTable(fit, 4 * p.g, p, status));
  // The labels of the index are not padded: they shift the rest of their line.
  const int gi = p.g;
  res.fit.covariance = TCovarianceMatrix(fit, model.Parameters(), p, [gi](int pos) {
    return pos > 4 * gi ? "     U(" + Int(pos - 4 * gi, 0) + ")"
                        : GenotypeParameterLabel(pos, "     U0(");
  });
  res.fit.fitted = FittedMeans(means, model, fit);
  res.a = Estimates(fit, p.g, junction::A);
  res.b1 = Estimates(fit, p.g, junction::B1);
  res.b2 = Estimates(fit, p.g, junction::B2);
  res.U0 = Estimates(fit, p.g, junction::X0);
  res.U = Estimates(fit, p.a, [&](int j) { return 4 * p.g + j; });
  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendSilvaTolerReport(TReport& report, const TSilvaTolerResult& res, char decimalSeparator) {
  AppendModelReport(
      report, res.means,
      {kFitReportFirstLine, "segundo  o modelo de Toler, J.E.(1990) e Silva ",
       "Modelo: Y(ij) = a(i) + {b1(i) Z(j) + b2(i) [1 - Z(j)]} * [U(j)-U0(i)] + desvio(ij),",
       "Z(j) = 1 se U(j)-U0(i) <= 0 ou Z(j) = 0 se U(j)-U0(i) > 0"},
      res.fit, decimalSeparator);
}

TResultData ResultData(const TSilvaTolerResult& res) {
  return ModelData(res.means, res.fit);
}

bool FiniteResult(const TSilvaTolerResult& res) {
  return FiniteModelData(res.means, res.fit);
}

TMethod SilvaTolerMethod() {
  TMethod m;
  m.name = "silva-toler";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kTolerTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [](const TComputeContext& c) {
    return WriteStep(SilvaTolerCompute(c.means, c.params, c.fitStorage, c.scanStart),
                     [&](const TSilvaTolerResult& r) {
                       AppendSilvaTolerReport(c.report, r, c.decimalSeparator);
                     });
  };
  return m;
}

}  // namespace qv

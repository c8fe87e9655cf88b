#include "segmented/silva.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/indexcheck.h"
#include "segmented/junctionreport.h"
#include "segmented/slopesums.h"
#include "stats/partner.h"

namespace qv {
namespace {

// From this many breakpoints on, two threads share the places of each junction in the scan.
constexpr std::size_t kParallelScanBreakpoints = 40;

const char* const kTooFewCells =
    "Impossível realizar essa análise, pois é preciso\r que g*a>4*g, o que não ocorreu nesse "
    "caso! Sinto muito!";
// The message names the bound of Toler's model, 3g + a + 3; the bordered system of Silva's
// model has order 4g + 2, and the test is 4g + 3 <= MaxPar.
const std::string kTooManyParameters =
    std::string(
        "Impossível realizar essa análise, pois o limite do\r programa foi ultrapassado. "
        "3*g+a+3 tem que ser inferior\ra ") +
    std::to_string(MaxPar) + "! Sinto muito!";

}  // namespace

TSilvaModel::TSilvaModel(const TMargins& margins, int g, int a, TSilvaVariant variant)
    : TMeansModel(margins, g, a), variant_(variant), index_(static_cast<std::size_t>(a) + 1) {
  for (int j = 1; j <= a_; ++j) {
    index_[static_cast<std::size_t>(j)] = margins_.Index(j);
    order_.push_back(j);
  }
  std::stable_sort(order_.begin(), order_.end(),
                   [this](int p, int q) { return Index(p) < Index(q); });
  for (const int j : order_) sorted_.push_back(Index(j));
  // The junction of the segmented form is kept strictly inside the index values, so that
  // every genotype keeps at least one environment on each of its lines.
  long double largest = Index(1), smallest = Index(1);
  for (int j = 2; j <= a_; ++j) {
    largest = std::max(largest, Index(j));
    smallest = std::min(smallest, Index(j));
  }
  xu_ = smallest;
  xl_ = largest;
  for (int j = 1; j <= a_; ++j) {
    const long double x = Index(j);
    if (xu_ < x && x != largest) xu_ = x;
    if (xl_ > x && x != smallest) xl_ = x;
  }
  // With two distinct index values XL lies above XU; the junctions then stay between the two.
  const long double low = std::min(xl_, xu_), high = std::max(xl_, xu_);
  std::vector<long double> values;
  for (int j = 1; j <= a_; ++j) {
    const long double x = Index(j);
    if (x >= low && x <= high) values.push_back(x);
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  if (values.empty()) values.push_back(low);
  for (long double x : values) breakpoints_.push_back({x, 0});
}

void TSilvaModel::Breakpoints(const long double* /*theta*/, int /*k*/,
                              std::vector<TBreakpoint>& out) const {
  out = breakpoints_;
}

long double TSilvaModel::Index(int j) const {
  return index_[static_cast<std::size_t>(j)];
}

bool TSilvaModel::InConstraint(int c, int p) const {
  const int slot = (p - 1) % 4;  // 0 a(i), 1 b1(i), 2 b2(i), 3 X0(i)
  return p <= 4 * g_ && ((c == 1 && slot == 1) || (c == 2 && slot == 2));
}

long double TSilvaModel::ConstraintValue(int /*c*/) const {
  return g_;
}

TEngineSettings TSilvaModel::Settings() const {
  TEngineSettings s;
  s.finalPass = false;
  s.runningMeanDouble = true;
  s.sumsDouble = true;
  // At the start both slopes are 1, and the modified form's junction column, -b1 or -b2, is the
  // intercept column with its sign changed: the junctions are aliased, and must not move by
  // the partially swept values of their rows. A junction held on a breakpoint is aliased too.
  s.zeroAliasedSteps = true;
  // Gauss-Newton increments for both forms (the default right-hand side J'(y - f)): see the
  // header for why the segmented form does not solve for a new parameter vector.
  //
  // The sum the fit minimizes, the sum of squared residuals, is the one every step compares,
  // at the start and at the trials alike, and the one kept: a step is taken only once its sum
  // has been found lower, and a step no length of which lowers the sum is abandoned.
  s.startSum = s.trialSum = TSumKind::Plain;
  s.floorAction = TFloorAction::Restore;
  s.decrementTolerance = kDecrementTolerance;
  s.projectSteps = true;
  if (variant_ == TSilvaVariant::Segmented) {
    s.lambdaFloor = 1.0L / 4096;  // 2^-12
    s.tolerance = 1e-11L;
  } else {
    s.lambdaFloor = 1e-20L;
    s.tolerance = 1e-13L;
  }
  return s;
}

// Every genotype starts on the line of the classic regression with unit slope (Finlay and
// Wilkinson 1963) through its mean. The segmented form starts each junction at the mean
// environment; the modified form at the genotype's deviation from the mean of the genotypes.
void TSilvaModel::StartValues(long double* theta) const {
  long double sumMeans = 0;
  for (int k = 1; k <= g_; ++k) sumMeans += margins_.MedGen(k);
  for (int i = 1; i <= g_; ++i) {
    theta[junction::A(i)] = margins_.MedGen(i);
    theta[junction::B1(i)] = 1;
    theta[junction::B2(i)] = 1;
    theta[junction::X0(i)] =
        variant_ == TSilvaVariant::Segmented ? 0.0L : margins_.MedGen(i) - sumMeans / g_;
  }
}

namespace {

// A genotype's parameters, read once for a row of cells.
struct TLines {
  long double a, b1, b2, x0;
};

TLines LinesOf(const long double* t, int i) {
  return {t[junction::A(i)], t[junction::B1(i)], t[junction::B2(i)], t[junction::X0(i)]};
}

// The response at index value x. An environment exactly at the junction lies on the lower line
// (Z = 1).
inline long double At(const TLines& l, long double x, TSilvaVariant variant) {
  if (variant == TSilvaVariant::Segmented) {
    return x - l.x0 <= 0 ? l.a + l.b1 * x : l.a + l.b1 * l.x0 + l.b2 * (x - l.x0);
  }
  return x - l.x0 <= 0 ? l.a + l.b1 * (x - l.x0) : l.a + l.b2 * (x - l.x0);
}

}  // namespace

long double TSilvaModel::ModelValue(const long double* t, int i, int j) const {
  return At(LinesOf(t, i), Index(j), variant_);
}

// The cells in the order of the index, so that the side of the junction changes once along the
// row (the values are the same, whatever the order they are formed in).
void TSilvaModel::ModelValues(const long double* t, int i, long double* f) const {
  const TLines lines = LinesOf(t, i);
  for (std::size_t k = 0; k < order_.size(); ++k) f[order_[k]] = At(lines, sorted_[k], variant_);
}

// The cells in the order of j, each side's line chosen by selecting its coefficients rather
// than by a branch (the index is in no order, so the side would be mispredicted half the time):
// f = P + Q (x - Z), with (P, Q, Z) = (a, b1, 0) below the junction and (a + b1 X0, b2, X0) above
// it for the segmented form, (a, b1 or b2, X0) for the modified form -- the operations of
// ModelValue, as x - 0 is x exactly.
long double TSilvaModel::AddSquaredResiduals(const long double* t, int i, const long double* y,
                                             long double s, long double* /*f*/) const {
  const TLines l = LinesOf(t, i);
  const long double zero = 0;
  const bool segmented = variant_ == TSilvaVariant::Segmented;
  const long double join = l.a + l.b1 * l.x0;
  const long double* upperP = segmented ? &join : &l.a;
  const long double* lowerZ = segmented ? &zero : &l.x0;
  for (int j = 1; j <= a_; ++j) {
    const long double x = index_[static_cast<std::size_t>(j)];
    const bool lower = x - l.x0 <= 0;
    const long double* p = lower ? &l.a : upperP;
    const long double* q = lower ? &l.b1 : &l.b2;
    const long double* z = lower ? lowerZ : &l.x0;
    const long double e = y[j - 1] - (*p + *q * (x - *z));
    s += e * e;
  }
  return s;
}

int TSilvaModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  return Row(t, i, j, Index(j) - t[junction::X0(i)] <= 0, row);
}

int TSilvaModel::JacobianRowAbove(const long double* t, int i, int j, TJacEntry* row) const {
  return Row(t, i, j, Index(j) - t[junction::X0(i)] < 0, row);
}

void TSilvaModel::JacobianRows(const long double* t, int i, bool above, TJacEntry* rows,
                               unsigned char* counts) const {
  const long double x0 = t[junction::X0(i)];
  for (int j = 1; j <= a_; ++j) {
    const long double d = Index(j) - x0;
    counts[j - 1] = static_cast<unsigned char>(
        Row(t, i, j, above ? d < 0 : d <= 0,
            rows + static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries));
  }
}

bool TSilvaModel::KnownIndex(std::vector<long double>& index) const {
  index = index_;
  return true;
}

// The rows of Row as u + v x on either side: below the junction the segmented form is a + b1 x,
// with the row (1, x, 0, 0); above it (a + (b1 - b2) X0) + b2 x, with (1, X0, x - X0, b1 - b2).
// The modified form is (a - b1 X0) + b1 x below, with (1, x - X0, 0, -b1), and (a - b2 X0) + b2 x
// above, with (1, 0, x - X0, -b2).
void TSilvaModel::LinePair(const long double* t, int i, TLinePair& out) const {
  const TLines l = LinesOf(t, i);
  out = TLinePair{};
  out.column = junction::A(i);
  out.x0 = l.x0;
  out.b[0] = l.b1;
  out.b[1] = l.b2;
  for (int s = 0; s < 2; ++s) out.u[s][0] = 1;
  out.v[0][1] = 1;
  out.v[1][2] = 1;
  out.u[1][2] = -l.x0;
  if (variant_ == TSilvaVariant::Segmented) {
    out.c[0] = l.a;
    out.c[1] = l.a + (l.b1 - l.b2) * l.x0;
    out.u[1][1] = l.x0;
    out.u[1][3] = l.b1 - l.b2;
  } else {
    out.c[0] = l.a - l.b1 * l.x0;
    out.c[1] = l.a - l.b2 * l.x0;
    out.u[0][1] = -l.x0;
    out.u[0][3] = -l.b1;
    out.u[1][3] = -l.b2;
  }
}

int TSilvaModel::Row(const long double* t, int i, int j, bool lower, TJacEntry* row) const {
  const long double x = Index(j), x0 = t[junction::X0(i)];
  const long double b1 = t[junction::B1(i)], b2 = t[junction::B2(i)];
  row[0] = {junction::A(i), 1.0L};
  if (variant_ == TSilvaVariant::Segmented) {
    // Above the junction the response is a(i) + b1(i) X0(i) + b2(i) (X(j) - X0(i)): the
    // junction moves it by b1(i) - b2(i), and b1(i) acts through X0(i).
    row[1] = {junction::B1(i), lower ? x : x0};
    row[2] = {junction::B2(i), lower ? 0.0L : x - x0};
    row[3] = {junction::X0(i), lower ? 0.0L : b1 - b2};
  } else {
    row[1] = {junction::B1(i), lower ? x - x0 : 0.0L};
    row[2] = {junction::B2(i), lower ? 0.0L : x - x0};
    row[3] = {junction::X0(i), lower ? -b1 : -b2};
  }
  return 4;
}

long double TSilvaModel::ProfileScan(const TGxeMeans& means, const long double* theta,
                                     std::vector<long double>& best) const {
  const auto g = static_cast<std::size_t>(g_);
  std::vector<long double> x0(g + 1), index(static_cast<std::size_t>(a_) + 1);
  for (int j = 1; j <= a_; ++j) index[static_cast<std::size_t>(j)] = Index(j);
  const std::vector<TSortedCells> cells = SortedCellsOf(means, g_, a_, index);
  std::vector<TGenotypeBlock> blocks(g + 1);
  TSlopeSums sums(g_);
  for (int i = 1; i <= g_; ++i) {
    const auto k = static_cast<std::size_t>(i);
    x0[k] =
        std::clamp(theta[junction::X0(i)], breakpoints_.front().value, breakpoints_.back().value);
    blocks[k] = cells[k].Block(x0[k], false);
    if (!blocks[k].Prepare()) return -1;
    sums.Add(blocks[k]);
  }
  long double current = 0;
  if (!sums.SSE(current)) return -1;
  // The cells at or below each breakpoint, the same for every genotype; a crossing inside an
  // interval splits them as the interval's lower end does.
  std::vector<std::size_t> splits(breakpoints_.size());
  for (std::size_t m = 0; m < splits.size(); ++m) splits[m] = cells[1].Split(breakpoints_[m].value);
  // A place's block depends on the genotype's cells alone, not on the other junctions: the
  // blocks formed in the first sweep are kept as their totals (a few numbers each), and the
  // later sweeps only add them to the others'. A crossing moves with the others, and its block
  // is formed each time. At the largest size the checks allow (149 genotypes, 598 places) the
  // places take 29 MB.
  struct TPlace {
    TBlockTotals at;     // the junction on the breakpoint
    TLinesTotals lines;  // the two free lines split there
    bool atSolvable, linesSolvable;
  };
  const std::size_t count = breakpoints_.size();
  const auto places = std::make_unique_for_overwrite<TPlace[]>(g * count);
  std::vector<char> formed(g + 1, 0);
  // The places of genotype k's junction on the breakpoints first .. last - 1 and inside the
  // intervals above them, tried in the order of the index; the first of the lowest sums below
  // `found`, if any, is kept. Each thread forms blocks in its own.
  struct TFound {
    long double sse, x0;
  };
  struct TScratch {
    TGenotypeBlock block{false}, lines{true};
  };
  const auto scan = [&](std::size_t k, std::size_t first, std::size_t last, TScratch& scratch,
                        TFound& found) {
    TGenotypeBlock& block = scratch.block;
    const bool form = !formed[k];
    for (std::size_t m = first; m < last; ++m) {
      TPlace& place = places[(k - 1) * count + m];
      const long double v = breakpoints_[m].value;
      const bool interval = m + 1 < count;
      if (form) {
        cells[k].Fill(splits[m], v, block);
        place.atSolvable = block.Prepare();
        if (place.atSolvable) place.at = block.Totals();
        cells[k].Fill(splits[m], v, scratch.lines);
        place.linesSolvable = interval && scratch.lines.PrepareLines(place.lines);
      }
      long double sse = 0;
      if (place.atSolvable && sums.SSEWith(place.at, sse) && sse < found.sse) found = {sse, v};
      // Inside the interval: the two lines fitted to the cells split there, if they cross in it.
      long double crossing = 0;
      if (place.linesSolvable &&
          sums.Crossing(place.lines, v, breakpoints_[m + 1].value, crossing)) {
        cells[k].Fill(splits[m], crossing, block);
        if (block.Prepare() && sums.SSEWith(block.Totals(), sse) && sse < found.sse) {
          found = {sse, crossing};
        }
      }
    }
  };
  // On a long index a second thread takes the upper half of the breakpoints. Its best replaces
  // the lower half's only when lower, as it would coming later in the order of the index.
  const std::size_t half = count / 2;
  std::size_t shared = 0;
  TScratch mine, others;
  TFound upper{};
  TPartner partner(shareScan_ && count >= kParallelScanBreakpoints,
                   [&]() { scan(shared, half, count, others, upper); });
  for (int sweep = 0; sweep < 50; ++sweep) {
    bool moved = false;
    for (int i = 1; i <= g_; ++i) {
      const auto k = static_cast<std::size_t>(i);
      sums.Remove(blocks[k]);
      TFound found{current, x0[k]};
      if (partner.Running()) {
        shared = k;
        upper = found;
        partner.Start();
        scan(k, 0, half, mine, found);
        if (!partner.Finish()) scan(k, half, count, mine, upper);
        if (upper.sse < found.sse) found = upper;
      } else {
        scan(k, 0, count, mine, found);
      }
      formed[k] = 1;
      if (found.sse < current * (1 - 1e-12L)) {
        x0[k] = found.x0;
        blocks[k] = cells[k].Block(found.x0, false);
        blocks[k].Prepare();
        current = found.sse;
        moved = true;
      }
      sums.Add(blocks[k]);
    }
    if (!moved) break;
  }
  best.assign(static_cast<std::size_t>(Parameters()) + 1, 0.0L);
  for (int i = 1; i <= g_; ++i) {
    const auto k = static_cast<std::size_t>(i);
    long double beta[4];
    sums.Solution(blocks[k], beta);
    // The block's intercept is the segmented form's; the modified form's is the response at the
    // junction.
    best[static_cast<std::size_t>(junction::A(i))] =
        variant_ == TSilvaVariant::Segmented ? beta[0] : beta[0] + beta[1] * x0[k];
    best[static_cast<std::size_t>(junction::B1(i))] = beta[1];
    best[static_cast<std::size_t>(junction::B2(i))] = beta[2];
    best[static_cast<std::size_t>(junction::X0(i))] = x0[k];
  }
  return SumOfSquares(means, best.data());
}

TComputed<TSilvaResult> SilvaCompute(const TGxeMeans& means, const TAnalysisParams& p,
                                     TSilvaVariant variant, TFitStorage& storage, bool scanStart) {
  const long long g = p.g, a = p.a;
  // Four parameters per genotype: the table must hold at least as many means, and the
  // bordered normal matrix must fit the fitting storage.
  if (g * a < 4 * g) return TRefusal::BadParameter(kTooFewCells, TRefusal::TScope::Run);
  if (4 * g + 3 > MaxPar) return TRefusal::BadParameter(kTooManyParameters, TRefusal::TScope::Run);
  // The analysis of variance of the means divides by g - 1; the F ratios and the variances of
  // the estimates by QME and r; the tests need residual degrees of freedom.
  if (TCheck refusal = JointAnovaRefusal(p, 2)) return *refusal;

  ProbStatus status = ProbStatus::Ok;
  TSilvaResult res;
  res.variant = variant;
  res.means = ComputeMeansAnova(means, p, status, true);
  if (TCheck refusal = SegmentedIndexRefusal(means, res.means.margins, p.g, p.a)) return *refusal;
  const TSilvaModel model(res.means.margins, p.g, p.a, variant);
  TFitEngine fit(storage);
  const TScannedFit scanned = FitAndScan(fit, model, means, scanStart);
  const TFitResult& fitted = scanned.result;
  if (!IsFiniteFit(fit)) return TRefusal::OfVariable(kNonFiniteFitCause);

  // The index is known: the model spends an intercept and two slopes per genotype (the
  // junctions are not counted), and the deviations take the rest of the g a - 1 degrees of
  // freedom of the corrected total. Sums of squares in 64 bits.
  const int q = 3 * p.g;
  const int d = p.g * p.a - 1 - q;
  const double T = static_cast<double>(res.means.T);
  const double ssd = p.r * static_cast<double>(fit.SSE());
  const double ssm = T - ssd;
  res.fit.summary = Summarize(fit, fitted, p.r, scanned.scanSSE);
  res.fit.anova = ComputeJunctionFitAnova(q, d, ssm, ssd, p, true, status);
  res.fit.parameters = InterceptSlopeTables(fit, p, {junction::A, junction::B1, junction::B2},
                                            TProbLayout::ByMagnitude, status);
  TParamTable junctions{
      "X0=0",
      "Parâmetro       Estimativa     Erro Padrão     t p/ X0(i)=0          Pr>|t|  ",
      "X0",
      "   X0(",
      ")",
      15,
      TProbLayout::ByMagnitude,
      {}};
  TestEach(junctions, p.g, junction::X0, 0, fit, p, status);
  res.fit.parameters.push_back(std::move(junctions));
  // The covariance labels spell the junction with the letter O.
  res.fit.covariance = TCovarianceMatrix(
      fit, model.Parameters(), p, [](int pos) { return GenotypeParameterLabel(pos, "     XO("); });
  res.fit.fitted = FittedMeans(means, model, fit);
  res.a = Estimates(fit, p.g, junction::A);
  res.b1 = Estimates(fit, p.g, junction::B1);
  res.b2 = Estimates(fit, p.g, junction::B2);
  res.X0 = Estimates(fit, p.g, junction::X0);
  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendSilvaReport(TReport& report, const TSilvaResult& res, char decimalSeparator) {
  AppendModelReport(
      report, res.means,
      {kFitReportFirstLine,
       "segundo  o modelo de Silva, J.G.C.(1998),     Análise  da  adaptabilidade  por",
       "regressão segmentada com estimação da junção dos segmentos, PAB,  v.33,    n.7",
       "p.1013-1029, Brasília, Jul. 1998.", "Modelo:  Y(ij) = a(i)   +     b1(i) X(j) Z(j)   ",
       "                +{b1(i) X0(i) + b2(i) [X(j) - X0(i)]}[1 - Z(j)]} + desvio(ij),",
       "Z(j) = 1 se X(j)-X0i <= 0 ou Z(j) = 0 se X(j)-X0i > 0"},
      res.fit, decimalSeparator);
}

TResultData ResultData(const TSilvaResult& res) {
  return ModelData(res.means, res.fit);
}

bool FiniteResult(const TSilvaResult& res) {
  return FiniteModelData(res.means, res.fit);
}

namespace {

TMethod SilvaVariantMethod(const char* name, TSilvaVariant variant) {
  TMethod m;
  m.name = name;
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kSilvaTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [variant](const TComputeContext& c) {
    return WriteStep(
        SilvaCompute(c.means, c.params, variant, c.fitStorage, c.scanStart),
        [&](const TSilvaResult& r) { AppendSilvaReport(c.report, r, c.decimalSeparator); });
  };
  return m;
}

}  // namespace

TMethod SilvaMethod() {
  return SilvaVariantMethod("silva", TSilvaVariant::Segmented);
}

TMethod SilvaModMethod() {
  return SilvaVariantMethod("silva-mod", TSilvaVariant::Modified);
}

}  // namespace qv

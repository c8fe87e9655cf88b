#include "segmented/silva.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/junctionreport.h"

namespace qv {
namespace {

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

void AppendSilvaFitReport(TReport& report, const TFitEngine& fit, const TSilvaModel& model,
                          const TGxeMeans& means, const TAnalysisParams& p, double T,
                          char decimalSeparator, ProbStatus& status) {
  const int g = p.g;
  report.AppendLine(kFitReportFirstLine);
  report.AppendLine(
      "segundo  o modelo de Silva, J.G.C.(1998),     Análise  da  adaptabilidade  por");
  report.AppendLine(
      "regressão segmentada com estimação da junção dos segmentos, PAB,  v.33,    n.7");
  report.AppendLine("p.1013-1029, Brasília, Jul. 1998.");
  report.AppendLine("Modelo:  Y(ij) = a(i)   +     b1(i) X(j) Z(j)   ");
  report.AppendLine(
      "                +{b1(i) X0(i) + b2(i) [X(j) - X0(i)]}[1 - Z(j)]} + desvio(ij),");
  report.AppendLine("Z(j) = 1 se X(j)-X0i <= 0 ou Z(j) = 0 se X(j)-X0i > 0");
  report.AppendBlankLines(1);
  report.AppendSeparator();
  report.AppendLine("Número de iterações:   " + General(fit.Pass(), decimalSeparator));

  // The index is known: the model spends an intercept and two slopes per genotype (the
  // junctions are not counted), and the deviations take the rest of the g a - 1 degrees of
  // freedom of the corrected total. Sums of squares in 64 bits.
  const int q = 3 * g;
  const int d = g * p.a - 1 - q;
  const double ssd = p.r * static_cast<double>(fit.SSE());
  const double ssm = T - ssd;
  AppendJunctionFitAnova(report, q, d, ssm, ssd, p, true, status);
  report.AppendBlankLines(2);

  AppendInterceptSlopeTables(report, fit, p, TProbLayout::ByMagnitude, status);
  AppendTableHead(
      report, {"Parâmetro       Estimativa     Erro Padrão     t p/ X0(i)=0          Pr>|t|  "});
  for (int i = 1; i <= g; ++i) {
    const int k = junction::X0(i);
    report.AppendLine(ParameterRowText("   X0(" + Int(i, 3) + ") ", fit.Theta(k), 15,
                                       TestParameter(fit, k, 0, p, status),
                                       TProbLayout::ByMagnitude));
  }
  AppendTableEnd(report);

  // The covariance labels spell the junction with the letter O.
  AppendCovarianceMatrix(
      report, fit, model.Parameters(),
      [](int pos) { return GenotypeParameterLabel(pos, "     XO("); }, p);
  AppendObservedAndFitted(report, means, p,
                          [&](int i, int j) { return model.ModelValue(fit.ThetaData(), i, j); });
  AppendGenotypeMeans(report, means, p);
  AppendEnvironmentMeans(report, means, p);
}

}  // namespace

TSilvaModel::TSilvaModel(const TGxeMeans& means, int g, int a, TSilvaVariant variant)
    : TMeansModel(means, g, a), variant_(variant) {
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
}

long double TSilvaModel::Index(int j) const {
  return means_.MedAmb(j) - means_.MediaGeral;
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
  // the partially swept values of their rows.
  s.zeroAliasedSteps = true;
  // Gauss-Newton increments for both forms (the default right-hand side J'(y - f)): see the
  // header for why the segmented form does not solve for a new parameter vector.
  if (variant_ == TSilvaVariant::Segmented) {
    s.lambdaFloor = 1.0L / 4096;  // 2^-12
    s.floorAction = TFloorAction::Restore;
    s.tolerance = 1e-11L;
  } else {
    s.trialSum = TSumKind::Plain;
    s.lambdaFloor = 1e-20L;
    s.floorAction = TFloorAction::WholeStep;
    s.tolerance = 1e-13L;
  }
  return s;
}

// Every genotype starts on the line of the classic regression with unit slope (Finlay and
// Wilkinson 1963) through its mean. The segmented form starts each junction at the mean
// environment; the modified form at the genotype's deviation from the mean of the genotypes.
void TSilvaModel::StartValues(long double* theta) const {
  long double sumMeans = 0;
  for (int k = 1; k <= g_; ++k) sumMeans += means_.MedGen(k);
  for (int i = 1; i <= g_; ++i) {
    theta[junction::A(i)] = means_.MedGen(i);
    theta[junction::B1(i)] = 1;
    theta[junction::B2(i)] = 1;
    theta[junction::X0(i)] =
        variant_ == TSilvaVariant::Segmented ? 0.0L : means_.MedGen(i) - sumMeans / g_;
  }
}

// An environment exactly at the junction lies on the lower line (Z = 1).
long double TSilvaModel::ModelValue(const long double* t, int i, int j) const {
  const long double x = Index(j), x0 = t[junction::X0(i)];
  const long double a = t[junction::A(i)], b1 = t[junction::B1(i)], b2 = t[junction::B2(i)];
  if (variant_ == TSilvaVariant::Segmented) {
    return x - x0 <= 0 ? a + b1 * x : a + b1 * x0 + b2 * (x - x0);
  }
  return x - x0 <= 0 ? a + b1 * (x - x0) : a + b2 * (x - x0);
}

int TSilvaModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  const long double x = Index(j), x0 = t[junction::X0(i)];
  const long double b1 = t[junction::B1(i)], b2 = t[junction::B2(i)];
  const bool lower = x - x0 <= 0;
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

void TSilvaModel::AdjustTrialPoint(long double* t) const {
  if (variant_ != TSilvaVariant::Segmented) return;
  for (int i = 1; i <= g_; ++i) {
    long double& x0 = t[junction::X0(i)];
    if (x0 >= xu_) {
      x0 = 0.95L * xu_;
    } else if (x0 <= xl_) {
      x0 = 0.95L * xl_;
    }
  }
}

TStepResult SilvaCompute(TGxeMeans& means, const TAnalysisParams& p, TReport& report,
                         TSilvaVariant variant, TSilvaState& state) {
  const long long g = p.g, a = p.a;
  // Four parameters per genotype: the table must hold at least as many means, and the
  // bordered normal matrix must fit the fitting storage.
  if (g * a < 4 * g) return TStepResult::Abandon(kTooFewCells);
  if (4 * g + 3 > MaxPar) return TStepResult::Abandon(kTooManyParameters);
  // The analysis of variance of the means divides by g - 1; the F ratios and the variances of
  // the estimates by QME and r; the tests need residual degrees of freedom.
  const std::string refusal = JointAnovaRefusal(p, 2);
  if (!refusal.empty()) return TStepResult::Refuse(refusal);

  const TMeansAnova anova = ComputeMeansAnova(means, p, true);
  const TSilvaModel model(means, p.g, p.a, variant);
  state.fit.FitModel(model, means);
  if (!IsFiniteFit(state.fit)) {
    return TStepResult::Refuse(kNonFiniteFitCause);
  }

  TReport block;
  block.AppendSeparator();
  ProbStatus status = ProbStatus::Ok;
  AppendMeansAnova(block, anova, means, p, state.decimalSeparator, status);
  AppendSilvaFitReport(block, state.fit, model, means, p, static_cast<double>(anova.T),
                       state.decimalSeparator, status);
  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(block.Text());
  return TStepResult::Done();
}

TStepResult SilvaCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
  TSilvaState state;
  return SilvaCompute(means, params, report, TSilvaVariant::Segmented, state);
}

TStepResult SilvaModCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
  TSilvaState state;
  return SilvaCompute(means, params, report, TSilvaVariant::Modified, state);
}

namespace {

TMethod SilvaVariantMethod(const char* name, TSilvaVariant variant,
                           std::shared_ptr<TSilvaState> state) {
  if (!state) state = std::make_shared<TSilvaState>();
  TMethod m;
  m.name = name;
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kSilvaTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [state, variant](TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
    return SilvaCompute(means, params, report, variant, *state);
  };
  // The user opens the report from the reports menu.
  m.end = RunEnd::Nothing;
  return m;
}

TRunOutcome RunWithBusyCursor(const TMethod& method, TSession& session, THost& host) {
  host.SetBusyCursor(true);
  const TRunOutcome out = RunAnalysis(method, session, host);
  host.SetBusyCursor(false);
  return out;
}

TRunOutcome RunVariant(const char* name, TSilvaVariant variant, TSession& session, THost& host) {
  auto state = std::make_shared<TSilvaState>();
  state->decimalSeparator = session.decimalSeparator;
  return RunWithBusyCursor(SilvaVariantMethod(name, variant, state), session, host);
}

}  // namespace

TMethod SilvaMethod(std::shared_ptr<TSilvaState> state) {
  return SilvaVariantMethod("silva", TSilvaVariant::Segmented, std::move(state));
}

TMethod SilvaModMethod(std::shared_ptr<TSilvaState> state) {
  return SilvaVariantMethod("silva-mod", TSilvaVariant::Modified, std::move(state));
}

TRunOutcome SilvaRun(TSession& session, THost& host) {
  return RunVariant("silva", TSilvaVariant::Segmented, session, host);
}

TRunOutcome SilvaModRun(TSession& session, THost& host) {
  return RunVariant("silva-mod", TSilvaVariant::Modified, session, host);
}

}  // namespace qv

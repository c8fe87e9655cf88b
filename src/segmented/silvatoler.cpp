#include "segmented/silvatoler.h"

#include <cmath>
#include <string>
#include <utility>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/junctionreport.h"
#include "segmented/toler.h"

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

void AppendSilvaTolerFitReport(TReport& report, const TFitEngine& fit,
                               const TSilvaTolerModel& model, const TGxeMeans& means,
                               const TAnalysisParams& p, long double T, char decimalSeparator,
                               ProbStatus& status) {
  const int g = p.g, a = p.a;
  report.AppendLine(kFitReportFirstLine);
  report.AppendLine("segundo  o modelo de Toler, J.E.(1990) e Silva ");
  report.AppendLine(
      "Modelo: Y(ij) = a(i) + {b1(i) Z(j) + b2(i) [1 - Z(j)]} * [U(j)-U0(i)] + desvio(ij),");
  report.AppendLine("Z(j) = 1 se U(j)-U0(i) <= 0 ou Z(j) = 0 se U(j)-U0(i) > 0");
  report.AppendBlankLines(1);
  report.AppendSeparator();
  report.AppendLine("Número de iterações:   " + General(fit.Pass(), decimalSeparator));

  // The model counts every parameter but the slopes' scale: intercepts, both slopes and the
  // junction of each genotype, and the index, q = 4g + a. At the limit of the size check the
  // deviations have 0 or -1 degrees of freedom.
  const int q = 4 * g + a;
  const int d = g * a - 1 - q;
  const long double ssd = p.r * fit.SSE();
  const long double ssm = T - ssd;
  AppendJunctionFitAnova(report, q, d, ssm, ssd, p, false, status);
  report.AppendBlankLines(2);

  AppendInterceptSlopeTables(report, fit, p, TProbLayout::Fixed, status);
  AppendTableHead(report,
                  {"Parâmetro       Estimativa     Erro Padrão     t p/ U0(j)=0        Pr>|t|  "});
  for (int i = 1; i <= g; ++i) {
    const int k = junction::X0(i);
    report.AppendLine(ParameterRowText("U0(" + Int(i, 3) + ")   " + " ", fit.Theta(k), 16,
                                       TestParameter(fit, k, 0, p, status)));
  }
  AppendTableEnd(report);
  AppendTableHead(report,
                  {"Parâmetro       Estimativa     Erro Padrão     t p/ U(j)=0         Pr>|t|  "});
  for (int j = 1; j <= a; ++j) {
    const int k = 4 * g + j;
    report.AppendLine(ParameterRowText("U(" + Int(j, 3) + ")    " + " ", fit.Theta(k), 16,
                                       TestParameter(fit, k, 0, p, status)));
  }
  AppendTableEnd(report);

  // The labels of the index are not padded: they shift the rest of their line.
  AppendCovarianceMatrix(
      report, fit, model.Parameters(),
      [g](int pos) {
        return pos > 4 * g ? "     U(" + Int(pos - 4 * g, 0) + ")"
                           : GenotypeParameterLabel(pos, "     U0(");
      },
      p);
  AppendObservedAndFitted(report, means, p,
                          [&](int i, int j) { return model.ModelValue(fit.ThetaData(), i, j); });
  AppendGenotypeMeans(report, means, p);
  AppendEnvironmentMeans(report, means, p);
}

}  // namespace

bool TSilvaTolerModel::InConstraint(int c, int p) const {
  if (c == 4) return p > 4 * g_;
  // Constraints 1, 2 and 3 take the b1(i), b2(i) and U0(i): slots 1, 2 and 3 of a genotype.
  return p <= 4 * g_ && (p - 1) % 4 == c;
}

// The step control, convergence test and final pass of Toler's model.
TEngineSettings TSilvaTolerModel::Settings() const {
  TEngineSettings s;
  s.lambdaFloor = 1e-13L;
  s.floorInclusive = false;
  s.tolerance = 1e-13L;
  s.finalPass = true;
  return s;
}

// Toler's start (genotype means, unit slopes, the classic index) with every junction at the
// mean environment.
void TSilvaTolerModel::StartValues(long double* theta) const {
  for (int i = 1; i <= g_; ++i) {
    theta[junction::A(i)] = means_.MedGen(i);
    theta[junction::B1(i)] = 1;
    theta[junction::B2(i)] = 1;
    theta[junction::X0(i)] = 0;
  }
  for (int j = 1; j <= a_; ++j) theta[4 * g_ + j] = means_.MedAmb(j) - means_.MediaGeral;
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
  const long double d = t[4 * g_ + j] - t[junction::X0(i)];
  const bool lower = d <= 0;
  const long double s = lower ? t[junction::B1(i)] : t[junction::B2(i)];
  row[0] = {junction::A(i), 1.0L};
  row[1] = {junction::B1(i), lower ? d : 0.0L};
  row[2] = {junction::B2(i), lower ? 0.0L : d};
  row[3] = {junction::X0(i), -s};
  row[4] = {4 * g_ + j, s};
  return 5;
}

TStepResult SilvaTolerCompute(TGxeMeans& means, const TAnalysisParams& p, TReport& report,
                              TSilvaTolerState& state) {
  const long long g = p.g, a = p.a;
  // 4g + a parameters under 4 constraints: the table must hold at least as many means, and the
  // bordered normal matrix must fit the fitting storage.
  if (g * a < 4 * g + a) return TStepResult::Abandon(kTooFewCells);
  if (4 * g + a + 4 > MaxPar) return TStepResult::Abandon(kTooManyParameters);
  const std::string refusal = JointAnovaRefusal(p, 2);
  if (!refusal.empty()) return TStepResult::Refuse(refusal);

  const TMeansAnova anova = ComputeMeansAnova(means, p);
  const TSilvaTolerModel model(means, p.g, p.a);
  state.fit.FitModel(model, means);
  if (!IsFiniteFit(state.fit)) {
    return TStepResult::Refuse(kNonFiniteFitCause);
  }

  TReport block;
  block.AppendSeparator();
  ProbStatus status = ProbStatus::Ok;
  AppendMeansAnova(block, anova, means, p, state.decimalSeparator, status);
  AppendSilvaTolerFitReport(block, state.fit, model, means, p, anova.T, state.decimalSeparator,
                            status);
  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(block.Text());
  state.T = anova.T;
  return TStepResult::Done();
}

TStepResult SilvaTolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
  TSilvaTolerState state;
  return SilvaTolerCompute(means, params, report, state);
}

TMethod SilvaTolerMethod(std::shared_ptr<TSilvaTolerState> state) {
  if (!state) state = std::make_shared<TSilvaTolerState>();
  TMethod m;
  m.name = "silva-toler";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kTolerTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [state](TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
    return SilvaTolerCompute(means, params, report, *state);
  };
  // The user opens the report from the reports menu.
  m.end = RunEnd::Nothing;
  return m;
}

TRunOutcome SilvaTolerRun(TSession& session, THost& host) {
  auto state = std::make_shared<TSilvaTolerState>();
  state->decimalSeparator = session.decimalSeparator;
  host.SetBusyCursor(true);
  const TRunOutcome out = RunAnalysis(SilvaTolerMethod(std::move(state)), session, host);
  host.SetBusyCursor(false);
  return out;
}

}  // namespace qv

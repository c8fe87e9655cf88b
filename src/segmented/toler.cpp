#include "segmented/toler.h"

#include <algorithm>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"

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

void AppendTolerFitReport(TReport& report, const TFitEngine& fit, const TTolerModel& model,
                          const TGxeMeans& means, const TAnalysisParams& p, long double T,
                          char decimalSeparator, ProbStatus& status) {
  const int g = p.g, a = p.a;
  report.AppendLine(
      "Resultado da regressão não-linear e  estimativas de parâmetros de quorvandelia");
  report.AppendLine(
      "segundo  o modelo de Toler, J.E.(1990), Patterns of Genotypic performance over");
  report.AppendLine("environmental arrays , PhD thesis, Clemson University, 154p.");
  report.AppendLine(
      "Modelo:  Y(ij) = a(i) + {b1(i) Z(j) + b2(i) [1 - Z(j)]} * U(j)  +  desvio(ij),");
  report.AppendLine("Z(j) = 1 se U(j) <= 0 ou Z(j) = 0 se U(j) > 0");
  report.AppendBlankLines(1);
  report.AppendSeparator();
  report.AppendLine("Número de iterações:   " + General(fit.Pass(), decimalSeparator));

  // The fit's model takes the genotype intercepts and both slopes besides the index: q = 2g + a
  // degrees of freedom; the deviations from it, measured on the plot scale, the rest of the
  // g a - 1 of the corrected total.
  const int q = 2 * g + a;
  const int d = g * a - 1 - q;
  const long double ssd = p.r * fit.SSE();
  const long double ssm = T - ssd;
  AppendFitAnova(report, q, d, ssm, ssd, p, status);
  report.AppendBlankLines(2);

  const auto pa = [](int i) { return 3 * (i - 1) + 1; };
  const auto pb1 = [](int i) { return 3 * (i - 1) + 2; };
  const auto pb2 = [](int i) { return 3 * (i - 1) + 3; };
  const auto label = [](const char* prefix, int k, const char* suffix) {
    return std::string(prefix) + Int(k, 3) + suffix + " ";
  };

  AppendTableHead(
      report, {"Parâmetro       Estimativa     Erro Padrão     t p/ a(i)=0          Pr>|t|    "});
  for (int i = 1; i <= g; ++i) {
    report.AppendLine(ParameterRowText(label("a(", i, ")   "), fit.Theta(pa(i)), 16,
                                       TestParameter(fit, pa(i), 0, p, status)));
  }
  AppendTableEnd(report);

  struct Slopes {
    const char* header;
    const char* prefix;
    int (*position)(int);
    long double h;
  };
  const Slopes slopes[] = {
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=0          Pr>|t|  ", "b1(",
       +[](int i) { return 3 * (i - 1) + 2; }, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=1          Pr>|t|  ", "b1(",
       +[](int i) { return 3 * (i - 1) + 2; }, 1},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=0          Pr>|t|  ", "b2(",
       +[](int i) { return 3 * (i - 1) + 3; }, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=1          Pr>|t|  ", "b2(",
       +[](int i) { return 3 * (i - 1) + 3; }, 1},
  };
  for (const Slopes& s : slopes) {
    AppendTableHead(report, {s.header});
    for (int i = 1; i <= g; ++i) {
      report.AppendLine(ParameterRowText(label(s.prefix, i, ")  "), fit.Theta(s.position(i)), 16,
                                         TestParameter(fit, s.position(i), s.h, p, status)));
    }
    AppendTableEnd(report);
  }

  AppendTableHead(
      report, {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=b2(i)      Pr>|t|  "});
  for (int i = 1; i <= g; ++i) {
    report.AppendLine(ParameterRowText(label("b2-b1(", i, ")"),
                                       fit.Theta(pb2(i)) - fit.Theta(pb1(i)), 15,
                                       TestDifference(fit, pb1(i), pb2(i), p, status)));
  }
  AppendTableEnd(report);

  AppendTableHead(report,
                  {"Parâmetro       Estimativa     Erro Padrão     t p/ U(j)=0         Pr>|t|  "});
  for (int j = 1; j <= a; ++j) {
    report.AppendLine(ParameterRowText(label("U(", j, ")    "), fit.Theta(3 * g + j), 16,
                                       TestParameter(fit, 3 * g + j, 0, p, status)));
  }
  AppendTableEnd(report);

  AppendCovarianceMatrix(
      report, fit, model.Parameters(),
      [g](int pos) {
        if (pos > 3 * g) return "     U(" + Int(pos - 3 * g, 4) + ")";
        const char* prefix[] = {"      a(", "     b1(", "     b2("};
        return prefix[(pos - 1) % 3] + Int((pos - 1) / 3 + 1, 3) + ")";
      },
      p);
  AppendObservedAndFitted(report, means, p,
                          [&](int i, int j) { return model.ModelValue(fit.ThetaData(), i, j); });
  AppendGenotypeMeans(report, means, p);
  AppendEnvironmentMeans(report, means, p);
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
    theta[3 * (i - 1) + 1] = means_.MedGen(i);
    theta[3 * (i - 1) + 2] = 1;
    theta[3 * (i - 1) + 3] = 1;
  }
  for (int j = 1; j <= a_; ++j) theta[3 * g_ + j] = means_.MedAmb(j) - means_.MediaGeral;
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

TStepResult TolerCompute(TGxeMeans& means, const TAnalysisParams& p, TReport& report,
                         TTolerState& state) {
  state.lastReported = false;
  const long long g = p.g, a = p.a;
  // The model has 3g + a parameters under 3 constraints: the table must hold at least as many
  // means, and the bordered normal matrix must fit the fitting storage.
  if (g * a < 3 * g + a) return TStepResult::Abandon(kTooFewCells);
  if (3 * g + a + 3 > MaxPar) return TStepResult::Abandon(kTooManyParameters);
  // The F ratios and the variances of the estimates divide by QME and r, and the tests need
  // residual degrees of freedom.
  const std::string refusal = JointAnovaRefusal(p, 2);
  if (!refusal.empty()) return TStepResult::Refuse(refusal);

  const TMeansAnova anova = ComputeMeansAnova(means, p);
  TReport block;
  block.AppendSeparator();
  const TTolerModel model(means, p.g, p.a);
  state.fit.FitModel(model, means);
  if (!IsFiniteFit(state.fit)) {
    return TStepResult::Refuse(kNonFiniteFitCause);
  }
  ProbStatus status = ProbStatus::Ok;
  AppendMeansAnova(block, anova, means, p, state.decimalSeparator, status);
  AppendTolerFitReport(block, state.fit, model, means, p, anova.T, state.decimalSeparator, status);
  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));

  report.Append(block.Text());
  state.T = anova.T;
  state.lastReported = true;
  return TStepResult::Done();
}

TStepResult TolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
  TTolerState state;
  return TolerCompute(means, params, report, state);
}

TMethod TolerMethod(std::shared_ptr<TTolerState> state) {
  if (!state) state = std::make_shared<TTolerState>();
  TMethod m;
  m.name = "toler";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kTolerTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [state](TGxeMeans& means, const TAnalysisParams& params, TReport& report) {
    return TolerCompute(means, params, report, *state);
  };
  // The report window is shown by the simple linear model that follows the run.
  m.end = RunEnd::Nothing;
  return m;
}

}  // namespace qv

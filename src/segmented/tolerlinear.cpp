#include "segmented/tolerlinear.h"

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"

namespace qv {

bool TTolerLinearModel::InConstraint(int c, int p) const {
  switch (c) {
    case 1:
      return p <= 2 * g_ && (p - 1) % 2 == 1;  // b(i)
    case 2:
      return p > 2 * g_;  // U(j)
  }
  return false;
}

TEngineSettings TTolerLinearModel::Settings() const {
  TEngineSettings s;
  s.lambdaFloor = 1e-9L;
  s.floorInclusive = true;
  s.tolerance = 1e-15L;
  s.finalPass = true;
  s.runningMeanDouble = true;
  return s;
}

void TTolerLinearModel::StartValues(long double* theta) const {
  for (int i = 1; i <= g_; ++i) {
    theta[2 * (i - 1) + 1] = means_.MedGen(i);
    theta[2 * (i - 1) + 2] = 1;
  }
  for (int j = 1; j <= a_; ++j) theta[2 * g_ + j] = means_.MedAmb(j) - means_.MediaGeral;
}

long double TTolerLinearModel::ModelValue(const long double* t, int i, int j) const {
  return t[2 * (i - 1) + 1] + t[2 * (i - 1) + 2] * t[2 * g_ + j];
}

int TTolerLinearModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  const int base = 2 * (i - 1);
  row[0] = {base + 1, 1.0L};
  row[1] = {base + 2, t[2 * g_ + j]};
  row[2] = {2 * g_ + j, t[base + 2]};
  return 3;
}

TStepResult TolerSimpleCompute(const TGxeMeans& means, const TAnalysisParams& p, TReport& report,
                               TFitEngine& fit, long double T, char decimalSeparator) {
  const int g = p.g, a = p.a;
  const TTolerLinearModel model(means, g, a);
  fit.FitModel(model, means);

  TReport block;
  ProbStatus status = ProbStatus::Ok;
  block.AppendBlankLines(3);
  block.AppendLine(
      "Resultado da regressão não-linear e  estimativas de parâmetros de quorvandelia");
  block.AppendLine(
      "segundo o modelo linear simples de Toler: Y(ij) = a(i) + b(i)*U(j)+ desvio(ij)");
  block.AppendSeparator();
  block.AppendLine("Número de iterações:   " + General(fit.Pass(), decimalSeparator));

  // One slope per genotype: q = g + a degrees of freedom for the model.
  const int q = g + a;
  const int d = g * a - 1 - q;
  const double ssd = static_cast<double>(p.r * fit.SSE());
  const double ssm = static_cast<double>(T - ssd);
  AppendFitAnova(block, q, d, ssm, ssd, p, status, true);
  block.AppendBlankLines(2);

  const auto label = [](const char* prefix, int k, const char* suffix) {
    return std::string(prefix) + Int(k, 3) + suffix + " ";
  };
  struct Table {
    const char* header;
    const char* prefix;
    const char* suffix;
    int offset;  // position of the genotype's parameter within its pair, 0 for the index
    long double h;
  };
  const Table tables[] = {
      {"Parâmetro       Estimativa     Erro Padrão     t p/ a(i)=0          Pr>|t|    ", "a(",
       ")   ", 1, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/  b(i)=0          Pr>|t|  ", "b(",
       ")   ", 2, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/  b(i)=1          Pr>|t|  ", "b(",
       ")   ", 2, 1},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ U(j)=0         Pr>|t|  ", "U(", ")    ",
       0, 0},
  };
  for (const Table& t : tables) {
    AppendTableHead(block, {t.header});
    const int rows = t.offset == 0 ? a : g;
    for (int k = 1; k <= rows; ++k) {
      const int pos = t.offset == 0 ? 2 * g + k : 2 * (k - 1) + t.offset;
      block.AppendLine(ParameterRowText(label(t.prefix, k, t.suffix), fit.Theta(pos), 16,
                                        TestParameter(fit, pos, t.h, p, status)));
    }
    AppendTableEnd(block);
  }

  AppendCovarianceMatrix(
      block, fit, model.Parameters(),
      [g](int pos) {
        if (pos > 2 * g) return "     U(" + Int(pos - 2 * g, 4) + ")";
        return ((pos - 1) % 2 == 0 ? "      a(" : "      b(") + Int((pos - 1) / 2 + 1, 3) + ")";
      },
      p);
  AppendObservedAndFitted(block, means, p,
                          [&](int i, int j) { return model.ModelValue(fit.ThetaData(), i, j); });
  AppendGenotypeMeans(block, means, p);
  AppendEnvironmentMeans(block, means, p);

  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(block.Text());
  return TStepResult::Done();
}

}  // namespace qv

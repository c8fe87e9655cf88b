#include "segmented/silvatoler.h"

#include <cmath>
#include <string>
#include <utility>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/indexcheck.h"
#include "segmented/junctionreport.h"
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

TComputed<TSilvaTolerResult> SilvaTolerCompute(const TGxeMeans& means, const TAnalysisParams& p,
                                               TFitStorage& storage) {
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
  const TFitResult fitted = fit.FitModel(model, means);
  if (!IsFiniteFit(fit)) return TRefusal::OfVariable(kNonFiniteFitCause);

  // The model counts every parameter but the slopes' scale: intercepts, both slopes and the
  // junction of each genotype, and the index, q = 4g + a. At the limit of the size check the
  // deviations have 0 or -1 degrees of freedom.
  const int q = 4 * p.g + p.a;
  const int d = p.g * p.a - 1 - q;
  const long double ssd = p.r * fit.SSE();
  const long double ssm = res.means.T - ssd;
  res.fit.summary = Summarize(fit, fitted);
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

TMethod SilvaTolerMethod() {
  TMethod m;
  m.name = "silva-toler";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = kTolerTitleLine;
  m.accumulatesMediaGeral = true;
  m.compute = [](const TComputeContext& c) {
    return WriteStep(SilvaTolerCompute(c.means, c.params, c.fitStorage),
                     [&](const TSilvaTolerResult& r) {
                       AppendSilvaTolerReport(c.report, r, c.decimalSeparator);
                     });
  };
  return m;
}

}  // namespace qv

#include "methods/finlay.h"

#include <string>
#include <vector>

namespace qv {

TComputed<TFinlayResult> FinlayCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  // A slope needs three environments to leave a deviation, and the tests need QME and gle.
  if (TCheck refusal = JointAnovaRefusal(p, 3)) return *refusal;
  if (TCheck refusal = ScaleRefusal(m, p.g, p.a)) return *refusal;
  TFinlayResult res;
  res.anova = ComputeJointAnova(m, p);
  const TJointAnova& an = res.anova;
  if (TCheck refusal = IndexRefusal(an, p)) return *refusal;
  res.within = ComputeWithinGenotype(m, p, an);

  ProbStatus status = ProbStatus::Ok;
  res.slopes = ComputeSlopeTable(an, p, status);

  const int g = p.g, a = p.a;
  const double ssgal = an.SSGAL();
  const double msDev = static_cast<double>((static_cast<long double>(an.SSGA) - ssgal) /
                                           (static_cast<long double>(a - 2) * (g - 1)));
  res.summary.titleLines = {std::string(kAnovaTitle),
                            "da interação genótipos x ambientes (Finlay e Wilknson,1963)"};
  res.summary.rows = MainEffectRows(g, a, an.MSG, an.MSA, an.MSGA, p, false, status);
  res.summary.rows.push_back(JointRow("GA Linear       ", g - 1,
                                      static_cast<double>(ssgal / (g - 1.0L)), p, kPFloorMain,
                                      false, status));
  res.summary.rows.push_back(
      JointRow("GA:Desv.Combin. ", (a - 2) * (g - 1), msDev, p, kPFloorDeviation, false, status));

  res.summary.gle = p.gle;
  res.summary.QME = p.QME;
  TestWithinGenotype(res.within, p, false, status);

  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendFinlayReport(TReport& report, const TFinlayResult& res) {
  AppendSlopeTable(report, res.slopes);
  report.AppendBlankLines(3);
  AppendAnovaTable(report, res.summary);
  report.AppendBlankLines(2);
  AppendAnovaTable(report, res.within.table);
  report.AppendBlankLines(2);
  AppendEnvironmentTable(report, res.anova);
}

TResultData ResultData(const TFinlayResult& res) {
  TResultData data;
  data.tables = SlopeResultTables(res.slopes);
  data.tables.push_back(AnovaResultTable("joint_anova", res.summary));
  data.tables.push_back(AnovaResultTable("within_genotype", res.within.table));
  data.tables.push_back(EnvironmentResultTable(res.anova));
  return data;
}

TMethod FinlayMethod() {
  TMethod m;
  m.name = "finlay";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de acordo com o modelo de Finlay e Wilkinson (1963)\r\n";
  m.beforeVariableLine =
      "AVISO: É de responsabilidade do usuário efetuar a transformação logarítmica\r\n"
      "Uma vez que o Programa Trabalha com as médias e não é possível obter \r\n"
      "a estimativa da variância residual com a transformação das médias!\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(FinlayCompute(c.means, c.params),
                     [&](const TFinlayResult& r) { AppendFinlayReport(c.report, r); });
  };
  return m;
}

}  // namespace qv

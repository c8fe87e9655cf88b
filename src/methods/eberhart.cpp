#include "methods/eberhart.h"

#include <string>
#include <vector>

namespace qv {

TComputed<TEberhartResult> EberhartCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  // A regression needs three environments to leave a deviation, and the tests need QME and gle.
  if (TCheck refusal = JointAnovaRefusal(p, 3)) return *refusal;
  if (TCheck refusal = ScaleRefusal(m, p.g, p.a)) return *refusal;
  TEberhartResult res;
  res.anova = ComputeJointAnova(m, p);
  const TJointAnova& an = res.anova;
  if (TCheck refusal = IndexRefusal(an, p)) return *refusal;
  res.within = ComputeWithinGenotype(m, p, an);

  const int g = p.g, a = p.a;
  // Pooled deviations from the genotypes' regressions, g (a - 2) degrees of freedom.
  double sumSSD = 0;
  for (int i = 1; i <= g; ++i) sumSSD = static_cast<double>(sumSSD + res.within.SSD(i));
  const double msPooled = static_cast<double>(sumSSD / (static_cast<long double>(g) * (a - 2)));

  ProbStatus status = ProbStatus::Ok;
  res.slopes = ComputeSlopeTable(an, p, status);
  res.summary.titleLines = {std::string(kAnovaTitle),
                            "da interação genótipos x ambientes (Eberhart e Russell,1966)"};
  res.summary.rows = MainEffectRows(g, a, an.MSG, an.MSA, an.MSGA, p, false, status);
  // The whole environment sum of squares is its linear part on the index, 1 df.
  res.summary.rows.push_back(
      JointRow("Ambiente linear ", 1, an.SSA, p, kPFloorMain, false, status));
  res.summary.rows.push_back(JointRow("GA Linear       ", g - 1,
                                      static_cast<double>(an.SSGAL() / (g - 1.0L)), p, kPFloorMain,
                                      false, status));
  res.summary.rows.push_back(
      JointRow("A/G: Desv.Comb. ", (a - 2) * g, msPooled, p, kPFloorDeviation, false, status));
  res.summary.gle = p.gle;
  res.summary.QME = p.QME;
  TestWithinGenotype(res.within, p, false, status);
  res.deviations = ComputeDeviationVariance(res.within, p);

  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendEberhartReport(TReport& report, const TEberhartResult& res) {
  AppendSlopeTable(report, res.slopes);
  report.AppendBlankLines(3);
  AppendAnovaTable(report, res.summary);
  report.AppendBlankLines(2);
  AppendAnovaTable(report, res.within.table);
  report.AppendBlankLines(3);
  AppendDeviationVarianceTable(report, res.deviations);
  AppendEnvironmentTable(report, res.anova);
}

TResultData ResultData(const TEberhartResult& res) {
  TResultData data;
  data.tables = SlopeResultTables(res.slopes);
  data.tables.push_back(AnovaResultTable("joint_anova", res.summary));
  data.tables.push_back(AnovaResultTable("within_genotype", res.within.table));
  data.tables.push_back(DeviationVarianceResultTable(res.deviations));
  data.tables.push_back(EnvironmentResultTable(res.anova));
  return data;
}

TMethod EberhartMethod() {
  TMethod m;
  m.name = "eberhart";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de acordo com o modelo de Eberhart e Russell (1966)\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(EberhartCompute(c.means, c.params),
                     [&](const TEberhartResult& r) { AppendEberhartReport(c.report, r); });
  };
  return m;
}

}  // namespace qv

#include "methods/eberhart.h"

#include "analysis/jointanova.h"
#include "analysis/regressiontables.h"

namespace qv {

TStepResult EberhartCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  // A regression needs three environments to leave a deviation, and the tests need QME and gle.
  if (auto cause = JointAnovaRefusal(p, 3); !cause.empty()) return TStepResult::Refuse(cause);
  const TJointAnova an = ComputeJointAnova(m, p);
  if (auto cause = IndexRefusal(m, p, an); !cause.empty()) return TStepResult::Refuse(cause);
  const TWithinGenotype within = ComputeWithinGenotype(m, p, an);

  const int g = p.g, a = p.a;
  // Pooled deviations from the genotypes' regressions, g (a - 2) degrees of freedom.
  double sumSSD = 0;
  for (int i = 1; i <= g; ++i) sumSSD = static_cast<double>(sumSSD + within.SSD(i));
  const double msPooled = static_cast<double>(sumSSD / (static_cast<long double>(g) * (a - 2)));

  // The variable's tables are formed apart and appended whole, so that a failed test refuses
  // the variable without leaving half its tables in the report.
  TReport out;
  ProbStatus status = ProbStatus::Ok;
  AppendSlopeTable(out, m, p, an, status);
  out.AppendBlankLines(3);

  const std::vector<std::string> rows = {
      AnovaRowText("Genótipos (G)   ", g - 1, an.MSG, p, kPFloorMain, false, status),
      AnovaRowText("Ambientes (A)   ", a - 1, an.MSA, p, kPFloorMain, false, status),
      AnovaRowText("GxA             ", (a - 1) * (g - 1), an.MSGA, p, kPFloorMain, false, status),
      // The whole environment sum of squares is its linear part on the index, 1 df.
      AnovaRowText("Ambiente linear ", 1, an.SSA, p, kPFloorMain, false, status),
      AnovaRowText("GA Linear       ", g - 1, static_cast<double>(an.SSGAL() / (g - 1.0L)), p,
                   kPFloorMain, false, status),
      AnovaRowText("A/G: Desv.Comb. ", (a - 2) * g, msPooled, p, kPFloorDeviation, false, status),
  };
  AppendJointAnovaTable(
      out,
      {std::string(kAnovaTitle), "da interação genótipos x ambientes (Eberhart e Russell,1966)"},
      rows, p);
  out.AppendBlankLines(2);
  AppendWithinGenotypeTable(out, p, within, false, status);
  out.AppendBlankLines(3);
  AppendDeviationVarianceTable(out, p, within);
  AppendEnvironmentTable(out, m, p, an);

  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(out.Text());
  return TStepResult::Done();
}

TMethod EberhartMethod() {
  TMethod m;
  m.name = "eberhart";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de acordo com o modelo de Eberhart e Russell (1966)\r\n";
  m.compute = EberhartCompute;
  return m;
}

TRunOutcome EberhartRun(TSession& session, THost& host) {
  return RunAnalysis(EberhartMethod(), session, host);
}

}  // namespace qv

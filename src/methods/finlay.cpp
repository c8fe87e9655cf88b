#include "methods/finlay.h"

#include "analysis/jointanova.h"
#include "analysis/regressiontables.h"

namespace qv {

TStepResult FinlayCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  // A slope needs three environments to leave a deviation, and the tests need QME and gle.
  if (auto cause = JointAnovaRefusal(p, 3); !cause.empty()) return TStepResult::Refuse(cause);
  const TJointAnova an = ComputeJointAnova(m, p);
  if (auto cause = IndexRefusal(m, p, an); !cause.empty()) return TStepResult::Refuse(cause);
  const TWithinGenotype within = ComputeWithinGenotype(m, p, an);

  // The variable's tables are formed apart and appended whole, so that a failed test refuses
  // the variable without leaving half its tables in the report.
  TReport out;
  ProbStatus status = ProbStatus::Ok;
  AppendSlopeTable(out, m, p, an, status);
  out.AppendBlankLines(3);

  const int g = p.g, a = p.a;
  const double ssgal = an.SSGAL();
  const double msDev = static_cast<double>((static_cast<long double>(an.SSGA) - ssgal) /
                                           (static_cast<long double>(a - 2) * (g - 1)));
  const std::vector<std::string> rows = {
      AnovaRowText("Genótipos (G)   ", g - 1, an.MSG, p, kPFloorMain, false, status),
      AnovaRowText("Ambientes (A)   ", a - 1, an.MSA, p, kPFloorMain, false, status),
      AnovaRowText("GxA             ", (a - 1) * (g - 1), an.MSGA, p, kPFloorMain, false, status),
      AnovaRowText("GA Linear       ", g - 1, static_cast<double>(ssgal / (g - 1.0L)), p,
                   kPFloorMain, false, status),
      AnovaRowText("GA:Desv.Combin. ", (a - 2) * (g - 1), msDev, p, kPFloorDeviation, false,
                   status),
  };
  AppendJointAnovaTable(
      out,
      {std::string(kAnovaTitle), "da interação genótipos x ambientes (Finlay e Wilknson,1963)"},
      rows, p);
  out.AppendBlankLines(2);
  AppendWithinGenotypeTable(out, p, within, false, status);
  out.AppendBlankLines(2);
  AppendEnvironmentTable(out, m, p, an);

  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(out.Text());
  return TStepResult::Done();
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
  m.compute = FinlayCompute;
  return m;
}

TRunOutcome FinlayRun(TSession& session, THost& host) {
  return RunAnalysis(FinlayMethod(), session, host);
}

}  // namespace qv

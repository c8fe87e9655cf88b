#include "methods/annicchiarico.h"

#include <cmath>
#include <string>
#include <vector>

#include "analysis/layout.h"
#include "analysis/means.h"
#include "stats/genztqf.h"

namespace qv {

TStepResult AnnicchiaricoCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  const int g = p.g, a = p.a;
  // The standard deviation of a genotype's percentages has a - 1 degrees of freedom.
  if (a < 2) {
    return TStepResult::Refuse(
        "Annicchiarico requer pelo menos 2 ambientes (a = " + std::to_string(a) +
        "): o desvio padrão das percentagens não existe");
  }
  ComputeEnvironmentMeans(m, g, a);
  // Each response is expressed relative to its environment's mean, which must not be zero.
  for (int j = 1; j <= a; ++j) {
    if (m.MedAmb(j) == 0) {
      return TStepResult::Refuse("a média do ambiente " + std::to_string(j) +
                                 " é zero: as médias não podem ser expressas em percentagem "
                                 "da média do ambiente");
    }
  }

  // Mean and standard deviation of the percentages Z(i,j) = 100 Y(i,j) / Ybar(.j) by the
  // one-pass running update (Welford 1962); the genotype mean rides along the same pass.
  std::vector<long double> mz(static_cast<std::size_t>(g)), sd(mz), index(mz);
  const double z = static_cast<double>(InvNormal(p.Alpha));
  bool finite = true;
  for (int i = 1; i <= g; ++i) {
    long double mean = 0, s = 0, medGen = 0;
    for (int j = 1; j <= a; ++j) {
      const long double zij = m.Y(i, j) * 100 / m.MedAmb(j);
      const long double d = zij - mean;
      s += (static_cast<long double>(j - 1) / j) * (d * d);
      mean += d / j;
      medGen += (m.Y(i, j) - medGen) / j;
    }
    m.MedGen(i) = medGen;
    mz[i - 1] = mean;
    sd[i - 1] = std::sqrt(s / (a - 1));
    index[i - 1] = mean - z * sd[i - 1];
    finite = finite && std::isfinite(index[i - 1]);
  }
  // An infinite response in the table would carry through to the index.
  if (!finite) {
    return TStepResult::Refuse(
        "valores fora de escala: as percentagens excedem a capacidade dos números reais");
  }

  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias             I(i)    Desv.Padrão(Dados %) Média (%)");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    report.AppendLine(Int(i, 8) + " " + Fixed(m.MedGen(i), 14, 6) + " " +
                      Fixed(index[i - 1], 16, 6) + Fixed(sd[i - 1], 16, 6) +
                      Fixed(mz[i - 1], 17, 6));
  }
  report.AppendSeparator();
  report.AppendLine("Obs 1. Nível de significância adotado = " +
                    Fixed(1 - static_cast<long double>(p.Alpha), 16, 4));
  report.AppendLine("Obs 2. O I(i) significa: reliability index ");
  report.AppendBlankLines(3);
  return TStepResult::Done();
}

TMethod AnnicchiaricoMethod() {
  TMethod m;
  m.name = "annicchiarico";
  m.phase1Caption = "Parâmetros ";
  m.phase1Extras = {Entry::Alpha};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Annicchiarico(1992, 1995)\r\n";
  m.compute = AnnicchiaricoCompute;
  return m;
}

TRunOutcome AnnicchiaricoRun(TSession& session, THost& host) {
  return RunAnalysis(AnnicchiaricoMethod(), session, host);
}

}  // namespace qv

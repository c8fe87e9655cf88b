#include "methods/annicchiarico.h"

#include <cmath>
#include <string>

#include "analysis/layout.h"
#include "stats/genztqf.h"
#include "stats/runningsums.h"

namespace qv {

TComputed<TAnnicchiaricoResult> AnnicchiaricoCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  // The standard deviation of a genotype's percentages has a - 1 degrees of freedom.
  if (a < 2) {
    return TRefusal::BadParameter(
        "Annicchiarico requer pelo menos 2 ambientes (a = " + std::to_string(a) +
        "): o desvio padrão das percentagens não existe");
  }
  const TIndexed<> medAmb = EnvironmentMeans(m, g, a);
  // Each response is expressed relative to its environment's mean, which must not be zero.
  for (int j = 1; j <= a; ++j) {
    if (medAmb(j) == 0) {
      return TRefusal::OfVariable("a média do ambiente " + std::to_string(j) +
                                  " é zero: as médias não podem ser expressas em percentagem "
                                  "da média do ambiente");
    }
  }

  // Mean and standard deviation of the percentages Z(i,j) = 100 Y(i,j) / Ybar(.j) by the
  // one-pass running update (Welford 1962); the genotype mean is the running mean of the same
  // kind.
  TAnnicchiaricoResult res;
  res.MedGen = GenotypeRunningMeans(m, g, a);
  res.index = TIndexed<>(g);
  res.sd = TIndexed<>(g);
  res.meanPct = TIndexed<>(g);
  const double z = static_cast<double>(InvNormal(p.Alpha));
  bool finite = true;
  for (int i = 1; i <= g; ++i) {
    TExtendedSS pct;
    for (int j = 1; j <= a; ++j) pct.Add(m.Y(i, j) * 100 / medAmb(j));
    res.meanPct(i) = pct.Mean();
    res.sd(i) = std::sqrt(pct.SS() / (a - 1));
    res.index(i) = pct.Mean() - z * res.sd(i);
    finite = finite && std::isfinite(res.index(i));
  }
  // An infinite response in the table would carry through to the index.
  if (!finite) {
    return TRefusal::OfVariable(
        "valores fora de escala: as percentagens excedem a capacidade dos números reais");
  }
  res.level = 1 - static_cast<long double>(p.Alpha);
  return res;
}

void AppendAnnicchiaricoReport(TReport& report, const TAnnicchiaricoResult& res) {
  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias             I(i)    Desv.Padrão(Dados %) Média (%)");
  report.AppendSeparator();
  for (int i = 1; i <= res.index.Size(); ++i) {
    report.AppendLine(Int(i, 8) + " " + Fixed(res.MedGen(i), 14, 6) + " " +
                      Fixed(res.index(i), 16, 6) + Fixed(res.sd(i), 16, 6) +
                      Fixed(res.meanPct(i), 17, 6));
  }
  report.AppendSeparator();
  report.AppendLine("Obs 1. Nível de significância adotado = " + Fixed(res.level, 16, 4));
  report.AppendLine("Obs 2. O I(i) significa: reliability index ");
  report.AppendBlankLines(3);
}

TResultData ResultData(const TAnnicchiaricoResult& res) {
  TResultTable t{
      "reliability", "", {"G (i)", "Médias", "I(i)", "Desv.Padrão(Dados %)", "Média (%)"}, {}};
  for (int i = 1; i <= res.index.Size(); ++i) {
    t.rows.push_back(
        {Whole(i), Real(res.MedGen(i)), Real(res.index(i)), Real(res.sd(i)), Real(res.meanPct(i))});
  }
  TResultTable notes{
      "notes", "Obs.", {"", "valor"}, {{Label("Nível de significância adotado"), Real(res.level)}}};
  return {{}, {t, notes}};
}

TMethod AnnicchiaricoMethod() {
  TMethod m;
  m.name = "annicchiarico";
  m.phase1Caption = "Parâmetros ";
  m.phase1Extras = {Entry::Alpha};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Annicchiarico(1992, 1995)\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(AnnicchiaricoCompute(c.means, c.params), [&](const TAnnicchiaricoResult& r) {
      AppendAnnicchiaricoReport(c.report, r);
    });
  };
  return m;
}

}  // namespace qv

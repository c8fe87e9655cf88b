#include "methods/linbinns.h"

#include <cmath>
#include <string>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "stats/genztqf.h"
#include "stats/runningsums.h"

namespace qv {

TComputed<TLinBinnsResult> LinBinnsCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  const double r = p.r;
  // The interaction mean square has (g - 1)(a - 1) degrees of freedom and the cut-off point an
  // F with a - 1 and gle: with one genotype, one environment or no residual degrees of freedom
  // neither exists. A number of replicates of zero or less would make every square vanish or
  // change sign.
  if (g < 2) {
    return TRefusal::BadParameter("Lin & Binns requer pelo menos 2 genótipos (g = " +
                                  std::to_string(g) + "): sem interação genótipo x ambiente");
  }
  if (a < 2) {
    return TRefusal::BadParameter("Lin & Binns requer pelo menos 2 ambientes (a = " +
                                  std::to_string(a) + "): sem interação genótipo x ambiente");
  }
  if (!(r > 0.0)) {
    return TRefusal::BadParameter(
        "o número de repetições r deve ser maior que zero (r = " + General(r) + ")");
  }
  if (p.gle <= 0) {
    return TRefusal::BadParameter(
        "os graus de liberdade do resíduo devem ser maiores que zero (gle = " +
        std::to_string(p.gle) + "): o ponto de corte F não existe");
  }
  // A mean square is never negative (0 is allowed: the cut-off point is then 0).
  if (p.QME < 0) {
    return TRefusal::BadParameter(
        "o quadrado médio do resíduo não pode ser negativo (QME = " + General(p.QME) + ")");
  }
  if (TCheck refusal = ScaleRefusal(m, g, a)) return *refusal;

  // Genotype means and the total sum of squares of the cells.
  TLinBinnsResult res;
  res.MedGen = GenotypeMeans(m, g, a);
  TDoubleSS total;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) total.Add(m.Y(i, j));
  }
  const double sqt = static_cast<double>(static_cast<long double>(total.SS()) * r);

  // The reference of the method is the best response of each environment, M(j), and their
  // mean; the environment sum of squares comes from the environment means as usual.
  const TIndexed<double> envMeans = EnvironmentMeansDouble(m, g, a);
  res.maximum = TIndexed<>(a);
  TDoubleSS env;
  for (int j = 1; j <= a; ++j) {
    long double best = m.Y(1, j);
    for (int i = 1; i <= g; ++i) {
      if (m.Y(i, j) > best) best = m.Y(i, j);
    }
    res.maximum(j) = best;
    res.meanMaximum = static_cast<double>(res.meanMaximum + best / a);
    env.Add(envMeans(j));
  }
  const double mediaGeral = res.meanMaximum;
  const double sqa = static_cast<double>(static_cast<long double>(g) * env.SS() * r);

  TDoubleSS gen;
  for (int i = 1; i <= g; ++i) gen.Add(res.MedGen(i));
  const double sqg = static_cast<double>(static_cast<long double>(gen.SS()) * r * a);
  const double sqga = static_cast<double>(static_cast<long double>(sqt) - sqa - sqg);
  res.QMGxA = static_cast<double>(sqga / static_cast<long double>((g - 1) * (a - 1)));

  // P(i) = r [a (Ybar(i.) - Mbar)^2 + sum_j D(i,j)^2] / (2a) (Lin & Binns 1988, eq. 1 and its
  // decomposition), with D(i,j) = Y(i,j) - Ybar(i.) - M(j) + Mbar the deviation from the
  // maximum once the genotype's general level is taken out.
  res.genetic = TIndexed<>(g);
  res.interaction = TIndexed<>(g);
  res.P = TIndexed<>(g);
  for (int i = 1; i <= g; ++i) {
    const long double dg = res.MedGen(i) - mediaGeral;
    res.genetic(i) = dg * dg * r / 2;
    long double s = 0;
    for (int j = 1; j <= a; ++j) {
      const long double d = ((m.Y(i, j) - res.MedGen(i)) - res.maximum(j)) + mediaGeral;
      s += d * d * r / (2 * a);
    }
    res.interaction(i) = s;
    res.P(i) = res.genetic(i) + s;
    res.sumInteraction = static_cast<double>(res.sumInteraction + s);
    res.sumP = static_cast<double>(res.sumP + res.P(i));
  }
  res.meanP = static_cast<long double>(res.sumP) / g;

  ProbStatus status = ProbStatus::Ok;
  const long double f = InvF(a - 1, p.gle, 0.95L, &status);
  if (status != ProbStatus::Ok) {
    return TRefusal::OfVariable("o quantil F(0.05; " + std::to_string(a - 1) + ", " +
                                std::to_string(p.gle) +
                                ") do ponto de corte não pôde ser calculado");
  }
  res.cutOff = f * p.QME;

  // Means of the order of 1e154 overflow the 64-bit sums of squares.
  bool finite = std::isfinite(res.QMGxA) && std::isfinite(res.sumP) && std::isfinite(res.cutOff);
  for (int i = 1; i <= g && finite; ++i) finite = std::isfinite(res.P(i));
  if (!finite) {
    return TRefusal::OfVariable(
        "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais");
  }

  // Every D(i,j) zero (genotypes parallel to the envelope of the maxima): no interaction to
  // share out, so the contribution column shows "-" rather than a quotient of zero by zero.
  // Zero up to the rounding of the interaction effects (InteractionNoise), whatever the scale of
  // the values: shares of rounding noise would mean nothing either.
  const long double noise = InteractionNoise(m, g, a);
  res.shares = res.sumInteraction > r * g * noise * noise / 2;
  res.percent = TIndexed<>(g);
  if (res.shares) {
    for (int i = 1; i <= g; ++i) res.percent(i) = res.interaction(i) / res.sumInteraction * 100;
  }
  return res;
}

void AppendLinBinnsReport(TReport& report, const TLinBinnsResult& res) {
  const int g = res.P.Size();
  report.AppendSeparator();
  report.AppendLine("    G (i)         Médias                         P(i)    ");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    report.AppendLine(Int(i, 8) + "  " + Fixed(res.MedGen(i), 16, 6) + " " +
                      Fixed(res.P(i), 26, 6));
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(res.meanP, 15, 5));
  report.AppendSeparator();
  report.AppendBlankLines(3);

  report.AppendSeparator();
  report.AppendLine(
      "    G (i)  Efeito genético  Desvio da Interação % contribuição para interação");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const std::string pct = res.shares ? Fixed(res.percent(i), 18, 4) : PadRight("", 17) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(res.genetic(i), 16, 6) + " " +
                      Fixed(res.interaction(i), 18, 6) + " " + pct);
  }
  report.AppendSeparator();
  if (!res.shares) {
    report.AppendLine(
        "Obs. Soma dos desvios da interação igual a zero (dados sem interação): percentagens "
        "indefinidas.");
  }
  report.AppendLine("Obs. QMGxA = " + Fixed(res.QMGxA, 28, 6));
  report.AppendLine("Obs. O ponto de Corte (CutOff Point) = F(0.05)*QMERRO = " +
                    Fixed(res.cutOff, 18, 6));
  report.AppendLine("P (i) menor que este valor não difere significativamente do máximo (P<0.05)");
  report.AppendBlankLines(3);
}

TResultData ResultData(const TLinBinnsResult& res) {
  const int g = res.P.Size();
  TResultTable superiority{"superiority", "", {"G (i)", "Médias", "P(i)"}, {}};
  for (int i = 1; i <= g; ++i) {
    superiority.rows.push_back({Whole(i), Real(res.MedGen(i)), Real(res.P(i))});
  }
  superiority.rows.push_back({Label("média"), TCell(), Real(res.meanP)});
  TResultTable parts{
      "decomposition",
      "",
      {"G (i)", "Efeito genético", "Desvio da Interação", "% contribuição para interação"},
      {}};
  for (int i = 1; i <= g; ++i) {
    parts.rows.push_back({Whole(i), Real(res.genetic(i)), Real(res.interaction(i)),
                          res.shares ? Real(res.percent(i)) : TCell()});
  }
  TResultTable notes{
      "notes",
      "Obs.",
      {"", "valor"},
      {{Label("QMGxA"), Real(res.QMGxA)},
       {Label("O ponto de Corte (CutOff Point) = F(0.05)*QMERRO"), Real(res.cutOff)}}};
  return {{}, {superiority, parts, notes}};
}

TMethod LinBinnsMethod() {
  TMethod m;
  m.name = "linbinns";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Lin & Binns (1988)\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(LinBinnsCompute(c.means, c.params),
                     [&](const TLinBinnsResult& r) { AppendLinBinnsReport(c.report, r); });
  };
  return m;
}

}  // namespace qv

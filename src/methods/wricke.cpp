#include "methods/wricke.h"

#include <cmath>

#include "analysis/jointanova.h"
#include "analysis/layout.h"

namespace qv {

TComputed<TWrickeResult> WrickeCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  // The ecovalences are sums of squares times r: with r of 0 or less they vanish or change sign.
  if (!(p.r > 0)) {
    return TRefusal::BadParameter(
        "o número de repetições deve ser maior que zero (r = " + General(p.r) + ")");
  }
  if (TCheck refusal = ScaleRefusal(m, g, a)) return *refusal;
  TWrickeResult res;
  res.MedGen = GenotypeMeans(m, g, a);
  const TIndexed<> medAmb = EnvironmentMeans(m, g, a);
  // W(i) = r * sum_j (Y(i,j) - Ybar(i.) - Ybar(.j) + Ybar(..))^2: the interaction effects of
  // genotype i squared and put on the plot scale by the number of replicates r. The grand
  // mean is the one accumulated from the records while they were read.
  res.W = TIndexed<>(g);
  for (int i = 1; i <= g; ++i) {
    long double wi = 0;
    for (int j = 1; j <= a; ++j) {
      const long double ga = ((m.Y(i, j) - res.MedGen(i)) - medAmb(j)) + m.MediaGeral;
      wi += ga * ga * p.r;
    }
    res.W(i) = wi;
    res.sumW = static_cast<double>(res.sumW + wi);
  }
  // The 64-bit total overflows for means near 1e154, or a number of replicates near 1e308.
  if (!std::isfinite(res.sumW)) {
    return TRefusal::OfVariable(
        "a soma dos W(i) excede a precisão do programa: valores ou número de repetições grandes "
        "demais");
  }

  // With no interaction every W(i) is 0 and the shares of a zero total are undefined: the
  // percentage column then shows "-" instead of a number that would mean nothing. A total
  // within the rounding noise of the interaction effects (InteractionNoise) is no interaction
  // either: its "shares" would be shares of noise.
  const long double noise = InteractionNoise(m, g, a);
  res.shares = res.sumW > p.r * g * a * noise * noise;
  res.percent = TIndexed<>(g);
  if (res.shares) {
    for (int i = 1; i <= g; ++i) res.percent(i) = res.W(i) / res.sumW * 100;
  }
  return res;
}

void AppendWrickeReport(TReport& report, const TWrickeResult& res) {
  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias             W(i)        W(i)(%) ");
  report.AppendSeparator();
  for (int i = 1; i <= res.W.Size(); ++i) {
    const std::string pct = res.shares ? Fixed(res.percent(i), 14, 6) : PadRight("", 13) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(res.MedGen(i), 14, 6) + " " + Fixed(res.W(i), 14, 6) +
                      " " + pct);
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(res.sumW, 15, 5) +
                    (res.shares ? "      100.00" : "           -"));
  report.AppendSeparator();
  if (!res.shares) {
    report.AppendLine(
        "Obs. Soma dos W(i) igual a zero (dados sem interação): percentagens indefinidas.");
  }
  report.AppendBlankLines(3);
}

TResultData ResultData(const TWrickeResult& res) {
  TResultTable t{"ecovalence", "", {"G (i)", "Médias", "W(i)", "W(i)(%)"}, {}};
  for (int i = 1; i <= res.W.Size(); ++i) {
    t.rows.push_back({Whole(i), Real(res.MedGen(i)), Real(res.W(i)),
                      res.shares ? Real(res.percent(i)) : TCell()});
  }
  // The report's last row, "média", holds the sum of the W(i) and of their shares.
  t.rows.push_back({Label("média"), TCell(), Real(res.sumW), res.shares ? Real(100) : TCell()});
  return {{}, {t}};
}

TMethod WrickeMethod() {
  TMethod m;
  m.name = "wricke";
  m.phase1Extras = {Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Wricke (1965)\r\n";
  m.afterVariableLine =
      "Obs. Ômega (W) é o parâmetro de quorvandelia do método de Wricke (1965)\r\n";
  m.accumulatesMediaGeral = true;
  m.compute = [](const TComputeContext& c) {
    return WriteStep(WrickeCompute(c.means, c.params),
                     [&](const TWrickeResult& r) { AppendWrickeReport(c.report, r); });
  };
  return m;
}

}  // namespace qv

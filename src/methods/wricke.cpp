#include "methods/wricke.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "analysis/layout.h"
#include "analysis/means.h"

namespace qv {

TStepResult WrickeCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  const int g = p.g, a = p.a;
  ComputeGenotypeMeans(m, g, a);
  ComputeEnvironmentMeans(m, g, a);
  // W(i) = r * sum_j (Y(i,j) - Ybar(i.) - Ybar(.j) + Ybar(..))^2: the interaction effects of
  // genotype i squared and put on the plot scale by the number of replicates r. The grand
  // mean is the one accumulated from the records while they were read.
  std::vector<long double> w(static_cast<std::size_t>(g));
  double sumW = 0.0;  // rounded to 64 bits after each addition
  for (int i = 1; i <= g; ++i) {
    long double wi = 0;
    for (int j = 1; j <= a; ++j) {
      const long double ga = ((m.Y(i, j) - m.MedGen(i)) - m.MedAmb(j)) + m.MediaGeral;
      wi += ga * ga * p.r;
    }
    w[i - 1] = wi;
    sumW = static_cast<double>(sumW + wi);
  }

  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias             W(i)        W(i)(%) ");
  report.AppendSeparator();
  // With no interaction every W(i) is 0 and the shares of a zero total are undefined: the
  // percentage column then shows "-" instead of a number that would mean nothing. Additive
  // data rarely give an exact 0: the grand mean is held in 64 bits, so each interaction effect
  // carries a rounding error of a few units of double precision of the largest mean, and a
  // total within that noise is no interaction either (its "shares" would be rounding noise).
  long double maxAbsY = 0;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) maxAbsY = std::max(maxAbsY, std::fabs(m.Y(i, j)));
  }
  const long double noise = 16 * DBL_EPSILON * maxAbsY;
  const bool shares = sumW > p.r * g * a * noise * noise;
  for (int i = 1; i <= g; ++i) {
    const std::string pct = shares ? Fixed(w[i - 1] / sumW * 100, 14, 6) : PadRight("", 13) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(m.MedGen(i), 14, 6) + " " + Fixed(w[i - 1], 14, 6) +
                      " " + pct);
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(sumW, 15, 5) +
                    (shares ? "      100.00" : "           -"));
  report.AppendSeparator();
  if (!shares) {
    report.AppendLine(
        "Obs. Soma dos W(i) igual a zero (dados sem interação): percentagens indefinidas.");
  }
  report.AppendBlankLines(3);
  return TStepResult::Done();
}

TMethod WrickeMethod() {
  TMethod m;
  m.name = "wricke";
  m.phase1Extras = {Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Wricke (1965)\r\n";
  m.afterVariableLine =
      "Obs. Ômega (W) é o parâmetro de quorvandelia do método de Wricke (1965)\r\n";
  m.accumulatesMediaGeral = true;
  m.compute = WrickeCompute;
  return m;
}

TRunOutcome WrickeRun(TSession& session, THost& host) {
  return RunAnalysis(WrickeMethod(), session, host);
}

}  // namespace qv

#include "methods/plaisted.h"

#include <cmath>
#include <string>
#include <vector>

#include "analysis/layout.h"
#include "analysis/means.h"

namespace qv {

TStepResult PlaistedCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  const int g = p.g, a = p.a;
  const double r = p.r;
  // A pair's interaction mean square has a - 1 degrees of freedom, Theta(i) averages the g - 1
  // pairs of a genotype, and the component is per replicate.
  if (g < 2) {
    return TStepResult::Refuse("Plaisted & Peterson requer pelo menos 2 genótipos (g = " +
                               std::to_string(g) + "): não há pares de genótipos");
  }
  if (a < 2) {
    return TStepResult::Refuse("Plaisted & Peterson requer pelo menos 2 ambientes (a = " +
                               std::to_string(a) + "): sem interação genótipo x ambiente");
  }
  if (!(r > 0.0)) {
    return TStepResult::Refuse(
        "o número de repetições r deve ser maior que zero (r = " + General(r) + ")");
  }

  ComputeGenotypeMeans(m, g, a);
  ComputeEnvironmentMeans(m, g, a);

  // theta(i,k) = [(r/2) (sum_j d_j^2 - (sum_j d_j)^2 / a) / (a - 1) - QME] / r with
  // d_j = Y(i,j) - Y(k,j): the interaction mean square of the two-genotype table on the plot
  // scale, less the residual mean square, per replicate (Plaisted & Peterson 1959). Stored
  // row by row for i < k, the order of the report.
  const std::size_t pairs = static_cast<std::size_t>(g) * (g - 1) / 2;
  std::vector<double> theta(pairs);
  std::size_t at = 0;
  bool finite = true;
  auto component = [&](int i, int k, double s) {
    const long double dm = a * m.MedGen(i) - a * m.MedGen(k);
    const long double t = dm * dm * (1.0L / a);
    double th = static_cast<double>((s - t) * (r / 2) / (a - 1));
    th = static_cast<double>((static_cast<long double>(th) - p.QME) / r);
    theta[at++] = th;
    finite = finite && std::isfinite(th);
  };
  // S = sum_j d_j^2 is rounded to 64 bits after every term, which chains each addition to the
  // one before; four pairs are summed side by side, each in its own order, so that their
  // chains overlap (179,700 pairs of 600 terms at full capacity).
  for (int i = 1; i < g; ++i) {
    int k = i + 1;
    for (; k + 3 <= g; k += 4) {
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int j = 1; j <= a; ++j) {
        const long double y = m.Y(i, j);
        const long double d0 = y - m.Y(k, j), d1 = y - m.Y(k + 1, j);
        const long double d2 = y - m.Y(k + 2, j), d3 = y - m.Y(k + 3, j);
        s0 = static_cast<double>(s0 + d0 * d0);
        s1 = static_cast<double>(s1 + d1 * d1);
        s2 = static_cast<double>(s2 + d2 * d2);
        s3 = static_cast<double>(s3 + d3 * d3);
      }
      component(i, k, s0);
      component(i, k + 1, s1);
      component(i, k + 2, s2);
      component(i, k + 3, s3);
    }
    for (; k <= g; ++k) {
      double s = 0.0;
      for (int j = 1; j <= a; ++j) {
        const long double d = m.Y(i, j) - m.Y(k, j);
        s = static_cast<double>(s + d * d);
      }
      component(i, k, s);
    }
  }
  // Means of the order of 1e154 overflow the 64-bit sums of squares.
  if (!finite) {
    return TStepResult::Refuse(
        "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais");
  }
  // Position of theta(i,k), i < k, in the row-by-row storage.
  auto pairIndex = [g](int i, int k) {
    return static_cast<std::size_t>(i - 1) * (2 * g - i) / 2 + static_cast<std::size_t>(k - i - 1);
  };

  std::vector<long double> thetaMean(static_cast<std::size_t>(g));
  double mean = 0.0;
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int k = 1; k <= g; ++k) {
      if (k == i) continue;
      s += theta[i < k ? pairIndex(i, k) : pairIndex(k, i)] / static_cast<long double>(g - 1);
    }
    thetaMean[i - 1] = s;
    mean = static_cast<double>(mean + s / g);
  }

  report.AppendSeparator();
  report.AppendLine("Genótipo 1  Genótipo 2     Componente de variância");
  report.AppendSeparator();
  at = 0;
  std::string line;
  for (int i = 1; i < g; ++i) {
    const std::string first = Int(i, 10) + " ";
    for (int k = i + 1; k <= g; ++k) {
      line.assign(first);
      line += Int(k, 10);
      line += ' ';
      line += Fixed(theta[at++], 23, 7);
      report.AppendLine(line);
    }
  }
  report.AppendSeparator();
  report.AppendBlankLines(2);

  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias        Theta (i)     Theta (i) (%)  ");
  report.AppendSeparator();
  // A mean component of zero leaves the shares Theta(i) / (g m) undefined: the percentage
  // column then shows "-" instead of a quotient by zero.
  const bool shares = mean != 0.0;
  for (int i = 1; i <= g; ++i) {
    const std::string pct =
        shares ? Fixed(thetaMean[i - 1] / (g * static_cast<long double>(mean)) * 100, 14, 6)
               : PadRight("", 13) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(m.MedGen(i), 14, 6) + " " +
                      Fixed(thetaMean[i - 1], 14, 6) + " " + pct);
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(mean, 15, 5) +
                    (shares ? "      100.00" : "           -"));
  report.AppendSeparator();
  if (!shares) {
    report.AppendLine("Obs. Média dos Theta (i) igual a zero: percentagens indefinidas.");
  }
  report.AppendBlankLines(3);
  return TStepResult::Done();
}

TMethod PlaistedMethod() {
  TMethod m;
  m.name = "plaisted";
  m.phase1Caption = "Parâmetros ";
  m.phase2Entries = {Entry::QME, Entry::NumRep};
  m.qmeMessage = "< QME >: O valor de QME deve ser numérico: ";
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Plaisted & Paterson (1959)\r\n";
  m.compute = PlaistedCompute;
  m.end = RunEnd::Inform;
  m.endMessage = "Para ver resultado da análise selecione o menu relatório";
  return m;
}

TRunOutcome PlaistedRun(TSession& session, THost& host) {
  return RunAnalysis(PlaistedMethod(), session, host);
}

}  // namespace qv

#include "methods/linbinns.h"

#include <cmath>
#include <string>
#include <vector>

#include "analysis/layout.h"
#include "stats/genztqf.h"

namespace qv {
namespace {

// One step of the one-pass running mean and sum of squared deviations (Welford 1962), kept
// in 64-bit reals as the totals of the analysis of variance are: with the k-th value x,
// s gains ((k - 1)/k)(x - mean)^2 and the mean moves by (x - mean)/k.
void RunningUpdate(long double x, int k, double& mean, double& s) {
  const long double d = x - mean;
  s = static_cast<double>(s + (static_cast<long double>(k - 1) / k) * (d * d));
  mean = static_cast<double>(mean + d / k);
}

}  // namespace

TStepResult LinBinnsCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  const int g = p.g, a = p.a;
  const double r = p.r;
  // The interaction mean square has (g - 1)(a - 1) degrees of freedom and the cut-off point an
  // F with a - 1 and gle: with one genotype, one environment or no residual degrees of freedom
  // neither exists. A number of replicates of zero or less would make every square vanish or
  // change sign.
  if (g < 2) {
    return TStepResult::Refuse("Lin & Binns requer pelo menos 2 genótipos (g = " +
                               std::to_string(g) + "): sem interação genótipo x ambiente");
  }
  if (a < 2) {
    return TStepResult::Refuse("Lin & Binns requer pelo menos 2 ambientes (a = " +
                               std::to_string(a) + "): sem interação genótipo x ambiente");
  }
  if (!(r > 0.0)) {
    return TStepResult::Refuse(
        "o número de repetições r deve ser maior que zero (r = " + General(r) + ")");
  }
  if (p.gle <= 0) {
    return TStepResult::Refuse(
        "os graus de liberdade do resíduo devem ser maiores que zero (gle = " +
        std::to_string(p.gle) + "): o ponto de corte F não existe");
  }

  // Genotype means and the total sum of squares of the cells.
  double meanT = 0.0, sT = 0.0;
  int k = 0;
  for (int i = 1; i <= g; ++i) {
    long double sum = 0;
    for (int j = 1; j <= a; ++j) {
      sum += m.Y(i, j) / a;
      RunningUpdate(m.Y(i, j), ++k, meanT, sT);
    }
    m.MedGen(i) = sum;
  }
  const double sqt = static_cast<double>(static_cast<long double>(sT) * r);

  // The reference of the method is the best response of each environment, M(j), and their
  // mean; the environment sum of squares comes from the environment means as usual.
  double mediaGeral = 0.0, meanA = 0.0, sA = 0.0;
  for (int j = 1; j <= a; ++j) {
    long double best = m.Y(1, j);
    double c = 0.0;
    for (int i = 1; i <= g; ++i) {
      if (m.Y(i, j) > best) best = m.Y(i, j);
      c = static_cast<double>(c + m.Y(i, j) / g);
    }
    m.MedAmb(j) = best;
    mediaGeral = static_cast<double>(mediaGeral + best / a);
    RunningUpdate(c, j, meanA, sA);
  }
  m.MediaGeral = mediaGeral;
  const double sqa = static_cast<double>(static_cast<long double>(g) * sA * r);

  double meanG = 0.0, sG = 0.0;
  for (int i = 1; i <= g; ++i) RunningUpdate(m.MedGen(i), i, meanG, sG);
  const double sqg = static_cast<double>(static_cast<long double>(sG) * r * a);
  const double sqga = static_cast<double>(static_cast<long double>(sqt) - sqa - sqg);
  const double qmgxa = static_cast<double>(sqga / static_cast<long double>((g - 1) * (a - 1)));

  // P(i) = r [a (Ybar(i.) - Mbar)^2 + sum_j D(i,j)^2] / (2a) (Lin & Binns 1988, eq. 1 and its
  // decomposition), with D(i,j) = Y(i,j) - Ybar(i.) - M(j) + Mbar the deviation from the
  // maximum once the genotype's general level is taken out.
  std::vector<long double> g1(static_cast<std::size_t>(g)), g2(g1), pi(g1);
  double sumG2 = 0.0, sumP = 0.0;
  for (int i = 1; i <= g; ++i) {
    const long double dg = m.MedGen(i) - mediaGeral;
    g1[i - 1] = dg * dg * r / 2;
    long double s = 0;
    for (int j = 1; j <= a; ++j) {
      const long double d = ((m.Y(i, j) - m.MedGen(i)) - m.MedAmb(j)) + mediaGeral;
      s += d * d * r / (2 * a);
    }
    g2[i - 1] = s;
    pi[i - 1] = g1[i - 1] + s;
    sumG2 = static_cast<double>(sumG2 + s);
    sumP = static_cast<double>(sumP + pi[i - 1]);
  }

  ProbStatus status = ProbStatus::Ok;
  const long double f = InvF(a - 1, p.gle, 0.95L, &status);
  if (status != ProbStatus::Ok) {
    return TStepResult::Refuse("o quantil F(0.05; " + std::to_string(a - 1) + ", " +
                               std::to_string(p.gle) +
                               ") do ponto de corte não pôde ser calculado");
  }
  const long double cutOff = f * p.QME;

  // Means of the order of 1e154 overflow the 64-bit sums of squares.
  bool finite = std::isfinite(qmgxa) && std::isfinite(sumP) && std::isfinite(cutOff);
  for (int i = 0; i < g && finite; ++i) finite = std::isfinite(pi[i]);
  if (!finite) {
    return TStepResult::Refuse(
        "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais");
  }

  report.AppendSeparator();
  report.AppendLine("    G (i)         Médias                         P(i)    ");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    report.AppendLine(Int(i, 8) + "  " + Fixed(m.MedGen(i), 16, 6) + " " + Fixed(pi[i - 1], 26, 6));
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(static_cast<long double>(sumP) / g, 15, 5));
  report.AppendSeparator();
  report.AppendBlankLines(3);

  report.AppendSeparator();
  report.AppendLine(
      "    G (i)  Efeito genético  Desvio da Interação % contribuição para interação");
  report.AppendSeparator();
  // Every D(i,j) zero (genotypes parallel to the envelope of the maxima): no interaction to
  // share out, so the contribution column shows "-" rather than a quotient of zero by zero.
  const bool shares = sumG2 > 0.0;
  for (int i = 1; i <= g; ++i) {
    const std::string pct = shares ? Fixed(g2[i - 1] / sumG2 * 100, 18, 4) : PadRight("", 17) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(g1[i - 1], 16, 6) + " " + Fixed(g2[i - 1], 18, 6) +
                      " " + pct);
  }
  report.AppendSeparator();
  if (!shares) {
    report.AppendLine(
        "Obs. Soma dos desvios da interação igual a zero (dados sem interação): percentagens "
        "indefinidas.");
  }
  report.AppendLine("Obs. QMGxA = " + Fixed(qmgxa, 28, 6));
  report.AppendLine("Obs. O ponto de Corte (CutOff Point) = F(0.05)*QMERRO = " +
                    Fixed(cutOff, 18, 6));
  report.AppendLine("P (i) menor que este valor não difere significativamente do máximo (P<0.05)");
  report.AppendBlankLines(3);
  return TStepResult::Done();
}

TMethod LinBinnsMethod() {
  TMethod m;
  m.name = "linbinns";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Lin & Binns (1988)\r\n";
  m.compute = LinBinnsCompute;
  return m;
}

TRunOutcome LinBinnsRun(TSession& session, THost& host) {
  return RunAnalysis(LinBinnsMethod(), session, host);
}

}  // namespace qv

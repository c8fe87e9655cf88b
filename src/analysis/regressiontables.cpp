#include "analysis/regressiontables.h"

#include <cmath>

#include "analysis/layout.h"

namespace qv {

double TwoSidedP(int df, double t, ProbStatus& status) {
  ProbStatus st = ProbStatus::Ok;
  const long double v = ProbT(df, t < 0 ? -t : t, &st);
  if (st == ProbStatus::Ok && std::isnan(v)) st = ProbStatus::InvalidArgument;
  if (st != ProbStatus::Ok && status == ProbStatus::Ok) status = st;
  return static_cast<double>(2 * (1 - v));
}

std::string SlopeRowText(int i, long double b0, long double b1, double t, double p) {
  return Int(i, 6) + "  " + Fixed(b0, 17, 6) + " " + Fixed(b1, 17, 6) + " " + Fixed(t, 16, 6) +
         " " + Fixed(p, 14, 6);
}

void AppendSlopeTable(TReport& report, const TGxeMeans& m, const TAnalysisParams& p,
                      const TJointAnova& an, ProbStatus& status) {
  const double v0 = static_cast<double>(p.QME / (static_cast<long double>(p.a) * p.r));
  const double v1 = static_cast<double>(p.QME / (static_cast<long double>(p.r) * an.SI2));
  const long double se1 = std::sqrt(static_cast<long double>(v1));
  report.AppendSeparator();
  report.AppendLine(
      " G(i)        B0(i) (média)          B1(i)     t(H0: B1(i)= 1)       Pr>|t|   ");
  report.AppendSeparator();
  for (int i = 1; i <= p.g; ++i) {
    const long double b1 = an.SPI(i) / an.SI2;
    const double t = static_cast<double>((b1 - 1) / se1);
    report.AppendLine(SlopeRowText(i, m.MedGen(i), b1, t, TwoSidedP(p.gle, t, status)));
  }
  report.AppendSeparator();
  report.AppendLine(" Erro padrão de Bo: " + Fixed(std::sqrt(static_cast<long double>(v0)), 15, 6));
  report.AppendLine(" Erro padrão de B1: " + Fixed(se1, 15, 6));
  report.AppendSeparator();
}

void AppendDeviationVarianceTable(TReport& report, const TAnalysisParams& p,
                                  const TWithinGenotype& w) {
  report.AppendSeparator();
  report.AppendLine("G (i)          Est. Var. Desvio               R^2 (%)");
  report.AppendSeparator();
  for (int i = 1; i <= p.g; ++i) {
    const long double s2d = (static_cast<long double>(w.MSD(i)) - p.QME) / p.r;
    const long double r2 = w.SSAG(i) > 0 ? static_cast<long double>(w.SSR(i)) / w.SSAG(i) : 0.0L;
    report.AppendLine(Int(i, 10) + " " + Fixed(s2d, 20, 6) + " " + Fixed(100 * r2, 20, 2));
  }
  report.AppendSeparator();
  report.AppendLine(
      "Observação: A significância dos componentes de variância dos desvios se encontram na");
  report.AppendLine("            análise de variância apresentada anteriormente (Desv. regressão)");
  report.AppendBlankLines(2);
}

void AppendEnvironmentTable(TReport& report, const TGxeMeans& m, const TAnalysisParams& p,
                            const TJointAnova& an, const TBisegment* seg) {
  report.AppendLine("Média dos ambientes e valores do índice ambiental");
  report.AppendSeparator();
  std::string header =
      "A (j)    "
      " "
      "               Média"
      " "
      "              Índice";
  if (seg)
    header +=
        " "
        "               T(Ij)";
  report.AppendLine(header);
  report.AppendSeparator();
  for (int j = 1; j <= p.a; ++j) {
    std::string line =
        Int(j, 10) + " " + Fixed(m.MedAmb(j), 20, 6) + " " + Fixed(an.IndAmb(j), 20, 6) + " ";
    if (seg) line += Fixed(seg->T(j), 20, 6) + " ";
    report.AppendLine(line);
  }
  report.AppendSeparator();
  report.AppendBlankLines(3);
}

}  // namespace qv

#include "segmented/junctionreport.h"

#include "analysis/layout.h"

namespace qv {

void AppendJunctionFitAnova(TReport& report, int q, int d, long double ssm, long double ssd,
                            const TAnalysisParams& p, bool doubleSums, ProbStatus& status) {
  const auto held = [doubleSums](long double x) {
    return doubleSums ? static_cast<long double>(static_cast<double>(x)) : x;
  };
  report.AppendSeparator();
  report.AppendLine(kFitAnovaHeader);
  report.AppendSeparator();
  const long double msm = held(ssm / q);
  report.AppendLine(FitAnovaRowText("Modelo corr.", q, ssm, msm, FitAnovaTest(q, msm, p, status)));
  if (d < 1) {
    // A table at the limit of the size check leaves the deviations no degree of freedom: there
    // is nothing to test them against, and the row says so by a null mean square and a
    // probability of 1 rather than by a ratio with a zero divisor.
    const long double msd = held(kNoDeviationMeanSquare);
    report.AppendLine(FitAnovaRowText("Desvio      ", d, ssd, msd, {msd / p.QME, 1}));
  } else {
    const long double msd = held(ssd / d);
    report.AppendLine(
        FitAnovaRowText("Desvio      ", d, ssd, msd, FitAnovaTest(d, msd, p, status)));
  }
  report.AppendLine(FitResidualRowText(p, doubleSums));
  report.AppendSeparator();
}

void AppendInterceptSlopeTables(TReport& report, const TFitEngine& fit, const TAnalysisParams& p,
                                TProbLayout probLayout, ProbStatus& status) {
  struct TTable {
    const char* header;
    const char* prefix;  // the label: prefix, Int(3) of the genotype, suffix, " "
    const char* suffix;
    int (*position)(int);
    long double h;  // the value the t test compares the estimate with
  };
  const TTable tables[] = {
      {"Parâmetro       Estimativa     Erro Padrão     t p/ a(i)=0          Pr>|t|    ", "a(",
       ")   ", junction::A, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=0          Pr>|t|  ", "b1(",
       ")  ", junction::B1, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=1          Pr>|t|  ", "b1(",
       ")  ", junction::B1, 1},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=0          Pr>|t|  ", "b2(",
       ")  ", junction::B2, 0},
      {"Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=1          Pr>|t|  ", "b2(",
       ")  ", junction::B2, 1},
  };
  for (const TTable& t : tables) {
    AppendTableHead(report, {t.header});
    for (int i = 1; i <= p.g; ++i) {
      const int k = t.position(i);
      report.AppendLine(ParameterRowText(std::string(t.prefix) + Int(i, 3) + t.suffix + " ",
                                         fit.Theta(k), 16, TestParameter(fit, k, t.h, p, status),
                                         probLayout));
    }
    AppendTableEnd(report);
  }

  // The change of slope at the junction, with the standard error of a difference.
  AppendTableHead(
      report, {"Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=b2(i)      Pr>|t|  "});
  for (int i = 1; i <= p.g; ++i) {
    const int b1 = junction::B1(i), b2 = junction::B2(i);
    report.AppendLine(ParameterRowText("b2-b1(" + Int(i, 3) + ") ", fit.Theta(b2) - fit.Theta(b1),
                                       15, TestDifference(fit, b1, b2, p, status), probLayout));
  }
  AppendTableEnd(report);
}

std::string GenotypeParameterLabel(int p, std::string_view junctionPrefix) {
  const std::string_view prefixes[] = {"      a(", "     b1(", "     b2(", junctionPrefix};
  return std::string(prefixes[(p - 1) % 4]) + Int((p - 1) / 4 + 1, 3) + ")";
}

}  // namespace qv

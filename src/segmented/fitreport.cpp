#include "segmented/fitreport.h"

#include <cmath>

#include "analysis/jointanova.h"
#include "analysis/layout.h"

namespace qv {
namespace {

// The running sums of squares of Welford (1962): s += (k - 1)/k (y - m)^2, then m += (y - m)/k,
// in the precision of Real.
template <typename Real>
struct TRunningSS {
  Real m = 0, s = 0;
  long long k = 0;
  void Add(long double y) {
    ++k;
    const long double d = y - m;
    s = static_cast<Real>(s +
                          static_cast<long double>(k - 1) / static_cast<long double>(k) * (d * d));
    m = static_cast<Real>(m + d / static_cast<long double>(k));
  }
};

template <typename Real>
TMeansAnova MeansAnova(TGxeMeans& means, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  TRunningSS<Real> all, gen, env;
  for (int i = 1; i <= g; ++i) {
    long double& medGen = means.MedGen(i);
    medGen = 0;
    for (int j = 1; j <= a; ++j) {
      all.Add(means.Y(i, j));
      medGen = medGen + means.Y(i, j) / a;
    }
    gen.Add(medGen);
  }
  TMeansAnova r;
  r.SST = all.s * p.r;
  r.SSG = gen.s * p.r * a;
  for (int j = 1; j <= a; ++j) {
    long double& medAmb = means.MedAmb(j);
    medAmb = 0;
    for (int i = 1; i <= g; ++i) medAmb = medAmb + means.Y(i, j) / g;
    env.Add(medAmb);
  }
  r.SSA = env.s * g * p.r;
  r.MSA = r.SSA / (a - 1);
  r.SSGA = r.SST - r.SSA - r.SSG;
  r.MSGA = r.SSGA / ((g - 1) * (a - 1));
  r.MSG = r.SSG / (g - 1);
  r.T = r.SSA + r.SSGA + r.SSG;
  if constexpr (sizeof(Real) == sizeof(double)) {
    // Silva's models hold every sum of squares of the means in 64 bits.
    for (long double* v : {&r.SST, &r.SSG, &r.SSA, &r.SSGA, &r.MSG, &r.MSA, &r.MSGA, &r.T}) {
      *v = static_cast<double>(*v);
    }
  }
  return r;
}

void Keep(ProbStatus& status, ProbStatus st) {
  if (st != ProbStatus::Ok && status == ProbStatus::Ok) status = st;
}

// Two-sided probability of a t statistic with gle degrees of freedom.
long double TwoSided(long double t, int gle, ProbStatus& status) {
  ProbStatus st = ProbStatus::Ok;
  const long double v = ProbT(gle, std::fabs(t), &st);
  Keep(status, st);
  return 2 * (1 - v);
}

// Lines of up to six pieces.
void AppendSixToALine(TReport& report, int count, const std::function<std::string(int)>& piece) {
  std::string line;
  for (int k = 1; k <= count; ++k) {
    line += piece(k);
    if (k % 6 == 0) {
      report.AppendLine(line);
      line.clear();
    }
  }
  if (!line.empty()) report.AppendLine(line);
}

}  // namespace

TMeansAnova ComputeMeansAnova(TGxeMeans& means, const TAnalysisParams& params,
                              bool doublePrecision) {
  return doublePrecision ? MeansAnova<double>(means, params)
                         : MeansAnova<long double>(means, params);
}

void AppendMeansAnova(TReport& report, const TMeansAnova& v, const TGxeMeans& means,
                      const TAnalysisParams& p, char decimalSeparator, ProbStatus& status) {
  report.AppendLine("Resumo da análise de variância ");
  report.AppendSeparator();
  report.AppendLine(kAnovaHeader);
  report.AppendSeparator();
  // The main effect of genotypes is tested as it comes; the environment and interaction rows
  // take a non-positive ratio as 1e-8, as the bisegmented regression does (Cruz et al. 1989).
  report.AppendLine(
      AnovaRowText("Genótipos (G)   ", p.g - 1, v.MSG, p, kPFloorMain, false, status));
  report.AppendLine(AnovaRowText("Ambientes (A)   ", p.a - 1, v.MSA, p, kPFloorMain, true, status));
  report.AppendLine(AnovaRowText("GxA             ", (p.a - 1) * (p.g - 1), v.MSGA, p, kPFloorMain,
                                 true, status));
  report.AppendLine(ResidualRowText(p));
  report.AppendSeparator();
  report.AppendLine("Média geral:  " + General(means.MediaGeral, decimalSeparator));
  report.AppendSeparator();
  report.AppendBlankLines(1);
}

std::string FitSumText(long double value) {
  return value >= 1e9L || value <= 1e-5L ? Exp(value, 15) : Fixed(value, 15, 5);
}

TFitTest FitAnovaTest(int df, long double ms, const TAnalysisParams& p, ProbStatus& status) {
  // The test of every analysis-of-variance row of the program, with the non-positive guard and
  // the floor of 1e-9 for a distribution value above 1.
  const TFTest test = AnovaFTest(df, ms, p, 1e-9, true, status);
  return {test.fc, test.p};
}

std::string FitAnovaRowText(std::string_view label, int df, long double ss, long double ms,
                            const TFitTest& test) {
  return std::string(label) + Int(df, 5) + " " + FitSumText(ss) + "  " + FitSumText(ms) + "  " +
         Fixed(test.F, 14, 6) + "  " + Fixed(test.pr, 10, 6);
}

std::string FitResidualRowText(const TAnalysisParams& p, bool doubleSums) {
  long double ss = static_cast<long double>(p.gle) * p.QME;
  if (doubleSums) ss = static_cast<double>(ss);
  return "Resíduo     " + Int(p.gle, 5) + " " + FitSumText(ss) + "  " + FitSumText(p.QME);
}

void AppendFitAnova(TReport& report, int q, int d, long double ssm, long double ssd,
                    const TAnalysisParams& p, ProbStatus& status, bool doubleSums) {
  report.AppendSeparator();
  report.AppendLine(kFitAnovaHeader);
  report.AppendSeparator();
  long double msm = ssm / q, msd = ssd / d;
  if (doubleSums) {
    msm = static_cast<double>(msm);
    msd = static_cast<double>(msd);
  }
  report.AppendLine(FitAnovaRowText("Modelo corr.", q, ssm, msm, FitAnovaTest(q, msm, p, status)));
  report.AppendLine(FitAnovaRowText("Desvio      ", d, ssd, msd, FitAnovaTest(d, msd, p, status)));
  report.AppendLine(FitResidualRowText(p, doubleSums));
  report.AppendSeparator();
}

std::string EstimateText(long double value, int width) {
  const long double m = std::fabs(value);
  return m >= 1e9L || m <= 1e-8L ? Exp(value, width) : Fixed(value, width, 8);
}

TParamTest TestParameter(const TFitEngine& fit, int p, long double h, const TAnalysisParams& params,
                         ProbStatus& status) {
  TParamTest t;
  t.se = std::sqrt(ParameterVariance(fit, p, params.QME, params.r));
  t.t = (fit.Theta(p) - h) / t.se;
  t.pr = TwoSided(t.t, params.gle, status);
  return t;
}

TParamTest TestDifference(const TFitEngine& fit, int p, int q, const TAnalysisParams& params,
                          ProbStatus& status) {
  TParamTest t;
  t.se = std::sqrt(DifferenceVariance(fit, p, q, params.QME, params.r));
  t.t = (fit.Theta(q) - fit.Theta(p)) / t.se;
  t.pr = TwoSided(t.t, params.gle, status);
  return t;
}

std::string ParameterRowText(std::string_view label, long double estimate, int estimateWidth,
                             const TParamTest& test, TProbLayout probLayout) {
  const bool expPr = probLayout == TProbLayout::ByMagnitude && (test.pr >= 1 || test.pr <= 1e-5L);
  return std::string(label) + EstimateText(estimate, estimateWidth) + " " +
         EstimateText(test.se, 15) + " " + EstimateText(test.t, 15) + " " +
         (expPr ? Exp(test.pr, 15) : Fixed(test.pr, 15, 5));
}

void AppendTableHead(TReport& report, const std::vector<std::string_view>& headerLines) {
  report.AppendSeparator();
  for (std::string_view line : headerLines) report.AppendLine(line);
  report.AppendSeparator();
}

void AppendTableEnd(TReport& report, bool lastOfReport) {
  report.AppendSeparator();
  if (!lastOfReport) report.AppendBlankLines(2);
}

void AppendCovarianceMatrix(TReport& report, const TFitEngine& fit, int parameters,
                            const std::function<std::string(int)>& label,
                            const TAnalysisParams& p) {
  AppendTableHead(report, {"Matriz de variância e covariância dos parâmetros"});
  AppendSixToALine(report, parameters, label);
  report.AppendSeparator();
  for (int row = 1; row <= parameters; ++row) {
    AppendSixToALine(report, parameters, [&](int col) {
      return Fixed(Covariance(fit, std::min(row, col), std::max(row, col), p.QME, p.r), 12, 5);
    });
    report.AppendBlankLines(1);
  }
  AppendTableEnd(report);
}

void AppendObservedAndFitted(TReport& report, const TGxeMeans& means, const TAnalysisParams& p,
                             const std::function<long double(int, int)>& fitted) {
  AppendTableHead(report, {"                                     Valor                Valor",
                           "Genótipo      Ambiente             observado             estimado"});
  for (int i = 1; i <= p.g; ++i) {
    for (int j = 1; j <= p.a; ++j) {
      report.AppendLine(Int(i, 8) + "  " + Int(j, 12) + " " + Fixed(means.Y(i, j), 21, 5) + " " +
                        Fixed(fitted(i, j), 20, 6));
    }
  }
  AppendTableEnd(report);
}

void AppendGenotypeMeans(TReport& report, const TGxeMeans& means, const TAnalysisParams& p) {
  AppendTableHead(report, {"Genótipo             Média"});
  for (int i = 1; i <= p.g; ++i)
    report.AppendLine(Int(i, 8) + "  " + Fixed(means.MedGen(i), 15, 6));
  AppendTableEnd(report);
}

void AppendEnvironmentMeans(TReport& report, const TGxeMeans& means, const TAnalysisParams& p) {
  AppendTableHead(report, {"                                Índice     _       _ ",
                           "Ambiente             Média     Clássico  - Y    -  Y    ",
                           "                                            .j      .."});
  for (int j = 1; j <= p.a; ++j) {
    report.AppendLine(Int(j, 8) + "  " + Fixed(means.MedAmb(j), 15, 6) + " " +
                      Fixed(means.MedAmb(j) - means.MediaGeral, 13, 8) + " ");
  }
  AppendTableEnd(report, true);
}

}  // namespace qv

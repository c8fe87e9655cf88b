#include "analysis/jointanova.h"

#include <cfloat>
#include <cmath>

#include "analysis/layout.h"

namespace qv {
namespace {

// One-pass corrected sum of squares (Welford 1962): the running mean and sum are 64-bit, each
// update formed in extended precision.
struct TRunningSS {
  double mean = 0;
  double ss = 0;
  long k = 0;
  void Add(long double y) {
    ++k;
    const long double d = y - mean;
    ss = static_cast<double>(ss + static_cast<long double>(k - 1) / k * d * d);
    mean = static_cast<double>(mean + d / k);
  }
};

// Rounds an extended expression to the 64-bit accumulator it is stored in.
double D(long double x) {
  return static_cast<double>(x);
}

}  // namespace

TJointAnova ComputeJointAnova(TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  const long double r = p.r;
  TJointAnova an;

  // Total, genotype by genotype, with the genotype means in the same pass.
  TRunningSS total;
  for (int i = 1; i <= g; ++i) {
    long double sum = 0;
    for (int j = 1; j <= a; ++j) {
      total.Add(m.Y(i, j));
      sum += m.Y(i, j) / a;
    }
    m.MedGen(i) = sum;
  }
  an.SST = D(r * total.ss);

  // Environments; the grand mean is the mean of the environment means.
  TRunningSS env;
  m.MediaGeral = 0;
  for (int j = 1; j <= a; ++j) {
    long double sum = 0;
    for (int i = 1; i <= g; ++i) sum += m.Y(i, j) / g;
    m.MedAmb(j) = sum;
    m.MediaGeral = D(m.MediaGeral + sum / a);
    env.Add(static_cast<double>(sum));
  }
  an.SSA = D(r * g * env.ss);
  an.MSA = D(an.SSA / static_cast<long double>(a - 1));

  // Environmental index (Finlay and Wilkinson 1963): the environment's mean less the grand mean.
  an.indAmb.resize(static_cast<std::size_t>(a));
  for (int j = 1; j <= a; ++j) {
    const long double ij = m.MedAmb(j) - m.MediaGeral;
    an.indAmb[static_cast<std::size_t>(j - 1)] = ij;
    an.SI2 = D(an.SI2 + ij * ij);
  }

  TRunningSS gen;
  for (int i = 1; i <= g; ++i) gen.Add(m.MedGen(i));
  an.SSG = D(r * a * gen.ss);
  an.MSG = D(an.SSG / static_cast<long double>(g - 1));

  an.SSGA = D(static_cast<long double>(an.SST) - an.SSA - an.SSG);
  an.MSGA = D(an.SSGA / (static_cast<long double>(a - 1) * (g - 1)));

  // Sums of products with the index, for the slopes and the linear part of the interaction.
  an.spi.resize(static_cast<std::size_t>(g));
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int j = 1; j <= a; ++j) s += m.Y(i, j) * an.IndAmb(j);
    an.spi[static_cast<std::size_t>(i - 1)] = s;
    an.SPP = D(an.SPP + r * s * s);
  }
  return an;
}

std::string JointAnovaRefusal(const TAnalysisParams& p, int minEnvironments) {
  if (p.g < 2) {
    return "a análise conjunta exige pelo menos 2 genótipos (g = " + std::to_string(p.g) + ")";
  }
  if (p.a < minEnvironments) {
    return "este modelo exige pelo menos " + std::to_string(minEnvironments) +
           " ambientes (a = " + std::to_string(p.a) + ")";
  }
  if (p.gle <= 0) {
    return "os graus de liberdade do resíduo devem ser maiores que zero (gle = " +
           std::to_string(p.gle) + ")";
  }
  if (!(p.QME > 0)) {
    return "o quadrado médio do resíduo deve ser maior que zero (QME = " + General(p.QME) + ")";
  }
  if (!(p.r > 0)) {
    return "o número de repetições deve ser maior que zero (r = " + General(p.r) + ")";
  }
  return "";
}

bool AtRoundingLevel(long double value, long double scale) {
  // The index carries the rounding of the 64-bit grand mean (half an ulp of a double) and of
  // the extended sums; a thousand ulps of a double leaves a wide margin above both and far
  // below any difference a field trial can measure.
  return value <= 1024 * DBL_EPSILON * scale;
}

std::string IndexRefusal(const TGxeMeans& m, const TAnalysisParams& p, const TJointAnova& an) {
  for (double v : {an.SST, an.SSG, an.SSA, an.SSGA, an.SPP, an.SI2}) {
    if (!std::isfinite(v)) {
      return "os valores da variável são grandes demais: as somas de quadrados excedem a "
             "precisão do programa";
    }
  }
  long double maxIndex = 0, maxMean = 0;
  for (int j = 1; j <= p.a; ++j) {
    maxIndex = std::fmax(maxIndex, std::fabs(an.IndAmb(j)));
    maxMean = std::fmax(maxMean, std::fabs(m.MedAmb(j)));
  }
  if (an.SI2 == 0 || AtRoundingLevel(maxIndex, maxMean)) {
    return "as médias dos ambientes são todas iguais: o índice ambiental é nulo e a regressão "
           "sobre ele não pode ser estimada";
  }
  return "";
}

TWithinGenotype ComputeWithinGenotype(const TGxeMeans& m, const TAnalysisParams& p,
                                      const TJointAnova& an, const TBisegment* seg) {
  const int g = p.g, a = p.a;
  const long double r = p.r;
  TWithinGenotype w;
  w.bisegmented = seg != nullptr;
  w.ssag.resize(static_cast<std::size_t>(g));
  w.ssr.resize(static_cast<std::size_t>(g));
  w.msd.resize(static_cast<std::size_t>(g));
  const int dfDev = w.DfDeviation(a);
  for (int i = 1; i <= g; ++i) {
    double sy2 = 0, sy = 0, sp = 0, spt = 0;
    for (int j = 1; j <= a; ++j) {
      const long double y = m.Y(i, j);
      sy2 = D(sy2 + y * y);
      sy = D(sy + y);
      if (seg) {
        sp = D(sp + (y * an.IndAmb(j) - y * seg->T(j)));
        spt = D(spt + y * seg->T(j));
      } else {
        sp = D(sp + y * an.IndAmb(j));
      }
    }
    const double ssag = D(r * (sy2 - static_cast<long double>(sy) * sy / a));
    // Regression on the index (Eberhart and Russell 1966), or on the two orthogonal regressors
    // I - T and T of the bisegmented model (Cruz, Torres and Vencovsky 1989), whose sums of
    // squares add.
    const double ssr = seg ? D(r * sp * sp / (static_cast<long double>(an.SI2) - seg->ST2) +
                               r * spt * spt / seg->ST2)
                           : D(r * sp * sp / an.SI2);
    const std::size_t k = static_cast<std::size_t>(i - 1);
    w.ssag[k] = ssag;
    w.ssr[k] = ssr;
    w.msd[k] = D((static_cast<long double>(ssag) - ssr) / dfDev);
  }
  return w;
}

TFTest AnovaFTest(int df, long double ms, const TAnalysisParams& p, double pFloor, bool guard,
                  ProbStatus& status) {
  TFTest t;
  t.fc = D(ms / p.QME);
  if (guard && !(t.fc > 0)) t.fc = kFcGuard;
  ProbStatus st = ProbStatus::Ok;
  // The series above 1; at and below 1, Peizer and Pratt's (1968) normal approximation.
  //
  // Peizer and Pratt's approximation works with q = n/(m F + n) and 1 - q, which cancels to 0
  // for a positive F of rounding size (a deviation mean square of 1e-30 from a genotype that
  // follows its regression exactly) and then gives no number. The approximation itself takes
  // F <= 0 as 1e-11; positive ratios below that floor are taken at the floor too. With both
  // df >= 2, P(F <= 1e-11) is below 1e-9, so the printed "Pr>Fc" is 1.000000 either way; with
  // a df of 1 the approximation goes through the t distribution, which has no such cancellation.
  constexpr long double kPeizerPrattFloor = 1e-11L;
  long double f = t.fc;
  if (f > 0 && f < kPeizerPrattFloor && df >= 2 && p.gle >= 2) f = kPeizerPrattFloor;
  long double v = f > 1 ? ProbF(df, p.gle, f, &st) : ProbFPeizerPratt(df, p.gle, f, &st);
  if (f > 1 && st == ProbStatus::NoConvergence) {
    // With thousands of degrees of freedom (the interaction of a large table, the pooled
    // residual of many trials) the series' terms leave the extended range. The normal
    // approximation is at its most accurate there, its error falling with the df.
    st = ProbStatus::Ok;
    v = ProbFPeizerPratt(df, p.gle, f, &st);
  }
  // A value that is not a number must never reach the report, whatever its cause.
  if (st == ProbStatus::Ok && std::isnan(v)) st = ProbStatus::InvalidArgument;
  if (st != ProbStatus::Ok && status == ProbStatus::Ok) status = st;
  t.p = v > 1 ? pFloor : D(1 - v);
  return t;
}

std::string AnovaRowText(std::string_view label, int df, long double ms, const TFTest& test) {
  std::string s(label);
  s += Int(df, 6) + " " + Fixed(ms, 22, 6) + " " + Fixed(test.fc, 16, 6) + " " +
       Fixed(test.p, 11, 6);
  return s;
}

std::string AnovaRowText(std::string_view label, int df, long double ms, const TAnalysisParams& p,
                         double pFloor, bool guard, ProbStatus& status) {
  return AnovaRowText(label, df, ms, AnovaFTest(df, ms, p, pFloor, guard, status));
}

std::string ResidualRowText(const TAnalysisParams& p) {
  return "Resíduo         " + Int(p.gle, 6) + " " + Fixed(p.QME, 22, 6);
}

void AppendJointAnovaTable(TReport& report, const std::vector<std::string>& titleLines,
                           const std::vector<std::string>& rows, const TAnalysisParams& p) {
  for (const auto& line : titleLines) report.AppendLine(line);
  report.AppendSeparator();
  report.AppendLine(kAnovaHeader);
  report.AppendSeparator();
  for (const auto& row : rows) report.AppendLine(row);
  report.AppendLine(ResidualRowText(p));
  report.AppendSeparator();
}

void AppendWithinGenotypeTable(TReport& report, const TAnalysisParams& p, const TWithinGenotype& w,
                               bool guard, ProbStatus& status) {
  const int a = p.a;
  const int dfDev = w.DfDeviation(a);
  report.AppendLine(kAnovaTitle);
  report.AppendLine(w.bisegmented
                        ? "Para A/Gi, regressão linear Bissegmentada e desvio de regressão"
                        : "Para A/Gi, regressão linear e desvio de regressão");
  report.AppendSeparator();
  report.AppendLine(kAnovaHeader);
  report.AppendSeparator();
  for (int i = 1; i <= p.g; ++i) {
    const std::string n = Int(i, 5) + ") ";
    report.AppendLine(AnovaRowText("A/G     (" + n, a - 1,
                                   D(w.SSAG(i) / static_cast<long double>(a - 1)), p,
                                   kPFloorDeviation, guard, status));
    if (w.bisegmented) {
      report.AppendLine(
          AnovaRowText("Regress.(" + n, 2, D(w.SSR(i) / 2.0L), p, kPFloorDeviation, guard, status));
    } else {
      report.AppendLine(
          AnovaRowText("R.Linear(" + n, 1, w.SSR(i), p, kPFloorDeviation, guard, status));
    }
    report.AppendLine(
        AnovaRowText("Desvio  (" + n, dfDev, w.MSD(i), p, kPFloorDeviation, guard, status));
  }
  report.AppendLine(ResidualRowText(p));
  report.AppendSeparator();
}

std::string ProbStatusCause(ProbStatus status) {
  switch (status) {
    case ProbStatus::Ok:
      return "";
    case ProbStatus::InvalidDf:
      return "graus de liberdade nulos ou negativos num teste F ou t";
    case ProbStatus::InvalidArgument:
      return "estatística de teste inválida (valor não numérico) num teste F ou t";
    case ProbStatus::NoConvergence:
      return "a probabilidade de um teste F não pôde ser calculada (série sem convergência)";
  }
  return "";
}

}  // namespace qv

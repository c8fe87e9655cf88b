#include "analysis/jointanova.h"

#include <cfloat>
#include <cmath>
#include <string>
#include <utility>

#include "analysis/layout.h"
#include "stats/runningsums.h"

namespace qv {
namespace {

// Rounds an extended expression to the 64-bit accumulator it is stored in.
double D(long double x) {
  return static_cast<double>(x);
}

}  // namespace

TJointAnova ComputeJointAnova(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  const long double r = p.r;
  TJointAnova an;

  // Total, genotype by genotype over the whole table.
  TJointAnovaSS total;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) total.Add(m.Y(i, j));
  }
  an.SST = D(r * total.SS());
  an.MedGen = GenotypeMeans(m, g, a);

  // Environments; the grand mean is the mean of the environment means.
  an.MedAmb = EnvironmentMeans(m, g, a);
  TJointAnovaSS env;
  for (int j = 1; j <= a; ++j) {
    an.MediaGeral = D(an.MediaGeral + an.MedAmb(j) / a);
    env.Add(static_cast<double>(an.MedAmb(j)));
  }
  an.SSA = D(r * g * env.SS());
  an.MSA = D(an.SSA / static_cast<long double>(a - 1));

  // Environmental index (Finlay and Wilkinson 1963): the environment's mean less the grand mean.
  an.IndAmb = TIndexed<>(a);
  for (int j = 1; j <= a; ++j) {
    const long double ij = an.MedAmb(j) - an.MediaGeral;
    an.IndAmb(j) = ij;
    an.SI2 = D(an.SI2 + ij * ij);
  }

  TJointAnovaSS gen;
  for (int i = 1; i <= g; ++i) gen.Add(an.MedGen(i));
  an.SSG = D(r * a * gen.SS());
  an.MSG = D(an.SSG / static_cast<long double>(g - 1));

  an.SSGA = D(static_cast<long double>(an.SST) - an.SSA - an.SSG);
  an.MSGA = D(an.SSGA / (static_cast<long double>(a - 1) * (g - 1)));

  // Sums of products with the index, for the slopes and the linear part of the interaction.
  an.SPI = TIndexed<>(g);
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int j = 1; j <= a; ++j) s += m.Y(i, j) * an.IndAmb(j);
    an.SPI(i) = s;
    an.SPP = D(an.SPP + r * s * s);
  }
  return an;
}

TCheck JointAnovaRefusal(const TAnalysisParams& p, int minEnvironments) {
  if (p.g < 2) {
    return TRefusal::BadParameter(
        "a análise conjunta exige pelo menos 2 genótipos (g = " + std::to_string(p.g) + ")");
  }
  if (p.a < minEnvironments) {
    return TRefusal::BadParameter("este modelo exige pelo menos " +
                                  std::to_string(minEnvironments) +
                                  " ambientes (a = " + std::to_string(p.a) + ")");
  }
  if (p.gle <= 0) {
    return TRefusal::BadParameter(
        "os graus de liberdade do resíduo devem ser maiores que zero (gle = " +
        std::to_string(p.gle) + ")");
  }
  if (!(p.QME > 0)) {
    return TRefusal::BadParameter(
        "o quadrado médio do resíduo deve ser maior que zero (QME = " + General(p.QME) + ")");
  }
  if (!(p.r > 0)) {
    return TRefusal::BadParameter(
        "o número de repetições deve ser maior que zero (r = " + General(p.r) + ")");
  }
  return std::nullopt;
}

bool AtRoundingLevel(long double value, long double scale) {
  // The index carries the rounding of the 64-bit grand mean (half an ulp of a double) and of
  // the extended sums; a thousand ulps of a double leaves a wide margin above both and far
  // below any difference a field trial can measure.
  return value <= 1024 * DBL_EPSILON * scale;
}

TCheck ScaleRefusal(const TGxeMeans& m, int g, int a) {
  // sqrt(DBL_MIN) / DBL_EPSILON = 2^-511 / 2^-52 = 2^-459, about 6.7e-139.
  static const long double kSmallest = std::ldexp(1.0L, -459);
  const long double largest = LargestMean(m, g, a);
  if (largest > 0 && largest < kSmallest) {
    return TRefusal::OfVariable(
        "os valores da variável são pequenos demais (o maior, em valor absoluto, é " +
        General(largest) +
        "): as somas de quadrados ficariam abaixo da precisão do programa; multiplique a "
        "variável por uma potência de 10");
  }
  return std::nullopt;
}

TCheck IndexRefusal(const TJointAnova& an, const TAnalysisParams& p) {
  for (double v : {an.SST, an.SSG, an.SSA, an.SSGA, an.SPP, an.SI2}) {
    if (!std::isfinite(v)) return TRefusal::OfVariable(kTooLargeCause);
  }
  long double maxIndex = 0, maxMean = 0;
  for (int j = 1; j <= p.a; ++j) {
    maxIndex = std::fmax(maxIndex, std::fabs(an.IndAmb(j)));
    maxMean = std::fmax(maxMean, std::fabs(an.MedAmb(j)));
  }
  if (an.SI2 == 0 || AtRoundingLevel(maxIndex, maxMean)) {
    return TRefusal::OfVariable(kNullIndexCause);
  }
  return std::nullopt;
}

TWithinGenotype ComputeWithinGenotype(const TGxeMeans& m, const TAnalysisParams& p,
                                      const TJointAnova& an, const TBisegment* seg) {
  const int g = p.g, a = p.a;
  const long double r = p.r;
  TWithinGenotype w;
  w.bisegmented = seg != nullptr;
  w.SSAG = TIndexed<double>(g);
  w.SSR = TIndexed<double>(g);
  w.MSD = TIndexed<double>(g);
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
    w.SSAG(i) = ssag;
    w.SSR(i) = ssr;
    w.MSD(i) = D((static_cast<long double>(ssag) - ssr) / dfDev);
  }
  return w;
}

void TestWithinGenotype(TWithinGenotype& w, const TAnalysisParams& p, bool guard,
                        ProbStatus& status) {
  const int g = p.g, a = p.a;
  const int dfDev = w.DfDeviation(a);
  w.table.titleLines = {std::string(kAnovaTitle),
                        w.bisegmented
                            ? "Para A/Gi, regressão linear Bissegmentada e desvio de regressão"
                            : "Para A/Gi, regressão linear e desvio de regressão"};
  w.table.gle = p.gle;
  w.table.QME = p.QME;
  for (int i = 1; i <= g; ++i) {
    w.table.rows.push_back(GenotypeRow(
        "A/G     (", i, a - 1, D(w.SSAG(i) / static_cast<long double>(a - 1)), p, guard, status));
    if (w.bisegmented) {
      w.table.rows.push_back(GenotypeRow("Regress.(", i, 2, D(w.SSR(i) / 2.0L), p, guard, status));
    } else {
      w.table.rows.push_back(GenotypeRow("R.Linear(", i, 1, w.SSR(i), p, guard, status));
    }
    w.table.rows.push_back(GenotypeRow("Desvio  (", i, dfDev, w.MSD(i), p, guard, status));
  }
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

TAnovaRow JointRow(std::string_view label, int df, long double ms, const TAnalysisParams& p,
                   double pFloor, bool guard, ProbStatus& status) {
  TAnovaRow row;
  row.label = label;
  const auto last = label.find_last_not_of(' ');
  row.name = label.substr(0, last == std::string_view::npos ? 0 : last + 1);
  row.df = df;
  row.ms = ms;
  row.test = AnovaFTest(df, ms, p, pFloor, guard, status);
  return row;
}

TAnovaRow GenotypeRow(std::string_view prefix, int i, int df, long double ms,
                      const TAnalysisParams& p, bool guard, ProbStatus& status) {
  TAnovaRow row = JointRow(prefix, df, ms, p, kPFloorDeviation, guard, status);
  row.label = std::string(prefix) + Int(i, 5) + ") ";
  // "A/G     (" names the source "A/G", "R.Linear(" names "R.Linear".
  const auto end = row.name.find_last_not_of(" (");
  row.name.resize(end == std::string::npos ? 0 : end + 1);
  row.index = i;
  return row;
}

std::vector<TAnovaRow> MainEffectRows(int g, int a, long double msg, long double msa,
                                      long double msga, const TAnalysisParams& p, bool guard,
                                      ProbStatus& status) {
  std::vector<TAnovaRow> rows;
  rows.push_back(JointRow("Genótipos (G)   ", g - 1, msg, p, kPFloorMain, false, status));
  rows.push_back(JointRow("Ambientes (A)   ", a - 1, msa, p, kPFloorMain, guard, status));
  rows.push_back(
      JointRow("GxA             ", (a - 1) * (g - 1), msga, p, kPFloorMain, guard, status));
  return rows;
}

std::string AnovaRowText(const TAnovaRow& row) {
  std::string s(row.label);
  s += Int(row.df, 6) + " " + Fixed(row.ms, 22, 6) + " " + Fixed(row.test.fc, 16, 6) + " " +
       Fixed(row.test.p, 11, 6);
  return s;
}

std::string ResidualRowText(const TAnalysisParams& p) {
  return "Resíduo         " + Int(p.gle, 6) + " " + Fixed(p.QME, 22, 6);
}

void AppendAnovaTable(TReport& report, const TAnovaTable& table) {
  for (const auto& line : table.titleLines) report.AppendLine(line);
  report.AppendSeparator();
  report.AppendLine(kAnovaHeader);
  report.AppendSeparator();
  for (const auto& row : table.rows) report.AppendLine(AnovaRowText(row));
  report.AppendLine("Resíduo         " + Int(table.gle, 6) + " " + Fixed(table.QME, 22, 6));
  report.AppendSeparator();
}

TResultTable AnovaResultTable(std::string id, const TAnovaTable& table) {
  TResultTable t;
  t.id = std::move(id);
  for (const auto& line : table.titleLines) {
    const auto end = line.find_last_not_of(' ');
    if (end == std::string::npos) continue;
    if (!t.title.empty()) t.title += ' ';
    t.title += line.substr(0, end + 1);
  }
  bool indexed = false;
  for (const auto& row : table.rows) indexed = indexed || row.index != 0;
  t.columns = {"FV"};
  if (indexed) t.columns.push_back("i");
  for (const char* c : {"GL", "QM", "Fc", "Pr>Fc"}) t.columns.push_back(c);
  for (const auto& row : table.rows) {
    std::vector<TCell> cells{Label(row.name)};
    if (indexed) cells.push_back(row.index != 0 ? Whole(row.index) : TCell());
    cells.insert(cells.end(), {Whole(row.df), Real(row.ms), Real(row.test.fc), Real(row.test.p)});
    t.rows.push_back(std::move(cells));
  }
  std::vector<TCell> residual{Label("Resíduo")};
  if (indexed) residual.emplace_back();
  residual.insert(residual.end(), {Whole(table.gle), Real(table.QME), TCell(), TCell()});
  t.rows.push_back(std::move(residual));
  return t;
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

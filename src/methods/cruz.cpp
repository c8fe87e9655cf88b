#include "methods/cruz.h"

#include <cmath>
#include <string>

#include "analysis/layout.h"

namespace qv {
namespace {

double D(long double x) {
  return static_cast<double>(x);
}

// T(j) and ST2, or the cause why the favourable segment has no slope of its own.
TComputed<TBisegment> FormBisegment(const TAnalysisParams& p, const TJointAnova& an) {
  // An index exactly 0 counts with the favourable environments.
  double siPos = 0;
  int nPos = 0;
  for (int j = 1; j <= p.a; ++j) {
    if (an.IndAmb(j) >= 0) {
      siPos = D(siPos + an.IndAmb(j));
      ++nPos;
    }
  }
  TBisegment seg{TIndexed<>(p.a), 0};
  long double maxT = 0, maxIndex = 0;
  for (int j = 1; j <= p.a; ++j) {
    maxIndex = std::fmax(maxIndex, std::fabs(an.IndAmb(j)));
    if (an.IndAmb(j) >= 0) {
      const long double t = an.IndAmb(j) - static_cast<long double>(siPos) / nPos;
      seg.T(j) = t;
      seg.ST2 = D(seg.ST2 + t * t);
      maxT = std::fmax(maxT, std::fabs(t));
    }
  }
  // With one favourable environment, or favourable environments of equal index, T is 0 up to
  // the rounding of the 64-bit sum, and B2 and its variance are undefined.
  if (nPos <= 1) {
    return TRefusal::OfVariable(
        "apenas um ambiente tem índice ambiental não negativo: T(j) é nulo e a regressão "
        "bissegmentada não pode ser estimada");
  }
  if (seg.ST2 == 0 || AtRoundingLevel(maxT, maxIndex)) {
    return TRefusal::OfVariable(
        "os ambientes de índice ambiental não negativo têm todos o mesmo índice: T(j) é nulo "
        "e a regressão bissegmentada não pode ser estimada");
  }
  return seg;
}

TCoefficientTest Test(long double estimate, long double h, long double se, int gle,
                      ProbStatus& status) {
  TCoefficientTest c;
  c.estimate = estimate;
  c.t = D((estimate - h) / se);
  c.p = TwoSidedP(gle, c.t, status);
  return c;
}

std::string Fixed10(long double v) {
  return " " + Fixed(v, 10, 6);
}

}  // namespace

TComputed<TCruzResult> CruzCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  // The dialog already keeps g >= 2, a >= 4 and gle, QME, r > 0; checked again for callers
  // that bypass it.
  if (TCheck refusal = JointAnovaRefusal(p, 4)) return *refusal;
  if (TCheck refusal = ScaleRefusal(m, p.g, p.a)) return *refusal;
  TCruzResult res;
  res.anova = ComputeJointAnova(m, p);
  const TJointAnova& an = res.anova;
  if (TCheck refusal = IndexRefusal(an, p)) return *refusal;
  TComputed<TBisegment> segment = FormBisegment(p, an);
  if (segment.Refused()) return segment.Refusal();
  res.segment = std::move(segment).Value();
  const TBisegment& seg = res.segment;
  res.within = ComputeWithinGenotype(m, p, an, &seg);

  const int g = p.g, a = p.a;
  const long double si2 = an.SI2, st2 = seg.ST2, r = p.r, qme = p.QME;
  // Sum of squares of I - T; SI2 - ST2 > 0 because a non-null index has negative values.
  const long double sd = si2 - st2;
  const double v0 = D(qme / (a * r));
  const double v1 = D(qme / (r * sd));
  const double v2 = D(si2 * qme / (r * st2 * sd));
  const double v12 = D(qme / (r * st2));
  res.se0 = std::sqrt(static_cast<long double>(v0));
  res.se1 = std::sqrt(static_cast<long double>(v1));
  res.se2 = std::sqrt(static_cast<long double>(v2));
  res.se12 = std::sqrt(static_cast<long double>(v12));

  std::vector<long double> b1(static_cast<std::size_t>(g)), b2(static_cast<std::size_t>(g));
  for (int i = 1; i <= g; ++i) {
    long double n1 = 0, n2 = 0;
    for (int j = 1; j <= a; ++j) {
      const long double y = m.Y(i, j);
      n1 += y * an.IndAmb(j) - y * seg.T(j);
      n2 += y * seg.T(j) * si2 - y * an.IndAmb(j) * st2;
    }
    b1[static_cast<std::size_t>(i - 1)] = n1 / sd;
    b2[static_cast<std::size_t>(i - 1)] = n2 / (sd * st2);
  }

  // The tests in the order of the report's tables: B1 against 0; B1 and B1 + B2 against 1
  // (responses in unfavourable and favourable environments); B2, the change of slope between
  // the two segments, against 0.
  ProbStatus status = ProbStatus::Ok;
  res.genotypes.resize(static_cast<std::size_t>(g));
  for (int i = 1; i <= g; ++i) {
    TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    c.b0 = an.MedGen(i);
    c.b1Zero = Test(b1[static_cast<std::size_t>(i - 1)], 0, res.se1, p.gle, status);
  }
  for (int i = 1; i <= g; ++i) {
    TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    const long double b = b1[static_cast<std::size_t>(i - 1)];
    c.b1One = Test(b, 1, res.se1, p.gle, status);
    c.b12One = Test(b + b2[static_cast<std::size_t>(i - 1)], 1, res.se12, p.gle, status);
  }
  for (int i = 1; i <= g; ++i) {
    TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    c.b2Zero = Test(b2[static_cast<std::size_t>(i - 1)], 0, res.se2, p.gle, status);
  }

  res.summary.titleLines = {std::string(kAnovaTitle),
                            "da interação genótipos x ambientes (Cruz, Torres e Vencovsky,1989)"};
  res.summary.rows = MainEffectRows(g, a, an.MSG, an.MSA, an.MSGA, p, true, status);
  res.summary.gle = p.gle;
  res.summary.QME = p.QME;
  TestWithinGenotype(res.within, p, true, status);
  res.deviations = ComputeDeviationVariance(res.within, p);

  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendCruzReport(TReport& report, const TCruzResult& res) {
  const int g = static_cast<int>(res.genotypes.size());
  report.AppendSeparator();
  report.AppendLine(
      " G(i)        B0(i) (média)          B1(i)     t(H0: B1(i)= 0)       Pr>|t|   ");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    report.AppendLine(SlopeRowText(i, c.b0, c.b1Zero.estimate, c.b1Zero.t, c.b1Zero.p));
  }
  report.AppendSeparator();
  report.AppendLine(" Erro padrão de Bo:      " + Fixed(res.se0, 15, 6));
  report.AppendLine(" Erro padrão de B1:      " + Fixed(res.se1, 15, 6));
  report.AppendLine(" Erro padrão de B2:      " + Fixed(res.se2, 15, 6));
  report.AppendLine(" Erro padrão de B1 + B2: " + Fixed(res.se12, 15, 6));
  report.AppendSeparator();
  report.AppendBlankLines(2);

  report.AppendLine("Estimativas dos parâmetros de quorvandelia e os seus testes ");
  report.AppendSeparator();
  report.AppendLine("  G(i)      B1(i) t(H0:B1=1)     Pr>|t|      B1+B2 t(B1+B2=1)     Pr>|t|");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    report.AppendLine(Int(i, 6) + Fixed10(c.b1One.estimate) + Fixed10(c.b1One.t) +
                      Fixed10(c.b1One.p) + Fixed10(c.b12One.estimate) + Fixed10(c.b12One.t) +
                      Fixed10(c.b12One.p));
  }
  report.AppendSeparator();
  report.AppendBlankLines(2);

  constexpr int kNarrow = 58;
  report.AppendLine("Estimativas dos parâmetros de quorvandelia e os seus testes ");
  report.AppendSeparator(kNarrow);
  report.AppendLine("  G(i)      B2(i) t(H0:B2=0)     Pr>|t|");
  report.AppendSeparator(kNarrow);
  for (int i = 1; i <= g; ++i) {
    const TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    report.AppendLine(Int(i, 6) + Fixed10(c.b2Zero.estimate) + Fixed10(c.b2Zero.t) +
                      Fixed10(c.b2Zero.p));
  }
  report.AppendSeparator(kNarrow);
  report.AppendBlankLines(3);

  AppendAnovaTable(report, res.summary);
  report.AppendBlankLines(2);
  AppendAnovaTable(report, res.within.table);
  report.AppendBlankLines(3);
  AppendDeviationVarianceTable(report, res.deviations);
  AppendEnvironmentTable(report, res.anova, &res.segment);
}

TResultData ResultData(const TCruzResult& res) {
  const int g = static_cast<int>(res.genotypes.size());
  TResultTable slopes{
      "slopes", "", {"G(i)", "B0(i) (média)", "B1(i)", "t(H0: B1(i)= 0)", "Pr>|t|"}, {}};
  TResultTable responses{
      "responses",
      "Estimativas dos parâmetros de quorvandelia e os seus testes",
      {"G(i)", "B1(i)", "t(H0:B1=1)", "Pr>|t|", "B1+B2", "t(B1+B2=1)", "Pr>|t| (B1+B2)"},
      {}};
  TResultTable change{"change_of_slope",
                      "Estimativas dos parâmetros de quorvandelia e os seus testes",
                      {"G(i)", "B2(i)", "t(H0:B2=0)", "Pr>|t|"},
                      {}};
  for (int i = 1; i <= g; ++i) {
    const TCruzGenotype& c = res.genotypes[static_cast<std::size_t>(i - 1)];
    slopes.rows.push_back(
        {Whole(i), Real(c.b0), Real(c.b1Zero.estimate), Real(c.b1Zero.t), Real(c.b1Zero.p)});
    responses.rows.push_back({Whole(i), Real(c.b1One.estimate), Real(c.b1One.t), Real(c.b1One.p),
                              Real(c.b12One.estimate), Real(c.b12One.t), Real(c.b12One.p)});
    change.rows.push_back({Whole(i), Real(c.b2Zero.estimate), Real(c.b2Zero.t), Real(c.b2Zero.p)});
  }
  TResultTable errors{"standard_errors",
                      "Erro padrão",
                      {"", "Erro padrão"},
                      {{Label("Bo"), Real(res.se0)},
                       {Label("B1"), Real(res.se1)},
                       {Label("B2"), Real(res.se2)},
                       {Label("B1 + B2"), Real(res.se12)}}};
  TResultData data;
  data.tables = {slopes,
                 errors,
                 responses,
                 change,
                 AnovaResultTable("joint_anova", res.summary),
                 AnovaResultTable("within_genotype", res.within.table),
                 DeviationVarianceResultTable(res.deviations),
                 EnvironmentResultTable(res.anova, &res.segment)};
  return data;
}

TMethod CruzMethod() {
  TMethod m;
  m.name = "cruz";
  // Two regressors and an intercept leave deviations only from the fourth environment on.
  m.minGenotypes = 2;
  m.minEnvironments = 4;
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.phase2RequirePositive = true;
  m.repMessage = "< r >: O valor de r deve ser inteiro (ou real): ";
  m.titleLine =
      "Análise de Quorvandelia de acordo com o modelo de Cruz, Torres e Vencovsky (1989)\r\n";
  m.beforeVariableLine = "Modelo Bissegmentado\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(CruzCompute(c.means, c.params),
                     [&](const TCruzResult& r) { AppendCruzReport(c.report, r); });
  };
  return m;
}

}  // namespace qv

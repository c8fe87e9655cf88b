#include "methods/cruz.h"

#include <cmath>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "analysis/regressiontables.h"

namespace qv {
namespace {

double D(long double x) {
  return static_cast<double>(x);
}

// T(j) and ST2, or the cause why the favourable segment has no slope of its own.
std::string FormBisegment(const TAnalysisParams& p, const TJointAnova& an, TBisegment& seg) {
  // An index exactly 0 counts with the favourable environments.
  double siPos = 0;
  int nPos = 0;
  for (int j = 1; j <= p.a; ++j) {
    if (an.IndAmb(j) >= 0) {
      siPos = D(siPos + an.IndAmb(j));
      ++nPos;
    }
  }
  seg.t.assign(static_cast<std::size_t>(p.a), 0.0L);
  seg.ST2 = 0;
  long double maxT = 0, maxIndex = 0;
  for (int j = 1; j <= p.a; ++j) {
    maxIndex = std::fmax(maxIndex, std::fabs(an.IndAmb(j)));
    if (an.IndAmb(j) >= 0) {
      const long double t = an.IndAmb(j) - static_cast<long double>(siPos) / nPos;
      seg.t[static_cast<std::size_t>(j - 1)] = t;
      seg.ST2 = D(seg.ST2 + t * t);
      maxT = std::fmax(maxT, std::fabs(t));
    }
  }
  // With one favourable environment, or favourable environments of equal index, T is 0 up to
  // the rounding of the 64-bit sum, and B2 and its variance are undefined.
  if (nPos <= 1) {
    return "apenas um ambiente tem índice ambiental não negativo: T(j) é nulo e a regressão "
           "bissegmentada não pode ser estimada";
  }
  if (seg.ST2 == 0 || AtRoundingLevel(maxT, maxIndex)) {
    return "os ambientes de índice ambiental não negativo têm todos o mesmo índice: T(j) é nulo "
           "e a regressão bissegmentada não pode ser estimada";
  }
  return "";
}

std::string Fixed10(long double v) {
  return " " + Fixed(v, 10, 6);
}

}  // namespace

TStepResult CruzCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  // The dialog already keeps g >= 2, a >= 4 and gle, QME, r > 0; checked again for callers
  // that bypass it.
  if (auto cause = JointAnovaRefusal(p, 4); !cause.empty()) return TStepResult::Refuse(cause);
  const TJointAnova an = ComputeJointAnova(m, p);
  if (auto cause = IndexRefusal(m, p, an); !cause.empty()) return TStepResult::Refuse(cause);
  TBisegment seg;
  if (auto cause = FormBisegment(p, an, seg); !cause.empty()) return TStepResult::Refuse(cause);
  const TWithinGenotype within = ComputeWithinGenotype(m, p, an, &seg);

  const int g = p.g, a = p.a;
  const long double si2 = an.SI2, st2 = seg.ST2, r = p.r, qme = p.QME;
  // Sum of squares of I - T; SI2 - ST2 > 0 because a non-null index has negative values.
  const long double sd = si2 - st2;
  const double v0 = D(qme / (a * r));
  const double v1 = D(qme / (r * sd));
  const double v2 = D(si2 * qme / (r * st2 * sd));
  const double v12 = D(qme / (r * st2));
  const long double se1 = std::sqrt(static_cast<long double>(v1));
  const long double se2 = std::sqrt(static_cast<long double>(v2));
  const long double se12 = std::sqrt(static_cast<long double>(v12));

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

  // The variable's tables are formed apart and appended whole, so that a failed test refuses
  // the variable without leaving half its tables in the report.
  TReport out;
  ProbStatus status = ProbStatus::Ok;
  out.AppendSeparator();
  out.AppendLine(" G(i)        B0(i) (média)          B1(i)     t(H0: B1(i)= 0)       Pr>|t|   ");
  out.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const long double b = b1[static_cast<std::size_t>(i - 1)];
    const double t0 = D(b / se1);
    out.AppendLine(SlopeRowText(i, m.MedGen(i), b, t0, TwoSidedP(p.gle, t0, status)));
  }
  out.AppendSeparator();
  out.AppendLine(" Erro padrão de Bo:      " +
                 Fixed(std::sqrt(static_cast<long double>(v0)), 15, 6));
  out.AppendLine(" Erro padrão de B1:      " + Fixed(se1, 15, 6));
  out.AppendLine(" Erro padrão de B2:      " + Fixed(se2, 15, 6));
  out.AppendLine(" Erro padrão de B1 + B2: " + Fixed(se12, 15, 6));
  out.AppendSeparator();
  out.AppendBlankLines(2);

  // Responses in unfavourable (B1) and favourable (B1 + B2) environments, tested against 1.
  out.AppendLine("Estimativas dos parâmetros de quorvandelia e os seus testes ");
  out.AppendSeparator();
  out.AppendLine("  G(i)      B1(i) t(H0:B1=1)     Pr>|t|      B1+B2 t(B1+B2=1)     Pr>|t|");
  out.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const long double b = b1[static_cast<std::size_t>(i - 1)];
    const long double b12 = b + b2[static_cast<std::size_t>(i - 1)];
    const double t1 = D((b - 1) / se1);
    const double t12 = D((b12 - 1) / se12);
    out.AppendLine(Int(i, 6) + Fixed10(b) + Fixed10(t1) + Fixed10(TwoSidedP(p.gle, t1, status)) +
                   Fixed10(b12) + Fixed10(t12) + Fixed10(TwoSidedP(p.gle, t12, status)));
  }
  out.AppendSeparator();
  out.AppendBlankLines(2);

  // The change of slope between the two segments, tested against 0.
  constexpr int kNarrow = 58;
  out.AppendLine("Estimativas dos parâmetros de quorvandelia e os seus testes ");
  out.AppendSeparator(kNarrow);
  out.AppendLine("  G(i)      B2(i) t(H0:B2=0)     Pr>|t|");
  out.AppendSeparator(kNarrow);
  for (int i = 1; i <= g; ++i) {
    const long double b = b2[static_cast<std::size_t>(i - 1)];
    const double t2 = D(b / se2);
    out.AppendLine(Int(i, 6) + Fixed10(b) + Fixed10(t2) + Fixed10(TwoSidedP(p.gle, t2, status)));
  }
  out.AppendSeparator(kNarrow);
  out.AppendBlankLines(3);

  const std::vector<std::string> rows = {
      AnovaRowText("Genótipos (G)   ", g - 1, an.MSG, p, kPFloorMain, false, status),
      AnovaRowText("Ambientes (A)   ", a - 1, an.MSA, p, kPFloorMain, true, status),
      AnovaRowText("GxA             ", (a - 1) * (g - 1), an.MSGA, p, kPFloorMain, true, status),
  };
  AppendJointAnovaTable(out,
                        {std::string(kAnovaTitle),
                         "da interação genótipos x ambientes (Cruz, Torres e Vencovsky,1989)"},
                        rows, p);
  out.AppendBlankLines(2);
  AppendWithinGenotypeTable(out, p, within, true, status);
  out.AppendBlankLines(3);
  AppendDeviationVarianceTable(out, p, within);
  AppendEnvironmentTable(out, m, p, an, &seg);

  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));
  report.Append(out.Text());
  return TStepResult::Done();
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
  m.compute = CruzCompute;
  return m;
}

TRunOutcome CruzRun(TSession& session, THost& host) {
  return RunAnalysis(CruzMethod(), session, host);
}

}  // namespace qv

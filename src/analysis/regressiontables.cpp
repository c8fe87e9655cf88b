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

TSlopeTable ComputeSlopeTable(const TJointAnova& an, const TAnalysisParams& p, ProbStatus& status) {
  const double v0 = static_cast<double>(p.QME / (static_cast<long double>(p.a) * p.r));
  const double v1 = static_cast<double>(p.QME / (static_cast<long double>(p.r) * an.SI2));
  TSlopeTable s;
  s.se0 = std::sqrt(static_cast<long double>(v0));
  s.se1 = std::sqrt(static_cast<long double>(v1));
  for (int i = 1; i <= p.g; ++i) {
    TSlopeRow row;
    row.b0 = an.MedGen(i);
    row.b1 = an.SPI(i) / an.SI2;
    row.t = static_cast<double>((row.b1 - 1) / s.se1);
    row.p = TwoSidedP(p.gle, row.t, status);
    s.rows.push_back(row);
  }
  return s;
}

void AppendSlopeTable(TReport& report, const TSlopeTable& s) {
  report.AppendSeparator();
  report.AppendLine(
      " G(i)        B0(i) (média)          B1(i)     t(H0: B1(i)= 1)       Pr>|t|   ");
  report.AppendSeparator();
  int i = 0;
  for (const TSlopeRow& row : s.rows)
    report.AppendLine(SlopeRowText(++i, row.b0, row.b1, row.t, row.p));
  report.AppendSeparator();
  report.AppendLine(" Erro padrão de Bo: " + Fixed(s.se0, 15, 6));
  report.AppendLine(" Erro padrão de B1: " + Fixed(s.se1, 15, 6));
  report.AppendSeparator();
}

std::vector<TResultTable> SlopeResultTables(const TSlopeTable& s) {
  TResultTable rows{
      "slopes", "", {"G(i)", "B0(i) (média)", "B1(i)", "t(H0: B1(i)= 1)", "Pr>|t|"}, {}};
  int i = 0;
  for (const TSlopeRow& row : s.rows) {
    rows.rows.push_back({Whole(++i), Real(row.b0), Real(row.b1), Real(row.t), Real(row.p)});
  }
  TResultTable errors{"standard_errors",
                      "Erro padrão",
                      {"", "Erro padrão"},
                      {{Label("Bo"), Real(s.se0)}, {Label("B1"), Real(s.se1)}}};
  return {rows, errors};
}

TDeviationVariance ComputeDeviationVariance(const TWithinGenotype& w, const TAnalysisParams& p) {
  TDeviationVariance d{TIndexed<>(p.g), TIndexed<>(p.g)};
  for (int i = 1; i <= p.g; ++i) {
    d.S2D(i) = (static_cast<long double>(w.MSD(i)) - p.QME) / p.r;
    const long double r2 = w.SSAG(i) > 0 ? static_cast<long double>(w.SSR(i)) / w.SSAG(i) : 0.0L;
    d.R2percent(i) = 100 * r2;
  }
  return d;
}

void AppendDeviationVarianceTable(TReport& report, const TDeviationVariance& d) {
  report.AppendSeparator();
  report.AppendLine("G (i)          Est. Var. Desvio               R^2 (%)");
  report.AppendSeparator();
  for (int i = 1; i <= d.S2D.Size(); ++i) {
    report.AppendLine(Int(i, 10) + " " + Fixed(d.S2D(i), 20, 6) + " " +
                      Fixed(d.R2percent(i), 20, 2));
  }
  report.AppendSeparator();
  report.AppendLine(
      "Observação: A significância dos componentes de variância dos desvios se encontram na");
  report.AppendLine("            análise de variância apresentada anteriormente (Desv. regressão)");
  report.AppendBlankLines(2);
}

TResultTable DeviationVarianceResultTable(const TDeviationVariance& d) {
  TResultTable t{"deviation_variance", "", {"G (i)", "Est. Var. Desvio", "R^2 (%)"}, {}};
  for (int i = 1; i <= d.S2D.Size(); ++i) {
    t.rows.push_back({Whole(i), Real(d.S2D(i)), Real(d.R2percent(i))});
  }
  return t;
}

void AppendEnvironmentTable(TReport& report, const TJointAnova& an, const TBisegment* seg) {
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
  for (int j = 1; j <= an.MedAmb.Size(); ++j) {
    std::string line =
        Int(j, 10) + " " + Fixed(an.MedAmb(j), 20, 6) + " " + Fixed(an.IndAmb(j), 20, 6) + " ";
    if (seg) line += Fixed(seg->T(j), 20, 6) + " ";
    report.AppendLine(line);
  }
  report.AppendSeparator();
  report.AppendBlankLines(3);
}

TResultTable EnvironmentResultTable(const TJointAnova& an, const TBisegment* seg) {
  TResultTable t{"environments",
                 "Média dos ambientes e valores do índice ambiental",
                 {"A (j)", "Média", "Índice"},
                 {}};
  if (seg) t.columns.push_back("T(Ij)");
  for (int j = 1; j <= an.MedAmb.Size(); ++j) {
    std::vector<TCell> row{Whole(j), Real(an.MedAmb(j)), Real(an.IndAmb(j))};
    if (seg) row.push_back(Real(seg->T(j)));
    t.rows.push_back(std::move(row));
  }
  return t;
}

}  // namespace qv

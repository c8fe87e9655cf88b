#include "segmented/fitreport.h"

#include <algorithm>
#include <cmath>

#include "analysis/layout.h"
#include "analysis/reporthalves.h"
#include "stats/runningsums.h"

namespace qv {
namespace {

template <typename TSum>
void MeansSums(const TGxeMeans& means, const TAnalysisParams& p, TMeansAnova& r) {
  const int g = p.g, a = p.a;
  TSum all, gen, env;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) all.Add(means.Y(i, j));
    gen.Add(r.margins.MedGen(i));
  }
  r.SST = all.SS() * p.r;
  r.SSG = gen.SS() * p.r * a;
  for (int j = 1; j <= a; ++j) env.Add(r.margins.MedAmb(j));
  r.SSA = env.SS() * g * p.r;
  r.MSA = r.SSA / (a - 1);
  r.SSGA = r.SST - r.SSA - r.SSG;
  r.MSGA = r.SSGA / ((g - 1) * (a - 1));
  r.MSG = r.SSG / (g - 1);
  r.T = r.SSA + r.SSGA + r.SSG;
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

// From this many parameters on, two threads write the covariance matrix.
constexpr int kParallelCovarianceRows = 200;

// Lines of up to six pieces; append(line, k) appends piece k (1..count) to the line.
template <class TAppendPiece>
void AppendSixToALine(TReport& report, int count, const TAppendPiece& append) {
  std::string line;
  for (int k = 1; k <= count; ++k) {
    append(line, k);
    if (k % 6 == 0) {
      report.AppendLine(line);
      line.clear();
    }
  }
  if (!line.empty()) report.AppendLine(line);
}

std::string Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

TMeansAnova ComputeMeansAnova(const TGxeMeans& means, const TAnalysisParams& p, ProbStatus& status,
                              bool doublePrecision) {
  TMeansAnova r;
  r.margins = Margins(means, p.g, p.a);
  if (doublePrecision) {
    MeansSums<TDoubleSS>(means, p, r);
    // Silva's models hold every sum of squares of the means in 64 bits.
    for (long double* v : {&r.SST, &r.SSG, &r.SSA, &r.SSGA, &r.MSG, &r.MSA, &r.MSGA, &r.T}) {
      *v = static_cast<double>(*v);
    }
  } else {
    MeansSums<TExtendedSS>(means, p, r);
  }
  // The main effect of genotypes is tested as it comes; the environment and interaction rows
  // take a non-positive ratio as 1e-8, as the bisegmented regression does (Cruz et al. 1989).
  r.table.titleLines = {"Resumo da análise de variância "};
  r.table.rows = MainEffectRows(p.g, p.a, r.MSG, r.MSA, r.MSGA, p, true, status);
  r.table.gle = p.gle;
  r.table.QME = p.QME;
  return r;
}

void AppendMeansAnova(TReport& report, const TMeansAnova& v, char decimalSeparator) {
  report.AppendLine(v.table.titleLines.front());
  report.AppendSeparator();
  report.AppendLine(kAnovaHeader);
  report.AppendSeparator();
  for (const TAnovaRow& row : v.table.rows) report.AppendLine(AnovaRowText(row));
  report.AppendLine("Resíduo         " + Int(v.table.gle, 6) + " " + Fixed(v.table.QME, 22, 6));
  report.AppendSeparator();
  report.AppendLine("Média geral:  " + General(v.margins.MediaGeral, decimalSeparator));
  report.AppendSeparator();
  report.AppendBlankLines(1);
}

void AppendMeansAnovaData(TResultData& data, const TMeansAnova& v) {
  data.values.push_back({"Média geral", Real(v.margins.MediaGeral)});
  data.tables.push_back(AnovaResultTable("means_anova", v.table));
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

TFitAnova ComputeFitAnova(int q, int d, long double ssm, long double ssd, const TAnalysisParams& p,
                          ProbStatus& status, bool doubleSums) {
  long double msm = ssm / q, msd = ssd / d;
  long double residualSS = static_cast<long double>(p.gle) * p.QME;
  if (doubleSums) {
    msm = static_cast<double>(msm);
    msd = static_cast<double>(msd);
    residualSS = static_cast<double>(residualSS);
  }
  TFitAnova a;
  a.model = {"Modelo corr.", q, ssm, msm, FitAnovaTest(q, msm, p, status)};
  a.deviation = {"Desvio      ", d, ssd, msd, FitAnovaTest(d, msd, p, status)};
  a.gle = p.gle;
  a.residualSS = residualSS;
  a.QME = p.QME;
  return a;
}

void AppendFitAnova(TReport& report, const TFitAnova& a) {
  report.AppendSeparator();
  report.AppendLine(kFitAnovaHeader);
  report.AppendSeparator();
  for (const TFitAnovaRow* row : {&a.model, &a.deviation}) {
    report.AppendLine(row->label + Int(row->df, 5) + " " + FitSumText(row->ss) + "  " +
                      FitSumText(row->ms) + "  " + Fixed(row->test.F, 14, 6) + "  " +
                      Fixed(row->test.pr, 10, 6));
  }
  report.AppendLine("Resíduo     " + Int(a.gle, 5) + " " + FitSumText(a.residualSS) + "  " +
                    FitSumText(a.QME));
  report.AppendSeparator();
}

TResultTable FitAnovaResultTable(const TFitAnova& a) {
  TResultTable t{"fit_anova", "", {"FV", "GL", "SQ", "QM", "F", "Pr>F"}, {}};
  for (const TFitAnovaRow* row : {&a.model, &a.deviation}) {
    t.rows.push_back({Label(Trimmed(row->label)), Whole(row->df), Real(row->ss), Real(row->ms),
                      Real(row->test.F), Real(row->test.pr)});
  }
  t.rows.push_back(
      {Label("Resíduo"), Whole(a.gle), Real(a.residualSS), Real(a.QME), TCell(), TCell()});
  return t;
}

TFitSummary Summarize(const TFitEngine& fit, const TFitResult& result, double r,
                      long double scanSSE) {
  TFitSummary s;
  s.passes = fit.Pass();
  s.loopPasses = result.loopPasses;
  s.converged = result.converged;
  s.stalled = result.stalled;
  s.SSE = fit.SSE();
  s.genotypesAtBound = result.genotypesAtBound;
  s.scanned = scanSSE >= 0;
  s.scanSSE = s.scanned ? scanSSE : 0;
  s.notes = FitNotes(s, r);
  return s;
}

namespace {

// "2", "2 e 4", "2, 4 e 6".
std::string ListOfNumbers(const std::vector<int>& numbers) {
  std::string text;
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    if (k > 0) text += k + 1 == numbers.size() ? " e " : ", ";
    text += std::to_string(numbers[k]);
  }
  return text;
}

std::string Trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

}  // namespace

std::vector<std::string> FitNotes(const TFitSummary& s, double r) {
  std::vector<std::string> lines;
  if (!s.converged) {
    lines.push_back(s.stalled
                        ? "Nota: o ajuste parou sem convergir (nenhum passo reduziu a soma de "
                          "quadrados); as estimativas não são de mínimo."
                        : "Nota: o ajuste não convergiu em " + std::to_string(s.maxPasses) +
                              " iterações; as estimativas não são de mínimo.");
  }
  const std::vector<int>& bound = s.genotypesAtBound;
  if (bound.size() == 1) {
    lines.push_back("Nota: a junção do genótipo " + ListOfNumbers(bound) +
                    " parou no limite permitido (segundo menor ou segundo maior valor do índice).");
  } else if (!bound.empty()) {
    lines.push_back("Nota: as junções dos genótipos " + ListOfNumbers(bound) +
                    " pararam no limite permitido (segundo menor ou segundo maior valor do "
                    "índice).");
  }
  if (s.ScanBeatsFit()) {
    lines.push_back("Nota: a varredura das junções encontrou SQ do desvio menor, " +
                    Trimmed(FitSumText(r * s.scanSSE)) +
                    (s.converged ? "; estas estimativas são de um mínimo local." : "."));
  }
  return lines;
}

void AppendPasses(TReport& report, const TFitSummary& s, char decimalSeparator) {
  report.AppendLine("Número de iterações:   " + General(s.passes, decimalSeparator));
  for (const std::string& note : s.notes) report.AppendLine(note);
}

TFitEnd FitEndData(const TFitSummary& s) {
  TFitEnd end;
  end.converged = s.converged;
  end.stop = s.converged ? "convergiu" : s.stalled ? "sem progresso" : "limite de iterações";
  end.sse = s.SSE;
  end.junctionsAtBound.assign(s.genotypesAtBound.begin(), s.genotypesAtBound.end());
  if (s.scanned) end.scanSSE = s.scanSSE;
  end.scanBeatsFit = s.ScanBeatsFit();
  end.notes = s.notes;
  return end;
}

std::vector<TResultValue> FitValues(const TFitSummary& s) {
  return {{"Número de iterações", Real(s.passes)}};
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

void AppendParamTable(TReport& report, const TParamTable& t) {
  AppendTableHead(report, {t.header});
  for (const TParamRow& row : t.rows) {
    report.AppendLine(ParameterRowText(t.prefix + Int(row.index, 3) + t.suffix + " ", row.estimate,
                                       t.estimateWidth, row.test, t.probLayout));
  }
  AppendTableEnd(report);
}

TResultTable ParamResultTable(const TParamTable& t) {
  // The header names the test: "t p/ b1(i)=1", "t p/ U(j)=0".
  const std::string header = Trimmed(t.header);
  const auto testAt = header.find("t p/");
  const auto prAt = header.find("Pr>|t|");
  const std::string test =
      testAt == std::string::npos ? "t" : Trimmed(header.substr(testAt, prAt - testAt));
  TResultTable r{
      t.id, "", {"Parâmetro", "índice", "Estimativa", "Erro Padrão", test, "Pr>|t|"}, {}};
  for (const TParamRow& row : t.rows) {
    r.rows.push_back({Label(t.name), Whole(row.index), Real(row.estimate), Real(row.test.se),
                      Real(row.test.t), Real(row.test.pr)});
  }
  return r;
}

TIndexed<> Estimates(const TFitEngine& fit, int count, const std::function<int(int)>& position) {
  TIndexed<> v(count);
  for (int k = 1; k <= count; ++k) v(k) = fit.Theta(position(k));
  return v;
}

void TestEach(TParamTable& table, int count, const std::function<int(int)>& position, long double h,
              const TFitEngine& fit, const TAnalysisParams& p, ProbStatus& status) {
  for (int k = 1; k <= count; ++k) {
    const int at = position(k);
    table.rows.push_back({k, fit.Theta(at), TestParameter(fit, at, h, p, status)});
  }
}

std::vector<TParamTable> InterceptSlopeTables(const TFitEngine& fit, const TAnalysisParams& p,
                                              const TGenotypeParameters& at, TProbLayout probLayout,
                                              ProbStatus& status) {
  struct TTableKind {
    const char* id;
    const char* header;
    const char* name;
    const char* prefix;  // the label: prefix, Int(3) of the genotype, suffix, " "
    const char* suffix;
    int (*position)(int);
    long double h;  // the value the t test compares the estimate with
  };
  const TTableKind kinds[] = {
      {"a=0", "Parâmetro       Estimativa     Erro Padrão     t p/ a(i)=0          Pr>|t|    ", "a",
       "a(", ")   ", at.a, 0},
      {"b1=0", "Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=0          Pr>|t|  ",
       "b1", "b1(", ")  ", at.b1, 0},
      {"b1=1", "Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=1          Pr>|t|  ",
       "b1", "b1(", ")  ", at.b1, 1},
      {"b2=0", "Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=0          Pr>|t|  ",
       "b2", "b2(", ")  ", at.b2, 0},
      {"b2=1", "Parâmetro       Estimativa     Erro Padrão     t p/ b2(i)=1          Pr>|t|  ",
       "b2", "b2(", ")  ", at.b2, 1},
  };
  std::vector<TParamTable> tables;
  for (const TTableKind& kind : kinds) {
    TParamTable t{kind.id, kind.header, kind.name, kind.prefix, kind.suffix, 16, probLayout, {}};
    TestEach(t, p.g, kind.position, kind.h, fit, p, status);
    tables.push_back(std::move(t));
  }

  // The change of slope between the segments, with the standard error of a difference.
  TParamTable change{
      "b1=b2",    "Parâmetro       Estimativa     Erro Padrão     t p/ b1(i)=b2(i)      Pr>|t|  ",
      "b2-b1",    "b2-b1(",
      ")",        15,
      probLayout, {}};
  for (int i = 1; i <= p.g; ++i) {
    const int b1 = at.b1(i), b2 = at.b2(i);
    change.rows.push_back(
        {i, fit.Theta(b2) - fit.Theta(b1), TestDifference(fit, b1, b2, p, status)});
  }
  tables.push_back(std::move(change));
  return tables;
}

TParamTable IndexTable(const TFitEngine& fit, int first, const TAnalysisParams& p,
                       ProbStatus& status) {
  TParamTable t{"U=0",
                "Parâmetro       Estimativa     Erro Padrão     t p/ U(j)=0         Pr>|t|  ",
                "U",
                "U(",
                ")    ",
                16,
                TProbLayout::Fixed,
                {}};
  TestEach(
      t, p.a, [first](int j) { return first + j; }, 0, fit, p, status);
  return t;
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

TCovarianceMatrix::TCovarianceMatrix(const TFitEngine& fit, int parameters,
                                     const TAnalysisParams& p,
                                     const std::function<std::string(int)>& label) {
  labels_.reserve(static_cast<std::size_t>(parameters));
  for (int k = 1; k <= parameters; ++k) labels_.push_back(label(k));
  upper_.reserve(static_cast<std::size_t>(parameters) * (parameters + 1) / 2);
  for (int row = 1; row <= parameters; ++row) {
    for (int col = row; col <= parameters; ++col)
      upper_.push_back(Covariance(fit, row, col, p.QME, p.r));
  }
}

bool TCovarianceMatrix::Finite() const {
  return std::all_of(upper_.begin(), upper_.end(), [](long double x) { return std::isfinite(x); });
}

long double TCovarianceMatrix::operator()(int p, int q) const {
  const int lo = std::min(p, q), hi = std::max(p, q), n = Parameters();
  // Rows 1 .. lo - 1 hold n, n - 1, ..., n - lo + 2 entries.
  const std::size_t before = static_cast<std::size_t>(lo - 1) * (2 * n - lo + 2) / 2;
  return upper_[before + static_cast<std::size_t>(hi - lo)];
}

void AppendCovarianceMatrix(TReport& report, const TCovarianceMatrix& matrix) {
  const int parameters = matrix.Parameters();
  AppendTableHead(report, {"Matriz de variância e covariância dos parâmetros"});
  AppendSixToALine(report, parameters, [&](std::string& line, int k) { line += matrix.Label(k); });
  report.AppendSeparator();
  // A 600-parameter matrix is 360,000 figures: each is written straight into its line, and on
  // a large matrix a second thread writes the second half of the rows into a buffer of its
  // own, appended after the first half.
  const auto rowsOf = [&](int from, int to, TReport& out) {
    for (int row = from; row <= to; ++row) {
      AppendSixToALine(out, parameters, [&](std::string& line, int col) {
        AppendFixed(line, matrix(row, col), 12, 5);
      });
      out.AppendBlankLines(1);
    }
  };
  AppendInTwoHalves(report, parameters, parameters >= kParallelCovarianceRows, rowsOf);
  AppendTableEnd(report);
}

TResultTable CovarianceResultTable(const TCovarianceMatrix& matrix) {
  TResultTable t{"covariance", "Matriz de variância e covariância dos parâmetros", {""}, {}};
  for (int k = 1; k <= matrix.Parameters(); ++k) t.columns.push_back(Trimmed(matrix.Label(k)));
  for (int row = 1; row <= matrix.Parameters(); ++row) {
    std::vector<TCell> cells{Label(Trimmed(matrix.Label(row)))};
    for (int col = 1; col <= matrix.Parameters(); ++col) cells.push_back(Real(matrix(row, col)));
    t.rows.push_back(std::move(cells));
  }
  return t;
}

TFittedMeans FittedMeans(const TGxeMeans& means, const TSegmentedModel& model,
                         const TFitEngine& fit) {
  TFittedMeans v;
  v.g = model.Genotypes();
  v.a = model.Environments();
  for (int i = 1; i <= v.g; ++i) {
    for (int j = 1; j <= v.a; ++j) {
      v.observed.push_back(means.Y(i, j));
      v.fitted.push_back(model.ModelValue(fit.ThetaData(), i, j));
    }
  }
  return v;
}

void AppendObservedAndFitted(TReport& report, const TFittedMeans& v) {
  AppendTableHead(report, {"                                     Valor                Valor",
                           "Genótipo      Ambiente             observado             estimado"});
  for (int i = 1; i <= v.g; ++i) {
    for (int j = 1; j <= v.a; ++j) {
      report.AppendLine(Int(i, 8) + "  " + Int(j, 12) + " " + Fixed(v.Observed(i, j), 21, 5) + " " +
                        Fixed(v.Fitted(i, j), 20, 6));
    }
  }
  AppendTableEnd(report);
}

TResultTable FittedResultTable(const TFittedMeans& v) {
  TResultTable t{"fitted", "", {"Genótipo", "Ambiente", "Valor observado", "Valor estimado"}, {}};
  for (int i = 1; i <= v.g; ++i) {
    for (int j = 1; j <= v.a; ++j) {
      t.rows.push_back({Whole(i), Whole(j), Real(v.Observed(i, j)), Real(v.Fitted(i, j))});
    }
  }
  return t;
}

void AppendGenotypeMeans(TReport& report, const TMargins& m) {
  AppendTableHead(report, {"Genótipo             Média"});
  for (int i = 1; i <= m.MedGen.Size(); ++i)
    report.AppendLine(Int(i, 8) + "  " + Fixed(m.MedGen(i), 15, 6));
  AppendTableEnd(report);
}

TResultTable GenotypeMeansResultTable(const TMargins& m) {
  TResultTable t{"genotype_means", "", {"Genótipo", "Média"}, {}};
  for (int i = 1; i <= m.MedGen.Size(); ++i) t.rows.push_back({Whole(i), Real(m.MedGen(i))});
  return t;
}

void AppendEnvironmentMeans(TReport& report, const TMargins& m) {
  AppendTableHead(report, {"                                Índice     _       _ ",
                           "Ambiente             Média     Clássico  - Y    -  Y    ",
                           "                                            .j      .."});
  for (int j = 1; j <= m.MedAmb.Size(); ++j) {
    report.AppendLine(Int(j, 8) + "  " + Fixed(m.MedAmb(j), 15, 6) + " " +
                      Fixed(m.Index(j), 13, 8) + " ");
  }
  AppendTableEnd(report, true);
}

TResultTable EnvironmentMeansResultTable(const TMargins& m) {
  TResultTable t{"environment_means", "", {"Ambiente", "Média", "Índice Clássico"}, {}};
  for (int j = 1; j <= m.MedAmb.Size(); ++j) {
    t.rows.push_back({Whole(j), Real(m.MedAmb(j)), Real(m.Index(j))});
  }
  return t;
}

void AppendFitReport(TReport& report, const TFitReport& fit, const TMargins& margins,
                     char decimalSeparator) {
  AppendPasses(report, fit.summary, decimalSeparator);
  AppendFitAnova(report, fit.anova);
  report.AppendBlankLines(2);
  for (const TParamTable& t : fit.parameters) AppendParamTable(report, t);
  AppendCovarianceMatrix(report, fit.covariance);
  AppendObservedAndFitted(report, fit.fitted);
  AppendGenotypeMeans(report, margins);
  AppendEnvironmentMeans(report, margins);
}

void AppendModelReport(TReport& report, const TMeansAnova& means,
                       const std::vector<std::string_view>& modelLines, const TFitReport& fit,
                       char decimalSeparator) {
  report.AppendSeparator();
  AppendMeansAnova(report, means, decimalSeparator);
  for (std::string_view line : modelLines) report.AppendLine(line);
  report.AppendBlankLines(1);
  report.AppendSeparator();
  AppendFitReport(report, fit, means.margins, decimalSeparator);
}

TResultData ModelData(const TMeansAnova& means, const TFitReport& fit) {
  TResultData data;
  AppendMeansAnovaData(data, means);
  AppendFitData(data, fit, means.margins);
  return data;
}

void AppendFitData(TResultData& data, const TFitReport& fit, const TMargins& margins) {
  data.converged = fit.summary.converged;
  data.fit = FitEndData(fit.summary);
  for (TResultValue& v : FitValues(fit.summary)) data.values.push_back(std::move(v));
  data.tables.push_back(FitAnovaResultTable(fit.anova));
  for (const TParamTable& t : fit.parameters) data.tables.push_back(ParamResultTable(t));
  data.tables.push_back(CovarianceResultTable(fit.covariance));
  data.tables.push_back(FittedResultTable(fit.fitted));
  data.tables.push_back(GenotypeMeansResultTable(margins));
  data.tables.push_back(EnvironmentMeansResultTable(margins));
}

bool FiniteFitData(const TFitReport& fit, const TMargins& margins) {
  const auto finite = [](const std::vector<long double>& v) {
    return std::all_of(v.begin(), v.end(), [](long double x) { return std::isfinite(x); });
  };
  if (!fit.covariance.Finite() || !finite(fit.fitted.observed) || !finite(fit.fitted.fitted)) {
    return false;
  }
  // The rest of the data is small: formed as AppendFitData forms it, with both large tables
  // empty.
  TFitReport rest;
  rest.summary = fit.summary;
  rest.anova = fit.anova;
  rest.parameters = fit.parameters;
  TResultData data;
  AppendFitData(data, rest, margins);
  return AllFinite(data);
}

bool FiniteModelData(const TMeansAnova& means, const TFitReport& fit) {
  TResultData data;
  AppendMeansAnovaData(data, means);
  return AllFinite(data) && FiniteFitData(fit, means.margins);
}

}  // namespace qv

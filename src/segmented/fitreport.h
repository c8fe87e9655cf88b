// The results and report pieces that the segmented regression models (Toler 1990; Silva 1998)
// share: the analysis of variance of the means, the analysis of variance of the fit, the
// parameter tables with their t tests, the variance-covariance matrix of the estimates, the
// observed and fitted means, and the margins.
//
// Each piece is a value computed from the fit (TMeansAnova, TFitAnova, TParamTable,
// TCovarianceMatrix, TFitSummary), a writer that appends its lines to the report, and its
// tables as data. A fit's values are copied out of the fitting storage, which the next fit
// overwrites.
//
// Probabilities come from stats/genztqf.h. A failure of those functions (a statistic that is
// not a number, a series that does not converge) is kept in the `status` argument, first
// failure first, so that the model can refuse the variable instead of printing a wrong value;
// nothing of the variable is written until every test has been made.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "analysis/results.h"
#include "segmented/engine.h"
#include "stats/genztqf.h"

namespace qv {

// First line of the report of every segmented fit.
inline constexpr std::string_view kFitReportFirstLine =
    "Resultado da regressão não-linear e  estimativas de parâmetros de quorvandelia";

// --- analysis of variance of the means ------------------------------------------------------

// Sums of squares of the means on the plot scale (times r), by the one-pass running sum of
// squares (Welford 1962). T = SSA + SSGA + SSG is the corrected total that the fit's analysis
// of variance splits into model and deviation.
struct TMeansAnova {
  TMargins margins;  // genotype and environment means, and the grand mean read with the records
  long double SST = 0, SSG = 0, SSA = 0, SSGA = 0;
  long double MSG = 0, MSA = 0, MSGA = 0;
  long double T = 0;
  // Genotypes, environments and interaction with their tests, then the residual.
  TAnovaTable table;
};

// The margins (each term divided before it is added) and the sums of squares. With
// `doublePrecision` the running sums are held in 64 bits (Silva's models; TDoubleSS of
// stats/runningsums.h), else in 80 (TExtendedSS). The tests of the table are made here: the
// main effect of genotypes as it comes, the environment and interaction rows taking a
// non-positive ratio as 1e-8.
[[nodiscard]] TMeansAnova ComputeMeansAnova(const TGxeMeans& means, const TAnalysisParams& params,
                                            ProbStatus& status, bool doublePrecision = false);

// "Resumo da análise de variância " and its table, then the grand mean in the General layout.
void AppendMeansAnova(TReport& report, const TMeansAnova& anova, char decimalSeparator);
// Its table and the grand mean as data.
void AppendMeansAnovaData(TResultData& data, const TMeansAnova& anova);

// --- analysis of variance of the fit -------------------------------------------------------

inline constexpr std::string_view kFitAnovaHeader =
    "  FV           GL             SQ               QM               F         Pr>F";

// A sum of squares or mean square of the fit's table: Exp(15) when the value is at least 1e9
// or at most 1e-5 (signed: zero and negative values too), else Fixed(15,5).
std::string FitSumText(long double value);

struct TFitTest {
  long double F = 0;   // as printed: a ratio not greater than 0 becomes 1e-8
  long double pr = 0;  // 1 - P(F <= F), or 1e-9 when the distribution value exceeds 1
};
// F = ms / QME with (df, gle) degrees of freedom: the series when F > 1, Peizer and Pratt's
// (1968) approximation otherwise (AnovaFTest of analysis/jointanova.h).
TFitTest FitAnovaTest(int df, long double ms, const TAnalysisParams& params, ProbStatus& status);

struct TFitAnovaRow {
  std::string label;  // 12 characters
  int df = 0;
  long double ss = 0, ms = 0;
  TFitTest test;
};

// The fit's table: "Modelo corr." (q df, SSM), "Desvio      " (d df, SSD) and the residual
// (gle, gle QME and QME, no test).
struct TFitAnova {
  TFitAnovaRow model, deviation;
  int gle = 0;
  long double residualSS = 0;
  double QME = 0;
};

// The table with the mean squares formed in 80 bits, or rounded to 64 with `doubleSums`
// (Toler's simple linear model holds its sums of squares in 64 bits).
[[nodiscard]] TFitAnova ComputeFitAnova(int q, int d, long double ssm, long double ssd,
                                        const TAnalysisParams& params, ProbStatus& status,
                                        bool doubleSums = false);
// The table between separators.
void AppendFitAnova(TReport& report, const TFitAnova& anova);
TResultTable FitAnovaResultTable(const TFitAnova& anova);

// --- the fit itself ------------------------------------------------------------------------

// What the iteration did, and what the report says of it under "Número de iterações": whether
// it stopped without converging (at the pass limit, or where no step could lower the sum
// although the full step predicted a decrease), which junctions ended on a bound, and a smaller
// deviation sum of squares that the profile scan found. The notes are formed once the facts
// are in (FitNotes), one line per fact in that order; a fit that converged inside its bounds
// and that the scan does not beat has none.
struct TFitSummary {
  long double passes = 0;  // the count the report prints ("Número de iterações")
  int loopPasses = 0;      // passes of the loop, the final pass not counted
  // The fit met its convergence test before the pass limit.
  bool converged = false;
  // It stopped before the limit without converging: no step length lowered the sum.
  bool stalled = false;
  int maxPasses = kMaxFitPasses;
  long double SSE = 0;                // residual sum of squares of the means at the estimates
  std::vector<int> genotypesAtBound;  // genotypes whose junction ended on a bound
  bool scanned = false;               // the profile scan checked the fit
  long double scanSSE = 0;            // the smallest residual sum of squares it found
  std::vector<std::string> notes;     // the note lines, as printed

  // The scan beats the fit when its sum is smaller by more than this fraction.
  static constexpr long double kScanMargin = 1e-9L;
  bool ScanBeatsFit() const { return scanned && scanSSE < SSE * (1 - kScanMargin); }
};
// The iteration's facts and their notes; `r` turns the sums into the deviation sums of squares
// the fit's analysis of variance prints (r SSE); scanSSE is the profile scan's sum (negative
// when there was no scan).
TFitSummary Summarize(const TFitEngine& fit, const TFitResult& result, double r,
                      long double scanSSE = -1);
// The note lines of the summary's facts; `r` turns the sums into the deviation sums of squares
// the fit's analysis of variance prints (r SSE).
std::vector<std::string> FitNotes(const TFitSummary& summary, double r);
// "Número de iterações:   " and the count in the General layout, then the notes.
void AppendPasses(TReport& report, const TFitSummary& summary, char decimalSeparator);
// The values a fit's report prints outside its tables.
std::vector<TResultValue> FitValues(const TFitSummary& summary);
// The summary's facts for the results as data.
TFitEnd FitEndData(const TFitSummary& summary);

// --- parameter tables --------------------------------------------------------------------

// An estimate, standard error or t: Exp(width) when |value| >= 1e9 or |value| <= 1e-8, else
// Fixed(width, 8).
std::string EstimateText(long double value, int width);

struct TParamTest {
  long double se = 0, t = 0, pr = 0;
};
// The t test of H0: theta(p) = h, se from ParameterVariance, two-sided probability
// 2 (1 - P(T <= |t|)) with gle degrees of freedom.
TParamTest TestParameter(const TFitEngine& fit, int p, long double h, const TAnalysisParams& params,
                         ProbStatus& status);
// The t test of H0: theta(q) - theta(p) = 0, p < q, se from DifferenceVariance.
TParamTest TestDifference(const TFitEngine& fit, int p, int q, const TAnalysisParams& params,
                          ProbStatus& status);

enum class TProbLayout {
  Fixed,        // Fixed(15,5) (Toler)
  ByMagnitude,  // Exp(15) when Pr >= 1 or Pr <= 1e-5, else Fixed(15,5) (Silva)
};

struct TParamRow {
  int index = 0;  // the genotype or environment
  long double estimate = 0;
  TParamTest test;
};

// One table of estimates with their t tests: under its header, a row per genotype (or
// environment) labelled prefix, Int(3) of the index, suffix and a blank.
struct TParamTable {
  std::string id;      // for the results as data: "a=0", "b1=1", "b2-b1", "U=0", ...
  std::string header;  // the column header line
  std::string name;    // the parameter, for the results as data: "a", "b1", "X0", "b2-b1"
  std::string prefix, suffix;
  int estimateWidth = 16;
  TProbLayout probLayout = TProbLayout::Fixed;
  std::vector<TParamRow> rows;
};

// The estimates theta(position(k)), k = 1..count: one parameter of every genotype (or every
// environment), read out of the fitting storage.
[[nodiscard]] TIndexed<> Estimates(const TFitEngine& fit, int count,
                                   const std::function<int(int)>& position);

// Fills a table with one row per genotype (or environment) k = 1..count: the estimate at
// position(k) and its t test against h.
void TestEach(TParamTable& table, int count, const std::function<int(int)>& position, long double h,
              const TFitEngine& fit, const TAnalysisParams& params, ProbStatus& status);

// Where a model keeps genotype i's intercept and slopes.
struct TGenotypeParameters {
  int (*a)(int);
  int (*b1)(int);
  int (*b2)(int);
};

// The six tables of the intercepts and slopes of the bisegmented models: a(i) = 0, b1(i) = 0,
// b1(i) = 1, b2(i) = 0, b2(i) = 1 and b1(i) = b2(i).
[[nodiscard]] std::vector<TParamTable> InterceptSlopeTables(const TFitEngine& fit,
                                                            const TAnalysisParams& params,
                                                            const TGenotypeParameters& at,
                                                            TProbLayout probLayout,
                                                            ProbStatus& status);

// The table of the estimated environmental index U(j) = 0, j = 1..a, kept from `first` + 1 on
// (Toler's models, Silva and Toler).
[[nodiscard]] TParamTable IndexTable(const TFitEngine& fit, int first,
                                     const TAnalysisParams& params, ProbStatus& status);

// label, estimate (in `estimateWidth`), " ", se, " ", t, " ", Pr.
std::string ParameterRowText(std::string_view label, long double estimate, int estimateWidth,
                             const TParamTest& test, TProbLayout probLayout = TProbLayout::Fixed);
// The framed table, followed by a separator and two blank lines.
void AppendParamTable(TReport& report, const TParamTable& table);
TResultTable ParamResultTable(const TParamTable& table);

// Frames of the tables of the fit report: separator, header lines, separator; and at the end
// separator and two blank lines (or the separator alone for the report's last table).
void AppendTableHead(TReport& report, const std::vector<std::string_view>& headerLines);
void AppendTableEnd(TReport& report, bool lastOfReport = false);

// --- the variance-covariance matrix of the estimates ---------------------------------------

// QME G / r for the P parameters, held as its upper triangle, with the 12-character labels of
// its rows and columns.
class TCovarianceMatrix {
 public:
  TCovarianceMatrix() = default;
  TCovarianceMatrix(const TFitEngine& fit, int parameters, const TAnalysisParams& params,
                    const std::function<std::string(int)>& label);
  int Parameters() const { return static_cast<int>(labels_.size()); }
  const std::string& Label(int p) const { return labels_[static_cast<std::size_t>(p - 1)]; }
  // Covariance of the estimates p and q (symmetric).
  long double operator()(int p, int q) const;
  // Whether every covariance is a finite number.
  bool Finite() const;

 private:
  std::vector<std::string> labels_;
  std::vector<long double> upper_;  // row by row, (p, q) for p <= q
};

// The matrix under its header, six values (and six column labels) to a line, each row followed
// by a blank line; then the table end.
void AppendCovarianceMatrix(TReport& report, const TCovarianceMatrix& matrix);
TResultTable CovarianceResultTable(const TCovarianceMatrix& matrix);

// --- observed and fitted means, margins --------------------------------------------------

// The means and the model's values at the estimates, cell by cell.
struct TFittedMeans {
  int g = 0, a = 0;
  std::vector<long double> observed, fitted;  // genotype by genotype

  long double Observed(int i, int j) const { return observed[Cell(i, j)]; }
  long double Fitted(int i, int j) const { return fitted[Cell(i, j)]; }
  std::size_t Cell(int i, int j) const {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(a) +
           static_cast<std::size_t>(j - 1);
  }
};
TFittedMeans FittedMeans(const TGxeMeans& means, const TSegmentedModel& model,
                         const TFitEngine& fit);

void AppendObservedAndFitted(TReport& report, const TFittedMeans& values);
TResultTable FittedResultTable(const TFittedMeans& values);
void AppendGenotypeMeans(TReport& report, const TMargins& margins);
TResultTable GenotypeMeansResultTable(const TMargins& margins);
// Environment means and the classic index MedAmb(j) - MediaGeral; the report's last table.
void AppendEnvironmentMeans(TReport& report, const TMargins& margins);
TResultTable EnvironmentMeansResultTable(const TMargins& margins);

// --- a whole fit ---------------------------------------------------------------------------

// What every segmented model reports of its fit: the iteration, the analysis of variance of the
// fit, the parameter tables, the covariance matrix and the observed and fitted means.
struct TFitReport {
  TFitSummary summary;
  TFitAnova anova;
  std::vector<TParamTable> parameters;
  TCovarianceMatrix covariance;
  TFittedMeans fitted;
};

// The report of a fit from "Número de iterações" on: the analysis of variance of the fit, the
// parameter tables, the covariance matrix, the observed and fitted means and the margins.
void AppendFitReport(TReport& report, const TFitReport& fit, const TMargins& margins,
                     char decimalSeparator);
// The whole block of a model fitted after the analysis of variance of the means (Toler's
// bisegmented model, Silva's models, Silva and Toler): that analysis, the lines that name the
// model and its formula, then the fit's report.
void AppendModelReport(TReport& report, const TMeansAnova& means,
                       const std::vector<std::string_view>& modelLines, const TFitReport& fit,
                       char decimalSeparator);

// The fit's tables as data, in the report's order, followed by the margins' tables.
void AppendFitData(TResultData& data, const TFitReport& fit, const TMargins& margins);
// The block of AppendModelReport as data.
TResultData ModelData(const TMeansAnova& means, const TFitReport& fit);
// AllFinite of AppendFitData's and of ModelData's data, without forming their tables of a cell
// per parameter pair and per mean (a 600-parameter fit has 360,000 covariances): what a run
// checks before it writes a fit's report.
bool FiniteFitData(const TFitReport& fit, const TMargins& margins);
bool FiniteModelData(const TMeansAnova& means, const TFitReport& fit);

}  // namespace qv

// The report pieces that the segmented regression models (Toler 1990; Silva 1998) share: the
// analysis of variance of the means, the analysis of variance of the fit, the rows of the
// parameter tables with their t tests, the variance-covariance matrix of the estimates, and the
// tables of observed and fitted means and of the margins.
//
// Probabilities come from stats/genztqf.h. A failure of those functions (a statistic that is
// not a number, a series that does not converge) is kept in the `status` argument, first
// failure first, so that the model can refuse the variable instead of printing a wrong value;
// the callers build the variable's block in a buffer and append it only when status is Ok.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "segmented/engine.h"
#include "stats/genztqf.h"

namespace qv {

// --- analysis of variance of the means ------------------------------------------------------

// Sums of squares of the means on the plot scale (times r), by the one-pass running sum of
// squares (Welford 1962). T = SSA + SSGA + SSG is the corrected total that the fit's analysis
// of variance splits into model and deviation.
struct TMeansAnova {
  long double SST = 0, SSG = 0, SSA = 0, SSGA = 0;
  long double MSG = 0, MSA = 0, MSGA = 0;
  long double T = 0;
};

// Fills MedGen and MedAmb (each term divided before it is added) and returns the sums of
// squares; MediaGeral is the one accumulated while the records were read. With
// `doublePrecision` the running sums are held in 64 bits (Silva's models), else in 80.
TMeansAnova ComputeMeansAnova(TGxeMeans& means, const TAnalysisParams& params,
                              bool doublePrecision = false);

// "Resumo da análise de variância " and its table (genotypes, environments, interaction,
// residual), then the grand mean in the General layout.
void AppendMeansAnova(TReport& report, const TMeansAnova& anova, const TGxeMeans& means,
                      const TAnalysisParams& params, char decimalSeparator, ProbStatus& status);

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
// label (12 characters), Int(5) df, SS, MS, Fixed(14,6) F, Fixed(10,6) Pr.
std::string FitAnovaRowText(std::string_view label, int df, long double ss, long double ms,
                            const TFitTest& test);
// The residual row: gle, gle QME and QME, no test.
std::string FitResidualRowText(const TAnalysisParams& params, bool doubleSums = false);

// The whole table between separators: header, "Modelo corr." (q df, SSM), "Desvio      " (d df,
// SSD) and the residual row. The mean squares are formed in 80 bits, or rounded to 64 with
// `doubleSums` (Toler's simple linear model holds its sums of squares in 64 bits).
void AppendFitAnova(TReport& report, int q, int d, long double ssm, long double ssd,
                    const TAnalysisParams& params, ProbStatus& status, bool doubleSums = false);

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
// label, estimate (in `estimateWidth`), " ", se, " ", t, " ", Pr.
std::string ParameterRowText(std::string_view label, long double estimate, int estimateWidth,
                             const TParamTest& test, TProbLayout probLayout = TProbLayout::Fixed);

// Frames of the tables of the fit report: separator, header lines, separator; and at the end
// separator and two blank lines (or the separator alone for the report's last table).
void AppendTableHead(TReport& report, const std::vector<std::string_view>& headerLines);
void AppendTableEnd(TReport& report, bool lastOfReport = false);

// The P x P matrix QME G / r under its header, six values (and six column labels) to a line,
// each row followed by a blank line; then the table end.
void AppendCovarianceMatrix(TReport& report, const TFitEngine& fit, int parameters,
                            const std::function<std::string(int)>& label,
                            const TAnalysisParams& params);

// --- observed and fitted means, margins --------------------------------------------------

void AppendObservedAndFitted(TReport& report, const TGxeMeans& means, const TAnalysisParams& params,
                             const std::function<long double(int, int)>& fitted);
void AppendGenotypeMeans(TReport& report, const TGxeMeans& means, const TAnalysisParams& params);
// Environment means and the classic index MedAmb(j) - MediaGeral; the report's last table.
void AppendEnvironmentMeans(TReport& report, const TGxeMeans& means, const TAnalysisParams& params);

}  // namespace qv

// Joint analysis of variance of a g x a table of genotype means, and its decompositions by
// regression on the environmental index (Finlay and Wilkinson 1963; Eberhart and Russell 1966;
// Cruz, Torres and Vencovsky 1989).
//
// Only the means are available, so the residual is the pooled residual of the individual
// analyses that the user types in: its mean square QME, its degrees of freedom gle and the
// number of replicates r behind each mean. Every sum of squares of means is multiplied by r,
// which puts each mean square on the scale of a single plot; every Fc is that mean square over
// QME, tested with the row's degrees of freedom and gle.
//
// Precision: sums of squares, sums of products over genotypes and mean squares are 64-bit
// doubles; means, the index and the per-genotype sums of products are 80-bit extended. The
// printed digits depend on both and on the order in which the sums are formed.
//
// Building blocks for the methods' tables:
//   ComputeJointAnova        margins, index, sums of squares (call first);
//   ComputeWithinGenotype    the decomposition of each genotype's variation among
//                            environments (linear or bisegmented regression);
//   AnovaFTest / AnovaRowText / ResidualRowText   one row of any analysis-of-variance table
//                            in the common format, with its F test;
//   AppendJointAnovaTable    a summary table from the method's title lines and rows;
//   AppendWithinGenotypeTable  the within-genotype table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "stats/genztqf.h"

namespace qv {

// The joint analysis of one variable. Vectors are indexed from 1 through their accessors.
struct TJointAnova {
  double SST = 0, SSG = 0, SSA = 0, SSGA = 0;  // total, genotypes, environments, interaction
  double MSG = 0, MSA = 0, MSGA = 0;
  double SPP = 0;                   // r * sum_i SPI(i)^2
  double SI2 = 0;                   // sum_j I(j)^2
  std::vector<long double> indAmb;  // I(j) = MedAmb(j) - MediaGeral
  std::vector<long double> spi;     // SPI(i) = sum_j Y(i, j) I(j)

  long double IndAmb(int j) const { return indAmb[static_cast<std::size_t>(j - 1)]; }
  long double SPI(int i) const { return spi[static_cast<std::size_t>(i - 1)]; }
  // Interaction explained by the genotypes' linear regressions on the index (heterogeneity of
  // slopes), g - 1 degrees of freedom.
  double SSGAL() const { return static_cast<double>(SPP / SI2 - SSA); }
};

// Fills MedGen, MedAmb and MediaGeral of `means` and returns the joint analysis. The sums of
// squares use the one-pass running mean and sum of squares (Welford 1962). The caller has
// checked the parameters (JointAnovaRefusal): with g = 1 or a = 1 the mean squares divide by 0.
TJointAnova ComputeJointAnova(TGxeMeans& means, const TAnalysisParams& params);

// The cause, in the report's words, why the joint analysis cannot be formed with these
// parameters, or "" when it can: at least 2 genotypes and `minEnvironments` environments, and
// gle, QME and r greater than 0.
std::string JointAnovaRefusal(const TAnalysisParams& params, int minEnvironments);

// The cause why the regressions on the index cannot be fitted, or "": every sum of squares
// must be finite and the index must not be null. The index counts as null when its largest
// value is at the rounding level of the environment means (the grand mean is held in 64 bits,
// so equal environment means leave an index of about 1e-17 times their size, not 0).
std::string IndexRefusal(const TGxeMeans& means, const TAnalysisParams& params,
                         const TJointAnova& anova);

// True when `value` (a magnitude) is no more than rounding error relative to `scale`.
bool AtRoundingLevel(long double value, long double scale);

// The dummy regressor of the bisegmented model: T(j) = I(j) - mean of the non-negative
// indices where I(j) >= 0, else 0; ST2 = sum_j T(j)^2.
struct TBisegment {
  std::vector<long double> t;  // T(j), indexed from 1 through T()
  double ST2 = 0;
  long double T(int j) const { return t[static_cast<std::size_t>(j - 1)]; }
};

// The variation of each genotype among environments, r (sum Y^2 - (sum Y)^2 / a), split into
// the regression on the index (1 df, or 2 df for the bisegmented model) and the deviations
// from it (a - 2, or a - 3 df). Vectors indexed from 1 through the accessors.
struct TWithinGenotype {
  bool bisegmented = false;
  std::vector<double> ssag, ssr, msd;
  double SSAG(int i) const { return ssag[static_cast<std::size_t>(i - 1)]; }
  double SSR(int i) const { return ssr[static_cast<std::size_t>(i - 1)]; }
  double MSD(int i) const { return msd[static_cast<std::size_t>(i - 1)]; }
  double SSD(int i) const { return SSAG(i) - SSR(i); }
  int DfDeviation(int a) const { return bisegmented ? a - 3 : a - 2; }
};

// Linear model when `bisegment` is null, bisegmented model otherwise.
TWithinGenotype ComputeWithinGenotype(const TGxeMeans& means, const TAnalysisParams& params,
                                      const TJointAnova& anova,
                                      const TBisegment* bisegment = nullptr);

// Floors printed for "Pr>Fc" when the distribution value exceeds 1 (a rounding excess of the
// approximations): the main-effect and regression rows print 1e-7, the deviation rows 1e-6.
inline constexpr double kPFloorMain = 1e-7;
inline constexpr double kPFloorDeviation = 1e-6;
// What a non-positive Fc becomes in the rows that guard against it.
inline constexpr double kFcGuard = 1e-8;

struct TFTest {
  double fc = 0;  // as printed
  double p = 0;   // "Pr>Fc"
};

// Fc = ms / QME and its upper-tail probability with (df, gle) degrees of freedom: the series
// (ProbF) when Fc > 1, Peizer and Pratt's (1968) normal approximation when Fc <= 1. With
// `guard`, an Fc not greater than 0 is taken as 1e-8. The first failure of the probability
// functions is kept in `status` (left as it is when the test succeeds).
TFTest AnovaFTest(int df, long double ms, const TAnalysisParams& params, double pFloor, bool guard,
                  ProbStatus& status);

// A row of an analysis-of-variance table: the 16-character label, df as Int(6), and MS, Fc and
// Pr>Fc as Fixed(22,6), Fixed(16,6) and Fixed(11,6), separated by blanks. The first form takes
// a test already made (a method with its own rule for the test); the second makes the test.
std::string AnovaRowText(std::string_view label, int df, long double ms, const TFTest& test);
std::string AnovaRowText(std::string_view label, int df, long double ms,
                         const TAnalysisParams& params, double pFloor, bool guard,
                         ProbStatus& status);
// "Resíduo         ", gle and QME; no test.
std::string ResidualRowText(const TAnalysisParams& params);

// The column header of every analysis-of-variance table in this format.
inline constexpr std::string_view kAnovaHeader =
    " FV                 GL                    QM                Fc       Pr>Fc";
inline constexpr std::string_view kAnovaTitle =
    "Resumo da análise de variância com a decomposição das somas de quadrados";

// Appends the title lines, the framed header, the rows, the residual row and a separator.
void AppendJointAnovaTable(TReport& report, const std::vector<std::string>& titleLines,
                           const std::vector<std::string>& rows, const TAnalysisParams& params);

// Appends the within-genotype table: for each genotype, A/G, the regression ("R.Linear" or
// "Regress.") and the deviations, then the residual row. `guard` as in AnovaFTest, applied to
// every row.
void AppendWithinGenotypeTable(TReport& report, const TAnalysisParams& params,
                               const TWithinGenotype& within, bool guard, ProbStatus& status);

// The cause, in the report's words, of a failure of the probability functions.
std::string ProbStatusCause(ProbStatus status);

}  // namespace qv

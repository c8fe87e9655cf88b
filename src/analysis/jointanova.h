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
// Building blocks of the methods' results and tables:
//   ComputeJointAnova        margins, index, sums of squares (call first);
//   ComputeWithinGenotype    the decomposition of each genotype's variation among
//                            environments (linear or bisegmented regression), with its tests;
//   AnovaFTest, JointRow, GenotypeRow   one row of any analysis-of-variance table in the common
//                            format, with its F test;
//   AppendAnovaTable         a summary table from the method's title lines and rows;
//   AppendWithinGenotypeTable  the within-genotype table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"
#include "stats/genztqf.h"

namespace qv {

// The joint analysis of one variable, with the margins it is formed from.
struct TJointAnova {
  double SST = 0, SSG = 0, SSA = 0, SSGA = 0;  // total, genotypes, environments, interaction
  double MSG = 0, MSA = 0, MSGA = 0;
  double SPP = 0;         // r * sum_i SPI(i)^2
  double SI2 = 0;         // sum_j I(j)^2
  double MediaGeral = 0;  // the grand mean: the mean of the environment means, in 64 bits
  TIndexed<> MedGen;      // genotype means
  TIndexed<> MedAmb;      // environment means
  TIndexed<> IndAmb;      // I(j) = MedAmb(j) - MediaGeral
  TIndexed<> SPI;         // SPI(i) = sum_j Y(i, j) I(j)

  // Interaction explained by the genotypes' linear regressions on the index (heterogeneity of
  // slopes), g - 1 degrees of freedom.
  double SSGAL() const { return static_cast<double>(SPP / SI2 - SSA); }
};

// The margins, the grand mean and the joint analysis. The sums of squares use the one-pass
// running mean and sum of squares (Welford 1962; TJointAnovaSS of stats/runningsums.h). The
// caller has checked the parameters (JointAnovaRefusal): with g = 1 or a = 1 the mean squares
// divide by 0.
[[nodiscard]] TJointAnova ComputeJointAnova(const TGxeMeans& means, const TAnalysisParams& params);

// Why the joint analysis cannot be formed with these parameters, in the report's words, or
// nothing when it can: at least 2 genotypes and `minEnvironments` environments, and gle, QME
// and r greater than 0. The refusal is of a bad parameter (TRefusal::badParameter).
[[nodiscard]] TCheck JointAnovaRefusal(const TAnalysisParams& params, int minEnvironments);

// Why the regressions on the index cannot be fitted, or nothing: every sum of squares must be
// finite and the index must not be null. The index counts as null when its largest value is at
// the rounding level of the environment means (the grand mean is held in 64 bits, so equal
// environment means leave an index of about 1e-17 times their size, not 0).
[[nodiscard]] TCheck IndexRefusal(const TJointAnova& anova, const TAnalysisParams& params);

// True when `value` (a magnitude) is no more than rounding error relative to `scale`.
bool AtRoundingLevel(long double value, long double scale);

// Why the variable cannot be analysed at the scale of its values, or nothing. The sums of
// squares are 64-bit doubles: when the largest value M is so small that the square of a
// rounding unit of M (the smallest difference between the values that means anything) falls
// below the normal range of a double, the sums underflow to 0 or lose their digits, and the
// tests of "no interaction" and "equal environment means", which compare them with the rounding
// level of M, can no longer tell a real difference from noise. Values of 6.7e-139 and more are
// analysed (all zero is no interaction, and is analysed too).
[[nodiscard]] TCheck ScaleRefusal(const TGxeMeans& means, int g, int a);

// The cause of a refusal for values whose squares overflow the 64-bit sums of squares.
inline constexpr const char* kTooLargeCause =
    "os valores da variável são grandes demais: as somas de quadrados excedem a precisão do "
    "programa";
// ... and of the regressions on a null index, in Finlay and Wilkinson's sense.
inline constexpr const char* kNullIndexCause =
    "as médias dos ambientes são todas iguais: o índice ambiental é nulo e a regressão sobre "
    "ele não pode ser estimada";

// The dummy regressor of the bisegmented model: T(j) = I(j) - mean of the non-negative
// indices where I(j) >= 0, else 0; ST2 = sum_j T(j)^2.
struct TBisegment {
  TIndexed<> T;
  double ST2 = 0;
};

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

// One row of an analysis-of-variance table in the common format.
struct TAnovaRow {
  std::string label;  // as printed, 16 characters
  std::string name;   // the source of variation, for the results as data ("GxA", "A/G", "CP")
  int index = 0;      // the genotype or component the row belongs to; 0 for none
  int df = 0;
  long double ms = 0;
  TFTest test;
};

// A row of the joint table, its test made here (`label` of 16 characters).
TAnovaRow JointRow(std::string_view label, int df, long double ms, const TAnalysisParams& params,
                   double pFloor, bool guard, ProbStatus& status);
// A row of the within-genotype table: the 9-character prefix, i as Int(5) and ") ".
TAnovaRow GenotypeRow(std::string_view prefix, int i, int df, long double ms,
                      const TAnalysisParams& params, bool guard, ProbStatus& status);

// The first rows of every joint table: "Genótipos (G)   ", "Ambientes (A)   " and
// "GxA             " with their tests. With `guard` the environment and interaction rows take a
// non-positive ratio as 1e-8 (the genotype row never does).
std::vector<TAnovaRow> MainEffectRows(int g, int a, long double msg, long double msa,
                                      long double msga, const TAnalysisParams& params, bool guard,
                                      ProbStatus& status);

// The text of a row: the label, df as Int(6), and MS, Fc and Pr>Fc as Fixed(22,6), Fixed(16,6)
// and Fixed(11,6), separated by blanks.
std::string AnovaRowText(const TAnovaRow& row);
// "Resíduo         ", gle and QME; no test.
std::string ResidualRowText(const TAnalysisParams& params);

// An analysis-of-variance table as the report writes it: two title lines, the rows, and the
// residual row of the parameters.
struct TAnovaTable {
  std::vector<std::string> titleLines;
  std::vector<TAnovaRow> rows;
  int gle = 0;
  double QME = 0;
};

// The column header of every analysis-of-variance table in this format.
inline constexpr std::string_view kAnovaHeader =
    " FV                 GL                    QM                Fc       Pr>Fc";
inline constexpr std::string_view kAnovaTitle =
    "Resumo da análise de variância com a decomposição das somas de quadrados";

// Appends the title lines, the framed header, the rows, the residual row and a separator.
void AppendAnovaTable(TReport& report, const TAnovaTable& table);
// The table as data: every row with its label, then the residual row.
TResultTable AnovaResultTable(std::string id, const TAnovaTable& table);

// The variation of each genotype among environments, r (sum Y^2 - (sum Y)^2 / a), split into
// the regression on the index (1 df, or 2 df for the bisegmented model) and the deviations
// from it (a - 2, or a - 3 df), and the table of their tests.
struct TWithinGenotype {
  bool bisegmented = false;
  TIndexed<double> SSAG, SSR, MSD;
  // Three rows per genotype (A/G, the regression, the deviations), then the residual.
  TAnovaTable table;

  double SSD(int i) const { return SSAG(i) - SSR(i); }
  int DfDeviation(int a) const { return bisegmented ? a - 3 : a - 2; }
};

// The sums of squares; linear model when `bisegment` is null, bisegmented model otherwise.
[[nodiscard]] TWithinGenotype ComputeWithinGenotype(const TGxeMeans& means,
                                                    const TAnalysisParams& params,
                                                    const TJointAnova& anova,
                                                    const TBisegment* bisegment = nullptr);
// The table's rows and their tests, genotype by genotype; `guard` as in AnovaFTest, applied
// to every row.
void TestWithinGenotype(TWithinGenotype& within, const TAnalysisParams& params, bool guard,
                        ProbStatus& status);

// The cause, in the report's words, of a failure of the probability functions.
std::string ProbStatusCause(ProbStatus status);

}  // namespace qv

// Results and report tables shared by the methods that regress each genotype's means on the
// environmental index: Finlay and Wilkinson (1963), Eberhart and Russell (1966) and the
// bisegmented model of Cruz, Torres and Vencovsky (1989).
#pragma once

#include <string>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "analysis/results.h"
#include "stats/genztqf.h"

namespace qv {

// Two-sided probability of a t statistic with df degrees of freedom, 2 (1 - P(T <= |t|)). The
// first failure of the probability function is kept in `status`.
double TwoSidedP(int df, double t, ProbStatus& status);

// One genotype's line of a slope table: i as Int(6), two blanks, B0 and B1 as Fixed(17,6), the
// t statistic as Fixed(16,6) and its probability as Fixed(14,6), separated by blanks.
std::string SlopeRowText(int i, long double b0, long double b1, double t, double p);

// A genotype's intercept (its mean: the index is centred), slope, t statistic and probability.
struct TSlopeRow {
  long double b0 = 0, b1 = 0;
  double t = 0, p = 0;
};

// The regression of every genotype's means on the index (Finlay and Wilkinson 1963): the
// slope B1(i) = SPI(i)/SI2, tested against 1 with the residual QME of the individual analyses,
// Var(B1) = QME/(r SI2); Var(B0) = QME/(a r).
struct TSlopeTable {
  std::vector<TSlopeRow> rows;  // genotype i at rows[i - 1]
  long double se0 = 0, se1 = 0;
};

[[nodiscard]] TSlopeTable ComputeSlopeTable(const TJointAnova& anova, const TAnalysisParams& params,
                                            ProbStatus& status);
// The framed table and the two standard errors.
void AppendSlopeTable(TReport& report, const TSlopeTable& slopes);
std::vector<TResultTable> SlopeResultTables(const TSlopeTable& slopes);

// The deviation variance component S2D(i) = (MSD(i) - QME)/r of each genotype (Eberhart and
// Russell 1966) and its R2(i) = SSR(i)/SSAG(i) (0 when SSAG(i) is not positive), in percent.
struct TDeviationVariance {
  TIndexed<> S2D, R2percent;
};

[[nodiscard]] TDeviationVariance ComputeDeviationVariance(const TWithinGenotype& within,
                                                          const TAnalysisParams& params);
// The table with the note that their significance is in the analysis of variance above; ends
// with two blank lines.
void AppendDeviationVarianceTable(TReport& report, const TDeviationVariance& deviations);
TResultTable DeviationVarianceResultTable(const TDeviationVariance& deviations);

// "Média dos ambientes e valores do índice ambiental": each environment's mean and index, and
// the bisegmented model's T(j) when `bisegment` is given; ends with three blank lines.
void AppendEnvironmentTable(TReport& report, const TJointAnova& anova,
                            const TBisegment* bisegment = nullptr);
TResultTable EnvironmentResultTable(const TJointAnova& anova,
                                    const TBisegment* bisegment = nullptr);

}  // namespace qv

// Report tables shared by the methods that regress each genotype's means on the environmental
// index: Finlay and Wilkinson (1963), Eberhart and Russell (1966) and the bisegmented model of
// Cruz, Torres and Vencovsky (1989).
#pragma once

#include <string>

#include "analysis/jointanova.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "stats/genztqf.h"

namespace qv {

// Two-sided probability of a t statistic with df degrees of freedom, 2 (1 - P(T <= |t|)). The
// first failure of the probability function is kept in `status`.
double TwoSidedP(int df, double t, ProbStatus& status);

// One genotype's line of a slope table: i as Int(6), two blanks, B0 and B1 as Fixed(17,6), the
// t statistic as Fixed(16,6) and its probability as Fixed(14,6), separated by blanks.
std::string SlopeRowText(int i, long double b0, long double b1, double t, double p);

// The regression of every genotype's means on the index (Finlay and Wilkinson 1963): the
// intercept B0(i) is the genotype mean (the index is centred), the slope B1(i) = SPI(i)/SI2,
// tested against 1 with the residual QME of the individual analyses, Var(B1) = QME/(r SI2).
// Appends the framed table and the two standard errors, Var(B0) = QME/(a r).
void AppendSlopeTable(TReport& report, const TGxeMeans& means, const TAnalysisParams& params,
                      const TJointAnova& anova, ProbStatus& status);

// The deviation variance component S2D(i) = (MSD(i) - QME)/r of each genotype (Eberhart and
// Russell 1966) and its R2(i) = SSR(i)/SSAG(i) (0 when SSAG(i) is not positive), with the note
// that their significance is in the analysis of variance above; ends with two blank lines.
void AppendDeviationVarianceTable(TReport& report, const TAnalysisParams& params,
                                  const TWithinGenotype& within);

// "Média dos ambientes e valores do índice ambiental": each environment's mean and index, and
// the bisegmented model's T(j) when `bisegment` is given; ends with three blank lines.
void AppendEnvironmentTable(TReport& report, const TGxeMeans& means, const TAnalysisParams& params,
                            const TJointAnova& anova, const TBisegment* bisegment = nullptr);

}  // namespace qv

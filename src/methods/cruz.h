// Cruz, Torres and Vencovsky (1989): adaptability and stability by a bisegmented regression of
// each genotype's means on the environmental index I(j). The second regressor T(j) is 0 where
// the index is negative and the index less the mean of the non-negative indices elsewhere, so
// that B1 is the genotype's response in unfavourable environments, B1 + B2 its response in
// favourable ones, and B2 the difference. I - T and T are orthogonal, which gives the
// coefficients and their variances in closed form.
#pragma once

#include <vector>

#include "analysis/jointanova.h"
#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/regressiontables.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

// A coefficient with its t statistic and two-sided probability.
struct TCoefficientTest {
  long double estimate = 0;
  double t = 0, p = 0;
};

// One genotype's coefficients: B1 tested against 0 and against 1, B1 + B2 against 1, B2
// against 0.
struct TCruzGenotype {
  long double b0 = 0;  // the genotype mean
  TCoefficientTest b1Zero, b1One, b12One, b2Zero;
};

struct TCruzResult {
  TJointAnova anova;                                // margins, environmental index, sums of squares
  TBisegment segment;                               // T(j) and ST2
  std::vector<TCruzGenotype> genotypes;             // genotype i at genotypes[i - 1]
  long double se0 = 0, se1 = 0, se2 = 0, se12 = 0;  // standard errors of B0, B1, B2, B1 + B2
  TAnovaTable summary;
  TWithinGenotype within;
  TDeviationVariance deviations;
};

[[nodiscard]] TComputed<TCruzResult> CruzCompute(const TGxeMeans& means,
                                                 const TAnalysisParams& params);
void AppendCruzReport(TReport& report, const TCruzResult& result);
TResultData ResultData(const TCruzResult& result);

TMethod CruzMethod();

}  // namespace qv

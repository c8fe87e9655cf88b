// Finlay and Wilkinson (1963): adaptability and stability by the regression of each genotype's
// means on the environmental index. The slope B1 is the genotype's response to the environment,
// tested against 1 (average response); the interaction is split into the heterogeneity of the
// slopes and the combined deviations from the regressions.
//
// The published method works on logarithms of the yields. The values are analysed as they are,
// and the report says so: only the means are available, so the residual variance of
// transformed data cannot be obtained; the transformation is the user's task.
#pragma once

#include "analysis/jointanova.h"
#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/regressiontables.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

struct TFinlayResult {
  TJointAnova anova;       // margins, environmental index, sums of squares
  TSlopeTable slopes;      // B0(i), B1(i) and the t tests of B1(i) = 1
  TAnovaTable summary;     // the joint analysis with the interaction split by the slopes
  TWithinGenotype within;  // each genotype's regression and deviations
};

[[nodiscard]] TComputed<TFinlayResult> FinlayCompute(const TGxeMeans& means,
                                                     const TAnalysisParams& params);
void AppendFinlayReport(TReport& report, const TFinlayResult& result);
TResultData ResultData(const TFinlayResult& result);

TMethod FinlayMethod();

}  // namespace qv

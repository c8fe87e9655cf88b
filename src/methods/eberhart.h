// Eberhart and Russell (1966): adaptability and stability by the regression of each genotype's
// means on the environmental index, as Finlay and Wilkinson (1963), with two stability
// parameters besides the slope: the variance component of the deviations from the regression,
// S2D(i) = (MSD(i) - QME)/r, and the share of the genotype's variation among environments that
// the regression explains, R2(i). The variation of environments within genotypes is split into
// environment linear, interaction linear and pooled deviations.
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

struct TEberhartResult {
  TJointAnova anova;              // margins, environmental index, sums of squares
  TSlopeTable slopes;             // B0(i), B1(i) and the t tests of B1(i) = 1
  TAnovaTable summary;            // environments within genotypes split by the regressions
  TWithinGenotype within;         // each genotype's regression and deviations
  TDeviationVariance deviations;  // S2D(i) and R2(i)
};

[[nodiscard]] TComputed<TEberhartResult> EberhartCompute(const TGxeMeans& means,
                                                         const TAnalysisParams& params);
void AppendEberhartReport(TReport& report, const TEberhartResult& result);
TResultData ResultData(const TEberhartResult& result);

TMethod EberhartMethod();

}  // namespace qv

// Annicchiarico's reliability index (Annicchiarico 1992): I(i), the lower confidence limit of
// a genotype's response expressed as a percentage of the environment means,
// I(i) = mean percentage - z(1 - alpha) x standard deviation of the percentages. A high I(i)
// marks a genotype that is reliably above the environment average.
#pragma once

#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

struct TAnnicchiaricoResult {
  TIndexed<> MedGen;      // genotype means (the running mean of the one-pass update)
  TIndexed<> index;       // I(i)
  TIndexed<> sd;          // standard deviation of genotype i's percentages
  TIndexed<> meanPct;     // mean of genotype i's percentages
  long double level = 0;  // the significance level 1 - Alpha the report states
};

[[nodiscard]] TComputed<TAnnicchiaricoResult> AnnicchiaricoCompute(const TGxeMeans& means,
                                                                   const TAnalysisParams& params);
void AppendAnnicchiaricoReport(TReport& report, const TAnnicchiaricoResult& result);
TResultData ResultData(const TAnnicchiaricoResult& result);

TMethod AnnicchiaricoMethod();

}  // namespace qv

// Annicchiarico's reliability index (Annicchiarico 1992): I(i), the lower confidence limit of
// a genotype's response expressed as a percentage of the environment means,
// I(i) = mean percentage - z(1 - alpha) x standard deviation of the percentages. A high I(i)
// marks a genotype that is reliably above the environment average.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod AnnicchiaricoMethod();
TStepResult AnnicchiaricoCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome AnnicchiaricoRun(TSession& session, THost& host);

}  // namespace qv

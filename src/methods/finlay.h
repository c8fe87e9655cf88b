// Finlay and Wilkinson (1963): adaptability and stability by the regression of each genotype's
// means on the environmental index. The slope B1 is the genotype's response to the environment,
// tested against 1 (average response); the interaction is split into the heterogeneity of the
// slopes and the combined deviations from the regressions.
//
// The published method works on logarithms of the yields. The values are analysed as they are,
// and the report says so: only the means are available, so the residual variance of
// transformed data cannot be obtained; the transformation is the user's task.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod FinlayMethod();
TStepResult FinlayCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome FinlayRun(TSession& session, THost& host);

}  // namespace qv

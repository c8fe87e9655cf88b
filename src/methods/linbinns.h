// Lin and Binns' superiority measure (Lin & Binns 1988): P(i), the mean square distance
// between a genotype's response and the best response in each environment, split into a
// genetic part and an interaction part. A small P(i) marks a genotype close to the maximum
// everywhere.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod LinBinnsMethod();
TStepResult LinBinnsCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome LinBinnsRun(TSession& session, THost& host);

}  // namespace qv

// Wricke's ecovalence (Wricke 1962, 1965): the share of the genotype-by-environment
// interaction sum of squares that belongs to each genotype. A small W(i) marks a stable
// genotype.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod WrickeMethod();
TStepResult WrickeCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome WrickeRun(TSession& session, THost& host);

}  // namespace qv

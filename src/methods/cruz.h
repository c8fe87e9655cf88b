// Cruz, Torres and Vencovsky (1989): adaptability and stability by a bisegmented regression of
// each genotype's means on the environmental index I(j). The second regressor T(j) is 0 where
// the index is negative and the index less the mean of the non-negative indices elsewhere, so
// that B1 is the genotype's response in unfavourable environments, B1 + B2 its response in
// favourable ones, and B2 the difference. I - T and T are orthogonal, which gives the
// coefficients and their variances in closed form.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod CruzMethod();
TStepResult CruzCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome CruzRun(TSession& session, THost& host);

}  // namespace qv

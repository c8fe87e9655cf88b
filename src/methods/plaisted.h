// Plaisted and Peterson's pairwise variance components (Plaisted & Peterson 1959): for every
// pair of genotypes, the genotype-by-environment variance component of that pair alone;
// each genotype is rated by the mean Theta(i) of the components of the pairs it belongs to.
// A small Theta(i) marks a stable genotype.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod PlaistedMethod();
TStepResult PlaistedCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome PlaistedRun(TSession& session, THost& host);

}  // namespace qv

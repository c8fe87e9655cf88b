// Eberhart and Russell (1966): adaptability and stability by the regression of each genotype's
// means on the environmental index, as Finlay and Wilkinson (1963), with two stability
// parameters besides the slope: the variance component of the deviations from the regression,
// S2D(i) = (MSD(i) - QME)/r, and the share of the genotype's variation among environments that
// the regression explains, R2(i). The variation of environments within genotypes is split into
// environment linear, interaction linear and pooled deviations.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod EberhartMethod();
TStepResult EberhartCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome EberhartRun(TSession& session, THost& host);

}  // namespace qv

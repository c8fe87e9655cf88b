// The AMMI model, additive main effects and multiplicative interaction (Gollob 1968; Mandel
// 1971; Gauch 1988; Crossa, Gauch and Zobel 1990). The additive model of genotype and
// environment main effects is fitted to the g x a table of means; what it leaves over, the
// genotype-by-environment interaction Z, is decomposed into principal components (the
// singular value decomposition of Z, obtained here from the eigen decomposition of Z Z').
//
// The report of each variable shows the genotype and environment eigenvectors and biplot
// scores of the first components, the eigenvalues (interaction sums of squares, on the scale of
// the means) with their shares, the analysis of variance with one row per component and
// Gollob's (1968) degrees of freedom, and the means predicted by the additive model plus the
// first components.
#pragma once

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

TMethod AmmiMethod();
TStepResult AmmiCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);
TRunOutcome AmmiRun(TSession& session, THost& host);

}  // namespace qv

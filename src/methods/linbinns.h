// Lin and Binns' superiority measure (Lin & Binns 1988): P(i), the mean square distance
// between a genotype's response and the best response in each environment, split into a
// genetic part and an interaction part. A small P(i) marks a genotype close to the maximum
// everywhere.
#pragma once

#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

struct TLinBinnsResult {
  TIndexed<> MedGen;       // genotype means
  TIndexed<> maximum;      // M(j), the best response of environment j
  double meanMaximum = 0;  // the mean of the M(j), rounded to 64 bits after each addition
  TIndexed<> genetic;      // r (Ybar(i.) - Mbar)^2 / 2, the genetic part of P(i)
  TIndexed<> interaction;  // r sum_j D(i, j)^2 / (2a), the interaction part
  TIndexed<> P;            // P(i) = genetic + interaction
  double sumInteraction = 0, sumP = 0;  // rounded to 64 bits after each addition
  long double meanP = 0;                // sumP / g, the report's "média"
  // Whether the shares of the interaction part are defined (the report prints "-" when not).
  bool shares = false;
  TIndexed<> percent;      // 100 interaction(i) / sumInteraction, when `shares`
  double QMGxA = 0;        // the interaction mean square of the means
  long double cutOff = 0;  // F(0.05; a - 1, gle) QME
};

[[nodiscard]] TComputed<TLinBinnsResult> LinBinnsCompute(const TGxeMeans& means,
                                                         const TAnalysisParams& params);
void AppendLinBinnsReport(TReport& report, const TLinBinnsResult& result);
TResultData ResultData(const TLinBinnsResult& result);

TMethod LinBinnsMethod();

}  // namespace qv

// Wricke's ecovalence (Wricke 1962, 1965): the share of the genotype-by-environment
// interaction sum of squares that belongs to each genotype. A small W(i) marks a stable
// genotype.
#pragma once

#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

struct TWrickeResult {
  TIndexed<> MedGen;  // genotype means
  TIndexed<> W;       // ecovalence W(i)
  double sumW = 0;    // sum of the W(i), rounded to 64 bits after each addition
  // Whether the shares W(i)/sum W are defined: false when the interaction is null up to the
  // rounding of the grand mean (the report then prints "-").
  bool shares = false;
  TIndexed<> percent;  // 100 W(i)/sum W, when `shares`
};

[[nodiscard]] TComputed<TWrickeResult> WrickeCompute(const TGxeMeans& means,
                                                     const TAnalysisParams& params);
void AppendWrickeReport(TReport& report, const TWrickeResult& result);
TResultData ResultData(const TWrickeResult& result);

TMethod WrickeMethod();

}  // namespace qv

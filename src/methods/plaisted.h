// Plaisted and Peterson's pairwise variance components (Plaisted & Peterson 1959): for every
// pair of genotypes, the genotype-by-environment variance component of that pair alone;
// each genotype is rated by the mean Theta(i) of the components of the pairs it belongs to.
// A small Theta(i) marks a stable genotype.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

struct TPlaistedResult {
  int g = 0;
  // theta(i, k) of every pair i < k, row by row (1-2, 1-3, ..., 1-g, 2-3, ...), as the report
  // lists them; Theta(i, k) reads it for any pair.
  std::vector<double> theta;
  TIndexed<> MedGen;     // genotype means
  TIndexed<> thetaMean;  // Theta(i), the mean of the g - 1 components of genotype i
  double mean = 0;       // the mean of the Theta(i), rounded to 64 bits after each addition
  // Whether the shares Theta(i)/(g mean) are defined (the report prints "-" when not).
  bool shares = false;
  TIndexed<> percent;  // 100 Theta(i)/(g mean), when `shares`

  double Theta(int i, int k) const;
};

[[nodiscard]] TComputed<TPlaistedResult> PlaistedCompute(const TGxeMeans& means,
                                                         const TAnalysisParams& params);
void AppendPlaistedReport(TReport& report, const TPlaistedResult& result);
TResultData ResultData(const TPlaistedResult& result);
// AllFinite(ResultData(result)), without the table of the g (g - 1) / 2 pairs.
bool FiniteResult(const TPlaistedResult& result);

TMethod PlaistedMethod();

}  // namespace qv

#include "segmented/junctionreport.h"

#include "analysis/layout.h"

namespace qv {

TFitAnova ComputeJunctionFitAnova(int q, int d, long double ssm, long double ssd,
                                  const TAnalysisParams& p, bool doubleSums, ProbStatus& status) {
  const auto held = [doubleSums](long double x) {
    return doubleSums ? static_cast<long double>(static_cast<double>(x)) : x;
  };
  TFitAnova a;
  const long double msm = held(ssm / q);
  a.model = {"Modelo corr.", q, ssm, msm, FitAnovaTest(q, msm, p, status)};
  if (d < 1) {
    // A table at the limit of the size check leaves the deviations no degree of freedom: there
    // is nothing to test them against, and the row says so by a null mean square and a
    // probability of 1 rather than by a ratio with a zero divisor.
    const long double msd = held(kNoDeviationMeanSquare);
    a.deviation = {"Desvio      ", d, ssd, msd, {msd / p.QME, 1}};
  } else {
    const long double msd = held(ssd / d);
    a.deviation = {"Desvio      ", d, ssd, msd, FitAnovaTest(d, msd, p, status)};
  }
  a.gle = p.gle;
  a.residualSS = held(static_cast<long double>(p.gle) * p.QME);
  a.QME = p.QME;
  return a;
}

std::string GenotypeParameterLabel(int p, std::string_view junctionPrefix) {
  const std::string_view prefixes[] = {"      a(", "     b1(", "     b2(", junctionPrefix};
  return std::string(prefixes[(p - 1) % 4]) + Int((p - 1) / 4 + 1, 3) + ")";
}

}  // namespace qv

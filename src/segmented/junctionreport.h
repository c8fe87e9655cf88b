// Report pieces shared by the segmented models with a junction per genotype: Silva's (1998)
// segmented regression with estimated junction (both its forms) and the Silva and Toler model.
// Both hold four parameters per genotype, a(i), b1(i), b2(i) and the junction, at
// 4(i - 1) + 1 .. 4(i - 1) + 4; the Silva and Toler model adds the environmental index after
// them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/params.h"
#include "analysis/report.h"
#include "segmented/engine.h"
#include "segmented/fitreport.h"

namespace qv {

// Positions of genotype i's parameters.
namespace junction {
inline int A(int i) {
  return 4 * (i - 1) + 1;
}
inline int B1(int i) {
  return 4 * (i - 1) + 2;
}
inline int B2(int i) {
  return 4 * (i - 1) + 3;
}
inline int X0(int i) {
  return 4 * (i - 1) + 4;
}
}  // namespace junction

// The mean square the deviation row shows when the fit leaves no degree of freedom for the
// deviations (d < 1): the row is then no test, and its probability is 1.
inline constexpr long double kNoDeviationMeanSquare = 1e-11L;

// The analysis of variance of the fit: "Modelo corr." with q degrees of freedom and SSM,
// "Desvio      " with d and SSD, and the residual row. With d < 1 the deviation row carries the
// mean square 1e-11 and the probability 1 instead of a test. With `doubleSums` the mean squares
// are held in 64 bits (Silva's models).
[[nodiscard]] TFitAnova ComputeJunctionFitAnova(int q, int d, long double ssm, long double ssd,
                                                const TAnalysisParams& params, bool doubleSums,
                                                ProbStatus& status);

// The covariance matrix label of a genotype's parameter: "      a(", "     b1(", "     b2(" or
// `junctionPrefix`, then Int(3) of the genotype and ")". 12 characters.
std::string GenotypeParameterLabel(int p, std::string_view junctionPrefix);

}  // namespace qv

#include "segmented/indexcheck.h"

#include <cmath>

#include "analysis/jointanova.h"
#include "analysis/layout.h"

namespace qv {

TCheck SegmentedIndexRefusal(const TGxeMeans& means, const TMargins& margins, int g, int a) {
  if (TCheck refusal = ScaleRefusal(means, g, a)) return refusal;
  long double largestIndex = 0, largestMean = 0, sumSquares = 0;
  for (int j = 1; j <= a; ++j) {
    const long double index = margins.Index(j);
    largestIndex = std::fmax(largestIndex, std::fabs(index));
    largestMean = std::fmax(largestMean, std::fabs(margins.MedAmb(j)));
    sumSquares += index * index;
  }
  if (largestIndex == 0 || AtRoundingLevel(largestIndex, largestMean)) {
    return TRefusal::OfVariable(kNullIndexCause);
  }
  // A thousand times the sweep's absolute pivot threshold: the slopes' diagonals are parts of
  // this sum, and the fit's absolute convergence test (1e-13 on the residual sum of squares)
  // needs room above it too.
  constexpr long double kSmallestSumSquares = 1e-10L;
  if (sumSquares < kSmallestSumSquares) {
    return TRefusal::OfVariable(
        "o índice ambiental é pequeno demais para o ajuste (soma dos quadrados dos I(j) = " +
        General(sumSquares) +
        "): as inclinações não podem ser estimadas; multiplique a variável por uma potência de 10");
  }
  return std::nullopt;
}

}  // namespace qv

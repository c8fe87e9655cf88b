// The variants of the one-pass corrected sum of squares: each is the sum of squares, and the
// variants are not interchangeable in their last digits.
#include <gtest/gtest.h>

#include <cmath>

#include "stats/runningsums.h"

namespace qv {
namespace {

// 65.8, 84.0, 44.9, 26.1: mean 55.2, deviations 10.6, 28.8, -10.3, -29.1, so the corrected sum
// of squares is 112.36 + 829.44 + 106.09 + 846.81 = 1894.7 exactly (by hand).
const long double kValues[] = {65.8L, 84.0L, 44.9L, 26.1L};
constexpr double kExactSS = 1894.7;

template <typename TSum>
TSum Sum() {
  TSum s;
  for (long double v : kValues) s.Add(v);
  return s;
}

TEST(RunningSums, EveryVariantIsTheCorrectedSumOfSquares) {
  const double tol = 1e-12 * kExactSS;
  EXPECT_NEAR(Sum<TJointAnovaSS>().SS(), kExactSS, tol);
  EXPECT_NEAR(Sum<TDoubleSS>().SS(), kExactSS, tol);
  EXPECT_NEAR(static_cast<double>(Sum<TExtendedSS>().SS()), kExactSS, tol);
  EXPECT_NEAR(static_cast<double>(Sum<TDoubleMeanSS>().SS()), kExactSS, tol);
  EXPECT_NEAR(Sum<TDoubleSS>().Mean(), 55.2, 1e-13);
  EXPECT_EQ(Sum<TDoubleSS>().Count(), 4);
  // Values far from 0 with a small spread: the one-pass update keeps the spread's digits, where
  // sum y^2 - (sum y)^2 / n would cancel them away.
  TExtendedSS far;
  for (long double v : kValues) far.Add(1e9L + v);
  EXPECT_NEAR(static_cast<double>(far.SS()), kExactSS, 1e-6);
}

// The two orders of the product round differently: a joint analysis summed in one order and an
// analysis summed in the other print different last digits from the same means. This is why
// each analysis keeps the variant its figures were checked with.
TEST(RunningSums, TheOrderOfTheProductShowsInTheLastBit) {
  const double weightFirst = Sum<TJointAnovaSS>().SS();
  const double squareFirst = Sum<TDoubleSS>().SS();
  EXPECT_NE(weightFirst, squareFirst);
  // ... by a few units in the last place of the 64-bit sum, no more.
  const double ulp = std::nextafter(kExactSS, 2 * kExactSS) - kExactSS;
  EXPECT_LE(std::fabs(weightFirst - squareFirst), 4 * ulp);
}

}  // namespace
}  // namespace qv

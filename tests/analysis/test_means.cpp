// The pieces of the means that the methods share: the largest magnitude and the 64-bit copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "analysis/means.h"

namespace qv {
namespace {

// The largest magnitude wherever it lies (each of the running maxima and the cells after the
// last group of four), negative or not, with a NaN passed over.
TEST(Means, LargestMeanFindsTheLargestMagnitudeAnywhere) {
  constexpr int g = 3, a = 7;
  for (int at = 0; at < g * a; ++at) {
    for (const long double largest : {-9.5L, 9.5L}) {
      auto m = std::make_unique<TGxeMeans>();
      for (int i = 1; i <= g; ++i)
        for (int j = 1; j <= a; ++j) m->Y(i, j) = (i + j) % 2 ? 0.5L * j : -0.25L * i;
      m->Y(at / a + 1, at % a + 1) = largest;
      m->Y((at + 5) % (g * a) / a + 1, (at + 5) % a + 1) =
          std::numeric_limits<long double>::quiet_NaN();
      EXPECT_EQ(LargestMean(*m, g, a), 9.5L) << at;
    }
  }
  auto zeros = std::make_unique<TGxeMeans>();
  EXPECT_EQ(LargestMean(*zeros, 2, 2), 0.0L);
}

// A copy only when every mean is a 64-bit real, row after row with no gap.
TEST(Means, ExactDoubleMeansCopiesOnlyWhatADoubleHolds) {
  auto m = std::make_unique<TGxeMeans>();
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 3; ++j) m->Y(i, j) = 0.1 * i + j;  // 64-bit products
  std::vector<double> rows;
  ASSERT_TRUE(ExactDoubleMeans(*m, 2, 3, rows));
  EXPECT_EQ(rows, (std::vector<double>{0.1 + 1, 0.1 + 2, 0.1 + 3, 0.2 + 1, 0.2 + 2, 0.2 + 3}));
  m->Y(2, 3) += std::ldexp(1.0L, -60);  // beyond a double's 53 bits
  EXPECT_FALSE(ExactDoubleMeans(*m, 2, 3, rows));
  m->Y(2, 3) = std::numeric_limits<long double>::quiet_NaN();
  EXPECT_FALSE(ExactDoubleMeans(*m, 2, 3, rows));
}

}  // namespace
}  // namespace qv

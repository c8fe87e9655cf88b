// The sweep cell by cell against GInverse, pivot by pivot: every element to the last bit, the
// sign of a zero included, with the same pivots, thresholds and aliased indices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "stats/inv_g2.h"
#include "stats/sweepcells.h"
#include "sweep_fixtures.h"

namespace qv {
namespace {

using namespace testing::sweep;

bool SameBits(long double x, long double y) {
  return std::memcmp(&x, &y, 10) == 0;
}

TEST(CellSweep, GivesGInverseBitForBit) {
  const struct {
    std::string name;
    Matrix m;
    int aliased;  // indices GInverse leaves aliased
  } cases[] = {
      {"Toler 9 x 7", TolerLike(9, 7, 11, false), 0},
      {"Toler 30 x 25, an index at 0", TolerLike(30, 25, 13, true), -1},
      {"Silva 12 x 9, two junctions aliased", SilvaLike(12, 9, 3, 2), 2},
      {"Silva 40 x 30", SilvaLike(40, 30, 5, 0), 0},
      {"dense 37 with zeros, two rows repeated", DenseWithZeros(37, 21), 2},
      // Beyond the range of doubles: the products are formed from the 10-byte values alone.
      {"dense 37 with zeros, scaled by 1e305", Scaled(DenseWithZeros(37, 22), 1e305L), 2},
  };
  auto reference = std::make_unique<SweepStorage>();
  auto cellwise = std::make_unique<SweepStorage>();
  CellSweep sweep;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.m.size());
    Load(*reference, c.m);
    Load(*cellwise, c.m);
    GInverse(*reference, n);
    sweep.GInverse(*cellwise, n);
    int aliased = 0, negativeZeros = 0;
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(cellwise->Aliased[i], reference->Aliased[i]) << i;
      EXPECT_EQ(cellwise->PivotSign[i], reference->PivotSign[i]) << i;
      EXPECT_TRUE(SameBits(cellwise->PivotTol[i], reference->PivotTol[i])) << i;
      aliased += reference->Aliased[i];
      for (int j = i; j <= n; ++j) {
        const long double x = cellwise->WorkMat(i, j), y = reference->WorkMat(i, j);
        ASSERT_TRUE(SameBits(x, y)) << i << "," << j << ": " << x << " " << y;
        negativeZeros += y == 0 && std::signbit(y);
      }
    }
    if (c.aliased >= 0) {
      EXPECT_EQ(aliased, c.aliased);
    }
    // Zeros divided and negated by pivots: the sign of a zero is checked, not only its value.
    if (c.name.find("aliased") != std::string::npos) {
      EXPECT_GT(negativeZeros, 0);
    }
  }
}

// One object serves inversions of different orders in turn.
TEST(CellSweep, ReusedAcrossOrders) {
  auto reference = std::make_unique<SweepStorage>();
  auto cellwise = std::make_unique<SweepStorage>();
  CellSweep sweep;
  for (const int g : {20, 3, 11}) {
    const Matrix m = TolerLike(g, g + 2, static_cast<unsigned>(g), false);
    const int n = static_cast<int>(m.size());
    Load(*reference, m);
    Load(*cellwise, m);
    GInverse(*reference, n);
    sweep.GInverse(*cellwise, n);
    for (int i = 1; i <= n; ++i) {
      for (int j = i; j <= n; ++j) {
        ASSERT_TRUE(SameBits(cellwise->WorkMat(i, j), reference->WorkMat(i, j))) << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace qv

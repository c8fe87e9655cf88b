// The pooled residual of the block analyses on small designs worked by hand.
#include <gtest/gtest.h>

#include <vector>

#include "analysis/plotdata.h"

namespace qv {
namespace {

// Plots of one environment from a table of values, genotypes in rows and blocks in columns.
void AddEnvironment(std::vector<TPlot>& plots, std::uint32_t environment,
                    const std::vector<std::vector<double>>& values, std::uint32_t firstGenotype = 0,
                    std::uint32_t firstBlock = 0) {
  for (std::uint32_t i = 0; i < values.size(); ++i) {
    for (std::uint32_t k = 0; k < values[i].size(); ++k) {
      plots.push_back({environment, firstGenotype + i, firstBlock + k, values[i][k]});
    }
  }
}

TEST(PooledBlockResidual, TwoGenotypesInTwoBlocks) {
  // Every residual of a 2 x 2 table is a quarter of the interaction contrast 1 - 2 - 3 + 5 = 1:
  // SS = 4 (1/4)^2 = 0.25 on 1 degree of freedom. A second environment shifted by 100 adds the
  // same again, whatever its level.
  std::vector<TPlot> plots;
  AddEnvironment(plots, 0, {{1, 2}, {3, 5}});
  AddEnvironment(plots, 1, {{101, 102}, {103, 105}}, 0, 2);
  const TPooledResidual r = PooledBlockResidual(plots, 2);
  EXPECT_NEAR(static_cast<double>(r.ss), 0.5, 1e-15);
  EXPECT_EQ(r.df, 2);
  EXPECT_NEAR(r.qme, 0.25, 1e-15);
  EXPECT_EQ(r.disconnectedEnvironments, 0u);
}

TEST(PooledBlockResidual, BlocksWithNoGenotypeInCommonCountOnlyWhatIsEstimable) {
  // Blocks 0 and 1 hold genotypes 0 and 1; blocks 2 and 3 hold genotypes 2 and 3: two 2 x 2
  // designs in one environment, with contrasts 1 and 3. SS = 0.25 + 4 (3/4)^2 = 2.5; the
  // model has 1 + 3 + 3 parameters of which one is aliased, so 8 - 6 = 2 degrees of freedom.
  std::vector<TPlot> plots;
  AddEnvironment(plots, 0, {{1, 2}, {3, 5}});
  AddEnvironment(plots, 0, {{2, 2}, {1, 4}}, 2, 2);
  const TPooledResidual r = PooledBlockResidual(plots, 1);
  EXPECT_NEAR(static_cast<double>(r.ss), 2.5, 1e-14);
  EXPECT_EQ(r.df, 2);
  EXPECT_EQ(r.disconnectedEnvironments, 1u);
}

}  // namespace
}  // namespace qv

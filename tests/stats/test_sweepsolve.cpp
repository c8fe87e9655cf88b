// Elimination with the sweep's pivots against the sweep itself: the same indices aliased, and
// the solution its g2 inverse gives (the inverse of the unaliased part times the right-hand
// side, 0 for the aliased indices), up to rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "stats/inv_g2.h"
#include "stats/sweepsolve.h"
#include "sweep_fixtures.h"

namespace qv {
namespace {

using namespace testing::sweep;

TEST(SweepSolver, SolvesWithTheSweepsPivotsAndAliases) {
  const struct {
    std::string name;
    Matrix m;
    int aliased;  // indices the sweep leaves aliased
  } cases[] = {
      {"Toler 9 x 7 (J'J singular, the border makes it whole)", TolerLike(9, 7, 11, false), 0},
      {"Toler 30 x 25, an index at 0", TolerLike(30, 25, 13, true), -1},
      // Order 193: the updates shared by two threads.
      {"Toler 50 x 40", TolerLike(50, 40, 17, false), 0},
      {"Silva 12 x 9, two junction rows of zeros", SilvaLike(12, 9, 3, 2), 2},
      {"dense 37, two rows repeating others", DenseWithZeros(37, 21), 2},
      {"dense 37 scaled by 1e305", Scaled(DenseWithZeros(37, 22), 1e305L), 2},
      // Beyond the doubles' range: no row splits, the updates read the extended rows.
      {"dense 37 scaled by 1e400", Scaled(DenseWithZeros(37, 22), 1e400L), 2},
  };
  auto sweep = std::make_unique<SweepStorage>();
  auto eliminated = std::make_unique<SweepStorage>();
  SweepSolver solver;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.m.size());
    std::vector<long double> rhs(static_cast<std::size_t>(n) + 1), x(rhs.size());
    for (int i = 1; i <= n; ++i) rhs[i] = std::sin(1.3L * i) + 0.25L;
    Load(*sweep, c.m);
    GInverse(*sweep, n);
    Load(*eliminated, c.m);
    solver.Solve(*eliminated, n, rhs.data(), x.data());
    int aliased = 0;
    long double largest = 0;
    std::vector<long double> reference(rhs.size());
    for (int p = 1; p <= n; ++p) {
      if (sweep->Aliased[p]) continue;
      for (int q = 1; q <= n; ++q) {
        if (sweep->Aliased[q]) continue;
        reference[p] += (p <= q ? sweep->WorkMat(p, q) : sweep->WorkMat(q, p)) * rhs[q];
      }
      largest = std::max(largest, std::fabs(reference[p]));
    }
    for (int p = 1; p <= n; ++p) {
      EXPECT_EQ(eliminated->Aliased[p], sweep->Aliased[p]) << p;
      aliased += sweep->Aliased[p];
      if (sweep->Aliased[p]) {
        EXPECT_EQ(x[p], 0) << p;
      } else {
        EXPECT_LE(std::fabs(x[p] - reference[p]), 1e-13L * largest)
            << p << ": " << x[p] << " " << reference[p];
      }
    }
    if (c.aliased >= 0) {
      EXPECT_EQ(aliased, c.aliased);
    }
  }
}

// The eliminations read the turns' rows split into pairs of doubles while every value splits
// exactly, and the extended values otherwise: the same bits either way. A -0 in the first
// pivot's row (which no pair keeps) sends the whole solve the extended way.
TEST(SweepSolver, SplitRowsGiveTheBitsOfTheExtendedOnes) {
  for (const Matrix& m : {TolerLike(50, 40, 17, false), TolerLike(9, 7, 11, false)}) {
    const int n = static_cast<int>(m.size());
    Matrix negativeZero = m;
    std::size_t zero = 1;
    while (zero < m.size() && m[0][zero] != 0) ++zero;
    ASSERT_LT(zero, m.size());
    negativeZero[0][zero] = -0.0L;
    std::vector<long double> rhs(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i <= n; ++i) rhs[i] = std::sin(0.9L * i) - 0.1L;
    std::vector<long double> split(rhs.size()), extended(rhs.size());
    auto store = std::make_unique<SweepStorage>();
    SweepSolver solver;
    Load(*store, m);
    solver.Solve(*store, n, rhs.data(), split.data());
    Load(*store, negativeZero);
    solver.Solve(*store, n, rhs.data(), extended.data());
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(std::memcmp(&split[i], &extended[i], 10), 0)
          << n << ": " << i << " " << split[i] << " " << extended[i];
    }
  }
}

// The solution satisfies the equations of the unaliased indices; one solver serves systems of
// different orders in turn.
TEST(SweepSolver, ReusedAcrossOrdersItsSolutionsSatisfyTheSystem) {
  auto store = std::make_unique<SweepStorage>();
  SweepSolver solver;
  for (const int g : {20, 3, 11}) {
    const Matrix m = TolerLike(g, g + 2, static_cast<unsigned>(g), false);
    const int n = static_cast<int>(m.size());
    std::vector<long double> rhs(static_cast<std::size_t>(n) + 1), x(rhs.size());
    for (int i = 1; i <= n; ++i) rhs[i] = std::cos(0.7L * i);
    Load(*store, m);
    solver.Solve(*store, n, rhs.data(), x.data());
    for (int i = 1; i <= n; ++i) {
      long double lhs = 0;
      for (int j = 1; j <= n; ++j) lhs += (i <= j ? m[i - 1][j - 1] : m[j - 1][i - 1]) * x[j];
      EXPECT_NEAR(static_cast<double>(lhs), static_cast<double>(rhs[i]), 1e-12) << i;
    }
  }
}

}  // namespace
}  // namespace qv
